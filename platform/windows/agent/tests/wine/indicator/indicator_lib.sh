# Shared pieces of the indicator's end-to-end test, its demonstration and its figures (sourced,
# under an Xvfb of the caller's): the test twin running "--indicator" with its standard input on a
# FIFO that the script holds open, the desktop harness, the probe and a few X actions.
#
# Needs: VORNAKEL_DIST_DIR, VORNAKEL_WINEPREFIX, DISPLAY, and WORK (a scratch directory).
: "${VORNAKEL_DIST_DIR:?}" "${VORNAKEL_WINEPREFIX:?}" "${DISPLAY:?}" "${WORK:?}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
IND_TEST_DIR=$VORNAKEL_DIST_DIR/windows-test
IND_HOST_EXE=$IND_TEST_DIR/vornakel_windows_service_wine_test.exe
IND_HARNESS_EXE=$IND_TEST_DIR/vornakel_indicator_harness.exe
IND_PROBE_EXE=$IND_TEST_DIR/vornakel_indicator_probe.exe
for needed in "$IND_HOST_EXE" "$IND_HARNESS_EXE" "$IND_PROBE_EXE"; do
  [ -f "$needed" ] || { echo "missing $needed (build the mingw preset)" >&2; exit 1; }
done

IND_PID=
IND_STATUS=
HARNESS_PID=

ind_windows_path() { echo "Z:${1//\//\\}"; }

# A session line: ind_session_line <sessionId> <requesterName (JSON text)> <permission>...
ind_session_line() {
  local id=$1 name=$2 list="" p
  shift 2
  for p in "$@"; do list+="${list:+,}\"$p\""; done
  printf '{"sessionId":"%s","requesterName":"%s","permissions":[%s]}' "$id" "$name" "$list"
}

# Waits until file $1 has a line matching the extended regex $2, for at most $3 seconds.
ind_await() {
  local file=$1 pattern=$2 deadline=$((SECONDS + ${3:-10}))
  until grep -Eq -- "$pattern" "$file" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# harness_start [--winlogon] [--hold KEYS@DESKTOP]...: the harness, up and holding what it was told.
harness_start() {
  rm -f "$WORK/harness.stop" "$WORK/harness.out"
  wine "$IND_HARNESS_EXE" "$(ind_windows_path "$WORK/harness.stop")" "$@" \
    </dev/null >"$WORK/harness.out" 2>/dev/null &
  HARNESS_PID=$!
  ind_await "$WORK/harness.out" '^ready' 15 ||
    { echo "harness did not come up: $(cat "$WORK/harness.out")" >&2; return 1; }
}

harness_stop() {
  [ -n "$HARNESS_PID" ] || return 0
  touch "$WORK/harness.stop"
  wait "$HARNESS_PID" 2>/dev/null || true
  HARNESS_PID=
}

# ind_start: "--indicator" reading from a FIFO that this shell holds open on descriptor 7; standard
# output in $WORK/ind.out, standard error in $WORK/ind.err.
ind_start() {
  rm -f "$WORK/ind.in" "$WORK/ind.out" "$WORK/ind.err"
  mkfifo "$WORK/ind.in"
  wine "$IND_HOST_EXE" --indicator <"$WORK/ind.in" >"$WORK/ind.out" 2>"$WORK/ind.err" &
  IND_PID=$!
  exec 7>"$WORK/ind.in"
}

# ind_send <bytes>: writes to the indicator's standard input (printf format, no line feed added).
ind_send() { printf "$@" >&7; }

# Closes the indicator's standard input and waits for it; sets IND_STATUS.
ind_close_input() {
  exec 7>&-
  IND_STATUS=0
  wait "$IND_PID" || IND_STATUS=$?
  IND_PID=
}

ind_kill() {
  if [ -n "$IND_PID" ]; then
    exec 7>&- 2>/dev/null || true
    kill "$IND_PID" 2>/dev/null || true
    wait "$IND_PID" 2>/dev/null || true
    IND_PID=
  fi
}

# The probe's view of every indicator window, into $WORK/probe.txt.
probe() { wine "$IND_PROBE_EXE" "$@" </dev/null 2>/dev/null | tr -d '\r' >"$WORK/probe.txt"; }

# window_value <desktop> <field>: a field of that desktop's window line in the last probe; the
# title runs to the end of the line.
window_value() {
  local line
  line=$(grep "^window desktop=$1 " "$WORK/probe.txt" | head -1)
  if [ "$2" = title ]; then sed -n 's/.* title=//p' <<<"$line"; else sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$line"; fi
}
# control_value <desktop> <id> <field>; the text field runs to the end of the line.
control_value() {
  local line
  line=$(grep "^control desktop=$1 id=$2 " "$WORK/probe.txt" | head -1)
  if [ "$3" = text ]; then sed -n 's/.* text=//p' <<<"$line"; else sed -n "s/.* $3=\([^ ]*\).*/\1/p" <<<"$line"; fi
}

# A screen point of a desktop's window: client_point <desktop> <client x> <client y>.
client_point() {
  local origin
  origin=$(window_value "$1" client)
  echo "$((${origin%,*} + $2)) $((${origin#*,} + $3))"
}

# Wine learns which window is under the pointer from X motion events: arrive from one pixel away.
click_at() { xdotool mousemove $(($1 - 1)) "$2" sleep 0.1 mousemove "$1" "$2" sleep 0.1 click 1; }

# Drags with the left button from (x, y) by (dx, dy) in a few steps.
drag_by() {
  local x=$1 y=$2 dx=$3 dy=$4
  xdotool mousemove $((x - 1)) "$y" sleep 0.1 mousemove "$x" "$y" sleep 0.1 mousedown 1 sleep 0.2 \
    mousemove $((x + dx / 3)) $((y + dy / 3)) sleep 0.1 mousemove $((x + 2 * dx / 3)) $((y + 2 * dy / 3)) \
    sleep 0.1 mousemove $((x + dx)) $((y + dy)) sleep 0.2 mouseup 1
}

# Presses Ctrl+Alt+Shift+<key> with the pointer over screen (x, y): Wine delivers a hotkey only
# while the X pointer is over one of its windows.
shortcut_at() { xdotool mousemove $(($1 - 1)) "$2" sleep 0.1 mousemove "$1" "$2" sleep 0.1 key "ctrl+alt+shift+$3"; }

# The colour at screen (x, y) of an image, as six upper-case hexadecimal digits.
pixel_of() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }
