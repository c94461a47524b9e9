// assets/flash_schedule.h — when the flash words show: the rows of the words phase (order
// positions 1 to 4) that carry a word. The module's composer puts channel 0's stabs on these
// rows and on no others (tools/xmcompose asks word_at() row by row) and the scene shows the
// words on them (show/scene.cpp), so every word lands on a stab and every stab brings a word.
#pragma once

namespace flash_schedule {

// The words, in the order of texts::kFlashWords.
enum Word : int { kNone = -1, kWant = 0, kTo, kQuor, kVane, kQuestion };

inline constexpr int kBarRows = 16;
// Row within each bar of 16 on which each word shows: want, to, quor, vane, ?.
inline constexpr int kWordRows[] = {1, 3, 6, 9, 12};
// The pattern's last bar: positions 1 and 3 show "vane" on row 57 and end on "?" at row 60;
// positions 2 and 4 hold "vane" back to row 58 and show no "?".
inline constexpr int kEarlyVaneRow = 57, kLateVaneRow = 58, kQuestionRow = 60;

constexpr bool late_vane(int position) {
  return position == 2 || position == 4;
}

// The word shown on `row` (0..63) at `position` (1..4), kNone for none.
constexpr int word_at(int position, int row) {
  const int phase = row % kBarRows;
  const bool late = late_vane(position);
  if (phase == kWordRows[kWant]) return kWant;
  if (phase == kWordRows[kTo]) return kTo;
  if (phase == kWordRows[kQuor]) return kQuor;
  if (phase == kWordRows[kVane]) return late && row == kEarlyVaneRow ? kNone : kVane;
  if (phase == kWordRows[kVane] + 1) return late && row == kLateVaneRow ? kVane : kNone;
  if (phase == kWordRows[kQuestion]) return !late && row == kQuestionRow ? kQuestion : kNone;
  return kNone;
}

}  // namespace flash_schedule
