#!/usr/bin/env bash
# The Windows package installed, upgraded and removed by Wine's msiexec in the build tree's prefix:
# the exact tree and service.json, the service as the service control manager has it, the test
# build's --validate-install on the installed tree, the upgrade to the next version, the refused
# downgrade, and what uninstall leaves behind.
#   msi_install_wine_test.sh <package.msi> <next-version package.msi> <payload folder>
#
# Wine applies no MsiLockPermissionsEx row (its file ACLs are made up from Unix mode bits), so the
# descriptors are judged from the package's table by msi_tables_test.py and
# package_descriptors_win32_tests; here the test build's double stands in for the owner and DACL
# read, as in the other Wine tests, and everything else --validate-install does is real.
#
# msiexec, like every ordinary process under Wine, sees ProgramData as C:\ProgramData and lays the
# data root out there. A service under Wine would look in C:\users\Public instead (and runs as no
# LocalSystem), so the registered service is only started here to see it refuse; the service
# running on a real installation is shown by the Windows CI.
set -uo pipefail
package=$1 upgrade=$2 payload=$3
: "${VORNAKEL_WINEPREFIX:?}" "${VORNAKEL_WINE_SCRIPTS:?}" "${VORNAKEL_DIST_DIR:?}" "${VORNAKEL_SOURCE_DIR:?}"
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" ensure

query=$VORNAKEL_DIST_DIR/windows-test/vornakel_package_service_query.exe
twin=$VORNAKEL_DIST_DIR/windows-test/vornakel_windows_service_wine_test.exe
for file in "$package" "$upgrade" "$query" "$twin"; do
  [ -f "$file" ] || { echo "missing $file (build the mingw preset first)"; exit 1; }
done
version_of() { local name; name=$(basename "$1" .msi); echo "${name#VornakelConnectHost-}"; }
version=$(version_of "$package")
next=$(version_of "$upgrade")

drive_c=$WINEPREFIX/drive_c
install_root="$drive_c/Program Files/Vornakel Connect"
private="$drive_c/ProgramData/Vornakel Connect/private"
work=$(mktemp -d)
failures=0
check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "PASS $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
equals() { [ "$1" = "$2" ] || { printf '  expected: %s\n  actual:   %s\n' "$2" "$1"; return 1; }; }
same_lines() {  # same_lines <actual> <expected>, in any order
  diff <(printf '%s\n' "$2" | LC_ALL=C sort) <(printf '%s\n' "$1" | LC_ALL=C sort) | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" = 0 ]
}
windows_path() { echo "C:\\Program Files\\Vornakel Connect\\versions\\$1\\vornakel_windows_service.exe"; }

msiexec() {  # msiexec <arguments...>: sets rc
  local begun; begun=$(date +%s%N)
  rc=0
  wine msiexec "$@" /qn </dev/null >"$work/msiexec.out" 2>&1 || rc=$?
  echo "  msiexec $1 $(basename "$2"): status $rc in $(( ($(date +%s%N) - begun) / 1000000 )) ms"
}
service() { wine "$query" "$1" </dev/null 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/^$1=//p" <<<"$2"; }
# Folders and files below both roots, relative to drive C, sorted.
tree_of() { (cd "$1" && find "Program Files/Vornakel Connect" "ProgramData/Vornakel Connect" 2>/dev/null | LC_ALL=C sort); }
validate() { rc=0; wine "$1" --validate-install </dev/null >"$work/out" 2>"$work/err" || rc=$?; }

clean_slate() {
  # An earlier run that stopped half-way may have left a product, the service or sample trees.
  wine msiexec /x "$upgrade" /qn </dev/null >/dev/null 2>&1
  wine msiexec /x "$package" /qn </dev/null >/dev/null 2>&1
  wine sc stop VornakelConnectHost </dev/null >/dev/null 2>&1
  wine sc delete VornakelConnectHost </dev/null >/dev/null 2>&1
  rm -rf "$install_root" "$drive_c/ProgramData/Vornakel Connect"
}
trap 'clean_slate; rm -rf "$work"' EXIT
clean_slate

# What the package must lay out: the sample tree the other Wine tests use, with this payload, plus
# the service program in the version directory.
expected_tree() {  # expected_tree <version>
  local sample=$work/sample-$1
  mkdir -p "$sample/drive_c"
  "$VORNAKEL_SOURCE_DIR/scripts/wine/make_sample_install.sh" --node "$payload/runtime/node.exe" \
    --ffmpeg "$payload/runtime/ffmpeg.exe" "$sample" "$1" >/dev/null
  cp -r "$payload/." "$sample/drive_c/Program Files/Vornakel Connect/versions/$1/"
  cp "$VORNAKEL_DIST_DIR/windows/vornakel_windows_service.exe" \
    "$sample/drive_c/Program Files/Vornakel Connect/versions/$1/"
  tree_of "$sample/drive_c"
}
same_files() {  # every payload file and the service program installed byte for byte
  local dir="$install_root/versions/$1" file
  cmp -s "$VORNAKEL_DIST_DIR/windows/vornakel_windows_service.exe" "$dir/vornakel_windows_service.exe" || return 1
  while IFS= read -r file; do cmp -s "$payload/$file" "$dir/$file" || { echo "  differs: $file"; return 1; }; done \
    < <(cd "$payload" && find . -type f)
}
registered_as() {  # registered_as <version>: binary path (quotes aside: Wine's msiexec writes none), start, account
  local config; config=$(service config)
  local binary; binary=$(field binary "$config"); binary=${binary#\"}; binary=${binary%\"}
  equals "$binary|$(field type "$config")|$(field start "$config")|$(field account "$config")" \
    "$(windows_path "$1")|16|2|LocalSystem"
}

echo "== install $version"
msiexec /i "$package" START_SERVICE=0
check "install succeeds" equals "$rc" 0
check "exactly the installation tree" same_lines "$(tree_of "$drive_c")" "$(expected_tree "$version")"
check "payload and service program installed unchanged" same_files "$version"
check "service.json names the package's version" \
  equals "$(cat "$private/service.json")" "{\"schemaVersion\":1,\"version\":\"$version\"}"
check "service registered: own process, automatic, LocalSystem, the version's program" registered_as "$version"
validate "$twin"
check "test build's --validate-install passes on the installed tree" equals "$rc:$(cat "$work/err")" "0:"
validate "$install_root/versions/$version/vornakel_windows_service.exe"
check "installed program is the shipped one: refuses Wine's made-up ACLs" \
  equals "$rc:$(cat "$work/err")" "1:Windows host service: Installation ownership or ACL is not protected"
started=$(service start)
check "the service manager starts the registered program, which refuses (no LocalSystem)" \
  equals "$(field state "$started") $(field exit "$started")" "1 5"

echo "== upgrade to $next"
# What the service and the agent write while they run must survive an upgrade.
printf '{"enabled":false,"updatedAt":1}' >"$private/state/agent-state.json"
echo "agent log" >"$private/host-service.log"
msiexec /i "$upgrade" START_SERVICE=0
check "upgrade succeeds" equals "$rc" 0
kept="ProgramData/Vornakel Connect/private/host-service.log
ProgramData/Vornakel Connect/private/state/agent-state.json"
check "old version gone, new tree in place, private data kept" same_lines "$(tree_of "$drive_c")" \
  "$(expected_tree "$next")
$kept"
check "service.json names the new version" \
  equals "$(cat "$private/service.json")" "{\"schemaVersion\":1,\"version\":\"$next\"}"
check "agent state untouched" equals "$(cat "$private/state/agent-state.json")" '{"enabled":false,"updatedAt":1}'
check "one service, now running the new version's program" registered_as "$next"
validate "$twin"
check "--validate-install passes after the upgrade" equals "$rc:$(cat "$work/err")" "0:"

echo "== downgrade to $version"
msiexec /i "$package" START_SERVICE=0
check "downgrade refused" test "$rc" != 0
check "new version still registered" registered_as "$next"

echo "== uninstall"
msiexec /x "$upgrade"
check "uninstall succeeds" equals "$rc" 0
check "service removed" equals "$(service config)" "not-installed"
check "program files and service.json removed; only what the service and agent wrote stays" \
  same_lines "$(tree_of "$drive_c")" "ProgramData/Vornakel Connect
ProgramData/Vornakel Connect/private
$kept
ProgramData/Vornakel Connect/private/state"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
