#!/usr/bin/env bash
# Installs what is missing, builds, and runs the grid viewer on the sample data the project
# ships. With a display the viewer's window opens there; without one it runs on a private
# Xvfb, a screenshot of the screen is saved as build/screenshot.png, and the viewer is closed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEL_BUILD:-$here/build}

"$here/scripts/setup-machine.sh"
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target Quillmere

# The viewer reads "grid.txt" and its data files from its current folder.
sample=$build/sample
mkdir -p "$sample"
if [ -d "$here/sample" ]; then cp -r "$here/sample/." "$sample/"; fi

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
import -window root "$build/screenshot.png" && echo "screenshot saved: $build/screenshot.png"
kill "$viewer" 2>/dev/null || true
