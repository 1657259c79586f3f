#!/usr/bin/env bash
# Installs the Debian packages named on the command line that this machine lacks, with
# apt-get as root or through sudo; where neither can be had, names what is missing and
# goes on (the build then says what it cannot find).
#   tools/need.sh cmake ninja-build g++ ...
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
((${#missing[@]})) || exit 0
if ! command -v apt-get >/dev/null 2>&1; then
  echo "Missing packages (not a Debian system?): ${missing[*]}" >&2
  exit 0
fi
as_root=()
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "Missing packages (install them as root): ${missing[*]}" >&2
    exit 0
  fi
fi
echo "Installing ${missing[*]} ..."
if ! { "${as_root[@]}" apt-get update -qq &&
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
  echo "Could not install: ${missing[*]}" >&2
fi
