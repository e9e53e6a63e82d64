#!/usr/bin/env bash
# The whole test suite: installs what is missing, compiles both builds (i686, the 32-bit
# program, and x86_64: library, program, every test and benchmark program), and runs every
# test program of the build this machine runs under Wine on a private Xvfb display. Leaves no
# Xvfb or wineserver running.
# Where the kernel runs 32-bit programs the i686 build is tested and the x86_64 build is only
# compiled (build-x86_64); elsewhere the x86_64 build is tested under wine64 and the i686 build
# is only compiled (build-i686), its shaders assembled by an x86_64 assembler. The program of
# the build that is not run gets the import check too.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEL_BUILD:-$here/build}
source "$here/scripts/arch.sh"
korvel_pick_arch
if [ "$KORVEL_ARCH" = i686 ]; then other=x86_64; else other=i686; fi
other_build=$build-$other

"$here/scripts/setup-machine.sh" "$KORVEL_ARCH"
korvel_configure "$build" "$KORVEL_ARCH"
cmake --build "$build" -j "$(nproc)"
echo "build: compiling the $other build as well (into $other_build, not run here)"
korvel_configure "$other_build" "$other"
cmake --build "$other_build" -j "$(nproc)"
ctest --test-dir "$other_build" -R '^app_imports$' --output-on-failure

source "$here/scripts/display.sh"
start_display
trap 'stop_display' EXIT

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
start_wine_session "$build"
cd "$build"
ctest -j "$(nproc)" --output-on-failure "$@"
