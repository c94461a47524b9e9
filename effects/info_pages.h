// effects/info_pages.h — the seven text pages of the middle band.
//
// Each page is a fixed table of lines (texts::kPage1Lines ...), drawn with bitmap_font_text on
// the font sprite, each centred at C = (800 - 8 * length) / 2 on the grid y = 368 + 16 * slot,
// some moved by the per-frame wave values: x or y = round(base + factor * wave) with 32-bit
// float factors, ties to even.
#pragma once

#include <array>
#include <cstdint>

// The wave values the pages move with (the frame loop's bounce, sway and shiver).
struct PageWaves {
  float bounce = 0.0f;
  float sway = 0.0f;
  float shiver = 0.0f;
};

int info_page_1(const PageWaves& waves);
int info_page_2(const PageWaves& waves);
int info_page_3(const PageWaves& waves);
int info_page_4(const PageWaves& waves);
int info_page_5(const PageWaves& waves);
int info_page_6(const PageWaves& waves);
int info_page_7(const PageWaves& waves);

// The pages in flipping order with the ticks each one holds.
struct InfoPage {
  int (*draw)(const PageWaves& waves);
  int32_t hold;
};
extern const std::array<InfoPage, 7> kInfoPages;
