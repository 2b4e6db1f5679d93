#!/usr/bin/env bash
# How a session ends: a close command and the end of standard input (also an over-long line) both
# release what is still held, end with status 0 and write nothing after the ready line.
source "$(dirname "$0")/input_session_lib.sh"

start_recorder

# close: a held key and a held button are released; the broken line after close is never read.
issue_start
{ key KeyZ true; pointer 0.25 0.5 1; close_command; echo 'not a command'; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "close" 0 "$STARTUP_LINES"
await_recorded 'button1 up' || true
expect_recorded "close" "keydown vk=0x5A scan=0x2C ext=0 extra=100
button1 down x=480 y=540
keyup vk=0x5A scan=0x2C ext=0 extra=100
button1 up x=480 y=540"

# End of input with Shift and an arrow key held.
stop_recorder; start_recorder
issue_start
{ key ArrowUp true 8; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "end of input" 0 "$STARTUP_LINES"
await_recorded 'keyup vk=0x26' || true
expect_recorded "end of input" "keydown vk=0x10 scan=0x2A ext=0 extra=100
keydown vk=0x26 scan=0x48 ext=1 extra=100
keyup vk=0x26 scan=0x48 ext=1 extra=100
keyup vk=0x10 scan=0x2A ext=0 extra=100"

# A command line of 2049 bytes ends the session like end of input.
stop_recorder; start_recorder
issue_start
{ key KeyM true; printf '%2048s\n' ''; key KeyN true; } > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "over-long line" 0 "$STARTUP_LINES"
await_recorded 'keyup vk=0x4D' || true
expect_recorded "over-long line" "keydown vk=0x4D scan=0x32 ext=0 extra=100
keyup vk=0x4D scan=0x32 ext=0 extra=100"
finish
