// runtime/draw/draw.h — software drawing onto sprites.
//
// sprite_output takes a copy of a sprite's pixels into a drawing output; draw_start makes it
// the calling thread's current output; draw_box, draw_circle and draw_image write into it;
// draw_stop derives the alpha from the sprite's key colour (unless the sprite keeps its own
// alpha, kSpriteKeepAlpha), writes the pixels back into the sprite's texture and ends the
// output. Drawing coordinates are sprite pixels with y 0 at the top row as displayed; every
// shape is clipped to the sprite, so any coordinates are safe. Drawing writes red, green and
// blue and leaves each pixel's alpha to draw_stop.
//
//   if (draw_start(sprite_output(5))) {
//     draw_box(0, 0, 800, 640, rgb(0x14, 0x1D, 0x27));
//     draw_circle(400, 320, 40, rgb(255, 255, 255));
//     draw_stop();
//   }
//
// A drawing call with no current output does nothing. If the sprite is freed or replaced
// while an output is open, draw_stop throws the drawing away.
#pragma once

#include <cstdint>

struct DrawOutput;

// Null when the number is not a sprite or memory runs out.
DrawOutput* sprite_output(int sprite);
// Non-zero: `output` is now the thread's current output. 0 for null. A current output that
// was never stopped is stopped (and written back) first.
int draw_start(DrawOutput* output);
void draw_stop();

enum : int {
  kDrawXor = 2,      // pixels become pixel XOR colour
  kDrawOutline = 4,  // boxes and circles are outlines one pixel wide
};
void draw_mode(int flags);
// A negative width or height extends the box to the left of x / above y.
void draw_box(int x, int y, int width, int height, uint32_t colour);
// A disc (an outline with kDrawOutline) of the pixels whose centres lie within radius + 1/2 of
// the centre pixel. A negative radius draws nothing.
void draw_circle(int x, int y, int radius, uint32_t colour);
// The image's bitmap (runtime/image/image.h) upright with its top-left at (x, y).
void draw_image(uint32_t image_handle, int x, int y);

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
  return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return rgb(r, g, b) | (a & 0xFF) << 24;
}
