#!/usr/bin/env bash
# Runs the Windows build of the prepare companion under Wine and the native build on the
# same small logger file (semicolons, decimal commas, a byte-order mark, CR LF and a
# title with an accent), then --check on the case each wrote, then a file with a
# malformed line, then the logger file under a name with letters outside ASCII (the
# arguments, the folder and the output in UTF-8), then a calibration from known weights,
# then a certification .DAT and a LabVIEW file; fails, naming the difference, when their
# statuses, outputs or written files differ.
#
#   tests/prepare/wine_check.sh WINDOWS_EXE NATIVE_EXE
set -euo pipefail
source "$(dirname "$0")/../wine_env.sh"

# A logger's export: 500 Hz, a 1.4 s burn, decimal commas between semicolons.
{
  printf '\357\273\277Tempo (s);Empuxo (N)\r\n'
  LC_ALL=C awk 'BEGIN {
    for (i = 0; i < 1500; i++) {
      t = i / 500; s = t - 1; F = 0
      if (s >= 0 && s < 0.03) F = 28 * s / 0.03
      else if (s >= 0.03 && s < 1.4) F = 28 - 10 * (s - 0.03) / 1.37
      else if (s >= 1.4 && s < 1.46) F = 18 * (1 - (s - 1.4) / 0.06)
      F += 0.1 + 0.02 * sin(i * 1.7)
      x = sprintf("%.3f;%.4f", t, F); gsub(/\./, ",", x); printf "%s\r\n", x
    } }'
} >"$work/ensaio.csv"
sed '700s/.*/0,5;;/' "$work/ensaio.csv" >"$work/ruim.csv"

# Runs one side in $work/$1 with the rest of the arguments; keeps status, output, errors.
side() {
  local dir=$work/$1
  shift
  mkdir -p "$dir"
  cp -n "$work/ensaio.csv" "$work/ruim.csv" "$dir/" 2>/dev/null || true
  local status=0
  (cd "$dir" && "$@" >"$dir/.out" 2>"$dir/.err") || status=$?
  echo "$status" >"$dir/.status"
  tr -d '\r' <"$dir/.out" >"$dir/.out.txt"
  tr -d '\r' <"$dir/.err" >"$dir/.err.txt"
}
same() {
  local what=$1
  for f in .status .out.txt .err.txt; do
    cmp -s "$work/native/$f" "$work/windows/$f" ||
      fail "$what: $f differs:
$(diff "$work/native/$f" "$work/windows/$f" | head -20)"
  done
}

prepare_args=(ensaio.csv --mass 0.02 --case ensaio --title "Ensaio à tarde, 1")
side native "$native" "${prepare_args[@]}"
side windows timeout 300 "$wine" "$exe" "${prepare_args[@]}"
same "prepare"
[ "$(cat "$work/native/.status")" = 0 ] || fail "the native run failed: $(cat "$work/native/.err")"
for f in kalvorestine_2p0_dados_geral.txt ensaio.txt ensaio_celula.txt kalvorestine_2p0_curva_F-t.gnu; do
  cmp "$work/native/ensaio/$f" "$work/windows/ensaio/$f" || fail "ensaio/$f differs between the native and the Windows run"
done

side native "$native" --check ensaio
side windows timeout 300 "$wine" "$exe" --check ensaio
same "--check"

side native "$native" ruim.csv --mass 0.02
side windows timeout 300 "$wine" "$exe" ruim.csv --mass 0.02
same "a malformed line"
[ "$(cat "$work/native/.status")" = 1 ] || fail "the malformed line was not refused"

# A name outside ASCII: the same bytes on the command line, in the folder's name and in
# the output on both sides.
named="ensaio à tarde, nº 2, řada"  # ř: a letter the ANSI code page has not
for side_dir in native windows; do cp "$work/ensaio.csv" "$work/$side_dir/$named.csv"; done
named_args=("$named.csv" --mass 0.02 --quiet)
side native "$native" "${named_args[@]}"
side windows timeout 300 "$wine" "$exe" "${named_args[@]}"
same "a name outside ASCII"
[ "$(cat "$work/native/.status")" = 0 ] || fail "the native run on \"$named.csv\" failed: $(cat "$work/native/.err")"
[ -d "$work/windows/$named" ] || fail "the Windows run wrote no folder \"$named\": $(ls "$work/windows")"
for f in "$work/native/$named"/*; do
  cmp "$f" "$work/windows/$named/$(basename "$f")" || fail "$named/$(basename "$f") differs between the native and the Windows run"
done
side native "$native" --check "$named"
side windows timeout 300 "$wine" "$exe" --check "$named"
same "--check on a name outside ASCII"
[ "$(cat "$work/native/.status")" = 0 ] || fail "--check \"$named\" found a problem: $(cat "$work/native/.out")"

# A calibration from known weights (the empty stand before ignition, readings under
# 1.25 and 2.5 kg), with its fit, its uncertainties and the case's record: the same bytes.
printf '# the stand, then two weights\r\n0..0.9  0 kg\r\n13.8  1250 g\r\n27.4  2.5 kg\r\n' >"$work/pesos.txt"
for side_dir in native windows; do cp "$work/pesos.txt" "$work/$side_dir/"; done
calibration_args=(ensaio.csv --mass 0.02 --calibration pesos.txt --out calibrado)
side native "$native" "${calibration_args[@]}"
side windows timeout 300 "$wine" "$exe" "${calibration_args[@]}"
same "a calibration"
[ "$(cat "$work/native/.status")" = 0 ] || fail "the native run with --calibration failed: $(cat "$work/native/.err")"
[ -f "$work/native/calibrado/ensaio_prepare.json" ] || fail "no record beside the calibrated case: $(ls "$work/native/calibrado")"
for f in "$work/native/calibrado"/*; do
  cmp "$f" "$work/windows/calibrado/$(basename "$f")" || fail "calibrado/$(basename "$f") differs between the native and the Windows run"
done

# Two kinds of logger file read by their header: a certification stand's .DAT (the rate,
# the motor's name and its propellant mass from the header, no option given) and a
# LabVIEW measurement file (tabs, decimal commas, the times from Delta_X).
motor() {
  LC_ALL=C awk -v rate="$1" -v n="$2" -v comma="$3" -v lead="$4" 'BEGIN {
    for (i = 0; i < n; i++) {
      s = i / rate - 1; F = 0
      if (s >= 0 && s < 0.03) F = 140 * s / 0.03
      else if (s >= 0.03 && s < 2) F = 140 - 50 * (s - 0.03) / 1.97
      else if (s >= 2 && s < 2.06) F = 90 * (1 - (s - 2) / 0.06)
      F += 0.4 + 0.05 * sin(i * 1.3)
      x = sprintf("%.3f", F); if (comma) gsub(/\./, ",", x); printf "%s%s\r\n", lead, x
    } }'
}
{
  printf 'H150\r\n29\r\n124\r\n120\r\n'
  for line in $(seq 5 30); do
    case $line in 17) printf '2000\r\n' ;; 27) printf '500\r\n' ;; *) printf '%s\r\n' $((line * 7 % 23)) ;; esac
  done
  motor 500 2000 0 ""
} >"$work/TESTE01.DAT"
{
  printf 'LabVIEW Measurement\t\r\nSeparator\tTab\r\nDecimal_Separator\t,\r\n***End_of_Header***\t\r\n\r\n'
  printf 'Channels\t1\t\r\nY_Unit_Label\tN\t\r\nDelta_X\t0,001000\t\r\n***End_of_Header***\t\r\nX_Value\tForca\tComment\r\n'
  motor 1000 4000 1 $'\t'
} >"$work/bancada.lvm"
for kind in TESTE01.DAT bancada.lvm; do
  stem=${kind%.*}
  for side_dir in native windows; do cp "$work/$kind" "$work/$side_dir/"; done
  kind_args=("$kind" --out "$stem")
  [ "$kind" = bancada.lvm ] && kind_args+=(--mass 0.1)
  side native "$native" "${kind_args[@]}"
  side windows timeout 300 "$wine" "$exe" "${kind_args[@]}"
  same "$kind"
  [ "$(cat "$work/native/.status")" = 0 ] || fail "the native run on $kind failed: $(cat "$work/native/.err")"
  for f in "$work/native/$stem"/*; do
    cmp "$f" "$work/windows/$stem/$(basename "$f")" || fail "$stem/$(basename "$f") differs between the native and the Windows run"
  done
  side native "$native" --check "$stem"
  side windows timeout 300 "$wine" "$exe" --check "$stem"
  same "--check on the case of $kind"
  [ "$(cat "$work/native/.status")" = 0 ] || fail "--check $stem found a problem: $(cat "$work/native/.out")"
done

echo "wine_check: the Windows and the native companion agree (prepare, --check, a malformed line, a name outside ASCII, a calibration and the case's record, a certification .DAT and a LabVIEW file)"
