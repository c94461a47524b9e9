# Each program's manual page against its --help: every form of the command and every option
# with its value that --help prints is in the page, and the page names no option that --help
# does not. PROGRAMS holds name=executable pairs; the pages are MAN_DIR/name.1.
find_program(MAN man)
if(NOT MAN)
  message("SKIPPED: man is not installed (Debian package man-db): the manual pages are not rendered")
  return()
endif()

function(option_words text out)
  string(REGEX MATCHALL "--[a-z][a-z-]*" words "${text}")
  list(REMOVE_DUPLICATES words)
  list(SORT words)
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

foreach(pair ${PROGRAMS})
  string(REGEX REPLACE "=.*" "" name "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" program "${pair}")
  execute_process(COMMAND "${program}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT help MATCHES "^usage: ${name} ")
    message(FATAL_ERROR "${name} --help: status ${status}, printed '${help}' '${errors}'")
  endif()
  # Rendered as a reader sees it, plain ASCII and wide enough that no line of the synopsis wraps;
  # runs of spaces (justified lines) count as one.
  execute_process(COMMAND env LC_ALL=C MANWIDTH=250 "${MAN}" --warnings -l "${MAN_DIR}/${name}.1"
                  RESULT_VARIABLE status OUTPUT_VARIABLE page ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "man -l ${name}.1: status ${status}, warnings:\n${errors}")
  endif()
  string(REGEX REPLACE "[ \t]+" " " page "${page}")
  # The OPTIONS section alone, where each option is described with its value.
  string(REGEX MATCH "\nOPTIONS\n.*" options "${page}")
  string(REGEX REPLACE "(.)\n[A-Z][A-Z ]*\n.*" "\\1" options "${options}")

  string(REPLACE "\n" ";" lines "${help}")
  foreach(line ${lines})
    # A form of the command: "usage: NAME ..." or an indented "NAME ...", up to the first word
    # that is prose (quorvane-intro's "[--sync-report] run the intro" ends before "run").
    if(line MATCHES "^(usage:)? *${name}( |$)")
      string(REGEX REPLACE "^(usage: +| +)" "" line "${line}")
      string(REGEX MATCH "^${name}( [-[|A-Z0-9][^ ]*)*" form "${line}")
      string(FIND "${page}" "${form}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${name}.1 does not give the form '${form}' of ${name} --help")
      endif()
    elseif(line MATCHES "^ +(--[a-z][a-z-]*( [A-Z0-9][^ ]*)?)")
      # The option as the tag of its paragraph: on a line of its own, or (when it is short)
      # followed by its description on the same line.
      set(option "${CMAKE_MATCH_1}")
      string(FIND "${options}" "\n ${option}\n" at)
      string(FIND "${options}" "\n ${option} " beside)
      if(at EQUAL -1 AND beside EQUAL -1)
        message(FATAL_ERROR "${name}.1 does not describe '${option}' of ${name} --help under OPTIONS")
      endif()
    endif()
  endforeach()

  option_words("${help}" told)
  option_words("${page}" described)
  if(NOT told STREQUAL described)
    message(FATAL_ERROR "${name}: --help gives the options ${told}; ${name}.1 names ${described}")
  endif()
endforeach()
