#!/usr/bin/env bash
# Fails, listing the files, when a tracked C++ source differs from the repository's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! report=$("$CLANG_FORMAT" --dry-run --Werror "${files[@]}" 2>&1); then
  echo "Not formatted as .clang-format says (fix with: $CLANG_FORMAT -i FILE):"
  grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' ||
    echo "$report"
  exit 1
fi
echo "format: ${#files[@]} files checked"
