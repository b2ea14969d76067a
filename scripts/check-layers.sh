#!/usr/bin/env bash
# Fails when a source includes a header of a layer it must not know (see the README's
# "Architecture"). Includes are written from the source root, so the folder of every included
# header is plain to see.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder of the including file -> folders (or single headers) it may include, besides its own.
declare -A allowed=(
    [engine/core]=""
    [engine/paradox]="engine/core"
    [engine/dbase]="engine/core"
    [engine/ascii]="engine/core"
    [engine/sql]="engine"
    [engine]="engine"
    [restructure]="engine"
    [texts]=""
    [tools]="engine app/FieldTypeNames.h"
    [ui]="engine texts app/FieldTypeNames.h"
    [maintenance]="engine texts ui restructure app/FieldTypeNames.h"
    [definition]="engine texts ui restructure app/FieldTypeNames.h"
    [report]="engine texts ui restructure app/FieldTypeNames.h"
    [app]="engine texts ui restructure maintenance definition report tools"
)

# The longest key of `allowed` that is the file's folder or one of its parents.
layer_of() {
    local dir
    dir=$(dirname "$1")
    while [[ "$dir" != "." ]]; do
        [[ -v "allowed[$dir]" ]] && { echo "$dir"; return; }
        dir=$(dirname "$dir")
    done
}

may_include() {  # layer header
    local layer=$1 header=$2 entry
    for entry in "$layer" ${allowed[$layer]}; do
        [[ "$header" == "$entry" || "$header" == "$entry"/* ]] && return 0
    done
    return 1
}

status=0
while IFS= read -r file; do
    layer=$(layer_of "$file")
    [[ -z "$layer" ]] && continue  # tests, benchmarks and the like may include anything
    while IFS= read -r header; do
        if ! may_include "$layer" "$header"; then
            echo "$file: includes $header, which the $layer layer must not know"
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files '*.cpp' '*.h' | grep -v '^\(tests\|bench\)/')

if [[ $status -eq 0 ]]; then
    echo "Every include keeps to its layer."
fi
exit $status
