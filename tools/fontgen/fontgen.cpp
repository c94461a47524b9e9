// fontgen OUT.bmp — writes the font strip: an 8-bit Windows bitmap of 752 x 16 pixels holding
// the 94 glyph cells of 8 x 16 side by side, each glyph an 8 x 8 design (glyphs.cpp) with
// every row doubled. The file is the same byte for byte on every run.
//
// Layout: 14-byte file header, 40-byte info header, 256 palette entries (B, G, R, 0), then the
// rows bottom-up, 752 bytes each with no padding. Entry 0 is the background, entry 1 the ink;
// every other entry is black and unused.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "glyphs.h"

namespace {

constexpr int kCells = 94;
constexpr int kCellWidth = 8;
constexpr int kDesignHeight = 8;
constexpr int kStripWidth = kCells * kCellWidth;                           // 752
constexpr int kStripHeight = 2 * kDesignHeight;                            // 16
constexpr uint32_t kPixelOffset = 14 + 40 + 256 * 4;                       // 1,078
constexpr uint32_t kFileSize = kPixelOffset + kStripWidth * kStripHeight;  // 13,110
constexpr uint32_t kPixelsPerMetre = 2851;                                 // 72.4 dpi

// The character each cell shows, as written in the art's label lines. Cell 2 shows a double
// quote, although the glyph order puts "~" there.
std::string cell_label(int cell) {
  if (cell == 0) return "sp";
  return std::string(1, static_cast<char>(0x20 + cell));
}

std::vector<std::string> split_lines(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += *p;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line + ' ') {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// Reads the text art into designs[cell][row] (8 characters of "#" and "."). Returns an empty
// string on success, else what is wrong with the art.
std::string parse_glyphs(std::vector<std::vector<std::string>>& designs) {
  std::vector<std::string> lines = split_lines(fontgen::kGlyphArt);
  char problem[160];
  for (size_t i = 0; i < lines.size();) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    if (lines[i].rfind("> ", 0) != 0) {
      std::snprintf(problem, sizeof problem, "art line %zu: expected a label line", i + 1);
      return problem;
    }
    std::vector<std::string> labels = split_words(lines[i].substr(2));
    if (i + kDesignHeight >= lines.size()) return "art ends inside a block";
    size_t first = designs.size();
    for (const std::string& label : labels) {
      if (label != cell_label(static_cast<int>(designs.size()))) {
        std::snprintf(problem, sizeof problem, "art line %zu: label \"%s\" out of glyph order", i + 1,
                      label.c_str());
        return problem;
      }
      designs.emplace_back();
    }
    for (int row = 0; row < kDesignHeight; ++row) {
      const std::string& line = lines[i + 1 + row];
      std::vector<std::string> groups = split_words(line);
      if (groups.size() != labels.size()) {
        std::snprintf(problem, sizeof problem, "art line %zu: %zu glyphs, label line has %zu", i + 2 + row,
                      groups.size(), labels.size());
        return problem;
      }
      for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].size() != kCellWidth || groups[g].find_first_not_of("#.") != std::string::npos) {
          std::snprintf(problem, sizeof problem, "art line %zu: glyph row \"%s\" is not 8 of # and .",
                        i + 2 + row, groups[g].c_str());
          return problem;
        }
        designs[first + g].push_back(groups[g]);
      }
    }
    i += 1 + kDesignHeight;
  }
  if (designs.size() != kCells) {
    std::snprintf(problem, sizeof problem, "art holds %zu glyphs, the strip needs %d", designs.size(),
                  kCells);
    return problem;
  }
  return "";
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(value & 0xFF);
  out.push_back((value >> 8) & 0xFF);
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

std::vector<uint8_t> encode_strip(const std::vector<std::vector<std::string>>& designs) {
  std::vector<uint8_t> out;
  out.reserve(kFileSize);
  out.push_back('B');
  out.push_back('M');
  put32(out, kFileSize);
  put32(out, 0);  // two reserved 16-bit fields
  put32(out, kPixelOffset);
  put32(out, 40);
  put32(out, kStripWidth);
  put32(out, kStripHeight);  // positive: bottom-up
  put16(out, 1);
  put16(out, 8);
  put32(out, 0);  // no compression
  put32(out, kStripWidth * kStripHeight);
  put32(out, kPixelsPerMetre);
  put32(out, kPixelsPerMetre);
  put32(out, 256);
  put32(out, 256);
  const uint8_t background[4] = {0x55, 0x33, 0x33, 0};  // B, G, R, 0: RGB (0x33, 0x33, 0x55)
  const uint8_t ink[4] = {0xAA, 0xCC, 0xCC, 0};         // RGB (0xCC, 0xCC, 0xAA)
  out.insert(out.end(), background, background + 4);
  out.insert(out.end(), ink, ink + 4);
  out.resize(kPixelOffset, 0);
  for (int y = kStripHeight - 1; y >= 0; --y) {
    for (int cell = 0; cell < kCells; ++cell) {
      const std::string& row = designs[cell][y / 2];
      for (int x = 0; x < kCellWidth; ++x) out.push_back(row[x] == '#' ? 1 : 0);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: fontgen OUT.bmp\n");
    return 2;
  }
  std::vector<std::vector<std::string>> designs;
  std::string problem = parse_glyphs(designs);
  if (!problem.empty()) {
    std::fprintf(stderr, "fontgen: glyph art: %s\n", problem.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes = encode_strip(designs);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "fontgen: %s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
