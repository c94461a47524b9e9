# Builds the .deb files with CPack, unpacks them into a scratch root and checks what a user gets:
# the files in their places, dependencies on the shared libraries the programs link, a desktop
# entry that names an executable the package holds, and the programs running from the root.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/root")

execute_process(COMMAND cpack -G DEB -B "${OUT}" --config "${BUILD}/CPackConfig.cmake"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed (${status}):\n${out}\n${errors}")
endif()

foreach(package quorvane-intro quorvane-intro-tools)
  set(deb "${OUT}/${package}_${VERSION}_amd64.deb")
  if(NOT EXISTS "${deb}")
    file(GLOB made "${OUT}/*.deb")
    message(FATAL_ERROR "expected ${deb}; CPack made: ${made}")
  endif()
  execute_process(COMMAND dpkg-deb -f "${deb}" Package Version Depends
                  RESULT_VARIABLE status OUTPUT_VARIABLE fields)
  if(NOT status EQUAL 0 OR NOT fields MATCHES "Package: ${package}\nVersion: ${VERSION}\n")
    message(FATAL_ERROR "${deb}: unexpected control fields:\n${fields}")
  endif()
  # Both packages link the C++ runtime; the intro and xmplay link SDL 2 as well.
  if(NOT fields MATCHES "Depends:[^\n]*libstdc\\+\\+6" OR NOT fields MATCHES "Depends:[^\n]*libsdl2-2\\.0-0")
    message(FATAL_ERROR "${deb}: dependencies not computed from the libraries:\n${fields}")
  endif()
  # The tools only play and render sound: no windowing or OpenGL library.
  if(package STREQUAL "quorvane-intro-tools" AND fields MATCHES "Depends:[^\n]*(libopengl|libgl1|libx11|libglu)")
    message(FATAL_ERROR "${deb}: a sound tool depends on a display library:\n${fields}")
  endif()
  execute_process(COMMAND dpkg-deb -x "${deb}" "${OUT}/root" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -x ${deb} failed")
  endif()
endforeach()

set(root "${OUT}/root/usr")
foreach(file bin/quorvane-intro bin/xmrender bin/xmplay share/applications/quorvane-intro.desktop
             share/icons/hicolor/16x16/apps/quorvane-intro.png share/icons/hicolor/256x256/apps/quorvane-intro.png
             share/doc/quorvane-intro/copyright share/doc/quorvane-intro-tools/copyright
             share/doc/quorvane-intro/changelog.gz share/doc/quorvane-intro-tools/changelog.gz
             share/man/man1/quorvane-intro.1.gz share/man/man1/xmrender.1.gz share/man/man1/xmplay.1.gz)
  if(NOT EXISTS "${root}/${file}")
    message(FATAL_ERROR "the packages do not install /usr/${file}")
  endif()
endforeach()

file(STRINGS "${root}/share/applications/quorvane-intro.desktop" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=quorvane-intro")
  message(FATAL_ERROR "the desktop entry starts '${exec}', not the packaged quorvane-intro")
endif()

execute_process(COMMAND "${root}/bin/quorvane-intro" --version RESULT_VARIABLE status OUTPUT_VARIABLE version)
if(NOT status EQUAL 0 OR NOT version MATCHES "^quorvane introduction 2024 1\\.0\\.0\\.0\n$")
  message(FATAL_ERROR "packaged quorvane-intro --version: status ${status}, printed '${version}'")
endif()
execute_process(COMMAND "${root}/bin/xmrender" "${MODULE}" "${OUT}/one.wav" --seconds 1
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT EXISTS "${OUT}/one.wav")
  message(FATAL_ERROR "packaged xmrender failed (${status}): ${errors}")
endif()
