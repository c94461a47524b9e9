#!/usr/bin/env bash
# packaging/release.sh — builds every form of the intro and writes the release pack, dist/:
#   quorvane-intro-VERSION-win64.zip   the Windows program with its nfo and file_id.diz
#                                      (packaging/release/make-zip.sh)
#   quorvane-intro_VERSION_amd64.deb, quorvane-intro-tools_VERSION_amd64.deb   (build-release/)
#   quorvane-intro.html                the web page in one file (web/build-web.sh --build-only)
#   quorvane-intro-VERSION-screenshot.png   a frame of the main phase from a capture of the
#                                      native build
#   SHA256SUMS                         of the files above
# build.sh release installs the native build's packages and runs this; the Windows and web
# scripts install what they need themselves.
#
# The pack's time is SOURCE_DATE_EPOCH when it is set, else the commit's time: it dates the nfo
# and the diz and stamps the zip's entries, so the same commit gives the same zip. dist/ is
# written as dist.part/ and renamed at the end: it is either the whole new pack or the old one.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^project(quorvane_intro VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    fail "not a git checkout: set SOURCE_DATE_EPOCH to the release's time (seconds since 1970)"
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: warning: uncommitted changes; the pack is not that of commit $(git rev-parse --short HEAD)" >&2
fi

# The main phase 56 s in (order position 5 begins at 38.4 s): the logo over the nebula, the
# credits page in its colours and the sine scroller, which starts at about 50 s.
screenshot_frame=3360

step() { echo "== $* ($(date -u +%H:%M:%S))"; }

step "the Windows program"
./build.sh windows
exe=build-win/quorvane-intro.exe
# The release link strips it; a symbol table left in would show here.
if x86_64-w64-mingw32-objdump -t "$exe" | grep -q '^\[ *[0-9]'; then fail "$exe is not stripped"; fi

step "the native build and its Debian packages"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target package

step "the web page"
web/build-web.sh --build-only

step "the screenshot (capture of the native build to frame $screenshot_frame)"
capture=build-release/release-capture
seconds=$(awk -v f="$screenshot_frame" 'BEGIN { printf "%.1f", f / 60 + 0.1 }')
xvfb-run -a -s '-screen 0 1920x1080x24' build-release/quorvane-intro --capture "$capture" \
  --seconds "$seconds" --frames "$screenshot_frame" 2>/dev/null

step "dist/"
rm -rf dist.part && mkdir dist.part
packaging/release/make-zip.sh "$exe" "$version" "$SOURCE_DATE_EPOCH" "dist.part/quorvane-intro-$version-win64.zip"
# Made twice, the zip must come out the same.
packaging/release/make-zip.sh "$exe" "$version" "$SOURCE_DATE_EPOCH" build-release/zip-again.zip
cmp "dist.part/quorvane-intro-$version-win64.zip" build-release/zip-again.zip ||
  fail "the zip made twice from the same inputs differs"
cp build-release/quorvane-intro_"$version"_amd64.deb build-release/quorvane-intro-tools_"$version"_amd64.deb dist.part/
cp build-web/site-single/quorvane-intro.html dist.part/
cp "$capture/$(printf 'frame_%06d.png' "$screenshot_frame")" "dist.part/quorvane-intro-$version-screenshot.png"
(cd dist.part && files=(*) && sha256sum -- "${files[@]}" >SHA256SUMS)
rm -rf dist && mv dist.part dist
echo "release $version, dated $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d):"
ls -l dist
