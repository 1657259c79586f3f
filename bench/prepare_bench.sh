#!/usr/bin/env bash
# Times the prepare companion on a generated logger file (a 10 kHz export with a 3 s
# firing in the middle; bench/prepare_gen.cpp) and reports the wall time and the peak
# RSS of each run, and their medians, beside the floor (bench/prepare_floor.cpp: the
# file read once, two numbers a line parsed with fast_float) and the ratio of the two.
#
#   bench/prepare_bench.sh [runs] [lines]      default: 3 runs of 10000000 lines
#
# The memory is bounded by the prepared curve (the firing, resampled), not by the file:
# compare the peak RSS of runs with different numbers of lines.
#
# On a machine that other work shares, wall times move by tens of per cent from run to
# run; the instructions counted by callgrind do not. Count both programs on the same
# file (the 10^7-line file takes a minute or two each):
#   valgrind --tool=callgrind --callgrind-out-file=/dev/null PROGRAM ARGS 2>&1 | grep refs
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/need.sh time
runs=${1:-3}
lines=${2:-10000000}

build=$root/build-bench-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON >/dev/null
cmake --build "$build" --target kalvorestine_2p0_prepare bench_prepare_gen bench_prepare_floor >/dev/null

work=$(mktemp -d /tmp/kv_prepare_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench_prepare_gen" "$lines" >"$work/logger.csv"
echo "logger file: $lines lines, $(du -m "$work/logger.csv" | cut -f1) MiB"

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Wall time in ms from the shell's clock (/usr/bin/time rounds to 10 ms), peak RSS from
# /usr/bin/time; the two programs take turns, so that a machine that slows down or
# speeds up meanwhile does so for both.
timed() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
  local end=$EPOCHREALTIME
  wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", (e - s) * 1000 }')
  read -r kib <"$work/time"
}
walls=()
rss=()
floors=()
for ((i = 1; i <= runs; i++)); do
  rm -rf "$work/case"
  timed "$build/src/prepare/kalvorestine_2p0_prepare" "$work/logger.csv" --mass 1.2 --out "$work/case" --quiet
  walls+=("$wall")
  rss+=("$kib")
  echo "run $i: ${wall} ms, peak RSS $((kib / 1024)) MiB"
  timed "$build/bench_prepare_floor" "$work/logger.csv"
  floors+=("$wall")
  echo "floor $i: ${wall} ms, peak RSS $((kib / 1024)) MiB"
done
prep=$(printf '%s\n' "${walls[@]}" | median)
floor=$(printf '%s\n' "${floors[@]}" | median)
echo "median: $prep ms wall, peak RSS $(($(printf '%s\n' "${rss[@]}" | median | cut -d. -f1) / 1024)) MiB"
echo "prepared: $(wc -l <"$work/case/logger_celula.txt") points in the load-cell file"
echo "floor median: $floor ms; prepare / floor = $(awk -v a="$prep" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')"
# A machine that other work shares slows some runs down by half or more: the fastest run
# of each is what the programs cost.
low() { sort -g | head -n 1; }
fast_prep=$(printf '%s\n' "${walls[@]}" | low)
fast_floor=$(printf '%s\n' "${floors[@]}" | low)
echo "fastest: $fast_prep ms against $fast_floor ms; prepare / floor = $(awk -v a="$fast_prep" -v b="$fast_floor" 'BEGIN { printf "%.2f", a / b }')"
