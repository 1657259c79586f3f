#!/usr/bin/env bash
# Makes a series of firings from the shipped example, as the README shows it: N copies
# of the example case (default 4), each with the load-cell record's thrust scaled by a
# few per cent and the last few records of its tail-off cut to nothing (so that the burn
# times differ too), run by the program, and a series file naming them with their labels.
#   tools/example_series.sh PROGRAM OUT_DIR [N]
set -euo pipefail
program=$(realpath "$1") out=$2 n=${3:-4}
examples=$(cd "$(dirname "$0")/../examples" && pwd)
mkdir -p "$out"
: > "$out/series.txt"
scales=(1.000 0.985 1.012 0.994 1.021 0.978 1.006 0.991 1.015 0.983 1.009 0.997)
delays=(6.3 5.8 6.9 6.1 5.5 6.6 6.0 6.4 5.9 6.8 6.2 5.7)
for ((k = 0; k < n; ++k)); do
  d=$out/firing$((k + 1))
  mkdir -p "$d"
  cp "$examples"/kalvorestine_2p0_dados_geral.txt "$examples"/motor_d12.txt "$examples"/kalvorestine_2p0_curva_F-t.gnu "$d"/
  # The thrust of every record scaled; the time column as it is (CR LF kept).
  end=$(awk -v k=$k 'BEGIN { printf "%.3f", 2.045 + 0.004 * (k % 5) }')
  awk -v s="${scales[k % 12]}" -v end="$end" 'BEGIN { ORS = "" }
    { sub(/\r$/, ""); F = $2 * s; if ($1 + 0 > end + 0 && $1 + 0 < 2.2) F = 0; printf "%s  %.5f\r\n", $1, F }' \
    "$examples"/motor_d12_celula.txt > "$d"/motor_d12_celula.txt
  (cd "$d" && COMSPEC=/bin/true "$program" > /dev/null)
  printf 'firing%d  motor=D12 delay=6 measured=%s lot=A%d temp=%d\n' $((k + 1)) "${delays[k % 12]}" $((k / 4 + 1)) $((18 + k % 5)) >> "$out/series.txt"
done
