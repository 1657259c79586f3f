#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer; the build's KV_FUZZ option) and runs each from its seed
# corpus for a bounded time.
#
# Needs: clang (14 or later) and libclang-rt-14-dev (or the libFuzzer runtime of the
# clang in use). Environment: FUZZ_SECONDS per target (default 60), FUZZ_OUT build
# directory (default build-fuzz). A crash, or a finding of a target's own checks, stops
# that target; its input is left in $FUZZ_OUT/artifacts/<target>/ and the script fails.
# Make such an input a regression test under tests/ and add it to fuzz/corpus/<target>/.
# A target's dictionary of tokens, fuzz/<target>.dict, is used where there is one.
set -uo pipefail
cd "$(dirname "$0")/.."
secs="${FUZZ_SECONDS:-60}"
out="${FUZZ_OUT:-build-fuzz}"
cmake -S . -B "$out" -G Ninja -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKV_FUZZ=ON -DKV_TESTS=OFF -DKV_WERROR=ON >/dev/null || exit 1
cmake --build "$out" --target convert_fuzzer edit_fuzzer reader_fuzzer || exit 1
cmake --build "$out" --target export_reader_fuzzer eng_writer_fuzzer motor_check_fuzzer || exit 1
cmake --build "$out" --target prepare_fuzzer check_fuzzer record_fuzzer || exit 1

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for t in convert_fuzzer edit_fuzzer reader_fuzzer export_reader_fuzzer eng_writer_fuzzer motor_check_fuzzer \
  prepare_fuzzer check_fuzzer record_fuzzer; do
  work="$out/work/$t"
  art="$out/artifacts/$t"
  mkdir -p "$work" "$art"
  echo "== $t: ${secs}s"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  "$out/$t" -max_total_time="$secs" -max_len=4096 -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    "${dict[@]}" -artifact_prefix="$art/" "$work" "fuzz/corpus/$t" >"$out/$t.log" 2>&1
  status=$?
  grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec' "$out/$t.log" | sed "s/^/   /"
  if ((status != 0)); then
    failed=1
    echo "   FAILED (status $status); see $out/$t.log and $art/"
    grep -E 'ERROR|fuzzer: |runtime error|SUMMARY' "$out/$t.log" | head -5 | sed "s/^/   /"
  fi
done
exit "$failed"
