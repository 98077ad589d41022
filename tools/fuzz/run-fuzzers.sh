#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers, then runs each
# for a bounded time. Usage: tools/fuzz/run-fuzzers.sh [seconds-per-target]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
secs=${1:-30}
build="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DQPX_FUZZ=ON -DQPX_TESTS=OFF \
  -DQPX_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target $(cd "$here/tools/fuzz" && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//')
status=0
for f in "$build"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$here/tools/fuzz/seeds/$name"
  echo "== $name: ${secs}s"
  if [ -d "$seeds" ]; then set -- "$corpus" "$seeds"; else set -- "$corpus"; fi
  if ! "$f" -max_total_time="$secs" -rss_limit_mb=2048 -print_final_stats=0 "$@" >"$build/$name.log" 2>&1; then
    echo "$name FAILED"; tail -40 "$build/$name.log"; status=1
  fi
done
exit $status
