#!/usr/bin/env bash
# Times the export companion on the results of generated firings, built in Release here.
#
#   bench/export_run.sh [runs] [sizes...]     default: 5 runs of 100000 and 1000000 samples
#
# Per size: the program runs once on a load-cell record of that many samples (generated
# by bench/gen_load_cell.cpp), then the export runs `runs` times on its results, writing
# the .eng (32 points) and the CSV curve. Prints the median wall and CPU times of the
# export, next to the program's own time on the same firing, and the export's peak RSS.
# 10^7 samples need some 1.6 GB of disk for the load-cell record and the curve table.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
shift || true
sizes=("$@")
[[ ${#sizes[@]} -eq 0 ]] && sizes=(100000 1000000)

build=$root/build-bench-export
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON >/dev/null
cmake --build "$build" --target kalvorestine_2p0 kalvorestine_2p0_export bench_gen >/dev/null

work=$(mktemp -d /tmp/kv_bench_export_XXXXXX)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

printf '%-9s %10s %10s %10s %10s %8s %10s\n' samples export_wall export_cpu prog_wall ratio rss_MiB B/point
for n in "${sizes[@]}"; do
  dir=$work/$n
  mkdir -p "$dir"
  "$build/bench_gen" "$n" 42 "$dir" >/dev/null
  (cd "$dir" && COMSPEC=/bin/true /usr/bin/time -f '%e' -o "$dir/prog.time" "$build/kalvorestine_2p0" \
    </dev/null >/dev/null 2>"$dir/prog.err") || { echo "the program failed on $n samples"; exit 1; }
  : >"$dir/export.times"
  for ((r = 0; r < runs; r++)); do
    /usr/bin/time -f '%e %U %S %M' -o "$dir/t" "$build/src/export/kalvorestine_2p0_export" "$dir" --diameter 29 \
      --length 124 --total-mass 1.2 --csv "$dir/curve.csv" >/dev/null 2>"$dir/export.err" ||
      { echo "the export failed on $n samples: $(cat "$dir/export.err")"; exit 1; }
    cat "$dir/t" >>"$dir/export.times"
  done
  ew=$(awk '{print $1}' "$dir/export.times" | median)
  ec=$(awk '{print $2 + $3}' "$dir/export.times" | median)
  pw=$(cat "$dir/prog.time")
  rss=$(awk '{print $4}' "$dir/export.times" | sort -n | tail -1)
  awk -v n="$n" -v ew="$ew" -v ec="$ec" -v pw="$pw" -v rss="$rss" 'BEGIN {
    printf "%-9s %10.3f %10.3f %10.3f %10.2f %8.1f %10.1f\n", n, ew, ec, pw, ew / pw, rss / 1024, rss * 1024 / n }'
  rm -rf "$dir"
done
