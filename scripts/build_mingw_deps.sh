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

if [ ! -f "$prefix/.libsodium" ]; then
  say "building libsodium for $host (about 1.5 minutes)"
  rm -rf "$build/libsodium-src" "$build/libsodium"
  cp -a "$cache/src/libsodium" "$build/libsodium-src"
  (cd "$build/libsodium-src" && autoreconf -fi >/dev/null 2>&1)
  mkdir -p "$build/libsodium"
  (cd "$build/libsodium" &&
    "$build/libsodium-src/configure" --quiet --host=$host --prefix="$prefix" --disable-shared \
      --enable-static CC=$host-gcc-posix CFLAGS=-O2 >/dev/null &&
    make -s -j"$jobs" >/dev/null 2>&1 && make -s install >/dev/null)
  touch "$prefix/.libsodium"
else
  say "libsodium is in place"
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
