// The cell commands, family by family: a one-channel song built here is stepped tick by tick
// and one value of the channel is compared, tick for tick, with a short table. The note C4 of
// the test instrument plays at linear period 4608 with volume 64 and panning 128.
#include "module/commands.h"

#include <string>

#include "module_fixture.h"

using namespace xmw;

namespace {

constexpr int kC4Period = 4608;
constexpr int kE4Period = 4608 - 4 * 64;

using Field = int (*)(const music_module&, const music_channel&);
const Field kPeriod = [](const music_module&, const music_channel& ch) { return int(ch.period); };
const Field kPeriodOffset = [](const music_module&, const music_channel& ch) {
  return int(ch.period_offset);
};
const Field kVolume = [](const music_module&, const music_channel& ch) { return int(ch.volume); };
const Field kVolumeOffset = [](const music_module&, const music_channel& ch) {
  return int(ch.volume_offset);
};
const Field kPanning = [](const music_module&, const music_channel& ch) { return int(ch.panning); };
const Field kVoice = [](const music_module&, const music_channel& ch) { return int(ch.voice); };
const Field kGlobalVolume = [](const music_module& m, const music_channel&) { return int(m.global_volume); };

// One case: the cells of channel 0, row after row, at `speed`; `expected` holds the field after
// each tick from the first.
struct TickCase {
  const char* name;
  int speed;
  std::vector<music_cell> rows;
  Field field;
  std::vector<int> expected;
  bool linear = true;
};

Song one_channel_song(int speed, const std::vector<music_cell>& rows, bool linear = true) {
  Song song;
  song.speed = speed;
  song.linear = linear;
  song.patterns.resize(1);
  song.patterns[0].rows = int(rows.size()) + 1;
  song.instruments.push_back(square_instrument(1024, 1));
  for (size_t r = 0; r < rows.size(); ++r) song.cell(0, int(r), 0) = rows[r];
  return song;
}

std::vector<int> run(const TickCase& c) {
  Player p(one_channel_song(c.speed, c.rows, c.linear));
  std::vector<int> values;
  if (!p.module) return values;
  for (size_t t = 0; t < c.expected.size(); ++t) {
    p.tick();
    values.push_back(c.field(p.m(), p.channel(0)));
  }
  return values;
}

class Commands : public ::testing::TestWithParam<TickCase> {};
TEST_P(Commands, StepTickByTick) {
  EXPECT_EQ(run(GetParam()), GetParam().expected);
}
std::string case_name(const ::testing::TestParamInfo<TickCase>& info) {
  return info.param.name;
}
void PrintTo(const TickCase& c, std::ostream* out) {
  *out << c.name;
}

// Cell shorthands: a note with instrument 1, and a cell without a note.
music_cell note(uint8_t n, uint8_t volume = 0, uint8_t effect = 0, uint8_t parameter = 0) {
  return {n, 1, volume, effect, parameter};
}
music_cell fx(uint8_t effect, uint8_t parameter, uint8_t volume = 0) {
  return {0, 0, volume, effect, parameter};
}
music_cell vol(uint8_t volume) {
  return {0, 0, volume, 0, 0};
}

// ---- Volume column -------------------------------------------------------------------------
const TickCase kVolumeColumn[] = {
    // 0x6x slides on every tick, the row start included: 6 × 15 = 90 at speed 6, clamped at 0.
    {"SlideDownEveryTick", 6, {note(C4, 0x6F)}, kVolume, {49, 34, 19, 4, 0, 0}},
    {"FineSlideDownOnRowStartOnly", 6, {note(C4, 0x8F)}, kVolume, {49, 49, 49, 49, 49, 49}},
    {"SlideUpEveryTickCappedAt64", 3, {note(C4, 0x30), vol(0x7F)}, kVolume, {32, 32, 32, 47, 62, 64}},
    {"FineSlideUpOnRowStartOnly", 3, {note(C4, 0x30), vol(0x9F)}, kVolume, {32, 32, 32, 47, 47, 47}},
    {"SetVolumeAndUnusedBytes", 2, {note(C4, 0x50), vol(0x20), vol(0x51)}, kVolume, {64, 64, 16, 16, 16, 16}},
    {"SetPanning", 2, {note(C4, 0xC4)}, kPanning, {64, 64}},
    // Panning slides are not clamped in the channel (the apply step clamps what the voice gets).
    {"PanningSlideLeftPastZero", 3, {note(C4, 0xC1), vol(0xDF)}, kPanning, {16, 16, 16, 1, -14, -29}},
    {"PanningSlideRightPast255", 3, {note(C4, 0xCF), vol(0xEF)}, kPanning, {240, 240, 240, 255, 270, 285}},
    // 0xAx sets the speed only; 0xBx sets the depth and vibrates on the other ticks.
    {"VibratoSpeedThenDepth", 4, {note(C4, 0xA8), vol(0xBF)}, kPeriodOffset, {0, 0, 0, 0, 0, 0, -84, -116}},
    // 3xx starts a slide of 2 × 4 per tick; 0xF1 goes on at 16 × 4 to the same target.
    {"TonePortaContinues",
     3,
     {note(C4), {E4, 0, 0, 3, 0x02}, vol(0xF1)},
     kPeriod,
     {kC4Period, kC4Period, kC4Period, kC4Period, 4600, 4592, 4592, 4528, 4464}},
};
INSTANTIATE_TEST_SUITE_P(VolumeColumn, Commands, ::testing::ValuesIn(kVolumeColumn), case_name);

// Unlike 3xx, a volume-column tone portamento with a note sets the note's period at once and
// only holds back the retrigger: the channel stays on its voice.
TEST(VolumeColumn, TonePortaWithANoteSetsThePeriodWithoutRetrigger) {
  Player p(one_channel_song(3, {note(C4), {E4, 0, 0xF1, 0, 0}}));
  p.tick(3);
  ASSERT_EQ(p.channel(0).voice, 0);
  p.tick();
  EXPECT_EQ(p.channel(0).period, kE4Period);
  EXPECT_EQ(p.channel(0).voice, 0);
}

// ---- Pitch: arpeggio, portamentos ----------------------------------------------------------
const TickCase kPitch[] = {
    // Ticks 1, 2, 3, 4, 5 → x, y, none, x, y semitones (64 each in linear mode).
    {"Arpeggio", 6, {note(C4, 0, 0, 0x37)}, kPeriodOffset, {0, 192, 448, 0, 192, 448}},
    {"ArpeggioZeroDoesNothing", 3, {note(C4)}, kPeriodOffset, {0, 0, 0}},
    {"PortaUpFloorsAt56", 6, {note(C4, 0, 1, 0xFF)}, kPeriod, {4608, 3588, 2568, 1548, 528, 56}},
    {"PortaDownHasNoLimit", 6, {note(C4, 0, 2, 0xFF)}, kPeriod, {4608, 5628, 6648, 7668, 8688, 9708}},
    {"PortaUpReusesItsMemory", 2, {note(C4, 0, 1, 0x01), fx(1, 0)}, kPeriod, {4608, 4604, 4604, 4600}},
    {"PortaDirectionsHaveTheirOwnMemory",
     2,
     {note(C4, 0, 1, 0x02), fx(2, 0x01), fx(1, 0), fx(2, 0)},
     kPeriod,
     {4608, 4600, 4600, 4604, 4604, 4596, 4596, 4600}},
    // Tone portamento keeps the old period on its row start and stops at the target.
    {"TonePortaStopsAtTheTarget",
     3,
     {note(C4), {E4, 0, 0, 3, 0x30}, fx(3, 0)},
     kPeriod,
     {kC4Period, kC4Period, kC4Period, kC4Period, 4416, kE4Period, kE4Period, kE4Period, kE4Period}},
    {"TonePortaUpwards",
     2,
     {note(E4), {C4, 0, 0, 3, 0x40}, fx(3, 0)},
     kPeriod,
     {kE4Period, kE4Period, kE4Period, kC4Period, kC4Period, kC4Period}},
    {"FinePortamento",
     2,
     {note(C4, 0, 0xE, 0x12), fx(0xE, 0x10), fx(0xE, 0x23), fx(0xE, 0x20)},
     kPeriod,
     {4600, 4600, 4592, 4592, 4604, 4604, 4616, 4616}},
    {"ExtraFinePortamento",
     2,
     {note(C4, 0, 0x21, 0x13), fx(0x21, 0x10), fx(0x21, 0x25), fx(0x21, 0x20), fx(0x21, 0x35)},
     kPeriod,
     {4605, 4605, 4602, 4602, 4607, 4607, 4612, 4612, 4612, 4612}},
};
INSTANTIATE_TEST_SUITE_P(Pitch, Commands, ::testing::ValuesIn(kPitch), case_name);

// In Amiga mode arpeggio adds the difference of the two notes' periods (negative: higher).
TEST(Pitch, AmigaArpeggioUsesThePeriodTable) {
  const int base = music_amiga_period(48, 0);
  const int up3 = music_amiga_period(51, 0) - base, up7 = music_amiga_period(55, 0) - base;
  ASSERT_LT(up7, up3);
  ASSERT_LT(up3, 0);
  EXPECT_EQ(run({"", 6, {note(C4, 0, 0, 0x37)}, kPeriodOffset, {0, up3, up7, 0, up3, up7}, false}),
            (std::vector<int>{0, up3, up7, 0, up3, up7}));
}

// ---- Vibrato and tremolo ---------------------------------------------------------------------
// Vibrato depth 15: sine positions 0, 8, 16, 24 give 0, 84, 116, 84, negative for p >= 0.
const TickCase kWaves[] = {
    {"VibratoSineOverTwoRows",
     4,
     {note(C4, 0, 4, 0x8F), fx(4, 0)},
     kPeriodOffset,
     {0, 0, -84, -116, -84, -84, 0, 84}},
    // Ramp: p × 8 for p >= 0, then 255 − ((p × 8) mod 256): -32 → 255, -24 → 191.
    {"VibratoRamp",
     4,
     {note(C4, 0, 0xE, 0x41), fx(4, 0x8F), fx(4, 0)},
     kPeriodOffset,
     {0, 0, 0, 0, 0, 0, -28, -60, -88, -88, 116, 88}},
    // Square at full depth: 116 either way; speed 15 takes the position 0, 15, 30, then -19.
    {"VibratoSquare",
     3,
     {note(C4, 0, 0xE, 0x42), fx(4, 0xFF), fx(4, 0)},
     kPeriodOffset,
     {0, 0, 0, -116, -116, -116, -116, -116, 116}},
    {"VibratoWaveform3IsSquare",
     3,
     {note(C4, 0, 0xE, 0x43), fx(4, 0xFF), fx(4, 0)},
     kPeriodOffset,
     {0, 0, 0, -116, -116, -116, -116, -116, 116}},
    // A new instrument resets the position unless the waveform nibble has bit 2.
    {"VibratoPositionResetsOnInstrument",
     4,
     {note(C4, 0, 0xE, 0x40), fx(4, 0x8F), note(C4, 0, 4, 0)},
     kPeriodOffset,
     {0, 0, 0, 0, 0, 0, -84, -116, 0}},
    {"VibratoPositionKeptWithWaveform4",
     4,
     {note(C4, 0, 0xE, 0x44), fx(4, 0x8F), note(C4, 0, 4, 0)},
     kPeriodOffset,
     {0, 0, 0, 0, 0, 0, -84, -116, -84}},
    // Tremolo depth 4 at volume 32: sine 181 → 11, 255 → 15; only on other ticks.
    {"TremoloSine",
     5,
     {note(C4, 0x30, 7, 0x84), fx(7, 0)},
     kVolumeOffset,
     {0, 0, 11, 15, 11, 0, 0, -11, -15, -11}},
    // Volume 58: at most +6; volume 10: at most −10.
    {"TremoloStaysWithin0To64",
     4,
     {note(C4, 0x4A, 7, 0x8F), fx(7, 0, 0x1A)},
     kVolumeOffset,
     {0, 0, 6, 6, 0, 42, 0, -10}},
    {"TremoloWaveform3IsSine",
     5,
     {note(C4, 0x30, 0xE, 0x73), fx(7, 0x84)},
     kVolumeOffset,
     {0, 0, 0, 0, 0, 0, 0, 11, 15, 11}},
    {"TremoloSquare", 3, {note(C4, 0x30, 0xE, 0x72), fx(7, 0x81)}, kVolumeOffset, {0, 0, 0, 0, 3, 3}},
    // The row after the tremolo keeps the last offset in its volume: 32 − 11 = 21.
    {"TremoloOffsetStaysAfterItsRow",
     5,
     {note(C4, 0x30, 7, 0x84), fx(7, 0), fx(0, 0)},
     kVolume,
     {32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 21}},
    // 6xy and 5xy slide with the memory that Axy shares with them.
    {"VolumeSlideMemoryIsShared",
     4,
     {note(C4, 0, 4, 0x8F), fx(6, 0x02), fx(0xA, 0), fx(5, 0)},
     kVolume,
     {64, 64, 64, 64, 64, 62, 60, 58, 58, 56, 54, 52, 52, 50, 48, 46}},
};
INSTANTIATE_TEST_SUITE_P(Waves, Commands, ::testing::ValuesIn(kWaves), case_name);

// ---- Volume ----------------------------------------------------------------------------------
const TickCase kVolumes[] = {
    {"VolumeSlideRecallsItsMemory",
     4,
     {note(C4, 0, 0xA, 0x02), fx(0xA, 0)},
     kVolume,
     {64, 62, 60, 58, 58, 56, 54, 52}},
    {"VolumeSlideUpWinsOverDown", 3, {note(C4, 0x30, 0xA, 0x21)}, kVolume, {32, 34, 36}},
    // Cxx is not clamped; the next slide up brings it back to 64.
    {"SetVolumeAbove64Stays", 3, {note(C4, 0, 0xC, 0x50), fx(0xA, 0x10)}, kVolume, {80, 80, 80, 80, 64, 64}},
    {"FineVolumeShareOneMemory",
     2,
     {note(C4, 0x30, 0xE, 0xA4), fx(0xE, 0xB0), fx(0xE, 0xA0)},
     kVolume,
     {36, 36, 32, 32, 36, 36}},
    {"NoteCut", 4, {note(C4, 0, 0xE, 0xC2)}, kVolume, {64, 64, 0, 0}},
    {"NoteCutAtTickZeroNeverCuts", 4, {note(C4, 0, 0xE, 0xC0)}, kVolume, {64, 64, 64, 64}},
    {"GlobalVolumeAndItsSlide",
     3,
     {note(C4, 0, 0x10, 0x50), fx(0x10, 0x30), fx(0x11, 0x02), fx(0x11, 0), fx(0x11, 0xF0)},
     kGlobalVolume,
     {64, 64, 64, 48, 48, 48, 48, 46, 44, 44, 42, 40, 40, 55, 64}},
    // On 2 ticks, off 3, on the row start too; T00 goes on with the same times.
    {"Tremor",
     8,
     {note(C4, 0x30, 0x1D, 0x12), fx(0x1D, 0)},
     kVolumeOffset,
     {0, 0, -32, -32, -32, 0, 0, -32, -32, -32, 0, 0, -32, -32, -32, 0}},
    {"TremorWithoutEarlierTimesIsOneOnOneOff",
     4,
     {note(C4, 0x30, 0x1D, 0x00)},
     kVolumeOffset,
     {0, -32, 0, -32}},
};
INSTANTIATE_TEST_SUITE_P(Volume, Commands, ::testing::ValuesIn(kVolumes), case_name);

// ---- Retriggers --------------------------------------------------------------------------------
// A retrigger on a sounding channel moves it to the partner voice: 0 ↔ 32.
const TickCase kRetriggers[] = {
    {"RetriggerEveryOtherTick", 6, {note(C4, 0, 0xE, 0x92)}, kVoice, {0, 0, 32, 32, 0, 0}},
    {"RetriggerZeroNever", 4, {note(C4, 0, 0xE, 0x90)}, kVoice, {0, 0, 0, 0}},
    {"MultiRetriggerEveryThirdTick", 7, {note(C4, 0, 0x1B, 0x03)}, kVoice, {0, 0, 0, 32, 32, 32, 0}},
    {"MultiRetriggerReusesTypeAndInterval",
     3,
     {note(C4, 0x30, 0x1B, 0x11), fx(0x1B, 0)},
     kVolume,
     {32, 31, 30, 30, 29, 28}},
    // Delayed to tick 2: until then the row sounds as the row before; then instrument reset
    // (volume 64), the volume column's row-start meaning (0x30: 32) and the new period.
    {"NoteDelayVoice", 4, {note(C4, 0x20), {E4, 1, 0x30, 0xE, 0xD2}}, kVoice, {0, 0, 0, 0, 0, 0, 32, 32}},
    {"NoteDelayVolume",
     4,
     {note(C4, 0x20), {E4, 1, 0x30, 0xE, 0xD2}},
     kVolume,
     {16, 16, 16, 16, 16, 16, 32, 32}},
    {"NoteDelayPeriod",
     4,
     {note(C4, 0x20), {E4, 1, 0x30, 0xE, 0xD2}},
     kPeriod,
     {kC4Period, kC4Period, kC4Period, kC4Period, kC4Period, kC4Period, kE4Period, kE4Period}},
    {"NoteDelayZeroNeverSounds", 4, {note(C4), {E4, 1, 0, 0xE, 0xD0}}, kVoice, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"NoteDelayBeyondTheRowNeverSounds",
     4,
     {note(C4), {E4, 1, 0, 0xE, 0xD5}},
     kVoice,
     {0, 0, 0, 0, 0, 0, 0, 0}},
};
INSTANTIATE_TEST_SUITE_P(Retrigger, Commands, ::testing::ValuesIn(kRetriggers), case_name);

// A pattern delay lengthens the row, so a note delay past the speed still sounds within it.
TEST(Retrigger, NoteDelayReachesIntoAPatternDelay) {
  Song song = one_channel_song(4, {});
  song.channels = 2;
  song.patterns[0].rows = 2;
  song.cell(0, 0, 0) = note(C4, 0, 0xE, 0xD6);
  song.cell(0, 0, 1) = fx(0xE, 0xE1);
  Player p(song);
  p.tick(6);
  EXPECT_EQ(p.voice(0).sample, nullptr);
  p.tick();
  EXPECT_EQ(p.m().row, 0);
  EXPECT_NE(p.voice(0).sample, nullptr);
}

// Multi retrigger's volume table, from volume 32, and its clamping to 0..64.
TEST(Retrigger, MultiRetriggerVolumeTable) {
  const int from32[16] = {32, 31, 30, 28, 24, 16, 21, 16, 32, 33, 34, 36, 40, 48, 48, 64};
  for (int type = 0; type < 16; ++type) {
    const uint8_t parameter = uint8_t(type << 4 | 1);
    EXPECT_EQ(run({"", 2, {note(C4, 0x30, 0x1B, parameter)}, kVolume, {32, from32[type]}}),
              (std::vector<int>{32, from32[type]}))
        << "type " << type;
  }
  EXPECT_EQ(run({"", 2, {note(C4, 0x38, 0x1B, 0xF1)}, kVolume, {40, 64}})[1], 64);
  EXPECT_EQ(run({"", 2, {note(C4, 0x1A, 0x1B, 0x51)}, kVolume, {10, 0}})[1], 0);
}

// Type 8 keeps the volume but still passes it to the voice with the trigger.
TEST(Retrigger, MultiRetriggerType8SetsTheVolumeUpdate) {
  Player p(one_channel_song(3, {note(C4, 0x30, 0x1B, 0x81)}));
  p.tick(2);
  EXPECT_EQ(p.channel(0).volume, 32);
  EXPECT_EQ(p.channel(0).update & (kUpdateVolume | kUpdateTrigger), kUpdateVolume | kUpdateTrigger);
}

// ---- Panning -------------------------------------------------------------------------------------
const TickCase kPannings[] = {
    {"SetPanning", 2, {note(C4, 0, 8, 0x40), fx(0xE, 0x8F)}, kPanning, {64, 64, 240, 240}},
    {"PanningSlideRightCappedAt255",
     3,
     {note(C4, 0xCE, 0x19, 0x20), fx(0x19, 0), fx(0x19, 0xF0), fx(0x19, 0)},
     kPanning,
     {224, 226, 228, 228, 230, 232, 232, 247, 255, 255, 255, 255}},
    {"PanningSlideLeftFloorsAt0", 3, {note(C4, 0x00, 8, 0x06), fx(0x19, 0x05)}, kPanning, {6, 6, 6, 6, 1, 0}},
};
INSTANTIATE_TEST_SUITE_P(Panning, Commands, ::testing::ValuesIn(kPannings), case_name);

// ---- Sample offset -----------------------------------------------------------------------------
// The test sample is 1024 frames long and loops over all of it.
TEST(SampleOffset, StartsTheNoteAtTheOffset) {
  Player p(one_channel_song(2, {note(C4, 0, 9, 0x02), fx(0, 0), note(D4, 0, 9, 0)}));
  p.tick();
  EXPECT_EQ(p.voice(0).position >> 32, 512);
  p.tick(4);
  EXPECT_EQ(p.voice(0).position >> 32, 512) << "9xx with 00 reuses the offset";
}

TEST(SampleOffset, AtOrPastTheLoopEndRestartsTheSoundingVoiceWithoutRetrigger) {
  Player p(one_channel_song(2, {note(C4), note(D4, 0, 9, 0x04)}));
  p.tick(2);
  std::vector<float> buffer(2 * 100);
  music_mix(p.m().voices, buffer.data(), 100);
  ASSERT_GT(p.voice(0).position, 0);
  const music_sample* sample = p.voice(0).sample;
  p.tick();
  EXPECT_EQ(p.channel(0).voice, 0);  // no hand-over: no new note
  EXPECT_EQ(p.voice(0).sample, sample);
  EXPECT_EQ(p.voice(0).position, 0);
}

TEST(SampleOffset, OnARowWithoutANoteTheNextTriggerStartsThere) {
  Player p(one_channel_song(1, {note(C4), fx(9, 0x03), fx(0, 0), note(C4)}));
  p.tick(3);
  EXPECT_EQ(p.voice(0).position >> 32, 0);
  p.tick();
  EXPECT_EQ(p.voice(0).position >> 32, 768);
}

// ---- Song position ---------------------------------------------------------------------------------
struct RowPlayed {
  int order, row, ticks;
  bool operator==(const RowPlayed& o) const { return order == o.order && row == o.row && ticks == o.ticks; }
};
std::ostream& operator<<(std::ostream& out, const RowPlayed& r) {
  return out << "(" << r.order << ", " << r.row << ", " << r.ticks << " ticks)";
}

// Plays `count` rows and lists each with the number of ticks it lasted.
std::vector<RowPlayed> rows_played(Player& p, int count) {
  std::vector<RowPlayed> rows;
  while (true) {
    const bool row_start = p.m().tick == 0;
    if (row_start && int(rows.size()) == count) break;
    p.tick();
    if (row_start)
      rows.push_back({p.m().order_position, p.m().row, 1});
    else
      ++rows.back().ticks;
  }
  return rows;
}

// Song of `channels` channels and three 8-row patterns played in orders 0 1 2; `cells` places
// commands as (pattern, row, channel, effect, parameter).
struct Placed {
  int pattern, row, channel;
  uint8_t effect, parameter;
};
Song position_song(int channels, const std::vector<Placed>& cells, int speed = 2) {
  Song song;
  song.channels = channels;
  song.speed = speed;
  song.orders = {0, 1, 2};
  song.restart = 1;
  song.patterns.resize(3);
  for (Pattern& pattern : song.patterns) pattern.rows = 8;
  song.instruments.push_back(square_instrument(64, 1));
  for (const Placed& c : cells) song.cell(c.pattern, c.row, c.channel) = {0, 0, 0, c.effect, c.parameter};
  return song;
}

// `expected` lists the rows played after the first `skip` rows.
struct PositionCase {
  const char* name;
  int channels;
  std::vector<Placed> cells;
  std::vector<RowPlayed> expected;
  int skip = 0;
};

const PositionCase kPositions[] = {
    {"BreakToRow", 1, {{0, 1, 0, 0xD, 0x05}}, {{0, 0, 2}, {0, 1, 2}, {1, 5, 2}, {1, 6, 2}}},
    // D64: 6 × 10 + 4 = 64 is above 63, so row 0 of the next order.
    {"Break64GoesToRowZero", 1, {{0, 1, 0, 0xD, 0x64}}, {{0, 0, 2}, {0, 1, 2}, {1, 0, 2}}},
    // A row past the next pattern's 8 rows plays that pattern from row 0.
    {"BreakPastThePatternEnd", 1, {{0, 1, 0, 0xD, 0x12}}, {{0, 0, 2}, {0, 1, 2}, {1, 0, 2}}},
    // A break on the last order goes to order 0, not to the restart position.
    {"BreakOnTheLastOrderWrapsToZero", 1, {{2, 0, 0, 0xD, 0x03}}, {{2, 0, 2}, {0, 3, 2}}, 16},
    {"Jump", 1, {{0, 1, 0, 0xB, 0x02}}, {{0, 0, 2}, {0, 1, 2}, {2, 0, 2}}},
    {"JumpPastTheSongGoesToZero", 1, {{0, 1, 0, 0xB, 0x07}}, {{0, 1, 2}, {0, 0, 2}}, 1},
    // Bxx then Dxx in a later channel: Bxx's order with Dxx's row.
    {"JumpThenBreak", 2, {{0, 1, 0, 0xB, 0x02}, {0, 1, 1, 0xD, 0x04}}, {{0, 1, 2}, {2, 4, 2}}, 1},
    // Dxx then Bxx in a later channel: Bxx wins entirely.
    {"BreakThenJump", 2, {{0, 1, 0, 0xD, 0x04}, {0, 1, 1, 0xB, 0x02}}, {{0, 1, 2}, {2, 0, 2}}, 1},
    {"PatternLoop",
     1,
     {{0, 1, 0, 0xE, 0x60}, {0, 2, 0, 0xE, 0x62}},
     {{0, 0, 2}, {0, 1, 2}, {0, 2, 2}, {0, 1, 2}, {0, 2, 2}, {0, 1, 2}, {0, 2, 2}, {0, 3, 2}}},
    // Without an E60 the loop starts at row 0 (a fresh channel's loop row).
    {"PatternLoopWithoutStart",
     1,
     {{0, 1, 0, 0xE, 0x61}},
     {{0, 0, 2}, {0, 1, 2}, {0, 0, 2}, {0, 1, 2}, {0, 2, 2}}},
    // Pattern delay: (1 + x) × speed ticks, the commands of the row still act once it ends.
    {"PatternDelay", 1, {{0, 1, 0, 0xE, 0xE2}}, {{0, 0, 2}, {0, 1, 6}, {0, 2, 2}}},
    {"PatternDelayWithBreak", 2, {{0, 1, 0, 0xE, 0xE1}, {0, 1, 1, 0xD, 0x03}}, {{0, 1, 4}, {1, 3, 2}}, 1},
    {"PatternDelayWithJump", 2, {{0, 1, 0, 0xB, 0x02}, {0, 1, 1, 0xE, 0xE1}}, {{0, 1, 4}, {2, 0, 2}}, 1},
    {"PatternDelayWithLoop",
     2,
     {{0, 0, 0, 0xE, 0x60}, {0, 1, 0, 0xE, 0x61}, {0, 1, 1, 0xE, 0xE1}},
     {{0, 0, 2}, {0, 1, 4}, {0, 0, 2}, {0, 1, 4}, {0, 2, 2}}},
    {"SpeedChange", 1, {{0, 1, 0, 0xF, 0x03}}, {{0, 0, 2}, {0, 1, 3}, {0, 2, 3}}},
    {"SpeedZeroMakesEveryTickARow", 1, {{0, 1, 0, 0xF, 0x00}}, {{0, 0, 2}, {0, 1, 1}, {0, 2, 1}}},
};

void PrintTo(const PositionCase& c, std::ostream* out) {
  *out << c.name;
}

class Positions : public ::testing::TestWithParam<PositionCase> {};
TEST_P(Positions, RowsPlayed) {
  const PositionCase& c = GetParam();
  Player p(position_song(c.channels, c.cells));
  ASSERT_TRUE(p.module);
  std::vector<RowPlayed> rows = rows_played(p, c.skip + int(c.expected.size()));
  rows.erase(rows.begin(), rows.begin() + c.skip);
  EXPECT_EQ(rows, c.expected);
}
INSTANTIATE_TEST_SUITE_P(Song, Positions, ::testing::ValuesIn(kPositions),
                         [](const ::testing::TestParamInfo<PositionCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(Speed, F20IsBpm32AndF1FIsSpeed31) {
  Player p(position_song(1, {{0, 0, 0, 0xF, 0x20}, {0, 1, 0, 0xF, 0x1F}}));
  p.tick();
  EXPECT_EQ(p.m().bpm, 32);
  EXPECT_EQ(p.m().samples_per_tick, 3445);
  EXPECT_EQ(p.m().speed, 2);
  p.tick(2);
  EXPECT_EQ(p.m().speed, 31);
  EXPECT_EQ(p.m().bpm, 32);
}

// ---- Envelope, key off, finetune ---------------------------------------------------------------
// Volume envelope 64 → 0 over ticks 0..10, back to 64 at tick 20.
Song envelope_song(uint8_t type, const std::vector<music_cell>& rows) {
  Song song = one_channel_song(2, rows);
  song.instruments[0].volume.points = {{0, 64}, {10, 0}, {20, 64}};
  song.instruments[0].volume.type = type;
  return song;
}

TEST(EnvelopePosition, MovesIntoTheSegmentThatHoldsIt) {
  const struct {
    uint8_t x;
    int value, point, tick, finished;
  } cases[] = {
      {0, 64, 1, 0, 0},   {5, 32, 1, 5, 0},   {10, 0, 1, 10, 0},
      {15, 31, 2, 15, 0}, {20, 63, 2, 20, 0}, {48, 64, 2, 0, 1},
  };
  for (const auto& c : cases) {
    Player p(envelope_song(kEnvelopeOn, {note(C4, 0, 0x15, c.x)}));
    p.tick();
    const music_envelope_state& e = p.channel(0).volume_envelope;
    EXPECT_EQ(e.value, c.value) << "L" << int(c.x);
    EXPECT_EQ(e.point, c.point) << "L" << int(c.x);
    EXPECT_EQ(e.finished, c.finished) << "L" << int(c.x);
    if (!c.finished) {
      EXPECT_EQ(e.tick, c.tick) << "L" << int(c.x);
    }
  }
  // With the envelope off, Lxx leaves it alone.
  Player off(envelope_song(0, {note(C4, 0, 0x15, 5)}));
  off.tick();
  EXPECT_EQ(off.channel(0).volume_envelope.value, 64);
  EXPECT_EQ(off.channel(0).volume_envelope.tick, 0);
}

TEST(KeyOff, ReleasesAtOnceWhateverItsParameter) {
  Player p(envelope_song(kEnvelopeOn, {note(C4), fx(0x14, 0x05)}));
  p.tick(2);
  EXPECT_EQ(p.channel(0).released, 0);
  p.tick();
  EXPECT_EQ(p.channel(0).released, 1);
}

// E5x sets the channel's finetune for the row's sample; the next note of that sample plays with
// it (linear: −finetune / 2), a note of another sample with its own. The loaded samples, the
// shared empty one included, are never written.
TEST(Finetune, KeptByTheChannelForLaterNotes) {
  Song song = one_channel_song(1, {});
  song.channels = 2;
  song.patterns[0].rows = 3;
  song.instruments.push_back(Instrument{});  // no samples: resolves to the empty sample
  song.instruments.push_back(square_instrument());
  song.cell(0, 0, 0) = note(C4, 0, 0xE, 0x58);
  song.cell(0, 1, 0) = note(C4);
  song.cell(0, 2, 0) = {C4, 3, 0, 0, 0};
  song.cell(0, 0, 1) = {0, 2, 0, 0xE, 0x57};
  Player p(song);
  p.tick();
  EXPECT_EQ(p.channel(0).period, kC4Period);
  EXPECT_EQ(p.m().instruments[0].samples[0]->finetune, 0);
  EXPECT_EQ(music_empty_sample.finetune, 0);
  p.tick();
  EXPECT_EQ(p.channel(0).period, kC4Period - 4);
  p.tick();
  EXPECT_EQ(p.channel(0).period, kC4Period);  // instrument 3's sample keeps its finetune 0
}

// Commands that are not executed still let their cells play notes.
TEST(NotExecuted, CellsStillTriggerNotes) {
  const uint8_t unused[] = {18, 19, 22, 23, 24, 26, 28, 30, 31, 32, 34, 35};
  for (uint8_t effect : unused) {
    Player p(one_channel_song(2, {note(C4, 0, effect, 0x11)}));
    p.tick(2);
    EXPECT_EQ(p.channel(0).period, kC4Period) << "effect " << int(effect);
    EXPECT_EQ(p.channel(0).volume, 64) << "effect " << int(effect);
    EXPECT_EQ(p.channel(0).panning, 128) << "effect " << int(effect);
    EXPECT_NE(p.voice(0).sample, nullptr) << "effect " << int(effect);
  }
  for (uint8_t parameter : {0x01, 0x31, 0xF1}) {  // E0x, E3x, EFx
    Player p(one_channel_song(2, {note(C4, 0, 0xE, parameter)}));
    p.tick(2);
    EXPECT_EQ(p.channel(0).period, kC4Period);
    EXPECT_NE(p.voice(0).sample, nullptr);
  }
}

}  // namespace
