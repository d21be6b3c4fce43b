# A 10 MB line with neither tag nor END, then a complex; then a tagged line 10 MB long.
{ head -c 10000000 /dev/zero | tr '\0' 'x'; printf '\n'; cat blocks.dat;
  printf 'Polar solvation energy = 75.5 +/- 2.5 '; head -c 10000000 /dev/zero | tr '\0' ' '; printf 'kJ/mol\nEND\n'; } > summary_energy.dat
rm blocks.dat
