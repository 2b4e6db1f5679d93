#!/usr/bin/env bash
# Demonstration of the Windows service under Wine's service control manager: installs the test
# build (LocalSystem and ACL doubles) over a sample installation whose "runtime/node.exe" is the
# stand-in agent, shows the agent being started and restarted, relays a custom control, and stops
# the service, narrating each step.
#   scripts/demo/service.sh
# Needs the mingw build (dist/windows-test). Uses build/mingw/wineprefix unless VORNAKEL_WINEPREFIX
# is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$root/dist}
source "$root/platform/windows/agent/tests/wine/service/service_e2e_lib.sh"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '   %s\n' "$@"; }
agent_line() { sed -n "s/^agent\[$1\] $2=//p" "$SVC_LOG"; }

"$VORNAKEL_WINE_SCRIPTS/prefix.sh" warm
cleanup() { harness delete >/dev/null 2>&1 || true; }
trap cleanup EXIT
harness delete >/dev/null

step "Sample installation (the stand-in agent plays runtime/node.exe)"
svc_make_install
show "version directory: $SVC_WIN_VERSION_DIR" "private directory: $SVC_WIN_PRIVATE"

step "Registering the service VornakelConnectHost with Wine's service control manager"
show "$(harness install "$(winpath "$SVC_WINE_TEST_EXE")")"

step "Starting it"
show "$(harness start)"
svc_wait_for_line '^agent\[[0-9]+\] ready$' "$SVC_LOG" 10000 >/dev/null
first=$(svc_agent_pids | head -1)
show "agent started (Windows pid $first); what it recorded in host-service.log:"
show "  command line: $(agent_line "$first" cmdline)"
show "  working dir:  $(agent_line "$first" cwd)"
show "  desktop:      $(agent_line "$first" desktop)"
show "  environment:"
agent_line "$first" env | grep -vE '^(WINE|SystemDrive=|SystemRoot=)' | sed 's/^/        /'

step "The agent exits on its own: the service writes stop-host, waits 2 s, and starts a new one"
touch "$SVC_PRIVATE/tmp/exit-request"
noticed=$(svc_wait_for_file "$SVC_PRIVATE/stop-host" 3000)
show "stop-host = \"$(cat "$SVC_PRIVATE/stop-host")\""
until [ "$(svc_agent_pids | wc -l)" -ge 2 ]; do sleep 0.05; done
show "new agent (pid $(svc_agent_pids | sed -n 2p)) $(( $(now_ms) - noticed )) ms after stop-host appeared"

step "Custom controls 129 (agent disable), 130 (agent enable), 128 (stop session)"
harness control 129 >/dev/null; sleep 0.5
show "after 129: state/agent-state.json = $(cat "$SVC_PRIVATE/state/agent-state.json")"
harness control 130 >/dev/null; sleep 0.5
show "after 130: state/agent-state.json = $(cat "$SVC_PRIVATE/state/agent-state.json")"
harness control 128 >/dev/null; sleep 0.5
show "after 128: stop-session = $(cat "$SVC_PRIVATE/stop-session") (ms since 1970)"

step "Stopping the service: stop-host, 5 s grace, then the job ends whatever is left"
harness stop | sed 's/^/   /'
show "stop-host left for the next start: \"$(cat "$SVC_PRIVATE/stop-host")\""
show "last lines of host-service.log:"
tail -n 3 "$SVC_LOG" | sed 's/^/      /'

step "Removing the service"
show "$(harness delete)"
trap - EXIT
