#!/usr/bin/env bash
# Installs the Debian packages named on the command line that this machine lacks, when
# run as root where apt-get is at hand; otherwise names what is missing and goes on.
#   tools/need.sh cmake ninja-build g++ ...
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
((${#missing[@]})) || exit 0
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing ${missing[*]} ..."
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "Missing packages (install them, or run as root): ${missing[*]}" >&2
fi
