#!/usr/bin/env bash
# Installs what is missing, builds, and runs the grid viewer on the sample data the project
# ships. With a display the viewer's window opens there; without one it runs on a private
# Xvfb, a screenshot of its window is saved as build/screenshot.png, and the viewer is closed.
# Where the kernel runs no 32-bit programs, the x86_64 build of the viewer runs under wine64.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEL_BUILD:-$here/build}
source "$here/scripts/arch.sh"
korvel_pick_arch

"$here/scripts/setup-machine.sh" "$KORVEL_ARCH"
korvel_configure "$build" "$KORVEL_ARCH"
cmake --build "$build" -j "$(nproc)" --target Quillmere

# The viewer reads "grid.txt" and its data files from its current folder: the sample is a
# vortex street behind a cylinder (vorticity and velocity), written by tools/make_sample.py.
sample=$build/sample
python3 "$here/tools/make_sample.py" "$sample"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
if [ -n "${DISPLAY:-}" ]; then
  cd "$sample" && exec "$build/wine-run" "$build/Quillmere.exe"
fi

source "$here/scripts/display.sh"
start_display
trap 'stop_display' EXIT
"$build/wine-run"
(cd "$sample" && "$build/wine-run" "$build/Quillmere.exe") &
viewer=$!
sleep "${KORVEL_SHOT_DELAY:-6}"
# The viewer's window by its title, else the whole screen.
window=$(xwininfo -name "Quillmere 1.0 - file: vorticity.bin" 2>/dev/null | awk '/Window id:/ {print $4}' || true)
if timeout 20 import -window "${window:-root}" "$build/screenshot.png"; then
  echo "screenshot saved: $build/screenshot.png"
fi
kill "$viewer" 2>/dev/null || true
