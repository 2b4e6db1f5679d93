#!/usr/bin/env bash
# Demonstration of the Windows package: installs dist/windows/VornakelConnectHost-<version>.msi
# with Wine's msiexec, shows the tree it lays out with the protection the package gives each path,
# the service it registers and the installation check, and removes it again.
#   scripts/demo/package.sh
# Needs the mingw build (dist/windows, dist/windows-test). Uses build/mingw/wineprefix unless
# VORNAKEL_WINEPREFIX is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$root/build/mingw/wineprefix}
dist=${VORNAKEL_DIST_DIR:-$root/dist}
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '   %s\n' "$@"; }
descriptor() { sed -n "s/^$1 //p" "$root/packaging/windows/security_descriptors.txt"; }
query() { wine "$dist/windows-test/vornakel_package_service_query.exe" "$1" </dev/null 2>/dev/null | tr -d '\r'; }

package=$(find "$dist/windows" -name 'VornakelConnectHost-*.msi' | sort -V | tail -1)
[ -n "$package" ] || { echo "no package in $dist/windows (build the mingw preset first)" >&2; exit 1; }
drive_c=$WINEPREFIX/drive_c
"$root/scripts/wine/prefix.sh" warm
# The other demonstrations leave sample trees and may leave the service behind.
clean() {
  wine msiexec /x "$package" /qn </dev/null >/dev/null 2>&1 || true
  wine sc delete VornakelConnectHost </dev/null >/dev/null 2>&1 || true
  rm -rf "$drive_c/Program Files/Vornakel Connect" "$drive_c/ProgramData/Vornakel Connect"
}
clean

step "The package: $(basename "$package") ($(du -k "$package" | cut -f1) KiB), built with wixl from packaging/windows"
show "$(msiinfo export "$package" MsiLockPermissionsEx | tail -n +4 | wc -l) security descriptors in its MsiLockPermissionsEx table, one per folder, file and service"

step "Installing it: msiexec /i $(basename "$package") /qn START_SERVICE=0"
show "(Wine cannot run the service as LocalSystem, so it is not started here; on Windows the" \
  " installer starts it and waits until it runs)"
begun=$(date +%s%N)
wine msiexec /i "$package" /qn START_SERVICE=0 </dev/null >/dev/null 2>&1
show "installed in $(( ($(date +%s%N) - begun) / 1000000 )) ms"

step "What it laid out (C:\\), and the descriptor each path gets from Windows Installer"
(cd "$drive_c" && find "Program Files/Vornakel Connect" "ProgramData/Vornakel Connect" | LC_ALL=C sort) |
  while IFS= read -r path; do
    mode=shared
    case "$path" in "ProgramData/Vornakel Connect"*) mode=private ;; esac
    kind=file
    [ -d "$drive_c/$path" ] && kind=folder
    printf '   %-82s %s-%s\n' "${path//\//\\}" "$mode" "$kind"
  done
for name in shared-folder shared-file private-folder private-file; do
  printf '   %-15s %s\n' "$name" "$(descriptor "$name")"
done
show "Wine applies none of them (its ACLs are made up from Unix mode bits); Windows does."
show "private\\service.json: $(cat "$drive_c/ProgramData/Vornakel Connect/private/service.json")"

step "The service in Wine's service control manager"
query config | sed 's/^/   /'
show "(Windows Installer writes the binary path in quotes; Wine's msiexec does not)"
show "descriptor (applied by Windows Installer): $(descriptor service)"

step "Checking the installation with --validate-install"
if wine "$dist/windows-test/vornakel_windows_service_wine_test.exe" --validate-install </dev/null; then
  show "test build (owner and DACL from its double, the rest real): passes"
fi
shipped="$drive_c/Program Files/Vornakel Connect/versions/$(basename "$package" .msi | sed 's/^VornakelConnectHost-//')/vornakel_windows_service.exe"
show "installed program on Wine's made-up ACLs: $(wine "$shipped" --validate-install </dev/null 2>&1 | tr -d '\r' || true)"

step "Uninstalling: msiexec /x $(basename "$package") /qn"
wine msiexec /x "$package" /qn </dev/null >/dev/null 2>&1
show "service: $(query config)"
show "left behind: $( (cd "$drive_c" && find "Program Files/Vornakel Connect" "ProgramData/Vornakel Connect" 2>/dev/null) | wc -l) paths"
clean
