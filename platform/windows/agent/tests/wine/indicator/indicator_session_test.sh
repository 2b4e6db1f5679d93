#!/usr/bin/env bash
# End to end: the test twin runs "--indicator" under Wine and its own Xvfb, with a harness that
# provides the "Winlogon" desktop (and holds stop shortcuts where asked) and a probe that reads the
# windows from outside. One indicator is driven through most checks (layout, screenshots, pause,
# Tab, collapse, drag, stop); short runs show each way the mode ends and every refused session
# line. The screenshots are kept in <build tree>/indicator-artifacts/.
set -euo pipefail
if [ -z "${VORNAKEL_INDICATOR_XVFB:-}" ]; then
  export VORNAKEL_INDICATOR_XVFB=1
  exec "$VORNAKEL_WINE_SCRIPTS/with_xvfb.sh" --screen 1920x1080x24 bash "$0" "$@"
fi
: "${VORNAKEL_BUILD_DIR:?}"
WORK=$(mktemp -d /tmp/vornakel-indicator.XXXXXX)
ARTIFACTS=$VORNAKEL_BUILD_DIR/indicator-artifacts
mkdir -p "$ARTIFACTS"
source "$(dirname "$0")/indicator_lib.sh"
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure
trap 'ind_kill; harness_stop; rm -rf "$WORK"' EXIT

FAILURES=0
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }
check() {  # check <label> <actual> <expected>
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: got [$2], expected [$3]"; fi
}

READ_VISIBILITY='{"type":"stage","stage":"read-visibility"}'
CREATE_WINDOWS='{"type":"stage","stage":"create-desktop-windows"}'
READY='{"type":"ready"}'
STOP='{"type":"stop"}'
PAUSED='{"type":"pause","paused":true}'
RESUMED='{"type":"pause","paused":false}'
ID=0f8fad5b-d9cb-469f-a165-70867728950e
ID_UPPER=0F8FAD5B-D9CB-469F-A165-70867728950E
out() { cat "$WORK/ind.out"; }
count_of() { grep -cxF -- "$1" "$WORK/ind.out" || true; }
# Waits for the exact line $1 on the indicator's standard output.
await_line() {
  local deadline=$((SECONDS + ${2:-5}))
  until grep -qxF -- "$1" "$WORK/ind.out"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

start_ready() {  # start_ready <session line>
  ind_start
  ind_send '%s\n' "$1"
  await_line "$READY" 10 || fail "no ready line: [$(out)] [$(cat "$WORK/ind.err")]"
}

end_run() {  # end_run <label> <expected status> <expected output>
  ind_close_input
  check "$1: exit status" "$IND_STATUS" "$2"
  check "$1: every line written" "$(out)" "$3"
}

# The control lines of one desktop's window, without styles, the status text's time masked.
controls_of() {
  grep "^control desktop=$1 " "$WORK/probe.txt" |
    sed -E -e 's/^control desktop=[^ ]* //' -e 's/ style=0x[0-9A-F]+//' -e 's/  [0-9]+:[0-5][0-9]$/  m:ss/'
}

# await_probe <command...>: probes until the command holds for the last probe, for at most 4 s
# (each window ticks once a second); the last probe stays in $WORK/probe.txt either way.
await_probe() {
  local deadline=$((SECONDS + 4))
  while :; do
    probe list
    "$@" && return 0
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
both_texts_are() {  # both_texts_are <control id> <text>
  [ "$(control_value Default "$1" text)" == "$2" ] &&
    [ "$(control_value Winlogon "$1" text)" == "$2" ]
}
# Waits until the probe reads text $2 in control $1 of both windows.
await_both_texts() { await_probe both_texts_are "$1" "$2"; }

status_reads() {  # status_reads <desktop> <state word>: "<word>  ·  m:ss"
  [[ "$(control_value "$1" 10 text)" =~ ^"$2  ·  "[0-9]+:[0-5][0-9]$ ]]
}

# The desktop whose window is on top: the one a click went to has the focus.
focused_desktop() {
  local d
  for d in Default Winlogon; do [ "$(window_value $d focus)" != 0 ] && echo $d && return; done
  echo none
}

corner_of() { window_value "$1" rect | cut -d, -f3,4; }

# Colours at client points of a desktop's window in a screenshot: paper background, ink outer
# square, ink first inner square, mint second inner square (text pixels are never compared: Wine
# draws another font).
logo_pixels() {  # logo_pixels <shot> <desktop> <o> <s>
  local shot=$1 desktop=$2 o=$3 s=$4 points="" p x y
  for p in "$((o / 3)),$((o / 3))" "$((o + s / 10)),$((o + s / 2))" \
    "$((o + 19 * s / 64)),$((o + 19 * s / 64))" "$((o + 43 * s / 64)),$((o + 43 * s / 64))"; do
    read -r x y <<<"$(client_point "$desktop" "${p%,*}" "${p#*,}")"
    points+="$(pixel_of "$shot" "$x" "$y") "
  done
  echo "${points% }"
}
LOGO_COLOURS="F5F8FC 132238 132238 73C8C2"

# ---------------------------------------------------------------------------------------------
echo "== without a Winlogon desktop"
ind_start
ind_send '%s\n' "$(ind_session_line "$ID" Ada VIEW_SCREEN)"
ind_await "$WORK/ind.out" '"type":"error"' 10 || true
ind_close_input
check "no Winlogon: exit status" "$IND_STATUS" 1
if [[ "$(sed -n 3p "$WORK/ind.out")" =~ ^\{\"type\":\"error\",\"stage\":\"open-desktop\",\"desktop\":\"Winlogon\",\"win32\":-[0-9]+\}$ ]] &&
  [ "$(head -2 "$WORK/ind.out")" == "$READ_VISIBILITY
$CREATE_WINDOWS" ] && [ "$(wc -l <"$WORK/ind.out")" -eq 3 ]; then
  pass "no Winlogon: $(sed -n 3p "$WORK/ind.out")"
else
  fail "no Winlogon: output [$(out)]"
fi

echo "== all three shortcuts held on Default"
harness_start --winlogon --hold F12,F11,F10@Default
ind_start
ind_send '%s\n' "$(ind_session_line "$ID" Ada VIEW_SCREEN)"
ind_await "$WORK/ind.out" '"type":"error"' 10 || true
end_run "all shortcuts taken" 1 "$READ_VISIBILITY
$CREATE_WINDOWS
{\"type\":\"error\",\"stage\":\"register-hotkey\",\"desktop\":\"Default\",\"win32\":-2147023487}"
harness_stop

# ---------------------------------------------------------------------------------------------
echo "== main run: Ctrl+Alt+Shift+F12 held on both desktops by another process"
harness_start --winlogon --hold F12@Default --hold F12@Winlogon
NAME='Ada Lovelace'
start_ready "$(ind_session_line "$ID_UPPER" "$NAME" VIEW_SCREEN SEND_POINTER SEND_KEYBOARD)"
check "start-up lines (an upper-case session id is accepted)" "$(out)" "$READ_VISIBILITY
$CREATE_WINDOWS
$READY"

probe list
check "one window on each desktop" "$(grep -c '^window ' "$WORK/probe.txt")" 2
DETAILS="Connected: $NAME\\r\\nGranted permissions:\\r\\nVIEW_SCREEN\\r\\nSEND_POINTER\\r\\nSEND_KEYBOARD\\r\\nStop shortcut: Ctrl+Alt+Shift+F11"
EXPANDED_CONTROLS="id=12 class=Static rect=72,22,268,30 visible=1 text=Vornakel Connect
id=10 class=Static rect=20,56,320,24 visible=1 text=Session active  ·  m:ss
id=11 class=Edit rect=20,94,320,140 visible=1 text=$DETAILS
id=1 class=Button rect=20,295,190,36 visible=1 text=Stop remote session
id=2 class=Button rect=20,245,320,36 visible=1 text=Pause remote input
id=3 class=Button rect=220,295,120,36 visible=1 text=Collapse  ›"
for desktop in Default Winlogon; do
  work=$(window_value $desktop work)
  IFS=, read -r _ _ wr wb <<<"$work"
  check "$desktop: 360x350 with its corner 12 px inside the work area's ($work)" \
    "$(window_value $desktop rect)" "$((wr - 372)),$((wb - 362)),$((wr - 12)),$((wb - 12))"
  style=$(window_value $desktop style)
  exstyle=$(window_value $desktop exstyle)
  # WS_POPUP and WS_BORDER without WS_DLGFRAME (no caption bar) or WS_SYSMENU; topmost tool window.
  check "$desktop: styles $style $exstyle" \
    "$((style & 0x80C80000)) $((exstyle & 0x88))" "$((0x80800000)) $((0x88))"
  check "$desktop: title" "$(window_value $desktop title)" "Vornakel Connect — Remote session active"
  check "$desktop: shown without taking the focus" \
    "$(window_value $desktop visible) $(window_value $desktop focus)" "1 0"
  check "$desktop: the six controls with their rectangles and texts, the shortcut fallen back to F11" \
    "$(controls_of $desktop)" "$EXPANDED_CONTROLS"
done

shot=$ARTIFACTS/indicator-expanded.png
import -window root "$shot"
check "screenshot $shot: the logo's colours" "$(logo_pixels "$shot" Default 20 40)" "$LOGO_COLOURS"

echo "-- pause"
read -r pause_x pause_y <<<"$(client_point Default 180 263)"
# click_pause <line number> <expected line> <state word> <Pause button text>
click_pause() {
  click_at "$pause_x" "$pause_y"
  await_line "$2" || true
  check "a click on Pause: line $1" "$(sed -n "$1p" "$WORK/ind.out")" "$2"
  if await_both_texts 2 "$4" && status_reads Default "$3" && status_reads Winlogon "$3"; then
    pass "both windows read $3 and $4 at the next tick"
  else
    fail "after the click the windows read: $(grep -E 'id=(10|2) ' "$WORK/probe.txt")"
  fi
}
click_pause 4 "$PAUSED" "Input paused" "Resume remote input"
TOP=$(focused_desktop)
check "the clicked window's Pause button has the focus ($TOP on top)" "$(window_value "$TOP" focus)" 2
for expected in 3 1 2; do
  xdotool key Tab
  sleep 0.3
  probe list
  check "Tab moves the focus to control $expected" "$(window_value "$TOP" focus)" "$expected"
done
click_pause 5 "$RESUMED" "Session active" "Pause remote input"

echo "-- collapse, show, drag"
OTHER=$([ "$TOP" = Default ] && echo Winlogon || echo Default)
corner=$(corner_of "$TOP")
read -r x y <<<"$(client_point "$TOP" 280 313)"
click_at "$x" "$y"
# The status takes its collapsed word at the window's next tick, up to a second after the click.
await_probe status_reads "$TOP" Active || true
IFS=, read -r cr cb <<<"$corner"
check "Collapse keeps the corner" "$(window_value "$TOP" rect)" "$((cr - 210)),$((cb - 96)),$cr,$cb"
check "the collapsed controls" "$(controls_of "$TOP")" "id=12 class=Static rect=72,22,268,30 visible=0 text=Vornakel Connect
id=10 class=Static rect=44,12,154,24 visible=1 text=Active  ·  m:ss
id=11 class=Edit rect=20,94,320,140 visible=0 text=$DETAILS
id=1 class=Button rect=108,46,88,32 visible=1 text=Stop
id=2 class=Button rect=20,245,320,36 visible=0 text=Pause remote input
id=3 class=Button rect=14,46,86,32 visible=1 text=‹  Show"
check "the window on the other desktop stays expanded" "$(window_value "$OTHER" rect | cut -d, -f3,4) $(control_value "$OTHER" 3 text)" "$corner Collapse  ›"
shot=$ARTIFACTS/indicator-collapsed.png
import -window root "$shot"
check "screenshot $shot: the collapsed logo's colours" "$(logo_pixels "$shot" "$TOP" 12 24)" "$LOGO_COLOURS"
read -r x y <<<"$(client_point "$TOP" 57 62)"
click_at "$x" "$y"
sleep 0.5
probe list
check "Show expands it at the same corner" "$(window_value "$TOP" rect)" "$((cr - 360)),$((cb - 350)),$cr,$cb"

read -r x y <<<"$(client_point "$TOP" 200 8)"
drag_by "$x" "$y" -500 -300
sleep 0.5
probe list
check "dragging the band moves the window" "$(window_value "$TOP" rect)" "$((cr - 860)),$((cb - 650)),$((cr - 500)),$((cb - 300))"
read -r x y <<<"$(client_point "$TOP" 280 313)"
click_at "$x" "$y"
sleep 0.5
probe list
check "a later collapse keeps the new corner" "$(window_value "$TOP" rect)" "$((cr - 710)),$((cb - 396)),$((cr - 500)),$((cb - 300))"

echo "-- stop: the shortcut, the Stop button and WM_CLOSE"
read -r x y <<<"$(client_point "$OTHER" 200 150)"
shortcut_at "$x" "$y" F11
await_line "$STOP" || fail "the shortcut Ctrl+Alt+Shift+F11 gave no stop line"
read -r x y <<<"$(client_point "$TOP" 152 62)"  # the collapsed Stop button
click_at "$x" "$y"
probe close
shortcut_at "$x" "$y" F11
sleep 0.5
probe list
check "one stop line in all" "$(count_of "$STOP")" 1
check "both windows stay" "$(grep -c '^window .* visible=1 ' "$WORK/probe.txt")" 2
end_run "main run, input closed after ready" 0 "$READ_VISIBILITY
$CREATE_WINDOWS
$READY
$PAUSED
$RESUMED
$STOP"
harness_stop

# ---------------------------------------------------------------------------------------------
echo "== holding its ground: F12 held on Default only, a name with U+202E, a drag past the edge,"
echo "   the remote's marked input, a covering topmost window"
harness_start --winlogon --hold F12@Default
start_ready "$(ind_session_line "$ID" 'Eve \u202egnp.exe' VIEW_SCREEN SEND_POINTER)"
probe list
for desktop in Default Winlogon; do
  details=$(control_value $desktop 11 text)
  # U+202E is E2 80 AE in UTF-8, the mark U+FFFD EF BF BD.
  if [[ "$details" == *$'\xe2\x80\xae'* ]] ||
    [[ "$details" != "Connected: Eve "$'\xef\xbf\xbd'"gnp.exe\\r\\n"* ]]; then
    fail "$desktop: the name is shown with its U+202E: [$details]"
  else
    pass "$desktop: the name is shown without U+202E, a visible mark in its place"
  fi
done
check "each desktop's window holds its own key (Windows would give the second window the next)" \
  "$(control_value Default 11 text | sed 's/.*+//') $(control_value Winlogon 11 text | sed 's/.*+//')" "F11 F12"

# Both windows sit at the same corner; the one on top takes the drag. The pointer cannot leave the
# screen, but the band's grip point can: the window is pulled 200 px past the left and 8 px past
# the top edge, and read while the button is still down.
corner=$(corner_of Default)
read -r x y <<<"$(client_point Default 200 8)"
# A click first makes the window on top the active one: under Wine the activation's late focus
# change would otherwise cancel the drag after its first step.
click_at "$x" "$y"
sleep 0.5
xdotool mousemove $((x - 1)) "$y" sleep 0.1 mousemove "$x" "$y" sleep 0.1 mousedown 1 sleep 0.2 \
  mousemove $((x / 2)) $((y / 2)) sleep 0.2 mousemove 0 0 sleep 0.5
probe list
xdotool mouseup 1
TOP=$( [ "$(corner_of Default)" != "$corner" ] && echo Default || echo Winlogon)
check "a drag held past the top-left edge keeps the whole window inside while the button is down" \
  "$(window_value "$TOP" rect)" "0,0,360,350"
sleep 0.5

# The dragged window now stands alone at the top left. Marked clicks on Stop, Pause and Collapse
# and a marked drag of the band, then plain clicks on Pause and Collapse, all queued in this order:
# once the plain Pause has been seen, every marked action before it has been handled.
probe list
read -r sx sy <<<"$(client_point "$TOP" 115 313)"
read -r px py <<<"$(client_point "$TOP" 180 263)"
read -r cx cy <<<"$(client_point "$TOP" 280 313)"
read -r bx by <<<"$(client_point "$TOP" 200 8)"
wine "$IND_PROBE_EXE" inject "$TOP" marker click "$sx" "$sy" click "$px" "$py" click "$cx" "$cy" \
  down "$bx" "$by" to $((bx + 300)) $((by + 200)) to $((bx + 600)) $((by + 400)) up \
  plain click "$px" "$py" click "$cx" "$cy" </dev/null >/dev/null 2>&1 || fail "the injection failed"
await_line "$PAUSED" || fail "the plain click on Pause gave no pause line"
rect_is() { [ "$(window_value "$1" rect)" == "$2" ]; }
await_probe rect_is "$TOP" 150,254,360,350 || true
check "marked clicks and drag changed nothing, the plain clicks worked" \
  "$(out) | $(window_value "$TOP" rect)" "$READ_VISIBILITY
$CREATE_WINDOWS
$READY
$PAUSED | 150,254,360,350"

probe list
OTHER=$([ "$TOP" = Default ] && echo Winlogon || echo Default)
cover=$(wine "$IND_PROBE_EXE" cover </dev/null 2>/dev/null | tr -d '\r')
seconds_of() { local t=${1##* }; echo $((10#${t%:*} * 60 + 10#${t#*:})); }
if [[ "$cover" =~ ^cover\ covered=1\ under=1\ before=(.*)\ after=(.*)\ foreground=1$ ]] &&
  [ $(($(seconds_of "${BASH_REMATCH[2]}") - $(seconds_of "${BASH_REMATCH[1]}"))) -le 2 ]; then
  pass "a covering topmost window is under the indicator again within two ticks, keeping the focus ($cover)"
else
  fail "a covering topmost window: [$cover]"
fi
end_run "holding its ground" 0 "$READ_VISIBILITY
$CREATE_WINDOWS
$READY
$PAUSED"
harness_stop

# ---------------------------------------------------------------------------------------------
echo "== a 4096-byte line: 100 non-ASCII characters, 24 permissions of 40 bytes; the Stop button"
harness_start --winlogon
LONG_NAME=$(printf 'é%.0s' $(seq 100))
PERMISSION=$(printf 'P%.0s' $(seq 39))
PERMISSIONS=()
for i in $(seq 24); do PERMISSIONS+=("${PERMISSION}$(printf "\\x$(printf %x $((64 + i)))")"); done
LINE=$(ind_session_line "$ID" "$LONG_NAME" "${PERMISSIONS[@]}")
LINE+=$(printf '%*s' $((4095 - $(printf '%s' "$LINE" | wc -c))) '')
check "the line is 4096 bytes with its line feed" "$(printf '%s\n' "$LINE" | wc -c)" 4096
start_ready "$LINE"
probe list
check "the details show the name, the permissions and F12" "$(control_value Default 11 text)" \
  "Connected: $LONG_NAME\\r\\nGranted permissions:$(printf '\\r\\n%s' "${PERMISSIONS[@]}")\\r\\nStop shortcut: Ctrl+Alt+Shift+F12"
read -r x y <<<"$(client_point Default 115 313)"
click_at "$x" "$y"
await_line "$STOP" || fail "the Stop button gave no stop line"
probe close
sleep 0.5
end_run "Stop button" 0 "$READ_VISIBILITY
$CREATE_WINDOWS
$READY
$STOP"

echo "== WM_CLOSE"
start_ready "$(ind_session_line "$ID" Ada VIEW_SCREEN)"
probe close
await_line "$STOP" || fail "WM_CLOSE gave no stop line"
probe list
check "the windows stay after WM_CLOSE" "$(grep -c '^window .* visible=1 ' "$WORK/probe.txt")" 2
end_run "WM_CLOSE" 0 "$READ_VISIBILITY
$CREATE_WINDOWS
$READY
$STOP"

echo "== standard input closed before the windows are ready"
ind_start
ind_send '%s\n' "$(ind_session_line "$ID" Ada VIEW_SCREEN)"
end_run "closed before ready" 1 "$READ_VISIBILITY
$CREATE_WINDOWS"
harness_stop

# ---------------------------------------------------------------------------------------------
echo "== refused session lines"
OUT_OF_BOUND="Indicator message exceeds its bound"
INVALID="Invalid indicator session metadata"
refused() {  # refused <label> <expected standard error after the prefix> <bytes (printf %b)>
  local status=0
  printf '%b' "$3" | wine "$IND_HOST_EXE" --indicator >"$WORK/bad.out" 2>"$WORK/bad.err" || status=$?
  if [ "$status" = 1 ] && [ "$(cat "$WORK/bad.out")" == "$READ_VISIBILITY" ] &&
    [[ "$(cat "$WORK/bad.err")" == "Windows host service: "$2 ]]; then
    pass "$1: $(cat "$WORK/bad.err")"
  else
    fail "$1: status $status, stdout [$(cat "$WORK/bad.out")], stderr [$(cat "$WORK/bad.err")]"
  fi
}
session() { ind_session_line "$@" | sed 's/\\/\\\\/g'; }
PAD=$(printf '%*s' 4096 '')
OK_LINE=$(session "$ID" Ada VIEW_SCREEN)
refused "4097 bytes" "$OUT_OF_BOUND" "${OK_LINE}${PAD:0:$((4096 - ${#OK_LINE}))}\n"
refused "empty input" "$OUT_OF_BOUND" ""
refused "no line feed before the end" "$OUT_OF_BOUND" "$OK_LINE"
refused "a hyphen elsewhere" "$INVALID" "$(session 0f8fad5bd-9cb-469f-a165-70867728950e Ada VIEW_SCREEN)\n"
refused "a 35-byte id" "$INVALID" "$(session "${ID:0:35}" Ada VIEW_SCREEN)\n"
refused "a 37-byte id" "$INVALID" "$(session "${ID}0" Ada VIEW_SCREEN)\n"
refused "101 characters" "$INVALID" "$(session "$ID" "${LONG_NAME}é" VIEW_SCREEN)\n"
refused "an empty name" "$INVALID" "$(session "$ID" "" VIEW_SCREEN)\n"
refused "a tab in the name" "$INVALID" "$(session "$ID" 'Ada\tL' VIEW_SCREEN)\n"
refused "U+0085 in the name" "$INVALID" "$(session "$ID" 'Ada\u0085' VIEW_SCREEN)\n"
refused "no permission" "$INVALID" "$(session "$ID" Ada)\n"
refused "25 permissions" "$INVALID" "$(session "$ID" Ada $(printf 'P %.0s' $(seq 25)))\n"
refused "a lower-case letter" "$INVALID" "$(session "$ID" Ada VIEW_screen)\n"
refused "a digit" "$INVALID" "$(session "$ID" Ada VIEW2)\n"
refused "a hyphen" "$INVALID" "$(session "$ID" Ada VIEW-SCREEN)\n"
refused "a 41-byte entry" "$INVALID" "$(session "$ID" Ada "${PERMISSION}PP")\n"
refused "a fourth member" 'invalid indicator session: unknown member "extra"' \
  "{\"sessionId\":\"$ID\",\"requesterName\":\"Ada\",\"permissions\":[\"VIEW_SCREEN\"],\"extra\":1}\n"
refused "not JSON" "*parse_error*" "{\"sessionId\":\n"

if [ "$FAILURES" -ne 0 ]; then
  echo "$FAILURES check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
