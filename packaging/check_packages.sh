#!/usr/bin/env bash
# Checks the packages `make package` made, as a user would meet them. Usage: check_packages.sh DIR
#  - the .deb: its control fields, its contents, no lintian errors, and the programs and manual
#    pages from it unpacked into a scratch root: the demo runs and the pages render;
#  - the .tar.gz: the same tree under one top folder, its programs linked statically and running
#    the demo with an empty environment;
#  - the .zip: exactly the three programs, README.txt, the manuals as text and the examples
#    (only where it was made); the text files with CRLF line ends, the manuals plain text.
# Every manual page source renders without a groff warning.
set -euo pipefail
packages=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }

version=$(sed -n 's/^project(quenvar-barwright VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
deb=$packages/quenvar-barwright_${version}_amd64.deb
tgz=$packages/quenvar-barwright-$version-Linux.tar.gz
zip=$packages/quenvar-barwright-$version-windows-x86_64.zip
for f in "$deb" "$tgz"; do [ -f "$f" ] || { echo "FAILED: no $f"; exit 1; }; done

# The tree both Linux packages hold, below their prefix.
tree="bin/barwright
bin/quenvar
bin/quenvar-report
share/doc/quenvar-barwright/README.md
share/doc/quenvar-barwright/changelog.gz
share/doc/quenvar-barwright/copyright
share/doc/quenvar-barwright/examples/convergence.png
share/doc/quenvar-barwright/examples/energy_MM.xvg
share/doc/quenvar-barwright/examples/make_energy_file.py
share/doc/quenvar-barwright/examples/sum_0001.png
share/doc/quenvar-barwright/examples/summary_energy.dat
share/man/man1/barwright.1.gz
share/man/man1/quenvar-report.1.gz
share/man/man1/quenvar.1.gz"

# Manual page sources: no warnings from groff.
for page in "$root"/quenvar/quenvar.1 "$root"/quenvar-report/quenvar-report.1 "$root"/barwright/barwright.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  check "$(basename "$page") renders without warnings" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings"
done

# The .deb: control fields and contents.
info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
check "deb Package is quenvar-barwright" test "$(field Package)" = quenvar-barwright
check "deb Version is $version" test "$(field Version)" = "$version"
check "deb Architecture is $(dpkg --print-architecture)" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "deb Maintainer is the banner's contact" test "$(field Maintainer)" = "Venmark <barwright-maintainers@example.org>"
check "deb Depends on the C and C++ runtimes" grep -q "^ Depends: .*libc6 (>= .*libstdc++6 (>= " <<< "$info"
check "deb has a description" grep -q "^ Description: entropic term and bar charts" <<< "$info"
listed=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | sort)
check "deb holds the programs, manual pages and documents under /usr" test "$listed" = "$tree"
check "deb programs are executable" test "$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ && $6 ~ /usr\/bin\// { print $1 }' | sort -u)" = "-rwxr-xr-x"

# lintian: no errors (warnings and notes are printed for the reader).
if lintian_output=$(lintian --fail-on error "$deb" 2>&1); then
  echo "ok: lintian reports no errors"
else
  fail "lintian reports errors"
fi
lintian_output=$(grep -v "running with root privileges" <<< "$lintian_output" || true)
[ -z "$lintian_output" ] || echo "$lintian_output"

# The demo, run by the programs installed under PREFIX on their examples, in a folder of its own:
# the documented result and charts. Usage: demo PREFIX FROM [COMMAND...], where COMMAND (such as
# env -i) runs each program.
demo() {
  local prefix=$1 from=$2 work out
  shift 2
  local examples=$prefix/share/doc/quenvar-barwright/examples
  work=$(mktemp -d -p "$scratch")
  out=$(cd "$work" && printf '%s\n298.15\n\n' "$examples/energy_MM.xvg" | "$@" "$prefix/bin/quenvar")
  check "quenvar from the $from runs the demo" grep -qx "Quenvar:    13.0048 (KJ/mol)" <<< "$out"
  out=$(cd "$work" && "$@" "$prefix/bin/quenvar-report" -T 298.15 "$examples/energy_MM.xvg")
  check "quenvar-report from the $from reports the example" grep -qx "  estimate                     13.0048             14.2874" <<< "$out"
  cp "$examples/summary_energy.dat" "$work/"
  out=$(cd "$work" && printf 'summary_energy.dat\n' | "$@" "$prefix/bin/barwright")
  check "barwright from the $from writes three charts" test "$(ls "$work" | grep -c '^sum_000[123]\.xvg$')" = 3
  check "barwright from the $from finishes" grep -qx "Finished!" <<< "$out"
  check "the chart from the $from is the documented one" \
    diff <(sed -n '/^@map color 10/,/^@    yaxis  tick major/p' "$root/README.md") "$work/sum_0001.xvg"
}

# The .deb unpacked into a scratch root: the demo runs, the manual pages render.
dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr
demo "$usr" .deb
for page in quenvar quenvar-report barwright; do
  rendered=$(MANWIDTH=80 man -l "$usr/share/man/man1/$page.1.gz" 2>&1)
  check "man $page renders from the .deb" grep -q "^NAME" <<< "$rendered"
done

# The .tar.gz: the same tree under one top folder, with programs that need no shared library (so
# they run on any x86-64 Linux, whatever its C library) and run the demo with an empty environment.
listed=$(tar tzf "$tgz" | grep -v '/$' | sed "s|^quenvar-barwright-$version-Linux/||" | sort)
check "tar.gz holds the same tree under quenvar-barwright-$version-Linux/" test "$listed" = "$tree"
mkdir "$scratch/tgz" && tar xzf "$tgz" -C "$scratch/tgz"
top=$scratch/tgz/quenvar-barwright-$version-Linux
static() { readelf -h "$1" > /dev/null && ! readelf -d "$1" | grep -q NEEDED; }
for program in quenvar quenvar-report barwright; do
  check "tar.gz $program needs no shared library (readelf -d: no NEEDED)" static "$top/bin/$program"
done
demo "$top" ".tar.gz with an empty environment" env -i

# The .zip, where the Windows cross-build made one.
if [ -f "$zip" ]; then
  listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
  top=quenvar-barwright-$version-windows-x86_64
  expected=$(printf '%s\n' "$top/README.txt" "$top/barwright.exe" "$top/barwright-manual.txt" \
    "$top/examples/convergence.png" "$top/examples/energy_MM.xvg" "$top/examples/make_energy_file.py" \
    "$top/examples/sum_0001.png" "$top/examples/summary_energy.dat" "$top/quenvar.exe" "$top/quenvar-manual.txt" \
    "$top/quenvar-report.exe" "$top/quenvar-report-manual.txt" | sort)
  check "zip holds exactly the three programs, README.txt, the manuals and the examples" test "$listed" = "$expected"
  unzip -q "$zip" -d "$scratch/zip"
  for program in quenvar quenvar-report barwright; do
    check "zip $program.exe is a Windows executable" test "$(head -c 2 "$scratch/zip/$top/$program.exe")" = MZ
  done
  # Every line ends in CR LF, as Notepad wants; the manuals hold no overstrike or escape sequence.
  crlf() { local lines; lines=$(tr -cd '\n' < "$1" | wc -c); [ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$1")" = "$lines" ]; }
  plain() { ! grep -q $'[\b\e]' "$1" && grep -q '^DIAGNOSTICS' "$1"; }
  for text in README.txt quenvar-manual.txt quenvar-report-manual.txt barwright-manual.txt; do
    check "zip $text has CRLF line ends" crlf "$scratch/zip/$top/$text"
  done
  check "zip README.txt is for Windows users" grep -q "Running them from a console" "$scratch/zip/$top/README.txt"
  for program in quenvar quenvar-report barwright; do
    check "zip $program-manual.txt is plain text with its messages" plain "$scratch/zip/$top/$program-manual.txt"
  done
elif [ -n "${CI:-}" ]; then
  fail "no Windows .zip (CI builds it)"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "All package checks passed."
