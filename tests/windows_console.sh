#!/usr/bin/env bash
# quenvar.exe at a real console, as a Windows user meets it: under wine a program started from a
# terminal gets a console, and tmux types the answers into it. A path with accents, typed as
# characters, must open, and a name echoed in a message must show as the characters typed.
# Usage: windows_console.sh BIN_DIR (with WINEPREFIX set, as `make test-windows` does)
set -euo pipefail
bin=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
socket=quenvar-console-$$
trap 'tmux -L "$socket" kill-server 2> /dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/Müller données"
cp "$root/examples/energy_MM.xvg" "$work/Müller données/"

# The terminal's text is UTF-8, and so is what wine reads from it.
export LANG=C.UTF-8
tmux -L "$socket" new-session -d -x 120 -y 30 "cd '$work' && wine '$bin/quenvar.exe'"
tmux -L "$socket" set-option -g remain-on-exit on > /dev/null
screen() { tmux -L "$socket" capture-pane -p; }
await() {  # waits up to 60 s for a line of the screen that holds $1
  for _ in $(seq 600); do screen | grep -qF -- "$1" && return 0; sleep 0.1; done
  echo "FAILED: the console never showed \"$1\"; it showed:"; screen; exit 1
}
await "(default: energy_MM.xvg):"
tmux -L "$socket" send-keys '"Müller données/missing.xvg"' Enter
await "Input file name again:"
tmux -L "$socket" send-keys '"Müller données/energy_MM.xvg"' Enter
await "Input temperature (K, eg. 298.15):"
tmux -L "$socket" send-keys '298.15' Enter
await "Press any key to exit..."
tmux -L "$socket" send-keys Enter
for _ in $(seq 600); do [ "$(tmux -L "$socket" display-message -p '#{pane_dead}')" = 1 ] && break; sleep 0.1; done

shown=$(screen)
echo "$shown" | sed '/^$/N;/^\n$/D'
grep -qxF "Error! Can not open input file Müller données/missing.xvg" <<< "$shown" ||
  { echo "FAILED: the name was not echoed as typed"; exit 1; }
grep -qxF "Quenvar:    13.0048 (KJ/mol)" <<< "$shown" || { echo "FAILED: the accented path did not open"; exit 1; }
echo "ok: the console took the typed accented path and showed it back"
