#include "effects/disc_trail.h"

#include <cmath>

#include "effects/objects.h"
#include "runtime/draw/draw.h"
#include "runtime/sprite/sprite.h"

namespace {

// The steps by their exact 32-bit float bit patterns: 4/3 degree and 2 degrees in radians
// (0.02327105589210987 and 0.03490658476948738), so the path does not depend on how a decimal
// literal would be rounded. (The compiler's builtin: the web build's C++ library predates
// std::bit_cast.)
constexpr float kStepX = __builtin_bit_cast(float, 0x3CBEA2F1u);
constexpr float kStepY = __builtin_bit_cast(float, 0x3D0EFA35u);
constexpr int kDiscs = 17;
constexpr int kOffsetY = 236;
constexpr uint32_t kMainColour = rgba(6, 5, 5, 255);
constexpr uint32_t kEarlyColour = rgba(1, 11, 21, 255);  // the veil's colour

}  // namespace

void disc_trail_init(DiscTrail& trail) {
  trail = DiscTrail{};
  trail.step_x = kStepX;
  trail.step_y = kStepY;
  trail.offset_y = kOffsetY;
}

int disc_trail(DiscTrail& trail, bool main_phase) {
  const int canvas = objects::kDiscCanvasSprite;
  // Without the canvas the path still moves on, so the debug values stay live; nothing is
  // drawn into whatever output might be current.
  const bool drawing = draw_start(sprite_output(canvas)) != 0;
  if (drawing) draw_box(0, 0, sprite_width(canvas), sprite_height(canvas), 0);  // all transparent black
  const uint32_t colour = main_phase ? kMainColour : kEarlyColour;
  for (int i = 0; i < kDiscs; ++i) {
    trail.angle_x += trail.step_x;
    trail.angle_y += trail.step_y;
    trail.bsinx = int32_t(std::nearbyint(std::sin(double(trail.angle_y)) * 336.0 + 200.0));
    trail.bsiny = int32_t(std::nearbyint(std::sin(double(trail.angle_x)) * 60.0 + 50.0));
    if (!drawing) continue;
    draw_mode(0);  // filled discs
    draw_circle(trail.bsinx + 200, trail.bsiny + trail.offset_y + 140, 2 * i + 8, colour);
  }
  if (drawing) draw_stop();
  // Rewind all but one step: the trail moves on by one disc position per frame. 16 x step is
  // exact in a float, so the float subtraction rounds once, as a double one would.
  trail.angle_x -= trail.step_x * 16.0f;
  trail.angle_y -= trail.step_y * 16.0f;
  return 0;
}
