// The badge: a white rounded-rectangle outline, two pixels wide, on a transparent ground. The
// show tints it, so only its alpha carries the shape; the edges are anti-aliased by 4 x 4
// supersampling.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 124;
constexpr int kHeight = 24;
constexpr float kRadius = 9.0f;
constexpr float kStroke = 2.0f;

// Signed distance from (x, y) to the outline's centre line, a rounded rectangle inset by
// half a stroke from the picture's edge.
float outline_distance(float x, float y) {
  float half_w = kWidth / 2.0f - kStroke / 2.0f - 0.5f, half_h = kHeight / 2.0f - kStroke / 2.0f - 0.5f;
  float qx = std::fabs(x - kWidth / 2.0f) - (half_w - kRadius);
  float qy = std::fabs(y - kHeight / 2.0f) - (half_h - kRadius);
  float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - kRadius;
}

}  // namespace

Canvas paint_badge() {
  Canvas canvas(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      int covered = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
          covered += std::fabs(outline_distance(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4)) <= kStroke / 2;
      canvas.set(x, y, {255, 255, 255}, covered * 255 / 16);
    }
  return canvas;
}

}  // namespace picturegen
