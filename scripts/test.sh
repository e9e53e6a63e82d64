#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs every test program under
# Wine on a private Xvfb display. Leaves no Xvfb or wineserver running.
# Where the kernel runs 32-bit programs the 32-bit program is built and tested, and the x86_64
# build is compiled beside it (build-x86_64) without running; elsewhere the x86_64 build is
# the one tested, under wine64.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEL_BUILD:-$here/build}
source "$here/scripts/arch.sh"
korvel_pick_arch

"$here/scripts/setup-machine.sh" "$KORVEL_ARCH"
korvel_configure "$build" "$KORVEL_ARCH"
cmake --build "$build" -j "$(nproc)"
if [ "$KORVEL_ARCH" = i686 ]; then
  echo "build: compiling the x86_64 build as well (not run here)"
  korvel_configure "$here/build-x86_64" x86_64
  cmake --build "$here/build-x86_64" -j "$(nproc)"
fi

source "$here/scripts/display.sh"
start_display
trap 'stop_display' EXIT

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
start_wine_session "$build"
cd "$build"
ctest -j "$(nproc)" --output-on-failure "$@"
