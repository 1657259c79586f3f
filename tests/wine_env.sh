# Sourced by each companion's wine_check.sh, with its arguments WINDOWS_EXE NATIVE_EXE:
# sets $exe and $native, fail(), $wine (WINE, else wine64 or wine), a work folder $work
# that goes at the end, and a fresh Wine prefix in it whose programs get their arguments
# and file names in UTF-8.
[ $# -eq 2 ] || { echo "usage: $0 WINDOWS_EXE NATIVE_EXE" >&2; exit 2; }
exe=$(realpath "$1")
native=$(realpath "$2")
fail() { echo "wine_check: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "no $exe"
[ -x "$native" ] || fail "no $native"
wine=${WINE:-$(command -v wine64 || command -v wine || true)}
[ -z "${WINE:-}" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
[ -n "$wine" ] || fail "Wine is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
export LANG=C.UTF-8 LC_ALL=C.UTF-8
"$wine" wineboot --init >/dev/null 2>&1 || true
