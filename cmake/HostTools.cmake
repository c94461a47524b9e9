# Host tools for a cross build: programs that the build runs on the build machine, compiled with
# the build machine's own C++ compiler (a cross-built one would need Wine at every step).
#   bin2cpp  — the asset embedder (cmake/Embed.cmake)
#   icongen  — writes the Windows icon file from the icon PNGs (app/windows); needs the build
#              machine's libpng
# Each is a target of the same name whose QUORVANE_HOST_PROGRAM property is its path.
find_program(QUORVANE_HOST_CXX NAMES c++ g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(_host_dir "${PROJECT_BINARY_DIR}/host")
file(MAKE_DIRECTORY "${_host_dir}")
add_custom_command(
  OUTPUT "${_host_dir}/bin2cpp"
  COMMAND "${QUORVANE_HOST_CXX}" -std=c++17 -O2 "${PROJECT_SOURCE_DIR}/tools/embed/bin2cpp.cpp" -o "${_host_dir}/bin2cpp"
  DEPENDS "${PROJECT_SOURCE_DIR}/tools/embed/bin2cpp.cpp"
  COMMENT "Building the host's bin2cpp"
  VERBATIM)
add_custom_target(bin2cpp DEPENDS "${_host_dir}/bin2cpp")
set_target_properties(bin2cpp PROPERTIES QUORVANE_HOST_PROGRAM "${_host_dir}/bin2cpp")
add_custom_command(
  OUTPUT "${_host_dir}/icongen"
  COMMAND "${QUORVANE_HOST_CXX}" -std=c++17 -O2 "${PROJECT_SOURCE_DIR}/tools/icongen/icongen.cpp" -o "${_host_dir}/icongen" -lpng
  DEPENDS "${PROJECT_SOURCE_DIR}/tools/icongen/icongen.cpp"
  COMMENT "Building the host's icongen"
  VERBATIM)
add_custom_target(icongen DEPENDS "${_host_dir}/icongen")
set_target_properties(icongen PROPERTIES QUORVANE_HOST_PROGRAM "${_host_dir}/icongen")
