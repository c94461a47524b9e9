// effects/sine_scroller.h — the one-line scroll text that runs right to left at the bottom of
// the screen, every pixel column lifted by its own sine offset.
//
// A frame renders the visible stretch of the text (102 glyphs) flat into the off-screen strip
// sprite 21, copying each glyph out of the font image 20 through the scratch image 22 in the
// strip's own two colours, then puts the strip on the screen as 800 one-pixel columns: faded
// in over columns 65..191 and out over 609..735, with two faint copies 4 pixels above and
// below on beat rows (beat phase 0) and white highlight copies while channel 0 plays a note.
//
//   SineScroller scroller;
//   sine_scroller_init(scroller, texts::scroll_text());
//   each frame: scroller.beat_phase = row % 8; scroller.channel0_note = note; sine_scroller(scroller);
#pragma once

#include <cstdint>
#include <string>

struct SineScroller {
  std::u16string text;          // the text that runs
  int32_t length = 0;           // its length: the wrap point
  int32_t char_index = 1;       // characters scrolled out; the strip starts at position char_index + 1
  int32_t x_offset = 1600;      // strip x of the glyph before the first one drawn
  int32_t counter_index = 0;    // scroll position shown by the debug overlay
  int32_t counter_x = 800;      // sub-character position of that counter
  float speed = 2.0f;           // pixels per frame
  float phase = 0.0f;           // wave phase in degrees; grows without bound
  int32_t phase_step = 4;       // degrees per frame
  float wave_numerator = 3.0f;  // numerator / denominator = degrees per pixel column
  float wave_denominator = 6.0f;
  float amplitude = 6.0f;     // pixels
  float base_y = 583.0f;      // top of the unshifted text on the screen
  int32_t beat_phase = 0;     // music row mod 8, set by the frame loop
  int32_t channel0_note = 0;  // instrument * 256 + note of channel 0 now audible, 0 when empty
};

// Sets the initial values and the text (its length becomes the wrap point).
void sine_scroller_init(SineScroller& scroller, std::u16string text);
// One frame in two halves: the advance renders the visible stretch into the strip sprite 21
// (from the font image 20) and moves the scroll and the wave on; the paint puts the strip on
// the screen with the wave's new phase and changes nothing of the scroller.
void sine_scroller_advance(SineScroller& scroller);
void sine_scroller_paint(const SineScroller& scroller);
// Both halves of a frame. Returns 0.
int sine_scroller(SineScroller& scroller);
