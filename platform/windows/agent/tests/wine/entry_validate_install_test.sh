#!/usr/bin/env bash
# "--validate-install" against sample installation trees in the Wine prefix. The shipped program
# must refuse every tree (Wine reports the user as owner of every file); the test twin, whose
# security descriptors come from the test, checks everything else for real: existence, the
# configuration's bound, shape and version, and the order of the steps.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/entry_lib.sh"

# make_tree [--option value]... [version]
make_tree() {
  local options=()
  while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do options+=("$1" "$2"); shift 2; done
  "$VORNAKEL_SOURCE_DIR/scripts/wine/make_sample_install.sh" ${options[@]+"${options[@]}"} \
    "$VORNAKEL_WINEPREFIX" "$@" >/dev/null
}
drive_c=$VORNAKEL_WINEPREFIX/drive_c
config=$drive_c/ProgramData/Vornakel\ Connect/private/service.json
version_dir=$drive_c/Program\ Files/Vornakel\ Connect/versions
p="Windows host service: "

make_tree
run "$shipped" --validate-install
expect "shipped program on Wine's made-up ACLs" 1 "${p}Installation ownership or ACL is not protected"

run "$test_twin" --validate-install
expect "complete tree" 0 ""

# The default descriptor passes both modes; one that lets Users read passes only shared paths.
VORNAKEL_TEST_PATH_SDDL='O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)' \
  run "$test_twin" --validate-install
expect "users may read everything" 1 "${p}An unprivileged account can access protected host state"
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='\Vornakel Connect\versions|O:BAG:SYD:PAI(A;;FA;;;SY)(A;;0x1301bf;;;BU)' \
  run "$test_twin" --validate-install
expect "users may modify the versions folder" 1 "${p}An unprivileged account can access protected host state"
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='\Vornakel Connect\versions\1.0.0\agent/dist|O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;FA;;;SY)' \
  run "$test_twin" --validate-install
expect "TrustedInstaller owns agent/dist" 1 "${p}Installation ownership or ACL is not protected"
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='\private\service.json|O:SYD:P(A;OICIIO;GA;;;CO)(A;;FA;;;SY)' \
  run "$test_twin" --validate-install
expect "inherit-only CREATOR OWNER entry on service.json" 1 "${p}An unprivileged account can access protected host state"
VORNAKEL_TEST_PATH_SDDL='O:SYD:P(D;;FA;;;WD)(A;;FA;;;SY)' run "$test_twin" --validate-install
expect "deny Everyone, allow SYSTEM" 0 ""

# The agent's folders in ProgramData, which a standard user may have made before the installation
# (and kept a handle to that rewrites the DACL afterwards).
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='\private\state|O:S-1-5-21-1004336348-1177238915-682003330-1001D:P(A;;FA;;;SY)' \
  run "$test_twin" --validate-install
expect "a user owns private\\state" 1 "${p}Installation ownership or ACL is not protected"
VORNAKEL_TEST_PATH_SDDL_OVERRIDE='\private\tmp|O:SYD:P(A;;FA;;;SY)(A;;WD;;;BU)' \
  run "$test_twin" --validate-install
expect "users may rewrite the DACL of private\\tmp" 1 "${p}An unprivileged account can access protected host state"

make_tree 1.0.0-development
run "$test_twin" --validate-install
expect "development version" 0 ""

make_tree
rm "$version_dir/1.0.0/agent/dist/headlessHost.js"
run "$test_twin" --validate-install
[ "$rc" = 1 ] && grep -q "^${p}.* (os error 2)\$" "$work/err" ||
  fail "missing headlessHost.js: [$rc] $(cat "$work/err")"

make_tree
rmdir "$drive_c/ProgramData/Vornakel Connect/private/tmp"
run "$test_twin" --validate-install
[ "$rc" = 1 ] && grep -q "^${p}.* (os error 2)\$" "$work/err" ||
  fail "missing private\\tmp: [$rc] $(cat "$work/err")"

make_tree
rm -r "$drive_c/ProgramData/Vornakel Connect/private"
run "$test_twin" --validate-install
[ "$rc" = 1 ] && grep -q "^${p}.* (os error [23])\$" "$work/err" ||
  fail "missing private folder: [$rc] $(cat "$work/err")"

make_tree 1.4
run "$test_twin" --validate-install
expect "version 1.4" 1 "${p}Invalid installed service version"

make_tree --config '{"schemaVersion":2,"version":"1.0.0"}'
run "$test_twin" --validate-install
expect "schema 2" 1 "${p}Invalid installed service version"

make_tree --config '{"schemaVersion":1,"version":"1.0.0","channel":"beta"}'
run "$test_twin" --validate-install
expect "unknown member" 1 "${p}invalid service configuration: unknown member \"channel\""

make_tree --config '{"schemaVersion":1.0,"version":"1.0.0"}'
run "$test_twin" --validate-install
expect "schema 1.0" 1 "${p}invalid service configuration: \"schemaVersion\" must be an unsigned 32-bit integer"

make_tree --config '{"schemaVersion":1,"version":"1.0.0"'
run "$test_twin" --validate-install
[ "$rc" = 1 ] && grep -q "^${p}\[json.exception.parse_error.101\] parse error at line 1" "$work/err" ||
  fail "truncated JSON: [$rc] $(cat "$work/err")"

# Exactly 1024 bytes are read; 1025 are refused from the metadata alone.
body='{"schemaVersion":1,"version":"1.0.0"}'
make_tree --config "$body$(printf '%*s' $((1024 - ${#body})) '')"
[ "$(stat -c %s "$config")" = 1024 ] || fail "sample configuration is not 1024 bytes"
run "$test_twin" --validate-install
expect "1024-byte configuration" 0 ""
make_tree --config "$body$(printf '%*s' $((1025 - ${#body})) '')"
run "$test_twin" --validate-install
expect "1025-byte configuration" 1 "${p}Service configuration exceeds its bound"

# Validation reads the environment: without ProgramData it stops at once.
make_tree
wine cmd /c "set ProgramData=&& $(winepath -w "$test_twin") --validate-install" </dev/null \
  >"$work/out" 2>"$work/err" && rc=0 || rc=$?
expect "ProgramData unset" 1 "${p}ProgramData is unavailable"

finish
