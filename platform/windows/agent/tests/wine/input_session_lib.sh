# Shared pieces of the end-to-end input session tests (sourced). Each test runs under its own Xvfb:
# the recorder window takes the foreground of that display, the program under test runs "--input"
# with a start record from the native ticket issuer, and both logs are compared with what the
# commands must have produced.
set -euo pipefail

if [ -z "${VORNAKEL_INPUT_SESSION_XVFB:-}" ]; then
  export VORNAKEL_INPUT_SESSION_XVFB=1
  exec "$VORNAKEL_WINE_SCRIPTS/with_xvfb.sh" --screen 1920x1080x24 bash "$0" "$@"
fi

: "${VORNAKEL_DIST_DIR:?}" "${VORNAKEL_WINEPREFIX:?}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
HOST_EXE=$VORNAKEL_DIST_DIR/windows-test/vornakel_windows_service_wine_test.exe
RECORDER_EXE=$VORNAKEL_DIST_DIR/windows-test/vornakel_input_recorder.exe
ISSUER=$VORNAKEL_DIST_DIR/tools/vornakel_ticket_issuer
for needed in "$HOST_EXE" "$RECORDER_EXE"; do
  [ -f "$needed" ] || { echo "missing $needed (build the mingw preset)" >&2; exit 1; }
done
if [ ! -x "$ISSUER" ]; then
  echo "SKIP: $ISSUER is missing (build the linux preset first)" >&2
  exit 77
fi
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure

WORK=$(mktemp -d /tmp/vornakel-input-session.XXXXXX)
RECORDER_PID=
cleanup() {
  if [ -n "$RECORDER_PID" ]; then
    touch "$WORK/recorder.log.stop"
    wait "$RECORDER_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

FAILURES=0
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }

windows_path() { echo "Z:${1//\//\\}"; }

# Starts the recorder window and waits until it holds the foreground.
start_recorder() {
  rm -f "$WORK/recorder.log" "$WORK/recorder.log.stop"
  wine "$RECORDER_EXE" "$(windows_path "$WORK/recorder.log")" 120 &
  RECORDER_PID=$!
  for _ in $(seq 1 200); do
    grep -q '^ready' "$WORK/recorder.log" 2>/dev/null && break
    sleep 0.05
  done
  grep -q '^ready screen=1920x1080 foreground=1' "$WORK/recorder.log" ||
    { echo "recorder did not come up: $(cat "$WORK/recorder.log" 2>/dev/null)" >&2; exit 1; }
}

stop_recorder() {
  touch "$WORK/recorder.log.stop"
  wait "$RECORDER_PID" 2>/dev/null || true
  RECORDER_PID=
}

# The recorder's lines after "ready", without the final "closed".
recorded() { tr -d '\r' < "$WORK/recorder.log" | grep -v -e '^ready' -e '^closed'; }

# Waits until the recorder has logged a line matching $1 (injected input arrives asynchronously).
await_recorded() {
  for _ in $(seq 1 100); do
    grep -q -- "$1" "$WORK/recorder.log" && return 0
    sleep 0.05
  done
  return 1
}

# issue_start [issuer options...]: one start record line into $WORK/start.line.
issue_start() { "$ISSUER" "$@" > "$WORK/start.line"; }

# run_host <commands file>...: runs "--input" with the start record and then the commands on
# standard input (closed at the end); sets HOST_STATUS, with standard output in $WORK/host.out.
# Between two files the stream pauses for 300 ms: under Wine an injected relative move reaches the
# cursor through the X server a little later, and a SetCursorPos issued right behind it can be
# overtaken by it (Windows applies both in order).
run_host() {
  HOST_STATUS=0
  {
    cat "$WORK/start.line" "$1"
    shift
    for part in "$@"; do sleep 0.3; cat "$part"; done
  } | wine "$HOST_EXE" --input > "$WORK/host.out" 2> "$WORK/host.err" || HOST_STATUS=$?
}

# The seven lines of a successful start-up.
STARTUP_LINES='{"type":"stage","stage":"read-authorization"}
{"type":"stage","stage":"verify-host-binding"}
{"type":"stage","stage":"verify-authorization"}
{"type":"stage","stage":"open-input-desktop"}
{"type":"stage","stage":"create-input-backend"}
{"type":"desktop","name":"Default"}
{"type":"ready"}'

# expect_host_output <status> <expected standard output>
expect_host_output() {
  local label=$1 status=$2 expected=$3
  if [ "$HOST_STATUS" != "$status" ]; then
    fail "$label: exit status $HOST_STATUS, expected $status (stderr: $(cat "$WORK/host.err"))"
  fi
  if [ "$(cat "$WORK/host.out")" != "$expected" ]; then
    fail "$label: standard output differs:"
    diff <(echo "$expected") "$WORK/host.out" >&2 || true
  else
    pass "$label: standard output and exit status $status"
  fi
}

# expect_recorded <label> <expected lines>
expect_recorded() {
  local label=$1 expected=$2
  if [ "$(recorded)" != "$expected" ]; then
    fail "$label: the window received something else:"
    diff <(echo "$expected") <(recorded) >&2 || true
  else
    pass "$label: the window received exactly what was sent"
  fi
}

# Command lines.
seq_counter=0
next_seq() { seq_counter=$((seq_counter + 1)); }
key() {  # code down modifiers
  next_seq
  printf '{"type":"control","message":{"type":"key-transition","v":1,"seq":%d,"code":"%s","down":%s,"modifiers":%d}}\n' \
    "$seq_counter" "$1" "$2" "${3:-0}"
}
pointer() {  # x y buttons
  next_seq
  printf '{"type":"control","message":{"type":"pointer","v":1,"seq":%d,"x":%s,"y":%s,"buttons":%d}}\n' \
    "$seq_counter" "$1" "$2" "$3"
}
scroll() {  # vertical horizontal
  next_seq
  printf '{"type":"control","message":{"type":"scroll","v":1,"seq":%d,"vertical":%d,"horizontal":%d}}\n' \
    "$seq_counter" "$1" "$2"
}
message() {  # type [members]
  next_seq
  printf '{"type":"control","message":{"type":"%s","v":1,"seq":%d%s}}\n' "$1" "$seq_counter" "${2:-}"
}
relative() { printf '{"type":"relative","dx":%d,"dy":%d}\n' "$1" "$2"; }
display() { printf '{"type":"display","id":"%s","x":0,"y":0,"width":1920,"height":1080}\n' "$1"; }
close_command() { printf '{"type":"close"}\n'; }

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
