#!/usr/bin/env bash
# Start records through the input host under Wine: the exact status lines for every stage reached,
# every failure word, and the framing rules of the start record. The records come from the native
# ticket issuer; the test twin stands in for LocalSystem.
set -euo pipefail
: "${VORNAKEL_WINEPREFIX:?}" "${VORNAKEL_DIST_DIR:?}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all

issuer=$VORNAKEL_DIST_DIR/tools/vornakel_ticket_issuer
host=$VORNAKEL_DIST_DIR/windows-test/vornakel_windows_service_wine_test.exe
if [ ! -x "$issuer" ]; then
  echo "SKIP: $issuer is missing (build the linux preset first: it makes the native issuer)" >&2
  exit 77
fi
[ -f "$host" ] || { echo "missing $host (build the mingw preset first)" >&2; exit 1; }
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

stage() { printf '{"type":"stage","stage":"%s"}\n' "$1"; }
read_line=$(stage read-authorization)
binding_line=$(stage verify-host-binding)
verify_line=$(stage verify-authorization)
open_line=$(stage open-input-desktop)
auth_error() { printf '{"type":"error","stage":"%s","win32":0}' "$1"; }
rejection="Windows host service: Native input authorization or framing was rejected"

# feed <file>: runs the input host with the file as its standard input (through a pipe, as the
# agent does) and keeps its standard output and error.
feed() {
  rc=0
  cat "$1" | wine "$host" --input >"$work/out" 2>"$work/err" || rc=$?
}

# expect <what> <expected stdout lines...>: stdout byte for byte, exit status 1, and the generic
# rejection as the one line of standard error.
expect_rejected() {
  local what=$1
  shift
  printf '%s\n' "$@" >"$work/expected"
  cmp -s "$work/expected" "$work/out" || fail "$what: standard output was [$(cat "$work/out")]"
  [ "$rc" = 1 ] || fail "$what: exit status $rc"
  printf '%s\n' "$rejection" | cmp -s - "$work/err" || fail "$what: standard error [$(cat "$work/err")]"
}

record() { "$issuer" "$@"; }

# A valid record passes all three authorization stages; what follows them is the input desktop.
record >"$work/valid"
feed "$work/valid"
printf '%s\n' "$read_line" "$binding_line" "$verify_line" "$open_line" >"$work/expected"
head -c "$(wc -c <"$work/expected")" "$work/out" | cmp -s "$work/expected" - ||
  fail "valid record: standard output was [$(cat "$work/out")]"
grep -q '"type":"error","stage":"invalid-' "$work/out" && fail "valid record: refused"
grep -q 'Native input authorization or framing was rejected' "$work/err" &&
  fail "valid record: ended with the generic rejection"

# Every failure word of the verification, each after the three stage lines.
while read -r kind word; do
  record --break "$kind" >"$work/broken"
  feed "$work/broken"
  expect_rejected "--break $kind" "$read_line" "$binding_line" "$verify_line" "$(auth_error "$word")"
done <<'CASES'
lease-too-long invalid-session-start
bad-signature invalid-signed-ticket
no-domain invalid-signed-ticket
s-plus-l invalid-signed-ticket
wrong-session invalid-signed-ticket
wrong-target invalid-signed-ticket
expired invalid-signed-ticket
future-issued-at invalid-signed-ticket
non-canonical invalid-signed-ticket
unknown-field invalid-signed-ticket
small-order-key invalid-signed-ticket
long-key invalid-signed-ticket
oversized invalid-signed-ticket
short-key invalid-ticket-key
permission-order permission-mismatch
missing-view-screen permission-mismatch
CASES

# A blank requester name is the record's own fault.
record --requester-name "   " >"$work/blank"
feed "$work/blank"
expect_rejected "blank requester" "$read_line" "$binding_line" "$verify_line" \
  "$(auth_error invalid-session-start)"

# The host binding is refused without an error line.
valid=$(cat "$work/valid")
fingerprint=$(sed 's/.*"targetFingerprint":"\([^"]*\)".*/\1/' "$work/valid")
for replacement in "${fingerprint}=" "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" "${fingerprint%??}"; do
  printf '%s\n' "${valid/$fingerprint/$replacement}" >"$work/binding"
  feed "$work/binding"
  expect_rejected "target fingerprint $replacement" "$read_line" "$binding_line"
done

# Framing of the start record.
: >"$work/empty"
feed "$work/empty"
expect_rejected "empty input" "$read_line"

printf '%s' "$valid" >"$work/unterminated"
feed "$work/unterminated"
expect_rejected "no final line feed" "$read_line"

printf '%sx\n' "$valid" >"$work/garbage"
feed "$work/garbage"
expect_rejected "trailing garbage" "$read_line"

printf '%s\r\n' "$valid" >"$work/crlf"
feed "$work/crlf"
grep -qx "$(printf '%s' "$open_line" | sed 's/[][\\.*^$]/\\&/g')" "$work/out" ||
  fail "CR LF: not accepted: [$(cat "$work/out")]"

# Exactly 32768 bytes (spaces before the line feed) is read; one byte more is refused.
pad=$((32768 - ${#valid} - 1))
{ printf '%s' "$valid"; printf '%*s' "$pad" ''; printf '\n'; } >"$work/at_bound"
[ "$(wc -c <"$work/at_bound")" = 32768 ] || fail "at bound: built $(wc -c <"$work/at_bound") bytes"
feed "$work/at_bound"
grep -q '"open-input-desktop"' "$work/out" || fail "32768 bytes: not accepted: [$(cat "$work/out")]"
{ printf '%s' "$valid"; printf '%*s' "$((pad + 1))" ''; printf '\n'; } >"$work/over_bound"
feed "$work/over_bound"
expect_rejected "32769 bytes" "$read_line"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
