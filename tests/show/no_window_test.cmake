# The intro where no window can be opened: it shows its error and exits with 1, never 0 (a
# failure must not look like a show that ran) and never by a signal. Each case is an
# environment that leaves SDL no usable screen: a name, then its variables, split by "|".
# DISPLAY goes in every case: on a display the error box would wait for a click.
set(cases
  "no display|--unset=DISPLAY|--unset=WAYLAND_DISPLAY"
  "unknown video driver|--unset=DISPLAY|SDL_VIDEODRIVER=bogus"
  "offscreen video driver|--unset=DISPLAY|SDL_VIDEODRIVER=offscreen")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(SUBLIST parts 1 -1 env)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} SDL_AUDIODRIVER=dummy "${INTRO}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors TIMEOUT 30)
  if(NOT errors MATCHES "Error: Can't open windowed screen!")
    message(FATAL_ERROR "${name}: no error message; stderr: ${errors}")
  endif()
  if(NOT status STREQUAL "1")
    message(FATAL_ERROR "${name}: exit status '${status}', expected 1")
  endif()
endforeach()
