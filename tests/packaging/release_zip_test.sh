#!/usr/bin/env bash
# tests/packaging/release_zip_test.sh MAKE-ZIP SHOW-TEXTS OUTDIR — the Windows release archive
# made by packaging/release/make-zip.sh from a stand-in .exe: the same inputs give the same bytes
# whatever the clock, time zone and umask; the entries, their times and attributes; the texts as
# DOS texts (CRLF, ASCII, the diz's 45 x 10); the credits agree with the show's own texts; and
# texts that break the rules stop the script with no archive left.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 MAKE-ZIP SHOW-TEXTS OUTDIR" >&2; exit 2; }
make_zip=$1 show_texts=$2 out=$3
for tool in zip unzip zipinfo; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed (Debian packages zip, unzip)"; exit 0; }
done
rm -rf "$out" && mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# 2024-12-11 07:53:20 UTC (an even second: a DOS time counts in steps of two). In Kiritimati
# (UTC+14) it is the 11th's evening, so a time taken in the local zone would show.
epoch=1733903600
day=2024-12-11
head -c 70000 /dev/urandom >"$out/stand-in.exe"

"$make_zip" "$out/stand-in.exe" 9.8.7 "$epoch" "$out/first.zip" || fail "make-zip failed"
sleep 2  # a later wall clock, another zone and umask must not show in the bytes
(umask 077 && TZ=Pacific/Kiritimati "$make_zip" "$out/stand-in.exe" 9.8.7 "$epoch" "$out/second.zip") ||
  fail "make-zip failed in another zone"
cmp -s "$out/first.zip" "$out/second.zip" || fail "two archives of the same inputs differ"

# The entries: three files in sorted order, no folders, each with the given time in UTC and no
# extra fields, the .exe executable and the texts not.
expected="-rw-r--r-- ${day//-/}.075320 file_id.diz
-rwxr-xr-x ${day//-/}.075320 quorvane-intro.exe
-rw-r--r-- ${day//-/}.075320 quorvane-intro.nfo"
listing=$(zipinfo -T "$out/first.zip" | awk 'NF == 8 && $1 ~ /^[-d]/ { print $1, $7, $8 }')
[ "$listing" = "$expected" ] || fail "the entries are
$listing
expected
$expected"
extras=$(zipinfo -v "$out/first.zip" | grep -c 'length of extra field: *0 bytes')
[ "$extras" = 3 ] || fail "entries carry extra fields (zip -X leaves them out): $extras of 3 without"
unzip -tq "$out/first.zip" >/dev/null || fail "unzip -t finds the archive damaged"
unzip -p "$out/first.zip" quorvane-intro.exe | cmp -s - "$out/stand-in.exe" || fail "the .exe inside differs from its input"

# The texts: CRLF on every line, printable ASCII only, the sizes, the date and version filled in.
for name in quorvane-intro.nfo file_id.diz; do
  unzip -p "$out/first.zip" "$name" >"$out/$name"
  LC_ALL=C grep -q $'[^\r -~]' "$out/$name" && fail "$name holds bytes other than printable ASCII and CRLF"
  [ "$(grep -c $'\r$' "$out/$name")" = "$(wc -l <"$out/$name")" ] || fail "$name has lines without CRLF"
  [ -z "$(tail -c 2 "$out/$name" | tr -d '\r\n')" ] || fail "$name does not end with a line end"
  grep -q "$day" "$out/$name" || fail "$name does not carry the date $day"
  grep -q '9\.8\.7' "$out/$name" || fail "$name does not carry the version 9.8.7"
  grep -q '@[A-Z]*@' "$out/$name" && fail "$name keeps a placeholder"
done
diz_lines=$(wc -l <"$out/file_id.diz")
diz_width=$(tr -d '\r' <"$out/file_id.diz" | awk '{ if (length($0) > w) w = length($0) } END { print w }')
[ "$diz_lines" -le 10 ] && [ "$diz_width" -le 45 ] || fail "file_id.diz is $diz_width x $diz_lines (at most 45 x 10)"
nfo_width=$(tr -d '\r' <"$out/quorvane-intro.nfo" | awk '{ if (length($0) > w) w = length($0) } END { print w }')
[ "$nfo_width" -le 79 ] || fail "the nfo has a line of $nfo_width columns (at most 79)"

# The credits and keys: the nfo names the people the show's own texts name, and the keys.
for name in kestrow brackwyn tessivar; do
  grep -q "$name" "$show_texts" || fail "the show's texts no longer name $name: update the nfo's credits"
  grep -q "$name" "$out/quorvane-intro.nfo" || fail "the nfo does not credit $name"
done
for key in space f1 escape enter "left mouse" "the mouse"; do
  grep -qi "^ *$key \.\." "$out/quorvane-intro.nfo" || fail "the nfo's keys leave out $key"
done

# Bad inputs: one clear line, exit 1, and no archive. The texts are copies beside a copy of the
# script, each case breaking one rule.
here=$(dirname "$make_zip")
while IFS='|' read -r case file line epoch_case message; do
  dir=$out/bad-$case
  mkdir -p "$dir" && cp "$make_zip" "$here"/*.in "$dir/"
  [ -n "$line" ] && printf '%b\n' "$line" >>"$dir/$file"
  "$dir/make-zip.sh" "$out/stand-in.exe" 1.0.0 "$epoch_case" "$dir/out.zip" 2>"$dir/stderr"
  status=$?
  [ $status = 1 ] || fail "$case: exit $status, expected 1"
  grep -q "$message" "$dir/stderr" || fail "$case: stderr lacks \"$message\": $(cat "$dir/stderr")"
  [ ! -e "$dir/out.zip" ] && [ ! -e "$dir/out.zip.part" ] || fail "$case: an archive was left"
done <<EOF
diz-wide|file_id.diz.in|$(printf '%046d' 0)|$epoch|file_id.diz: a line of 46 columns
diz-long|file_id.diz.in|a\nb|$epoch|file_id.diz: 11 lines
nfo-wide|quorvane-intro.nfo.in|$(printf '%080d' 0)|$epoch|a line of 80 columns
nfo-latin1|quorvane-intro.nfo.in|gr\xfc\xdfe|$epoch|other than printable ASCII
nfo-utf8|quorvane-intro.nfo.in|gr\xc3\xbc\xc3\x9fe|$epoch|other than printable ASCII
nfo-tab|quorvane-intro.nfo.in|a\tb|$epoch|other than printable ASCII
nfo-placeholder|quorvane-intro.nfo.in|@AUTHOR@|$epoch|placeholder is left unfilled
time-1979|file_id.diz.in||315532799|before 1980
time-text|file_id.diz.in||yesterday|seconds since 1970
EOF

[ $failures = 0 ] && echo "release archive: all checks passed" || exit 1
