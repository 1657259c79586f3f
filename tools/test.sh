#!/usr/bin/env bash
# Builds the program and its tests and runs every test. With --sanitize, the build
# uses AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/need.sh cmake ninja-build g++ libgtest-dev libcli11-dev libfast-float-dev
dir=build
flags=(-DKV_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
  dir=build-sanitize
  flags=(-DKV_WERROR=ON -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
