// assets/pictures.h — the embedded font strip, pictures and window icons, compiled in from
// the files of assets/font, assets/pictures and assets/icon (written by tools/fontgen and
// tools/picturegen). Each is the file's bytes as they stand, with its size in bytes.
#pragma once

// Font strip: 8-bit BMP, 752 x 16, 94 glyph cells of 8 x 16 in the glyph order; palette
// entry 0 = RGB (0x33, 0x33, 0x55) background, entry 1 = RGB (0xCC, 0xCC, 0xAA) ink.
extern const unsigned char asset_font_strip[];
extern const unsigned int asset_font_strip_size;

// Badge: PNG 124 x 24 RGBA, a white rounded-rectangle outline on a transparent ground.
extern const unsigned char asset_badge[];
extern const unsigned int asset_badge_size;

// Banner: PNG 913 x 349 RGBA, "QUORVANE" in two colours on black.
extern const unsigned char asset_banner[];
extern const unsigned int asset_banner_size;

// Backdrop: JPEG 474 x 356, a pixel-art library interior at night.
extern const unsigned char asset_backdrop[];
extern const unsigned int asset_backdrop_size;

// Scene picture: PNG 960 x 540, 8-bit palette with tRNS, a pixel-art starry nebula whose
// empty sky is exactly RGB (20, 29, 39) (key 0x271D14) and fully transparent in tRNS.
extern const unsigned char asset_scene[];
extern const unsigned int asset_scene_size;

// Window icons: PNG RGBA squares of 16, 32, 64, 128 and 256 pixels.
extern const unsigned char asset_icon_16[];
extern const unsigned int asset_icon_16_size;
extern const unsigned char asset_icon_32[];
extern const unsigned int asset_icon_32_size;
extern const unsigned char asset_icon_64[];
extern const unsigned int asset_icon_64_size;
extern const unsigned char asset_icon_128[];
extern const unsigned int asset_icon_128_size;
extern const unsigned char asset_icon_256[];
extern const unsigned int asset_icon_256_size;
