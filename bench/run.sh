#!/usr/bin/env bash
# Times the program on generated load-cell records against the floor program (one
# thread, from_chars/to_chars, one output buffer written once), both built in Release here.
#
#   bench/run.sh [runs] [sizes...]        default: 5 runs of 100000 and 1000000 samples
#
# Prints per size the median wall time and median CPU time (user + sys) of each, their
# ratios, and the program's peak RSS against its budget nmax x 40 bytes + 16 MiB.
# Timings on a shared machine are noisy: compare ratios, and rerun when in doubt.
#
# Also builds build-bench-release/bench_check_decimal, which checks the integer decimal
# rounding against std::to_chars on as many cases as asked for:
#   build-bench-release/bench_check_decimal 300000000
# and build-bench-release/bench_sweep_float32, which renders every float32 value through
# F12.7, 1P E15.6 and 1P E15.7 with both digit sources and counts the fields that differ
# (all 2^32 values: about half an hour on two cores):
#   build-bench-release/bench_sweep_float32
# (a build configured with -DKV_FLOAT32_SWEEP=ON runs it as the test Float32Sweep).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
shift || true
sizes=("$@")
[[ ${#sizes[@]} -eq 0 ]] && sizes=(100000 1000000)

build=$root/build-bench-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON >/dev/null
cmake --build "$build" --target kalvorestine_2p0 bench_floor bench_gen bench_check_decimal bench_sweep_float32 >/dev/null

work=$(mktemp -d /tmp/kv_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

printf '%-9s %10s %10s %7s %10s %10s %7s %10s %10s %6s\n' samples prog_wall floor_wall ratio prog_cpu floor_cpu ratio rss_MiB budget_MiB fits
for n in "${sizes[@]}"; do
  dir=$work/$n
  mkdir -p "$dir"
  "$build/bench_gen" "$n" 42 "$dir" >/dev/null
  nmax=$(sed -n 7p "$dir/bench_caso.txt" | awk '{print $1}')
  ti=$(sed -n 2p "$dir/bench_caso.txt" | awk '{print $1}')
  tf=$(sed -n 3p "$dir/bench_caso.txt" | awk '{print $1}')
  w=$(sed -n 6p "$dir/bench_caso.txt" | awk '{print $1}')
  : >"$dir/prog.times"
  : >"$dir/floor.times"
  for ((r = 0; r < runs; r++)); do
    (cd "$dir" && COMSPEC=/bin/true /usr/bin/time -f '%e %U %S %M' -o "$dir/t" \
      "$build/kalvorestine_2p0" 2>"$dir/stderr.txt" >/dev/null) || { echo "program failed on $n samples"; exit 1; }
    cat "$dir/t" >>"$dir/prog.times"
    /usr/bin/time -f '%e %U %S %M' -o "$dir/t" \
      "$build/bench_floor" "$dir/bench_dados.txt" "$ti" "$tf" "$w" "$dir/floor_out.txt"
    cat "$dir/t" >>"$dir/floor.times"
  done
  pw=$(awk '{print $1}' "$dir/prog.times" | median)
  fw=$(awk '{print $1}' "$dir/floor.times" | median)
  pc=$(awk '{print $2 + $3}' "$dir/prog.times" | median)
  fc=$(awk '{print $2 + $3}' "$dir/floor.times" | median)
  rss=$(awk '{print $4}' "$dir/prog.times" | sort -n | tail -1)
  awk -v n="$n" -v pw="$pw" -v fw="$fw" -v pc="$pc" -v fc="$fc" -v rss="$rss" -v nmax="$nmax" 'BEGIN {
    budget = (nmax * 40 + 16 * 1048576) / 1048576; r = rss / 1024;
    printf "%-9s %10.3f %10.3f %7.2f %10.3f %10.3f %7.2f %10.1f %10.1f %6s\n",
      n, pw, fw, pw / fw, pc, fc, pc / fc, r, budget, (r <= budget) ? "yes" : "NO" }'
  rm -f "$dir"/bench_saida_* "$dir/floor_out.txt" "$dir/stderr.txt"
done
