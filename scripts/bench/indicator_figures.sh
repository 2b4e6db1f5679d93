#!/usr/bin/env bash
# Figures of the session indicator under Wine and Xvfb, each beside the same figure for a Wine
# program that does only what the indicator must (vornakel_indicator_window_floor: one thread per
# desktop, each with a window whose label a one-second timer updates), measured in the same run.
# A measurement, not a test:
#   1. session line written -> ready line, median and worst of N starts (default 20): for the
#      indicator from the moment its "read-visibility" line has arrived, for the floor from its
#      first line;
#   2. CPU time over S idle seconds after ready (default 30), both programs running side by side
#      (the nanoseconds on a CPU of every thread, from /proc/<pid>/task/*/schedstat: the clock
#      ticks of /proc/<pid>/stat are 10 ms, too coarse for a few tens of milliseconds; under Wine a
#      Windows process is one Linux process),
#      and the indicator's time as a multiple of the floor's (the goal is at most 1.5).
#   scripts/bench/indicator_figures.sh [starts] [idle seconds]
# Needs the mingw build (dist/windows-test). Uses build/mingw/wineprefix unless VORNAKEL_WINEPREFIX
# is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${VORNAKEL_FIGURES_XVFB:-}" ]; then
  export VORNAKEL_FIGURES_XVFB=1
  exec "$root/scripts/wine/with_xvfb.sh" --screen 1920x1080x24 bash "$0" "$@"
fi
starts=${1:-20}
idle=${2:-30}
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$root/dist}
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
WORK=$(mktemp -d /tmp/vornakel-indicator-figures.XXXXXX)
source "$root/platform/windows/agent/tests/wine/indicator/indicator_lib.sh"
floor=$IND_TEST_DIR/vornakel_indicator_window_floor.exe
[ -f "$floor" ] || { echo "missing $floor (build the mingw preset)" >&2; exit 1; }
"$root/scripts/wine/prefix.sh" warm
trap 'harness_stop; rm -rf "$WORK"' EXIT
harness_start --winlogon

python3 - "$IND_HOST_EXE" "$floor" "$starts" "$idle" <<'PY'
import os, statistics, subprocess, sys, time

host, floor, starts, idle = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
line = (b'{"sessionId":"3f2b8c1e-7a4d-4e0b-9c55-2d1f6a8b9e70","requesterName":"Grace Hopper",'
        b'"permissions":["VIEW_SCREEN","SEND_POINTER"]}\n')

def start(command):
    # Standard error to a file: a process Wine starts on the way (the desktop's explorer) may keep
    # an inherited pipe open.
    return subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)

def until_ready(process):
    """Writes the line after the first output line; returns seconds from the write to ready."""
    first = process.stdout.readline()
    if not first:
        raise SystemExit("no first line")
    written = time.perf_counter()
    process.stdin.write(line)
    process.stdin.flush()
    for out in iter(process.stdout.readline, b""):
        if out.strip() == b'{"type":"ready"}':
            return time.perf_counter() - written
        if b'"error"' in out:
            raise SystemExit("error line: %r" % out)
    raise SystemExit("no ready line")

def finish(process):
    process.stdin.close()
    process.wait(timeout=20)

def cpu_ns(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            total += int(open("/proc/%d/task/%s/schedstat" % (pid, task)).read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended in between
    return total

programs = [("indicator", ["wine", host, "--indicator"]), ("floor", ["wine", floor])]
times = {name: [] for name, _ in programs}
for _ in range(starts):
    for name, command in programs:
        process = start(command)
        times[name].append(until_ready(process))
        finish(process)

print("session line written -> ready line, %d starts each (Wine + Xvfb):" % starts)
for name, _ in programs:
    values = sorted(times[name])
    print("  %-17s median %6.1f ms, worst %6.1f ms, best %6.1f ms" %
          (name, statistics.median(values) * 1000, values[-1] * 1000, values[0] * 1000))

running = []
for name, command in programs:
    process = start(command)
    until_ready(process)
    running.append((name, process))
time.sleep(1)
before = {name: cpu_ns(process.pid) for name, process in running}
time.sleep(idle)
after = {name: cpu_ns(process.pid) for name, process in running}
print("CPU time over %d idle seconds after ready, both running side by side:" % idle)
used = {name: after[name] - before[name] for name, _ in running}
for name, process in running:
    ns = used[name]
    program = open("/proc/%d/cmdline" % process.pid, "rb").read().split(b"\0")[0]
    print("  %-17s %6.1f ms = %.4f %% of one core (Linux pid %d, %s)" %
          (name, ns / 1e6, ns / 1e7 / idle, process.pid,
           os.path.basename(program.decode(errors="replace").replace("\\", "/"))))
    finish(process)
if used["floor"] > 0:
    print("  indicator / floor: %.2f (goal: at most 1.5)" % (used["indicator"] / used["floor"]))
else:
    print("  indicator / floor: the floor used no measurable time")
PY
