#!/usr/bin/env bash
# The stand-ins for Notepad and Wgnuplot: which editor Notepad opens, with which
# arguments, and that nothing asks the user to choose one. Each case runs the stand-in
# under a pseudo-terminal (script(1)), as an interactive run does, with a PATH that holds
# only recording fakes and the few tools the stand-in needs.
#   standins_test.sh SHIMS_DIR
set -euo pipefail
shims=$(cd "$1" && pwd)
script=$(command -v script)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A fake program that appends "NAME[arg][arg]..." to $work/log.
fake() {  # folder name
  mkdir -p "$1"
  printf '#!/bin/sh\nprintf "%%s" "%s" >> "%s/log"\nprintf "[%%s]" "$@" >> "%s/log"\necho >> "%s/log"\n' \
    "$2" "$work" "$work" "$work" >"$1/$2"
  chmod +x "$1/$2"
}

# A PATH folder with the tools the stand-ins use, and the fakes a case asks for.
bin_with() {  # folder fake...
  local dir=$1 tool
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  for tool in sh readlink dirname; do ln -s "$(command -v "$tool")" "$dir/$tool"; done
  for tool in "$@"; do fake "$dir" "$tool"; done
}

# check NAME EXPECTED_LOG ENV... -- COMMAND...: runs the command on a terminal with the
# environment given (VISUAL and EDITOR unset unless given) and compares the log.
check() {
  local name=$1 expected=$2
  shift 2
  local env=()
  while [ "$1" != -- ]; do env+=("$1"); shift; done
  shift
  rm -f "$work/log"
  local quoted
  quoted=$(printf '%q ' "$@")
  env -u VISUAL -u EDITOR SHELL=/bin/sh "${env[@]}" "$script" -qec "$quoted" /dev/null >"$work/out" 2>&1 </dev/null || true
  local got=""
  [ -f "$work/log" ] && got=$(cat "$work/log")
  if [ "$got" != "$expected" ]; then
    echo "FAIL $name: expected '$expected', got '$got' (output: $(tr -d '\r' <"$work/out"))"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

b=$work/bin
bin_with "$b" nano vi sensible-editor editor myeditor
check "VISUAL first, with its arguments" "myeditor[--wait][./case_saida_A.txt]" \
  PATH="$b" VISUAL="$b/myeditor --wait" EDITOR=nano -- "$shims/Notepad" case_saida_A.txt
check "then EDITOR" "myeditor[./case.txt]" PATH="$b" EDITOR=myeditor -- "$shims/notepad" case.txt
check "then nano, never a chooser" "nano[./case.txt]" PATH="$b" -- "$shims/Notepad" case.txt
bin_with "$b" vi sensible-editor editor
check "then vi" "vi[./case.txt]" PATH="$b" -- "$shims/Notepad" case.txt
check "a name with blanks is one file" "vi[./my case_saida_A.txt]" PATH="$b" -- "$shims/Notepad" my case_saida_A.txt

# Whatever a name begins with, every editor gets it as a file: a leading "-" or "+" is an
# option or a command to vim, nano and emacs ("+!cmd" runs a shell command in vim). A
# relative name goes as ./NAME, an absolute one as it is.
bin_with "$b" nano emacs vi
for name in -n_saida_A.txt "+!touch PWNED" +12 "+/x" --help "-c!sh" "@list" "~user" ; do
  check "leading '${name:0:2}' stays a file for nano" "nano[./$name]" PATH="$b" -- "$shims/Notepad" "$name"
  check "leading '${name:0:2}' stays a file for emacs" "emacs[./$name]" PATH="$b" VISUAL=emacs -- "$shims/Notepad" "$name"
done
check "an absolute name as it is" "nano[/tmp/+x_saida_A.txt]" PATH="$b" -- "$shims/Notepad" "/tmp/+x_saida_A.txt"

# vim under any of its names, behind a link or not, reads the file as Windows-1252.
bin_with "$b" vim.basic nvim
ln -s vim.basic "$b/vi"
check "vi that is vim" "vim.basic[-c][edit ++enc=cp1252][./case.txt]" PATH="$b" -- "$shims/Notepad" case.txt
check "neovim" "nvim[-c][edit ++enc=cp1252][./case.txt]" PATH="$b" EDITOR=nvim -- "$shims/Notepad" case.txt
check "vim with arguments" "vim.basic[-p][-c][edit ++enc=cp1252][./case.txt]" \
  PATH="$b" VISUAL="vi -p" -- "$shims/Notepad" case.txt

# The real vim, on a terminal, given a case file named "+!touch PWNED": it opens that
# file and runs nothing. The keys ask it which file it holds, then quit.
if vim_path=$(command -v vim); then
  v=$work/vimcase
  mkdir -p "$v" "$work/home"
  printf 'x\r\n' >"$v/+!touch PWNED"
  keys=':call writefile([expand("%:p")], "'"$v"'/opened")'$'\r'':qa!'$'\r'
  rm -f "$v/PWNED" "$v/opened"
  (sleep 1; printf '%s' "$keys"; sleep 3) |
    (cd "$v" && env -u VISUAL -u EDITOR HOME="$work/home" TERM=xterm SHELL=/bin/sh VISUAL="$vim_path" \
      timeout 20 "$script" -qec "$(printf '%q ' "$shims/Notepad" "+!touch" PWNED)" /dev/null >"$work/out" 2>&1) || true
  if [ -e "$v/PWNED" ]; then
    echo "FAIL real vim ran the command in a file name"; failures=$((failures + 1))
  elif [ "$(cat "$v/opened" 2>/dev/null)" != "$v/+!touch PWNED" ]; then
    echo "FAIL real vim: expected it to open '$v/+!touch PWNED', it held '$(cat "$v/opened" 2>/dev/null)'"
    failures=$((failures + 1))
  else
    echo "ok   real vim opens a file named +!touch PWNED and runs nothing"
  fi
else
  echo "FAIL real vim: vim is not installed (the test command installs it)"; failures=$((failures + 1))
fi

# No editor at all: a message, and the run goes on.
bin_with "$b" sensible-editor editor
check "no editor" "" PATH="$b" -- "$shims/Notepad" case.txt
grep -q "no text editor found" "$work/out" || { echo "FAIL no editor: no message"; failures=$((failures + 1)); }

# In batch (no terminal) nothing is opened.
bin_with "$b" nano
rm -f "$work/log"
env -u VISUAL -u EDITOR PATH="$b" "$shims/Notepad" case.txt </dev/null >/dev/null 2>&1
[ ! -f "$work/log" ] && echo "ok   batch opens nothing" || { echo "FAIL batch opened $(cat "$work/log")"; failures=$((failures + 1)); }

# Wgnuplot runs gnuplot on the script, or says that it is missing.
bin_with "$b" gnuplot
check "gnuplot" "gnuplot[-persist][kalvorestine_2p0_curva_F-t.gnu]" PATH="$b" -- "$shims/Wgnuplot" kalvorestine_2p0_curva_F-t.gnu
bin_with "$b"
check "no gnuplot" "" PATH="$b" -- "$shims/Wgnuplot" kalvorestine_2p0_curva_F-t.gnu
grep -q "gnuplot is not installed" "$work/out" || { echo "FAIL no gnuplot: no message"; failures=$((failures + 1)); }

((failures == 0)) || { echo "$failures failed"; exit 1; }
