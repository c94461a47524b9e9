// effects/objects.h — the numbers of the show's sprites and images.
//
// Every picture the show puts on the screen lives under one fixed number in the runtime's
// sprite or image table; the start-up prepares them (show/assets.cpp) and the shutdown frees
// them all with -1.
#pragma once

namespace objects {

inline constexpr int kFontSprite = 1;            // font strip, key 0x553333: every caption
inline constexpr int kBadgeSprite = 4;           // badge plate, own alpha, shown at 93 x 18
inline constexpr int kBannerSprite = 5;          // banner picture, key black, shown at 1141 x 436
inline constexpr int kBackdropSprite = 6;        // backdrop photograph, shown at 948 x 712
inline constexpr int kBandSprite = 9;            // transparent sheet with one dark blue band
inline constexpr int kBandTopSprite = 10;        // the top 64 rows of the band sheet
inline constexpr int kScenePictureSprite = 11;   // nebula picture, shown at 797 x 302
inline constexpr int kSceneStripSprite = 12;     // 960 x 32 strip of the nebula picture
inline constexpr int kLogoSprite = 13;           // the ASCII-art logo, grabbed at start
inline constexpr int kScrollerFontImage = 20;    // font strip as an image, for the scroller
inline constexpr int kScrollerStripSprite = 21;  // 1600 x 32 off-screen strip of the scroller
inline constexpr int kScrollerGlyphImage = 22;   // scratch image: one glyph at a time
inline constexpr int kDiscCanvasSprite = 23;     // 800 x 640 canvas of the disc trail, key black
inline constexpr int kVeilSprite = 24;           // 800 x 640 opaque veil in 0x150B01

}  // namespace objects
