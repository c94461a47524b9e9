# The live show end to end on an X server of its own, as a user runs it: the window opens, the
# music plays (on SDL's silent driver, which keeps real time), Escape brings the closing card
# and the show ends 3 s later with status 0; with --sync-report it then says how late the
# screen was against the sound, measured over the frames it showed.
set(log "${OUT}.out")
execute_process(COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" sh -c
                        "SDL_AUDIODRIVER=dummy '${INTRO}' --sync-report >'${log}' 2>&1 & p=$!; \
timeout 60 xdotool search --sync --onlyvisible --name quorvane >/dev/null; sleep 6; \
xdotool key Escape; sleep 1; xdotool key Escape; \
( sleep 20; kill $p ) >/dev/null 2>&1 & k=$!; wait $p; echo $? > '${OUT}.status'; kill $k 2>/dev/null"
                RESULT_VARIABLE ignored)
file(READ "${log}" output)
file(READ "${OUT}.status" status)
string(STRIP "${status}" status)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "the live show did not end with 0 after Escape: status ${status}, output:\n${output}")
endif()
if(NOT output MATCHES "sync: the screen -?[0-9]+\\.[0-9] ms (after|before) the ear \\(median of [0-9]+ frames")
  message(FATAL_ERROR "no sync report after the live show:\n${output}")
endif()

# The sync report is the run's output: when it cannot be written (a full disk) the run says so
# and ends with 1, not 0. (Escape is pressed once the window shows: a sanitizer build on a busy
# machine takes seconds to get there, and a key before it is lost.)
execute_process(COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" sh -c
                        "SDL_AUDIODRIVER=dummy '${INTRO}' --sync-report >/dev/full 2>'${log}' & p=$!; \
timeout 60 xdotool search --sync --onlyvisible --name quorvane >/dev/null; sleep 1; \
xdotool key Escape; sleep 1; xdotool key Escape; \
( sleep 20; kill $p ) >/dev/null 2>&1 & k=$!; wait $p; echo $? > '${OUT}.status'; kill $k 2>/dev/null"
                RESULT_VARIABLE ignored)
file(READ "${log}" errors)
file(READ "${OUT}.status" status)
string(STRIP "${status}" status)
if(NOT status STREQUAL "1" OR NOT errors MATCHES "quorvane-intro: standard output: cannot write: No space left on device\n$")
  message(FATAL_ERROR "--sync-report >/dev/full: status ${status}, stderr:\n${errors}")
endif()
