#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs every test program under
# Wine on a private Xvfb display. Leaves no Xvfb or wineserver running.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEL_BUILD:-$here/build}

"$here/scripts/setup-machine.sh"
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"

source "$here/scripts/display.sh"
start_display
trap 'stop_display' EXIT

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
start_wine_session "$build"
cd "$build"
ctest -j "$(nproc)" --output-on-failure "$@"
