#!/usr/bin/env bash
# Runs every libFuzzer target of a build tree for a while, starting from its seed corpus: the
# Windows program's targets and the capture helper's. The targets that print or parse numbers run
# a second time under the decimal-comma locale de_DE.UTF-8 that the native tests compile.
#   run_fuzzers.sh <build dir> [seconds per target, default 20] [runs at once, default 1]
#                  [seconds per locale run, default the same]
# A crash, a leak, a sanitizer report or a failed oracle fails the run. Each line ends with the
# figures of the run: executions, libFuzzer's coverage (cov: edges, ft: features) and the size of
# the corpus it ended with. Runs at once share the machine: give one per core for figures.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-20}
parallel=${3:-1}
locale_seconds=${4:-$seconds}
locale_dir=$build/platform/windows/agent/tests/locale
# Targets that read or write numbers in text: JSON numbers of commands, start records and the
# configuration, status line codes and error displays, the capture helper's options and probe line.
locale_targets=" parse_command_fuzzer start_record_fuzzer verify_authorization_fuzzer install_config_fuzzer status_line_fuzzer capture_options_fuzzer "
status=0

# run <fuzzer> <source folder> <label> <seconds> [environment...]
run() {
  local fuzzer=$1 source=$2 label=$3 seconds=$4
  shift 4
  local name work log failed=0
  name=$(basename "$fuzzer")
  work=$(mktemp -d)
  log=$build/$name$label.log
  [ -d "$source/corpus/$name" ] && cp -r "$source/corpus/$name"/. "$work"/
  printf '[fuzz] %s%s for %ss ... ' "$name" "$label" "$seconds"
  if env "$@" "$fuzzer" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/$name$label-" >"$log" 2>&1; then
    local figures
    figures=$(grep -E '^#[0-9]+' "$log" | tail -n1 | sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+).*/\1 runs, cov \2, ft \3/')
    if [ "$label" != "" ] && ! grep -q "decimal point ','" "$log"; then
      echo "FAILED (the locale did not take effect, see $log)"
      failed=1
    else
      echo "ok ($figures, corpus $(find "$work" -type f | wc -l))"
    fi
  else
    echo "FAILED (see $log)"
    tail -n 30 "$log"
    failed=1
  fi
  rm -rf "$work"
  return $failed
}

# Starts one run, at most $parallel at a time; each run's lines are printed whole, in the order
# the runs end. A run in the background leaves its failure as a mark, since a finished job's
# status can be reaped before anyone asks for it.
failure_mark=$build/run_fuzzers.failed
rm -f "$failure_mark"
launch() {
  if [ "$parallel" -le 1 ]; then
    run "$@" || status=1
    return
  fi
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
    wait -n || true
  done
  { out=$(run "$@") || touch "$failure_mark"; printf '%s\n' "$out"; } &
}

shopt -s nullglob
for folder in platform/windows/agent/fuzz platform/macos/screen_capture/fuzz; do
  for fuzzer in "$build/$folder"/*_fuzzer; do
    [ -x "$fuzzer" ] || continue
    launch "$fuzzer" "$repo/$folder" "" "$seconds"
    if [[ $locale_targets == *" $(basename "$fuzzer") "* ]]; then
      launch "$fuzzer" "$repo/$folder" ".de_DE" "$locale_seconds" LOCPATH="$locale_dir" LC_ALL=de_DE.UTF-8
    fi
  done
done
wait
if [ -e "$failure_mark" ]; then
  status=1
  rm -f "$failure_mark"
fi
exit $status
