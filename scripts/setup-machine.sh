#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root), then
# cross-builds the third-party libraries. Usage: setup-machine.sh [i686|x86_64].
# i686 (the 32-bit program, default) also gets the x86_64 compilers and wine64, because the
# test command compiles the x86_64 build too; x86_64 alone is for machines whose kernel runs
# no 32-bit programs. Idempotent: a second run only checks and returns in seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}

need_pkgs=(cmake make wine xvfb xauth x11-apps x11-utils libz-mingw-w64-dev googletest dpkg-dev
  python3 imagemagick libogg-dev libvorbis-dev libtheora-dev libmp3lame-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  libgl1-mesa-dri libgl1 libglx-mesa0)
# Wine's MPEG splitter and audio decoder run through GStreamer of the Wine's own architecture.
if [ "$arch" = i686 ]; then
  need_pkgs+=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine32:i386 libgl1-mesa-dri:i386 libgl1:i386 libglx-mesa0:i386
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
else
  need_pkgs+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
fi

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ "$arch" = i686 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  # Source entries for the third-party libraries built below.
  if ! grep -rqs '^Types: deb deb-src\|^Types: deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat > /etc/apt/sources.list.d/korvel-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$here/scripts/build-deps.sh" "$arch"
if [ "$arch" = i686 ]; then "$here/scripts/build-deps.sh" x86_64; fi
