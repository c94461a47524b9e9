#!/usr/bin/env bash
# packaging/windows/wine-run.sh PROGRAM.exe [ARGS...] — runs a Windows program under 64-bit Wine
# and exits with its exit code. It is CMake's cross-compiling emulator (cmake/mingw-w64.cmake),
# so the test programs and gtest_discover_tests run through it.
# packaging/windows/wine-run.sh --init — only makes the Wine prefix, if there is none. Worth
# calling before a build: gtest_discover_tests runs each test program through this script right
# after linking it, with a 5 s time limit by default, and making the prefix takes longer.
#
# Environment:
#   QUORVANE_WINEPREFIX  the Wine prefix (default: build-win/wine beside this repository; made on
#                        first use, which takes 10-20 s and 700 MB)
#   QUORVANE_WINE_NULL_AUDIO=1
#                        HOME points at a scratch folder whose .asoundrc makes ALSA's default
#                        device a `null` sink: Wine then offers a real, silent audio endpoint,
#                        so that WASAPI, DirectSound and winmm open (with no sound card and no
#                        such file all three fail to open a device)
# Wine's own chatter is off (WINEDEBUG=-all) and the Mono and Gecko installers are never offered.
# With no DISPLAY, Wine runs without a window system: programs that open windows need a display
# (run the caller under xvfb-run); programs that do not, run as they are.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine-run: $wine not found (apt-get install wine64)" >&2; exit 127; }
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...] | --init" >&2; exit 2; }

WINEPREFIX=${QUORVANE_WINEPREFIX:-$(dirname "$(dirname "$here")")/build-win/wine}
case $WINEPREFIX in /*) ;; *) WINEPREFIX=$PWD/$WINEPREFIX ;; esac  # Wine wants it absolute
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win64

if [ "${QUORVANE_WINE_NULL_AUDIO:-0}" = 1 ]; then
  home=$WINEPREFIX.home
  mkdir -p "$home"
  printf 'pcm.!default { type null }\n' >"$home/.asoundrc"
  export HOME=$home
fi

# First use: create the prefix under a lock (parallel ctest runs share it), and wait for the
# wineserver to finish writing the registry before anyone runs in it.
if [ ! -f "$WINEPREFIX/.quorvane-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.quorvane-ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 </dev/null
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.quorvane-ready"
  fi
  exec 9>&-
fi
[ "$1" = --init ] && exit 0

# Wine's first program in a session starts the wineserver and its helper programs (services,
# explorer, plugplay, ...), which keep that program's standard output and error open until the
# session ends, about 3 s after the last program: a caller reading the output through a pipe
# (ctest) would wait that long for every test. A trivial program with no output of its own starts
# the session first, when there is none, so that the helpers hold /dev/null instead.
# A Wine session belongs to the X display it started on, or to none: a program for another
# display ends the session first. (The build's test discovery runs without a display and the
# tests under Xvfb right after it: carried over, the display-less session gave the show no
# window at all, or one centred on a 1024 x 768 desktop.)
session=$WINEPREFIX.display
if [ -f "$session" ] && [ "$(cat "$session")" != "${DISPLAY:-none}" ]; then
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
  /usr/lib/wine/wineserver -w >/dev/null 2>&1
fi
echo "${DISPLAY:-none}" >"$session"
# The server is kept for 15 s after its last program ends, so that a run of many short programs
# (ctest's, two at a time) does not start one while the session is shutting down: one test
# program of 354 failed to start, with no output, under load without it.
/usr/lib/wine/wineserver -p15 </dev/null >/dev/null 2>&1 || true
"$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
# exec: the caller's process is the program's, so that a signal to it reaches the program.
exec "$wine" "$@"
