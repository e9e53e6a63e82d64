#!/bin/sh
# The set-up's source entries (scripts/source-entries.awk) from a table of apt source files:
# one-line lists and deb822 stanzas, other releases and third-party suites, disabled stanzas,
# entries that have sources already, a key written into the stanza, and a second run over
# the written entries, which adds nothing.
# Usage: test_source_entries.sh SOURCE-ENTRIES.AWK
set -eu
awk_file=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
mkdir "$dir/in" "$dir/out"

cat > "$dir/in/sources.list" <<'IN'
# deb http://commented.example/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/mirror.gpg] http://mirror.example/debian/ bookworm main contrib
deb http://mirror.example/debian bookworm-updates main   # updates
deb-src http://mirror.example/debian bookworm-updates main
deb http://old.example/debian bullseye main
deb https://packages.cloud.google.com/apt cloud-sdk-bookworm main
deb [signed-by=/usr/share/keyrings/mirror.gpg] http://mirror.example/debian bookworm main contrib
IN
cat > "$dir/in/debian.sources" <<'IN'
Types: deb
# a comment inside the stanza
URIs: http://deb.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.example/debian-security
Suites: bookworm-security
Components: main non-free-firmware
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZZZZZZYJKwYBBAHaRw8BAQdA
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: http://disabled.example/debian
Suites: bookworm
Components: main
Enabled: no
IN
cat > "$dir/in/more.sources" <<'IN'
Types: deb
URIs: https://deb.nodesource.example/node_20.x
Suites: nodistro
Components: main

Types: deb deb-src
URIs: http://both.example/debian
Suites: bookworm
Components: main

types: deb
uris: http://lower.example/debian
suites: bookworm bookworm-backports
components: main
IN
cat > "$dir/in/partly.list" <<'IN'
deb-src http://lower.example/debian bookworm-backports main
IN

cat > "$dir/expect.list" <<'OUT'
deb-src [arch=amd64 signed-by=/usr/share/keyrings/mirror.gpg] http://mirror.example/debian/ bookworm main contrib
OUT
cat > "$dir/expect.sources" <<'OUT'
Types: deb-src
URIs: http://deb.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.example/debian-security
Suites: bookworm-security
Components: main non-free-firmware
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZZZZZZYJKwYBBAHaRw8BAQdA
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb-src
uris: http://lower.example/debian
Suites: bookworm
components: main
OUT

run() {  # run OUT-DIR FILE...: the entries the set-up would write for these files
  out=$1; shift
  awk -v release=bookworm -v list="$out/korvel-src.list" -v sources="$out/korvel-src.sources" -f "$awk_file" "$@" /dev/null
}

run "$dir/out" "$dir/in/sources.list" "$dir/in/debian.sources" "$dir/in/more.sources" "$dir/in/partly.list"
for f in list sources; do
  if ! diff -u "$dir/expect.$f" "$dir/out/korvel-src.$f"; then
    echo "FAILED: the source entries in korvel-src.$f differ from the expected ones"; fail=1
  fi
done

# A second run that reads the written entries too adds nothing.
mkdir "$dir/again"
run "$dir/again" "$dir/in/sources.list" "$dir/in/debian.sources" "$dir/in/more.sources" "$dir/in/partly.list" \
  "$dir/out/korvel-src.list" "$dir/out/korvel-src.sources"
for f in list sources; do
  if [ -s "$dir/again/korvel-src.$f" ]; then
    echo "FAILED: a second run adds entries to korvel-src.$f:"; cat "$dir/again/korvel-src.$f"; fail=1
  fi
done

# No files at all: both outputs exist and are empty.
mkdir "$dir/none"
run "$dir/none"
for f in list sources; do
  if [ ! -f "$dir/none/korvel-src.$f" ] || [ -s "$dir/none/korvel-src.$f" ]; then
    echo "FAILED: without apt sources korvel-src.$f is not an empty file"; fail=1
  fi
done
[ $fail = 0 ] && echo "source entries: all cases passed"
exit $fail
