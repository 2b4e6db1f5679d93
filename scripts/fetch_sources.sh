#!/usr/bin/env bash
# Fetches Debian's source packages of libsodium and nanopb into the cache, using a private apt
# sources list (deb-src copies of the system's own entries) so the system's apt configuration is
# never edited. The unpacked trees are <cache>/src/libsodium and <cache>/src/nanopb.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VORNAKEL_CACHE:-$repo/.cache}
say() { printf '[sources] %s\n' "$*"; }

src=$cache/src
if [ -f "$src/libsodium/.unpacked" ] && [ -f "$src/nanopb/.unpacked" ]; then
  say "libsodium and nanopb sources already unpacked in $src"
  exit 0
fi

apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives" "$src"
system_sources=/etc/apt/sources.list.d/debian.sources
if [ ! -f "$system_sources" ]; then
  echo "[sources] $system_sources not found: cannot derive deb-src entries" >&2
  exit 1
fi
# Same URIs, suites, components and signing keys as the system's binary entries.
sed -E 's/^Types:.*/Types: deb-src/' "$system_sources" >"$apt_dir/deb-src.sources"

apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/deb-src.sources" -o Dir::Etc::SourceParts=/dev/null
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)

say "updating the private deb-src index"
apt-get "${apt_opts[@]}" update -qq
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
say "downloading source packages libsodium and nanopb"
(cd "$work" && apt-get "${apt_opts[@]}" source --download-only -qq libsodium nanopb >/dev/null)
for name in libsodium nanopb; do
  dsc=$(ls "$work"/${name}_*.dsc | head -n1)
  rm -rf "${src:?}/$name"
  say "unpacking $(basename "$dsc")"
  dpkg-source --no-check -q -x "$dsc" "$src/$name" >/dev/null
  touch "$src/$name/.unpacked"
done
