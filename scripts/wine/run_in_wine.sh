#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix (never ~/.wine).
#   run_in_wine.sh program.exe [args...]
# The prefix is $VORNAKEL_WINEPREFIX, or <build tree>/wineprefix for the nearest build tree above
# the current directory (CTest runs tests inside the build tree). It is created on first use.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${VORNAKEL_WINEPREFIX:-}" ]; then
  dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  if [ "$dir" = / ]; then
    echo "run_in_wine: no build tree above $PWD; set VORNAKEL_WINEPREFIX" >&2
    exit 2
  fi
  VORNAKEL_WINEPREFIX=$dir/wineprefix
fi
export VORNAKEL_WINEPREFIX
"$here/prefix.sh" ensure
# Start the prefix's server detached from our standard handles before wine would start one itself.
"$here/prefix.sh" server
export WINEPREFIX=$VORNAKEL_WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
