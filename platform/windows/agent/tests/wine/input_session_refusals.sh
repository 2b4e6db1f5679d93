#!/usr/bin/env bash
# Refusals end the session with exactly one error line naming the step, status 1, and the release
# of whatever was held; a tampered ticket is refused before any desktop is touched.
source "$(dirname "$0")/input_session_lib.sh"

STAGES='{"type":"stage","stage":"read-authorization"}
{"type":"stage","stage":"verify-host-binding"}
{"type":"stage","stage":"verify-authorization"}'

# The code of the error line with outcome word $1, if it is an unsigned decimal.
last_code() { sed -n "s/^{\"type\":\"error\",\"stage\":\"$1\",\"win32\":\([0-9][0-9]*\)}\$/\1/p" "$WORK/host.out"; }

start_recorder

# A repeated seq: refused by the control translation.
issue_start
{ key KeyR true; seq_counter=$((seq_counter - 1)); key KeyS true; key KeyT true; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "repeated seq" 1 "$STARTUP_LINES
{\"type\":\"error\",\"stage\":\"validate-control\",\"win32\":0}"
await_recorded 'keyup vk=0x52' || true
expect_recorded "repeated seq" "keydown vk=0x52 scan=0x13 ext=0 extra=100
keyup vk=0x52 scan=0x13 ext=0 extra=100"
grep -qx 'Windows host service: Native input authorization or framing was rejected' "$WORK/host.err" &&
  pass "repeated seq: the generic rejection on standard error" ||
  fail "repeated seq: standard error was: $(cat "$WORK/host.err")"

# A keyboard event in a session granted only the pointer: the permission is one of the envelope's
# rules, so the authorization state reports it as a protocol rejection. A refused dispatch carries
# the code the thread last recorded, stale or not (under Wine usually 87, left by the refused
# per-monitor-v2 DPI switch of the last absolute move): any unsigned decimal is right here.
stop_recorder; start_recorder
issue_start --permissions VIEW_SCREEN,SEND_POINTER
{ pointer 0.5 0.5 1; key KeyA true; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "keyboard without SEND_KEYBOARD" 1 "$STARTUP_LINES
{\"type\":\"error\",\"stage\":\"control-protocol-rejected\",\"win32\":$(last_code control-protocol-rejected)}"
await_recorded 'button1 up' || true
expect_recorded "keyboard without SEND_KEYBOARD" "button1 down x=960 y=540
button1 up x=960 y=540"

# Input while paused.
stop_recorder; start_recorder
issue_start
{ message pause-input ',"paused":true'; key KeyA true; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "input while paused" 1 "$STARTUP_LINES
{\"type\":\"error\",\"stage\":\"input-paused\",\"win32\":$(last_code input-paused)}"

# More than 300 command lines in one second: the 301st ends the session under "receive-command".
# Carries cost next to nothing, so all 301 are taken within the second they arrive in.
issue_start
carry_to=$(( $(date +%s) + 10 ))
{ key KeyP true; for _ in $(seq 1 300); do printf '{"type":"carry","expiresAtUnixS":%d}\n' "$carry_to"; done; } \
  > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "301 lines in one second" 1 "$STARTUP_LINES
{\"type\":\"error\",\"stage\":\"receive-command\",\"win32\":0}"

# A tampered ticket: one flipped signature bit.
issue_start --break bad-signature
run_host /dev/null
expect_host_output "tampered ticket" 1 "$STAGES
{\"type\":\"error\",\"stage\":\"invalid-signed-ticket\",\"win32\":0}"
stop_recorder
expect_recorded "after the pause: the rate-limited session's key, released at the end" "keydown vk=0x50 scan=0x19 ext=0 extra=100
keyup vk=0x50 scan=0x19 ext=0 extra=100"
finish
