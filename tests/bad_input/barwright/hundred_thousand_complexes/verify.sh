# 100,000 charts named without a gap (sum_9999.xvg, then sum_10000.xvg), the first and the last
# byte for byte, and the whole transcript.
set -e
here=$(dirname "$0")
find . -name 'sum_*.xvg' | sed 's|^\./||' | sort > ../charts
awk 'BEGIN { for (i = 1; i <= 100000; i++) printf "sum_%04d.xvg\n", i }' | sort | cmp - ../charts
cmp sum_0001.xvg "$here/sum_0001.xvg"
cmp sum_100000.xvg "$here/sum_100000.xvg"
{ cat "$here/banner"
  awk 'BEGIN { for (i = 1; i <= 100000; i++) printf "Processing Complex %d, output file sum_%04d.xvg\n", i, i }'
  printf '\nFinished!\n\n'; } | cmp - "$1"
find . -name 'sum_*.xvg' -delete
