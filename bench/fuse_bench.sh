#!/usr/bin/env bash
# The FUSE view's read speed: `cat` of data.iso from a container of more than
# 600 MB, stored plainly and with normal compression, each as a ratio against
# `cat` of the source ISO in the same run (every file read once before, so
# all come from the page cache). Goals: plain >= 0.7x the source ISO,
# compressed >= 200 MB/s.
#
#   bench/fuse_bench.sh [BUILD-DIR]      (default: build)
#
# Runs on a private machine root in a temporary folder; needs /dev/fuse,
# fusermount3 and xorriso. QPX_BENCH_RUNS sets the runs per file (best counts).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bin="$build/bin"
runs="${QPX_BENCH_RUNS:-3}"
for program in qpxmport qpxfuse qpxcmd qpxcatalogue qpx-mkcontainer; do
  [ -x "$bin/$program" ] || { echo "fuse_bench: $bin/$program is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/fuse-bench.XXXXXX")
export QPX_ROOT="$work/root"
unset DISPLAY WAYLAND_DISPLAY
view="$work/view"
pidfile="$QPX_ROOT/run/qpxmport.pid"

cleanup() {
  if grep -qs " $view " /proc/self/mountinfo; then fusermount3 -u "$view" || fusermount3 -uz "$view" || true; fi
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== source ISO (> 600 MB: system files and incompressible bytes)"
mkdir -p "$work/tree"
tar cf - -C / usr/lib usr/share 2>/dev/null | head -c $((420 * 1024 * 1024)) > "$work/tree/system.tar" || true
head -c $((220 * 1024 * 1024)) /dev/urandom > "$work/tree/noise.bin"
xorriso -as mkisofs -quiet -R -J -V QPX_BENCH -o "$work/source.iso" "$work/tree" 2>/dev/null
rm -rf "$work/tree"
iso_bytes=$(stat -c %s "$work/source.iso")
echo "source.iso: $iso_bytes bytes"

"$bin/qpx-mkcontainer" --type 0 "$work/source.iso" "$work/plain.qim"
"$bin/qpx-mkcontainer" --type 1 "$work/source.iso" "$work/normal.qim"
ls -l "$work"/*.qim

"$bin/qpxcatalogue" set-drives 2 >/dev/null
"$bin/qpxmport" --daemon
"$bin/qpxcmd" /i "$work/plain.qim" G: >/dev/null
"$bin/qpxcmd" /i "$work/normal.qim" H: >/dev/null
"$bin/qpxfuse" --daemon "$view"

# Best time of the runs in seconds for `cat FILE`.
best_cat() {
  local best="" start end t
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    cat "$1" > /dev/null
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
rate() { awk -v n="$iso_bytes" -v s="$1" 'BEGIN { printf "%.1f", n / s / 1000000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

echo "== reading (best of $runs)"
cat "$work/source.iso" "$view/G/data.iso" "$view/H/data.iso" > /dev/null  # warm the page cache
cmp "$work/source.iso" "$view/G/data.iso"
cmp "$work/source.iso" "$view/H/data.iso"
source_s=$(best_cat "$work/source.iso")
plain_s=$(best_cat "$view/G/data.iso")
normal_s=$(best_cat "$view/H/data.iso")
printf '%-34s %8s MB/s\n' "cat source.iso" "$(rate "$source_s")"
printf '%-34s %8s MB/s  %sx the source (goal 0.7x)\n' "cat G/data.iso (plain)" "$(rate "$plain_s")" \
  "$(ratio "$source_s" "$plain_s")"
printf '%-34s %8s MB/s  %sx the source (goal 200 MB/s)\n' "cat H/data.iso (normal compression)" \
  "$(rate "$normal_s")" "$(ratio "$source_s" "$normal_s")"
