#!/usr/bin/env bash
# Resource use of the running service under Wine, with an agent alive: the supervisor's CPU time
# over a steady period and the service process's peak working set. Prints the figures; it is a
# measurement, not a test (the goals are < 0.1 % of one core and < 4 MiB).
#   scripts/bench/service_resources.sh [seconds]      (default 60)
# Needs the mingw build (dist/windows, dist/windows-test). Uses build/mingw/wineprefix unless
# VORNAKEL_WINEPREFIX is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$root/dist}
source "$root/platform/windows/agent/tests/wine/service/service_e2e_lib.sh"

"$VORNAKEL_WINE_SCRIPTS/prefix.sh" warm
cleanup() { harness delete >/dev/null 2>&1 || true; }
trap cleanup EXIT
harness delete >/dev/null
svc_make_install
harness install "$(winpath "$SVC_WINE_TEST_EXE")" >/dev/null
started=$(harness start)
win_pid=$(sed -n 's/.* pid=\([0-9]*\).*/\1/p' <<<"$started")
svc_wait_for_line '^agent\[[0-9]+\] ready$' "$SVC_LOG" 10000 >/dev/null || { echo "no agent started"; exit 1; }
sleep 1

# The Linux process that carries the service (Wine names it after the Windows program).
linux_pid=$(pgrep -f 'vornakel_windows_service_wine_test\.exe' | head -1 || true)
ticks_per_s=$(getconf CLK_TCK)
linux_cpu_ticks() { awk '{print $14 + $15}' "/proc/$linux_pid/stat"; }
[ -n "$linux_pid" ] && linux_before=$(linux_cpu_ticks)

echo "service: Windows pid $win_pid, Linux pid ${linux_pid:-?}; measuring for ${seconds} s with one agent alive"
windows=$(harness resources "$win_pid" "$seconds")
[ -n "$linux_pid" ] && linux_after=$(linux_cpu_ticks)

# Wine maps its own loader, ntdll, kernel32 and friends into every process; the smallest static
# program (the stand-in agent, which only sleeps) shows that floor, and the difference is the
# service's own share.
agent_pid=$(svc_agent_pids | head -1)
baseline=$(harness resources "$agent_pid" 1)
baseline_peak=$(sed -n 's/.*peak_working_set=\([0-9]*\).*/\1/p' <<<"$baseline")

cpu_ms=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p' <<<"$windows")
peak=$(sed -n 's/.*peak_working_set=\([0-9]*\).*/\1/p' <<<"$windows")
agents=$(svc_agent_pids | wc -l)
awk -v ms="$cpu_ms" -v s="$seconds" -v peak="$peak" -v base="$baseline_peak" 'BEGIN {
  printf "supervisor CPU time (GetProcessTimes): %.1f ms in %d s = %.4f %% of one core (goal < 0.1 %%)\n", ms, s, ms / (s * 10)
  printf "service peak working set (GetProcessMemoryInfo): %.2f MiB\n", peak / 1048576
  printf "floor of a minimal static program under Wine (the idle stand-in agent): %.2f MiB\n", base / 1048576
  printf "service share above that floor: %.2f MiB (goal < 4 MiB)\n", (peak - base) / 1048576
}'
if [ -n "$linux_pid" ]; then
  awk -v t="$((linux_after - linux_before))" -v hz="$ticks_per_s" -v s="$seconds" \
      -v hwm="$(awk '/^VmHWM/ {print $2}' "/proc/$linux_pid/status")" 'BEGIN {
    printf "Linux view of the Wine process: %.0f ms CPU (%.4f %% of one core), VmHWM %.2f MiB (includes Wine itself)\n", t * 1000 / hz, t * 100 / hz / s, hwm / 1024
  }'
fi
echo "agents started during the run: $agents (1 means the agent stayed up)"
harness stop >/dev/null
harness delete >/dev/null
trap - EXIT
