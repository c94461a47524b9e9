// sprite-bench [FRAMES] [--only=slices|glyphs|draw|clear|scroller|discs|page] — the sprite load
// of the show's busiest frame, and the show's effect routines, timed.
//
// The load, per frame: 4,000 one-pixel-wide silhouette slices of a 1600 x 32 sprite (the sine
// scroller's load), 600 glyphs of bitmap font text, and one sprite_output / draw_box /
// draw_circle x 17 / draw_stop cycle on an 800 x 640 sprite (the disc trail's canvas).
// Then the routines themselves on the show's own sprites and texts: sine_scroller on a beat
// row with a note playing (all five copies of every column), disc_trail, and info_page_7 (the
// page with the most characters). --only picks one part of the load or one routine.
// A frame is timed from screen_clear to the end of rendering (the batch drawn and glFinish),
// so OpenGL's own work counts; the buffer swap is left out. Prints the median and the 95th
// percentile over the frames (300 by default) of wall time, of the drawing thread's CPU time,
// and of the CPU time of all threads (llvmpipe rasterises on threads of its own).
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "assets/texts.h"
#include "effects/bitmap_font_text.h"
#include "effects/disc_trail.h"
#include "effects/info_pages.h"
#include "effects/objects.h"
#include "effects/sine_scroller.h"
#include "runtime/draw/draw.h"
#include "runtime/image/image.h"
#include "runtime/platform/platform.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"
#include "runtime/window/window.h"

namespace {

// The load's own sprites, numbered clear of the show's (effects/objects.h).
constexpr int kFontSprite = 41, kStripSprite = 42, kCanvasSprite = 43;

double now_ms(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A font strip and a scroller strip drawn in place of the show's pictures: the cost of
// displaying them does not depend on their pixels.
bool make_sprites() {
  sprite_transparent_colour(-1, 0);
  if (!sprite_create(kFontSprite, 752, 16) || !draw_start(sprite_output(kFontSprite))) return false;
  draw_box(0, 0, 752, 16, 0x553333);
  for (int cell = 1; cell < 94; ++cell) draw_box(cell * 8 + 1, 2 + cell % 5, 5, 10, 0xAACCCC);
  draw_stop();
  sprite_transparent_colour(kFontSprite, 0x553333);
  if (!sprite_create(kStripSprite, 1600, 32) || !draw_start(sprite_output(kStripSprite))) return false;
  for (int x = 0; x < 1600; x += 8) draw_box(x, 4, 6, 24, 0xFFFFFF);
  draw_stop();
  return sprite_create(kCanvasSprite, 800, 640) != 0;
}

// The show's font sprite and image, scroller strip and disc canvas, prepared as at start-up.
SineScroller scroller;
DiscTrail trail;
bool make_show_sprites() {
  using namespace objects;
  if (!sprite_load_memory(objects::kFontSprite, asset_font_strip, asset_font_strip_size)) return false;
  sprite_transparent_colour(objects::kFontSprite, kScreenFont.key_colour);
  if (!image_load_memory(kScrollerFontImage, asset_font_strip, asset_font_strip_size)) return false;
  if (!sprite_create(kScrollerStripSprite, 1600, 32) || !sprite_create(kDiscCanvasSprite, 800, 640))
    return false;
  sprite_transparent_colour(kDiscCanvasSprite, 0);
  sine_scroller_init(scroller, texts::scroll_text());
  scroller.char_index = 40;  // the strip full of text from the first frame
  scroller.x_offset = -10;
  disc_trail_init(trail);
  return true;
}

// The routines' frames leave out the screen clear (timed in the load's --only=clear case).
void scroller_frame(int /*n*/) {
  scroller.beat_phase = 0;          // beat copies in every column
  scroller.channel0_note = 0x0131;  // highlight copies too
  sine_scroller(scroller);
  screen_flush();
  glFinish();
}

void discs_frame(int n) {
  disc_trail(trail, n % 2 != 0);
  screen_flush();
  glFinish();
}

void page_frame(int n) {
  const float wave = float(6.25 * std::sin(n * 0.07));
  info_page_7({std::abs(wave), wave, wave / 2});
  screen_flush();
  glFinish();
}

// Which parts a frame draws (all by default; one with --only=slices|glyphs|draw|clear).
enum Parts : unsigned { kSlices = 1, kGlyphs = 2, kDrawCycle = 4, kAll = 7 };
unsigned parts = kAll;

void load_frame(int n) {
  screen_clear(0x150B01);
  if (parts & kSlices) {
    // The scroller: one column per display, each on its own sine offset.
    for (int i = 0; i < 4000; ++i) {
      const int column = (i + n * 2) % 1600;
      sprite_clip(kStripSprite, column, 0, 1, 32);
      const int y = 560 + int(std::lround(20 * std::sin((i + n) * 0.05)));
      sprite_display(kStripSprite, i % 800, y, 255, i < 800 ? 0x2060A0 : 0xFFFFFF);
    }
  }
  // 600 glyphs: 10 lines of 60 characters.
  static const std::u16string line = u"The quick brown fox jumps over the lazy dog 0123456789 ~{}!?";
  for (int l = 0; l < 10 && (parts & kGlyphs); ++l)
    bitmap_font_text(kFontSprite, 160, 40 + 20 * l, 8, 16, line, 0xCCFFEE, 200 + l);
  // The disc trail's canvas.
  if ((parts & kDrawCycle) && draw_start(sprite_output(kCanvasSprite))) {
    draw_box(0, 0, 800, 640, 0x141D27);
    for (int d = 0; d < 17; ++d)
      draw_circle(400 + int(300 * std::sin((n + d * 9) * 0.03)),
                  320 + int(250 * std::cos((n + d * 7) * 0.02)), 8 + 2 * d,
                  rgb(40 + d * 12, 80, 200 - d * 8));
    draw_stop();
  }
  screen_flush();
  glFinish();
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[size_t(p * double(values.size() - 1) + 0.5)];
}

// Runs `frame` 30 times to warm up, then `frames` times timed, and prints the figures.
void run(const char* title, void (*frame)(int n), int frames) {
  for (int n = 0; n < 30; ++n) {  // warm-up: first uses of textures and code paths
    frame(n);
    screen_flip();
  }
  std::vector<double> wall, thread, process;
  for (int n = 0; n < frames; ++n) {
    const double w0 = now_ms(CLOCK_MONOTONIC), t0 = now_ms(CLOCK_THREAD_CPUTIME_ID);
    const double p0 = now_ms(CLOCK_PROCESS_CPUTIME_ID);
    frame(n);
    wall.push_back(now_ms(CLOCK_MONOTONIC) - w0);
    thread.push_back(now_ms(CLOCK_THREAD_CPUTIME_ID) - t0);
    process.push_back(now_ms(CLOCK_PROCESS_CPUTIME_ID) - p0);
    screen_flip();
  }
  std::printf("%s\n", title);
  std::printf("  frame wall time: median %.2f ms, p95 %.2f ms\n", percentile(wall, 0.5),
              percentile(wall, 0.95));
  std::printf("  frame CPU time, drawing thread: median %.2f ms, p95 %.2f ms\n", percentile(thread, 0.5),
              percentile(thread, 0.95));
  std::printf(
      "  frame CPU time, all threads (with OpenGL's rasteriser threads): median %.2f ms, p95 %.2f ms\n",
      percentile(process, 0.5), percentile(process, 0.95));
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 300;
  // Which cases run: the load (its parts as `parts` says) and the routines.
  enum Cases : unsigned { kLoad = 1, kScroller = 2, kDiscs = 4, kPage = 8, kEvery = 15 };
  unsigned cases = kEvery;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--only=slices")
      parts = kSlices, cases = kLoad;
    else if (arg == "--only=glyphs")
      parts = kGlyphs, cases = kLoad;
    else if (arg == "--only=draw")
      parts = kDrawCycle, cases = kLoad;
    else if (arg == "--only=clear")
      parts = 0, cases = kLoad;
    else if (arg == "--only=scroller")
      cases = kScroller;
    else if (arg == "--only=discs")
      cases = kDiscs;
    else if (arg == "--only=page")
      cases = kPage;
    else if (std::atoi(arg.c_str()) > 0)
      frames = std::atoi(arg.c_str());
    else {
      std::fprintf(stderr,
                   "usage: sprite-bench [FRAMES] [--only=slices|glyphs|draw|clear|scroller|discs|page]\n");
      return 2;
    }
  }
  if (!platform::video_start(/*allow_offscreen=*/true)) {
    std::fprintf(stderr, "sprite-bench: no video driver\n");
    return 1;
  }
  if (!window_open(0, 0, 0, 800, 640, u"sprite-bench", 0x90000001) ||
      !screen_open_windowed(window_handle(0), 0, 0, 800, 640, 1, 0, 0, 0)) {
    std::fprintf(stderr, "sprite-bench: cannot open an 800 x 640 OpenGL screen\n");
    return 1;
  }
  sprite_start();
  if (!make_sprites() || !make_show_sprites()) {
    std::fprintf(stderr, "sprite-bench: cannot create the sprites\n");
    return 1;
  }
  std::printf("sprite-bench: %d frames per case on %s (%s)\n", frames, platform::video_driver(),
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  if (cases & kLoad) run("load: 4000 slices, 600 glyphs, 1 draw cycle with 17 circles", load_frame, frames);
  if (cases & kScroller)
    run("sine_scroller: 102-glyph render pass, 800 columns x 5 copies (beat row, note playing)",
        scroller_frame, frames);
  if (cases & kDiscs) run("disc_trail: canvas cleared, 17 discs, one upload", discs_frame, frames);
  if (cases & kPage) run("info_page_7: 13 lines, 1248 glyphs", page_frame, frames);
  sprite_free(-1);
  image_free(-1);
  screen_close();
  window_close(-1);
  platform::video_stop();
  return 0;
}
