#!/usr/bin/env bash
# Builds a release of the committed sources into dist/release/:
#   vornakel_windows_service.exe            Authenticode-signed
#   VornakelConnectHost-<version>.msi       Authenticode-signed, holding that same signed exe
#   vornakel_screen_capture, vornakel_ticket_issuer   the Linux programs
#   sbom.spdx.json                          SPDX 2.3 bill of materials
#   signatures/<file>.p7s                   the detached signature of each signed file
#   test-signing-cert.pem                   only when signed with the cached test key
#   SHA256SUMS                              every other file, in sha256sum's format
#
#   scripts/release.sh                               sign with VORNAKEL_SIGN_PKCS12 (+ _PASSWORD,
#                                                    VORNAKEL_TIMESTAMP_URL), else with the test
#                                                    key cached in .cache/signing/
#   scripts/release.sh --attach-signatures DIR       sign nothing: attach the signatures in DIR
#                                                    (a published release's signatures/ folder)
#
# The result depends only on the commit, SOURCE_DATE_EPOCH (default: the commit's time), the key
# and the tool versions (Debian 12 packages; osslsigncode is pinned below): two runs from clones at
# different paths, at other times of day, with another umask or TZ give byte-identical files, and
# a rebuild with --attach-signatures gives the published signed files without the key.
set -euo pipefail
umask 022
export LC_ALL=C TZ=UTC
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VORNAKEL_CACHE:-$repo/.cache}
say() { printf '[release] %s\n' "$*"; }
die() { printf '[release] %s\n' "$*" >&2; exit 1; }

# Different osslsigncode versions put different bytes into a signed PE file, so a rebuild must use
# the version the release was signed with; scripts/setup.sh installs it.
OSSLSIGNCODE_VERSION=2.9
SIGNED_BY="Vornakel Connect Host"
TEST_NAME="Vornakel Connect Host TEST SIGNING ONLY - not trusted"

attach=""
while [ $# -gt 0 ]; do
  case $1 in
    --attach-signatures) [ $# -ge 2 ] || die "--attach-signatures needs a folder"
                         [ -d "$2" ] || die "$2 is not a folder"; attach=$(cd "$2" && pwd); shift 2 ;;
    *) die "usage: scripts/release.sh [--attach-signatures DIR]" ;;
  esac
done

cd "$repo"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  die "the worktree has uncommitted changes; a release is built from a commit"
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
version=$(sed -n 's/^project(vornakel_connect_host VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || die "no project version in CMakeLists.txt"

"$repo/scripts/setup.sh"
have=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9.]*\).*/\1/p')
[ "$have" = "$OSSLSIGNCODE_VERSION" ] ||
  die "osslsigncode $OSSLSIGNCODE_VERSION is needed, found '${have:-none}' (scripts/setup.sh installs it)"

build=$repo/build/release
out=$repo/dist/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- Build: Release, the shipped targets only. Paths are mapped to relative ones, the PE header
# carries no link time.
maps="-ffile-prefix-map=$repo=. -ffile-prefix-map=$cache=.cache"
common=(-G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DVORNAKEL_BUILD_TESTS=OFF
        -DVORNAKEL_BUILD_BENCHMARKS=OFF -DVORNAKEL_WERROR=ON
        "-DVORNAKEL_NANOPB_SOURCE_DIR=$cache/src/nanopb" "-DVORNAKEL_DIST_DIR=$build/dist"
        "-DCMAKE_C_FLAGS=$maps" "-DCMAKE_CXX_FLAGS=$maps")
say "building the Windows program (MinGW-w64, Release)"
cmake -S "$repo" -B "$build/windows" "${common[@]}" >/dev/null \
  "-DCMAKE_TOOLCHAIN_FILE=$repo/cmake/toolchain-mingw-w64-posix.cmake" \
  "-DCMAKE_PREFIX_PATH=$cache/mingw-prefix" -DVORNAKEL_BUILD_WINE_TESTS=OFF \
  -DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp
cmake --build "$build/windows" --target vornakel_windows_service -j2 >/dev/null
say "building the Linux programs (Release)"
cmake -S "$repo" -B "$build/linux" "${common[@]}" -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build/linux" --target vornakel_screen_capture vornakel_ticket_issuer -j2 >/dev/null

rm -rf "$out"
mkdir -p "$out/signatures"
cp "$build/dist/linux/vornakel_screen_capture" "$build/dist/tools/vornakel_ticket_issuer" "$out/"

# --- Signing. Each signed file is signed at SOURCE_DATE_EPOCH (osslsigncode otherwise writes the
# current time), with SHA-256 and an RSA key (ECDSA signatures are randomized), and no timestamp
# server (see README, "Releasing").
sign_args=()
trust=""
if [ -n "$attach" ]; then
  say "attaching the signatures in $attach"
elif [ -n "${VORNAKEL_SIGN_PKCS12:-}" ]; then
  [ -f "$VORNAKEL_SIGN_PKCS12" ] || die "VORNAKEL_SIGN_PKCS12: $VORNAKEL_SIGN_PKCS12 does not exist"
  [ -n "${VORNAKEL_SIGN_PASSWORD+set}" ] || die "VORNAKEL_SIGN_PASSWORD is not set"
  # Through a file of our own, never on a command line that other users can read.
  (umask 077 && printf '%s' "$VORNAKEL_SIGN_PASSWORD" >"$work/password")
  sign_args=(-pkcs12 "$VORNAKEL_SIGN_PKCS12" -readpass "$work/password")
  # An RFC 3161 timestamp keeps the signature valid after the certificate expires. It becomes part
  # of the detached signature, so rebuilds that attach it still match.
  [ -z "${VORNAKEL_TIMESTAMP_URL:-}" ] || sign_args+=(-ts "$VORNAKEL_TIMESTAMP_URL")
  say "signing with $VORNAKEL_SIGN_PKCS12"
else
  keys=$cache/signing
  if [ ! -f "$keys/test-signing-key.pem" ] || [ ! -f "$keys/test-signing-cert.pem" ]; then
    say "creating the self-signed test signing certificate in $keys"
    rm -rf "$keys"
    mkdir -p "$cache"
    fresh=$(mktemp -d "$cache/signing.XXXXXX")
    openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$fresh/test-signing-key.pem"
    # Valid from 2000, so that signatures dated at any commit's time verify.
    faketime -f "2000-01-01 00:00:00" openssl req -x509 -new -key "$fresh/test-signing-key.pem" \
      -sha256 -days 36500 -subj "/O=Vornakel/CN=$TEST_NAME" -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" -out "$fresh/test-signing-cert.pem"
    mv "$fresh" "$keys"  # one rename: an interrupted creation leaves no half-made key
  fi
  sign_args=(-certs "$keys/test-signing-cert.pem" -key "$keys/test-signing-key.pem")
  trust=$keys/test-signing-cert.pem
  say "signing with the TEST certificate $(openssl x509 -in "$trust" -noout -fingerprint -sha256)"
fi

# sign_file UNSIGNED NAME: writes $out/NAME, signed, and its detached signature.
sign_file() {
  local unsigned=$1 name=$2 signature=$out/signatures/$2.p7s
  if [ -n "$attach" ]; then
    [ -f "$attach/$name.p7s" ] || die "$attach/$name.p7s is missing"
    # The signer's certificate (carried in the signature) as the only trust anchor: what this
    # checks is that the signature belongs to the file rebuilt here, byte for byte.
    openssl pkcs7 -inform DER -in "$attach/$name.p7s" -print_certs | openssl x509 >"$work/signer.pem" ||
      die "$attach/$name.p7s holds no certificate"
    osslsigncode attach-signature -sigin "$attach/$name.p7s" -CAfile "$work/signer.pem" \
      -in "$unsigned" -out "$out/$name" >"$work/attach.log" 2>&1 ||
      die "the signature $name.p7s does not match the $name built here: $(tail -3 "$work/attach.log")"
  else
    osslsigncode sign "${sign_args[@]}" -h sha256 -n "$SIGNED_BY" -time "$SOURCE_DATE_EPOCH" \
      -in "$unsigned" -out "$out/$name" >/dev/null
  fi
  osslsigncode extract-signature -in "$out/$name" -out "$signature" >/dev/null
}

say "signing vornakel_windows_service.exe"
sign_file "$build/dist/windows/vornakel_windows_service.exe" vornakel_windows_service.exe

# The package is built from the signed program, then signed itself.
payload=${VORNAKEL_AGENT_PAYLOAD_DIR:-}
if [ -z "$payload" ]; then
  say "no VORNAKEL_AGENT_PAYLOAD_DIR: the package carries the stand-in agent files"
  payload=$work/standin-payload
  mkdir -p "$payload/runtime" "$payload/agent/dist"
  : >"$payload/runtime/node.exe"
  : >"$payload/runtime/ffmpeg.exe"
  cp packaging/windows/standin/agent/dist/*.js "$payload/agent/dist/"
fi
msi=VornakelConnectHost-$version.msi
say "building $msi"
python3 packaging/windows/build_msi.py --version "$version" --service-exe "$out/vornakel_windows_service.exe" \
  --payload "$payload" --out "$work/$msi"
say "signing $msi"
sign_file "$work/$msi" "$msi"

# --- Checks of what is about to be published.
mkdir "$work/extracted"
msiextract -C "$work/extracted" "$out/$msi" >/dev/null
packaged=$(find "$work/extracted" -name vornakel_windows_service.exe)
cmp -s "$packaged" "$out/vornakel_windows_service.exe" ||
  die "the program inside $msi is not the signed vornakel_windows_service.exe"
if [ -n "$attach" ]; then
  # A test release publishes its certificate; a rebuild of it does too, from the signature.
  if openssl pkcs7 -inform DER -in "$attach/$msi.p7s" -print_certs | openssl x509 -noout -subject |
    grep -q -F "CN = $TEST_NAME"; then
    openssl pkcs7 -inform DER -in "$attach/$msi.p7s" -print_certs | openssl x509 >"$out/test-signing-cert.pem"
  fi
elif [ -n "$trust" ]; then
  openssl x509 -in "$trust" >"$out/test-signing-cert.pem"
fi
for name in vornakel_windows_service.exe "$msi"; do
  if [ -f "$out/test-signing-cert.pem" ]; then
    osslsigncode verify -CAfile "$out/test-signing-cert.pem" -in "$out/$name" >"$work/verify.log" 2>&1 ||
      die "osslsigncode verify refuses $name: $(tail -5 "$work/verify.log")"
  else
    osslsigncode verify -in "$out/$name" >"$work/verify.log" 2>&1 ||
      die "osslsigncode verify refuses $name: $(tail -5 "$work/verify.log")"
  fi
done
for file in "$out"/*; do
  [ -f "$file" ] || continue
  for folder in "$repo" "$cache" mingw-build; do
    ! grep -a -q -F -- "$folder" "$file" || die "$(basename "$file") names the folder $folder"
  done
done

say "writing the bill of materials"
tools=("osslsigncode-$have" "wixl-$(dpkg-query -W -f='${Version}' wixl)"
       "msitools-$(dpkg-query -W -f='${Version}' msitools)"
       "gcc-mingw-w64-$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)"
       "binutils-mingw-w64-$(dpkg-query -W -f='${Version}' binutils-mingw-w64-x86-64)"
       "gcc-$(dpkg-query -W -f='${Version}' g++)")
python3 scripts/release/sbom.py --version "$version" --commit "$commit" --epoch "$SOURCE_DATE_EPOCH" \
  --release "$out" --windows "$out/vornakel_windows_service.exe" --msi "$out/$msi" \
  --linux "$out/vornakel_screen_capture" "$out/vornakel_ticket_issuer" --cache "$cache" \
  --tools "${tools[@]}" --out "$out/sbom.spdx.json"

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
say "done: $out (commit $commit, SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH)"
cat "$out/SHA256SUMS"
