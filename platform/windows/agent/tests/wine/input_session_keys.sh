#!/usr/bin/env bash
# Keys through a whole "--input" session: letters, an extended key, Control+A, and the modifier
# handling, each arriving at the foreground window with its virtual key, scan code and extended bit.
source "$(dirname "$0")/input_session_lib.sh"

start_recorder
issue_start
{
  key KeyA true; key KeyA false
  key ArrowLeft true; key ArrowLeft false
  # Control+A: the modifier goes down first, A under it; lifting A with no modifier lifts Control
  # first.
  key KeyA true 2; key KeyA false 0
  key Delete true; key Delete false
  key Enter true; key Enter false
  key Digit1 true 8; key Digit1 false 0
  close_command
} > "$WORK/commands"
run_host "$WORK/commands"
expect_host_output "key session" 0 "$STARTUP_LINES"
await_recorded 'keyup vk=0x31' || true
stop_recorder
expect_recorded "keys" "keydown vk=0x41 scan=0x1E ext=0 extra=100
keyup vk=0x41 scan=0x1E ext=0 extra=100
keydown vk=0x25 scan=0x4B ext=1 extra=100
keyup vk=0x25 scan=0x4B ext=1 extra=100
keydown vk=0x11 scan=0x1D ext=0 extra=100
keydown vk=0x41 scan=0x1E ext=0 extra=100
keyup vk=0x11 scan=0x1D ext=0 extra=100
keyup vk=0x41 scan=0x1E ext=0 extra=100
keydown vk=0x2E scan=0x53 ext=1 extra=100
keyup vk=0x2E scan=0x53 ext=1 extra=100
keydown vk=0x0D scan=0x1C ext=0 extra=100
keyup vk=0x0D scan=0x1C ext=0 extra=100
keydown vk=0x10 scan=0x2A ext=0 extra=100
keydown vk=0x31 scan=0x02 ext=0 extra=100
keyup vk=0x10 scan=0x2A ext=0 extra=100
keyup vk=0x31 scan=0x02 ext=0 extra=100"
finish
