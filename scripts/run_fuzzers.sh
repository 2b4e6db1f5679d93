#!/usr/bin/env bash
# Runs every libFuzzer target of a build tree for a short while, starting from its seed corpus.
#   run_fuzzers.sh <build dir> [seconds per target, default 20]
# A crash, a leak or a sanitizer report fails the run.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=${2:-20}
status=0
shopt -s nullglob
for fuzzer in "$build"/platform/windows/agent/fuzz/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  work=$(mktemp -d)
  seeds=$repo/platform/windows/agent/fuzz/corpus/$name
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  printf '[fuzz] %s for %ss ... ' "$name" "$seconds"
  if "$fuzzer" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/$name-" >"$build/$name.log" 2>&1; then
    echo "ok ($(grep -oE '#[0-9]+' "$build/$name.log" | tail -n1 | tr -d '#') runs)"
  else
    echo "FAILED (see $build/$name.log)"
    tail -n 30 "$build/$name.log"
    status=1
  fi
  rm -rf "$work"
done
exit $status
