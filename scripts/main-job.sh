#!/usr/bin/env bash
# The main job: the road of one insertion on a private emulated machine
# (build/demo-root unless QPX_ROOT is set). Installs and builds, starts the
# port host qpxmport with two emulated drives, makes a real ISO image with
# xorriso from the project's own files, turns it into a compressed
# container, inserts it into G: with qpxcmd (which registers it in the
# catalogue), reads the disc back through the drive and compares it with the
# ISO, ejects it and stops the port host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

bin="$root/build/bin"
export QPX_ROOT="${QPX_ROOT:-$root/build/demo-root}"
unset DISPLAY WAYLAND_DISPLAY  # messages go to the terminal
work="$root/build/demo"
pidfile="$QPX_ROOT/run/qpxmport.pid"

player_pid=""
stop_host() {
  if [ -n "$player_pid" ]; then kill -TERM "$player_pid" 2>/dev/null || true; wait "$player_pid" 2>/dev/null || true; fi
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
}
stop_host  # a port host left from an earlier run
trap stop_host EXIT

echo "== machine $QPX_ROOT: two emulated drives"
"$bin/qpxcatalogue" set-drives 2
"$bin/qpxmport" --daemon
echo "port host running as $(cat "$pidfile")"
# The player plays what applications play on the drives: through ALSA where
# the machine has a sound card, into a file otherwise.
if [ -d /dev/snd ]; then
  "$bin/qpxplayer" --no-tray & player_pid=$!
else
  "$bin/qpxplayer" --no-tray --file-sink "$QPX_ROOT/player-output.raw" & player_pid=$!
fi
echo "player running as $player_pid"
"$bin/qpxdisc" list || true

rm -rf "$work"
mkdir -p "$work/tree"
cp -r "$root/README.md" "$root/lib" "$root/platform" "$work/tree/"
echo "== ISO image of the project's sources"
xorriso -as mkisofs -quiet -J -R -V QUOPLEX_DEMO -o "$work/demo.iso" "$work/tree" 2>/dev/null
ls -l "$work/demo.iso"

echo "== container (normal compression)"
"$bin/qpx-mkcontainer" --type 1 --description "Quoplex demo disc" "$work/demo.iso" "$work/demo.qim"
ls -l "$work/demo.qim"

echo "== qpxcmd /v /i demo.qim G:"
"$bin/qpxcmd" /v /i "$work/demo.qim" G:
"$bin/qpxcatalogue" list
"$bin/qpxcatalogue" drives

echo "== reading the disc in G: back through the drive"
"$bin/qpxread" G -o "$work/read-back.iso"
cmp "$work/demo.iso" "$work/read-back.iso"
echo "read-back.iso is byte-identical to demo.iso"
isoinfo -d -i "$work/read-back.iso" | grep -E '^(Volume id|Volume size)'

echo "== qpxcmd G: (eject)"
"$bin/qpxcmd" G:
"$bin/qpxcatalogue" drives
