// effects/logo_build.h — the group logo: 19 rows of ASCII art rendered once with the bitmap
// font onto the back buffer and grabbed into sprite 13.
#pragma once

#include <cstdint>

// The logo's base display size, recorded by logo_build (800 x 304).
struct Logo {
  int32_t width = 0;
  int32_t height = 0;
};

// Clears the back buffer to black, draws the logo rows, grabs the top 800 x 304 into sprite 13
// (black keyed transparent) and clears again. Needs the open screen and the font sprite 1.
// Returns 0.
int logo_build(Logo& logo);
