#!/usr/bin/env bash
# Lays out a sample installation of Vornakel Connect inside a Wine prefix's drive C:
#   C:\Program Files\Vornakel Connect\versions\<version>\runtime\node.exe, runtime\ffmpeg.exe,
#       agent\dist\headlessHost.js, agent\dist\windowsServiceBootstrap.js
#   <data root>\Vornakel Connect\private\service.json (+ empty state\ and tmp\)
# Any earlier sample tree is removed first, so the result is always the same. The Windows package
# (packaging/windows) lays out the same tree plus the service program in the version directory;
# its Wine test compares the two.
#
#   make_sample_install.sh [options] <wineprefix> [version]     (version defaults to 1.0.0)
#     --node FILE       use FILE as runtime/node.exe (default: an empty placeholder file)
#     --ffmpeg FILE     use FILE as runtime/ffmpeg.exe (default: an empty placeholder file)
#     --data-root DIR   data root relative to drive_c, repeatable (default: ProgramData). A
#                       service under Wine sees ProgramData as C:\users\Public: pass
#                       "--data-root ProgramData --data-root users/Public" for service tests.
#     --config TEXT     exact bytes of service.json (default: {"schemaVersion":1,"version":"<v>"})
# Prints the version directory (Unix path) on standard output.
set -euo pipefail

node="" ffmpeg="" config="" have_config=0
data_roots=()
while [ $# -gt 0 ]; do
  case "$1" in
    --node) node=$2; shift 2 ;;
    --ffmpeg) ffmpeg=$2; shift 2 ;;
    --data-root) data_roots+=("$2"); shift 2 ;;
    --config) config=$2; have_config=1; shift 2 ;;
    --) shift; break ;;
    -*) echo "make_sample_install: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: make_sample_install.sh [--node FILE] [--ffmpeg FILE] [--data-root DIR]... [--config TEXT] <wineprefix> [version]" >&2
  exit 2
fi
prefix=$1
version=${2:-1.0.0}
[ ${#data_roots[@]} -gt 0 ] || data_roots=(ProgramData)
[ $have_config = 1 ] || config="{\"schemaVersion\":1,\"version\":\"$version\"}"

drive_c=$prefix/drive_c
if [ ! -d "$drive_c" ]; then
  echo "make_sample_install: $drive_c does not exist (create the prefix first)" >&2
  exit 1
fi

install_root="$drive_c/Program Files/Vornakel Connect"
rm -rf -- "$install_root"
version_dir="$install_root/versions/$version"
mkdir -p "$version_dir/runtime" "$version_dir/agent/dist"
place() {  # place <source or empty> <destination>
  if [ -n "$1" ]; then cp -- "$1" "$2"; else : >"$2"; fi
}
place "$node" "$version_dir/runtime/node.exe"
place "$ffmpeg" "$version_dir/runtime/ffmpeg.exe"
echo "// sample agent entry" >"$version_dir/agent/dist/headlessHost.js"
echo "// sample service bootstrap" >"$version_dir/agent/dist/windowsServiceBootstrap.js"

for root in "${data_roots[@]}"; do
  data_root="$drive_c/$root/Vornakel Connect"
  rm -rf -- "$data_root"
  mkdir -p "$data_root/private/state" "$data_root/private/tmp"
  printf '%s' "$config" >"$data_root/private/service.json"
done

echo "$version_dir"
