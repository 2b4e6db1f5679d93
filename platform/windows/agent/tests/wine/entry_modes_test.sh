#!/usr/bin/env bash
# The shipped program's mode dispatch under Wine, where no process is LocalSystem: every
# in-session helper refuses before touching the window station, unknown operations are refused,
# and without arguments the service dispatcher fails to connect.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/entry_lib.sh"

prefix_text="Windows host service: "
not_system="${prefix_text}This entry point requires the installed LocalSystem service"
unknown="${prefix_text}Unknown service operation"

run "$shipped" --is-system
expect "--is-system" 1 "$not_system"
run "$shipped" --input
expect "--input" 1 "$not_system"
run "$shipped" --capture x
expect "--capture x" 1 "$not_system"
run "$shipped" --capture
expect "--capture" 1 "$not_system"
run "$shipped" --indicator
expect "--indicator" 1 "$not_system"

for args in "--input extra" "--Input" "--is-system|" "--bogus" "--indicator --indicator" \
            "--validate-install now" "--is-system "; do
  # "|" stands for an empty second argument.
  if [ "$args" = "--is-system|" ]; then
    run "$shipped" --is-system ""
  elif [ "$args" = "--is-system " ]; then
    run "$shipped" "--is-system "
  else
    # shellcheck disable=SC2086
    run "$shipped" $args
  fi
  expect "[$args]" 1 "$unknown"
done

# Outside the service control manager the dispatcher cannot connect (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT).
run "$shipped"
[ "$rc" = 1 ] || fail "no argument: exit status $rc"
[ ! -s "$work/out" ] || fail "no argument: unexpected standard output"
err=$(cat "$work/err")
[ "$(wc -l <"$work/err")" = 1 ] || fail "no argument: not exactly one line: [$err]"
case "$err" in
  "${prefix_text}"?*" (0x80070427)") ;;
  *) fail "no argument: standard error was [$err]" ;;
esac
[ "$err" != "${prefix_text}0x80070427" ] || fail "no argument: no system text for 1063"

# The test twin treats the Wine user as LocalSystem: the probe succeeds silently, and the helpers
# get past both checks into their modes (here: not part of this build, or failing for lack of
# an installation).
run "$test_twin" --is-system
expect "test twin --is-system" 0 ""
run "$test_twin" --is-system extra
expect "test twin --is-system extra" 1 "$unknown"

finish
