# Runs xmrender on a good module and on bad inputs and misuse; fails with a message on any
# surprise. MODULE is the intro's own module, so this needs no corpus.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")

execute_process(COMMAND "${TOOL}" "${MODULE}" "${OUT}/good.wav" --seconds 2 --timeline --solo 1,3
                RESULT_VARIABLE status OUTPUT_VARIABLE timeline ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "good render failed (${status}): ${errors}")
endif()
file(SIZE "${OUT}/good.wav" size)
# 2 s = 2005 chunks of 44 frames, 4 bytes per frame, plus the 44-byte header.
if(NOT size EQUAL 352924)
  message(FATAL_ERROR "unexpected WAV size ${size}")
endif()
string(REGEX MATCHALL "\n" lines "${timeline}")
list(LENGTH lines count)
if(NOT count EQUAL 2005)
  message(FATAL_ERROR "timeline has ${count} lines, expected 2005")
endif()

# expect_refused(STATUS PATTERN OUTPUT ARGS...): xmrender ARGS must end with STATUS, its first
# line on stderr must match PATTERN, OUTPUT must be as before and no OUTPUT.part be left.
function(expect_refused expected pattern output)
  set(before "")
  if(EXISTS "${output}" AND NOT IS_DIRECTORY "${output}")
    file(SHA256 "${output}" before)
  endif()
  execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors)
  if(NOT status EQUAL expected)
    message(FATAL_ERROR "xmrender ${ARGN}: status ${status}, expected ${expected}: ${errors}")
  endif()
  string(REGEX MATCH "^[^\n]*\n" first "${errors}")
  if(NOT first MATCHES "^xmrender: ${pattern}\n$")
    message(FATAL_ERROR "xmrender ${ARGN}: unexpected message '${errors}'")
  endif()
  if(before AND EXISTS "${output}")
    file(SHA256 "${output}" after)
    if(NOT after STREQUAL before)
      message(FATAL_ERROR "xmrender ${ARGN}: ${output} was changed")
    endif()
  elseif(NOT IS_DIRECTORY "${output}" AND EXISTS "${output}" AND NOT before)
    message(FATAL_ERROR "xmrender ${ARGN}: ${output} was written")
  endif()
  if(EXISTS "${output}.part")
    message(FATAL_ERROR "xmrender ${ARGN}: a partial WAV was left behind")
  endif()
endfunction()

file(WRITE "${OUT}/bad.xm" "Extended Module: but nothing else")
file(COPY "${MODULE}" DESTINATION "${OUT}")
get_filename_component(module_name "${MODULE}" NAME)
set(copy "${OUT}/${module_name}")
set(wav "${OUT}/bad.wav")
# Inputs that are not modules: one line naming the file, status 1.
expect_refused(1 "${OUT}/bad.xm: [^\n]+" "${wav}" "${OUT}/bad.xm" "${wav}")
expect_refused(1 "${OUT}/missing.xm: [^\n]+" "${wav}" "${OUT}/missing.xm" "${wav}")
expect_refused(1 "${OUT}: is a directory" "${wav}" "${OUT}" "${wav}")
expect_refused(1 "/dev/zero: not a regular file" "${wav}" /dev/zero "${wav}")
# Outputs that must not be replaced.
expect_refused(1 "/dev/null: not a regular file; refusing to replace it" /dev/null "${copy}" /dev/null)
expect_refused(1 "${OUT}: is a directory" "${OUT}" "${copy}" "${OUT}")
expect_refused(1 "${copy}: is the input module; refusing to overwrite it" "${copy}" "${copy}" "${copy}")
expect_refused(1 "[^\n]*/${module_name}: is the input module; refusing to overwrite it" "${copy}" "${copy}"
               "${OUT}/./${module_name}")
# Values: strict numbers, named with their option; lengths a WAV header cannot hold.
foreach(case "--seconds;3abc" "--seconds;0x3" "--seconds;-1" "--seconds;1e3" "--seconds;inf"
             "--seconds;24400" "--solo;1,2," "--solo;,1" "--solo;1,,2" "--solo;+1" "--solo;33" "--solo;0"
             "--runs;2x")
  list(GET case 0 option)
  list(GET case 1 value)
  expect_refused(2 "${option} '[^']*': [^\n]+" "${wav}" "${copy}" "${wav}" ${option} ${value})
endforeach()
expect_refused(2 "--solo '20': ${copy} has 12 channels" "${wav}" "${copy}" "${wav}" --solo 20)
expect_refused(2 "--seconds needs a value" "${wav}" "${copy}" "${wav}" --seconds)

# A render stopped by SIGINT, SIGTERM or SIGHUP removes its temporary file. The timeline goes
# into a pipe nobody reads, so the render is still running (blocked) when the signal comes.
foreach(signal INT TERM HUP)
  execute_process(COMMAND sh -c "timeout -s ${signal} 1 '${TOOL}' '${copy}' '${OUT}/stopped.wav' --seconds 20000 --timeline | sleep 2"
                  RESULT_VARIABLE status)
  if(EXISTS "${OUT}/stopped.wav.part" OR EXISTS "${OUT}/stopped.wav")
    message(FATAL_ERROR "SIG${signal}: a partial WAV was left behind")
  endif()
endforeach()

# The reader of the timeline goes away (SIGPIPE): no partial WAV either.
execute_process(COMMAND sh -c "'${TOOL}' '${copy}' '${OUT}/piped.wav' --seconds 20000 --timeline | head -1"
                RESULT_VARIABLE status OUTPUT_VARIABLE first TIMEOUT 60)
if(NOT first MATCHES "^0 0 0\n$" OR EXISTS "${OUT}/piped.wav.part" OR EXISTS "${OUT}/piped.wav")
  message(FATAL_ERROR "--timeline | head -1: printed '${first}', or left a WAV behind")
endif()

# Standard output that cannot be written (a full disk): one line and a failure, never exit 0;
# the WAV of a render whose timeline was lost is not kept.
foreach(case "render;${copy};${OUT}/full.wav;--seconds;1;--timeline" "bench;--bench;--seconds;1;${copy}")
  list(POP_FRONT case name)
  list(JOIN case "' '" quoted)
  execute_process(COMMAND sh -c "'${TOOL}' '${quoted}' > /dev/full" RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(status EQUAL 0 OR NOT errors MATCHES "xmrender: standard output: cannot write: No space left on device\n")
    message(FATAL_ERROR "${name} > /dev/full: status ${status}, stderr '${errors}'")
  endif()
endforeach()
if(EXISTS "${OUT}/full.wav" OR EXISTS "${OUT}/full.wav.part")
  message(FATAL_ERROR "a render whose timeline could not be written kept its WAV")
endif()

# xmplay's status line is its output: it stops with a message when that cannot be written,
# instead of playing on silently.
execute_process(COMMAND sh -c "SDL_AUDIODRIVER=dummy timeout 20 '${PLAYER}' '${copy}' > /dev/full"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 1 OR NOT errors MATCHES "xmplay: standard output: cannot write: No space left on device\n")
  message(FATAL_ERROR "xmplay > /dev/full: status ${status}, stderr '${errors}'")
endif()
