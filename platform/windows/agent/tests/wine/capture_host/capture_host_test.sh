#!/usr/bin/env bash
# "--capture" under Wine, end to end: the test twin (LocalSystem and path-security doubles) starts
# the stand-in engine installed as runtime/ffmpeg.exe; a Windows-side runner starts the twin, sees
# its full 32-bit exit code and makes its pipes. Shows the engine's command line and arguments,
# the argument bounds, exit codes, the inherited standard handles and pipes, the job that ends the
# engine's process tree, and the refusals. Wine's input desktop is always "Default"; the other
# names are covered by the unit tests.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/capture_host_lib.sh"
p="Windows host service: "
export VORNAKEL_STANDIN_ENGINE_MARKER="$work_win\\engine-ran"

# expect_engine_exit <description> <exit code 0x%08X>: the engine ran and its code came back, and
# the capture host itself said nothing.
expect_engine_exit() {
  local what=$1 code=$2
  [ "$rc" = 0 ] || fail "$what: runner failed ($rc): $(cat "$work/report" 2>/dev/null)"
  [ "$exit_code" = "$code" ] || fail "$what: exit code $exit_code, expected $code"
  [ -e "$work/engine-ran" ] || fail "$what: the engine did not run: $(head -c 300 "$work/err")"
  ! grep -q "^$p" "$work/err" || fail "$what: $(grep "^$p" "$work/err")"
  rm -f "$work/engine-ran"
}
# expect_refusal <description> <pattern of the whole standard error, "" for none>: exit code 1,
# that one line, and the engine never started.
expect_refusal() {
  local what=$1 pattern=$2
  [ "$rc" = 0 ] || fail "$what: runner failed ($rc): $(cat "$work/report" 2>/dev/null)"
  [ "$exit_code" = 0x00000001 ] || fail "$what: exit code $exit_code, expected 0x00000001"
  if [ -z "$pattern" ]; then
    [ ! -s "$work/err" ] || fail "$what: unexpected standard error [$(cat "$work/err")]"
  elif ! { [ "$(wc -l <"$work/err")" = 1 ] && grep -qx -- "$pattern" "$work/err"; }; then
    fail "$what: standard error was [$(cat "$work/err")], expected [$pattern]"
  fi
  [ ! -e "$work/engine-ran" ] || fail "$what: the engine was started"
  rm -f "$work/engine-ran"
}

install_engine

# No arguments: the quoted engine path alone, on the input desktop, with the caller's handles.
capture_with "$test_twin_win" --
expect_engine_exit "no arguments" 0x00000000
[ "$(engine_says cmdline)" = "\"$engine_win\"" ] || fail "no arguments: command line [$(engine_says cmdline)]"
[ "$(engine_says argc)" = 0 ] || fail "no arguments: argc $(engine_says argc)"
[ "$(engine_says desktop)" = 'WinSta0\Default' ] || fail "desktop [$(engine_says desktop)]"
[ "$(engine_says thread-desktop)" = Default ] || fail "thread desktop [$(engine_says thread-desktop)]"
# The very handles the runner gave the capture host (inherited handles keep their values).
for stream in stdin stdout stderr; do
  given=$(sed -n "s/^runner .*$stream=\(0x[0-9a-f]*\).*/\1/p" "$work/report")
  got=$(engine_says "$stream" | cut -d' ' -f1)
  [ -n "$given" ] && [ "$given" = "$got" ] || fail "$stream: the runner gave $given, the engine has $got"
done

# Arguments arrive unchanged, each quoted, joined by single blanks.
args=('two words' 'say "hi"' 'C:\dir\' 'a\"b' '' 'back\\slash' $'tab\there' 'é€😀' '-f')
quoted='"two words" "say \"hi\"" "C:\dir\\" "a\\\"b" "" "back\\slash" "'$'tab\there''" "é€😀" "-f"'
capture_with "$test_twin_win" -- "${args[@]}"
expect_engine_exit "awkward arguments" 0x00000000
[ "$(engine_says cmdline)" = "\"$engine_win\" $quoted" ] ||
  fail "awkward arguments: command line [$(engine_says cmdline)]"
[ "$(engine_says argc)" = "${#args[@]}" ] || fail "awkward arguments: argc $(engine_says argc)"
mapfile -t got < <(engine_says arg)
for i in "${!args[@]}"; do
  [ "${got[$i]-<missing>}" = "${args[$i]}" ] || fail "argument $i: [${got[$i]-<missing>}], sent [${args[$i]}]"
done

# The bounds: 128 arguments and 16384 bytes pass, one more of either is refused; UTF-8 counts.
bound="${p}Capture argument bound exceeded"
mapfile -t a128 < <(for _ in $(seq 128); do printf 'a%.0s' $(seq 128); echo; done)
capture_with "$test_twin_win" -- "${a128[@]}"
expect_engine_exit "128 arguments of 128 bytes" 0x00000000
[ "$(engine_says argc)" = 128 ] || fail "128 arguments: the engine got $(engine_says argc)"
capture_with "$test_twin_win" -- "${a128[@]}" x
expect_refusal "129 arguments" "$bound"
capture_with "$test_twin_win" -- "$(printf 'é%.0s' $(seq 8192))"
expect_engine_exit "8192 two-byte characters" 0x00000000
capture_with "$test_twin_win" -- "$(printf 'é%.0s' $(seq 8192))" x
expect_refusal "16385 bytes" "$bound"

# Exit codes come through whole: above 255, STILL_ACTIVE, NT statuses.
for code in 0 1 255 256 259 0x7FFFFFFF 0xC0000005 0xFFFFFFFF; do
  capture_with "$test_twin_win" -- --exit-code "$code"
  expect_engine_exit "exit code $code" "$(printf '0x%08X' "$code")"
done

# The engine reads the capture host's standard input and writes its standard output itself.
out=$(wine "$runner" pipe --bytes 300000 -- "$test_twin_win" --capture --echo 2>"$work/err")
grep -qx 'bytes=300000 received=300000 identical=yes' <<<"$out" && grep -qx 'exit=0x00000000' <<<"$out" ||
  fail "300000 bytes through the pipes: $out"
[ "$(engine_says stdin | cut -d' ' -f2)/$(engine_says stdout | cut -d' ' -f2)" = pipe/pipe ] ||
  fail "the engine's standard input and output are not the runner's pipes"

# A grandchild left behind dies with the job when the engine ends...
capture_with "$test_twin_win" -- --grandchild --exit-code 7
expect_engine_exit "grandchild" 0x00000007
grandchild=$(engine_says grandchild)
[ "${grandchild:-0}" != 0 ] || fail "the engine started no grandchild"
[ "$(wine "$runner" alive "$grandchild")" = "$grandchild gone" ] || fail "the grandchild outlived the engine"
# ...which is the job's doing: started directly, the same engine's grandchild lives on.
rm -f "$work/report"
wine "$runner" run --report "$work_win\\report" -- "$standin_engine_win" --grandchild </dev/null \
  >/dev/null 2>"$work/err"
grandchild=$(engine_says grandchild)
[ "$(wine "$runner" alive --wait 300 --terminate "${grandchild:-0}")" = "$grandchild alive" ] ||
  fail "control: a grandchild of an engine started without the capture host did not survive"
rm -f "$work/engine-ran"

# Killing the capture host kills the engine and what it started.
capture_with "$test_twin_win" --kill-when "$work_win\\engine-ran" -- --grandchild --sleep 60000
[ "$exit_code" = 0x0000DEAD ] || fail "kill: the capture host ended with $exit_code, not terminated"
engine=$(engine_says pid)
grandchild=$(engine_says grandchild)
[ -n "$engine" ] && [ -n "$grandchild" ] || fail "kill: the engine did not report [$(cat "$work/err")]"
[ "$(wine "$runner" alive "${engine:-0}" "${grandchild:-0}")" = "$engine gone
$grandchild gone" ] || fail "kill: the engine or its grandchild outlived the capture host"
rm -f "$work/engine-ran"

# Without standard handles nothing is started. With only standard input missing the error shows.
capture_with "$test_twin_win" --null-std-handles --
expect_refusal "null standard handles" ""
capture_with "$test_twin_win" --null-stdin --
expect_refusal "null standard input" "${p}.* (0x80070006)"

# The engine is protection-checked in shared mode: users may read it, never write it.
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='runtime/ffmpeg.exe|O:BAG:SYD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)' \
  capture_with "$test_twin_win" --
expect_engine_exit "engine readable by users" 0x00000000
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='runtime/ffmpeg.exe|O:BAG:SYD:P(A;;FA;;;SY)(A;;0x1301bf;;;BU)' \
  capture_with "$test_twin_win" --
expect_refusal "engine writable by users" "${p}An unprivileged account can access protected host state"

# A missing engine fails its check with the file-system error; a file that is no program fails
# its creation with the operating-system error.
rm "$version_dir/runtime/ffmpeg.exe"
capture_with "$test_twin_win" --
expect_refusal "missing engine" "${p}.* (os error 2)"
: >"$version_dir/runtime/ffmpeg.exe"
capture_with "$test_twin_win" --
expect_refusal "engine that is no program" "${p}.* (0x8007[0-9A-F]\{4\})"

# The bound is checked before the installation is read: with none installed, 129 arguments still
# get the bound's message, and 128 get the missing installation's error.
rm -rf "$VORNAKEL_WINEPREFIX/drive_c/Program Files/Vornakel Connect"
capture_with "$test_twin_win" -- "${a128[@]}" x
expect_refusal "129 arguments, nothing installed" "$bound"
capture_with "$test_twin_win" -- "${a128[@]}"
expect_refusal "128 arguments, nothing installed" "${p}.* (os error [23])"

# The shipped program, given a complete tree, stops at its LocalSystem check, bound or not.
install_engine
not_system="${p}This entry point requires the installed LocalSystem service"
capture_with "$shipped_win" --
expect_refusal "shipped program" "$not_system"
capture_with "$shipped_win" -- "${a128[@]}" x
expect_refusal "shipped program, 129 arguments" "$not_system"

finish
