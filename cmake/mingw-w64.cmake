# cmake/mingw-w64.cmake — cross-builds for Windows x86-64 with Debian's mingw-w64 (posix threads).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DQUORVANE_WIN_PREFIX=$PWD/build-win/deps/prefix
#
# QUORVANE_WIN_PREFIX is where packaging/windows/build-deps.sh installs the static SDL2, zlib,
# libpng, libjpeg and GoogleTest; libraries, headers and CMake packages are looked up there and
# in the mingw sysroot only, never among the build machine's own. Programs (the host tools the
# build runs, ccache, Python) are still found on the build machine.
# Test programs and any other Windows program the build runs go through Wine
# (packaging/windows/wine-run.sh), so gtest_discover_tests and add_test work unchanged.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)

# The -posix compilers: their libstdc++ has std::thread, std::mutex and friends (the -win32 ones
# lack them).
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
find_program(CMAKE_AR ${_mingw}-gcc-ar-posix)
find_program(CMAKE_RANLIB ${_mingw}-gcc-ranlib-posix)

set(QUORVANE_WIN_PREFIX "" CACHE PATH "Prefix of the cross-built static libraries (build-deps.sh)")
# Try-compile projects get their own cache: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
if(QUORVANE_WIN_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${QUORVANE_WIN_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${QUORVANE_WIN_PREFIX}")
  # pkg-config would report the build machine's own .pc files: point it at the prefix only.
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORVANE_WIN_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static import libraries first, so that nothing picks up a DLL's import library by accident.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .lib .dll.a)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/wine-run.sh)
