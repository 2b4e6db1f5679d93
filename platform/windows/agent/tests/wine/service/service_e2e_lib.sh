# Shared by the service's end-to-end test, benchmark and demonstration: paths of the sample
# installation inside the Wine prefix as the service sees them, and helpers around the harness.
# Expects VORNAKEL_WINEPREFIX and VORNAKEL_DIST_DIR; sets WINEPREFIX.
: "${VORNAKEL_WINEPREFIX:?}" "${VORNAKEL_DIST_DIR:?}"
SVC_REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../../../.." && pwd)
: "${VORNAKEL_WINE_SCRIPTS:=$SVC_REPO_ROOT/scripts/wine}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"

SVC_TEST_DIR=$VORNAKEL_DIST_DIR/windows-test
SVC_HARNESS=$SVC_TEST_DIR/vornakel_service_harness.exe
SVC_STANDIN=$SVC_TEST_DIR/vornakel_service_standin_agent.exe
SVC_WINE_TEST_EXE=$SVC_TEST_DIR/vornakel_windows_service_wine_test.exe
SVC_SHIPPED_EXE=$VORNAKEL_DIST_DIR/windows/vornakel_windows_service.exe

SVC_VERSION=1.0.0
# Inside a service, Wine's ProgramData is C:\users\Public.
SVC_INSTALL_ROOT="$WINEPREFIX/drive_c/Program Files/Vornakel Connect"
SVC_VERSION_DIR="$SVC_INSTALL_ROOT/versions/$SVC_VERSION"
SVC_PRIVATE="$WINEPREFIX/drive_c/users/Public/Vornakel Connect/private"
SVC_LOG="$SVC_PRIVATE/host-service.log"
SVC_WIN_VERSION_DIR='C:\Program Files\Vornakel Connect\versions\'$SVC_VERSION
SVC_WIN_PRIVATE='C:\users\Public\Vornakel Connect\private'

harness() { wine "$SVC_HARNESS" "$@" 2>/dev/null | tr -d '\r'; }
now_ms() { date +%s%3N; }
winpath() { winepath -w "$1" 2>/dev/null; }

# The sample installation tree with the stand-in agent as "runtime/node.exe", its data root where
# a service under Wine looks for it. Removes any earlier tree (and so the log) first.
svc_make_install() {
  "$VORNAKEL_WINE_SCRIPTS/make_sample_install.sh" --node "$SVC_STANDIN" --data-root users/Public \
    "$WINEPREFIX" "$SVC_VERSION" >/dev/null
}

# Waits until `grep -E pattern file` matches (or the timeout in ms passes); prints the match.
svc_wait_for_line() {
  local pattern=$1 file=$2 timeout=${3:-10000} start
  start=$(now_ms)
  while [ $(( $(now_ms) - start )) -lt "$timeout" ]; do
    if [ -f "$file" ] && grep -E -- "$pattern" "$file" >/dev/null 2>&1; then
      grep -E -- "$pattern" "$file"
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# Waits until `path` exists; prints the time it appeared.
svc_wait_for_file() {
  local path=$1 timeout=${2:-10000} start
  start=$(now_ms)
  while [ $(( $(now_ms) - start )) -lt "$timeout" ]; do
    if [ -e "$path" ]; then now_ms; return 0; fi
    sleep 0.02
  done
  return 1
}

# Pids of the agents that have written their start record, in order.
svc_agent_pids() { grep -oE '^agent\[[0-9]+\] start$' "$SVC_LOG" 2>/dev/null | grep -oE '[0-9]+'; }
