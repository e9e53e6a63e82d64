#!/bin/sh
# Fails when the executable imports a DLL at load time other than user32, kernel32, gdi32,
# shell32 and the C runtime (msvcrt and its API sets).
# Usage: check-imports.sh OBJDUMP EXE (the objdump of the build's mingw-w64 toolchain).
objdump=$1 exe=$2
dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || { echo "no import table found in $exe"; exit 1; }
bad=0
for d in $dlls; do
  case "$d" in
    user32.dll|kernel32.dll|gdi32.dll|shell32.dll|msvcrt.dll|api-ms-win-crt-*.dll) echo "ok: $d" ;;
    *) echo "not allowed at load time: $d"; bad=1 ;;
  esac
done
exit $bad
