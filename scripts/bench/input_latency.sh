#!/usr/bin/env bash
# Time from writing a key command to the input host's standard input until the foreground window
# receives the key, under Wine and Xvfb. Prints p50/p99/max in microseconds.
#   scripts/bench/input_latency.sh [key transitions, default 400]
# Needs the mingw build (dist/windows-test/) and the linux build's ticket issuer (dist/tools/).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-400}
if [ -z "${VORNAKEL_LATENCY_XVFB:-}" ]; then
  export VORNAKEL_LATENCY_XVFB=1
  exec "$root/scripts/wine/with_xvfb.sh" bash "$0" "$@"
fi
dist=${VORNAKEL_DIST_DIR:-$root/dist}
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
"$root/scripts/wine/prefix.sh" ensure
# Warm: a persistent wineserver so process start-up does not disturb the figures.
wineserver -p </dev/null >/dev/null 2>&1 || true

work=$(mktemp -d /tmp/vornakel-input-latency.XXXXXX)
trap 'touch "$work/recorder.log.stop"; wait 2>/dev/null || true; rm -rf "$work"' EXIT

wine "$dist/windows-test/vornakel_input_recorder.exe" "Z:${work//\//\\}\\recorder.log" 300 --timestamps \
  </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 200); do grep -q '^ready' "$work/recorder.log" 2>/dev/null && break; sleep 0.05; done
"$dist/tools/vornakel_ticket_issuer" > "$work/start.line"

python3 - "$dist/windows-test/vornakel_windows_service_wine_test.exe" "$work" "$count" <<'PY'
import os, subprocess, sys, time

host, work, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = open(os.path.join(work, "host.out"), "wb")
proc = subprocess.Popen(["wine", host, "--input"], stdin=subprocess.PIPE, stdout=out,
                        stderr=subprocess.DEVNULL)
proc.stdin.write(open(os.path.join(work, "start.line"), "rb").read())
proc.stdin.flush()
deadline = time.time() + 30
while b'{"type":"ready"}' not in open(os.path.join(work, "host.out"), "rb").read():
    if time.time() > deadline or proc.poll() is not None:
        sys.exit("the input host did not become ready")
    time.sleep(0.01)

sent = []
for i in range(count):
    down = "true" if i % 2 == 0 else "false"
    line = ('{"type":"control","message":{"type":"key-transition","v":1,"seq":%d,'
            '"code":"KeyA","down":%s,"modifiers":0}}\n' % (i + 1, down)).encode()
    proc.stdin.write(line)
    proc.stdin.flush()
    sent.append(time.time_ns() // 1000)
    time.sleep(0.02)  # 50 lines per second, well inside the limit
time.sleep(0.5)
proc.stdin.write(b'{"type":"close"}\n')
proc.stdin.close()
proc.wait(timeout=30)

received = []
for raw in open(os.path.join(work, "recorder.log"), "rb").read().decode().splitlines():
    if raw.startswith(("keydown vk=0x41", "keyup vk=0x41")):
        received.append(int(raw.rsplit("t=", 1)[1]))
if len(received) < count:
    sys.exit("the window received %d of %d keys" % (len(received), count))
lat = sorted(r - s for s, r in zip(sent, received[:count]))
pick = lambda p: lat[min(len(lat) - 1, int(p * (len(lat) - 1) + 0.5))]
print("key command -> window message under Wine: n=%d p50=%dus p99=%dus max=%dus"
      % (len(lat), pick(0.5), pick(0.99), lat[-1]))
print("input host exit status: %d" % proc.returncode)
PY
