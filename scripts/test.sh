#!/usr/bin/env bash
# Builds Corvane and runs every test (unit, scenario and fidelity tests) with two jobs.
#   scripts/test.sh              the normal build, in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/, unit and
#                                scenario tests only
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=()
ctest_args=()
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-asan
  cmake_args=(-DCORVANE_SANITIZE=ON -DCORVANE_BUILD_BENCH=OFF)
  ctest_args=(-L 'unit|e2e')
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}"
cmake --build "$build_dir" -j2
ctest --test-dir "$build_dir" -j2 --output-on-failure "${ctest_args[@]}"
