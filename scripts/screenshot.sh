#!/usr/bin/env bash
# Photographs the real main window for the README: the program runs under Xvfb against a fresh
# demo database, the alias is chosen and the customer table clicked as a user would (xdotool),
# and the window is saved as a small palette PNG (default docs/main-window.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}

missing=()
for need in Xvfb:xvfb xvfb-run:xvfb xdotool:xdotool import:imagemagick; do
  command -v "${need%%:*}" >/dev/null || missing+=("${need#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target kx4tabletool kx4table

# A fixed demo directory, so that the path shown in the window is the same on every run.
demo=/tmp/kx4-demo
rm -rf "$demo"
trap 'rm -rf "$demo"' EXIT
"$BUILD_DIR/bin/kx4table" create-demo "$demo/morvane" >/dev/null
printf '[MORVANE]\nTYPE=STANDARD\nPATH=%s\n' "$demo/morvane" >"$demo/engine.ini"

cat >"$demo/shoot.sh" <<SHOOT
set -euo pipefail
KX4_ENGINE_CONFIG=$demo/engine.ini "$BUILD_DIR/bin/kx4tabletool" & program=\$!
window=\$(xdotool search --sync --onlyvisible --name "KX4 Tabellen-Info" | head -n 1)
sleep 1
xdotool mousemove --window "\$window" 110 121 click 1   # the alias box
xdotool type --delay 50 M                                # completes to MORVANE
xdotool key Return
sleep 1
xdotool mousemove --window "\$window" 100 199 click 1   # KUNDEN.DB in the tree
sleep 1
import -window "\$window" "$demo/shot.png"
kill \$program
SHOOT
timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" bash "$demo/shoot.sh"
mkdir -p "$(dirname "$out")"
convert "$demo/shot.png" -strip -colors 64 "PNG8:$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
