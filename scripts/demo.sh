#!/usr/bin/env bash
# The main job: sets everything up, builds dist/, and demonstrates the programs.
#   scripts/demo.sh
# 1. builds dist/windows/vornakel_windows_service.exe (and the test build in dist/windows-test/),
#    dist/linux/vornakel_screen_capture and dist/tools/vornakel_ticket_issuer;
# 2. runs the Windows program under Wine in a sample installation tree and shows what each mode
#    answers;
# 3. runs the demonstrations of the service, the input host, the capture host, the session
#    indicator and the capture helper, and installs the Windows package into the Wine prefix
#    (scripts/demo/).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
jobs=$(nproc)
say() { printf '\n==> %s\n' "$*"; }

say "setup"
scripts/setup.sh

for preset in linux mingw; do
  say "build ($preset)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
done
mkdir -p dist/windows-test
cp -f build/mingw/platform/windows/agent/tests/wine/*.exe dist/windows-test/ 2>/dev/null || true
say "dist/"
find dist -maxdepth 2 -type f | sort | sed 's/^/  /'

export VORNAKEL_WINEPREFIX=$repo/build/demo/wineprefix
export VORNAKEL_DEMO_DIR=$repo/build/demo
mkdir -p "$VORNAKEL_DEMO_DIR"
scripts/wine/prefix.sh warm
trap 'scripts/wine/prefix.sh stop' EXIT

for part in modes service input capture_host indicator capture package; do
  if [ -x "scripts/demo/$part.sh" ]; then
    say "demonstration: $part"
    "scripts/demo/$part.sh"
  fi
done
