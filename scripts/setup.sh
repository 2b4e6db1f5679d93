#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, then prepares the
# dependencies that Debian does not ship for MinGW. Safe to run again: what is in place is kept.
#
#   scripts/setup.sh            packages + source packages + MinGW dependencies
#
# The cache folder (default <repo>/.cache, override with VORNAKEL_CACHE) is git-ignored.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VORNAKEL_CACHE:-$repo/.cache}
say() { printf '[setup] %s\n' "$*"; }

install_packages() {
  mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$repo/scripts/apt-packages.txt")
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]} == 0)); then
    say "all ${#wanted[@]} Debian packages are installed"
    return
  fi
  say "installing ${#missing[@]} Debian packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_packages
"$repo/scripts/fetch_sources.sh"
"$repo/scripts/build_mingw_deps.sh"
say "done"
