#!/usr/bin/env bash
# An installation as `cmake --install` makes it, into a fresh prefix: what it holds, and
# the installed program started by its full path from a case folder elsewhere, with a
# PATH that has none of Notepad, notepad or Wgnuplot. The stand-ins the program ships
# take their place (the editor opens nothing in a run without a terminal; gnuplot
# draws the picture when it is installed), and a Wgnuplot of the user's still wins.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/kalvorestine_2p0
bin/kalvorestine_2p0_export
bin/kalvorestine_2p0_prepare
bin/kalvorestine_2p0_report
libexec/kalvorestine_2p0/Notepad
libexec/kalvorestine_2p0/Wgnuplot
libexec/kalvorestine_2p0/notepad
share/kalvorestine_2p0/README.md
share/kalvorestine_2p0/examples/generate_load_cell.py
share/kalvorestine_2p0/examples/kalvorestine_2p0_curva_F-t.gnu
share/kalvorestine_2p0/examples/kalvorestine_2p0_dados_geral.txt
share/kalvorestine_2p0/examples/motor_d12.txt
share/kalvorestine_2p0/examples/motor_d12_celula.txt
share/kalvorestine_2p0/examples/prepare/hx711_ensaio.csv"
got=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$got" = "$expected" ] || fail "the installation holds:
$got
expected:
$expected"
for f in Notepad notepad Wgnuplot; do
  [ -x "$prefix/libexec/kalvorestine_2p0/$f" ] || fail "$f is not executable"
done
cmp "$prefix/share/kalvorestine_2p0/README.md" "$source/README.md" || fail "README.md differs"
echo "ok   the installation holds the programs, the stand-ins off PATH, the README and the examples"

# run FOLDER PATH: the installed program in a fresh copy of the example, nothing else in
# its environment but PATH, HOME, LANG and what the sanitizers need.
run() {
  rm -rf "$1"
  cp -r "$prefix/share/kalvorestine_2p0/examples" "$1"
  local status=0
  (cd "$1" && env -i PATH="$2" HOME="$work" LANG=C.UTF-8 ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} "$prefix/bin/kalvorestine_2p0" </dev/null >"$1.out" 2>"$1.err") ||
    status=$?
  [ "$status" = 0 ] || fail "the installed program ended with $status: $(cat "$1.err")"
}

run "$work/plain" /usr/bin:/bin
! grep -q "not found" "$work/plain.err" || fail "the run printed: $(cat "$work/plain.err")"
if command -v gnuplot >/dev/null 2>&1; then
  [ -s "$work/plain/kalvorestine_2p0_curva_F-t.png" ] || fail "no picture"
  echo "ok   the installed program, PATH=/usr/bin:/bin: the stand-ins ran, the picture is drawn"
else
  echo "ok   the installed program, PATH=/usr/bin:/bin: the stand-ins ran (no gnuplot: no picture)"
fi

mkdir -p "$work/user"
printf '#!/bin/sh\necho "$@" >> "%s/user.log"\n' "$work" >"$work/user/Wgnuplot"
chmod +x "$work/user/Wgnuplot"
run "$work/own" "$work/user:/usr/bin:/bin"
[ "$(cat "$work/user.log")" = kalvorestine_2p0_curva_F-t.gnu ] || fail "the user's Wgnuplot did not run"
[ ! -e "$work/own/kalvorestine_2p0_curva_F-t.png" ] || fail "the stand-in ran instead of the user's Wgnuplot"
echo "ok   a Wgnuplot on the user's PATH comes before the stand-in"
