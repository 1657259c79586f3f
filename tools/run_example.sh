#!/usr/bin/env bash
# Builds the program (Release) and runs it on the shipped example, a static firing of a
# small D-class motor. The run works on a fresh copy of examples/ in build/example-run/,
# so the shipped files stay as they are. Where your PATH has no Notepad or Wgnuplot, the
# program finds the stand-ins of its build tree (<build>/tools/shims) by itself.
#
#   tools/run_example.sh           opens each input and result file in your editor
#                                  (VISUAL, EDITOR, else nano or vi) and waits for it
#   tools/run_example.sh --batch   opens nothing
#
# KV_BUILD_DIR and KV_RUN_DIR choose other build and run directories.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KV_BUILD_DIR:-build-release}
run=${KV_RUN_DIR:-build/example-run}

batch=0
case "${1:-}" in
  --batch) batch=1 ;;
  "") ;;
  *) echo "usage: $0 [--batch]" >&2; exit 2 ;;
esac

# A fresh Debian machine may lack the build tools, the libraries or gnuplot.
tools/need.sh cmake ninja-build g++ libcli11-dev libfast-float-dev gnuplot-nox

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build "$build" --target kalvorestine_2p0 >/dev/null
[ -x "$build/tools/shims/Notepad" ] || { echo "no stand-ins in $build/tools/shims" >&2; exit 1; }

rm -rf "$run"
mkdir -p "$run"
cp examples/*.txt examples/*.gnu "$run"/
cd "$run"

status=0
if ((batch)) || [ ! -t 0 ]; then
  "$root/$build/kalvorestine_2p0" </dev/null || status=$?
else
  echo "The editor opens on each input file and then on the results; close it to go on."
  "$root/$build/kalvorestine_2p0" || status=$?
fi
if ((status != 0)); then
  echo "The run ended with status $status." >&2
  exit 1
fi

here=$PWD
echo
echo "The run is complete. In $here:"
echo "  summary report  motor_d12_saida_A.txt"
echo "  curve table     motor_d12_saida_B.txt"
echo "  run log         motor_d12_saida_H.txt"
if [ -f kalvorestine_2p0_curva_F-t.png ]; then
  echo "  thrust curve    kalvorestine_2p0_curva_F-t.png"
else
  echo "  (no picture: gnuplot is not installed)"
fi
echo "The files are Windows-1252 text with CR LF line ends, for example:"
echo "  iconv -f CP1252 -t UTF-8 $here/motor_d12_saida_A.txt"
