#!/usr/bin/env bash
# Builds the Windows (MinGW-w64, static) dependencies into <cache>/mingw-prefix:
#   libsodium   from Debian's source package (autoreconf; Debian's tarball ships no configure)
#   GoogleTest  from Debian's /usr/src/googletest
#   nlohmann    header-only: Debian's headers and CMake package copied into the prefix
# nanopb's runtime is compiled by the project's own CMake from the unpacked source package.
# Each piece leaves a stamp; a second run that finds every stamp takes a moment.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VORNAKEL_CACHE:-$repo/.cache}
prefix=$cache/mingw-prefix
build=$cache/mingw-build
host=x86_64-w64-mingw32
jobs=$(nproc)
say() { printf '[mingw-deps] %s\n' "$*"; }
mkdir -p "$prefix" "$build"

# The stamp names the recipe and the source version it built. Recipe 2 maps the build folders out
# of what the library embeds (its assert strings carried .cache/mingw-build/... paths into the
# release), so caches of recipe 1 are rebuilt; the release's bill of materials reads the version.
libsodium_source=$(dpkg-parsechangelog -l "$cache/src/libsodium/debian/changelog" -S Version)
libsodium_stamp="recipe 2, Debian source $libsodium_source"
if [ "$(cat "$prefix/.libsodium" 2>/dev/null)" != "$libsodium_stamp" ]; then
  say "building libsodium $libsodium_source for $host (about 1.5 minutes)"
  rm -f "$prefix/.libsodium"
  rm -rf "$build/libsodium-src" "$build/libsodium"
  cp -a "$cache/src/libsodium" "$build/libsodium-src"
  (cd "$build/libsodium-src" && autoreconf -fi >/dev/null 2>&1)
  mkdir -p "$build/libsodium"
  maps="-ffile-prefix-map=$build/libsodium-src=libsodium -ffile-prefix-map=$build/libsodium=libsodium"
  (cd "$build/libsodium" &&
    "$build/libsodium-src/configure" --quiet --host=$host --prefix="$prefix" --disable-shared \
      --enable-static CC=$host-gcc-posix CFLAGS="-O2 $maps" >/dev/null &&
    make -s -j"$jobs" >/dev/null 2>&1 && make -s install >/dev/null)
  printf '%s\n' "$libsodium_stamp" >"$prefix/.libsodium"
else
  say "libsodium $libsodium_source is in place"
fi

if [ ! -f "$prefix/.googletest" ]; then
  say "building GoogleTest for $host"
  rm -rf "$build/googletest"
  cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-w64-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON >/dev/null
  cmake --build "$build/googletest" -j"$jobs" >/dev/null
  cmake --install "$build/googletest" >/dev/null
  touch "$prefix/.googletest"
else
  say "GoogleTest is in place"
fi

if [ ! -f "$prefix/.nlohmann" ]; then
  say "copying nlohmann/json headers and CMake package"
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -a /usr/include/nlohmann "$prefix/include/"
  cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
  touch "$prefix/.nlohmann"
else
  say "nlohmann/json is in place"
fi
