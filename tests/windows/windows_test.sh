#!/usr/bin/env bash
# tests/windows/windows_test.sh CASE BUILD OUT NATIVE — one test of the Windows programs in BUILD
# (build-win), run under Wine on the X display the caller gives (xvfb-run); OUT is a scratch
# folder of the test's own, NATIVE the native build's intro. Exit 0 passed, 77 skipped, other
# values failed, with a line saying what was wrong.
#   capture    a scripted user's capture (mouse, F1, key word, Space, Escape) is byte for byte
#              the native build's: every PNG, audio.wav and frames.txt; also into a folder
#              with a non-ASCII name
#   live       the live show: a borderless 800 x 640 window centred, the music on Wine's audio
#              (an ALSA null device behind it), the main phase, Space enlarges, Escape ends
#              after the card with 0; with no audio device at all it runs silent and says so
#   video      --video feeds ffmpeg.exe found on PATH (a stand-in) and joins the sound; Ctrl+C
#              while it feeds leaves nothing and exits 130
#   imports    the programs import only the system's own DLLs
#   resources  the icon group (five sizes, the largest PNG) and the version record
set -uo pipefail
case_name=$1 build=$2 out=$3 native=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../packaging/windows/wine-run.sh
intro=$build/quorvane-intro.exe
# Wine hands the program its arguments and file names in the locale's encoding.
export LC_ALL=C.UTF-8
rm -rf "$out" && mkdir -p "$out"

fail() { echo "FAILED: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
need_display() { [ -n "${DISPLAY:-}" ] || skip "no X display (run under xvfb-run)"; }

# window_of PID — the window of the show in process PID (Wine sets _NET_WM_PID; wine-run.sh
# execs the program, so PID is the caller's $!), once its place has stopped changing. Waits up
# to 60 s. (Other programs on the same display may have windows of the same name.)
window_of() {
  local w last="" now
  for _ in $(seq 120); do
    w=$(xdotool search --onlyvisible --pid "$1" --name 'quorvane' 2>/dev/null | head -n1)
    if [ -n "$w" ]; then
      now=$(xdotool getwindowgeometry "$w" 2>/dev/null | tr -d '\n')
      [ -n "$now" ] && [ "$now" = "$last" ] && { echo "$w"; return 0; }
      last=$now
    fi
    sleep 0.5
  done
  return 1
}
geometry() { xdotool getwindowgeometry --shell "$1" | tr '\n' ' '; }

# bright_pixels X Y W H — how many near-white pixels the screen has in the rectangle.
bright_pixels() {
  import -window root -crop "$3x$4+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[(),]' 'NR > 1 && $3 > 200 && $4 > 200 && $5 > 200 { n++ } END { print n + 0 }'
}

case $case_name in
  capture)
    need_display
    [ -x "$native" ] || skip "no native build at $native to hold the capture against (build it first)"
    printf '0.2 move 400 300\n0.5 key F1\n1.0 key Return\n1.1 type quorvane\n2.0 key Space\n2.6 key Space\n3.0 key Escape\n' >"$out/user.txt"
    "$native" --capture "$out/native" --seconds 8 --input "$out/user.txt" >/dev/null 2>"$out/native.err" ||
      fail "the native capture failed: $(cat "$out/native.err")"
    "$wine_run" "$intro" --capture "$out/windows" --seconds 8 --input "$out/user.txt" >/dev/null 2>"$out/windows.err" ||
      fail "the Windows capture failed: $(tail -n 3 "$out/windows.err")"
    diff -r "$out/native" "$out/windows" >"$out/diff.txt" || fail "the captures differ: $(head -n 5 "$out/diff.txt")"
    pictures=$(ls "$out/windows" | grep -c '\.png$')
    grep -q '(the show ended)' "$out/windows.err" || fail "the scripted Escape did not end the show"
    # A folder whose name is not ASCII, made by the capture itself.
    folder="$out/Jürgen/日本"
    mkdir -p "$out/Jürgen"
    "$native" --capture "$out/native-short" --seconds 1 >/dev/null 2>&1 || fail "the native short capture failed"
    "$wine_run" "$intro" --capture "$folder" --seconds 1 >/dev/null 2>"$out/unicode.err" ||
      fail "a capture into $folder failed: $(tail -n 3 "$out/unicode.err")"
    diff -r "$out/native-short" "$folder" >/dev/null || fail "the capture into $folder differs or went elsewhere"
    echo "the captures are identical: $pictures pictures, audio.wav and frames.txt; also into $folder"
    ;;

  live)
    need_display
    read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
    QUORVANE_WINE_NULL_AUDIO=1 "$wine_run" "$intro" >"$out/live.out" 2>"$out/live.err" &
    pid=$!
    window=$(window_of $pid) || { kill $pid; fail "no window appeared"; }
    eval "$(geometry "$window")"
    [ "$WIDTH" = 800 ] && [ "$HEIGHT" = 640 ] || { kill $pid; fail "the window is ${WIDTH}x$HEIGHT, not 800x640"; }
    [ "$X" = $(((screen_w - 800) / 2)) ] && [ "$Y" = $(((screen_h - 640) / 2)) ] ||
      { kill $pid; fail "the window is at ($X, $Y), not centred on ${screen_w}x$screen_h"; }
    opening=$(bright_pixels "$X" $((Y + 300)) 800 180)
    # The main phase starts with order 5, 38.4 s in: its pages are bright text in this band.
    sleep 44
    main=$(bright_pixels "$X" $((Y + 300)) 800 180)
    [ "$main" -gt 500 ] && [ "$main" -gt $((opening * 4 + 100)) ] ||
      { kill $pid; fail "no page text in the main phase ($main bright pixels, $opening in the opening)"; }
    xdotool mousemove $((X + 400)) $((Y + 320))
    xdotool key space
    sleep 2
    eval "$(geometry "$window")"
    [ "$WIDTH" -gt 800 ] && [ "$HEIGHT" -gt 640 ] || { kill $pid; fail "Space did not enlarge the window (${WIDTH}x$HEIGHT)"; }
    xdotool key Escape
    ( sleep 30; kill $pid ) 2>/dev/null & guard=$!
    wait $pid; status=$?
    kill $guard 2>/dev/null
    [ $status = 0 ] || fail "the show did not end with 0 after Escape: $status; $(tail -n 3 "$out/live.err")"
    if grep -q 'running silent' "$out/live.err"; then fail "it ran silent with an audio device: $(cat "$out/live.err")"; fi
    # No audio device at all: the show runs, silent, and says why.
    HOME=$out/no-audio QUORVANE_WINE_NULL_AUDIO=0 "$wine_run" "$intro" >/dev/null 2>"$out/silent.err" &
    pid=$!
    window=$(window_of $pid) || { kill $pid; fail "no window appeared without an audio device"; }
    sleep 2
    xdotool key Escape
    ( sleep 30; kill $pid ) 2>/dev/null & guard=$!
    wait $pid; status=$?
    kill $guard 2>/dev/null
    [ $status = 0 ] || fail "without an audio device the show ended with $status"
    grep -q 'quorvane-intro: no sound output (.*); running silent' "$out/silent.err" ||
      fail "without an audio device it did not say so: $(grep -v ALSA "$out/silent.err" | tail -n 3)"
    echo "window 800x640 at ($X, $Y) before Space; main phase seen ($main bright pixels); ended 0; silent run said: $(grep -o 'no sound output.*' "$out/silent.err")"
    ;;

  video)
    need_display
    stand_in=$build/tests/windows/stand-in
    [ -x "$stand_in/ffmpeg.exe" ] || fail "the stand-in ffmpeg.exe is not built"
    # Wine adds WINEPATH to the program's PATH; Z: is the build machine's root.
    export WINEPATH="Z:${stand_in//\//\\}"
    export QUORVANE_FFMPEG_RECORD=$out/record.txt
    "$wine_run" "$intro" --video "$out/out.mp4" --seconds 1 >/dev/null 2>"$out/video.err" ||
      fail "--video failed: $(tail -n 3 "$out/video.err")"
    [ -f "$out/out.mp4" ] || fail "--video wrote no out.mp4"
    [ "$(wc -l <"$out/record.txt")" = 2 ] || fail "ffmpeg.exe was not run twice: $(cat "$out/record.txt")"
    head -n1 "$out/record.txt" | grep -q "^read $((60 * 800 * 640 * 3)) .*-f rawvideo" ||
      fail "the encoding pass did not get 60 frames of 800x640 RGB: $(head -n1 "$out/record.txt")"
    sed -n 2p "$out/record.txt" | grep -q '^read 0 .*audio.wav' || fail "the join pass did not get the sound: $(sed -n 2p "$out/record.txt")"
    ls -a "$out" | grep -q '^\.quorvane-capture-' && fail "the working folder was left behind"
    # Ctrl+C while the frames are fed to a slow encoder.
    rm -f "$out/record.txt"
    QUORVANE_FFMPEG_SLOW=1 timeout 120 "$wine_run" "$build/tests/windows/ctrl_c_run.exe" 8000 "$intro" \
      --video "$out/stopped.mp4" --seconds 20 >/dev/null 2>"$out/stopped.err"
    status=$?
    [ $status = 130 ] || fail "Ctrl+C did not end --video with 130 but $status: $(tail -n 3 "$out/stopped.err")"
    [ -e "$out/stopped.mp4" ] && fail "an interrupted --video left stopped.mp4"
    grep -q 'nothing written' "$out/stopped.err" || fail "the interrupted run did not say nothing was written: $(tail -n 2 "$out/stopped.err")"
    ls -a "$out" | grep -q '^\.quorvane-capture-' && fail "the interrupted run left its working folder"
    echo "--video ran the stand-in twice (frames, then the join) and wrote out.mp4; Ctrl+C: 130, nothing written"
    ;;

  imports)
    allowed='^(ADVAPI32|GDI32|GLU32|IMM32|KERNEL32|msvcrt|ole32|OLEAUT32|OPENGL32|SETUPAPI|SHELL32|USER32|VERSION|WINMM)\.dll$'
    for exe in quorvane-intro.exe xmrender.exe xmplay.exe; do
      [ -f "$build/$exe" ] || fail "$build/$exe is missing"
      dlls=$(x86_64-w64-mingw32-objdump -p "$build/$exe" | awk '/DLL Name:/ { print $3 }')
      others=$(echo "$dlls" | grep -Ev -i "$allowed")
      [ -z "$others" ] || fail "$exe imports DLLs that Windows does not have: $others"
      echo "$exe: $(echo $dlls)"
    done
    ;;

  resources)
    "$wine_run" "$build/tests/windows/resource_check.exe" "$intro" >"$out/resources.txt" 2>&1 ||
      fail "resource_check failed: $(cat "$out/resources.txt")"
    tr -d '\r' <"$out/resources.txt" >"$out/resources.clean"
    expected='icons=16,32,64,128,256png
ProductName=quorvane introduction 2024
FileDescription=quorvane introduction 2024
ProductVersion=1.0.0.0
FileVersion=1.0.0.0
fixed=1.0.0.0'
    [ "$(cat "$out/resources.clean")" = "$expected" ] || fail "the resources read: $(cat "$out/resources.clean")"
    cat "$out/resources.clean"
    ;;

  *) echo "usage: $0 capture|live|video|imports|resources BUILD OUT NATIVE" >&2; exit 2 ;;
esac
