# Sourced by the scripts: which Windows architecture this machine builds and runs.
# The product is the 32-bit program; a machine whose Linux kernel runs no 32-bit programs
# (no ia32 emulation) cannot run 32-bit Wine, so there the same sources are built for
# x86_64 and run under wine64.

# Succeeds when the kernel runs a 32-bit x86 program: a tiny i386 ELF that only calls exit.
korvel_kernel_runs_32bit() {
  local probe status
  probe=$(mktemp)
  python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])  # exit(0) through int 0x80
base = 0x08048000
ehdr = b'\x7fELF' + bytes([1, 1, 1, 0]) + bytes(8) + struct.pack(
    '<HHIIIIIHHHHHH', 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack('<IIIIIIII', 1, 0, base, base, 84 + len(code), 84 + len(code), 5, 0x1000)
open(sys.argv[1], 'wb').write(ehdr + phdr + code)
PY
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
