#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root), then
# cross-builds the third-party libraries for both architectures.
# Usage: setup-machine.sh [i686|x86_64], the build that is run here (by default the one
# scripts/arch.sh picks for this machine).
# Both builds are compiled on every machine, so both mingw-w64 compilers and both dependency
# prefixes are always set up, and wine64 too (it runs the build-time shader assembler of the
# x86_64 build, and of the i686 build where the kernel runs no 32-bit programs). Running the
# i686 build needs 32-bit Wine with 32-bit Mesa and GStreamer, installed only where the kernel
# runs 32-bit programs; running the x86_64 build needs 64-bit GStreamer.
# Idempotent: a second run only checks and returns in seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/arch.sh"
if [ $# -gt 0 ]; then KORVEL_ARCH=$1; fi
korvel_pick_arch >/dev/null

need_pkgs=(cmake make g++ wine wine64 xvfb xauth x11-apps x11-utils libz-mingw-w64-dev googletest dpkg-dev
  python3 imagemagick libogg-dev libvorbis-dev libtheora-dev libmp3lame-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libgl1-mesa-dri libgl1 libglx-mesa0)
# Wine's MPEG splitter and audio decoder run through GStreamer of the Wine's own architecture.
i386=
if [ "$KORVEL_ARCH" = x86_64 ]; then
  need_pkgs+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
elif korvel_kernel_runs_32bit; then
  i386=1
  need_pkgs+=(wine32:i386 libgl1-mesa-dri:i386 libgl1:i386 libglx-mesa0:i386
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
else
  echo "setup: this kernel runs no 32-bit programs: no 32-bit Wine (the i686 build is compiled, not run)"
fi

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source entries for the third-party libraries built below: the machine's own binary entries
# of the release they come from, as deb-src (scripts/source-entries.awk).
apt_dir=/etc/apt/sources.list.d
inputs=()
for f in /etc/apt/sources.list "$apt_dir"/*.list "$apt_dir"/*.sources; do
  case "$f" in "$apt_dir"/korvel-src.*) continue ;; esac
  [ -f "$f" ] && inputs+=("$f")
done
new=$(mktemp -d)
trap 'rm -rf "$new"' EXIT
awk -v release="$korvel_deps_release" -v list="$new/korvel-src.list" -v sources="$new/korvel-src.sources" \
  -f "$here/scripts/source-entries.awk" "${inputs[@]}" /dev/null
sources_changed=
for f in korvel-src.list korvel-src.sources; do
  if [ -s "$new/$f" ]; then
    cmp -s "$new/$f" "$apt_dir/$f" || { cp "$new/$f" "$apt_dir/$f"; sources_changed=1; }
  elif [ -e "$apt_dir/$f" ]; then
    rm -f "$apt_dir/$f"; sources_changed=1
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ -n "$sources_changed" ]; then
  export DEBIAN_FRONTEND=noninteractive
  if [ -n "$i386" ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$here/scripts/build-deps.sh" i686
"$here/scripts/build-deps.sh" x86_64
