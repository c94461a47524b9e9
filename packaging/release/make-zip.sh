#!/usr/bin/env bash
# packaging/release/make-zip.sh EXE VERSION EPOCH OUT.zip — the Windows release archive.
#
# Writes OUT.zip holding EXE as quorvane-intro.exe, quorvane-intro.nfo and file_id.diz, the two
# texts made from the .in files beside this script with @VERSION@ and @DATE@ (EPOCH's day, UTC,
# as YYYY-MM-DD) filled in. The texts go out as DOS texts: CRLF line ends, plain ASCII (so that a
# CP437 viewer shows them as written), file_id.diz at most 45 columns and 10 lines, the nfo at
# most 79 columns; a text that breaks one of these stops the script before OUT.zip is written.
#
# The same inputs give the same bytes: every entry carries EPOCH as its time (DOS time, which
# has no zone, taken in UTC), fixed permissions (0644, the .exe 0755), no extra fields (zip -X:
# no Unix time stamps or owner ids) and no directory entries, in sorted order.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 EXE VERSION EPOCH OUT.zip" >&2; exit 2; }
exe=$1 version=$2 epoch=$3 out=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fail() { echo "make-zip: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "$exe: no such file"
[[ $epoch =~ ^[0-9]+$ ]] || fail "the time must be seconds since 1970, not \"$epoch\""
# A DOS time cannot hold a time before 1980.
[ "$epoch" -ge 315532800 ] || fail "the time $epoch lies before 1980, which a zip entry cannot hold"
command -v zip >/dev/null || fail "zip is not installed (Debian package zip)"
date=$(date -u -d "@$epoch" +%Y-%m-%d)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# text NAME MAX-COLUMNS MAX-LINES — NAME from NAME.in, checked, with CRLF line ends.
text() {
  local name=$1 columns=$2 lines=$3 source=$here/$1.in filled
  filled=$(sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/g" "$source")
  if LC_ALL=C grep -n '[^ -~]' <<<"$filled" >&2; then
    fail "$name: the lines above hold characters other than printable ASCII"
  fi
  grep -q '@[A-Z]*@' <<<"$filled" && fail "$name: a placeholder is left unfilled"
  local widest count
  widest=$(awk '{ if (length($0) > w) w = length($0) } END { print w + 0 }' <<<"$filled")
  count=$(wc -l <<<"$filled")
  [ "$widest" -le "$columns" ] || fail "$name: a line of $widest columns (at most $columns)"
  [ "$count" -le "$lines" ] || fail "$name: $count lines (at most $lines)"
  printf '%s\n' "$filled" | sed 's/$/\r/' >"$stage/$name"
  chmod 0644 "$stage/$name"
}
text quorvane-intro.nfo 79 200
text file_id.diz 45 10
cp "$exe" "$stage/quorvane-intro.exe"
chmod 0755 "$stage/quorvane-intro.exe"

touch -d "@$epoch" "$stage"/*
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# Written beside OUT and renamed, so that OUT is whole or absent (zip would add to an old one).
rm -f "$out.part"
(cd "$stage" && printf '%s\n' file_id.diz quorvane-intro.exe quorvane-intro.nfo |
  TZ=UTC zip -q -X -D -9 "$out.part" -@) || fail "zip could not write $out"
mv -f "$out.part" "$out"
