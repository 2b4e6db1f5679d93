#!/usr/bin/env bash
# Validates every GitHub workflow in .github/workflows/ against the workflow schema with
# action-validator, installed from the npm registry into <tool folder> on first use. Fails, never
# skips, when the validator cannot be installed.
#   validate_workflows.sh <tool folder>
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
tools=${1:?usage: validate_workflows.sh <tool folder>}
validator_package=@action-validator/cli@0.6.0
validator=$tools/node_modules/.bin/action-validator

if [ ! -x "$validator" ]; then
  if ! command -v npm >/dev/null; then
    # Debian's npm; a machine whose Node.js comes with its own npm already has one.
    apt-get install -y -qq npm >/dev/null || { echo "cannot install npm" >&2; exit 1; }
  fi
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --no-save --loglevel=error "$validator_package" ||
    { echo "cannot install $validator_package" >&2; exit 1; }
  [ -x "$validator" ] || { echo "$validator_package installed no action-validator" >&2; exit 1; }
fi

shopt -s nullglob
workflows=("$repo"/.github/workflows/*.yml "$repo"/.github/workflows/*.yaml)
((${#workflows[@]})) || { echo "no workflows in .github/workflows" >&2; exit 1; }
status=0
for workflow in "${workflows[@]}"; do
  if "$validator" "$workflow"; then
    echo "valid: ${workflow#"$repo"/}"
  else
    echo "INVALID: ${workflow#"$repo"/}"
    status=1
  fi
done
exit "$status"
