// effects/disc_trail.h — a trail of 17 dark discs of growing size on a Lissajous path, redrawn
// every frame into the canvas sprite 23 (800 x 640, black transparent).
#pragma once

#include <cstdint>

struct DiscTrail {
  float angle_x = 0.0f;  // radians, drives the vertical swing
  float angle_y = 0.0f;  // radians, drives the horizontal swing
  float step_x = 0.0f;   // added per disc: 4/3 degree
  float step_y = 0.0f;   // added per disc: 2 degrees
  int32_t bsinx = 0;     // horizontal path value of the last disc drawn
  int32_t bsiny = 0;     // vertical path value of the last disc drawn
  int32_t offset_y = 0;  // trail offset, 236
};

// Sets the steps, the offset and the angles.
void disc_trail_init(DiscTrail& trail);
// Redraws sprite 23; `main_phase` picks the discs' colour: RGB (6, 5, 5) in the show's main
// phase, the veil colour RGB (1, 11, 21) before it. Returns 0.
int disc_trail(DiscTrail& trail, bool main_phase);
