// The show's texts: every shape that a drawing routine relies on (lengths, extents, line
// counts, character kinds) and that every character has a cell in the font strip.
#include "assets/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using std::u16string_view;

std::string narrow(u16string_view s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool in_glyph_order(char16_t c) {
  return texts::kGlyphOrder.find(c) != u16string_view::npos;
}

bool is_lower(char16_t c) {
  return c >= u'a' && c <= u'z';
}
bool is_upper(char16_t c) {
  return c >= u'A' && c <= u'Z';
}
bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Columns of the first and last non-blank character.
std::pair<int, int> extent(u16string_view s) {
  const size_t first = s.find_first_not_of(u' ');
  const size_t last = s.find_last_not_of(u' ');
  return {static_cast<int>(first), static_cast<int>(last)};
}

// 1 where the text has ink, 0 where it is blank.
std::vector<int> ink_mask(u16string_view s) {
  std::vector<int> mask;
  for (char16_t c : s) mask.push_back(c != u' ');
  return mask;
}

int count(u16string_view s, char16_t c) {
  return static_cast<int>(std::count(s.begin(), s.end(), c));
}

std::vector<u16string_view> all_texts() {
  std::vector<u16string_view> all(texts::kLogoLines.begin(), texts::kLogoLines.end());
  all.insert(all.end(), texts::kRulePatterns.begin(), texts::kRulePatterns.end());
  for (const texts::FlashWord& w : texts::kFlashWords) {
    all.push_back(w.name);
    all.insert(all.end(), w.lines.begin(), w.lines.end());
  }
  for (auto line : texts::kPage1Lines) all.push_back(line);
  for (auto line : texts::kPage2Lines) all.push_back(line);
  for (auto line : texts::kPage3Lines) all.push_back(line);
  for (auto line : texts::kPage4Lines) all.push_back(line);
  for (auto line : texts::kPage5Lines) all.push_back(line);
  for (auto line : texts::kPage6Lines) all.push_back(line);
  for (auto line : texts::kPage7Lines) all.push_back(line);
  all.insert(all.end(), texts::kScrollPieces.begin(), texts::kScrollPieces.end());
  all.insert(all.end(),
             {texts::kDate, texts::kHint, texts::kMouseBanner, texts::kLetters, texts::kPictureMessage,
              texts::kContactMessage, texts::kClaimMessage, texts::kCreditMessage, texts::kKeyWordPicture,
              texts::kKeyWordContact, texts::kKeyWordClaim, texts::kKeyWordCredit, texts::kClosingA,
              texts::kClosingTitle, texts::kClosingProduction, texts::kClosingCodedBy, texts::kDebugTitle});
  return all;
}

TEST(GlyphOrder, IsPrintableAsciiWithTildeInThePlaceOfTheDoubleQuote) {
  ASSERT_EQ(texts::kGlyphOrder.size(), 94u);
  for (size_t k = 0; k < texts::kGlyphOrder.size(); ++k) {
    const char16_t expected = k == 2 ? u'~' : static_cast<char16_t>(0x20 + k);
    EXPECT_EQ(texts::kGlyphOrder[k], expected) << "cell " << k;
  }
}

TEST(Texts, UseOnlyCharactersOfTheGlyphOrderAndNeverTheTilde) {
  for (u16string_view text : all_texts()) {
    for (char16_t c : text) {
      EXPECT_TRUE(in_glyph_order(c)) << "in \"" << narrow(text) << "\"";
      // "~" draws as a double quote; none of our texts means one.
      EXPECT_NE(c, u'~') << "in \"" << narrow(text) << "\"";
    }
  }
}

TEST(Texts, FixedLengthsOfTheSingleLines) {
  const struct {
    u16string_view text;
    size_t length;
  } kCases[] = {
      {texts::kDate, 8},          {texts::kHint, 95},           {texts::kMouseBanner, 68},
      {texts::kLetters, 26},      {texts::kPictureMessage, 57}, {texts::kContactMessage, 29},
      {texts::kClaimMessage, 40}, {texts::kCreditMessage, 56},  {texts::kClosingTitle, 23},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.text.size(), c.length) << narrow(c.text);
  EXPECT_EQ(texts::kDate, u"20250101");
}

TEST(Texts, MessagesSayWhatTheirRolesNeed) {
  EXPECT_NE(texts::kCreditMessage.find(u"kestrow"), u16string_view::npos);
  // The contact address is written out in words and names no real address.
  EXPECT_EQ(texts::kContactMessage.find(u'@'), u16string_view::npos);
  EXPECT_NE(texts::kContactMessage.find(u" at "), u16string_view::npos);
  EXPECT_NE(texts::kContactMessage.find(u"invalid"), u16string_view::npos);
}

// The banner is an ornament mirrored around " [ QUORVANE ] " in its middle.
TEST(Texts, MouseBannerIsSymmetricAroundTheGroupName) {
  const u16string_view banner = texts::kMouseBanner;
  const u16string_view middle = u" [ QUORVANE ] ";
  ASSERT_EQ(banner.size(), 68u);
  const size_t side = (banner.size() - middle.size()) / 2;
  EXPECT_EQ(banner.substr(side, middle.size()), middle);
  const auto mirrored = [](char16_t c) { return c == u'/' ? u'\\' : c == u'\\' ? u'/' : c; };
  for (size_t i = 0; i < side; ++i) {
    EXPECT_NE(u16string_view(u"_'/\\#^").find(banner[i]), u16string_view::npos) << "column " << i;
    EXPECT_EQ(mirrored(banner[i]), banner[banner.size() - 1 - i]) << "column " << i;
  }
}

TEST(Texts, KeyWordsAreDistinctLowerCaseWordsOfAtMostEightLetters) {
  const u16string_view words[] = {texts::kKeyWordPicture, texts::kKeyWordContact, texts::kKeyWordClaim,
                                  texts::kKeyWordCredit};
  EXPECT_EQ(words[0], u"quorvane");
  EXPECT_EQ(words[1], u"email");
  EXPECT_EQ(words[2], u"bookware");
  EXPECT_EQ(words[3], u"kestrow");
  for (u16string_view w : words) {
    EXPECT_LE(w.size(), 8u);
    for (char16_t c : w) EXPECT_NE(texts::kLetters.find(c), u16string_view::npos) << narrow(w);
  }
}

TEST(LogoLines, AreNineteenRowsOf82WithSingleMarksInRowsZeroSeventeenAndEighteen) {
  for (size_t k = 0; k < texts::kLogoLines.size(); ++k) {
    const u16string_view row = texts::kLogoLines[k];
    EXPECT_EQ(row.size(), 82u) << "row " << k;
    const int ink = static_cast<int>(row.size()) - count(row, u' ');
    if (k == 0 || k == 17 || k == 18)
      EXPECT_EQ(ink, 1) << "row " << k;
    else
      EXPECT_GT(ink, 1) << "row " << k;
  }
}

TEST(RulePatterns, HaveTheirExtentsAndCharacterSets) {
  const struct {
    int first, last;
    u16string_view allowed;
  } kRules[] = {
      {0, 98, u"-"},  {1, 97, u"- "},     {12, 86, u"- "},     {24, 74, u"- "},     {36, 62, u"- "},
      {42, 56, u"-"}, {12, 86, u"- /\\"}, {24, 74, u"- _/\\"}, {36, 62, u"- =[]+"}, {42, 56, u"-="},
  };
  for (size_t r = 0; r < texts::kRulePatterns.size(); ++r) {
    const u16string_view rule = texts::kRulePatterns[r];
    ASSERT_EQ(rule.size(), 99u) << "R" << r + 1;
    EXPECT_EQ(extent(rule), std::make_pair(kRules[r].first, kRules[r].last)) << "R" << r + 1;
    const u16string_view inside = rule.substr(kRules[r].first, kRules[r].last - kRules[r].first + 1);
    for (char16_t c : inside) EXPECT_NE(kRules[r].allowed.find(c), u16string_view::npos) << "R" << r + 1;
  }
}

// R2 to R5 are runs of dashes with short gaps only near their two ends, and are centred.
TEST(RulePatterns, GapsSitNearBothEndsOfTheCentredRuns) {
  for (size_t r = 1; r <= 4; ++r) {
    const u16string_view rule = texts::kRulePatterns[r];
    const auto [first, last] = extent(rule);
    const int quarter = (last - first + 1) / 4;
    bool left_gap = false, right_gap = false;
    for (int c = first; c <= last; ++c) {
      if (rule[c] != u' ') continue;
      EXPECT_TRUE(c < first + quarter || c > last - quarter) << "R" << r + 1 << " gap at " << c;
      (c < 49 ? left_gap : right_gap) = true;
    }
    EXPECT_TRUE(left_gap && right_gap) << "R" << r + 1;
    std::vector<int> mask = ink_mask(rule);
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), mask.rbegin())) << "R" << r + 1 << " is not centred";
  }
  EXPECT_EQ(count(texts::kRulePatterns[5], u'-'), 15);
}

// R7 to R10 keep the outline of R3 to R6 and add a fixed number of marks.
TEST(RulePatterns, MarkedRulesKeepTheOutlineOfTheirPlainRules) {
  const struct {
    size_t marked, plain;
    std::vector<std::pair<char16_t, int>> marks;  // character, exact count (-1: at least one)
  } kCases[] = {
      {6, 2, {{u'/', 3}, {u'\\', 2}}},
      {7, 3, {{u'_', 6}, {u'/', 1}, {u'\\', 1}}},
      {8, 4, {{u'=', -1}, {u'[', -1}, {u']', -1}, {u'+', -1}}},
      {9, 5, {{u'=', 2}}},
  };
  for (const auto& c : kCases) {
    const u16string_view marked = texts::kRulePatterns[c.marked], plain = texts::kRulePatterns[c.plain];
    EXPECT_EQ(ink_mask(marked), ink_mask(plain)) << "R" << c.marked + 1;
    for (const auto& [mark, n] : c.marks) {
      if (n < 0)
        EXPECT_GT(count(marked, mark), 0) << "R" << c.marked + 1;
      else
        EXPECT_EQ(count(marked, mark), n) << "R" << c.marked + 1;
    }
  }
  // R10's two "=" stand in the middle of R6.
  const u16string_view r10 = texts::kRulePatterns[9];
  const size_t eq = r10.find(u'=');
  EXPECT_GE(eq, 47u);
  EXPECT_LE(eq, 50u);
}

TEST(FlashWords, HaveFourLinesOfTheirFixedWidths) {
  const struct {
    u16string_view name;
    size_t width;
  } kWords[] = {{u"want", 25}, {u"to", 12}, {u"quor", 25}, {u"vane", 24}, {u"?", 7}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(texts::kFlashWords[i].name, kWords[i].name);
    for (u16string_view line : texts::kFlashWords[i].lines) {
      EXPECT_EQ(line.size(), kWords[i].width) << narrow(kWords[i].name);
      EXPECT_LT(count(line, u' '), static_cast<int>(line.size())) << narrow(kWords[i].name);
    }
  }
}

// Character kinds of the page tables.
enum class Kind { kCapitals, kText, kArt, kOverlay };

bool has_kind(u16string_view line, Kind kind) {
  const bool lower = std::any_of(line.begin(), line.end(), is_lower);
  const bool upper = std::any_of(line.begin(), line.end(), is_upper);
  switch (kind) {
    case Kind::kCapitals:
      return upper && !lower;
    case Kind::kText:
      return lower;
    case Kind::kArt:
      return std::any_of(line.begin(), line.end(), [](char16_t c) {
        return u16string_view(u"/\\|_()[]'.*:").find(c) != u16string_view::npos;
      });
    case Kind::kOverlay:
      return std::all_of(line.begin(), line.end(),
                         [](char16_t c) { return c == u' ' || c == u'[' || c == u']' || is_digit(c); }) &&
             std::any_of(line.begin(), line.end(), is_digit);
  }
  return false;
}

struct PageLine {
  size_t length;
  Kind kind;
};

void expect_page(int page, const u16string_view* lines, size_t line_count, std::vector<PageLine> table) {
  ASSERT_EQ(line_count, table.size()) << "page " << page;
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(lines[i].size(), table[i].length) << "page " << page << " line " << i;
    EXPECT_TRUE(has_kind(lines[i], table[i].kind))
        << "page " << page << " line " << i << ": " << narrow(lines[i]);
  }
}

TEST(PageLines, MatchTheLengthsAndKindsOfEachPageTable) {
  constexpr Kind C = Kind::kCapitals, T = Kind::kText, A = Kind::kArt, O = Kind::kOverlay;
  expect_page(1, texts::kPage1Lines.data(), texts::kPage1Lines.size(),
              {{36, C}, {48, A}, {48, A}, {48, A}, {48, A}, {32, C}});
  expect_page(2, texts::kPage2Lines.data(), texts::kPage2Lines.size(),
              {{45, T}, {81, T}, {21, T}, {33, T}, {18, T}, {74, T}, {15, T}, {72, T}, {20, T}});
  expect_page(3, texts::kPage3Lines.data(), texts::kPage3Lines.size(), {{44, C}});
  expect_page(4, texts::kPage4Lines.data(), texts::kPage4Lines.size(),
              {{90, T}, {66, T}, {89, T}, {40, A}, {40, A}, {40, A}, {40, A}, {40, A}, {40, A}});
  expect_page(5, texts::kPage5Lines.data(), texts::kPage5Lines.size(),
              {{52, A}, {52, A}, {52, A}, {52, A}, {71, C}, {67, C}, {59, T}, {45, C}, {63, T}, {70, T}});
  expect_page(6, texts::kPage6Lines.data(), texts::kPage6Lines.size(),
              {{45, A}, {45, A}, {45, A}, {45, A}, {81, T}, {77, T}, {74, T}, {71, T}, {83, T}});
  std::vector<PageLine> page7(13, {96, A});
  page7[7] = {96, O};
  expect_page(7, texts::kPage7Lines.data(), texts::kPage7Lines.size(), page7);
}

// Drawn over the bouncing art line of slot 6, the white line must never cover its ink.
TEST(PageLines, PageSevenOverlayShowsOnlyInTheBlankColumnsOfItsArtLine) {
  const u16string_view art = texts::kPage7Lines[6], overlay = texts::kPage7Lines[7];
  ASSERT_EQ(art.size(), overlay.size());
  int visible = 0;
  for (size_t c = 0; c < overlay.size(); ++c) {
    if (overlay[c] == u' ') continue;
    ++visible;
    EXPECT_EQ(art[c], u' ') << "column " << c;
  }
  EXPECT_GT(visible, 0);
}

TEST(ScrollText, IsFortyPiecesJoinedTo5407CharactersOfMostlyLowerCaseProse) {
  const std::u16string text = texts::scroll_text();
  EXPECT_EQ(text.size(), 5407u);
  EXPECT_EQ(text.substr(0, 4).find_first_not_of(u' '), 3u) << "three leading blanks";
  int blank_runs = 0;
  for (u16string_view piece : texts::kScrollPieces) {
    EXPECT_FALSE(piece.empty());
    if (piece == u16string_view(u"            ")) ++blank_runs;
  }
  EXPECT_EQ(blank_runs, 12);
  // Blank runs separate paragraphs: never two in a row, never first or last.
  for (size_t i = 1; i < texts::kScrollPieces.size(); ++i)
    EXPECT_FALSE(texts::kScrollPieces[i - 1].find_first_not_of(u' ') == u16string_view::npos &&
                 texts::kScrollPieces[i].find_first_not_of(u' ') == u16string_view::npos);
  EXPECT_NE(texts::kScrollPieces.front().find_first_not_of(u' '), u16string_view::npos);
  EXPECT_NE(texts::kScrollPieces.back().find_first_not_of(u' '), u16string_view::npos);
  const auto lower = std::count_if(text.begin(), text.end(), is_lower);
  const auto upper = std::count_if(text.begin(), text.end(), is_upper);
  EXPECT_GT(lower, 20 * upper);
}

}  // namespace
