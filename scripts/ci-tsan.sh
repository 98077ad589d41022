#!/bin/sh
# Builds the port host and its concurrency tests with ThreadSanitizer in
# build-tsan and runs them. A data race in the host makes it exit non-zero,
# which the tests report; a race in the test process fails the run itself.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-tsan"
jobs=${QPX_JOBS:-2}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQPX_BENCH=OFF \
  -DCMAKE_C_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" --target qpxmport port_host_tests -j "$jobs"

mkdir -p "$build/test-tmp"
export QPX_BIN_DIR="$build/bin"
export QPX_TEST_TMP="$build/test-tmp"
# Reports go to standard error (the host's log file); the exit status tells.
export TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1"
# The host under load, clients leaving mid-read, SIGTERM during reads, held
# requests released from another client, and medium changes seen per client.
"$build/tests/port_host_tests" \
  --gtest_filter='BusyPort.*:TenDrivePort.HeldRequests*:InsertedDiscs.EachOpenDevice*'
