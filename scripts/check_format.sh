#!/usr/bin/env bash
# Fails when a C, C++ or Objective-C++ source of the project differs from clang-format's output.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cc' '*.h' '*.c' '*.mm' '*.cpp')
((${#files[@]})) || exit 0
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then bad+=("$f"); fi
done
if ((${#bad[@]})); then
  echo "not formatted with clang-format (run: clang-format -i FILE):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "all ${#files[@]} sources follow .clang-format"
