#!/usr/bin/env bash
# Sets up everything and runs every test: the native unit tests (once plainly, once under
# AddressSanitizer and UndefinedBehaviorSanitizer), the fuzzers briefly, the capture helper's
# end-to-end tests under Xvfb, and the Windows program's tests under Wine.
#   scripts/test.sh
# Exits non-zero when any step or test fails; the last line counts every test run.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
jobs=$(nproc)
passed=0
failed=0
failures=()
say() { printf '\n==> %s\n' "$*"; }
step_failed() { failures+=("$1"); }

# Adds one ctest run's counts to the totals.
run_ctest() {
  local preset=$1
  shift
  local log
  log=$(mktemp)
  ctest --preset "$preset" --output-on-failure "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -n "$line" ]; then
    local total bad
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
  [ "$status" -eq 0 ] || step_failed "ctest $preset"
}

build_preset() {
  local preset=$1
  say "configure and build: $preset"
  if ! cmake --preset "$preset" >/dev/null; then step_failed "configure $preset"; return 1; fi
  if ! cmake --build --preset "$preset" -j"$jobs"; then step_failed "build $preset"; return 1; fi
}

say "setup"
"$repo/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }

say "formatting (clang-format)"
if ! "$repo/scripts/check_format.sh"; then step_failed "clang-format"; fi

if build_preset linux; then
  say "native tests"
  run_ctest linux -j"$jobs"
fi

if build_preset linux-asan; then
  say "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  # The end-to-end tests (label e2e) drive whole programs and run once, in the plain build.
  run_ctest linux-asan -j"$jobs" -LE e2e
  say "fuzzers (briefly)"
  # 10 s per target keeps the many targets (and their locale runs) within the command's budget;
  # a longer run is "scripts/run_fuzzers.sh build/linux-asan <seconds>".
  if ! "$repo/scripts/run_fuzzers.sh" "$repo/build/linux-asan" 10; then step_failed "fuzzers"; fi
fi

if build_preset mingw; then
  say "Windows tests under Wine"
  # Serial: the service tests share one service control manager per prefix.
  run_ctest mingw
  mkdir -p "$repo/dist/windows-test"
  cp -f "$repo"/build/mingw/platform/windows/agent/tests/wine/*.exe "$repo/dist/windows-test/" 2>/dev/null || true
fi

echo
if ((${#failures[@]})); then
  echo "Failed steps: ${failures[*]}"
  echo "tests: $passed passed, $((failed > 0 ? failed : 1)) failed"
  exit 1
fi
echo "tests: $passed passed, $failed failed"
