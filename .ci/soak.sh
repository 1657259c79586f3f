#!/usr/bin/env bash
# The soak: builds the program with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-soak, with the soak tool (tools/soak.cpp, the build's KV_SOAK option), and runs
# generated whole runs of the program, each
# checked for how it ends (status 0 or one "forrtl: severe" line; no signal, sanitizer
# report or hang) and for the files it leaves (whole records only, no NUL bytes).
#
# Needs: cmake, ninja, a C++20 compiler with its ASan and UBSan runtimes (libasan,
# libubsan for g++). Environment: SOAK_RUNS (default 10000),
# SOAK_SEED (default 1; run i uses seed SOAK_SEED + i), SOAK_JOBS (default: number of
# cores), SOAK_TIMEOUT_MS per run (default 30000). A failing run is kept under
# build-soak/failures/seed_N and can be replayed with
#   build-soak/soak build-soak/kalvorestine_2p0 --seed N --runs 1
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-soak -G Ninja -DKV_SANITIZE=ON -DKV_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF \
  -DKV_SOAK=ON >/dev/null
cmake --build build-soak --target kalvorestine_2p0 soak

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
rm -rf build-soak/failures
build-soak/soak build-soak/kalvorestine_2p0 --runs "${SOAK_RUNS:-10000}" --seed "${SOAK_SEED:-1}" \
  --jobs "${SOAK_JOBS:-$(nproc)}" --timeout-ms "${SOAK_TIMEOUT_MS:-30000}" --keep build-soak/failures

