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

# Releases pin osslsigncode 2.9: Debian 12's own 2.5 signs PE files with other bytes, so a rebuild
# with it could not reproduce a published signed file. 2.9 comes from bookworm-backports, through a
# private sources list (the system's entries plus that suite), so the system's apt configuration
# is never edited.
OSSLSIGNCODE_VERSION=2.9
install_osslsigncode() {
  local have
  have=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9.]*\).*/\1/p')
  if [ "$have" = "$OSSLSIGNCODE_VERSION" ]; then
    say "osslsigncode $have is installed"
    return
  fi
  say "installing osslsigncode $OSSLSIGNCODE_VERSION from bookworm-backports (found '${have:-none}')"
  local apt_dir=$cache/apt-backports sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  sed -E '/^Suites:/s/ bookworm( |$)/ bookworm bookworm-backports\1/' \
    /etc/apt/sources.list.d/debian.sources >"$apt_dir/backports.sources"
  local apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/backports.sources" -o Dir::Etc::SourceParts=/dev/null
                  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
  [ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)
  $sudo apt-get "${apt_opts[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${apt_opts[@]}" install -y -qq \
    -t bookworm-backports osslsigncode >/dev/null
}

install_packages
# Only a release needs that version (scripts/release.sh checks it): a failure here must not stop
# the tests.
install_osslsigncode || say "warning: osslsigncode $OSSLSIGNCODE_VERSION could not be installed; releases will refuse to sign"
"$repo/scripts/fetch_sources.sh"
"$repo/scripts/build_mingw_deps.sh"
say "done"
