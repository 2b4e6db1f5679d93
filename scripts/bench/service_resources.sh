#!/usr/bin/env bash
# Resource use of the running service under Wine, with an agent alive: the CPU time of the service
# process over a steady period and its peak working set. Prints the figures; it is a measurement,
# not a test (goals: < 0.1 % of one core, < 4 MiB).
#   scripts/bench/service_resources.sh [seconds]      (default 60)
# Needs the mingw build (dist/windows-test). Uses build/mingw/wineprefix unless VORNAKEL_WINEPREFIX
# is set.
#
# Where the figures come from: under Wine a Windows process is one Linux process, and both
# GetProcessMemoryInfo's PeakWorkingSetSize and /proc/<pid>/status VmHWM report its peak resident
# size (the script prints both; they agree). Wine's GetProcessTimes reports nothing for another
# process, so CPU time is read from /proc/<pid>/stat (user + system ticks). Wine maps its loader and
# the system DLLs into every process, so the script also measures a program that imports the same
# DLLs as the service and only sleeps (vornakel_service_import_floor) and prints the service's share
# above that floor.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$root/dist}
source "$root/platform/windows/agent/tests/wine/service/service_e2e_lib.sh"
floor_exe=$SVC_TEST_DIR/vornakel_service_import_floor.exe

"$VORNAKEL_WINE_SCRIPTS/prefix.sh" warm
floor_pid=""
cleanup() {
  harness delete >/dev/null 2>&1 || true
  [ -n "$floor_pid" ] && kill "$floor_pid" 2>/dev/null || true
}
trap cleanup EXIT
harness delete >/dev/null
svc_make_install
harness install "$(winpath "$SVC_WINE_TEST_EXE")" >/dev/null
started=$(harness start)
win_pid=$(sed -n 's/.* pid=\([0-9]*\).*/\1/p' <<<"$started")
svc_wait_for_line '^agent\[[0-9]+\] ready$' "$SVC_LOG" 10000 >/dev/null || { echo "no agent started"; exit 1; }
sleep 1

linux_pid=$(pgrep -f 'vornakel_windows_service_wine_test\.exe' | head -1)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }

echo "service: Windows pid $win_pid, Linux pid $linux_pid; ${seconds} s of steady running with one agent alive"
before=$(cpu_ticks "$linux_pid")
windows=$(harness resources "$win_pid" "$seconds")
after=$(cpu_ticks "$linux_pid")
peak=$(sed -n 's/.*peak_working_set=\([0-9]*\).*/\1/p' <<<"$windows")
hwm_kib=$(kib "$linux_pid" VmHWM)
agents=$(svc_agent_pids | wc -l)

wine "$floor_exe" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 100); do
  floor_pid=$(pgrep -f 'vornakel_service_import_floor\.exe' | head -1 || true)
  [ -n "$floor_pid" ] && break
  sleep 0.05
done
sleep 2
floor_kib=$(kib "$floor_pid" VmHWM)

awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v peak="$peak" \
    -v hwm="$hwm_kib" -v floor="$floor_kib" 'BEGIN {
  printf "CPU time of the service process (/proc stat): %.0f ms in %d s = %.4f %% of one core (goal < 0.1 %%)\n", t * 1000 / hz, s, t * 100 / hz / s
  printf "peak working set (GetProcessMemoryInfo): %.2f MiB; VmHWM %.2f MiB\n", peak / 1048576, hwm / 1024
  printf "floor: a program importing the same DLLs that only sleeps: %.2f MiB\n", floor / 1024
  printf "service share above the floor: %.2f MiB (goal < 4 MiB)\n", hwm / 1024 - floor / 1024
}'
echo "agents started during the run: $agents (1: the agent stayed up)"
harness stop >/dev/null
harness delete >/dev/null
kill "$floor_pid" 2>/dev/null || true
floor_pid=""
trap - EXIT
