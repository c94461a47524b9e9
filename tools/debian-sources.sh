#!/usr/bin/env bash
# tools/debian-sources.sh — Debian source packages through a private apt sources list.
#
# The list is derived from the machine's own configured apt sources (deb822 `.sources` files and
# one-line `sources.list` entries, wherever apt-config says they live): every `deb` entry of the
# release's base suite (VERSION_CODENAME of /etc/os-release, or DEBIAN_SOURCES_SUITE) that
# carries `main` gives a `deb-src` entry with the same URIs and keyring, component `main` only.
# The security and updates suites are left out: their mirrors need not carry sources, and the
# base suite has every source package the builds need. The system's own lists, caches and locks
# stay as they are; everything lives under the folder the caller names.
#
# Sourced:  . tools/debian-sources.sh
#           debian_source_fetch APTDIR PACKAGE DESTDIR   # unpacks PACKAGE once into DESTDIR/PACKAGE-VERSION/
#           debian_source_dir DESTDIR PACKAGE            # prints that folder
# Run:      tools/debian-sources.sh list                 # prints the derived list
#           tools/debian-sources.sh fetch APTDIR PACKAGE DESTDIR
# Needs apt and dpkg-dev (dpkg-source unpacks the package). Failures print one line and return 1.

# Prints the derived deb822 paragraphs on stdout.
debian_sources_derive() {
  local suite=${DEBIAN_SOURCES_SUITE:-}
  if [ -z "$suite" ] && [ -r /etc/os-release ]; then
    suite=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
  fi
  if [ -z "$suite" ]; then
    echo "debian-sources: no release code name in /etc/os-release (set DEBIAN_SOURCES_SUITE)" >&2
    return 1
  fi
  local SL SP files=()
  eval "$(apt-config shell SL Dir::Etc::SourceList/f SP Dir::Etc::SourceParts/d)"
  [ -n "${SL:-}" ] && [ -r "$SL" ] && files+=("$SL")
  local f
  for f in "${SP:-/etc/apt/sources.list.d/}"*.list "${SP:-/etc/apt/sources.list.d/}"*.sources; do
    [ -r "$f" ] && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || { echo "debian-sources: no apt sources configured" >&2; return 1; }
  awk -v suite="$suite" '
    function has(list, word,   n, i, a) {
      n = split(list, a, /[ \t]+/)
      for (i = 1; i <= n; i++) if (a[i] == word) return 1
      return 0
    }
    # One output paragraph per input entry; a URI already given by an earlier entry is skipped.
    function emit(uris, signed, trusted,   n, i, a, kept) {
      if (!has(types, "deb") || !has(suites, suite) || !has(comps, "main") || tolower(enabled) == "no") return
      kept = ""
      n = split(uris, a, /[ \t]+/)
      for (i = 1; i <= n; i++) if (a[i] != "" && !(a[i] in seen)) { seen[a[i]] = 1; kept = kept (kept == "" ? "" : " ") a[i] }
      if (kept == "") return
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n", kept, suite
      if (signed != "") printf "Signed-By:%s%s\n", (signed ~ /^\n/ ? "" : " "), signed
      if (trusted != "") printf "Trusted: %s\n", trusted
      printf "\n"
    }
    function reset() { types = uris = suites = comps = signed = trusted = enabled = field = "" }
    function flush() { if (types != "") emit(uris, signed, trusted); reset() }
    FNR == 1 { flush(); deb822 = (FILENAME ~ /\.sources$/) }
    # deb822: paragraphs of "Field: value", continuation lines start with blanks.
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 && /^#/ { next }
    deb822 && /^[ \t]/ {
      if (field == "signed-by") signed = signed "\n" $0
      else if (field != "") { v = $0; sub(/^[ \t]+/, " ", v); val[field] = val[field] v; assign() }
      next
    }
    deb822 {
      field = tolower(substr($0, 1, index($0, ":") - 1)); v = substr($0, index($0, ":") + 1)
      sub(/^[ \t]+/, "", v); sub(/[ \t]+$/, "", v); val[field] = v
      if (field == "signed-by") signed = v
      assign(); next
    }
    # One-line: deb [opt=value ...] URI SUITE COMPONENT...
    !deb822 {
      line = $0; sub(/#.*/, "", line)
      if (line !~ /^[ \t]*deb[ \t]/) next
      reset(); types = "deb"; sub(/^[ \t]*deb[ \t]+/, "", line)
      if (line ~ /^\[/) {
        opts = substr(line, 2, index(line, "]") - 2); line = substr(line, index(line, "]") + 1)
        n = split(opts, o, /[ \t]+/)
        for (i = 1; i <= n; i++) {
          k = tolower(substr(o[i], 1, index(o[i], "=") - 1)); v = substr(o[i], index(o[i], "=") + 1)
          if (k == "signed-by") signed = v; else if (k == "trusted") trusted = v
        }
      }
      sub(/^[ \t]+/, "", line); n = split(line, w, /[ \t]+/)
      uris = w[1]; suites = w[2]; comps = ""
      for (i = 3; i <= n; i++) comps = comps " " w[i]
      flush(); next
    }
    function assign() {
      if (field == "types") types = val[field]
      else if (field == "uris") uris = val[field]
      else if (field == "suites") suites = val[field]
      else if (field == "components") comps = val[field]
      else if (field == "trusted") trusted = val[field]
      else if (field == "enabled") enabled = val[field]
    }
    END { flush() }
  ' "${files[@]}"
}

# debian_sources_setup APTDIR — writes APTDIR/sources.list.d/debian-src.sources (an empty
# APTDIR/sources.list beside it) and the private list, cache and state folders; refreshes the
# private package lists when the derived list changed or was never fetched.
debian_sources_setup() {
  local dir derived
  dir=$(mkdir -p "$1" && cd "$1" && pwd) || return 1  # apt resolves relative paths under /etc/apt
  derived=$(debian_sources_derive) || return 1
  if [ -z "$derived" ]; then
    echo "debian-sources: no configured apt source carries the base suite's main component" >&2
    return 1
  fi
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial" || return 1
  : >"$dir/sources.list"
  if [ "$(cat "$dir/sources.list.d/debian-src.sources" 2>/dev/null)" != "$derived" ]; then
    printf '%s\n' "$derived" >"$dir/sources.list.d/debian-src.sources"
    rm -f "$dir/lists/.updated"
  fi
  [ -f "$dir/lists/.updated" ] && return 0
  if ! apt-get "${_debian_sources_apt[@]/@DIR@/$dir}" update -qq; then
    echo "debian-sources: apt-get update of the private source list failed" >&2
    return 1
  fi
  touch "$dir/lists/.updated"
}
_debian_sources_apt=(-o "Dir::Etc::SourceList=@DIR@/sources.list" -o "Dir::Etc::SourceParts=@DIR@/sources.list.d"
  -o "Dir::State::Lists=@DIR@/lists" -o "Dir::Cache=@DIR@/cache" -o Debug::NoLocking=1)

# debian_source_dir DESTDIR PACKAGE — the unpacked source folder, if there is one.
debian_source_dir() {
  local d
  for d in "$1/$2"-*/; do
    [ -d "$d" ] && { printf '%s\n' "${d%/}"; return 0; }
  done
  return 1
}

# debian_source_fetch APTDIR PACKAGE DESTDIR — downloads and unpacks PACKAGE's source into
# DESTDIR once (nothing happens when DESTDIR/PACKAGE-*/ is already there).
debian_source_fetch() {
  local dir name=$2 dest=$3
  debian_source_dir "$dest" "$name" >/dev/null && return 0
  dir=$(mkdir -p "$1" && cd "$1" && pwd) || return 1
  debian_sources_setup "$dir" || return 1
  mkdir -p "$dest" || return 1
  # (as root, apt warns that it downloads unsandboxed: expected in a private folder)
  if ! (cd "$dest" && apt-get "${_debian_sources_apt[@]/@DIR@/$dir}" source -qq "$name" >/dev/null 2>"$dir/source-$name.log"); then
    cat "$dir/source-$name.log" >&2
    echo "debian-sources: apt-get source $name failed" >&2
    return 1
  fi
  debian_source_dir "$dest" "$name" >/dev/null || { echo "debian-sources: $name unpacked nowhere in $dest" >&2; return 1; }
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    list) debian_sources_derive ;;
    fetch) [ $# -eq 4 ] || { echo "usage: $0 fetch APTDIR PACKAGE DESTDIR" >&2; exit 2; }
      debian_source_fetch "$2" "$3" "$4" && debian_source_dir "$4" "$3" ;;
    *) echo "usage: $0 list | fetch APTDIR PACKAGE DESTDIR" >&2; exit 2 ;;
  esac
fi
