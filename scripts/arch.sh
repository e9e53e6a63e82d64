# Sourced by the scripts: which Windows architecture this machine builds and runs.
# The product is the 32-bit program; a machine whose Linux kernel runs no 32-bit programs
# (no ia32 emulation) cannot run 32-bit Wine, so there the same sources are built for
# x86_64 and run under wine64.

# Succeeds when the kernel runs a 32-bit x86 program: a tiny i386 ELF that only calls exit.
korvel_kernel_runs_32bit() {
  local probe status
  probe=$(mktemp)
  # ELF header (32-bit, little-endian, executable, i386, entry 0x08048054), one program
  # header (the file's 93 bytes loaded at 0x08048000, readable and executable), then the
  # code: mov eax, 1; xor ebx, ebx; int 0x80. Written by printf, so nothing else is needed.
  { printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000'
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000'
    printf '\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000'
    printf '\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000'
    printf '\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200'; } > "$probe"
  chmod +x "$probe"
  if "$probe" 2>/dev/null; then status=0; else status=1; fi
  rm -f "$probe"
  return $status
}

# Sets KORVEL_ARCH (i686 or x86_64) unless the caller set it, and says which and why.
korvel_pick_arch() {
  if [ -n "${KORVEL_ARCH:-}" ]; then
    echo "build: $KORVEL_ARCH (chosen by KORVEL_ARCH)"
  elif korvel_kernel_runs_32bit; then
    KORVEL_ARCH=i686
    echo "build: i686, the 32-bit program (this kernel runs 32-bit programs)"
  else
    KORVEL_ARCH=x86_64
    echo "build: x86_64 under wine64 (this kernel runs no 32-bit programs, so 32-bit Wine cannot start)"
  fi
  export KORVEL_ARCH
}

# The Debian release whose source packages the dependencies are built from.
korvel_deps_release=bookworm

# korvel_deps_prefix DEPS ARCH: where the dependencies of ARCH are installed.
korvel_deps_prefix() {
  if [ "$2" = i686 ]; then echo "$1/prefix"; else echo "$1/prefix-$2"; fi
}

# korvel_configure BUILD ARCH: configures the build folder BUILD for ARCH; a folder that was
# configured for the other architecture is emptied first (its toolchain cannot change).
korvel_configure() {
  local build=$1 arch=$2 here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -f "$build/CMakeCache.txt" ] && ! grep -qx "KORVEL_ARCH:STRING=$arch" "$build/CMakeCache.txt"; then
    rm -rf "$build"
  fi
  cmake -S "$here" -B "$build" -DKORVEL_ARCH="$arch" >/dev/null
}
