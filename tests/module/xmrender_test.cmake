# Runs xmrender on a good module and on bad inputs; fails with a message on any surprise.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")

execute_process(COMMAND "${TOOL}" "${CORPUS}/vor-mph.xm" "${OUT}/good.wav" --seconds 2 --timeline --solo 1,3
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

file(WRITE "${OUT}/bad.xm" "Extended Module: but nothing else")
foreach(input "${OUT}/bad.xm" "${OUT}/missing.xm")
  execute_process(COMMAND "${TOOL}" "${input}" "${OUT}/bad.wav"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors)
  if(NOT status EQUAL 1)
    message(FATAL_ERROR "${input}: status ${status}, expected 1")
  endif()
  if(NOT errors MATCHES "^xmrender: [^\n]*${input}: [^\n]+\n$")
    message(FATAL_ERROR "${input}: unexpected message '${errors}'")
  endif()
  if(EXISTS "${OUT}/bad.wav" OR EXISTS "${OUT}/bad.wav.part")
    message(FATAL_ERROR "${input}: a partial WAV was left behind")
  endif()
endforeach()
