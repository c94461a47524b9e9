// The big letters of the group name, shared by the banner and the icon. Square, bold shapes on
// a 5 x 7 grid; every outer corner is bevelled and every inner corner filled by a half-cell
// triangle, so the steps of the diagonals read as straight slopes. Q's tail hangs one row
// below the baseline.
#include <cmath>
#include <cstring>

#include "pictures.h"

namespace picturegen {
namespace {

struct LetterArt {
  char letter;
  const char* rows[kLetterRows + 1];
};

constexpr LetterArt kLetters[] = {
    {'Q', {"#####", "#...#", "#...#", "#...#", "#...#", "#..##", "#####", "...##"}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "#####", "....."}},
    {'O', {"#####", "#...#", "#...#", "#...#", "#...#", "#...#", "#####", "....."}},
    {'R', {"#####", "#...#", "#...#", "#####", "#..#.", "#...#", "#...#", "....."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "##.##", ".#.#.", "..#..", "....."}},
    {'A', {"#####", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#", "....."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####", "....."}},
};

const LetterArt* find_letter(char letter) {
  for (const LetterArt& art : kLetters)
    if (art.letter == letter) return &art;
  return nullptr;
}

bool filled(const LetterArt& art, int column, int row) {
  if (column < 0 || row < 0 || column >= kLetterColumns || row > kLetterRows) return false;
  return art.rows[row][column] == '#';
}

}  // namespace

bool letter_covers(char letter, float u, float v) {
  const LetterArt* art = find_letter(letter);
  if (!art || u < 0 || v < 0) return false;
  int column = static_cast<int>(u), row = static_cast<int>(v);
  float fu = u - column, fv = v - row;
  // The corner of the cell the point is nearest to, and the two neighbours beside that corner.
  int dx = fu < 0.5f ? -1 : 1, dy = fv < 0.5f ? -1 : 1;
  float corner_u = dx < 0 ? fu : 1 - fu, corner_v = dy < 0 ? fv : 1 - fv;
  bool in_corner = corner_u + corner_v < 0.5f;
  bool side = filled(*art, column + dx, row), above_below = filled(*art, column, row + dy);
  bool diagonal = filled(*art, column + dx, row + dy);  // a diagonal stroke passes this corner
  if (filled(*art, column, row)) return !(in_corner && !side && !above_below && !diagonal);
  return in_corner && side && above_below;
}

}  // namespace picturegen
