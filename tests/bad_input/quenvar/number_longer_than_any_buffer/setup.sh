# The eighth number alone is 10 MB long: leading zeros (a small value) and then nines (too large).
{ cat good.xvg; printf '1 2 3 4 5 6 7 '; head -c 10000000 /dev/zero | tr '\0' '0'; printf '96\n'; } > zeros.xvg
{ cat good.xvg; printf '1 2 3 4 5 6 7 -'; head -c 10000000 /dev/zero | tr '\0' '9'; printf '\n'; } > nines.xvg
