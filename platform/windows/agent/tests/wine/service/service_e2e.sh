#!/usr/bin/env bash
# End-to-end test of the service under Wine's service control manager: the shipped program is
# refused (no LocalSystem under Wine), and the test build (LocalSystem and ACL doubles) supervises
# the stand-in agent: exact start parameters and environment, restart after the agent exits,
# custom controls turned into files, a broken installation retried every 5 seconds, and a stop
# that takes the 5-second grace and ends the agent's whole process tree.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/service_e2e_lib.sh"

failures=0
check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "PASS $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
equals() { [ "$1" = "$2" ] || { echo "  expected: $2"; echo "  actual:   $1"; return 1; }; }
between() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ] || { echo "  $1 not in [$2, $3]"; return 1; }; }
field() { sed -n "s/.*[[:space:]]$1=\([0-9]*\).*/\1/p" <<<" $2" | head -1; }

cleanup() { harness delete >/dev/null; }
trap cleanup EXIT

"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure
for exe in "$SVC_HARNESS" "$SVC_STANDIN" "$SVC_WINE_TEST_EXE" "$SVC_SHIPPED_EXE"; do
  [ -f "$exe" ] || { echo "missing $exe (build the mingw preset first)"; exit 1; }
done
harness delete >/dev/null
svc_make_install

echo "== shipped program: refused without LocalSystem"
harness install "$(winpath "$SVC_SHIPPED_EXE")" >/dev/null
harness start >/dev/null
final=$(harness wait-stopped 10000)
echo "  $final"
check "shipped service ends STOPPED with Win32 exit code 5" \
  equals "$(field state "$final") $(field exit "$final")" "1 5"
check "shipped service never started an agent" equals "$(svc_agent_pids | wc -l)" 0
harness delete >/dev/null

echo "== test build: supervision"
harness install "$(winpath "$SVC_WINE_TEST_EXE")" >/dev/null
started=$(harness start)
echo "  $started"
check "service reports RUNNING accepting stop and shutdown" \
  equals "$(field state "$started") $(field accepted "$started") $(field hint "$started")" "4 5 10000"
check "an agent starts" svc_wait_for_line '^agent\[[0-9]+\] ready$' "$SVC_LOG" 10000 >/dev/null
first=$(svc_agent_pids | head -1)
record() { sed -n "s/^agent\[$first\] $1=//p" "$SVC_LOG"; }

node='C:\Program Files\Vornakel Connect\versions\1.0.0\runtime/node.exe'
script='C:\Program Files\Vornakel Connect\versions\1.0.0\agent/dist/windowsServiceBootstrap.js'
check "command line is both quoted paths" equals "$(record cmdline)" "\"$node\" \"$script\""
check "arguments split back exactly" equals "$(record arg | tail -n +2)" "$script"
check "working directory is the version's agent folder" \
  equals "$(record cwd)" "$SVC_WIN_VERSION_DIR\\agent"
check "desktop is WinSta0\\Default" equals "$(record desktop)" 'WinSta0\Default'
check "standard input is NUL (end of file at once)" equals "$(record stdin)" eof
check "standard error reaches the log" equals "$(record stderr)" reached

env_of_agent=$(record env)
expect_env() { grep -qxF -- "$1" <<<"$env_of_agent" || { echo "  missing: $1"; return 1; }; }
check "VORNAKEL_WINDOWS_SERVICE=1" expect_env "VORNAKEL_WINDOWS_SERVICE=1"
check "VORNAKEL_MEDIA_ENGINE=werift" expect_env "VORNAKEL_MEDIA_ENGINE=werift"
check "VORNAKEL_SERVICE_STATE_DIR" expect_env "VORNAKEL_SERVICE_STATE_DIR=$SVC_WIN_PRIVATE\\state"
check "TEMP" expect_env "TEMP=$SVC_WIN_PRIVATE\\tmp"
check "TMP" expect_env "TMP=$SVC_WIN_PRIVATE\\tmp"
check "PATH starts with the runtime folder" \
  grep -qE "^PATH=C:\\\\Program Files\\\\Vornakel Connect\\\\versions\\\\1\\.0\\.0\\\\runtime;[A-Za-z]:\\\\[^;]*\\\\System32;.*\\\\System32\\\\WindowsPowerShell\\\\v1\\.0$" <<<"$env_of_agent"
# Wine sets its own WINE* variables, SystemDrive and SystemRoot in every process (replacing the
# block's SYSTEMDRIVE and SYSTEMROOT); anything else must come from the allow-list.
unexpected=$(sed 's/=.*//' <<<"$env_of_agent" | grep -vE '^(COMPUTERNAME|COMSPEC|PATH|PROGRAMDATA|PROGRAMFILES|SYSTEMDRIVE|SYSTEMROOT|TEMP|TMP|VORNAKEL_MEDIA_ENGINE|VORNAKEL_SERVICE_STATE_DIR|VORNAKEL_WINDOWS_SERVICE|WINDIR|WINE[A-Z0-9_]*|SystemDrive|SystemRoot)$' || true)
check "no variable outside the allow-list (USERNAME, USERPROFILE, APPDATA, ...)" equals "$unexpected" ""

echo "== agent exits: stop-host, 2 s grace, relaunch about 4 s later"
touch "$SVC_PRIVATE/tmp/spawn-grandchild"
touch "$SVC_PRIVATE/tmp/exit-request"
stop_host_at=$(svc_wait_for_file "$SVC_PRIVATE/stop-host" 3000) || stop_host_at=0
check "stop-host written after the agent exited" equals "$(cat "$SVC_PRIVATE/stop-host" 2>/dev/null)" stop
until [ "$(svc_agent_pids | wc -l)" -ge 2 ] || [ $(( $(now_ms) - stop_host_at )) -gt 30000 ]; do sleep 0.02; done
relaunch_ms=$(( $(now_ms) - stop_host_at ))
echo "  new agent ${relaunch_ms} ms after stop-host appeared"
# Load can only delay a start: the lower bound is the rule, the upper one only catches a hang.
check "new agent not before the 4 s after the exit was noticed" between "$relaunch_ms" 3700 30000
check "stop-host removed before the relaunch" test ! -e "$SVC_PRIVATE/stop-host"
second=$(svc_agent_pids | sed -n 2p)
svc_wait_for_line "^agent\\[$second\\] grandchild=[0-9]+$" "$SVC_LOG" 3000 >/dev/null
grandchild=$(sed -n "s/^agent\[$second\] grandchild=//p" "$SVC_LOG")
check "second agent started a grandchild" equals "$(harness alive "${grandchild:-0}")" alive

echo "== custom controls"
before=$(now_ms)
harness control 129 >/dev/null
svc_wait_for_file "$SVC_PRIVATE/state/agent-state.json" 15000 >/dev/null
sleep 0.3
state=$(cat "$SVC_PRIVATE/state/agent-state.json" 2>/dev/null)
echo "  129 -> $state"
check "129 writes enabled false" grep -qxE '\{"enabled":false,"updatedAt":[0-9]+\}' <<<"$state"
updated=$(sed 's/.*"updatedAt":\([0-9]*\)}/\1/' <<<"$state")
check "updatedAt is the time of the write" between "${updated:-0}" $((before - 1000)) $(( $(now_ms) + 1000 ))
check "no service-next file left" test ! -e "$SVC_PRIVATE/state/agent-state.service-next.json"
harness control 130 >/dev/null
# A control can wait out the supervisor's 2 s stop sequence and a poll: wait for the record.
svc_wait_for_line '"enabled":true' "$SVC_PRIVATE/state/agent-state.json" 15000 >/dev/null
state=$(cat "$SVC_PRIVATE/state/agent-state.json" 2>/dev/null)
echo "  130 -> $state"
check "130 writes enabled true" grep -qxE '\{"enabled":true,"updatedAt":[0-9]+\}' <<<"$state"
before=$(now_ms)
harness control 128 >/dev/null
svc_wait_for_file "$SVC_PRIVATE/stop-session" 15000 >/dev/null
sleep 0.1
session=$(cat "$SVC_PRIVATE/stop-session" 2>/dev/null)
echo "  128 -> $session"
check "128 writes the time in ms, no line feed" grep -qxE '[0-9]{13}' <<<"$session"
check "stop-session time is now" between "${session:-0}" $((before - 1000)) $(( $(now_ms) + 1000 ))
check "stop-session has no line feed" equals "$(wc -c <"$SVC_PRIVATE/stop-session")" 13
for code in 4 131 200; do harness control $code >/dev/null; done
sleep 0.5
check "interrogate and unknown controls leave the service running" \
  equals "$(field state "$(harness query)")" 4

echo "== broken installation: the service stays up and retries every 5 s"
mv "$SVC_PRIVATE/service.json" "$SVC_PRIVATE/service.json.away"
agents_before=$(svc_agent_pids | wc -l)
touch "$SVC_PRIVATE/tmp/exit-request"
broken_at=$(svc_wait_for_file "$SVC_PRIVATE/stop-host" 3000) || broken_at=$(now_ms)
sleep 6.5
check "no agent while validation fails" equals "$(svc_agent_pids | wc -l)" "$agents_before"
check "service still running" equals "$(field state "$(harness query)")" 4
mv "$SVC_PRIVATE/service.json.away" "$SVC_PRIVATE/service.json"
until [ "$(svc_agent_pids | wc -l)" -gt "$agents_before" ] || [ $(( $(now_ms) - broken_at )) -gt 40000 ]; do sleep 0.02; done
repaired_ms=$(( $(now_ms) - broken_at ))
echo "  agent back ${repaired_ms} ms after the exit (first attempt ~4 s, retry ~9 s)"
check "repaired installation picked up by a later retry, not the first attempt" between "$repaired_ms" 8500 40000
check "grandchild of the agent that exited was ended with its job" \
  equals "$(harness alive "${grandchild:-0}")" gone
third=$(svc_agent_pids | tail -1)

echo "== stop: 5 s grace, then the job ends the agent and its tree"
svc_wait_for_line "^agent\\[$third\\] ready$" "$SVC_LOG" 3000 >/dev/null
third_grandchild=$(sed -n "s/^agent\[$third\] grandchild=//p" "$SVC_LOG")
check "agent and grandchild alive before the stop" \
  equals "$(harness alive "$third") $(harness alive "${third_grandchild:-0}")" "alive alive"
touch "$SVC_PRIVATE/tmp/ignore-stop-host"
stopped=$(harness stop)
echo "$stopped" | sed 's/^/  /'
stop_ms=$(sed -n 's/^stopped-after-ms=//p' <<<"$stopped")
final=$(grep '^final ' <<<"$stopped")
check "stop reported STOP_PENDING first" grep -q '^stop-report state=3$' <<<"$stopped"
check "STOPPED with exit code 0" equals "$(field state "$final") $(field exit "$final") $(field specific "$final")" "1 0 0"
check "stop took the 5-second grace" between "${stop_ms:-0}" 4900 20000
check "agent that ignored stop-host is gone" equals "$(harness alive "$third")" gone
check "its grandchild is gone too (kill-on-close job)" equals "$(harness alive "${third_grandchild:-0}")" gone
check "stop-host left in place" equals "$(cat "$SVC_PRIVATE/stop-host" 2>/dev/null)" stop
rm -f "$SVC_PRIVATE/tmp/ignore-stop-host" "$SVC_PRIVATE/tmp/spawn-grandchild"

echo "== restart removes the leftover stop-host"
harness start >/dev/null
restart_at=$(now_ms)
until [ "$(svc_agent_pids | wc -l)" -gt 3 ] || [ $(( $(now_ms) - restart_at )) -gt 5000 ]; do sleep 0.05; done
check "stop-host removed at start" test ! -e "$SVC_PRIVATE/stop-host"
check "a fresh agent runs" equals "$(svc_agent_pids | wc -l)" 4
check "the log is appended to, never truncated" grep -q "^agent\[$first\] ready$" "$SVC_LOG"
fourth=$(svc_agent_pids | tail -1)

echo "== a control whose file cannot be written ends the service with exit code 1"
# The program never creates the "state" folder; without it the agent-state write fails.
rm -rf "$SVC_PRIVATE/state"
harness control 129 >/dev/null
final=$(harness wait-stopped 5000)
echo "  $final"
check "STOPPED with Win32 exit code 1" equals "$(field state "$final") $(field exit "$final")" "1 1"
check "the agent was killed" equals "$(harness alive "$fourth")" gone
harness delete >/dev/null
trap - EXIT

echo "== $failures failure(s)"
[ "$failures" -eq 0 ]
