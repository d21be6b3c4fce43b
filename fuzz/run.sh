#!/usr/bin/env bash
# Runs every fuzz harness for SECONDS each, from seeds taken from the examples and the
# end-to-end cases plus the corpus earlier runs grew. Usage: fuzz/run.sh BUILD_DIR SECONDS
# Findings land in BUILD_DIR/fuzz-findings/; the script fails if any harness found something.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
cases=$root/tests/cases
separator=$'\n%%FILE%%\n'

seeds=$build/fuzz-seeds
rm -rf "$seeds" && mkdir -p "$seeds"/{energy_reader,summary_line,quenvar_run,barwright_run,report_input}
n=0
seed() {  # seed HARNESS PREFIX [FILE]: the prefix, then the file's bytes (NULs and all)
  n=$((n + 1))
  { printf '%s' "$2"; [ -z "${3:-}" ] || cat "$3"; } > "$seeds/$1/seed-$n"
}
small() { [ -f "$1" ] && [ "$(stat -c %s "$1")" -le 65536 ]; }
head -n 60 "$root/examples/energy_MM.xvg" > "$seeds/energy_head.xvg"
for file in "$cases"/quenvar/*/files/* "$seeds/energy_head.xvg"; do
  small "$file" || continue
  # both paths, each with small blocks (4, 4, 1, 33) and with the real size
  for prefix in $'\x06' $'\x07' $'\x00' $'\x41' $'\xfe' $'\xff'; do seed energy_reader "$prefix" "$file"; done
  seed quenvar_run "e.xvg"$'\n300\n\n'"$separator" "$file"
done
seed quenvar_run $'d\ne.xvg\n298.15 K\n\n'"$separator" "$seeds/energy_head.xvg"
for answers in "$cases"/quenvar/*/stdin; do seed quenvar_run "$(cat "$answers")$separator" "$seeds/energy_head.xvg"; done
for file in "$cases"/barwright/*/files/*.dat "$root/examples/summary_energy.dat"; do
  small "$file" || continue
  # pieces of 1, 4 and 16 bytes, and whole lines
  for prefix in $'\x00' $'\x03' $'\x0f' $'\xff'; do seed summary_line "$prefix" "$file"; done
  seed barwright_run $'s.dat\n'"$separator" "$file"
done
seed barwright_run $'d\n'
seed barwright_run $'missing.dat\n'
seed barwright_run $'"Processing Complex 1, output file sum_0001.xvg Error! Can not write output file\n'
for file in "$cases"/quenvar-report/*/files/* "$root"/tests/bad_input/quenvar-report/*/files/* "$seeds/energy_head.xvg"; do
  small "$file" || continue
  # the default columns, 2+3, VDWAALS+EEL and a legend's name; dH as TOTAL; the model gb
  for prefix in $'\x00' $'\x01' $'\x02' $'\x03' $'\x06' $'\x0e'; do seed report_input "$prefix" "$file"; done
done
rm "$seeds/energy_head.xvg"

mkdir -p "$build/fuzz-findings" "$build/fuzz-scratch"
export TMPDIR=$build/fuzz-scratch
failed=()
for harness in energy_reader summary_line quenvar_run barwright_run report_input; do
  corpus=$build/fuzz-corpus/$harness
  mkdir -p "$corpus"
  echo "=== $harness: $seconds s"
  if "$build/bin/${harness}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$build/fuzz-findings/$harness-" "$corpus" "$seeds/$harness" \
       > "$build/fuzz-findings/$harness.log" 2>&1; then
    grep -E "^(stat::number_of_executed_units|Done)" "$build/fuzz-findings/$harness.log" || true
  else
    failed+=("$harness")
    tail -n 40 "$build/fuzz-findings/$harness.log"
  fi
done
rm -rf "$build/fuzz-scratch"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]} (inputs in $build/fuzz-findings/)"
  exit 1
fi
echo "Fuzzing found nothing."
