#!/usr/bin/env bash
# Demonstration of the native input host ("--input") under Wine and Xvfb:
#   1. a start record with a signed session ticket from the ticket issuer,
#   2. "--input" accepting it, and refusing a copy with one character of the ticket changed,
#   3. a short signed session typing and clicking into a recorder window, and what it received.
# Needs: cmake --preset linux && cmake --build --preset linux --target vornakel_ticket_issuer
#        cmake --preset mingw && cmake --build --preset mingw (dist/windows-test/)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${VORNAKEL_DEMO_XVFB:-}" ]; then
  export VORNAKEL_DEMO_XVFB=1
  exec "$root/scripts/wine/with_xvfb.sh" bash "$0" "$@"
fi
dist=${VORNAKEL_DIST_DIR:-$root/dist}
host=$dist/windows-test/vornakel_windows_service_wine_test.exe
recorder=$dist/windows-test/vornakel_input_recorder.exe
issuer=$dist/tools/vornakel_ticket_issuer
for needed in "$host" "$recorder" "$issuer"; do
  [ -e "$needed" ] || { echo "missing $needed: build the linux and mingw presets first" >&2; exit 1; }
done
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
"$root/scripts/wine/prefix.sh" ensure
wineserver -p </dev/null >/dev/null 2>&1 || true
work=$(mktemp -d /tmp/vornakel-input-demo.XXXXXX)
trap 'touch "$work/recorder.log.stop"; wait 2>/dev/null || true; rm -rf "$work"' EXIT

section() { printf '\n== %s\n' "$*"; }
run_input() {  # stdin file -> prints standard output and the exit status
  local status=0
  wine "$host" --input < "$1" > "$work/out" 2> "$work/err" || status=$?
  sed 's/^/   stdout: /' "$work/out"
  sed 's/^/   stderr: /' "$work/err"
  echo "   exit status: $status"
}

section "1. Minting a start record with a signed session ticket"
"$issuer" > "$work/start.line"
"$issuer" --public-key | sed 's/^/   signing public key: /'
python3 - "$work/start.line" <<'PY'
import json, sys
record = json.loads(open(sys.argv[1]).read())
for key, value in record.items():
    text = json.dumps(value)
    print("   %-18s %s" % (key, text if len(text) < 70 else text[:60] + '..." (%d chars)' % len(text)))
PY

section "2a. --input accepts it (the agent closes standard input right away)"
cp "$work/start.line" "$work/accept.in"
run_input "$work/accept.in"

section "2b. --input refuses a copy with one character of the signed ticket changed"
python3 - "$work/start.line" "$work/tampered.in" <<'PY'
import json, sys
record = json.loads(open(sys.argv[1]).read())
ticket = record["signedTicket"]
i = len(ticket) // 2
record["signedTicket"] = ticket[:i] + ("B" if ticket[i] != "B" else "C") + ticket[i + 1:]
open(sys.argv[2], "w").write(json.dumps(record, separators=(",", ":")) + "\n")
print("   signedTicket character %d changed from %r" % (i, ticket[i]))
PY
run_input "$work/tampered.in"

section "3. A short signed session against a recorder window"
wine "$recorder" "Z:${work//\//\\}\\recorder.log" 60 </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 200); do grep -q '^ready' "$work/recorder.log" 2>/dev/null && break; sleep 0.05; done
"$issuer" > "$work/session.in"
seq=0
key() { seq=$((seq + 1)); printf '{"type":"control","message":{"type":"key-transition","v":1,"seq":%d,"code":"%s","down":%s,"modifiers":%d}}\n' "$seq" "$1" "$2" "${3:-0}"; }
pointer() { seq=$((seq + 1)); printf '{"type":"control","message":{"type":"pointer","v":1,"seq":%d,"x":%s,"y":%s,"buttons":%d}}\n' "$seq" "$1" "$2" "$3"; }
scroll() { seq=$((seq + 1)); printf '{"type":"control","message":{"type":"scroll","v":1,"seq":%d,"vertical":%d,"horizontal":%d}}\n' "$seq" "$1" "$2"; }
{
  key KeyH true 8; key KeyH false 0; key KeyI true; key KeyI false
  pointer 0.5 0.5 1; pointer 0.5 0.5 0; pointer 0.25 0.75 2; pointer 0.25 0.75 0
  scroll 2 0; key ArrowLeft true; key ArrowLeft false
  key KeyA true 2; key KeyA false 0
  printf '{"type":"close"}\n'
} | tee "$work/commands" >> "$work/session.in"
sed 's/^/   command: /' "$work/commands"
run_input "$work/session.in"
sleep 0.5
touch "$work/recorder.log.stop"
wait 2>/dev/null || true
echo "   the window received:"
tr -d '\r' < "$work/recorder.log" | grep -v -e '^ready' -e '^closed' | sed 's/^/     /'
