// The score of "quorvane", in A minor at 125 BPM, speed 6 (4 rows a beat, 16 rows a bar,
// 4 bars a pattern, 7.68 s a pattern). Every order position has a pattern of its own.
//
// The shape follows the show: order 0 is a sparse opening; orders 1 to 4 build up under the
// flash words, swelling from about 4 dB under the main phase, with stabs on channel 0 exactly
// on the rows where words appear and on no others (the flash schedule names them: rows 1, 3, 6
// and 9 of every 16; the last bar ends 57 and 60 in orders 1 and 3, 58 in orders 2 and 4);
// order 5 on is the full arrangement, and the song loops back to order 5. In the full
// arrangement channel 0 keeps a quiet stab figure on the word rows of every bar (phase 12
// included), so the show's channel-0 effects pulse steadily, and closes each phrase at full
// strength. The main phase moves in level: the breakdown of order 9, the drop at the end of
// order 12, the disco groove of order 13 a step up, order 14's thin first bar, and the hook of
// order 15 on top with the loudest crash, before order 16 settles back towards the loop.
//
// Notation. Melodies: 16 tokens a bar, one per row: "A5" note (octave 5), "G#4" sharp,
// "/B5" tone portamento to B5, "." hold, "~" vibrato, "<" fade, "^" key off.
// Drums: one character a row, 64 a pattern ("|" only separates bars): kick X x k (loud, soft,
// softest), snare S s (loud, ghost), d (ghost half a row late), r R (rolls: 2 and 3 hits a
// row); hats h H (soft, loud), o open.
// Bass: r root, o octave, f fifth, ^ key off, . hold.
#include "tools/xmcompose/score.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/flash_schedule.h"
#include "module/xm_commands.h"
#include "tools/xmcompose/instruments.h"

namespace xmcompose {
namespace {

constexpr int kRows = 64;
constexpr int kBarRows = 16;
constexpr uint8_t kKeyOff = xm::kFileKeyOff;
constexpr int kEchoRows = 3;  // the echo's delay: a dotted eighth

// Effect numbers of the XM effect column, shared with the player.
using xm::kArpeggio, xm::kPortaUp, xm::kPortaDown, xm::kTonePorta, xm::kVibrato, xm::kVolumeSlide,
    xm::kPositionJump, xm::kSetPanning, xm::kGlobalVolume, xm::kSetVolume, xm::kPatternBreak, xm::kExtended;
constexpr uint8_t kSpeed = xm::kSpeedBpm;  // below 0x20: ticks per row

uint8_t vol(int v) {
  return static_cast<uint8_t>(0x10 + v);
}

[[noreturn]] void score_error(const std::string& what) {
  std::fprintf(stderr, "xmcompose: score error: %s\n", what.c_str());
  std::exit(1);
}

// --- Pitches and chords ----------------------------------------------------------------------

int pitch_class(char letter) {
  static const int kClass[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (letter < 'A' || letter > 'G') score_error(std::string("bad note letter ") + letter);
  return kClass[letter - 'A'];
}

// "A5", "G#4" → XM note number (C-0 = 1).
uint8_t note_number(const std::string& name) {
  size_t i = 0;
  int pc = pitch_class(name[i++]);
  if (i < name.size() && name[i] == '#') {
    ++pc;
    ++i;
  }
  if (i + 1 != name.size() || name[i] < '0' || name[i] > '7') score_error("bad note " + name);
  return static_cast<uint8_t>(12 * (name[i] - '0') + pc + 1);
}

struct Chord {
  int root = 0;   // pitch class
  int third = 4;  // semitones above the root
};

std::array<Chord, 4> parse_chords(const std::string& line) {
  std::array<Chord, 4> out;
  size_t at = 0;
  for (Chord& c : out) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size()) score_error("four chords needed in \"" + line + "\"");
    c.root = pitch_class(line[at++]);
    if (at < line.size() && line[at] == '#') c.root = (c.root + 1) % 12, ++at;
    if (at < line.size() && line[at] == 'm') c.third = 3, ++at;
  }
  return out;
}

int wrap12(int v) {
  return ((v % 12) + 12) % 12;
}

// Registers: pads keep every chord tone inside G-3..F#4 for smooth voice leading; the chip
// and stab roots sit in F#3..F-4; the bass roots in E-2..D#3.
uint8_t pad_note(int pc) {
  return static_cast<uint8_t>(44 + wrap12(pc - 7));
}
uint8_t mid_root(const Chord& c) {
  return static_cast<uint8_t>(43 + wrap12(c.root - 6));
}
uint8_t bass_root(const Chord& c) {
  return static_cast<uint8_t>(29 + wrap12(c.root - 4));
}

// --- Parts -----------------------------------------------------------------------------------

using Bar = const char*;
using Melody = std::array<Bar, 4>;

// clang-format off
const Melody kThemeA = {
    "E5 .  .  .  A5 .  G5 .  E5 .  .  .  D5 .  C5 .",   // Am
    "C5 .  .  .  .  .  A4 .  C5 .  D5 .  F5 .  E5 .",   // F
    "G5 .  .  .  E5 .  C5 .  G5 .  .  .  A5 .  G5 .",   // C
    "D5 .  .  .  .  .  ~  ~  ~  ~  ^  .  B4 .  D5 .",   // G
};
const Melody kThemeA2 = {
    "E5 .  .  .  A5 .  G5 .  E5 .  .  .  D5 .  E5 .",   // Am
    "F5 .  .  .  E5 .  C5 .  A4 .  .  .  C5 .  D5 .",   // F
    "E5 .  .  .  G5 .  C6 .  B5 .  G5 .  E5 .  D5 .",   // C
    "D5 .  .  .  /E5 . ~  ~  ~  ~  ~  ~  <  <  ^  .",   // G
};
const Melody kThemeB = {
    "A5 .  .  C6 .  .  A5 .  G5 .  .  .  F5 .  .  .",   // F
    "G5 .  .  .  .  .  D5 .  G5 .  A5 .  /B5 . .  .",   // G
    "B5 .  .  .  .  .  G5 .  E5 .  .  .  ~  ~  ~  ~",   // Em
    "A5 .  .  .  ~  ~  ~  ~  ~  ~  ~  ~  ^  .  E5 .",   // Am
};
const Melody kThemeB2 = {
    "C6 .  .  A5 .  .  C6 .  D6 .  .  .  C6 .  A5 .",   // F
    "B5 .  .  .  G5 .  D5 .  G5 .  B5 .  D6 .  .  .",   // G
    "E6 .  .  .  D6 .  B5 .  G5 .  .  .  /A5 . .  .",   // Em
    "A5 .  .  .  ~  ~  ~  ~  ~  ~  ~  ~  <  <  ^  .",   // Am
};
// The second time round (orders 11 to 14) the calls come back, the answers are new: theme A
// an octave up, theme B in its own register over a harmony line on channel 10.
const Melody kThemeA3 = {
    "E6 .  .  .  A6 .  G6 .  E6 .  .  .  D6 .  C6 .",   // Am
    "A5 .  .  .  C6 .  F6 .  E6 .  .  .  C6 .  A5 .",   // F
    "G6 .  .  .  E6 .  C6 .  G6 .  .  .  A6 .  G6 .",   // C
    "D6 .  .  .  G6 .  .  .  F6 .  E6 .  D6 .  B5 .",   // G
};
const Melody kThemeA4 = {
    "E6 .  .  .  A6 .  G6 .  E6 .  .  .  D6 .  E6 .",   // Am
    "C6 .  .  .  A5 .  C6 .  F6 .  .  .  E6 .  C6 .",   // F
    "E6 .  .  .  G6 .  C7 .  B6 .  G6 .  E6 .  D6 .",   // C
    "D6 .  .  .  /E6 . ~  ~  ~  ~  ~  ~  <  <  ^  .",   // G
};
const Melody kThemeB3 = {
    "A5 .  .  C6 .  .  A5 .  G5 .  .  .  F5 .  .  .",   // F
    "G5 .  .  B5 .  .  D6 .  C6 .  .  .  B5 .  A5 .",   // G
    "B5 .  .  .  .  .  G5 .  E5 .  .  .  ~  ~  ~  ~",   // Em
    "C6 .  .  .  B5 .  A5 .  E5 .  .  .  A5 .  C6 .",   // Am
};
const Melody kThemeB4 = {
    "C6 .  .  A5 .  .  C6 .  D6 .  .  .  C6 .  A5 .",   // F
    "D6 .  .  B5 .  .  G5 .  D6 .  .  .  G6 .  F6 .",   // G
    "E6 .  .  .  D6 .  B5 .  G5 .  .  .  /A5 . .  .",   // Em
    "A5 .  .  .  C6 .  .  .  E6 .  .  .  ~  ~  <  ^",   // Am
};
// Order 15's hook: short notes with gaps for the dotted-eighth echo to answer, the same
// two-bar figure stated over Am–F and again over C–G.
const Melody kHook = {
    "A5 .  E6 .  ^  .  D6 .  E6 .  ^  .  C6 .  B5 .",   // Am
    "C6 .  A5 .  ^  .  F5 .  A5 .  C6 .  ^  .  .  .",   // F
    "G5 .  E6 .  ^  .  D6 .  E6 .  ^  .  G6 .  E6 .",   // C
    "D6 .  .  .  B5 .  .  .  G5 .  ~  ~  ~  ~  ^  .",   // G
};
const Melody kBreakA = {
    "F5 .  .  .  .  .  .  .  E5 .  .  .  D5 .  .  .",   // Dm
    "E5 .  .  .  .  .  .  .  ~  ~  ~  ~  ~  ~  ^  .",   // Am
    "C5 .  .  .  .  .  .  .  D5 .  .  .  E5 .  .  .",   // F
    "G#5 . .  .  .  .  .  .  ~  ~  ~  ~  B5 .  .  .",   // E
};
const Melody kBreakB = {
    "A5 .  .  .  .  .  F5 .  D5 .  .  .  F5 .  A5 .",   // Dm
    "C6 .  .  .  .  .  B5 .  A5 .  .  .  E5 .  .  .",   // Am
    "F5 .  .  .  A5 .  C6 .  F6 .  .  .  E6 .  C6 .",   // F
    "B5 .  .  .  .  .  .  .  G#5 . .  .  ~  ~  ^  .",   // E
};

struct Groove {
  const char* kick;
  const char* snare;
  const char* hats;
};

// A soft hit on every eighth row of the opening: the show flashes the logo there.
const Groove kIntroGroove = {
    "x.......k.......|x.......k.......|x.......k.......|x.......k.......",
    "................|................|................|................",
    "........h.......|........h.......|........h.......|........h.......",
};
const Groove kBuild1 = {
    "X...x...X...x...|X...x...X...x...|X...x...X...x...|X...x...X...x...",
    "................|................|................|................",
    "................|................|................|................",
};
const Groove kBuild2 = {
    "X...x...X...x...|X...x...X...x...|X...x...X...x...|X...x...X...x.x.",
    "................|................|................|................",
    "..h...h...h...h.|..h...h...h...h.|..h...h...h...h.|..h...h...h.h.hh",
};
const Groove kBuild3 = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|X...X...X...X.x.",
    "....S.......S...|....S.......S...|....S.......S...|....S.......S.sS",
    "..H...H...H...H.|..H...H...H...H.|..H...H...H...H.|..H...H...H.H.HH",
};
const Groove kBuild4 = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|X...X...X...X...",
    "....S.......S...|....S.......S...|....S.......S...|S...S...rrrrRRRR",
    "hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|hhHhhhHh........",
};
const Groove kFull = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|X...X...X...X.x.",
    "....S.......S..s|....S.......S...|....S.......S..s|....S.......S.sS",
    "hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhoHo",
};
// The second theme's last bar drops the kick for a snare roll under the riser, so the disco
// groove of order 13 lands as a lift in the middle of the main phase.
const Groove kFullDrop = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|................",
    "....S.......S..s|....S.......S...|....S.......S..s|........rrrrRRRR",
    "hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|hhHhhhHhhhHhhhHo|..h...h...h.h.hh",
};
const Groove kDisco = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|X...X...X...X.x.",
    "....S.......S..d|....S.......S...|....S.......S..d|....S.......S.sS",
    "hhohhhohhhohhhoh|hhohhhohhhohhhoh|hhohhhohhhohhhoh|hhohhhohhhohhoHo",
};
// Order 14 opens thin: for one bar the kick on the beats and a snare pick-up alone under the
// lead (pads, chip and hats rest), then the groove comes back, and its last bar rolls into the
// hook under a riser.
const Groove kDiscoThin = {
    "X.......X.......|X...X...X...X...|X...X...X...X...|X...X...X...X.x.",
    "............S.sS|....S.......S...|....S.......S..d|....S...rrrrRRRR",
    "................|hhohhhohhhohhhoh|hhohhhohhhohhhoh|hhohhhohhhoh....",
};
// The breakdown: its first half is pads and lead alone (the section's bare rows), then the
// kick comes back at half time.
const Groove kBreakdown = {
    "................|................|X.......X.......|X.......X...X.x.",
    "................|................|................|....S.......S.sS",
    "................|................|..h...h...h...h.|..h...h...h.h.hh",
};
// Its last bar alternates loud and soft kicks: full kicks under the full snares and the
// closing stab made the song's one peak over -1 dBFS there.
const Groove kBreakBuild = {
    "X...X...X...X...|X...X...X...X...|X...X...X...X...|X.x.X.x.X.x.X.x.",
    "................|................|....S.......S...|S.S.S.S.rrrrRRRR",
    "..h...h...h...h.|..h...h...h...h.|hhHhhhHhhhHhhhHo|hhHhhhHh........",
};

const char* kBassLong = "r..............^|r..............^|r..............^|r..............^";
const char* kBassEighths = "r.o.r.o.r.o.r.o.|r.o.r.o.r.o.r.o.|r.o.r.o.r.o.r.o.|r.o.r.o.r.o.r.o.";
const char* kBassMain = "r.o.r.o.r.oor.o.|r.o.r.o.r.oor.o.|r.o.r.o.r.oor.o.|r.o.r.o.f.o.f.of";
const char* kBassFunk = "r..ro.r.r..ro.ro|r..ro.r.r..ro.ro|r..ro.r.r..ro.ro|r..ro.r.f..fo.fo";
// Order 12: the bass holds the last bar's root for half a bar, then leaves the drop to the snare roll.
const char* kBassDrop = "r..ro.r.r..ro.ro|r..ro.r.r..ro.ro|r..ro.r.r..ro.ro|r.......^.......";
const char* kBassReturn = "................|................|r...............|r...............";

enum class Chip { kNone, kBell, kArp, kArpThirds, kChord };
enum class Accents { kNone, kWords, kPulse };
// Channel 10 follows the lead: as its echo, or as a harmony line under it.
enum class Second { kEcho, kHarmony };

// Rows of each bar on which the flash words fall.
using flash_schedule::kWordRows;

struct Section {
  const char* chords;
  const Groove* groove;
  const char* bass;  // nullptr: no bass
  Chip chip;
  bool pads;
  const Melody* melody;  // nullptr: no lead
  Second second;
  Accents accents;
  int crash;  // the crash's volume on the first row, 0 for none
  bool riser;
  int bare_rows;  // rows at the start with pads and lead only; the lead moves to channel 0 there
  int thin_rows;  // rows at the start without pads, chip and hats: the groove's own bar is thin too
  // The master level (global volume, 0..64) of the first and the last bar; the bars between
  // step evenly from one to the other. This is the song's fader: the build-up swells under the
  // words, the themes sit a little under the disco groove and the hook rides highest.
  int level_first, level_last;
  bool lift;  // the hook's return: lead, pads and chip a step up
};

// The arrangement, one line per order position.
const Section kSections[] = {
    // chords       groove         bass          chip              pads  lead       channel 10        accents          crash  riser  bare thin  level   lift
    {"Am F C G",  &kIntroGroove, nullptr,      Chip::kBell,      true, nullptr,   Second::kEcho,    Accents::kNone,  24,    false, 0,   0,  58, 58, false},  // 0
    {"Am F C G",  &kBuild1,      kBassLong,    Chip::kNone,      true, nullptr,   Second::kEcho,    Accents::kWords, 0,     false, 0,   0,  34, 42, false},  // 1
    {"Am F C G",  &kBuild2,      kBassEighths, Chip::kBell,      true, nullptr,   Second::kEcho,    Accents::kWords, 0,     false, 0,   0,  44, 50, false},  // 2
    {"Am F C G",  &kBuild3,      kBassEighths, Chip::kArp,       true, nullptr,   Second::kEcho,    Accents::kWords, 0,     false, 0,   0,  52, 55, false},  // 3
    {"Am F C G",  &kBuild4,      kBassEighths, Chip::kArp,       true, nullptr,   Second::kEcho,    Accents::kWords, 0,     true,  0,   0,  56, 57, false},  // 4
    {"Am F C G",  &kFull,        kBassMain,    Chip::kArp,       true, &kThemeA,  Second::kEcho,    Accents::kPulse, 36,    false, 0,   0,  57, 57, false},  // 5
    {"Am F C G",  &kFull,        kBassMain,    Chip::kArp,       true, &kThemeA2, Second::kEcho,    Accents::kPulse, 0,     false, 0,   0,  57, 57, false},  // 6
    {"F G Em Am", &kFull,        kBassMain,    Chip::kArp,       true, &kThemeB,  Second::kEcho,    Accents::kPulse, 36,    false, 0,   0,  58, 58, false},  // 7
    {"F G Em Am", &kFull,        kBassMain,    Chip::kArp,       true, &kThemeB2, Second::kEcho,    Accents::kPulse, 0,     false, 0,   0,  58, 58, false},  // 8
    {"Dm Am F E", &kBreakdown,   kBassReturn,  Chip::kChord,     true, &kBreakA,  Second::kEcho,    Accents::kPulse, 0,     false, 32,  0,  56, 56, false},  // 9
    {"Dm Am F E", &kBreakBuild,  kBassEighths, Chip::kArp,       true, &kBreakB,  Second::kEcho,    Accents::kPulse, 0,     true,  0,   0,  56, 58, false},  // 10
    {"Am F C G",  &kFull,        kBassFunk,    Chip::kArpThirds, true, &kThemeA3, Second::kHarmony, Accents::kPulse, 36,    false, 0,   0,  58, 58, false},  // 11
    {"Am F C G",  &kFullDrop,    kBassDrop,    Chip::kArpThirds, true, &kThemeA4, Second::kHarmony, Accents::kPulse, 0,     true,  0,   0,  58, 58, false},  // 12
    {"F G Em Am", &kDisco,       kBassMain,    Chip::kArpThirds, true, &kThemeB3, Second::kHarmony, Accents::kPulse, 44,    false, 0,   0,  60, 60, false},  // 13
    {"F G Em Am", &kDiscoThin,   kBassMain,    Chip::kArpThirds, true, &kThemeB4, Second::kHarmony, Accents::kPulse, 0,     true,  0,   16, 60, 60, false},  // 14
    {"Am F C G",  &kFull,        kBassMain,    Chip::kArp,       true, &kHook,    Second::kEcho,    Accents::kPulse, 64,    false, 0,   0,  64, 64, true },  // 15
    {"Dm Am F E", &kDisco,       kBassFunk,    Chip::kArpThirds, true, &kBreakB,  Second::kEcho,    Accents::kPulse, 0,     false, 0,   0,  56, 56, false},  // 16
};
// clang-format on
constexpr int kOrderCount = sizeof kSections / sizeof kSections[0];
constexpr int kRestart = 5;  // the full arrangement
constexpr int kBreakdownOrder = 9;

// The mix: each instrument's default volume (0..64), stored as its sample's volume so that the
// balance holds on any player; the volume column only departs from it for dynamics. A centred
// voice at volume 64 reaches a quarter of full scale on each side of an FT2-style mix, so the
// kick, snare and hats sit at the top and the rest are set against them. The stab stands only
// a few dB under the whole mix in its first 60 ms even as the quieter pulse of the main phase,
// so the beat the show flashes on is heard too. The master level (global volume, per bar in the
// arrangement) stays under full: the hook at 64 with the stab on top of its busiest rows peaks
// at about -1.1 dBFS through the intro's player, the rest at 56 to 60 peaks lower.
// clang-format off
constexpr int kMix[kInstrumentCount + 1] = {
    0,
    /* stab */ 50, /* kick */ 64, /* snare */ 64, /* hat */ 64, /* open hat */ 58, /* bass */ 60,
    /* chip */ 28, /* pad */ 27, /* lead */ 60, /* echo */ 26, /* crash */ 36, /* sweep */ 40,
};
// clang-format on
constexpr int kLiftStep = 4;  // the hook's lead, pads and chip: about 0.6 dB up
constexpr int kStabVolume = kMix[kStab];
constexpr int kPadVolume = kMix[kPad];
constexpr int kLeadVolume = kMix[kLead];
constexpr int kEchoVolume = kMix[kEcho];
constexpr int kChipVolume = kMix[kChip];
constexpr int kPulseVolume = 40;    // channel 0's steady figure, under the phrase-closing stabs
constexpr int kHarmonyVolume = 32;  // channel 10 as a harmony line: above the echo's level
// The pad voices stand apart (lowest left, middle right, highest centre), set with 8xx on every
// chord: an instrument's own panning envelope would restart on each chord.
constexpr uint8_t kPadPanning[3] = {64, 192, 128};

// --- The song grid ---------------------------------------------------------------------------

class Grid {
 public:
  Grid() : cells_(static_cast<size_t>(kOrderCount * kRows * kChannelCount)) {}

  // The cell at a row counted from the start of `order`. Rows past the song's end (an echo's
  // tail) go to a tail that wrap_tail() places at the restart position.
  XmCell* at(int order, int row, int channel) {
    const int global = order * kRows + row;
    if (global < 0) return nullptr;
    if (global >= kOrderCount * kRows) {
      const int past = global - kOrderCount * kRows;
      return past < kRows ? &tail_[static_cast<size_t>(past * kChannelCount + channel)] : nullptr;
    }
    return &cells_[static_cast<size_t>(global * kChannelCount + channel)];
  }
  void note(int order, int row, int channel, uint8_t note, uint8_t instrument, int volume) {
    if (XmCell* c = at(order, row, channel)) {
      c->note = note;
      c->instrument = instrument;
      // Notes at their instrument's own level need no volume byte.
      c->volume = volume > 0 && (instrument == 0 || volume != kMix[instrument]) ? vol(volume) : 0;
    }
  }
  void effect(int order, int row, int channel, uint8_t effect, uint8_t param) {
    if (XmCell* c = at(order, row, channel)) c->effect = effect, c->param = param;
  }
  void key_off(int order, int row, int channel) {
    if (XmCell* c = at(order, row, channel)) *c = XmCell{kKeyOff, 0, 0, 0, 0};
  }

  // The song's tail rings on where the song continues: each tail cell goes to the same row of
  // the restart position where that cell is still empty (the first time through, nothing is
  // playing there for it to act on).
  void wrap_tail() {
    for (int r = 0; r < kRows; ++r)
      for (int ch = 0; ch < kChannelCount; ++ch) {
        const XmCell& t = tail_[static_cast<size_t>(r * kChannelCount + ch)];
        XmCell* c = at(kRestart, r, ch);
        if ((t.note || t.effect || t.volume) && !c->note && !c->effect && !c->volume && !c->instrument)
          *c = t;
      }
  }

  std::vector<XmPattern> patterns() const {
    std::vector<XmPattern> out(kOrderCount);
    for (int o = 0; o < kOrderCount; ++o) {
      const auto first = cells_.begin() + o * kRows * kChannelCount;
      out[static_cast<size_t>(o)].cells.assign(first, first + kRows * kChannelCount);
    }
    return out;
  }

 private:
  std::vector<XmCell> cells_;
  std::vector<XmCell> tail_ = std::vector<XmCell>(static_cast<size_t>(kRows * kChannelCount));
};

std::string strip_bars(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (*p != '|') out += *p;
  if (out.size() != kRows) score_error(std::string("pattern line is not 64 rows: ") + text);
  return out;
}

std::vector<std::string> tokens(const char* bar) {
  std::vector<std::string> out;
  std::string word;
  for (const char* p = bar;; ++p) {
    if (*p == ' ' || *p == 0) {
      if (!word.empty()) out.push_back(word), word.clear();
      if (*p == 0) break;
    } else {
      word += *p;
    }
  }
  if (out.size() != kBarRows) score_error(std::string("melody bar is not 16 rows: ") + bar);
  return out;
}

void write_drums(Grid& g, int order, const Groove& groove) {
  const std::string kick = strip_bars(groove.kick), snare = strip_bars(groove.snare),
                    hats = strip_bars(groove.hats);
  for (int r = 0; r < kRows; ++r) {
    if (kick[r] == 'X') g.note(order, r, kKickChannel, 49, kKick, kMix[kKick]);
    if (kick[r] == 'x') g.note(order, r, kKickChannel, 49, kKick, 42);
    if (kick[r] == 'k') g.note(order, r, kKickChannel, 49, kKick, 28);
    const int roll_volume = 26 + 2 * (r % kBarRows);  // rolls swell towards the next bar
    switch (snare[r]) {
      case 'S':
        g.note(order, r, kSnareChannel, 49, kSnare, kMix[kSnare]);
        break;
      case 's':
        g.note(order, r, kSnareChannel, 49, kSnare, 20);
        break;
      case 'd':  // three ticks late: a ghost note between the sixteenths
        g.note(order, r, kSnareChannel, 49, kSnare, 20);
        g.effect(order, r, kSnareChannel, kExtended, 0xD3);
        break;
      case 'r':
        g.note(order, r, kSnareChannel, 49, kSnare, roll_volume);
        g.effect(order, r, kSnareChannel, kExtended, 0x93);
        break;
      case 'R':
        g.note(order, r, kSnareChannel, 49, kSnare, roll_volume);
        g.effect(order, r, kSnareChannel, kExtended, 0x92);
        break;
    }
    // Hats set their level with the effect column's set-volume instead of the volume column.
    const struct {
      char mark;
      uint8_t instrument;
      uint8_t level;
    } kHats[] = {{'h', kHat, 34}, {'H', kHat, kMix[kHat]}, {'o', kOpenHat, kMix[kOpenHat]}};
    for (const auto& h : kHats)
      if (hats[r] == h.mark) {
        g.note(order, r, kHatChannel, 49, h.instrument, 0);
        g.effect(order, r, kHatChannel, kSetVolume, h.level);
      }
  }
}

void write_bass(Grid& g, int order, const char* line, const std::array<Chord, 4>& chords) {
  const std::string bass = strip_bars(line);
  for (int r = 0; r < kRows; ++r) {
    const Chord& c = chords[static_cast<size_t>(r / kBarRows)];
    const uint8_t root = bass_root(c);
    switch (bass[r]) {
      case 'r':
        g.note(order, r, kBassChannel, root, kBass, kMix[kBass]);
        break;
      case 'o':
        g.note(order, r, kBassChannel, root + 12, kBass, kMix[kBass] - 6);
        break;
      case 'f':
        g.note(order, r, kBassChannel, root + 7, kBass, kMix[kBass] - 6);
        break;
      case '^':
        g.key_off(order, r, kBassChannel);
        break;
    }
  }
}

// Pads rest through a section's thin rows and strike again on the first bar after them.
void write_pads(Grid& g, int order, const Section& s, const std::array<Chord, 4>& chords,
                const Chord*& last) {
  const int volume = s.lift ? kPadVolume + kLiftStep : kPadVolume;
  for (int bar = 0; bar < 4; ++bar) {
    if (bar * kBarRows < s.thin_rows) continue;
    const Chord& c = chords[static_cast<size_t>(bar)];
    const bool restrike = s.thin_rows > 0 && bar * kBarRows == s.thin_rows;
    if (!restrike && last && last->root == c.root && last->third == c.third)
      continue;  // held across the bar line
    last = &c;
    std::array<uint8_t, 3> notes = {pad_note(c.root), pad_note(c.root + c.third), pad_note(c.root + 7)};
    std::sort(notes.begin(), notes.end());
    for (int v = 0; v < 3; ++v) {
      g.note(order, bar * kBarRows, kPadChannel1 + v, notes[static_cast<size_t>(v)], kPad, volume);
      g.effect(order, bar * kBarRows, kPadChannel1 + v, kSetPanning, kPadPanning[v]);
    }
  }
}

void write_chip(Grid& g, int order, Chip mode, const std::array<Chord, 4>& chords, bool lift) {
  const int level = lift ? kChipVolume + kLiftStep : kChipVolume;
  // Chord-tone indices, one a row: up and down, and climbing in broken thirds.
  static const char kArpSteps[] = "0123432101234321";
  static const char kArpThirds[] = "0213243502132435";
  for (int r = 0; r < kRows; ++r) {
    const Chord& c = chords[static_cast<size_t>(r / kBarRows)];
    const int root = mid_root(c);
    const int tones[6] = {root, root + c.third, root + 7, root + 12, root + 12 + c.third, root + 19};
    const int step = r % kBarRows;
    switch (mode) {
      case Chip::kNone:
        break;
      case Chip::kBell:  // a few high chord tones a bar
        if (step == 0 || step == 6 || step == 10)
          g.note(order, r, kChipChannel,
                 static_cast<uint8_t>(tones[step == 0   ? 3
                                            : step == 6 ? 4
                                                        : 5]),
                 kChip, level + 2);
        break;
      case Chip::kArp:
        g.note(order, r, kChipChannel, static_cast<uint8_t>(tones[kArpSteps[step] - '0']), kChip,
               step % 2 ? level - 6 : level);
        break;
      case Chip::kArpThirds:
        g.note(order, r, kChipChannel, static_cast<uint8_t>(tones[kArpThirds[step] - '0']), kChip,
               step % 2 ? level - 6 : level);
        break;
      case Chip::kChord:  // the root every beat, the chord played by the arpeggio effect
        if (step % 4 == 0) g.note(order, r, kChipChannel, static_cast<uint8_t>(root + 12), kChip, level + 2);
        g.effect(order, r, kChipChannel, kArpeggio, c.third == 3 ? 0x37 : 0x47);
        break;
    }
  }
}

void write_accents(Grid& g, int order, Accents mode, const std::array<Chord, 4>& chords) {
  std::vector<int> rows;
  switch (mode) {
    case Accents::kNone:
      break;
    case Accents::kWords:  // the build-up: a stab on every row that shows a word, and on no other
      for (int r = 0; r < kRows; ++r)
        if (flash_schedule::word_at(order, r) != flash_schedule::kNone) rows.push_back(r);
      break;
    case Accents::kPulse:  // the words rhythm in every bar, quietly until the phrase closes
      for (int bar = 0; bar < 4; ++bar)
        for (int w : kWordRows) rows.push_back(bar * kBarRows + w);
      break;
  }
  for (int r : rows) {
    const bool quiet = mode == Accents::kPulse && r < 3 * kBarRows;
    g.note(order, r, kAccentChannel, mid_root(chords[static_cast<size_t>(r / kBarRows)]), kStab,
           quiet ? kPulseVolume : kStabVolume);
  }
}

// The chord tone nearest under `lead` and at least a minor third below it: a harmony line of
// such notes always sits in the chord of its bar.
uint8_t harmony_note(uint8_t lead, const Chord& c) {
  for (int n = lead - 3; n > 0; --n) {
    const int interval = wrap12(n - 1 - c.root);
    if (interval == 0 || interval == c.third || interval == 7) return static_cast<uint8_t>(n);
  }
  score_error("no harmony under note " + std::to_string(lead));
}

// The lead, and on channel 10 either its echo a dotted eighth later (three rows; the echo
// instrument sits on the other side of the stereo field) or a harmony line in time with it.
// Slides are echoed as slides. In a section's bare rows the lead plays on channel 0, so that
// the show's channel-0 effects follow the melody there.
void write_melody(Grid& g, int order, const Section& s, const std::array<Chord, 4>& chords) {
  const bool harmony = s.second == Second::kHarmony;
  const int delay = harmony ? 0 : kEchoRows;
  const int lift = s.lift ? kLiftStep : 0;
  const int lead_volume = std::min(64, kLeadVolume + lift);
  const int second_volume = (harmony ? kHarmonyVolume : kEchoVolume) + lift;
  for (int bar = 0; bar < 4; ++bar) {
    const std::vector<std::string> row_tokens = tokens((*s.melody)[static_cast<size_t>(bar)]);
    const Chord& chord = chords[static_cast<size_t>(bar)];
    for (int step = 0; step < kBarRows; ++step) {
      const std::string& t = row_tokens[static_cast<size_t>(step)];
      const int r = bar * kBarRows + step;
      const int lead = r < s.bare_rows ? kAccentChannel : kLeadChannel;
      if (t == ".") continue;
      if (t == "~") {
        g.effect(order, r, lead, kVibrato, 0x62);
        if (harmony) g.effect(order, r, kEchoChannel, kVibrato, 0x62);
      } else if (t == "<") {
        g.effect(order, r, lead, kVolumeSlide, 0x03);
        if (harmony) g.effect(order, r, kEchoChannel, kVolumeSlide, 0x03);
      } else if (t == "^") {
        g.key_off(order, r, lead);
        g.key_off(order, r + delay, kEchoChannel);
      } else {
        const bool slide = t[0] == '/';
        const uint8_t n = note_number(slide ? t.substr(1) : t);
        const uint8_t second = harmony ? harmony_note(n, chord) : n;
        g.note(order, r, lead, n, slide ? 0 : kLead, lead_volume);
        g.note(order, r + delay, kEchoChannel, second, slide ? 0 : kEcho, second_volume);
        if (slide) {
          g.effect(order, r, lead, kTonePorta, 0x08);
          g.effect(order, r + delay, kEchoChannel, kTonePorta, 0x08);
        }
      }
    }
  }
}

// A section's bare rows keep only the pads, the lead and its echo: the other parts are
// cleared there, and those whose instruments sustain are keyed off on the first row.
void clear_bare_rows(Grid& g, int order, int rows) {
  for (int r = 0; r < rows; ++r)
    for (int ch :
         {kAccentChannel, kKickChannel, kSnareChannel, kHatChannel, kBassChannel, kChipChannel, kFxChannel})
      *g.at(order, r, ch) = XmCell{};
  if (rows > 0)
    for (int ch : {kHatChannel, kBassChannel, kChipChannel}) g.key_off(order, 0, ch);
}

// Channels whose instruments sustain are released when their part ends.
void release_ended_parts(Grid& g, int order, const Section& previous, const Section& now) {
  if (previous.melody && !now.melody) {
    g.key_off(order, 0, kLeadChannel);
    g.key_off(order, kEchoRows, kEchoChannel);
  }
  if (previous.chip != Chip::kNone && now.chip == Chip::kNone) g.key_off(order, 0, kChipChannel);
  if (previous.riser && now.crash == 0) g.key_off(order, 0, kFxChannel);
}

// A section's thin rows: pads, chip, bass and hats rest (the groove's own first bar holds only
// the kick on the beats and a pick-up), each of them keyed off on the first row, so that the
// lead, its harmony and channel 0's stabs stand alone.
void thin_out(Grid& g, int order, int rows) {
  for (int r = 0; r < rows; ++r)
    for (int ch : {kChipChannel, kBassChannel}) *g.at(order, r, ch) = XmCell{};
  if (rows > 0)
    for (int ch : {kHatChannel, kBassChannel, kChipChannel, kPadChannel1, kPadChannel2, kPadChannel3})
      g.key_off(order, 0, ch);
}

// The master level at the start of every bar where it changes, and always on the restart
// position's first row (the loop arrives there from the last order's level). Global volume sits
// in the kick channel's effect column, which the drums leave free.
void write_levels(Grid& g, int order, const Section& s, int& level) {
  for (int bar = 0; bar < 4; ++bar) {
    const int at = s.level_first + (s.level_last - s.level_first) * bar / 3;
    if (at == level && !(order == kRestart && bar == 0)) continue;
    level = at;
    g.effect(order, bar * kBarRows, kKickChannel, kGlobalVolume, static_cast<uint8_t>(at));
  }
}

void write_specials(Grid& g) {
  // Speed 6, 125 BPM, stated in the first row as well as in the header.
  g.effect(0, 0, kKickChannel, kSpeed, 6);
  g.effect(0, 0, kSnareChannel, kSpeed, 125);
  // The opening's master level; from order 1 on write_levels() moves it bar by bar.
  g.effect(0, 0, kFxChannel, kGlobalVolume, static_cast<uint8_t>(kSections[0].level_first));
  // The pads swell in during the first beat.
  for (int r = 1; r <= 2; ++r)
    for (int ch = kPadChannel1; ch <= kPadChannel3; ++ch) g.effect(0, r, ch, kVolumeSlide, 0x10);
  for (int ch = kPadChannel1; ch <= kPadChannel3; ++ch) g.at(0, 0, ch)->volume = vol(8);
  // The breakdown ends with the bass diving an octave.
  for (int r = 52; r < kRows; ++r)
    g.effect(kBreakdownOrder, r, kBassChannel, kPortaDown, r == 52 ? 0x03 : 0x00);
  // The kick's return in the breakdown.
  g.note(kBreakdownOrder, 32, kFxChannel, 49, kCrash, kMix[kCrash]);
  // Order 8 closes its pattern with an explicit break (to row 0 of the next order).
  g.effect(8, 63, kFxChannel, kPatternBreak, 0x00);
  // The last row jumps back to the full arrangement, the same place the restart position names.
  g.effect(kOrderCount - 1, 63, kFxChannel, kPositionJump, kRestart);
}

void write_fx(Grid& g, int order, const Section& s) {
  if (s.crash > 0) g.note(order, 0, kFxChannel, 49, kCrash, s.crash);
  if (!s.riser) return;
  // A noise riser over the last bar: bent up by portamento, louder every row.
  g.note(order, 48, kFxChannel, 37, kSweep, 6);
  for (int r = 48; r < kRows; ++r) {
    g.effect(order, r, kFxChannel, kPortaUp, r == 48 ? 0x06 : 0x00);
    if (r > 48) g.at(order, r, kFxChannel)->volume = 0x93;  // fine volume up by 3
  }
}

}  // namespace

XmSong compose_song() {
  Grid g;
  const Chord* last_pad_chord = nullptr;
  int level = kSections[0].level_first;
  std::vector<std::array<Chord, 4>> chords(kOrderCount);
  for (int o = 0; o < kOrderCount; ++o) chords[static_cast<size_t>(o)] = parse_chords(kSections[o].chords);
  for (int o = 0; o < kOrderCount; ++o) {
    const Section& s = kSections[o];
    const auto& c = chords[static_cast<size_t>(o)];
    if (o > 0) release_ended_parts(g, o, kSections[o - 1], s);
    write_drums(g, o, *s.groove);
    if (s.bass) write_bass(g, o, s.bass, c);
    write_chip(g, o, s.chip, c, s.lift);
    if (s.pads) write_pads(g, o, s, c, last_pad_chord);
    write_accents(g, o, s.accents, c);
    write_fx(g, o, s);
    clear_bare_rows(g, o, s.bare_rows);
    thin_out(g, o, s.thin_rows);
    if (o > 0) write_levels(g, o, s, level);
    // A harmony line takes channel 10 over on the downbeat, cutting the echo's tail short.
    if (o > 0 && s.second == Second::kHarmony && kSections[o - 1].second == Second::kEcho)
      for (int r = 0; r < kEchoRows; ++r) *g.at(o, r, kEchoChannel) = XmCell{};
    if (s.melody) write_melody(g, o, s, c);
  }
  write_specials(g);
  g.wrap_tail();

  XmSong song;
  song.name = "quorvane";
  song.tracker = "quorvane xmcompose";
  song.channels = kChannelCount;
  song.speed = 6;
  song.bpm = 125;
  song.restart = kRestart;
  for (int o = 0; o < kOrderCount; ++o) song.orders.push_back(static_cast<uint8_t>(o));
  song.patterns = g.patterns();
  for (XmPattern& p : song.patterns) p.rows = kRows;
  song.instruments = make_instruments();
  for (size_t i = 0; i < song.instruments.size(); ++i)
    song.instruments[i].sample.volume = static_cast<uint8_t>(kMix[i + 1]);
  return song;
}

}  // namespace xmcompose
