# The intro against an X server that fails it, each run on an X server of its own:
# - a server that accepts the window but refuses the OpenGL context (no GLX driver it can load,
#   as over ssh -X to a modern server): the intro shows its error instead of being ended by
#   Xlib without a word (the error box then waits for a click; the run is cut after 8 s);
# - a server that goes away under the running show: the process ends without an abort
#   (Xlib calls exit(), which must not find the music's thread running).
set(log "${OUT}.stderr")
execute_process(COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" sh -c
                        "LIBGL_DRIVERS_PATH=/nonexistent SDL_AUDIODRIVER=dummy timeout 8 '${INTRO}' 2>'${log}'"
                RESULT_VARIABLE status)
file(READ "${log}" errors)
if(NOT errors MATCHES "Error: Can't open windowed screen!" OR errors MATCHES "X Error of failed request")
  message(FATAL_ERROR "refused OpenGL context: status ${status}, stderr:\n${errors}")
endif()

execute_process(COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" sh -c
                        "SDL_AUDIODRIVER=dummy '${INTRO}' 2>'${log}' & p=$!; sleep 5; \
pkill -f \"Xvfb \${DISPLAY}( |$)\"; wait $p; echo $? > '${OUT}.status'"
                RESULT_VARIABLE ignored)
file(READ "${log}" errors)
file(READ "${OUT}.status" status)
string(STRIP "${status}" status)
if(status STREQUAL "134" OR errors MATCHES "terminate called")
  message(FATAL_ERROR "the X server went away: status ${status}, stderr:\n${errors}")
endif()
