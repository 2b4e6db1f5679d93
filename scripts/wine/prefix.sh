#!/usr/bin/env bash
# Manages the Wine prefix of one build tree ($VORNAKEL_WINEPREFIX).
#   prefix.sh ensure   create it if missing (Windows 10, no crash dialogs); safe in parallel
#   prefix.sh warm     ensure, keep a wineserver running for it (fast process starts), and prove
#                      that a program starts in it
#   prefix.sh server   start that persistent wineserver if none runs
#   prefix.sh stop     stop that prefix's wineserver and every process in it
set -euo pipefail
: "${VORNAKEL_WINEPREFIX:?set VORNAKEL_WINEPREFIX}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
# Wine must not try to install Mono or Gecko, and must not open a window while it sets up.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"

ensure() {
  [ -f "$WINEPREFIX/.vornakel-ready" ] && return
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.vornakel-ready" ]; then
    echo "[wine] creating prefix $WINEPREFIX" >&2
    DISPLAY= wineboot --init </dev/null >/dev/null 2>&1 || true
    # A crashing test must end, not wait forever for a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    wine winecfg -v win10 </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vornakel-ready"
  fi
  flock -u 9
}

# A wineserver, and the services Wine starts with the first program of a prefix, keep the standard
# handles they were started with: start them here, detached, or whoever reads a test's output
# (CTest) waits for them to exit. wineserver -p exits with 2 when a server already runs.
start_server() {
  if wineserver -p </dev/null >/dev/null 2>&1; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
}

# Proves that the prefix starts a Windows program before any test counts on it: the first start
# after a prefix is made can fail with no output at all, and it must not be a test that takes it.
prove_start() {
  local attempt status
  for attempt in 1 2 3; do
    status=0
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] && return 0
    echo "[wine] starting a program failed with status $status (attempt $attempt)" >&2
    sleep 1
  done
  return 1
}

case "${1:-}" in
  ensure) ensure ;;
  warm) ensure; start_server; prove_start ;;
  server) start_server ;;
  stop) wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true ;;
  *) echo "usage: prefix.sh ensure|warm|stop" >&2; exit 2 ;;
esac
