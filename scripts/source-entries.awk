# Source entries (deb-src) for the Debian release RELEASE, made from the machine's own binary
# entries, so that the sources come from the same mirror, with the same components and keys.
#   awk -v release=bookworm -v list=OUT.list -v sources=OUT.sources FILE...
# FILEs ending in .sources are read as deb822 stanzas, every other FILE as one-line entries.
# A binary entry of a suite RELEASE or RELEASE-* becomes a source entry of the same form:
# one-line entries go to OUT.list ("deb" turned into "deb-src", options kept), stanzas to
# OUT.sources (Types: deb-src, every other field kept, multi-line fields included). Suites
# that already have a source entry for the same address are left out, and so are stanzas
# with "Enabled: no". Both outputs are written, empty when there is nothing to add.

function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
function address(uri) { sub(/\/+$/, "", uri); return uri }
function ours(suite) { return suite == release || index(suite, release "-") == 1 }

# One one-line entry: its type, address and suite (options in [ ] skipped).
function parse_line(text,    n, f, i) {
  sub(/#.*/, "", text)
  n = split(text, f, /[ \t]+/)
  i = 1
  if (f[i] == "") i++
  line_type = f[i++]
  if (substr(f[i], 1, 1) == "[") {
    while (i <= n && f[i] !~ /\]$/) i++
    i++
  }
  line_uri = address(f[i++])
  line_suite = f[i]
}

# Ends the stanza being read: records it (its lines without comments, types, addresses,
# suites, and whether it is enabled).
function end_stanza() {
  if (st_lines != "") {
    n_st++
    st_text[n_st] = st_lines
    st_types[n_st] = " " st_field["types"] " "
    st_uris[n_st] = st_field["uris"]
    st_suites[n_st] = st_field["suites"]
    st_enabled[n_st] = tolower(st_field["enabled"]) != "no"
  }
  st_lines = ""
  split("", st_field)
  last_key = ""
}

FNR == 1 {
  if (deb822) end_stanza()
  deb822 = FILENAME ~ /\.sources$/
}

deb822 {
  if ($0 ~ /^[ \t]*#/) next
  if ($0 ~ /^[ \t\r]*$/) { end_stanza(); next }
  st_lines = st_lines $0 "\n"
  if ($0 ~ /^[ \t]/) {  # continuation of the field above
    if (last_key != "") st_field[last_key] = st_field[last_key] " " trim($0)
    next
  }
  colon = index($0, ":")
  if (colon == 0) next
  last_key = tolower(trim(substr($0, 1, colon - 1)))
  st_field[last_key] = trim(substr($0, colon + 1))
  next
}

{
  parse_line($0)
  if (line_type == "deb-src") {
    covered[line_uri " " line_suite] = 1
  } else if (line_type == "deb" && ours(line_suite)) {
    n_one++
    one_text[n_one] = $0
    one_key[n_one] = line_uri " " line_suite
  }
}

END {
  if (deb822) end_stanza()
  # Addresses and suites that have source entries already.
  for (s = 1; s <= n_st; s++) {
    if (!st_enabled[s] || index(st_types[s], " deb-src ") == 0) continue
    nu = split(st_uris[s], u, /[ \t]+/)
    ns = split(st_suites[s], su, /[ \t]+/)
    for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) covered[address(u[i]) " " su[j]] = 1
  }
  printf "" > list
  for (k = 1; k <= n_one; k++) {
    if (one_key[k] in covered) continue
    covered[one_key[k]] = 1
    text = one_text[k]
    sub(/^[ \t]*deb[ \t]+/, "deb-src ", text)
    print text > list
  }
  printf "" > sources
  first = 1
  for (s = 1; s <= n_st; s++) {
    if (!st_enabled[s] || index(st_types[s], " deb ") == 0) continue
    nu = split(st_uris[s], u, /[ \t]+/)
    ns = split(st_suites[s], su, /[ \t]+/)
    wanted = ""
    for (j = 1; j <= ns; j++) {
      if (!ours(su[j])) continue
      missing = 0
      for (i = 1; i <= nu; i++) if (!((address(u[i]) " " su[j]) in covered)) missing = 1
      if (missing) wanted = wanted (wanted == "" ? "" : " ") su[j]
    }
    if (wanted == "") continue
    for (j = 1; j <= ns; j++) if (index(" " wanted " ", " " su[j] " ")) for (i = 1; i <= nu; i++) covered[address(u[i]) " " su[j]] = 1
    if (!first) print "" > sources
    first = 0
    print "Types: deb-src" > sources
    nl = split(st_text[s], l, "\n")
    skip = 0
    for (i = 1; i < nl; i++) {
      if (l[i] ~ /^[ \t]/) { if (!skip) print l[i] > sources; continue }
      key = tolower(trim(substr(l[i], 1, index(l[i], ":") - 1)))
      skip = key == "types" || key == "suites"
      if (key == "suites") print "Suites: " wanted > sources
      else if (!skip) print l[i] > sources
    }
  }
}
