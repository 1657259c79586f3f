#!/usr/bin/env bash
# Builds the program, its companions and the tests, and runs every test. On a fresh
# Debian machine it first installs what is missing, the tools that tests run included
# (gnuplot-nox: the plot script's test runs gnuplot), as root or through sudo; otherwise
# it names the packages. Warnings are errors here, as in CI.
#
#   tools/test.sh             RelWithDebInfo, in build/
#   tools/test.sh --sanitize  Debug under AddressSanitizer and UndefinedBehaviorSanitizer,
#                             in build-sanitize/
#   tools/test.sh --release   Release, the optimisation users build with, in
#                             build-release-tests/
#   --clang                   with clang++ instead of g++ (build directories end in -clang)
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake ninja-build g++ libgtest-dev libcli11-dev libfast-float-dev gnuplot-nox vim)
dir=build
flags=(-DKV_WERROR=ON)
clang=0
for option in "$@"; do
  case $option in
    --sanitize)
      dir=build-sanitize
      flags+=(-DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
      export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0
      export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
      ;;
    --release)
      dir=build-release-tests
      flags+=(-DCMAKE_BUILD_TYPE=Release)
      ;;
    --clang) clang=1 ;;
    *)
      echo "usage: $0 [--sanitize | --release] [--clang]" >&2
      exit 2
      ;;
  esac
done
if ((clang)); then
  dir=$dir-clang
  flags+=(-DCMAKE_CXX_COMPILER=clang++)
  packages+=(clang libclang-rt-14-dev)
fi
tools/need.sh "${packages[@]}"
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
