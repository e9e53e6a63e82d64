#!/usr/bin/env bash
# Cross-builds the third-party libraries (libpng, libjpeg-turbo, libogg, libvorbis,
# libtheora, Bullet) as static Windows libraries from Debian's source packages.
# Usage: build-deps.sh [i686|x86_64] (default i686, the product's 32-bit build); each
# architecture has a prefix of its own (prefix, prefix-x86_64) and build folders of its own.
# The prefix is kept between runs; a stamp per library makes a second run take seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
deps=${KORVEL_DEPS:-/opt/korvel-deps}
source "$here/scripts/arch.sh"
prefix=$(korvel_deps_prefix "$deps" "$arch")
src=$deps/src
host=$arch-w64-mingw32
toolchain=$here/cmake/$host.cmake
jobs=$(nproc)
work=$deps/build-$arch
mkdir -p "$prefix" "$src" "$work"

# download DIR NAME: downloads the Debian source package NAME of $korvel_deps_release into DIR.
download() {
  (cd "$1" && apt-get source -qq --download-only -t "$korvel_deps_release" "$2" >/dev/null 2>&1)
}

# fetch NAME: unpacks the source package NAME into $src/NAME and echoes the folder. When the
# download fails, the package lists are brought up to date (as root) and it is tried again.
fetch() {
  local name=$1
  if [ ! -d "$src/$name" ]; then
    local tmp
    tmp=$(mktemp -d "$src/.dl.XXXXXX")
    if ! download "$tmp" "$name" && [ "$(id -u)" = 0 ] && apt-get update -qq >&2; then
      download "$tmp" "$name" || true
    fi
    local dsc
    dsc=$(ls "$tmp"/*.dsc 2>/dev/null | head -n 1)
    [ -n "$dsc" ] || { echo "build-deps: could not download the source of $name" >&2; exit 1; }
    (cd "$tmp" && dpkg-source --no-check -x "$(basename "$dsc")" unpacked >/dev/null)
    mv "$tmp/unpacked" "$src/$name"
    rm -rf "$tmp"
  fi
  echo "$src/$name"
}

stamp_ok() { [ -f "$prefix/.stamp-$1" ]; }
stamp_set() { touch "$prefix/.stamp-$1"; }

cmake_dep() { # cmake_dep NAME SRC_DIR [TARGETS...] -- cache args after --
  local name=$1 dir=$2; shift 2
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  local b=$work/$name
  rm -rf "$b"
  cmake -S "$dir" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_C_FLAGS="-O2 -msse2 -mfpmath=sse" -DCMAKE_CXX_FLAGS="-O2 -msse2 -mfpmath=sse" \
    "$@" >"$b.log" 2>&1 || { cat "$b.log" >&2; exit 1; }
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$b" -j "$jobs" --target "${targets[@]}" >>"$b.log" 2>&1 || { tail -50 "$b.log" >&2; exit 1; }
  else
    cmake --build "$b" -j "$jobs" --target install >>"$b.log" 2>&1 || { tail -50 "$b.log" >&2; exit 1; }
  fi
}

autotools_dep() { # autotools_dep NAME SRC_DIR configure-args...
  local name=$1 dir=$2; shift 2
  local b=$work/$name
  rm -rf "$b"; mkdir -p "$b"
  (cd "$b" && PKG_CONFIG_PATH="$prefix/lib/pkgconfig" CFLAGS="-O2 -msse2 -mfpmath=sse" \
     "$dir/configure" --host=$host --prefix="$prefix" --disable-shared --enable-static "$@" \
     && make -j "$jobs" ${MAKE_ARGS:-} && make install ${MAKE_ARGS:-}) >"$b.log" 2>&1 || { tail -50 "$b.log" >&2; exit 1; }
}

if ! stamp_ok png; then
  d=$(fetch libpng1.6)
  cmake_dep png "$d" -- -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_LIBRARY=/usr/$host/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$host/include
  stamp_set png
fi
if ! stamp_ok jpeg; then
  d=$(fetch libjpeg-turbo)
  cmake_dep jpeg "$d" -- -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JAVA=OFF
  stamp_set jpeg
fi
if ! stamp_ok ogg; then
  d=$(fetch libogg)
  autotools_dep ogg "$d"
  stamp_set ogg
fi
if ! stamp_ok vorbis; then
  d=$(fetch libvorbis)
  autotools_dep vorbis "$d" --with-ogg="$prefix" --disable-oggtest --disable-docs --disable-examples
  stamp_set vorbis
fi
if ! stamp_ok theora; then
  d=$(fetch libtheora)
  MAKE_ARGS='SUBDIRS=lib' autotools_dep theora "$d" --with-ogg="$prefix" --disable-oggtest --disable-vorbistest --disable-sdltest \
    --disable-examples --disable-doc --disable-encode
  mkdir -p "$prefix/include/theora" && cp "$d"/include/theora/*.h "$prefix/include/theora/"
  stamp_set theora
fi
if ! stamp_ok bullet; then
  # Only LinearMath, BulletCollision and BulletDynamics are needed; their sources are
  # compiled directly (Bullet's own CMake set-up trips over the cross OpenGL check).
  d=$(fetch bullet)
  b=$work/bullet
  rm -rf "$b"; mkdir -p "$b" "$prefix/lib" "$prefix/include/bullet"
  for l in LinearMath BulletCollision BulletDynamics; do
    mkdir -p "$b/$l"
    (cd "$d/src/$l" && find . -name '*.cpp') | sed 's|^\./||' | \
      xargs -P "$jobs" -I{} sh -c 'o="$0/$(echo "$2" | tr / _).o"; '"$host"'-g++-posix -O2 -msse2 -mfpmath=sse -DBT_USE_SSE_IN_API=0 -I"$1" -c "$1/$3/$2" -o "$o"' \
        "$b/$l" "$d/src" {} "$l" 2>"$b/$l.log" || { tail -30 "$b/$l.log" >&2; exit 1; }
    rm -f "$prefix/lib/lib$l.a"
    $host-ar rcs "$prefix/lib/lib$l.a" "$b/$l"/*.o
  done
  (cd "$d/src" && find . -name '*.h' -exec cp --parents {} "$prefix/include/bullet/" \;)
  stamp_set bullet
fi
echo "build-deps: libraries ready in $prefix"
