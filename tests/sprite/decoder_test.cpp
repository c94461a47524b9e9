// Picture decoders on pictures built in the test: every supported BMP layout, the PNG
// transformations, grey/RGB/CMYK JPEG, and bad input of every kind.
#include "runtime/image/decoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include "picture_writers.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb pixel(const picture::Picture& p, int x, int y) {
  const uint8_t* q = &p.pixels[(size_t(y) * p.width + x) * (p.bits / 8)];
  return Rgb{q[2], q[1], q[0]};
}
int alpha(const picture::Picture& p, int x, int y) {
  return p.pixels[(size_t(y) * p.width + x) * 4 + 3];
}

class Decoders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    picture::register_png();
    picture::register_jpeg();
  }
  static picture::Picture decode(const Bytes& b) {
    picture::Picture p;
    EXPECT_TRUE(picture::decode_picture(b.data(), b.size(), &p));
    return p;
  }
};

// ---- BMP -----------------------------------------------------------------------------------

// 5 x 3 pictures (odd width: rows need padding) in every supported layout; `value` and
// `expected` take (x, y) from the top.
struct BmpCase {
  const char* name;
  int bpp, compression;
  std::vector<uint32_t> palette;
  uint32_t (*value)(int x, int y);
  Rgb (*expected)(int x, int y);
};

const std::vector<uint32_t> kPalette16 = {0x000000, 0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0,
                                          0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x111213,
                                          0x141516, 0x171819, 0x1A1B1C, 0xFFFFFF};
Rgb from_palette16(int x, int y) {
  const uint32_t c = kPalette16[(x + 5 * y) % 16];
  return Rgb{int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

// clang-format off
const BmpCase kBmpCases[] = {
    {"1 bit ignores its palette", 1, 0, {0x123456, 0x654321},
     [](int x, int y) { return uint32_t((x + y) % 2); },
     [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }},
    {"4 bit, high nibble first", 4, 0, kPalette16, [](int x, int y) { return uint32_t((x + 5 * y) % 16); },
     from_palette16},
    {"8 bit", 8, 0, kPalette16, [](int x, int y) { return uint32_t((x + 5 * y) % 16); }, from_palette16},
    {"8 bit, index beyond the palette is black", 8, 0, kPalette16, [](int x, int) { return x == 4 ? 200u : 5u; },
     [](int x, int) { return x == 4 ? Rgb{0, 0, 0} : Rgb{0xD0, 0xE0, 0xF0}; }},
    {"16 bit 5-5-5", 16, 0, {}, [](int x, int y) { return uint32_t(x << 10 | y << 5 | 31); },
     [](int x, int y) { return Rgb{x << 3, y << 3, 0xF8}; }},
    {"16 bit 5-6-5", 16, 3, {}, [](int x, int y) { return uint32_t(31 << 11 | (y * 20) << 5 | x); },
     [](int x, int y) { return Rgb{0xF8, (y * 20) << 2, x << 3}; }},
    {"24 bit", 24, 0, {}, [](int x, int y) { return uint32_t(x * 50 << 16 | y * 100 << 8 | 7); },
     [](int x, int y) { return Rgb{x * 50, y * 100, 7}; }},
    {"32 bit, fourth byte ignored", 32, 0, {}, [](int x, int y) { return uint32_t(x * 50 << 16 | y * 100 << 8 | 9); },
     [](int x, int y) { return Rgb{x * 50, y * 100, 9}; }},
};
// clang-format on

TEST_F(Decoders, BmpLayoutsDecodeTopDownToBgr) {
  for (const BmpCase& c : kBmpCases) {
    SCOPED_TRACE(c.name);
    BmpSpec spec{5, 3, c.bpp, c.compression, c.palette, c.value, {}};
    const Bytes file = write_bmp(spec);
    EXPECT_EQ(picture::probe(file.data(), file.size()), picture::kTagBmp);
    picture::release();
    const picture::Picture p = decode(file);
    ASSERT_EQ(p.width, 5);
    ASSERT_EQ(p.height, 3);
    ASSERT_EQ(p.bits, 24);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(pixel(p, x, y), c.expected(x, y)) << "at " << x << ", " << y;
  }
}

TEST_F(Decoders, BmpBottomUpOutputKeepsFileOrderAndPitch) {
  BmpSpec spec{2, 2, 24, 0, {}, [](int x, int y) { return uint32_t(0x010101 * (1 + x + 2 * y)); }, {}};
  const Bytes file = write_bmp(spec);
  ASSERT_EQ(picture::probe(file.data(), file.size()), picture::kTagBmp);
  Bytes rows(2 * 8, 0xEE);  // pitch 8: two bytes of padding per row stay untouched
  ASSERT_TRUE(picture::decode(rows.data(), 8, /*bottom_up=*/true));
  picture::release();
  EXPECT_EQ(rows, (Bytes{3, 3, 3, 4, 4, 4, 0xEE, 0xEE, 1, 1, 1, 2, 2, 2, 0xEE, 0xEE}));
}

// Run-length data in stored order (bottom row first) and the picture it makes, top-down.
TEST_F(Decoders, BmpRunLengthEscapes) {
  BmpSpec spec{6, 4, 8, 1, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000}, {}, {}};
  spec.rle = {
      3, 1,              // stored row 0: three of index 1
      0, 3, 2, 3, 2, 0,  // a literal of three, padded to an even count: 2 3 2
      0, 0,              // end of line
      9, 3,              // stored row 1: a run longer than the row is cut at its end
      0, 0,              // end of line: stored row 2 stays untouched
      0, 2, 2, 1,        // move right 2 and on 1 row: stored row 3, column 2
      1, 2,              // one of index 2
      0, 1,              // end of bitmap
  };
  const picture::Picture p = decode(write_bmp(spec));
  const Rgb k{0, 0, 0}, b{0, 0, 255}, g{0, 255, 0}, r{255, 0, 0};
  const Rgb expected[4][6] = {
      {k, k, g, k, k, k},
      {k, k, k, k, k, k},
      {r, r, r, r, r, r},
      {b, b, b, g, r, g},
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pixel(p, x, y), expected[y][x]) << "at " << x << ", " << y;
}

TEST_F(Decoders, FontStripKeepsItsTwoColoursAndRowOrder) {
  const Bytes strip = write_font_strip([](int x, int y) { return y == 0 && x < 8; });
  ASSERT_EQ(strip.size(), 13110u);
  const picture::Picture p = decode(strip);
  ASSERT_EQ(p.width, 752);
  ASSERT_EQ(p.height, 16);
  EXPECT_EQ(pixel(p, 0, 0), (Rgb{0xCC, 0xCC, 0xAA}));  // top row = last stored row
  EXPECT_EQ(pixel(p, 0, 15), (Rgb{0x33, 0x33, 0x55}));
  EXPECT_EQ(pixel(p, 8, 0), (Rgb{0x33, 0x33, 0x55}));
}

// Every prefix of every layout, and headers that lie: refused or failed, never a fault
// (AddressSanitizer watches the reads; the pixel buffer is exactly the reported size).
TEST_F(Decoders, BmpTruncatedAtEveryLengthNeverReadsPast) {
  struct File {
    Bytes bytes;
    size_t needed;  // the last row's padding is never read, so it may be missing
  };
  std::vector<File> files;
  for (const BmpCase& c : kBmpCases) {
    Bytes bytes = write_bmp(BmpSpec{5, 3, c.bpp, c.compression, c.palette, c.value, {}});
    const size_t stride = ((5 * c.bpp + 31) / 32) * 4, used = (5 * c.bpp + 7) / 8;
    files.push_back({bytes, bytes.size() - (stride - used)});
  }
  Bytes rle = write_bmp(BmpSpec{4, 2, 8, 1, {0, 0xFFFFFF}, {}, {4, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 1}});
  files.push_back({rle, rle.size()});
  for (const File& file : files) {
    for (size_t n = 0; n < file.bytes.size(); ++n) {
      Bytes prefix(file.bytes.begin(), file.bytes.begin() + n);  // its own allocation: ASan sees its end
      picture::Picture p;
      EXPECT_EQ(picture::decode_picture(prefix.data(), prefix.size(), &p), n >= file.needed)
          << "length " << n;
    }
  }
}

TEST_F(Decoders, BmpLyingHeadersAreRefused) {
  const Bytes good = write_bmp(BmpSpec{5, 3, 8, 0, kPalette16, [](int, int) { return 1u; }, {}});
  struct Lie {
    const char* name;
    size_t at;
    uint32_t value;
  };
  const Lie lies[] = {
      {"reserved field set", 6, 1},
      {"height beyond the data", 22, 1000},
      {"top-down height", 22, uint32_t(-3)},
      {"zero width", 18, 0},
      {"huge width", 18, 0x7FFFFFFF},
      {"pixel offset past the end", 10, 100000},
      {"palette count past the end", 46, 255},
      {"info header past the end", 14, 100000},
      {"unknown depth", 28, 7},
      {"4-bit run-length", 30, 2},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.name);
    Bytes file = good;
    if (lie.at == 28) {
      file[28] = uint8_t(lie.value);
    } else {
      for (int i = 0; i < 4; ++i) file[lie.at + i] = uint8_t(lie.value >> (8 * i));
    }
    picture::Picture p;
    EXPECT_FALSE(picture::decode_picture(file.data(), file.size(), &p));
    EXPECT_TRUE(p.pixels.empty());
  }
}

TEST_F(Decoders, BmpRunLengthNeverWritesOutsideThePicture) {
  // A 3 x 2 picture whose runs, literals and moves all overshoot; without an end-of-bitmap
  // escape the data runs out, which is a failure.
  BmpSpec spec{3, 2, 8, 1, {0, 0xFFFFFF}, {}, {}};
  spec.rle = {255, 1, 0, 9, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 2, 200, 200, 255, 1};
  picture::Picture p;
  const Bytes file = write_bmp(spec);
  EXPECT_TRUE(picture::decode_picture(file.data(), file.size(), &p));  // the move leaves the picture: done
  spec.rle = {2, 1, 0, 0, 2, 1};
  const Bytes unfinished = write_bmp(spec);
  EXPECT_FALSE(picture::decode_picture(unfinished.data(), unfinished.size(), &p));
}

// ---- PNG -----------------------------------------------------------------------------------

struct PngCase {
  const char* name;
  PngSpec spec;
  int bits;
  Rgb first;        // pixel (0, 0)
  int first_alpha;  // its alpha, for 32-bit results
  Rgb last;         // pixel (width - 1, height - 1)
};

Bytes row(std::initializer_list<int> v) {
  return Bytes(v.begin(), v.end());
}

// clang-format off
std::vector<PngCase> png_cases() {
  std::vector<PngCase> cases;
  cases.push_back({"RGB", {2, 2, PNG_COLOR_TYPE_RGB, 8, false, {}, {}, false, 0,
                           {row({10, 20, 30, 1, 2, 3}), row({4, 5, 6, 40, 50, 60})}}, 24, {10, 20, 30}, 0, {40, 50, 60}});
  cases.push_back({"RGBA", {2, 1, PNG_COLOR_TYPE_RGBA, 8, false, {}, {}, false, 0,
                            {row({10, 20, 30, 128, 40, 50, 60, 255})}}, 32, {10, 20, 30}, 128, {40, 50, 60}});
  cases.push_back({"palette with tRNS", {2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {0x112233, 0x445566}, {0, 200},
                                         false, 0, {row({0, 1})}}, 32, {0x11, 0x22, 0x33}, 0, {0x44, 0x55, 0x66}});
  cases.push_back({"2-bit palette", {3, 1, PNG_COLOR_TYPE_PALETTE, 2, false, {0x112233, 0x445566, 0x778899}, {},
                                     false, 0, {row({0b00011000})}}, 24, {0x11, 0x22, 0x33}, 0, {0x77, 0x88, 0x99}});
  cases.push_back({"1-bit grey", {3, 1, PNG_COLOR_TYPE_GRAY, 1, false, {}, {}, false, 0, {row({0b10100000})}}, 24,
                   {255, 255, 255}, 0, {255, 255, 255}});
  cases.push_back({"grey with a tRNS key", {2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, true, 7, {row({7, 9})}}, 32,
                   {7, 7, 7}, 0, {9, 9, 9}});
  cases.push_back({"grey and alpha", {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}, {}, false, 0,
                                      {row({90, 10, 91, 255})}}, 32, {90, 90, 90}, 10, {91, 91, 91}});
  cases.push_back({"16-bit RGB stripped to 8", {1, 2, PNG_COLOR_TYPE_RGB, 16, false, {}, {}, false, 0,
                                                {row({0x12, 0x99, 0x34, 0x00, 0x56, 0xFF}), row({1, 0, 2, 0, 3, 0})}},
                   24, {0x12, 0x34, 0x56}, 0, {1, 2, 3}});
  PngSpec interlaced{9, 9, PNG_COLOR_TYPE_RGB, 8, true, {}, {}, false, 0, {}};
  for (int y = 0; y < 9; ++y) {
    Bytes r;
    for (int x = 0; x < 9; ++x) r.insert(r.end(), {uint8_t(x * 20), uint8_t(y * 20), 77});
    interlaced.rows.push_back(r);
  }
  cases.push_back({"interlaced", interlaced, 24, {0, 0, 77}, 0, {160, 160, 77}});
  return cases;
}
// clang-format on

TEST_F(Decoders, PngTransformationsGiveBgrOrBgra) {
  for (const PngCase& c : png_cases()) {
    SCOPED_TRACE(c.name);
    const Bytes file = write_png(c.spec);
    ASSERT_EQ(picture::probe(file.data(), file.size()), picture::kTagPng);
    picture::release();
    const picture::Picture p = decode(file);
    ASSERT_EQ(p.width, c.spec.width);
    ASSERT_EQ(p.bits, c.bits);
    EXPECT_EQ(pixel(p, 0, 0), c.first);
    EXPECT_EQ(pixel(p, p.width - 1, p.height - 1), c.last);
    if (c.bits == 32) {
      EXPECT_EQ(alpha(p, 0, 0), c.first_alpha);
    }
  }
}

TEST_F(Decoders, InterlacedPngMatchesEveryPixel) {
  const PngCase c = png_cases().back();
  const picture::Picture p = decode(write_png(c.spec));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(pixel(p, x, y), (Rgb{x * 20, y * 20, 77}));
}

TEST_F(Decoders, TruncatedOrCorruptPngFails) {
  const Bytes file = write_png(png_cases().back().spec);
  // Cut anywhere before the end chunk (12 bytes), something the rows need is missing.
  for (size_t n = 0; n < file.size() - 12; n += 3) {
    Bytes prefix(file.begin(), file.begin() + n);
    picture::Picture p;
    EXPECT_FALSE(picture::decode_picture(prefix.data(), prefix.size(), &p)) << "length " << n;
  }
  Bytes corrupt = file;
  corrupt[corrupt.size() / 2] ^= 0xFF;  // inside the image data: CRC or inflate error
  picture::Picture p;
  EXPECT_FALSE(picture::decode_picture(corrupt.data(), corrupt.size(), &p));
}

// ---- JPEG ----------------------------------------------------------------------------------

void expect_near(Rgb got, Rgb want, int tolerance) {
  EXPECT_NEAR(got.r, want.r, tolerance);
  EXPECT_NEAR(got.g, want.g, tolerance);
  EXPECT_NEAR(got.b, want.b, tolerance);
}

TEST_F(Decoders, JpegGreyRgbAndCmykBecomeBgr) {
  const int w = 16, h = 16;
  Bytes grey(w * h, 100), rgb, cmyk;
  for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {200, 100, 50});
  // Adobe's CMYK JPEGs store inverted values: C' = 255 - C. C' 255, M' 128, Y' 64, K' 200.
  for (int i = 0; i < w * h; ++i) cmyk.insert(cmyk.end(), {255, 128, 64, 200});
  struct {
    const char* name;
    int components;
    const Bytes& samples;
    Rgb expected;
  } cases[] = {
      {"grey", 1, grey, {100, 100, 100}},
      {"RGB", 3, rgb, {200, 100, 50}},
      {"CMYK", 4, cmyk, {255 * 200 / 255, 128 * 200 / 255, 64 * 200 / 255}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = write_jpeg(w, h, c.components, c.samples);
    ASSERT_EQ(picture::probe(file.data(), file.size()), picture::kTagJpeg);
    picture::release();
    const picture::Picture p = decode(file);
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    ASSERT_EQ(p.bits, 24);
    expect_near(pixel(p, 0, 0), c.expected, 3);
    expect_near(pixel(p, w - 1, h - 1), c.expected, 3);
  }
}

TEST_F(Decoders, TruncatedJpegNeverReadsPast) {
  Bytes rgb;
  for (int i = 0; i < 24 * 8; ++i) rgb.insert(rgb.end(), {uint8_t(i), uint8_t(3 * i), 50});
  const Bytes file = write_jpeg(24, 8, 3, rgb);
  for (size_t n = 0; n < file.size(); n += 7) {
    Bytes prefix(file.begin(), file.begin() + n);
    picture::Picture p;
    // A picture cut inside its scan data decodes with grey filling (libjpeg's end-of-data
    // rule); cut inside its headers it is refused. Either way nothing outside is read.
    if (picture::decode_picture(prefix.data(), prefix.size(), &p)) {
      EXPECT_EQ(p.pixels.size(), 24u * 8 * 3);
    }
  }
}

// ---- Registry ------------------------------------------------------------------------------

TEST_F(Decoders, UnknownDataIsRefusedByEveryDecoder) {
  const Bytes junk = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(picture::probe(junk.data(), junk.size()), 0u);
  EXPECT_EQ(picture::probe(nullptr, 0), 0u);
  picture::Picture p;
  EXPECT_FALSE(picture::decode_picture(junk.data(), 0, &p));
}

TEST_F(Decoders, PixelLimitRefusesBeforeAllocating) {
  const Bytes file = write_bmp(BmpSpec{64, 64, 24, 0, {}, [](int, int) { return 1u; }, {}});
  picture::set_pixel_limit(64 * 64 - 1);
  picture::Picture p;
  EXPECT_FALSE(picture::decode_picture(file.data(), file.size(), &p));
  picture::set_pixel_limit(picture::kDefaultPixelLimit);
  EXPECT_TRUE(picture::decode_picture(file.data(), file.size(), &p));
}

TEST_F(Decoders, RegisteringTwiceKeepsOneEntry) {
  picture::register_png();
  picture::register_png();
  const Bytes file = write_png(png_cases().front().spec);
  EXPECT_EQ(picture::probe(file.data(), file.size()), picture::kTagPng);
  picture::release();
}

}  // namespace
