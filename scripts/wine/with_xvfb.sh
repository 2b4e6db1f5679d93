#!/usr/bin/env bash
# Runs a command with its own Xvfb on a free display number, and stops that Xvfb afterwards.
#   with_xvfb.sh [--screen WxHxD] command [args...]
# The command sees DISPLAY; its exit status is this script's.
set -euo pipefail
screen=1920x1080x24
if [ "${1:-}" = --screen ]; then screen=$2; shift 2; fi

for n in $(seq 90 199); do
  # A display is free when neither its lock file nor its socket exists; Xvfb's own lock settles races.
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.05
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    status=0
    "$@" || status=$?
    exit "$status"
  fi
done
echo "with_xvfb: no free display number" >&2
exit 1
