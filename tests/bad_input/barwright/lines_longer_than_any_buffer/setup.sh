# The tag, the value and the error sit 10 MB into their line.
{ cat blocks.dat; head -c 10000000 /dev/zero | tr '\0' '-'; printf ' SASA energy = -7.25 +/- 0.5\nEND\n'; } > summary_energy.dat
rm blocks.dat
