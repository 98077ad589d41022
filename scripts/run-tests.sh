#!/usr/bin/env bash
# Everything CI does: install the packages, build, run all test suites, run
# the port host's concurrency tests under ThreadSanitizer, then run each fuzz
# target for a short, bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" --timeout 900
# The port host's concurrency tests again, under ThreadSanitizer.
sh "$root/scripts/ci-tsan.sh"
"$root/tools/fuzz/run-fuzzers.sh" "${QPX_FUZZ_SECONDS:-30}"
