#!/usr/bin/env bash
# Runs the Windows build of the export companion under Wine and the native build on the
# results of the shipped example (the native program makes them first), with the
# table, JSON, CSV, a .rse, a motor file checked, every point kept, options with a decimal comma, a case folder named
# on the command line, a case folder and an output whose names hold letters outside
# ASCII, a usage error and missing results; fails, naming the difference, when their
# statuses, standard output and error streams or written files differ.
#
#   tests/export/wine_check.sh WINDOWS_EXE NATIVE_EXE
#
# The native program is looked for beside the native build's top (<build>/kalvorestine_2p0,
# the companion being <build>/src/export/kalvorestine_2p0_export), or in KV_NATIVE_PROGRAM.
set -euo pipefail
source "$(dirname "$0")/../wine_env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
program=${KV_NATIVE_PROGRAM:-$(dirname "$native")/../../kalvorestine_2p0}
[ -x "$program" ] || fail "no native program at $program (set KV_NATIVE_PROGRAM)"

# The example's case and the results of its run.
mkdir -p "$work/case"
cp "$root"/examples/*.txt "$root"/examples/*.gnu "$work/case/"
(cd "$work/case" && COMSPEC=/bin/true "$program" </dev/null >/dev/null 2>&1) || fail "the native program failed on the example"
[ -f "$work/case/motor_d12_saida_B.txt" ] || fail "the example's run wrote no curve table"

# Runs one side (native or windows) in a fresh copy of the case, in $work/$1/$2, with
# the rest of the arguments; keeps the status, the output and the error stream.
side() {
  local dir=$work/$1/$2
  shift 2
  mkdir -p "$dir"
  cp -rp "$work/case" "$dir/case"  # with the files' times: the export checks them
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
# The same status, streams and files (all of them, in the case folder) on both sides.
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
  [ "$(cat "$work/native/$1/.status")" = "$2" ] || fail "$1: native status $(cat "$work/native/$1/.status"), not $2"
}

both table --diameter 24 --length 70 --total-mass 0.0424 --csv curve.csv
status_is table 0
same table
grep -q '^D12 24 70 P 0.018 0.0424 static-fire' "$work/native/table/case/motor_d12.eng" || fail "table: no .eng header"

both json --json --diameter 24,5 --length 70 --points 0 --eng all.eng --name D12x --delays 3-5-7 --maker test
status_is json 0
same json

both rse --diameter 24 --length 70 --total-mass 0.0424 --rse d12.rse --type reloadable
status_is rse 0
same rse
grep -q '<engine code="D12"' "$work/native/rse/case/d12.rse" || fail "rse: no engine D12"

# Someone else's motor file, checked: the same rules broken on the same lines.
printf '; Motor D12 \x96 ensaio\r\nD12 0.024 70 P 0.018 0.0424 m\r\n   0 0\r\n   0.1 30\r\n   1.6 5\r\n' >"$work/case/theirs.eng"
both check --check-motor theirs.eng
status_is check 1
same check
grep -q '^theirs.eng:2: the diameter' "$work/native/check/.out" || fail "check: the diameter is not found"

both figures --no-eng
status_is figures 0
same figures

# A case folder on the command line: the table names the .eng with the system's own
# separator, so only the status and the files are compared.
both folder ../case --diameter 24 --length 70 --csv ../c.csv
status_is folder 0
same folder .status
cmp -s "$work/native/folder/c.csv" "$work/windows/folder/c.csv" || fail "folder: the CSV differs"

# Names outside ASCII: a case folder named on the command line and a CSV beside it; the
# table names the .eng with the system's separator, so the CSV, the status and the files
# are compared.
named="ensaio não, nº 2, řada"  # ř: a letter the ANSI code page has not
for side_dir in native windows; do
  mkdir -p "$work/$side_dir/named"
  cp -rp "$work/case" "$work/$side_dir/named/$named"
done
side_named() {  # side, then the command
  local dir=$work/$1/named
  shift
  local status=0
  (cd "$dir" && "$@" </dev/null >"$dir/.out" 2>"$dir/.err") || status=$?
  echo "$status" >"$dir/.status"
}
side_named native "$native" "$named" --diameter 24 --length 70 --csv "curva ã.csv"
side_named windows timeout 300 "$wine" "$exe" "$named" --diameter 24 --length 70 --csv "curva ã.csv"
[ "$(cat "$work/native/named/.status")" = 0 ] || fail "named: native status $(cat "$work/native/named/.status"): $(cat "$work/native/named/.err")"
cmp -s "$work/native/named/.status" "$work/windows/named/.status" ||
  fail "named: the Windows status is $(cat "$work/windows/named/.status"): $(cat "$work/windows/named/.err")"
cmp -s "$work/native/named/curva ã.csv" "$work/windows/named/curva ã.csv" || fail "named: the CSV \"curva ã.csv\" differs or is missing"
cmp -s "$work/native/named/$named/motor_d12.eng" "$work/windows/named/$named/motor_d12.eng" ||
  fail "named: the .eng in \"$named\" differs or is missing"
grep -q "$named" "$work/windows/named/.out" || fail "named: the Windows table does not name the folder in UTF-8: $(cat "$work/windows/named/.out")"

both usage --diameter 24 --length 70 --points 1
status_is usage 2
same usage

# Missing results: the message names the file by its full path, which differs.
side native missing sh -c 'rm motor_d12_saida_A.txt && exec "$0" --no-eng' "$native"
side windows missing sh -c 'rm motor_d12_saida_A.txt && exec timeout 300 "$0" "$1" --no-eng' "$wine" "$exe"
status_is missing 1
same missing .status
grep -q 'motor_d12_saida_A.txt' "$work/windows/missing/.err" || fail "missing: the Windows message does not name the file"

echo "wine_check: the export under Wine gives what it gives natively"
