#!/usr/bin/env bash
# web/build-web.sh [PORT] — builds the intro's web page and serves it on 127.0.0.1:PORT.
# web/build-web.sh --build-only — builds the page and stops there (the browser test uses it).
#
# The page is emscripten's WebAssembly build of the same show, on the web platform layer
# (runtime/platform/platform_web.cpp). Debian 12's emscripten package is the toolchain; the
# picture decoders (zlib, libpng, libjpeg-turbo) are Debian's own source packages, fetched with
# `apt-get source` through a private sources list under build-web/ (derived from the machine's
# own apt sources by tools/debian-sources.sh; the system's lists stay as they are) and compiled
# for WebAssembly into build-web/prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-web
port=8000
build_only=0
case "${1:-}" in
  --build-only) build_only=1 ;;
  "") ;;
  *) port=$1 ;;
esac

packages=(emscripten chromium dpkg-dev cmake ninja-build python3 nodejs)
. "$root/tools/install-missing.sh"
install_missing "${packages[@]}" >/dev/null

# Node 20 (/usr/bin/node here) does not look in Debian's own JS module folder, where emcc's
# acorn and friends live.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
jobs=$(nproc)

mkdir -p "$out/src" "$out/deps" "$out/prefix/lib" "$out/prefix/include"
# Debian 12's source packages, through a private sources list derived from the machine's own
# apt sources (tools/debian-sources.sh: the base suite only).
. "$root/tools/debian-sources.sh"
fetch() {  # fetch SOURCE-PACKAGE — unpacks it once into build-web/src
  debian_source_fetch "$out/apt" "$1" "$out/src"
}
fetch zlib
fetch libpng1.6
fetch libjpeg-turbo

src_dir() { debian_source_dir "$out/src" "$1"; }
prefix=$out/prefix
cmake_em() {  # cmake_em SOURCE BUILD [options...] — configures, builds and installs into the prefix
  local src=$1 dir=$2; shift 2
  emcmake cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" >/dev/null
  cmake --install "$dir" >/dev/null
}
if [ ! -f "$prefix/lib/libz.a" ]; then
  # zlib's own configure script: its CMake file names a Windows resource the Debian tarball lacks.
  rm -rf "$out/deps/zlib" && cp -r "$(src_dir zlib)" "$out/deps/zlib"
  (cd "$out/deps/zlib" && emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
    emmake make -j "$jobs" libz.a >/dev/null && emmake make install-libs-only install >/dev/null 2>&1 ||
    { cp libz.a "$prefix/lib/" && cp zlib.h zconf.h "$prefix/include/"; })
fi
if [ ! -f "$prefix/lib/libpng16.a" ]; then
  cmake_em "$(src_dir libpng1.6)" "$out/deps/libpng" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" -DM_LIBRARY=
fi
if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  # The library alone (its command-line programs and tests are not needed): built and copied.
  src=$(src_dir libjpeg-turbo)
  emcmake cmake -S "$src" -B "$out/deps/libjpeg" -G Ninja -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_SIMD=OFF -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE \
    -DUNSIGNED_LONG=4 >/dev/null  # (its size checks misread emscripten's 32-bit types)
  cmake --build "$out/deps/libjpeg" -j "$jobs" --target jpeg-static >/dev/null
  cp "$src"/jpeglib.h "$src"/jmorecfg.h "$src"/jerror.h "$out/deps/libjpeg/jconfig.h" "$prefix/include/"
  cp "$out/deps/libjpeg/libjpeg.a" "$prefix/lib/libjpeg.a"
fi

# The intro itself: the host tool that embeds the assets runs under node (CMake's emulator).
emcmake cmake -S "$root" -B "$out/intro" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF \
  -DQUORVANE_BENCHMARKS=OFF -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
  -DQUORVANE_WEB_OUT="$out/site" >/dev/null
cmake --build "$out/intro" -j "$jobs" --target web_page

echo "web page: $out/site (index.html, quorvane-intro.js, quorvane-intro.wasm)"
echo "single file: $out/site-single/quorvane-intro.html"
[ "$build_only" = 1 ] && exit 0
echo "serving http://127.0.0.1:$port/ (Ctrl+C ends)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$out/site"
