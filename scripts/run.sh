#!/usr/bin/env bash
# Installs what is missing, builds, and runs the grid viewer on the sample data the project
# ships. With a display the viewer's window opens there; without one it runs on a private
# Xvfb, a screenshot of its window is saved as build/screenshot.png once the viewer has drawn
# its first frame (at most KORVEL_SHOT_WAIT seconds, 60 by default), and the viewer is closed.
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
shot=$build/screenshot.png grab=$build/screenshot-grab.png
rm -f "$shot" "$build/screenshot-undrawn.png"
(cd "$sample" && "$build/wine-run" "$build/Quillmere.exe") &
viewer=$!
# The viewer draws its first frame once Wine, the library and the device have started, which
# on a busy machine takes many seconds. Its window (found by the title it takes after reading
# "grid.txt") is grabbed every half second until its client area (Wine draws the frame and
# title around it; the client X window inside gives the area's place) shows more than one
# colour and is the same as in the grab before (the viewer then waits for input, so its
# picture stands still). That grab, frame and title included, is the screenshot.
title="Quillmere 1.0 - file: vorticity.bin"
wait_s=${KORVEL_SHOT_WAIT:-60}
deadline=$((SECONDS + wait_s)) window= last= drawn=
while [ $SECONDS -lt $deadline ] && kill -0 "$viewer" 2>/dev/null; do
  window=$(xwininfo -name "$title" 2>/dev/null | awk '/Window id:/ {print $4}' || true)
  client=
  [ -z "$window" ] || client=$(xwininfo -children -id "$window" 2>/dev/null | awk '/^ +0x/ {print $(NF - 1); exit}' || true)
  if [ -n "$client" ] && timeout 20 import -window "$window" "$grab" 2>/dev/null; then
    # The client area's number of colours and the hash of its pixels.
    pixels=$(convert "$grab" -crop "$client" +repage -format '%k %#' info: 2>/dev/null || true)
    if [ "${pixels%% *}" -gt 1 ] 2>/dev/null && [ "$pixels" = "$last" ]; then drawn=1; break; fi
    last=$pixels
  fi
  sleep 0.5
done
if [ -n "$drawn" ]; then
  mv "$grab" "$shot"
  echo "screenshot saved: $shot"
else
  [ -f "$grab" ] && mv "$grab" "$build/screenshot-undrawn.png"
  if ! kill -0 "$viewer" 2>/dev/null; then
    echo "run: the viewer ended before it drew its first frame; no screenshot saved" >&2
  elif [ -z "$window" ]; then
    echo "run: no viewer window titled \"$title\" appeared within $wait_s s; no screenshot saved" >&2
  else
    echo "run: the viewer's window showed no picture within $wait_s s (one colour only, or still" \
      "changing); no screenshot saved, its last grab is $build/screenshot-undrawn.png" >&2
  fi
fi
kill "$viewer" 2>/dev/null || true
[ -n "$drawn" ]
