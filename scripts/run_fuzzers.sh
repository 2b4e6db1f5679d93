#!/usr/bin/env bash
# Runs every libFuzzer target of a build tree for a while, starting from its seed corpus: the
# Windows program's targets and the capture helper's. The targets that print or parse numbers run
# a second time under the decimal-comma locale de_DE.UTF-8 that the native tests compile.
#   run_fuzzers.sh <build dir> [seconds per target, default 20]
# A crash, a leak, a sanitizer report or a failed oracle fails the run. Each line ends with the
# figures of the run: executions, and libFuzzer's coverage (cov: edges, ft: features).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-20}
locale_dir=$build/platform/windows/agent/tests/locale
# Targets that read or write numbers in text: JSON numbers of commands, start records and the
# configuration, status line codes and error displays, the capture helper's options and probe line.
locale_targets=" parse_command_fuzzer start_record_fuzzer verify_authorization_fuzzer install_config_fuzzer status_line_fuzzer capture_options_fuzzer "
status=0

# run <fuzzer> <source folder> <label> [environment...]
run() {
  local fuzzer=$1 source=$2 label=$3
  shift 3
  local name work log
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
      status=1
    else
      echo "ok ($figures)"
    fi
  else
    echo "FAILED (see $log)"
    tail -n 30 "$log"
    status=1
  fi
  rm -rf "$work"
}

shopt -s nullglob
for folder in platform/windows/agent/fuzz platform/macos/screen_capture/fuzz; do
  for fuzzer in "$build/$folder"/*_fuzzer; do
    [ -x "$fuzzer" ] || continue
    run "$fuzzer" "$repo/$folder" ""
    if [[ $locale_targets == *" $(basename "$fuzzer") "* ]]; then
      run "$fuzzer" "$repo/$folder" ".de_DE" LOCPATH="$locale_dir" LC_ALL=de_DE.UTF-8
    fi
  done
done
exit $status
