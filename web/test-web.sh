#!/usr/bin/env bash
# web/test-web.sh — builds the web page and runs it in headless Chromium (web/browser-test.mjs):
# loads without console errors, the click starts the opening, the main phase follows, F1 shows
# the panel, Enter + "quorvane" the banner, Escape the closing card and then "watch again"
# (below the card's text, and the show watched again takes each key once); a small desktop
# window and a phone upright and turned (the canvas fits, a tap starts the show, a finger
# counts as the mouse, a tap asks for full screen, the end control); a lost WebGL context, a
# browser without WebGL 2 or WebAssembly, and test hooks out of range; the page's
# virtual-clock frames and its played sound against the native capture of the same.
# WEB_TEST_PARTS (see browser-test.mjs) runs only some of these.
# Skips with a line when emscripten or Chromium cannot be installed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if ! web/build-web.sh --build-only; then
  if ! command -v emcc >/dev/null || ! command -v chromium >/dev/null; then
    echo "web page test skipped: emscripten or chromium could not be installed"
    exit 0
  fi
  echo "web page test: the page does not build" >&2
  exit 1
fi
if ! command -v chromium >/dev/null; then
  echo "web page test skipped: chromium could not be installed"
  exit 0
fi

# puppeteer-core from npm, in the build's own folder (its bundled-browser download is not used:
# the test drives Debian's chromium).
node_dir=$root/build-web/node
if [ ! -d "$node_dir/node_modules/puppeteer-core" ]; then
  mkdir -p "$node_dir"
  if ! npm install --no-audit --no-fund --prefix "$node_dir" puppeteer-core@22 >/dev/null; then
    echo "web page test skipped: puppeteer-core could not be installed from npm"
    exit 0
  fi
fi

# The native capture of the same frames and sound, for the deterministic comparisons (from the
# normal build that `./build.sh test` makes first; skipped with a line when it is not there).
capture=$root/build-web/native-capture
rm -rf "$capture"
if [ -x "$root/build/quorvane-intro" ]; then
  mkdir -p "$capture"
  display=(); [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ] && display=(xvfb-run -a -s '-screen 0 1920x1080x24')
  if ! "${display[@]}" "$root/build/quorvane-intro" --capture "$capture" --seconds 46 --frames 0,300,2700 \
    >"$root/build-web/native-capture.log" 2>&1; then
    cat "$root/build-web/native-capture.log" >&2
    echo "web page test: the native capture failed" >&2
    exit 1
  fi
else
  echo "web page test: no native build (build/quorvane-intro); the comparisons with it are skipped"
fi

port=$((20000 + RANDOM % 20000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build-web/site" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
sleep 1
NODE_PATH=$node_dir/node_modules node "$root/web/browser-test.mjs" "http://127.0.0.1:$port/" \
  "file://$root/build-web/site-single/quorvane-intro.html" "$( [ -d "$capture" ] && echo "$capture")"
