#!/usr/bin/env bash
# Runs the Windows build of the report companion under Wine and the native build on the
# results of the shipped example (the native program makes them first): the firing's
# page in the case folder and elsewhere, a series of two firings with its table, CSV,
# JSON and page, a usage error and missing results; fails, naming the difference, when
# their statuses, streams or written files differ.
#
#   tests/report/wine_check.sh WINDOWS_EXE NATIVE_EXE
#
# The native program is looked for beside the native build's top (<build>/kalvorestine_2p0,
# the companion being <build>/src/report/kalvorestine_2p0_report), or in KV_NATIVE_PROGRAM.
set -euo pipefail
source "$(dirname "$0")/../wine_env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
program=${KV_NATIVE_PROGRAM:-$(dirname "$native")/../../kalvorestine_2p0}
[ -x "$program" ] || fail "no native program at $program (set KV_NATIVE_PROGRAM)"

# The example's case and the results of its run, twice: a series of two firings.
mkdir -p "$work/case/a"
cp "$root"/examples/*.txt "$root"/examples/*.gnu "$work/case/a/"
(cd "$work/case/a" && COMSPEC=/bin/true "$program" </dev/null >/dev/null 2>&1) || fail "the native program failed on the example"
cp -rp "$work/case/a" "$work/case/b"
printf 'a motor=D12 delay=6 measured=6.2\r\nb motor=D12 delay=6 measured=5.6\r\n' >"$work/case/series.txt"

# Runs one side (native or windows) in a fresh copy of the cases, in $work/$1/$2, with
# the rest of the arguments; keeps the status, the output and the error stream.
side() {
  local dir=$work/$1/$2
  shift 2
  mkdir -p "$dir"
  cp -rp "$work/case" "$dir/case"  # with the files' times: the page gives the run's date
  local status=0
  (cd "$dir/case" && "$@" </dev/null >"$dir/.out" 2>"$dir/.err") || status=$?
  echo "$status" >"$dir/.status"
}
both() {  # name, then the arguments
  local name=$1
  shift
  side native "$name" "$native" "$@"
  side windows "$name" timeout 300 "$wine" "$exe" "$@"
}
same() {  # name [streams]
  local name=$1 streams=${2:-.status .out .err}
  local n=$work/native/$name w=$work/windows/$name
  for f in $streams; do
    cmp -s "$n/$f" "$w/$f" || fail "$name: $f differs:
$(diff "$n/$f" "$w/$f" | head -20)"
  done
  (cd "$n/case" && find . -type f | sort) >"$n/.files"
  (cd "$w/case" && find . -type f | sort) >"$w/.files"
  cmp -s "$n/.files" "$w/.files" || fail "$name: different files written:
$(diff "$n/.files" "$w/.files")"
  while read -r f; do
    cmp -s "$n/case/$f" "$w/case/$f" || fail "$name: $f differs"
  done <"$n/.files"
}
status_is() {  # name status
  [ "$(cat "$work/native/$1/.status")" = "$2" ] || fail "$1: native status $(cat "$work/native/$1/.status"), not $2: $(cat "$work/native/$1/.err")"
}

both page a
status_is page 0
same page
grep -q 'id="nfpa-total-impulse">18.97487<' "$work/native/page/case/a/motor_d12_report.html" || fail "page: no total impulse"

both html a --html d12.html
status_is html 0
same html

both folders a b
status_is folders 0
same folders

both series --series series.txt --json --eng d12.eng --diameter 24 --length 70 --total-mass 0.0424
status_is series 0
same series

both usage a --json
status_is usage 2
same usage

side native missing sh -c 'rm a/motor_d12_saida_A.txt && exec "$0" a' "$native"
side windows missing sh -c 'rm a/motor_d12_saida_A.txt && exec timeout 300 "$0" "$1" a' "$wine" "$exe"
status_is missing 1
same missing .status
echo "wine_check: the report companion under Wine gives what it gives natively"
