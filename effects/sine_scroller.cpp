#include "effects/sine_scroller.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "effects/bitmap_font_text.h"
#include "effects/look.h"
#include "effects/objects.h"
#include "runtime/draw/draw.h"
#include "runtime/image/image.h"
#include "runtime/sprite/sprite.h"

namespace {

// The scroller font: the same strip, order and cell size as the screen font, loaded as image 20.
const BitmapFont& font = kScreenFont;

constexpr int kVisibleWidth = look::kScreenWidth;  // screen columns 0..799
constexpr int kFadeInStart = 64, kFadeOutMargin = 64, kFadeWidth = 128;
constexpr int kFadeStep = 2;  // 255 / 128 rounded
constexpr int32_t kTextColour = 0xDDDDDD;
constexpr int32_t kHighlightColour = 0xFFFFFF;
constexpr int32_t kBeatColour = look::kLightBlue;
constexpr uint32_t kScratchKey = 0xFF00FF;  // RGB (255, 0, 255): no pixel of the strip has it
constexpr int kBeatSpread = 4;              // beat copies: pixels above and below
constexpr int kFaintIntensity = 64;         // beat copies and the faint highlight copy

int round_even(double value) {
  return int(std::nearbyint(value));  // default rounding mode: nearest, ties to even
}

// Renders the visible stretch of the text flat into the strip sprite: 102 glyphs copied from
// the font image through the scratch image, in the strip's own two colours.
void render_strip(const SineScroller& s) {
  using namespace objects;
  sprite_transparent_colour(kScrollerStripSprite, kScratchKey);
  if (!draw_start(sprite_output(kScrollerStripSprite))) return;
  draw_box(0, 0, kVisibleWidth, font.glyph_height, font.key_colour);
  const int glyphs = kVisibleWidth / font.glyph_width + 2;
  for (int i = 1; i <= glyphs; ++i) {
    // Text position char_index + i counts from 1; past either end it is the empty string,
    // which has the blank cell.
    const int64_t position = int64_t(s.char_index) + i;
    const char16_t c =
        position >= 1 && position <= int64_t(s.text.size()) ? s.text[size_t(position - 1)] : u' ';
    const int index = font_glyph_cell(font, c);
    const int source_x = (index % font.columns) * font.glyph_width;
    const int source_y = (index / font.columns) * font.glyph_height;
    if (source_x >= 0 && source_y >= 0)
      image_grab(kScrollerFontImage, kScrollerGlyphImage, source_x, source_y, font.glyph_width,
                 font.glyph_height);
    if (image_exists(kScrollerGlyphImage))
      draw_image(image_handle(kScrollerGlyphImage), s.x_offset + i * font.glyph_width, 0);
  }
  draw_stop();
}

// One scroll step of a position: `x` moves left by the speed; below `threshold` one more
// character has gone and `x` gains a glyph width; at the end of the text the run restarts
// at the right edge. The text's strip and the debug counter step with different thresholds.
void advance(int32_t& index, int32_t& x, int threshold, const SineScroller& s) {
  x = round_even(float(x) - s.speed);
  if (x < threshold) {
    ++index;
    x += font.glyph_width;
  }
  if (index >= s.length) {  // the length is reached exactly; >= also ends a run past it
    index = 0;
    x = kVisibleWidth;
  }
}

}  // namespace

void sine_scroller_init(SineScroller& scroller, std::u16string text) {
  scroller = SineScroller{};
  scroller.text = std::move(text);
  scroller.length = int32_t(scroller.text.size());
}

void sine_scroller_advance(SineScroller& s) {
  using namespace objects;
  render_strip(s);
  advance(s.char_index, s.x_offset, -2 * font.glyph_width, s);
  advance(s.counter_index, s.counter_x, -font.glyph_width, s);
  s.phase = s.phase + float(s.phase_step);

  // Re-keying once makes the box and the glyph backgrounds transparent: one texture upload.
  // The scroller's own per-column key calls would find the key unchanged and do nothing.
  sprite_transparent_colour(kScrollerStripSprite, font.key_colour);
}

void sine_scroller_paint(const SineScroller& s) {
  using namespace objects;
  const bool beat = s.beat_phase == 0;
  const bool highlight = s.channel0_note > 0;
  const int fade_in_end = kFadeInStart + kFadeWidth;                       // 192
  const int fade_out_start = kVisibleWidth - kFadeOutMargin - kFadeWidth;  // 608
  const int fade_out_end = kVisibleWidth - kFadeOutMargin;                 // 736
  struct Column {
    double top;     // unrounded top of the main copy
    int y;          // its rounded top
    int intensity;  // -1: no main copy in this column
  };
  std::array<Column, kVisibleWidth> columns;
  int fade_in = 255, fade_out = 0;
  for (int c = 0; c < kVisibleWidth; ++c) {
    // The wave's angle is summed in 32-bit floats (the phase grows without bound, so late in
    // a long run it keeps fewer fraction bits); the sine itself is double precision.
    const float degrees = s.phase + float(c) * s.wave_numerator / s.wave_denominator;
    const float offset = float(double(s.amplitude) * std::sin(double(degrees) * std::numbers::pi / 180.0));
    const double top = double(offset + s.base_y) + font.glyph_height / 2.0;
    int intensity = -1;
    if (c > kFadeInStart && c < fade_in_end) {
      intensity = 255 - fade_in;
      fade_in = std::min(fade_in - kFadeStep, 255);
    } else if (c > fade_out_start && c < fade_out_end) {
      intensity = 255 - fade_out;
      fade_out = std::min(fade_out + kFadeStep, 255);
    } else if (c >= fade_in_end && c <= fade_out_start) {
      intensity = 255;
    }
    columns[size_t(c)] = {top, round_even(top), intensity};
  }

  // Every column is one pixel wide, so the copies of different columns never overlap: what
  // matters is only the order of the copies within a column (beat copy above, beat copy below,
  // text, highlight, faint highlight). Drawing copy by copy across all columns keeps that order
  // and lets neighbouring columns at the same height, colour and intensity join into one quad.
  const auto each_column = [&](auto&& display) {
    for (int c = 0; c < kVisibleWidth; ++c) {
      sprite_clip(kScrollerStripSprite, c, 0, 1, font.glyph_height);
      display(c, columns[size_t(c)]);
    }
  };
  if (beat) {
    each_column([](int c, const Column& col) {
      sprite_display(kScrollerStripSprite, c, round_even(col.top - kBeatSpread), kFaintIntensity,
                     kBeatColour);
    });
    each_column([](int c, const Column& col) {
      sprite_display(kScrollerStripSprite, c, round_even(col.top + kBeatSpread), kFaintIntensity,
                     kBeatColour);
    });
  }
  each_column([](int c, const Column& col) {
    if (col.intensity >= 0) sprite_display(kScrollerStripSprite, c, col.y, col.intensity, kTextColour);
  });
  if (highlight) {
    each_column([](int c, const Column& col) {
      if (col.intensity >= 0) sprite_display(kScrollerStripSprite, c, col.y, col.intensity, kHighlightColour);
    });
    each_column([](int c, const Column& col) {
      sprite_display(kScrollerStripSprite, c, col.y, kFaintIntensity, kHighlightColour);
    });
  }
}

int sine_scroller(SineScroller& s) {
  sine_scroller_advance(s);
  sine_scroller_paint(s);
  return 0;
}
