#!/usr/bin/env bash
# The pointer through a whole "--input" session: absolute moves landing on the expected pixel of
# the 1920x1080 screen, buttons 1 to 5, both wheels, a relative move, and display commands (Xvfb
# shows Wine exactly one monitor, \\.\DISPLAY1; choosing among several is covered natively).
source "$(dirname "$0")/input_session_lib.sh"

start_recorder
issue_start
# Under Wine a SetCursorPos reaches the X server asynchronously, and a button pressed right behind
# it can still carry the old position (Windows applies both in order). So every move to a new
# position stands in its own part of the stream, and run_host pauses between parts.
part=0
next_part() { part=$((part + 1)); parts+=("$WORK/commands.$part"); }
parts=()
# x = round(0.5 * 1919) = 960 (959.5 rounds away from zero), y = round(0.25 * 1079) = 270.
next_part; pointer 0.5 0.25 0 > "${parts[-1]}"
next_part; { pointer 0.5 0.25 1; pointer 0.5 0.25 0; pointer 1 1 0; } > "${parts[-1]}"
next_part; { pointer 1 1 2; pointer 1 1 0; pointer 0 0 0; } > "${parts[-1]}"
next_part; { pointer 0 0 4; pointer 0 0 0; pointer 0.1 0.9 0; } > "${parts[-1]}"
next_part
{
  pointer 0.1 0.9 8; pointer 0.1 0.9 0
  pointer 0.1 0.9 16; pointer 0.1 0.9 0
  scroll 1 0; scroll 0 -2; scroll -3 4
  # A display that is not there changes nothing; the one that is rebuilds the backend for it.
  display DISPLAY9
  display display1
  pointer 0.75 0.5 0
} > "${parts[-1]}"
next_part
{
  pointer 0.75 0.5 1; pointer 0.75 0.5 0
  display DISPLAY1
  pointer 0.5 0.5 0
} > "${parts[-1]}"
next_part; { relative 10 -5; } > "${parts[-1]}"
next_part; { scroll 1 0; pointer 0.5 0.5 0; } > "${parts[-1]}"
# A held button is let go by release-all.
next_part; { pointer 0.5 0.5 1; message release-all; close_command; } > "${parts[-1]}"
run_host "${parts[@]}"
expect_host_output "pointer session" 0 "$STARTUP_LINES"
await_recorded 'button1 up x=960 y=540' || true
stop_recorder

# The relative move lands within one pixel of (970, 535): the normalised absolute coordinates of a
# relative move round once on the way in and once on the way out.
last=$(recorded | tail -n 3 | head -n 1)
if [[ $last =~ ^wheel\ delta=-120\ x=(9[67][0-9])\ y=(53[4-6])$ ]] &&
   (( ${BASH_REMATCH[1]} >= 969 && ${BASH_REMATCH[1]} <= 971 )); then
  pass "relative move from (960, 540) by (10, -5) landed at ${BASH_REMATCH[1]}, ${BASH_REMATCH[2]}"
else
  fail "relative move landed elsewhere: $last"
fi
expect_recorded "pointer" "button1 down x=960 y=270
button1 up x=960 y=270
button2 down x=1919 y=1079
button2 up x=1919 y=1079
button3 down x=0 y=0
button3 up x=0 y=0
button4 down x=192 y=971
button4 up x=192 y=971
button5 down x=192 y=971
button5 up x=192 y=971
wheel delta=-120 x=192 y=971
hwheel delta=-240 x=192 y=971
wheel delta=360 x=192 y=971
hwheel delta=480 x=192 y=971
button1 down x=1439 y=540
button1 up x=1439 y=540
$last
button1 down x=960 y=540
button1 up x=960 y=540"
finish
