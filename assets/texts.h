// assets/texts.h — every text the show draws, as UTF-16 literals compiled into the program.
//
// Each text uses only characters of the glyph order (below), so every character has a cell in
// the font strip. Texts are single lines; multi-line pictures are arrays of lines. Nothing here
// changes at run time. The long tables live in assets/texts/texts.cpp.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace texts {

// The 94 characters of the font strip in cell order: printable ASCII from the blank to "}",
// with "~" in the place of the double quote (cell 2 shows a double-quote shape).
inline constexpr std::u16string_view kGlyphOrder =
    u" !~#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}";

// The date on the closing card.
inline constexpr std::u16string_view kDate = u"20250101";

// The group logo in ASCII art: 19 rows of 82 columns; rows 0, 17 and 18 hold one mark each.
extern const std::array<std::u16string_view, 19> kLogoLines;

// Rule patterns R1 to R10 (index 0 to 9), 99 columns each, layered to make the scene's rules.
// Extents in columns: R1 0-98, R2 1-97, R3 and R7 12-86, R4 and R8 24-74, R5 and R9 36-62,
// R6 and R10 42-56. R7 to R9 keep the outline of R3 to R5 with marks in some places; R10 is
// R6 with two "=" in the middle.
extern const std::array<std::u16string_view, 10> kRulePatterns;

// A flash word: its plain name (printed by the debug overlay) and its four art lines, all of
// the same length so that the word can be right-aligned.
struct FlashWord {
  std::u16string_view name;
  std::array<std::u16string_view, 4> lines;
};
// "want" (25 columns), "to" (12), "quor" (25), "vane" (24) and "?" (7), in that order.
extern const std::array<FlashWord, 5> kFlashWords;

// The lines of the seven info pages, in the order of each page's line table (its drawing
// order). Page 7's entry 7 is the still white line drawn over slot 6: its visible characters
// (digits and brackets) stand only where entry 6, the art line of slot 6, is blank.
extern const std::array<std::u16string_view, 6> kPage1Lines;
extern const std::array<std::u16string_view, 9> kPage2Lines;
extern const std::array<std::u16string_view, 1> kPage3Lines;
extern const std::array<std::u16string_view, 9> kPage4Lines;
extern const std::array<std::u16string_view, 10> kPage5Lines;
extern const std::array<std::u16string_view, 9> kPage6Lines;
extern const std::array<std::u16string_view, 13> kPage7Lines;

// The scroll text in its 40 literal pieces; scroll_text() joins them (5,407 characters).
extern const std::array<std::u16string_view, 40> kScrollPieces;
std::u16string scroll_text();

// Mouse hint and key words.
inline constexpr std::u16string_view kHint =
    u"OH HAI... YOU MOVED THE MOUSE A LOT... HOW BOUT YOU PRESS ENTER AND TYPE SOME KEY WORDS! -WINK-";
inline constexpr std::u16string_view kMouseBanner =
    uR"(^'#'^__/\__/\__##__/\__/\_' [ QUORVANE ] '_/\__/\__##__/\__/\__^'#'^)";
inline constexpr std::u16string_view kLetters = u"abcdefghijklmnopqrstuvwxyz";
inline constexpr std::u16string_view kPictureMessage =
    u"congratulations... easter egg found, pron banner enabled!";
inline constexpr std::u16string_view kContactMessage = u"quorvane at scene dot invalid";
inline constexpr std::u16string_view kClaimMessage = u"all your bookware are belong to quorvane";
inline constexpr std::u16string_view kCreditMessage =
    u"intro coded by kestrow - catch him at the next party bar";

// Typed key words and the message each one shows.
inline constexpr std::u16string_view kKeyWordPicture = u"quorvane";  // banner picture + picture message
inline constexpr std::u16string_view kKeyWordContact = u"email";     // contact message
inline constexpr std::u16string_view kKeyWordClaim = u"bookware";    // claim message
inline constexpr std::u16string_view kKeyWordCredit = u"kestrow";    // credit message

// The closing card, top to bottom (the date follows the badge).
inline constexpr std::u16string_view kClosingA = u"A";
inline constexpr std::u16string_view kClosingTitle = u"'QUORVANE INTRODUCTION'";
inline constexpr std::u16string_view kClosingProduction = u"PRODUCTION";
inline constexpr std::u16string_view kClosingCodedBy = u"Proudly Coded By";

// The debug overlay's title.
inline constexpr std::u16string_view kDebugTitle = u"DEBUG DATA";

}  // namespace texts
