#!/usr/bin/env bash
# packaging/windows/build-deps.sh OUTDIR — the libraries of the Windows build, cross-built as
# static libraries into OUTDIR/prefix (build.sh uses build-win/deps).
#
# Installs what is missing (Debian's mingw-w64 cross compilers with posix threads, Wine, CMake,
# Ninja, GoogleTest's sources), fetches Debian's own source packages of zlib, libpng1.6,
# libjpeg-turbo and libsdl2 through tools/debian-sources.sh (a private deb-src list derived from
# the machine's apt sources, under OUTDIR/apt), and builds each one once with
# cmake/mingw-w64.cmake; a library already in the prefix is left as it is. GoogleTest comes
# from /usr/src/googletest. Prints one line per library; a failing build prints the end of its
# log (all logs are in OUTDIR/logs).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$out/prefix
toolchain=$root/cmake/mingw-w64.cmake
jobs=$(nproc)

packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 dpkg-dev cmake ninja-build googletest zip)
. "$root/tools/install-missing.sh"
install_missing "${packages[@]}" >/dev/null

. "$root/tools/debian-sources.sh"
mkdir -p "$prefix/lib" "$prefix/include" "$out/logs"

# step NAME MARKER FUNCTION — runs FUNCTION (output to OUTDIR/logs/NAME.log) unless MARKER, a
# file in the prefix, is already there; prints what it did and how long it took.
step() {
  local name=$1 marker=$2 fn=$3 start=$SECONDS
  if [ -e "$prefix/$marker" ]; then
    echo "$name: already in $prefix"
    return 0
  fi
  if ! "$fn" >"$out/logs/$name.log" 2>&1; then
    tail -n 30 "$out/logs/$name.log" >&2
    echo "$name: build failed (log: $out/logs/$name.log)" >&2
    exit 1
  fi
  echo "$name: built in $((SECONDS - start)) s"
}

source_of() {  # source_of PACKAGE — fetches it once, prints its folder
  debian_source_fetch "$out/apt" "$1" "$out/src" && debian_source_dir "$out/src" "$1"
}

configure() {  # configure SOURCE BUILD [options...]
  local src=$1 dir=$2; shift 2
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORVANE_WIN_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

build_zlib() {
  # The static target only: the DLL's target names win32/zlib1.rc, which Debian's tarball drops.
  # Built from a copy, as zlib's CMake file renames the source tree's zconf.h.
  local src
  src=$(source_of zlib)
  rm -rf "$out/build/zlib-src" && mkdir -p "$out/build" && cp -r "$src" "$out/build/zlib-src"
  configure "$out/build/zlib-src" "$out/build/zlib"
  cmake --build "$out/build/zlib" -j "$jobs" --target zlibstatic
  cp "$out/build/zlib/libzlibstatic.a" "$prefix/lib/libz.a"
  cp "$out/build/zlib-src/zlib.h" "$out/build/zlib/zconf.h" "$prefix/include/"
}

build_libpng() {
  configure "$(source_of libpng1.6)" "$out/build/libpng" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" -DM_LIBRARY=
  cmake --build "$out/build/libpng" -j "$jobs"
  cmake --install "$out/build/libpng"
}

build_libjpeg() {
  # The library alone (its programs and tests are not needed): built and copied. No SIMD: that
  # would need nasm, and the intro decodes its pictures once at start-up.
  local src
  src=$(source_of libjpeg-turbo)
  configure "$src" "$out/build/libjpeg" -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
  cmake --build "$out/build/libjpeg" -j "$jobs" --target jpeg-static
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$out/build/libjpeg/jconfig.h" "$prefix/include/"
  cp "$out/build/libjpeg/libjpeg.a" "$prefix/lib/libjpeg.a"
}

# SDL's subsystems and drivers the intro does not use are left out (they are most of SDL's build
# time): joysticks, game controllers and their HIDAPI/XInput/DirectInput drivers, haptics,
# sensors, power, locale, filesystem paths, SDL_OpenURL (misc), the 2D renderer and its
# Direct3D back-ends, Vulkan and OpenGL ES. Kept: video (windows driver with OpenGL, plus the
# dummy and offscreen drivers), events, keyboard and mouse, message boxes, audio (WASAPI;
# DirectSound and winmm as fallbacks, SDL_DIRECTX brings DirectSound; disk and dummy), timers,
# threads, and loadso, which the windows video driver needs to load opengl32 and friends.
# QUORVANE_SDL_ALL_SUBSYSTEMS=1 builds SDL with its default subsystems instead.
sdl_trim=(-DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_XINPUT=OFF -DSDL_SENSOR=OFF
  -DSDL_POWER=OFF -DSDL_LOCALE=OFF -DSDL_FILESYSTEM=OFF -DSDL_MISC=OFF -DSDL_RENDER=OFF -DSDL_RENDER_D3D=OFF
  -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF)
build_sdl2() {
  local trim=("${sdl_trim[@]}")
  [ "${QUORVANE_SDL_ALL_SUBSYSTEMS:-0}" = 1 ] && trim=()
  configure "$(source_of libsdl2)" "$out/build/sdl2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_CCACHE=OFF "${trim[@]}"
  cmake --build "$out/build/sdl2" -j "$jobs"
  cmake --install "$out/build/sdl2"
}

build_gtest() {
  [ -f /usr/src/googletest/CMakeLists.txt ] || { echo "/usr/src/googletest missing (apt-get install googletest)"; return 1; }
  configure /usr/src/googletest "$out/build/gtest" -DBUILD_GMOCK=OFF -DBUILD_SHARED_LIBS=OFF -DINSTALL_GTEST=ON
  cmake --build "$out/build/gtest" -j "$jobs"
  cmake --install "$out/build/gtest"
}

step zlib lib/libz.a build_zlib
step libpng lib/libpng16.a build_libpng
step libjpeg lib/libjpeg.a build_libjpeg
step SDL2 lib/cmake/SDL2/SDL2Config.cmake build_sdl2
step googletest lib/cmake/GTest/GTestConfig.cmake build_gtest
