#!/usr/bin/env bash
# Demonstration of the capture host ("--capture") under Wine: the test build (LocalSystem and
# path-security doubles) starts a stand-in media engine installed as runtime/ffmpeg.exe, through a
# Windows-side runner that sees the full exit code and makes the pipes. Shows what the engine was
# given, a few kilobytes streamed through it, and three refusals.
#   scripts/demo/capture_host.sh
# Needs the mingw build (dist/windows-test). Uses build/mingw/wineprefix unless VORNAKEL_WINEPREFIX
# is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/platform/windows/agent/tests/wine/capture_host/capture_host_lib.sh"
set +e

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '   %s\n' "$@"; }

step "Sample installation: the stand-in engine plays runtime/ffmpeg.exe"
install_engine
show "engine: $engine_win"

step "--capture with arguments that need quoting and an exit code above 255"
args=(-f gdigrab "two words" 'say "hi"' 'C:\out\' 'é€' --exit-code 259)
printf '   $ vornakel_windows_service_wine_test.exe --capture'
printf ' %q' "${args[@]}"
echo
capture_with "$test_twin_win" -- "${args[@]}"
show "what the engine saw (its own report on standard error):"
sed -n 's/^engine /      /p' "$work/err" | grep -v '^      ready='
show "exit code the Windows caller got: $exit_code (a Linux parent of Wine would see only $((exit_code & 255)))"

step "Streaming 4096 bytes through the engine (it echoes its standard input)"
wine "$runner" pipe --bytes 4096 -- "$test_twin_win" --capture --echo 2>/dev/null | grep -v '^seconds=' | sed 's/^/   /'

step "Refusals"
mapfile -t many < <(seq 129)
capture_with "$test_twin_win" -- "${many[@]}"
show "129 arguments:             $(cat "$work/err") (exit $exit_code)"
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='runtime/ffmpeg.exe|O:BAG:SYD:P(A;;FA;;;SY)(A;;0x1301bf;;;BU)' \
  capture_with "$test_twin_win" --
show "engine writable by Users:  $(cat "$work/err") (exit $exit_code)"
capture_with "$shipped_win" --
show "the shipped program:       $(cat "$work/err") (exit $exit_code)"
