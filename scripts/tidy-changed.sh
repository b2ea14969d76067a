#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over the .cpp files changed between
# $TIDY_BASE (default HEAD~1) and HEAD, and fails on any finding. The whole tree takes too long
# for CI; this keeps each change clean. Needs a configured build ($BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
BASE=${TIDY_BASE:-HEAD~1}
CLANG_TIDY=${CLANG_TIDY:-clang-tidy}
database="$BUILD_DIR/compile_commands.json"
[ -f "$database" ] || { echo "tidy: $database missing: configure the build first"; exit 1; }
# A shallow clone may lack the base: nothing to compare with, so say so rather than fail the run.
if ! git rev-parse --verify --quiet "$BASE^{commit}" >/dev/null; then
  echo "tidy: base $BASE not in this clone (shallow?); set TIDY_BASE to check a range"; exit 0
fi

files=()
while IFS= read -r f; do
  # Only sources this build compiles (the fuzz targets need the clang build, for instance).
  grep -qF "\"file\": \"$PWD/$f\"" "$database" && files+=("$f")
done < <(git diff --name-only --diff-filter=d "$BASE" HEAD -- '*.cpp')
if [ ${#files[@]} -eq 0 ]; then
  echo "tidy: no compiled .cpp file changed since $BASE"; exit 0
fi
echo "tidy: ${#files[@]} files changed since $BASE"
printf '%s\0' "${files[@]}" |
  xargs -0 -n 1 -P "$(nproc)" "$CLANG_TIDY" -p "$BUILD_DIR" --quiet
