# Debian's own package checker on the two packages, as CPack makes them from this build tree:
# any error or warning fails (a missing changelog or manual page, a wrong section, a binary
# without the build's hardening). Informational tags are printed and pass, except those about
# hardening that this build applies (HARDENED: -z relro -z now; FORTIFIED: _FORTIFY_SOURCE,
# which needs an optimised build).
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message("SKIPPED: lintian is not installed (Debian package lintian): the packages are not checked")
  return()
endif()

file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND cpack -G DEB -B "${OUT}" --config "${BUILD}/CPackConfig.cmake"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed (${status}):\n${out}\n${errors}")
endif()
set(debs "${OUT}/quorvane-intro_${VERSION}_amd64.deb" "${OUT}/quorvane-intro-tools_${VERSION}_amd64.deb")

# Informational tags (I:) shown as well; only errors and warnings make lintian's exit status.
execute_process(COMMAND "${LINTIAN}" --display-info --fail-on error,warning ${debs}
                RESULT_VARIABLE status OUTPUT_VARIABLE tags ERROR_VARIABLE errors)
message("${tags}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian reports errors or warnings (exit ${status}):\n${tags}${errors}")
endif()
set(refused "")
if(HARDENED)
  string(REGEX MATCHALL "[^\n]*hardening-no-(relro|bindnow)[^\n]*" refused "${tags}")
endif()
if(FORTIFIED)
  string(REGEX MATCHALL "[^\n]*hardening-no-fortify-functions[^\n]*" unfortified "${tags}")
  list(APPEND refused ${unfortified})
endif()
if(refused)
  list(JOIN refused "\n" refused)
  message(FATAL_ERROR "binaries without the build's hardening:\n${refused}")
endif()
