#!/usr/bin/env bash
# Shows what each mode of the Windows program answers under Wine, in a sample installation tree.
# The shipped program refuses every privileged mode (Wine's user is not LocalSystem, and Wine keeps
# no real owners or ACLs); the test build, whose token-user and path-security reads are doubles,
# shows the same modes passing those two checks.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
: "${VORNAKEL_WINEPREFIX:?set VORNAKEL_WINEPREFIX}"
wine_run=$repo/scripts/wine/run_in_wine.sh
shipped=$repo/dist/windows/vornakel_windows_service.exe
test_build=$repo/dist/windows-test/vornakel_windows_service_wine_test.exe

"$repo/scripts/wine/make_sample_install.sh" "$VORNAKEL_WINEPREFIX" 1.0.0 >/dev/null

show() {
  local exe=$1
  shift
  printf '  $ %s %s\n' "$(basename "$exe")" "$*"
  local out status
  out=$("$wine_run" "$exe" "$@" </dev/null 2>&1)
  status=$?
  [ -n "$out" ] && printf '%s\n' "$out" | sed 's/^/      /'
  printf '      (exit status %s)\n' "$status"
}

echo "The shipped program, as it is:"
show "$shipped"
for mode in --is-system --validate-install --input "--capture x" --indicator "--input extra" --Input --bogus; do
  # shellcheck disable=SC2086
  show "$shipped" $mode
done

if [ -f "$test_build" ]; then
  echo
  echo "The Wine test build (the Wine user counts as LocalSystem; installation paths read as protected):"
  show "$test_build" --is-system
  show "$test_build" --validate-install
fi
