# 100,000 complexes, each with its own van der Waals energy.
awk 'BEGIN { for (i = 1; i <= 100000; i++)
  printf "van der Waals energy = %d.5 +/- 1.0\nSASA energy = -5.0 +/- 0.5\nEND\n", -i }' > summary_energy.dat
