// The pictures and icons: picturegen writes exactly the committed files, the build embeds
// them, and each decodes (through libpng and libjpeg, as the runtime will) to the size, format
// and content the show relies on.
#include "assets/pictures.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "generator_run.h"

namespace {

struct Embedded {
  const char* file;  // under assets/
  const unsigned char* data;
  unsigned int size;
};

const Embedded kPictures[] = {
    {"pictures/badge.png", asset_badge, asset_badge_size},
    {"pictures/banner.png", asset_banner, asset_banner_size},
    {"pictures/backdrop.jpg", asset_backdrop, asset_backdrop_size},
    {"pictures/scene.png", asset_scene, asset_scene_size},
};

const Embedded kIcons[] = {
    {"icon/icon_16.png", asset_icon_16, asset_icon_16_size},
    {"icon/icon_32.png", asset_icon_32, asset_icon_32_size},
    {"icon/icon_64.png", asset_icon_64, asset_icon_64_size},
    {"icon/icon_128.png", asset_icon_128, asset_icon_128_size},
    {"icon/icon_256.png", asset_icon_256, asset_icon_256_size},
};

uint32_t be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// The header and the chunk names of a PNG file, as stored.
struct PngLayout {
  uint32_t width = 0, height = 0;
  int bit_depth = 0, colour_type = -1;
  std::vector<std::string> chunks;
};

PngLayout png_layout(const unsigned char* data, unsigned int size) {
  PngLayout layout;
  if (size < 33 || png_sig_cmp(data, 0, 8) != 0) return layout;
  layout.width = be32(data + 16);
  layout.height = be32(data + 20);
  layout.bit_depth = data[24];
  layout.colour_type = data[25];
  for (size_t at = 8; at + 12 <= size; at += 12 + be32(data + at))
    layout.chunks.emplace_back(data + at + 4, data + at + 8);
  return layout;
}

bool has_chunk(const PngLayout& layout, const std::string& name) {
  return std::find(layout.chunks.begin(), layout.chunks.end(), name) != layout.chunks.end();
}

// Decoded to 8-bit RGBA, rows top-down; empty on failure.
struct Pixels {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  uint32_t rgb(int x, int y) const { return at(x, y)[0] | at(x, y)[1] << 8 | at(x, y)[2] << 16; }
  int alpha(int x, int y) const { return at(x, y)[3]; }
};

Pixels decode_png(const unsigned char* data, unsigned int size) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Pixels pixels;
  if (!png_image_begin_read_from_memory(&image, data, size)) return pixels;
  image.format = PNG_FORMAT_RGBA;
  pixels.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.rgba.data(), 0, nullptr)) {
    pixels.rgba.clear();
    return pixels;
  }
  pixels.width = static_cast<int>(image.width);
  pixels.height = static_cast<int>(image.height);
  return pixels;
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpeg_error_exit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
void jpeg_silence(j_common_ptr) {}

// Decoded as RGB into the RGBA layout (alpha 255); also reports the stored component count.
Pixels decode_jpeg(const unsigned char* data, unsigned int size, int& components) {
  Pixels pixels;
  jpeg_decompress_struct jpeg;
  JpegError error;
  jpeg.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpeg_error_exit;
  error.manager.output_message = jpeg_silence;
  std::vector<uint8_t> row;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&jpeg);
    return Pixels{};
  }
  jpeg_create_decompress(&jpeg);
  jpeg_mem_src(&jpeg, data, size);
  jpeg_read_header(&jpeg, TRUE);
  components = jpeg.num_components;
  jpeg.out_color_space = JCS_RGB;
  jpeg_start_decompress(&jpeg);
  pixels.width = static_cast<int>(jpeg.output_width);
  pixels.height = static_cast<int>(jpeg.output_height);
  pixels.rgba.resize(static_cast<size_t>(pixels.width) * pixels.height * 4);
  row.resize(static_cast<size_t>(pixels.width) * 3);
  while (jpeg.output_scanline < jpeg.output_height) {
    JSAMPROW rows[1] = {row.data()};
    int y = static_cast<int>(jpeg.output_scanline);
    jpeg_read_scanlines(&jpeg, rows, 1);
    for (int x = 0; x < pixels.width; ++x) {
      uint8_t* p = &pixels.rgba[(static_cast<size_t>(y) * pixels.width + x) * 4];
      p[0] = row[x * 3];
      p[1] = row[x * 3 + 1];
      p[2] = row[x * 3 + 2];
      p[3] = 255;
    }
  }
  jpeg_finish_decompress(&jpeg);
  jpeg_destroy_decompress(&jpeg);
  return pixels;
}

void expect_generated(const std::string& mode, const Embedded* files, size_t count) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("picturegen_" + mode);
  asset_test::ToolRun run =
      asset_test::run_tool(QUORVANE_TOOL_PICTUREGEN, mode + " \"" + dir.string() + "\"", dir);
  ASSERT_EQ(run.exit_code, 0) << run.error_output;
  for (size_t i = 0; i < count; ++i) {
    std::string file = files[i].file;
    std::vector<unsigned char> committed = asset_test::read_bytes(asset_test::source_path("assets/" + file));
    ASSERT_FALSE(committed.empty()) << file;
    EXPECT_EQ(asset_test::read_bytes(dir / std::filesystem::path(file).filename()), committed) << file;
    EXPECT_TRUE(asset_test::same_bytes(files[i].data, files[i].size, committed))
        << file << " is embedded as committed";
  }
}

TEST(PictureGenerator, WritesTheCommittedPicturesAndTheBuildEmbedsThem) {
  expect_generated("pictures", kPictures, std::size(kPictures));
}

TEST(PictureGenerator, WritesTheCommittedIconsAndTheBuildEmbedsThem) {
  expect_generated("icons", kIcons, std::size(kIcons));
}

TEST(PictureGenerator, RejectsBadArgumentsWithOneLine) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("picturegen_bad");
  const char* cases[] = {"", "pictures", "sounds /tmp", "pictures a b",
                         "icons \"" QUORVANE_TEST_TEMP_DIR "/no/such/dir\""};
  for (const char* arguments : cases) {
    asset_test::ToolRun run = asset_test::run_tool(QUORVANE_TOOL_PICTUREGEN, arguments, dir);
    EXPECT_NE(run.exit_code, 0) << arguments;
    ASSERT_FALSE(run.error_output.empty()) << arguments;
    EXPECT_EQ(run.error_output.find('\n'), run.error_output.size() - 1) << run.error_output;
  }
}

TEST(Pictures, PngHeadersHoldTheFixedFormats) {
  struct Case {
    const unsigned char* data;
    unsigned int size;
    uint32_t width, height;
    int colour_type;  // 6 RGBA, 3 palette
  };
  const Case cases[] = {
      {asset_badge, asset_badge_size, 124, 24, 6},        {asset_banner, asset_banner_size, 913, 349, 6},
      {asset_scene, asset_scene_size, 960, 540, 3},       {asset_icon_16, asset_icon_16_size, 16, 16, 6},
      {asset_icon_32, asset_icon_32_size, 32, 32, 6},     {asset_icon_64, asset_icon_64_size, 64, 64, 6},
      {asset_icon_128, asset_icon_128_size, 128, 128, 6}, {asset_icon_256, asset_icon_256_size, 256, 256, 6},
  };
  for (const Case& c : cases) {
    PngLayout layout = png_layout(c.data, c.size);
    EXPECT_EQ(layout.width, c.width);
    EXPECT_EQ(layout.height, c.height);
    EXPECT_EQ(layout.bit_depth, 8);
    EXPECT_EQ(layout.colour_type, c.colour_type) << c.width << " x " << c.height;
    EXPECT_EQ(has_chunk(layout, "tRNS"), c.colour_type == 3) << c.width << " x " << c.height;
    ASSERT_FALSE(layout.chunks.empty());
    EXPECT_EQ(layout.chunks.back(), "IEND");
    Pixels pixels = decode_png(c.data, c.size);
    EXPECT_EQ(pixels.width, static_cast<int>(c.width));
    EXPECT_EQ(pixels.height, static_cast<int>(c.height));
  }
}

// The badge as the show sees it: scaled to 0.75 (93 x 18) with nearest-neighbour sampling, the
// texel under display pixel i being floor((i + 0.5) / 0.75).
int badge_texel(int display) {
  return static_cast<int>((display + 0.5) / 0.75);
}

TEST(Pictures, BadgeIsAWhiteOutlineAroundANameOnATransparentGround) {
  Pixels badge = decode_png(asset_badge, asset_badge_size);
  ASSERT_EQ(badge.width, 124);
  for (int y = 0; y < badge.height; ++y)
    for (int x = 0; x < badge.width; ++x) {
      const int a = badge.alpha(x, y);
      ASSERT_TRUE(a == 0 || a == 255) << "one flat shape: " << x << "," << y;
      if (a > 0) {
        ASSERT_EQ(badge.rgb(x, y), 0xFFFFFFu) << x << "," << y;
      }
      // Texel 4k + 1 is skipped at 0.75: it repeats texel 4k, so the full-size picture shows the
      // same shape as the screen.
      if (x % 4 == 1) {
        ASSERT_EQ(a, badge.alpha(x - 1, y)) << x << "," << y;
      }
      if (y % 4 == 1) {
        ASSERT_EQ(a, badge.alpha(x, y - 1)) << x << "," << y;
      }
    }
  EXPECT_EQ(badge.alpha(0, 0), 0) << "rounded corner";
  EXPECT_EQ(badge.alpha(123, 23), 0) << "rounded corner";
  EXPECT_EQ(badge.alpha(62, 1), 255) << "top edge";
  EXPECT_EQ(badge.alpha(62, 22), 255) << "bottom edge";
  EXPECT_EQ(badge.alpha(1, 12), 255) << "left edge";
  EXPECT_EQ(badge.alpha(122, 12), 255) << "right edge";

  // On screen, inside the 2-pixel outline: a clear pixel all round, then seven letters
  // (KESTROW) 12 rows high as runs of inked columns parted by clear ones.
  std::vector<bool> inked(93, false);
  int ink = 0;
  for (int dy = 2; dy < 16; ++dy)
    for (int dx = 2; dx < 91; ++dx) {
      const bool on = badge.alpha(badge_texel(dx), badge_texel(dy)) > 0;
      if (on && (dy == 2 || dy == 15 || dx == 2 || dx == 90))
        ADD_FAILURE() << "letters touch the outline at " << dx << "," << dy;
      if (on) inked[static_cast<size_t>(dx)] = true;
      ink += on;
    }
  int letters = 0;
  for (int dx = 3; dx < 90; ++dx)
    letters += inked[static_cast<size_t>(dx)] && !inked[static_cast<size_t>(dx - 1)];
  EXPECT_EQ(letters, 7);
  // Heavy enough to read in the closing card's dark tint (the 2-pixel strokes inked 36 % of the
  // band between the clear rows and read dim), open enough to leave counters.
  EXPECT_GT(ink, 87 * 12 / 2);
  EXPECT_LT(ink, 87 * 12 * 2 / 3);
}

TEST(Pictures, BannerIsTwoColoursAndANearBlackKeylineOnBlack) {
  Pixels banner = decode_png(asset_banner, asset_banner_size);
  ASSERT_EQ(banner.width, 913);
  std::set<uint32_t> colours;
  size_t ink = 0;
  for (int y = 0; y < banner.height; ++y)
    for (int x = 0; x < banner.width; ++x) {
      ASSERT_EQ(banner.alpha(x, y), 255);
      colours.insert(banner.rgb(x, y));
      ink += banner.rgb(x, y) != 0;
    }
  // Black is the key: the lines inside the letters use a near-black that stays solid.
  EXPECT_EQ(colours.size(), 4u);
  EXPECT_TRUE(colours.count(0));
  size_t near_black = 0;
  for (uint32_t c : colours)
    near_black += c != 0 && (c & 0xFF) < 32 && (c >> 8 & 0xFF) < 32 && (c >> 16 & 0xFF) < 32;
  EXPECT_EQ(near_black, 1u);
  // The name fills a good part of the picture and leaves a black margin all round.
  EXPECT_GT(ink, banner.rgba.size() / 4 / 10);
  EXPECT_LT(ink, banner.rgba.size() / 4 / 2);
  for (int x = 0; x < banner.width; ++x) EXPECT_EQ(banner.rgb(x, 0) | banner.rgb(x, banner.height - 1), 0u);
  for (int y = 0; y < banner.height; ++y) EXPECT_EQ(banner.rgb(0, y) | banner.rgb(banner.width - 1, y), 0u);
}

TEST(Pictures, BackdropIsAColourJpegOfANightInterior) {
  int components = 0;
  Pixels backdrop = decode_jpeg(asset_backdrop, asset_backdrop_size, components);
  ASSERT_EQ(backdrop.width, 474);
  ASSERT_EQ(backdrop.height, 356);
  EXPECT_EQ(components, 3);
  double sum = 0;
  int brightest = 0;
  for (int y = 0; y < backdrop.height; ++y)
    for (int x = 0; x < backdrop.width; ++x) {
      const uint8_t* p = backdrop.at(x, y);
      int luma = (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
      sum += luma;
      brightest = std::max(brightest, luma);
    }
  double mean = sum / (backdrop.width * backdrop.height);
  EXPECT_GT(mean, 20) << "not black";
  EXPECT_LT(mean, 110) << "a night scene, to be shown faint";
  EXPECT_GT(brightest, 200) << "the moon";
}

TEST(Pictures, SceneSkyIsExactlyTheKeyColourAndTransparent) {
  PngLayout layout = png_layout(asset_scene, asset_scene_size);
  EXPECT_TRUE(has_chunk(layout, "PLTE"));
  Pixels scene = decode_png(asset_scene, asset_scene_size);
  ASSERT_EQ(scene.width, 960);
  const uint32_t kKey = 0x271D14;  // RGB (20, 29, 39), red in the low byte
  size_t sky = 0;
  for (int y = 0; y < scene.height; ++y)
    for (int x = 0; x < scene.width; ++x) {
      bool is_key = scene.rgb(x, y) == kKey;
      ASSERT_EQ(scene.alpha(x, y), is_key ? 0 : 255) << x << "," << y;
      sky += is_key;
    }
  size_t total = static_cast<size_t>(scene.width) * scene.height;
  EXPECT_GT(sky, total * 4 / 10);
  EXPECT_LT(sky, total * 9 / 10);
  // The show cuts rows 270 to 301 out as the strip under the scroller: it carries the nebula
  // across its whole width.
  for (int band = 0; band < 8; ++band) {
    size_t gas = 0;
    for (int y = 270; y < 302; ++y)
      for (int x = band * 120; x < band * 120 + 120; ++x) gas += scene.rgb(x, y) != kKey;
    EXPECT_GT(gas, 120u * 32 / 5) << "strip columns " << band * 120;
  }
}

TEST(Pictures, IconsAreRoundedOpaqueTiles) {
  for (const Embedded& icon : kIcons) {
    Pixels pixels = decode_png(icon.data, icon.size);
    ASSERT_GT(pixels.width, 0) << icon.file;
    int last = pixels.width - 1, middle = pixels.width / 2;
    // The corner pixel lies outside the rounding but for a sliver of anti-aliasing.
    EXPECT_LT(pixels.alpha(0, 0), 16) << icon.file;
    EXPECT_LT(pixels.alpha(last, last), 16) << icon.file;
    EXPECT_EQ(pixels.alpha(middle, 1), 255) << icon.file;
    EXPECT_EQ(pixels.alpha(middle, middle), 255) << icon.file;
  }
}

TEST(DesktopEntry, NamesTheProductVersionAndExecutable) {
  std::string entry = asset_test::read_text(asset_test::source_path("packaging/quorvane-intro.desktop"));
  ASSERT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  const std::string lines[] = {
      "Type=Application",    "Name=" QUORVANE_PRODUCT_NAME,
      "Exec=quorvane-intro", "X-AppVersion=" QUORVANE_VERSION,
      "Icon=quorvane-intro",
  };
  for (const std::string& line : lines) EXPECT_NE(entry.find("\n" + line + "\n"), std::string::npos) << line;
  EXPECT_EQ(std::string(QUORVANE_PRODUCT_NAME), "quorvane introduction 2024");
  EXPECT_EQ(std::string(QUORVANE_VERSION), "1.0.0.0");
}

}  // namespace
