#!/usr/bin/env bash
# Runs every test: a one-definition check of every binary, a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and a ThreadSanitizer
# build of the threaded tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/packages.sh
jobs=$(nproc)

run() { # <build dir> <sanitizers> [ctest args...]
  local dir=$1 san=$2; shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE="$san" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure "$@"
}

# Two definitions of one name in the program or in a test binary: a link with
# link-time optimisation sees all of a binary's types at once and refuses the
# clash.
cmake -S . -B build-odr -DCMAKE_BUILD_TYPE=Debug -DZARN_ODR_CHECK=ON >/dev/null
cmake --build build-odr -j "$jobs"

run build ""
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run build-asan "address,undefined"
TSAN_OPTIONS=halt_on_error=1 run build-tsan "thread" -L threaded
