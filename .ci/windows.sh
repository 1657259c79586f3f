#!/usr/bin/env bash
# Cross-builds the Windows executables of the program and its companions (x86-64,
# MinGW-w64 posix threads, linked statically) and, where Wine is at hand, runs the
# shipped example with the program:
#  1. with COMSPEC naming a recorder, which checks the exact command lines that
#     CreateProcessA is given ("INTERPRETER /c COMMAND");
#  2. with Wine's own cmd.exe and recording Notepad.exe/Wgnuplot.exe in the working
#     directory, which checks what cmd makes of plain names and of names with
#     characters that cmd acts on.
# The result files of the Windows run must equal those of the native run byte for byte.
#  3. with a case name in Windows-1252 whose folder is missing, which checks that the
#     diagnostic names the file in the name's own bytes.
# Then each companion's own check (tests/<companion>/wine_check.sh WINDOWS_EXE NATIVE_EXE)
# runs its Windows executable under Wine against the native one.
#
# Needs: cmake, ninja-build, g++-mingw-w64-x86-64-posix, and wine64 for the runs
# (installed here when missing and apt-get is available; without Wine only the build and
# the package are checked).
#
# It also makes the Windows package with cpack, build-windows/package/
# kalvorestine_2p0-VERSION-win64.zip, checks what it holds and, under Wine, runs the
# example from the unpacked package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KV_WINDOWS_BUILD:-build-windows}
native=${KV_NATIVE_BUILD:-build-windows-native}
prefix=x86_64-w64-mingw32

fail() { echo "windows: $*" >&2; exit 1; }

# --- the static cross build -------------------------------------------------------
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKV_WERROR=ON >/dev/null
programs=(kalvorestine_2p0 kalvorestine_2p0_prepare kalvorestine_2p0_export kalvorestine_2p0_report)
# Where each executable lands in a build tree.
built_path() {  # build-dir program
  case $2 in
    kalvorestine_2p0) echo "$root/$1/$2" ;;
    *) echo "$root/$1/src/${2#kalvorestine_2p0_}/$2" ;;
  esac
}
cmake --build "$build" --target "${programs[@]}"
for program in "${programs[@]}"; do
  built=$(built_path "$build" "$program").exe
  [ -f "$built" ] || fail "no $built"
  dlls=$($prefix-objdump -p "$built" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  for dll in $dlls; do
    case $dll in
      kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | advapi32.dll | user32.dll | ws2_32.dll | shell32.dll) ;;
      *) fail "$built is not static: it needs $dll" ;;
    esac
  done
  echo "windows: built $built (needs only: $(echo $dlls))"
done
exe=$root/$build/kalvorestine_2p0.exe

# --- the package -------------------------------------------------------------------
version=$(sed -nE 's/^project\(kalvorestine_2p0 VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
package=kalvorestine_2p0-$version-win64
rm -rf "$build/package"
(cd "$build" && cpack -G ZIP -B "$root/$build/package" >/dev/null) || fail "cpack failed"
zip=$root/$build/package/$package.zip
[ -f "$zip" ] || fail "no $zip"
expected_entries="$package/README.md
$package/examples/generate_load_cell.py
$package/examples/kalvorestine_2p0_curva_F-t.gnu
$package/examples/kalvorestine_2p0_dados_geral.txt
$package/examples/motor_d12.txt
$package/examples/motor_d12_celula.txt
$package/examples/prepare/hx711_ensaio.csv
$package/kalvorestine_2p0.exe
$package/kalvorestine_2p0_export.exe
$package/kalvorestine_2p0_prepare.exe
$package/kalvorestine_2p0_report.exe"
entries=$(python3 - "$zip" <<'PY'
import sys, zipfile
print("\n".join(sorted(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))))
PY
)
[ "$entries" = "$expected_entries" ] || fail "the package holds:
$entries
expected:
$expected_entries"
unpacked=$(mktemp -d)
python3 -m zipfile -e "$zip" "$unpacked"
for program in "${programs[@]}"; do
  cmp "$unpacked/$package/$program.exe" "$(built_path "$build" "$program").exe" || fail "$program.exe in the package is not the one built"
done
for f in README.md examples/kalvorestine_2p0_dados_geral.txt examples/motor_d12.txt examples/motor_d12_celula.txt \
  examples/kalvorestine_2p0_curva_F-t.gnu examples/generate_load_cell.py examples/prepare/hx711_ensaio.csv; do
  cmp "$unpacked/$package/$f" "$f" || fail "$f in the package differs from the source tree's"
done
echo "windows: package $zip ($(stat -c %s "$zip") bytes) holds $(echo "$entries" | wc -l) files as expected"

# --- Wine --------------------------------------------------------------------------
if ! command -v wine >/dev/null 2>&1 && ! command -v wine64 >/dev/null 2>&1; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine64 >/dev/null
  fi
fi
wine=$(command -v wine64 || command -v wine || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ -z "$wine" ]; then
  echo "windows: Wine is not installed; the executables and the package were built but not run"
  rm -rf "$unpacked"
  exit 0
fi

# The native program, for the expected result files.
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build "$native" --target "${programs[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work" "$unpacked"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# A recorder: appends its whole command line to launches.log in the working directory.
cat >"$work/recorder.c" <<'C'
#include <stdio.h>
#include <windows.h>
int main(void) {
  FILE* f = fopen("launches.log", "ab");
  if (!f) return 1;
  fprintf(f, "%s\n", GetCommandLineA());
  fclose(f);
  return 0;
}
C
$prefix-gcc-posix -O2 -static -o "$work/recorder.exe" "$work/recorder.c"
"$wine" wineboot --init >/dev/null 2>&1 || true

# Runs a Windows program (the one built, unless $2 names another) in $1, a copy of
# examples/ there already.
run_windows() {
  (cd "$1" && timeout 300 "$wine" "${2:-$exe}" </dev/null >"$1.out" 2>&1) || fail "the Windows run in $1 failed: $(cat "$1.out")"
}
# Runs a command while COMSPEC names the recorder. Wine takes COMSPEC from its registry,
# not from the Unix environment.
comspec='Z:'$(echo "$work/recorder.exe" | tr / '\\')
recorded() {
  "$wine" reg add 'HKCU\Environment' /v COMSPEC /t REG_SZ /d "$comspec" /f >/dev/null
  "$@"
  "$wine" reg delete 'HKCU\Environment' /v COMSPEC /f >/dev/null
}
run_native() {
  (cd "$1" && COMSPEC=/bin/true "$root/$native/kalvorestine_2p0" </dev/null) || fail "the native run failed"
}
fresh() {
  rm -rf "$1"
  mkdir -p "$1"
  cp examples/*.txt examples/*.gnu "$1"/
}

# 1. Exact command lines, through a recording interpreter.
fresh "$work/native"
run_native "$work/native"
fresh "$work/recorded"
recorded run_windows "$work/recorded"
expected="$comspec /c Notepad kalvorestine_2p0_dados_geral.txt
$comspec /c notepad motor_d12.txt
$comspec /c Wgnuplot kalvorestine_2p0_curva_F-t.gnu
$comspec /c Notepad motor_d12_saida_A.txt
$comspec /c Notepad motor_d12_saida_B.txt"
[ "$(tr -d '\r' <"$work/recorded/launches.log")" = "$expected" ] ||
  fail "command lines differ: $(cat "$work/recorded/launches.log")"
for f in motor_d12_saida_A.txt motor_d12_saida_B.txt motor_d12_saida_H.txt kalvorestine_2p0_curva_F-t.gnu; do
  cmp "$work/native/$f" "$work/recorded/$f" || fail "$f differs between the native and the Windows run"
done
echo "windows: command lines and result files as expected"

# 2. Wine's cmd.exe with recording programs; a case name that cmd would act on.
fresh "$work/cmd"
for p in Notepad Wgnuplot; do cp "$work/recorder.exe" "$work/cmd/$p.exe"; done
# Unquoted, cmd would run "copy nul pwned_saida_A.txt" after the editor.
sed -i 's/^motor_d12  /"x\&copy nul pwned"/' "$work/cmd/motor_d12.txt"
grep -q '^"x&copy nul pwned"' "$work/cmd/motor_d12.txt" || fail "could not set the case name"
run_windows "$work/cmd"
log=$(tr -d '\r' <"$work/cmd/launches.log")
echo "$log" | grep -q 'Notepad.* "x&copy nul pwned_saida_A.txt"$' || fail "cmd did not pass the quoted name: $log"
[ "$(echo "$log" | wc -l)" = 5 ] || fail "expected five launches: $log"
ls "$work/cmd" | grep -q '^pwned' && fail "a case name ran a command under cmd"
[ -f "$work/cmd/x&copy nul pwned_saida_A.txt" ] || fail "the result file is missing"
echo "windows: cmd.exe passed a name with & as one file name and ran nothing else"

# 2b. A case name that cmd.exe would expand (%): the run completes, the results are not
#     opened, and the user is told why on the standard error stream.
fresh "$work/percent"
for p in Notepad Wgnuplot; do cp "$work/recorder.exe" "$work/percent/$p.exe"; done
sed -i 's/^motor_d12  /motor%1/' "$work/percent/motor_d12.txt"
(cd "$work/percent" && timeout 300 "$wine" "$exe" </dev/null >"$work/percent.out" 2>"$work/percent.err") ||
  fail "a case name with % stopped the run: $(cat "$work/percent.err")"
[ -f "$work/percent/motor%1_saida_A.txt" ] || fail "the result file of a case name with % is missing"
reason="cmd.exe would take the % in the name for the start of a variable and open another file"
printf 'kalvorestine_2p0: Notepad was not started on motor%%1_saida_A.txt: %s\r\nkalvorestine_2p0: Notepad was not started on motor%%1_saida_B.txt: %s\r\n' \
  "$reason" "$reason" >"$work/percent.expected"
cmp "$work/percent.err" "$work/percent.expected" || fail "a name cmd cannot be given: $(od -c "$work/percent.err" | head)"
[ "$(tr -d '\r' <"$work/percent/launches.log" | wc -l)" = 3 ] || fail "expected three launches: $(cat "$work/percent/launches.log")"
echo "windows: a result file whose name cmd.exe would expand is not opened, and the user is told why"

# 3. A case name in Windows-1252 ("não_há/motor") whose folder is missing: the run log
#    cannot be created, and the diagnostic shows the name's own bytes, not UTF-8.
fresh "$work/name"
sed -i "s/^motor_d12  /'n\xe3o_h\xe1\/motor'/" "$work/name/motor_d12.txt"
status=0
(cd "$work/name" && timeout 300 "$wine" "$exe" </dev/null >"$work/name.out" 2>"$work/name.err") || status=$?
[ "$status" = 29 ] || fail "a missing folder gave status $status, not 29: $(cat "$work/name.err")"
printf 'forrtl: severe (29): file not found, unit 80, file Z:%s\\n\xe3o_h\xe1\\motor_saida_H.txt\r\n' \
  "$(echo "$work/name" | tr / '\\')" >"$work/name.expected"
cmp "$work/name.err" "$work/name.expected" || fail "the diagnostic of a missing folder: $(od -c "$work/name.err")"
echo "windows: a diagnostic names a file in its Windows-1252 bytes"

# 4. The example run from the unpacked package, as a user on Windows starts it (with the
#    recorder for an interpreter, so that no editor waits for a user).
recorded run_windows "$unpacked/$package/examples" ../kalvorestine_2p0.exe
for f in motor_d12_saida_A.txt motor_d12_saida_B.txt motor_d12_saida_H.txt; do
  cmp "$work/native/$f" "$unpacked/$package/examples/$f" || fail "$f of the packaged program differs from the native run"
done
echo "windows: the packaged program runs the example as the native one does"

# 5. The OS seam's folders, files and renames, with the program's names and with a
#    companion's UTF-8 names.
cmake --build "$build" --target kv_os_seam_check >/dev/null
mkdir -p "$work/seam"
"$wine" "$root/$build/kv_os_seam_check.exe" "Z:$(echo "$work/seam" | tr / '\\')" || fail "the OS seam differs under Wine"
echo "windows: the OS seam's folders, files and renames answer under Wine as on Linux"

# 6. The companions, each by its own check.
for companion in prepare export report; do
  check=tests/$companion/wine_check.sh
  [ -x "$check" ] || fail "no $check"
  WINE="$wine" "$check" "$(built_path "$build" "kalvorestine_2p0_$companion").exe" \
    "$(built_path "$native" "kalvorestine_2p0_$companion")" ||
    fail "the $companion companion differs under Wine"
  echo "windows: the $companion companion under Wine gives what it gives natively"
done
