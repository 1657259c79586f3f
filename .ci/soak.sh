#!/usr/bin/env bash
# The soak: builds the program with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-soak, builds tools/soak.cpp, and runs generated whole runs of the program, each
# checked for how it ends (status 0 or one "forrtl: severe" line; no signal, sanitizer
# report or hang) and for the files it leaves (whole records only, no NUL bytes).
#
# Then a shorter pass of the same runs under ThreadSanitizer (build-soak-tsan), for the
# curve table, which formats long tables on two threads.
#
# Needs: cmake, ninja, a C++20 compiler with its ASan, UBSan and TSan runtimes
# (libasan, libubsan, libtsan for g++). Environment: SOAK_RUNS (default 10000),
# SOAK_SEED (default 1; run i uses seed SOAK_SEED + i), SOAK_JOBS (default: number of
# cores), SOAK_TIMEOUT_MS per run (default 30000), SOAK_TSAN_RUNS (default 1000; 0
# skips that pass). A failing run is kept under
# build-soak/failures/seed_N and can be replayed with
#   build-soak/soak build-soak/kalvorestine_2p0 --seed N --runs 1
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-soak -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF >/dev/null
cmake --build build-soak --target kalvorestine_2p0
"${CXX:-c++}" -std=c++20 -O1 -Wall -Wextra -Werror -o build-soak/soak tools/soak.cpp

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
rm -rf build-soak/failures
build-soak/soak build-soak/kalvorestine_2p0 --runs "${SOAK_RUNS:-10000}" --seed "${SOAK_SEED:-1}" \
  --jobs "${SOAK_JOBS:-$(nproc)}" --timeout-ms "${SOAK_TIMEOUT_MS:-30000}" --keep build-soak/failures

if (( ${SOAK_TSAN_RUNS:-1000} > 0 )); then
  cmake -S . -B build-soak-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
  cmake --build build-soak-tsan --target kalvorestine_2p0
  rm -rf build-soak-tsan/failures
  TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1}" \
    build-soak/soak build-soak-tsan/kalvorestine_2p0 --runs "${SOAK_TSAN_RUNS:-1000}" --seed "$(( ${SOAK_SEED:-1} + 1000000 ))" \
    --jobs "${SOAK_JOBS:-$(nproc)}" --timeout-ms "${SOAK_TIMEOUT_MS:-30000}" --keep build-soak-tsan/failures
fi
