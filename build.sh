#!/usr/bin/env bash
# build.sh run  — install what is missing (Debian 12), build, and run the intro.
# build.sh test — install what is missing, build, and run every test: a normal build (GCC) and a
#                 sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer, real
#                 libFuzzer targets), both under a virtual X display, then the threaded playback
#                 tests under ThreadSanitizer, then the web page in headless Chromium.
# build.sh web [PORT] — install what is missing, build the web page (build-web/site) and serve it
#                 at http://127.0.0.1:PORT/ (default 8000) until Ctrl+C.
# build.sh windows — install what is missing (mingw-w64, Wine), cross-build the libraries from
#                 Debian's sources and the Windows programs: build-win/quorvane-intro.exe,
#                 xmrender.exe and xmplay.exe.
# build.sh release — install what is missing, build every form (the Windows program, the native
#                 build and its Debian packages, the web page) and write the release pack into
#                 dist/ (packaging/release.sh): the Windows zip with its nfo and file_id.diz, the
#                 two .deb packages, the one-file web page, a screenshot and SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")"

. tools/install-missing.sh
packages=(g++ clang libclang-rt-14-dev cmake ninja-build make pkg-config libsdl2-dev libgl-dev
  libglu1-mesa-dev libgl1-mesa-dri libglx-mesa0 libegl-mesa0 libpng-dev libjpeg62-turbo-dev zlib1g-dev
  libgtest-dev libbenchmark-dev libx11-dev dpkg-dev lintian file procps xvfb xauth xfonts-base x11-utils xdotool sox zip unzip)

jobs=$(nproc)

# The Windows programs (packaging/windows/build-deps.sh builds the libraries into
# build-win/deps once). windows_build TESTS — TESTS is ON or OFF.
windows_build() {
  packaging/windows/build-deps.sh build-win/deps
  # The host's compiler and libpng build the tools that the cross build runs.
  install_missing g++ libpng-dev zlib1g-dev pkg-config
  packaging/windows/wine-run.sh --init
  build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUORVANE_WIN_PREFIX="$PWD/build-win/deps/prefix" \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS="$1"
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

under_display() {  # runs the command on the real display if there is one, else on Xvfb
  if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then "$@"; else xvfb-run -a -s '-screen 0 1920x1080x24' "$@"; fi
}

case "${1:-}" in
  run)
    install_missing "${packages[@]}"
    build build -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF
    exec ./build/quorvane-intro
    ;;
  test)
    install_missing "${packages[@]}"
    # Tests on explicitly: a tree first configured by `run` has them off in its cache, and ctest
    # must fail rather than pass on finding nothing to run.
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TESTS=ON
    under_display ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs" --timeout 900
    build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DQUORVANE_SANITIZE=ON -DQUORVANE_BENCHMARKS=OFF -DQUORVANE_TESTS=ON
    # LeakSanitizer on, with only the system libraries' lifetime allocations suppressed.
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
      UBSAN_OPTIONS=print_stacktrace=1 \
      under_display ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs" --timeout 900
    # The streaming thread and its hand-over, under ThreadSanitizer.
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_TSAN=ON -DQUORVANE_BENCHMARKS=OFF -DQUORVANE_TESTS=ON >/dev/null
    cmake --build build-tsan -j "$jobs" --target playback_tests
    TSAN_OPTIONS=halt_on_error=1 SDL_AUDIODRIVER=dummy \
      ctest --test-dir build-tsan --output-on-failure --no-tests=error -L threads --timeout 900
    # The web page in headless Chromium (skips with a line when emscripten or Chromium is missing).
    web/test-web.sh
    # The Windows programs, cross-built, their tests run under Wine, and their captures held
    # against the native build's (skips with a line when mingw-w64 or Wine cannot be installed).
    if install_missing g++-mingw-w64-x86-64-posix wine64 >/dev/null 2>&1; then
      windows_build ON
      under_display ctest --test-dir build-win --output-on-failure --no-tests=error -j "$jobs" --timeout 900
    else
      echo "SKIPPED: the Windows tests (mingw-w64 or Wine could not be installed)"
    fi
    ;;
  windows)
    windows_build OFF
    ls -l build-win/quorvane-intro.exe build-win/xmrender.exe build-win/xmplay.exe
    ;;
  release)
    install_missing "${packages[@]}"
    exec packaging/release.sh
    ;;
  web)
    shift
    exec web/build-web.sh "$@"
    ;;
  *)
    echo "usage: $0 run|test|web [PORT]|windows|release" >&2
    exit 2
    ;;
esac
