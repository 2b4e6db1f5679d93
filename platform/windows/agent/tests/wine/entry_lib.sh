# Shared helpers of the entry end-to-end tests (sourced).
set -euo pipefail
: "${VORNAKEL_WINEPREFIX:?}" "${VORNAKEL_DIST_DIR:?}" "${VORNAKEL_SOURCE_DIR:?}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure

shipped=$VORNAKEL_DIST_DIR/windows/vornakel_windows_service.exe
test_twin=$VORNAKEL_DIST_DIR/windows-test/vornakel_windows_service_wine_test.exe
for exe in "$shipped" "$test_twin"; do
  [ -f "$exe" ] || { echo "missing $exe (build the mingw preset first)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# run <exe> [args...]: runs under Wine with no console; sets rc, and the files $work/out, $work/err.
run() {
  rc=0
  wine "$@" </dev/null >"$work/out" 2>"$work/err" || rc=$?
}

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect <description> <status> <exact stderr text, without the final line feed>
expect() {
  local what=$1 status=$2 text=$3
  [ "$rc" = "$status" ] || fail "$what: exit status $rc, expected $status"
  [ ! -s "$work/out" ] || fail "$what: unexpected standard output: $(head -c 200 "$work/out")"
  if [ -z "$text" ]; then
    [ ! -s "$work/err" ] || fail "$what: unexpected standard error: $(head -c 300 "$work/err")"
  elif ! printf '%s\n' "$text" | cmp -s - "$work/err"; then
    fail "$what: standard error was [$(cat "$work/err")], expected [$text]"
  fi
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
