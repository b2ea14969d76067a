#!/usr/bin/env bash
# Installs what is needed, builds the program, creates the demo database once and starts the
# program. Safe to run again: an existing configuration and existing demo tables are kept.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/install-deps.sh

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=(kx4tabletool)
if [[ $(cmake --build "$BUILD_DIR" --target help) == *$'\n'kx4table:* ]]; then
  targets+=(kx4table)
fi
cmake --build "$BUILD_DIR" -j"${KX4_JOBS:-$(nproc)}" --target "${targets[@]}"

# The engine's configuration: $KX4_ENGINE_CONFIG, else $XDG_CONFIG_HOME/kx4/engine.ini.
config=${KX4_ENGINE_CONFIG:-${XDG_CONFIG_HOME:-$HOME/.config}/kx4/engine.ini}
demo_dir=${KX4_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/kx4/morvane}

# PATH of an alias in the configuration, empty when the alias is not there.
alias_path() {
  [ -f "$config" ] || return 0
  awk -v want="$1" '
    /^[[:space:]]*\[/ { name = $0; gsub(/^[[:space:]]*\[|\][[:space:]]*$/, "", name)
                        inside = (toupper(name) == toupper(want)); next }
    inside && toupper($0) ~ /^[[:space:]]*PATH[[:space:]]*=/ {
      sub(/^[^=]*=[[:space:]]*/, ""); sub(/[[:space:]]*$/, ""); print; exit }' "$config"
}

existing=$(alias_path MORVANE)
if [ -n "$existing" ]; then
  demo_dir=$existing
elif ! grep -qi '^[[:space:]]*\[MORVANE\]' "$config" 2>/dev/null; then
  mkdir -p "$(dirname "$config")"
  {
    [ -s "$config" ] && echo
    printf '[MORVANE]\nTYPE=STANDARD\nPATH=%s\n' "$demo_dir"
  } >>"$config"
  echo "alias MORVANE -> $demo_dir added to $config"
fi
mkdir -p "$demo_dir"

# Fill the demo directory once, if the companion tool can write the demo tables.
tool="$BUILD_DIR/bin/kx4table"
has_tables=$(find "$demo_dir" -maxdepth 1 -type f \( -iname '*.db' -o -iname '*.dbf' -o -iname '*.txt' \) | head -n 1)
usage=$([ -x "$tool" ] && "$tool" 2>&1 || true)
if [ -z "$has_tables" ] && [[ $usage == *create-demo* ]]; then
  "$tool" create-demo "$demo_dir"
fi

exec "$BUILD_DIR/bin/kx4tabletool" "$@"
