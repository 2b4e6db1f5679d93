#!/usr/bin/env bash
# Shows that a release is reproducible, by building it three times from clones of one commit:
#   a  <root>/a                   umask 022, TZ=UTC, the test key created there
#   b  <root>/b/second-checkout   another path and depth, umask 077, TZ=Pacific/Auckland, later in
#                                 the day, the same key (copied from a's .cache/signing)
#   c  <root>/c                   no key: --attach-signatures with a's signatures
# and checking: a's and b's SHA256SUMS are identical; c's signed files are a's, byte for byte;
# osslsigncode verify accepts every signed file against the test certificate; the program inside
# each package is the signed program. A clone whose release is already there (for the same commit)
# is reused, so a run that was cut short can be resumed.
#
#   scripts/release/check_reproducible.sh <root> [commit]     (default commit: HEAD)
#
# Each run takes minutes (a full release build); the clones are left for inspection, remove <root>
# afterwards.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
root=${1:?usage: check_reproducible.sh <root> [commit]}
commit=$(git -C "$repo" rev-parse "${2:-HEAD}")
mkdir -p "$root"
root=$(cd "$root" && pwd)
say() { printf '[reproducible] %s\n' "$*"; }
failures=0
check() {  # check <what> <command...>
  local what=$1; shift
  if "$@"; then say "ok    $what"; else say "FAIL  $what"; failures=$((failures + 1)); fi
}

# release_in <clone> <umask> <TZ> [release.sh arguments...]
release_in() {
  local clone=$1 mask=$2 zone=$3; shift 3
  if [ -f "$clone/dist/release/SHA256SUMS" ] && [ "$(git -C "$clone" rev-parse HEAD)" = "$commit" ]; then
    say "reusing the release in $clone"
    return
  fi
  rm -rf "$clone"
  git clone -q "$repo" "$clone"
  git -C "$clone" checkout -q "$commit"
  # The unpacked source packages and the MinGW prefix (GoogleTest, which no release contains) save
  # the set-up time; libsodium, which the program contains, is always built in the clone itself.
  mkdir -p "$clone/.cache"
  for kept in src mingw-prefix; do
    if [ -d "$repo/.cache/$kept" ]; then cp -a "$repo/.cache/$kept" "$clone/.cache/"; fi
  done
  rm -f "$clone/.cache/mingw-prefix/.libsodium"
  if [ "$clone" != "$root/a" ] && [ -z "$*" ]; then cp -a "$root/a/.cache/signing" "$clone/.cache/"; fi
  say "release in $clone (umask $mask, TZ=$zone, $(date -u +%H:%M) UTC)"
  (cd "$clone" && umask "$mask" && TZ=$zone scripts/release.sh "$@" >"$clone.log" 2>&1) ||
    { say "release in $clone failed: $(tail -3 "$clone.log")"; exit 1; }
}

verifies() { osslsigncode verify -CAfile "$a/dist/release/test-signing-cert.pem" -in "$1" >/dev/null 2>&1; }

a=$root/a
b=$root/b/second-checkout
c=$root/c
release_in "$a" 022 UTC
release_in "$b" 077 Pacific/Auckland
release_in "$c" 027 America/Los_Angeles --attach-signatures "$a/dist/release/signatures"

msi=$(cd "$a/dist/release" && ls VornakelConnectHost-*.msi)
check "a and b: identical SHA256SUMS" cmp -s "$a/dist/release/SHA256SUMS" "$b/dist/release/SHA256SUMS"
check "a and b: every file identical" diff -r -q "$a/dist/release" "$b/dist/release"
for name in vornakel_windows_service.exe "$msi"; do
  check "c (no key) rebuilt the signed $name byte for byte" cmp -s "$a/dist/release/$name" "$c/dist/release/$name"
done
check "c: identical SHA256SUMS too" cmp -s "$a/dist/release/SHA256SUMS" "$c/dist/release/SHA256SUMS"
for clone in "$a" "$b" "$c"; do
  for name in vornakel_windows_service.exe "$msi"; do
    check "osslsigncode verify accepts $name of ${clone#"$root"/}" verifies "$clone/dist/release/$name"
  done
  rm -rf "$clone.extracted"
  mkdir "$clone.extracted"
  msiextract -C "$clone.extracted" "$clone/dist/release/$msi" >/dev/null
  check "the program inside the package of ${clone#"$root"/} is the signed program" \
    cmp -s "$(find "$clone.extracted" -name vornakel_windows_service.exe)" "$clone/dist/release/vornakel_windows_service.exe"
  rm -rf "$clone.extracted"
done
sed 's/^/  /' "$a/dist/release/SHA256SUMS"
[ "$failures" -eq 0 ] && say "reproducible: every check passed" || { say "$failures check(s) failed"; exit 1; }
