#!/usr/bin/env bash
# soak.sh — runs the intro live for a long time under a virtual X display while a scripted user
# presses keys, types words, moves and drags the mouse; then presses Escape and reports the exit
# code, the sanitizer reports, the resident memory at start and end, and whether the music
# looped (its order position went back to the restart position).
#
#   tools/soak.sh [BINARY] [SECONDS]
#
# BINARY defaults to build-asan/quorvane-intro (configure that folder with
# -DQUORVANE_SANITIZE=ON and clang), SECONDS to 1800. Needs Xvfb, xdotool and gdb (the music
# position is read from the running process's memory every 20 s). Sound goes
# to SDL's silent driver, which keeps real time. Everything the intro prints is kept in
# soak-YYYYmmdd-HHMMSS.log in the current folder.
set -uo pipefail

binary=${1:-build-asan/quorvane-intro}
seconds=${2:-1800}
title="quorvane introduction demo 2024"
restart_order=5
log="soak-$(date +%Y%m%d-%H%M%S).log"

for tool in Xvfb xdotool gdb; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is not installed" >&2; exit 2; }
done
[ -x "$binary" ] || { echo "soak: $binary: no such executable (build it first)" >&2; exit 2; }

# A free display number: the first without a lock file.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
intro_pid=""
cleanup() {
  [ -n "$intro_pid" ] && kill "$intro_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
export DISPLAY=":$display"
ready=no
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && { ready=yes; break; }; sleep 0.1; done
[ "$ready" = yes ] || { echo "soak: Xvfb did not start on :$display" >&2; exit 1; }

# AddressSanitizer keeps 256 MB of freed memory in quarantine by default, which alone makes the
# resident size climb for minutes; 16 MB still catches a use after free of the recent frames and
# lets the RSS figures show real growth.
# The tests' suppressions: only what Mesa, SDL and libdbus keep for the life of the process.
supp="$(cd "$(dirname "$0")/.." && pwd)/tests/lsan.supp"
SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16 LSAN_OPTIONS="suppressions=$supp" \
  UBSAN_OPTIONS=print_stacktrace=1 "$binary" >"$log" 2>&1 &
intro_pid=$!

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "$title" 2>/dev/null | head -1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "soak: the intro's window did not appear (see $log)" >&2; exit 1; }

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$intro_pid/status" 2>/dev/null; }
# The audible order position, read from the player's published word (order in its low byte)
# while gdb holds the process stopped. Only memory is read: calling music_position() through
# gdb would run code on whatever thread it interrupted, in the middle of its frame.
position() {
  gdb -p "$intro_pid" -batch -nx \
    -ex "print (int)(('(anonymous namespace)::playback'.audible._M_i) & 0xff)" 2>/dev/null |
    awk '/^\$1 =/ {print $3}'
}
# The pointer stays over the window: without a window manager the focus follows it.
point() { xdotool mousemove --window "$window" "$1" "$2"; }

sleep 3
rss_start=$(rss_kb)
start=$(date +%s)
positions=()
last_sample=0
words=(quorvane email bookware kestrow hello)
round=0
enlarged=0
while [ $(( $(date +%s) - start )) -lt "$seconds" ] && kill -0 "$intro_pid" 2>/dev/null; do
  round=$((round + 1))
  point 400 320
  # Moving the mouse a lot brings up the hint.
  for step in $(seq 0 40); do point $((200 + step * 10)) $((200 + (step % 8) * 20)); sleep 0.02; done
  # Type a word after Enter, then another key to clear it.
  xdotool key --delay 60 Return
  xdotool type --delay 80 "${words[round % ${#words[@]}]}"
  sleep 0.5
  xdotool key --delay 60 Return
  # Debug panel on and off; enlarge and back.
  xdotool key --delay 200 F1 F1 space
  sleep 0.5
  # The enlarged window (1536 wide on this display) shows that keys reach the intro.
  if xdotool getwindowgeometry "$window" 2>/dev/null | grep -q "Geometry: 1536x"; then enlarged=$((enlarged + 1)); fi
  point 400 320
  xdotool key --delay 200 space
  sleep 0.3
  # Drag the window a little and back with the left button held.
  point 400 320
  xdotool mousedown 1
  for step in $(seq 1 10); do xdotool mousemove_relative -- 5 3; sleep 0.02; done
  for step in $(seq 1 10); do xdotool mousemove_relative -- -5 -3; sleep 0.02; done
  xdotool mouseup 1
  now=$(date +%s)
  if [ $((now - last_sample)) -ge 20 ]; then
    p=$(position)
    [ -n "$p" ] && positions+=("$p")
    last_sample=$now
  fi
  sleep 0.5
done

rss_end=$(rss_kb)
elapsed=$(( $(date +%s) - start ))
point 400 320
xdotool key Escape
code=""
for _ in $(seq 100); do
  if ! kill -0 "$intro_pid" 2>/dev/null; then
    wait "$intro_pid"
    code=$?
    break
  fi
  sleep 0.1
done
if [ -z "$code" ]; then code="none: still running 10 s after Escape"; fi
intro_pid=""

looped=no
prev=""
for p in "${positions[@]}"; do
  if [ -n "$prev" ] && [ "$p" -lt "$prev" ] && [ "$p" -ge "$restart_order" ]; then looped=yes; fi
  prev=$p
done
errors=$(grep -cE "ERROR: AddressSanitizer|runtime error:" "$log")
leaks=$(grep -E "^SUMMARY: AddressSanitizer: .* leaked" "$log")
# Mesa's software driver leaves small allocations at exit that LeakSanitizer cannot name
# ("<unknown module>"); a leak with a frame of our own is listed with its file.
own_leaks=$(grep -cE "^    #[0-9]+ .* /[^ ]*/(show|effects|module|runtime|assets)/[^ /]+\.(cpp|h):[0-9]+" "$log")

echo "soak: ${elapsed} s, $round rounds of keys, words, mouse moves and drags; log in $log"
echo "keys reached the intro: Space enlarged the window in $enlarged of $round rounds"
echo "exit code: $code"
echo "sanitizer reports: $errors errors (AddressSanitizer, UndefinedBehaviorSanitizer); leaks at exit: ${leaks:-none} ($own_leaks stack frames in our sources)"
echo "RSS at start: $((rss_start / 1024)) MB ($rss_start kB); at end: $((rss_end / 1024)) MB ($rss_end kB)"
echo "music looped: $looped (order positions every 20 s: ${positions[*]})"
