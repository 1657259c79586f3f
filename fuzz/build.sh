#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.   fuzz/build.sh [OUTDIR]   (default build-fuzz)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"
cxx="${CXX_FUZZ:-clang++}"
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -ffp-contract=off
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -Werror -I"$root/src" -I"$root")
# The text record layer as the program has it: a failure is thrown to the caller, which
# here is the fuzz target.
io=("$root"/src/io/*.cpp)
build() {  # name sources...
  local name=$1; shift
  "$cxx" "${flags[@]}" "$@" -o "$out/$name"
  echo "built $out/$name"
}
build convert_fuzzer "$root/fuzz/convert_fuzzer.cpp" "${io[@]}"
build edit_fuzzer "$root/fuzz/edit_fuzzer.cpp" "${io[@]}"
build reader_fuzzer "$root/fuzz/reader_fuzzer.cpp" "${io[@]}"
