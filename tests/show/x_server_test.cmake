# The intro against an X server that fails it, each run on an X server of its own:
# - a server that accepts the window but refuses the OpenGL context (no GLX driver it can load,
#   as over ssh -X to a modern server): the intro shows its error instead of being ended by
#   Xlib without a word (the error box then waits for a click; the run is cut after 8 s);
# - a server that goes away under the running show: the process ends without an abort
#   (Xlib calls exit(), which must not find the music's thread running).
# - a server that goes away during the start-up (below).
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

# A server that goes away during the start-up, while the window is made and the start-up's
# threads decode the pictures and load the music: Xlib's exit() must not run the static
# destructors under those threads (in the sanitizer build a heap-use-after-free shows it).
# Each run has an X server of its own, ended by its process id. A crash inside the OpenGL
# driver's GLX code under the same race also ends a bare SDL window; it is not counted here.
set(crashes 0)
foreach(delay 0.1 0.2 0.3 0.4 0.5 0.6 0.15 0.25 0.35 0.45)
  execute_process(COMMAND sh -c
                          "Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>'${OUT}.display' >/dev/null 2>&1 & x=$!; \
for i in $(seq 50); do [ -s '${OUT}.display' ] && break; sleep 0.1; done; \
DISPLAY=:$(cat '${OUT}.display') SDL_AUDIODRIVER=dummy '${INTRO}' 2>'${log}' & p=$!; \
sleep ${delay}; kill -KILL $x; wait $p; echo $? > '${OUT}.status'; rm -f '${OUT}.display'"
                  RESULT_VARIABLE ignored)
  file(READ "${log}" errors)
  file(READ "${OUT}.status" status)
  string(STRIP "${status}" status)
  if(errors MATCHES "heap-use-after-free|use-after-|double-free|ThreadSanitizer|terminate called" OR status STREQUAL "134")
    message(FATAL_ERROR "the X server went away ${delay} s into the start-up: status ${status}, stderr:\n${errors}")
  endif()
  if(status STREQUAL "139" OR errors MATCHES "SEGV")
    math(EXPR crashes "${crashes} + 1")
  endif()
endforeach()
message(STATUS "the X server ended during the start-up: ${crashes} of 10 runs crashed in the driver")
