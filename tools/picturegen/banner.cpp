// The banner: "QUORVANE" as a two-colour logo on black, in the style of the old group logos.
// Italic block letters with a gold face sliced by black lines that thicken towards the foot,
// a dark keyline, then a violet rim and a violet extrusion to the lower right; a split bar under
// the name and two four-point glints. Black is the show's key colour for this picture, so the
// ground and the letters' counters turn transparent on screen; the slices and the keyline are
// part of the letters and are drawn in a near-black that the key leaves solid. No
// anti-aliasing: two colours and the keyline's near-black on black.
#include <cmath>
#include <vector>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 913;
constexpr int kHeight = 349;
constexpr const char* kName = "QUORVANE";
constexpr float kCellWidth = 18, kCellHeight = 28;
constexpr float kLetterGap = 12;
constexpr float kSlant = 0.2f;  // pixels to the right per pixel upwards
constexpr int kTop = 52;
constexpr int kGap = 2;        // black gap around the face, pixels
constexpr int kRim = 4;        // violet rim beyond the gap
constexpr int kExtrusion = 9;  // depth of the extrusion, pixels down (and 2/3 of that right)

const Rgb kFace{255, 178, 44};
const Rgb kViolet{118, 52, 178};
const Rgb kBlack{0, 0, 0};
const Rgb kKeyline{14, 8, 22};  // near-black, not the key

struct Mask {
  int width, height;
  std::vector<uint8_t> bits;
  bool operator()(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && bits[static_cast<size_t>(y) * width + x];
  }
};

Mask face_mask() {
  const float letter_width = kLetterColumns * kCellWidth;
  const float name_width = 8 * letter_width + 7 * kLetterGap + kSlant * kLetterRows * kCellHeight;
  const float left = std::round((kWidth - name_width - kExtrusion) / 2);
  const float baseline = kTop + kLetterRows * kCellHeight;
  Mask mask{kWidth, kHeight, std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 0)};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      float px = x + 0.5f - kSlant * (baseline - (y + 0.5f)) - left;
      int index = static_cast<int>(std::floor(px / (letter_width + kLetterGap)));
      if (index < 0 || index >= 8) continue;
      float u = (px - index * (letter_width + kLetterGap)) / kCellWidth;
      float v = (y + 0.5f - kTop) / kCellHeight;
      mask.bits[static_cast<size_t>(y) * kWidth + x] = letter_covers(kName[index], u, v);
    }
  return mask;
}

Mask dilate(const Mask& mask, int radius) {
  Mask out = mask;
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      bool any = false;
      for (int dy = -radius; dy <= radius && !any; ++dy)
        for (int dx = -radius; dx <= radius && !any; ++dx)
          any = dx * dx + dy * dy <= radius * radius + radius && mask(x + dx, y + dy);
      out.bits[static_cast<size_t>(y) * mask.width + x] = any;
    }
  return out;
}

// The black slices through the face: rows relative to the letters' top, thickening downwards.
bool sliced(int y) {
  static constexpr int kSlices[][2] = {{112, 1}, {132, 2}, {150, 2}, {166, 3}, {180, 3}, {191, 4}};
  for (const auto& slice : kSlices)
    if (y - kTop >= slice[0] && y - kTop < slice[0] + slice[1]) return true;
  return false;
}

// A four-point glint centred on (cx, cy), arms of the given length.
void glint(Canvas& canvas, int cx, int cy, int arm) {
  for (int d = -arm; d <= arm; ++d) {
    int thick = std::abs(d) < arm / 3 ? 1 : 0;
    for (int t = -thick; t <= thick; ++t) {
      canvas.set(cx + d, cy + t, kFace);
      canvas.set(cx + t, cy + d, kFace);
    }
  }
}

}  // namespace

Canvas paint_banner() {
  Mask face = face_mask();
  Mask gap = dilate(face, kGap);
  Mask rim = dilate(face, kGap + kRim);
  Canvas canvas(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb colour = kBlack;
      if (face(x, y)) {
        colour = sliced(y) ? kKeyline : kFace;
      } else if (gap(x, y)) {
        colour = kKeyline;
      } else {
        bool violet = rim(x, y);
        for (int d = 1; d <= kExtrusion && !violet; ++d) violet = rim(x - d * 2 / 3, y - d);
        if (violet) colour = kViolet;
      }
      canvas.set(x, y, colour);
    }

  // The split bar under the name: violet with a gold core, broken into a long and a short run.
  const int bar_y = kTop + (kLetterRows + 1) * kCellHeight + 24;
  canvas.fill_rect(60, bar_y, 600, 10, kViolet);
  canvas.fill_rect(676, bar_y, 176, 10, kViolet);
  canvas.fill_rect(64, bar_y + 4, 592, 2, kFace);
  canvas.fill_rect(680, bar_y + 4, 168, 2, kFace);
  glint(canvas, 56, 40, 14);
  glint(canvas, 870, 290, 10);
  return canvas;
}

}  // namespace picturegen
