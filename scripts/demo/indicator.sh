#!/usr/bin/env bash
# Demonstration of the session indicator ("--indicator") under Wine and Xvfb: the test build shows
# its window on "Default" and on a "Winlogon" desktop made by the test harness, for a sample
# session; a click on Pause and the stop shortcut follow, then a collapse. Prints every line the
# indicator wrote and saves dist/indicator.png (expanded) and dist/indicator-collapsed.png.
# Needs: cmake --preset mingw && cmake --build --preset mingw (dist/windows-test/)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${VORNAKEL_DEMO_XVFB:-}" ]; then
  export VORNAKEL_DEMO_XVFB=1
  exec "$root/scripts/wine/with_xvfb.sh" --screen 1920x1080x24 bash "$0" "$@"
fi
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$root/dist}
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
WORK=$(mktemp -d /tmp/vornakel-indicator-demo.XXXXXX)
source "$root/platform/windows/agent/tests/wine/indicator/indicator_lib.sh"
"$root/scripts/wine/prefix.sh" ensure
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'ind_kill; harness_stop; rm -rf "$WORK"' EXIT

section() { printf '\n== %s\n' "$*"; }
# save_window <file> [desktop]: that desktop's window (Default by default), cut from a screenshot.
save_window() {
  local x y r b
  IFS=, read -r x y r b <<<"$(window_value "${2:-Default}" rect)"
  import -window root "$WORK/screen.png"
  convert "$WORK/screen.png" -crop "$((r - x))x$((b - y))+$x+$y" +repage "$1"
  echo "   saved $1 ($((r - x))x$((b - y)) window at $x,$y)"
}
await() { ind_await "$WORK/ind.out" "$1" 10 || echo "   (no line matching $1)"; }

section "1. The harness creates the \"Winlogon\" desktop (Wine has none)"
harness_start --winlogon
echo "   harness: $(head -1 "$WORK/harness.out" | tr -d '\r')"

section "2. --indicator with a sample session line"
line=$(ind_session_line 3f2b8c1e-7a4d-4e0b-9c55-2d1f6a8b9e70 "Grace Hopper" VIEW_SCREEN SEND_POINTER SEND_KEYBOARD)
echo "   stdin: $line"
ind_start
ind_send '%s\n' "$line"
await '"type":"ready"'
probe list
for desktop in Default Winlogon; do
  echo "   $desktop: window $(window_value $desktop rect) (work area $(window_value $desktop work))"
done
echo "   details: $(control_value Default 11 text)"
save_window "$VORNAKEL_DIST_DIR/indicator.png"

section "3. A click on Pause, then the next tick of both windows"
read -r x y <<<"$(client_point Default 180 263)"
click_at "$x" "$y"
await '"type":"pause"'
sleep 1.2
probe list
for desktop in Default Winlogon; do
  echo "   $desktop: \"$(control_value $desktop 10 text)\" / \"$(control_value $desktop 2 text)\""
done

section "4. The stop shortcut Ctrl+Alt+Shift+F12 (the windows stay)"
shortcut_at "$x" "$y" F12
await '"type":"stop"'
probe list
echo "   windows still shown: $(grep -c '^window .* visible=1 ' "$WORK/probe.txt")"

section "5. Collapse (the two windows lie on top of each other; the click goes to the upper one)"
read -r x y <<<"$(client_point Default 280 313)"
click_at "$x" "$y"
sleep 0.6
probe list
for desktop in Default Winlogon; do
  echo "   $desktop: window $(window_value $desktop rect), buttons \"$(control_value $desktop 3 text)\" and \"$(control_value $desktop 1 text)\""
  [ "$(control_value $desktop 1 text)" = Stop ] && collapsed=$desktop
done
save_window "$VORNAKEL_DIST_DIR/indicator-collapsed.png" "${collapsed:-Default}"

section "6. The agent closes standard input"
ind_close_input
sed 's/^/   stdout: /' "$WORK/ind.out"
sed 's/^/   stderr: /' "$WORK/ind.err"
echo "   exit status: $IND_STATUS"
