// The music module: xmcompose writes exactly the committed file, the build embeds it, and the
// file is a well-formed FT2 XM whose song fits the show's timeline and uses the instrument and
// effect features the player must handle.
#include "assets/music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "assets/flash_schedule.h"
#include "generator_run.h"

namespace {

struct Cell {
  int note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct Sample {
  uint32_t length = 0, loop_start = 0, loop_length = 0;  // in bytes, as stored
  int volume = 0, type = 0;
};

struct Instrument {
  int volume_points = 0, panning_points = 0, volume_sustain = 0, volume_type = 0, panning_type = 0;
  int vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0, fadeout = 0;
  std::vector<Sample> samples;
};

// A strict reader of the XM layout: every count is checked against the bytes that are there.
struct Module {
  int version = 0, header_size = 0, song_length = 0, restart = 0, channels = 0, flags = 0;
  int speed = 0, bpm = 0;
  std::vector<int> orders;
  std::vector<std::vector<Cell>> patterns;  // rows × channels
  std::vector<int> pattern_rows;
  std::vector<Instrument> instruments;
  std::string error;

  Cell cell(int order, int row, int channel) const {
    return patterns[static_cast<size_t>(orders[static_cast<size_t>(order)])]
                   [static_cast<size_t>(row * channels + channel)];
  }
};

class Reader {
 public:
  explicit Reader(const std::vector<unsigned char>& b) : b_(b) {}
  bool ok(size_t n) const { return at_ + n <= b_.size(); }
  unsigned u8() { return at_ < b_.size() ? b_[at_++] : (failed_ = true, 0u); }
  unsigned u16() { return u8() | u8() << 8; }
  uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
  void skip(size_t n) {
    at_ += n;
    failed_ |= at_ > b_.size();
  }
  size_t at() const { return at_; }
  void seek(size_t to) {
    at_ = to;
    failed_ |= at_ > b_.size();
  }
  bool failed() const { return failed_; }

 private:
  const std::vector<unsigned char>& b_;
  size_t at_ = 0;
  bool failed_ = false;
};

Module parse(const std::vector<unsigned char>& bytes) {
  Module m;
  Reader r(bytes);
  if (std::string(bytes.begin(), bytes.begin() + 17) != "Extended Module: " || bytes[37] != 0x1A)
    return m.error = "magic", m;
  r.seek(58);
  m.version = static_cast<int>(r.u16());
  m.header_size = static_cast<int>(r.u32());
  m.song_length = static_cast<int>(r.u16());
  m.restart = static_cast<int>(r.u16());
  m.channels = static_cast<int>(r.u16());
  const int pattern_count = static_cast<int>(r.u16());
  const int instrument_count = static_cast<int>(r.u16());
  m.flags = static_cast<int>(r.u16());
  m.speed = static_cast<int>(r.u16());
  m.bpm = static_cast<int>(r.u16());
  for (int i = 0; i < 256; ++i) {
    const int order = static_cast<int>(r.u8());
    if (i < m.song_length) m.orders.push_back(order);
  }
  r.seek(60 + static_cast<size_t>(m.header_size));
  for (int p = 0; p < pattern_count; ++p) {
    if (r.u32() != 9 || r.u8() != 0) return m.error = "pattern header", m;
    const int rows = static_cast<int>(r.u16());
    const size_t packed = r.u16();
    const size_t start = r.at();
    std::vector<Cell> cells(static_cast<size_t>(rows * m.channels));
    for (Cell& c : cells) {
      int* fields[5] = {&c.note, &c.instrument, &c.volume, &c.effect, &c.param};
      const unsigned first = r.u8();
      if (first & 0x80) {
        for (int f = 0; f < 5; ++f)
          if (first & (1u << f)) *fields[f] = static_cast<int>(r.u8());
      } else {
        c.note = static_cast<int>(first);
        for (int f = 1; f < 5; ++f) *fields[f] = static_cast<int>(r.u8());
      }
    }
    if (r.at() - start != packed) return m.error = "packed size of pattern " + std::to_string(p), m;
    m.patterns.push_back(cells);
    m.pattern_rows.push_back(rows);
  }
  for (int i = 0; i < instrument_count; ++i) {
    const size_t start = r.at();
    const uint32_t size = r.u32();
    r.skip(23);
    const int sample_count = static_cast<int>(r.u16());
    Instrument in;
    if (sample_count > 0) {
      if (r.u32() != 40) return m.error = "sample header size", m;
      r.skip(96 + 96);
      in.volume_points = static_cast<int>(r.u8());
      in.panning_points = static_cast<int>(r.u8());
      in.volume_sustain = static_cast<int>(r.u8());
      r.skip(5);
      in.volume_type = static_cast<int>(r.u8());
      in.panning_type = static_cast<int>(r.u8());
      in.vibrato_type = static_cast<int>(r.u8());
      in.vibrato_sweep = static_cast<int>(r.u8());
      in.vibrato_depth = static_cast<int>(r.u8());
      in.vibrato_rate = static_cast<int>(r.u8());
      in.fadeout = static_cast<int>(r.u16());
    }
    r.seek(start + size);
    for (int s = 0; s < sample_count; ++s) {
      Sample sample;
      sample.length = r.u32();
      sample.loop_start = r.u32();
      sample.loop_length = r.u32();
      sample.volume = static_cast<int>(r.u8());
      r.skip(1);
      sample.type = static_cast<int>(r.u8());
      r.skip(25);
      in.samples.push_back(sample);
    }
    for (const Sample& s : in.samples) r.skip(s.length);
    m.instruments.push_back(in);
  }
  if (r.failed()) return m.error = "truncated", m;
  if (r.at() != bytes.size()) return m.error = "trailing bytes", m;
  return m;
}

const std::vector<unsigned char>& committed() {
  static const std::vector<unsigned char> bytes =
      asset_test::read_bytes(asset_test::source_path("assets/music/quorvane.xm"));
  return bytes;
}

const Module& module() {
  static const Module m = parse(committed());
  return m;
}

TEST(Music, ComposerWritesTheCommittedFileAndTheBuildEmbedsIt) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("xmcompose");
  asset_test::ToolRun run =
      asset_test::run_tool(QUORVANE_TOOL_XMCOMPOSE, "\"" + (dir / "quorvane.xm").string() + "\"", dir);
  ASSERT_EQ(run.exit_code, 0) << run.error_output;
  EXPECT_EQ(asset_test::read_bytes(dir / "quorvane.xm"), committed());
  EXPECT_TRUE(asset_test::same_bytes(asset_music, asset_music_size, committed()));
}

TEST(Music, ComposerRejectsBadArgumentsWithOneLine) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("xmcompose_bad");
  const std::string cases[] = {"", "a.xm b.xm", "\"" + (dir / "missing" / "q.xm").string() + "\""};
  for (const std::string& arguments : cases) {
    asset_test::ToolRun run = asset_test::run_tool(QUORVANE_TOOL_XMCOMPOSE, arguments, dir);
    EXPECT_NE(run.exit_code, 0) << arguments;
    ASSERT_FALSE(run.error_output.empty()) << arguments;
    EXPECT_EQ(run.error_output.find('\n'), run.error_output.size() - 1) << run.error_output;
  }
}

// The facts assets/music.h states; the show's timeline needs the restart inside the main phase
// (order 5 on) so that the loop never brings back the words phase's music.
TEST(Music, IsAWellFormedFt2ModuleWithTheSongShapeTheShowNeeds) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  EXPECT_EQ(m.version, 0x0104);
  EXPECT_EQ(m.header_size, 276);
  EXPECT_EQ(m.flags & 1, 1) << "linear frequency table";
  EXPECT_EQ(m.channels, 12);
  EXPECT_EQ(m.song_length, 17);
  EXPECT_EQ(m.speed, 6);
  EXPECT_EQ(m.bpm, 125);
  EXPECT_EQ(m.restart, 5);
  for (int rows : m.pattern_rows) EXPECT_EQ(rows, 64);
  for (int order : m.orders) EXPECT_LT(order, static_cast<int>(m.patterns.size()));
}

// Channel 0 strikes exactly on the rows where the flash words appear in orders 1 to 4: every
// stab heard there brings a word, and every word lands on a stab. Phase 12 of the first three
// bars has no word (the "?" comes only on row 60 of orders 1 and 3), so it has no stab either.
TEST(Music, ChannelZeroMarksTheFlashWordRowsOfTheBuildUp) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  std::set<int> early, late;  // orders 1 and 3; orders 2 and 4
  for (int block = 0; block < 3; ++block)
    for (int phase : {1, 3, 6, 9}) early.insert(16 * block + phase), late.insert(16 * block + phase);
  early.insert({49, 51, 54, 57, 60});
  late.insert({49, 51, 54, 58});
  for (int order = 0; order <= 4; ++order) {
    std::set<int> rows;
    for (int row = 0; row < 64; ++row)
      if (m.cell(order, row, 0).note != 0) rows.insert(row);
    const std::set<int> expected = order == 0 ? std::set<int>{} : order % 2 ? early : late;
    EXPECT_EQ(rows, expected) << "order " << order;
    for (int row = 0; order > 0 && row < 64; ++row)
      EXPECT_EQ(rows.count(row) == 1, flash_schedule::word_at(order, row) != flash_schedule::kNone)
          << "order " << order << " row " << row;
  }
}

bool sounds(const Cell& c) {
  return c.note >= 1 && c.note <= 96;
}

// The logo flashes faintly on every beat row of the opening (row mod 8 = 0): each has an onset.
TEST(Music, OpeningHasAnOnsetOnEveryBeatRow) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  for (int row = 0; row < 64; row += 8) {
    bool onset = false;
    for (int ch = 0; ch < m.channels; ++ch) onset |= sounds(m.cell(0, row, ch));
    EXPECT_TRUE(onset) << "row " << row;
  }
}

// The badge flash and the scroller highlight follow any channel-0 cell with a note or an
// instrument. Through the main phase, looping back to the restart position, they must pulse
// steadily: never a whole bar (16 rows) without one.
TEST(Music, ChannelZeroPulsesSteadilyThroughTheMainPhase) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  std::vector<int> marks;  // rows counted from the start of order 5
  for (int order = 5; order < m.song_length; ++order)
    for (int row = 0; row < 64; ++row) {
      const Cell c = m.cell(order, row, 0);
      if (c.note != 0 || c.instrument != 0) marks.push_back((order - 5) * 64 + row);
    }
  ASSERT_FALSE(marks.empty());
  const int span = (m.song_length - 5) * 64;
  int longest = marks.front() + span - marks.back();  // across the loop
  for (size_t i = 1; i < marks.size(); ++i) longest = std::max(longest, marks[i] - marks[i - 1]);
  EXPECT_LT(longest, 16) << "rows from one channel-0 cell to the next";
}

// Notes of one channel in one order, by row (0 where nothing sounds).
std::vector<int> channel_notes(const Module& m, int order, int channel) {
  std::vector<int> out(64);
  for (int row = 0; row < 64; ++row) {
    const Cell c = m.cell(order, row, channel);
    out[static_cast<size_t>(row)] = sounds(c) ? c.note : 0;
  }
  return out;
}

// The second time round the themes (orders 11 to 14 against 5 to 8) change at least their
// answer phrases, order 15's lead is a hook of its own, and channel 10 plays a harmony line
// under the lead there instead of echoing it; elsewhere it echoes the lead a dotted eighth
// (three rows) later.
TEST(Music, SecondHalfVariesTheThemesAndChannelTenHarmonisesOrEchoes) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  constexpr int kLead = 9, kSecond = 10;
  for (int k = 0; k < 4; ++k) {
    const std::vector<int> first = channel_notes(m, 5 + k, kLead), again = channel_notes(m, 11 + k, kLead);
    int onsets = 0, changed = 0;
    for (size_t r = 0; r < 64; ++r) {
      onsets += first[r] != 0 || again[r] != 0;
      changed += first[r] != again[r];
    }
    EXPECT_GE(changed * 3, onsets) << "order " << 11 + k << " repeats order " << 5 + k;
  }
  for (int order = 5; order < m.song_length; ++order) {
    if (order == 15) continue;
    EXPECT_NE(channel_notes(m, 15, kLead), channel_notes(m, order, kLead)) << order;
  }

  const struct {
    int first, last, delay;  // delay 0: harmony under the lead
  } kRanges[] = {{5, 8, 3}, {11, 14, 0}, {15, 15, 3}};
  for (const auto& range : kRanges)
    for (int order = range.first; order <= range.last; ++order) {
      const std::vector<int> lead = channel_notes(m, order, kLead), second = channel_notes(m, order, kSecond);
      for (int row = 0; row + range.delay < 64; ++row) {
        if (lead[static_cast<size_t>(row)] == 0) continue;
        const int answer = second[static_cast<size_t>(row + range.delay)];
        if (range.delay > 0) {
          EXPECT_EQ(answer, lead[static_cast<size_t>(row)]) << "echo, order " << order << " row " << row;
          EXPECT_NE(m.cell(order, row + range.delay, kSecond).effect, 0xE);
        } else {
          EXPECT_TRUE(answer > 0 && answer <= lead[static_cast<size_t>(row)] - 3)
              << "harmony, order " << order << " row " << row;
        }
      }
    }
}

// Order 9's first half is pads and lead only: no kick, no bass, no drums at all.
TEST(Music, BreakdownStartsWithPadsAndLeadOnly) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  const std::set<int> allowed = {0, 6, 7, 8, 9, 10};  // lead (channel 0 or 9), pads, echo
  for (int row = 0; row < 32; ++row) {
    for (int ch = 0; ch < m.channels; ++ch) {
      if (allowed.count(ch)) continue;
      EXPECT_FALSE(sounds(m.cell(9, row, ch))) << "row " << row << " channel " << ch;
    }
  }
  bool kick_returns = false;
  for (int row = 32; row < 64; ++row) kick_returns |= sounds(m.cell(9, row, 1));
  EXPECT_TRUE(kick_returns);
}

int notes_in(const Module& m, int order) {
  int n = 0;
  for (int row = 0; row < 64; ++row)
    for (int ch = 0; ch < m.channels; ++ch) n += m.cell(order, row, ch).note != 0;
  return n;
}

TEST(Music, OpensSparselyAndBuildsUpToTheFullArrangement) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  for (int order = 1; order <= 5; ++order)
    EXPECT_GT(notes_in(m, order), notes_in(m, order - 1)) << "order " << order;
  EXPECT_LT(notes_in(m, 0) * 4, notes_in(m, 5));
}

// Frames per tick of the player for a BPM: trunc(1000 / hz × 44100 / 1000), hz = bpm × 2 / 5.
double seconds_per_tick(int bpm) {
  const float hz = static_cast<float>(bpm * 2) / 5.0f;
  return static_cast<int>(1000.0 / hz * 44100.0 / 1000.0) / 44100.0;
}

// Plays the order list once through, following speed, tempo, breaks and jumps, up to the end.
TEST(Music, PlaysBetweenOneAndAHalfAndThreeMinutesBeforeItLoops) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  int speed = m.speed, bpm = m.bpm;
  double seconds = 0;
  for (int order = 0; order < m.song_length;) {
    int next_order = order + 1, row = 0;
    bool leave = false;
    for (; row < 64 && !leave; ++row) {
      for (int ch = 0; ch < m.channels; ++ch) {
        const Cell c = m.cell(order, row, ch);
        if (c.effect == 0xF && c.param > 0) (c.param < 32 ? speed : bpm) = c.param;
        if (c.effect == 0xD) leave = true;
        if (c.effect == 0xB) leave = true, next_order = c.param <= order ? m.song_length : c.param;
      }
      seconds += speed * seconds_per_tick(bpm);
    }
    order = next_order;
  }
  EXPECT_GE(seconds, 90.0);
  EXPECT_LE(seconds, 180.0);
}

TEST(Music, InstrumentsUseEnvelopesVibratoAndBothSampleWidthsAndLoopKinds) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  bool sustain = false, panning = false, fadeout = false, vibrato = false;
  std::set<int> widths, loops;
  for (const Instrument& in : m.instruments) {
    sustain |= (in.volume_type & 3) == 3 && in.volume_sustain < in.volume_points - 1;
    panning |= (in.panning_type & 1) && in.panning_points >= 2;
    fadeout |= in.fadeout > 0;
    vibrato |= in.vibrato_depth > 0 && in.vibrato_rate > 0;
    ASSERT_EQ(in.samples.size(), 1u);
    for (const Sample& s : in.samples) {
      const uint32_t width = s.type & 0x10 ? 2 : 1;
      widths.insert(static_cast<int>(width));
      loops.insert(s.type & 3);
      EXPECT_GT(s.length, 0u);
      EXPECT_EQ(s.length % width, 0u);
      EXPECT_LE(s.volume, 64);
      if (s.type & 3) {
        EXPECT_GT(s.loop_length, 0u);
        EXPECT_LE(s.loop_start + s.loop_length, s.length);
      }
    }
  }
  EXPECT_TRUE(sustain && panning && fadeout && vibrato);
  EXPECT_EQ(widths, (std::set<int>{1, 2}));
  EXPECT_TRUE(loops.count(1) && loops.count(2)) << "forward and ping-pong loops";
}

TEST(Music, PatternsUseAGoodSpreadOfEffectsAndKeyOffs) {
  const Module& m = module();
  ASSERT_EQ(m.error, "");
  std::set<int> effects;  // effect × 16 + sub-command for E, effect alone otherwise
  bool key_off = false, volume_column = false;
  for (const std::vector<Cell>& pattern : m.patterns)
    for (const Cell& c : pattern) {
      key_off |= c.note == 97;
      volume_column |= c.volume >= 0x10 && c.volume <= 0x50;
      if (c.effect == 0 && c.param == 0) continue;
      effects.insert(c.effect == 0xE ? 0xE0 + (c.param >> 4) : c.effect);
    }
  const struct {
    int effect;
    const char* name;
  } kWanted[] = {{0x0, "arpeggio"},        {0x1, "portamento up"}, {0x2, "portamento down"},
                 {0x3, "tone portamento"}, {0x4, "vibrato"},       {0xA, "volume slide"},
                 {0xC, "set volume"},      {0xD, "pattern break"}, {0xE9, "retrigger"},
                 {0xED, "note delay"},     {0xF, "speed/tempo"}};
  for (const auto& w : kWanted) EXPECT_TRUE(effects.count(w.effect)) << w.name;
  EXPECT_TRUE(key_off);
  EXPECT_TRUE(volume_column);
}

// 16-bit stereo frames of a WAV written by xmrender, interleaved.
std::vector<int16_t> wav_samples(const std::vector<unsigned char>& wav) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    const uint32_t size =
        wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | static_cast<uint32_t>(wav[at + 7]) << 24;
    if (std::string(wav.begin() + static_cast<long>(at), wav.begin() + static_cast<long>(at) + 4) == "data") {
      std::vector<int16_t> out;
      for (size_t i = at + 8; i + 1 < at + 8 + size && i + 1 < wav.size(); i += 2)
        out.push_back(static_cast<int16_t>(wav[i] | wav[i + 1] << 8));
      return out;
    }
    at += 8 + size;
  }
  return {};
}

// RMS in dBFS of interleaved samples [from, to), every `step`-th one (2 for one side).
double rms_db(const std::vector<int16_t>& samples, size_t from, size_t to, size_t step = 1) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i < to; i += step, ++n) sum += double(samples[i]) * samples[i];
  return 10.0 * std::log10(sum / double(n) / (32768.0 * 32768.0) + 1e-12);
}

constexpr size_t kPatternSamples = 2 * 44100 * 768 / 100;  // 7.68 s of interleaved samples

// The song rendered by xmrender, all channels or the listed ones ("2,4", 1-based).
std::vector<int16_t> render(const std::string& name, double seconds, const std::string& solo = "",
                            const std::string& timeline = "") {
  std::filesystem::path dir = asset_test::fresh_temp_dir("xmrender_" + name);
  const std::filesystem::path wav = dir / "quorvane.wav";
  std::string arguments = "\"" + asset_test::source_path("assets/music/quorvane.xm").string() + "\" \"" +
                          wav.string() + "\" --seconds " + std::to_string(seconds);
  if (!solo.empty()) arguments += " --solo " + solo;
  arguments += timeline.empty() ? " >/dev/null" : " --timeline >\"" + timeline + "\"";
  asset_test::ToolRun run = asset_test::run_tool(QUORVANE_TOOL_XMRENDER, arguments, dir);
  EXPECT_EQ(run.exit_code, 0) << run.error_output;
  return wav_samples(asset_test::read_bytes(wav));
}

// Through our own player: a peak near -1 dBFS without clipping, a quiet opening, a breakdown
// about 6 dB under the theme before it, and after the last order the song goes on at the
// restart position instead of the opening.
TEST(Music, RendersThroughOurPlayerNearFullScaleAndLoopsToTheFullArrangement) {
  const std::filesystem::path timeline = asset_test::fresh_temp_dir("xmrender_timeline") / "timeline.txt";
  const std::vector<int16_t> samples = render("music", 150, "", timeline.string());
  ASSERT_GT(samples.size(), 2u * 44100 * 140);
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
  const double peak_db = 20.0 * std::log10(peak / 32768.0);
  EXPECT_LT(peak_db, -0.5) << "no headroom left: clipping is near";
  EXPECT_GT(peak_db, -2.5) << "the mix does not use the range";
  const double opening = rms_db(samples, 0, kPatternSamples);
  const double full = rms_db(samples, 5 * kPatternSamples, 6 * kPatternSamples);
  EXPECT_GT(full, -17.0);
  EXPECT_LT(opening, full - 3.0);
  const double theme = rms_db(samples, 8 * kPatternSamples, 9 * kPatternSamples);
  const double breakdown = rms_db(samples, 9 * kPatternSamples, 9 * kPatternSamples + kPatternSamples / 2);
  EXPECT_GT(theme - breakdown, 4.0);
  EXPECT_LT(theme - breakdown, 8.0);

  std::ifstream lines(timeline);
  std::vector<int> order_sequence;
  for (long frame; lines >> frame;) {
    int order = 0, row = 0;
    lines >> order >> row;
    if (order_sequence.empty() || order_sequence.back() != order) order_sequence.push_back(order);
  }
  const Module& m = module();
  std::vector<int> expected;
  for (int o = 0; o < m.song_length; ++o) expected.push_back(o);
  expected.push_back(m.restart);
  ASSERT_GE(order_sequence.size(), expected.size());
  order_sequence.resize(expected.size());
  EXPECT_EQ(order_sequence, expected);
}

// The show flashes on channel 0's stabs, so they must be heard in the whole mix: in the main
// phase's first pattern (order 5), in the 60 ms from each stab's row, channel 0 alone is at
// most 9 dB under the mix (it was 13-15 dB under when an onset detector on the mix missed it).
TEST(Music, ChannelZeroStabsStandOutOfTheMainPhaseMix) {
  const double seconds = 6.2 * 7.68;
  const std::vector<int16_t> mix = render("stab_mix", seconds), stab = render("stab_solo", seconds, "1");
  ASSERT_GE(mix.size(), 6 * kPatternSamples);
  ASSERT_EQ(stab.size(), mix.size());
  constexpr size_t kRowSamples = 2 * 44100 * 12 / 100;  // 0.12 s a row
  constexpr size_t kWindow = 2 * 44100 * 6 / 100;       // 60 ms
  std::vector<double> under;
  for (int row = 0; row < 64; ++row) {
    if (!sounds(module().cell(5, row, 0))) continue;
    const size_t from = 5 * kPatternSamples + size_t(row) * kRowSamples;
    under.push_back(rms_db(mix, from, from + kWindow) - rms_db(stab, from, from + kWindow));
  }
  ASSERT_EQ(under.size(), 20u);
  std::sort(under.begin(), under.end());
  EXPECT_LT(under[under.size() / 2], 9.0) << "median dB of the mix over the stab";
}

// The song breathes: the build-up swells order by order under the words, the main phase has
// its drops and lifts, and the hook's crash is heard. Each case holds one span (in bars of 16
// rows from the start of the song) at least so many dB under another. Measured when written:
// 3.5 and 3.4 dB around order 14's thin bar, 1.1 dB for the hook over the first theme, 1.5 dB
// for order 12's drop, 0.4 to 2.3 dB from one build-up order to the next.
TEST(Music, MainPhaseDropsAndLiftsAndTheBuildUpSwells) {
  const double seconds = 16.1 * 7.68;
  const std::vector<int16_t> mix = render("dynamics", seconds), crash = render("crash", seconds, "12");
  constexpr size_t kBar = kPatternSamples / 4;
  ASSERT_GE(mix.size(), 16 * kPatternSamples);
  ASSERT_EQ(crash.size(), mix.size());
  const auto level = [&mix](int first_bar, int bars) {
    return rms_db(mix, size_t(first_bar) * kBar, size_t(first_bar + bars) * kBar);
  };
  const struct {
    const char* what;
    int quiet_bar, quiet_bars, loud_bar, loud_bars;
    double at_least_db;
  } kContrasts[] = {
      {"order 12's last bar under its first three", 51, 1, 48, 3, 1.0},
      {"order 12's last bar under order 13's first", 51, 1, 52, 1, 1.0},
      {"order 14's thin bar under order 13's last", 56, 1, 55, 1, 2.5},
      {"order 14's thin bar under the rest of order 14", 56, 1, 57, 3, 2.5},
      {"the first theme (orders 5 to 8) under the hook (order 15)", 20, 16, 60, 4, 0.8},
      {"order 1 under order 2", 4, 4, 8, 4, 0.3},
      {"order 2 under order 3", 8, 4, 12, 4, 0.3},
      {"order 3 under order 4", 12, 4, 16, 4, 0.3},
      {"order 1 under order 5", 4, 4, 20, 4, 4.0},
  };
  for (const auto& c : kContrasts)
    EXPECT_GT(level(c.loud_bar, c.loud_bars) - level(c.quiet_bar, c.quiet_bars), c.at_least_db) << c.what;
  // The hook's crash, over its first half second: it was 22 dB under the mix when it went unheard.
  const size_t hook = 15 * kPatternSamples, half_second = 44100;
  EXPECT_GT(rms_db(crash, hook, hook + half_second) - rms_db(mix, hook, hook + half_second), -14.0);
}

// The balance in the first full pattern (order 5), channel by channel: the hats no more than
// 20 dB under the kick, and the pad voices on channels 7 and 8 (1-based) on opposite sides.
TEST(Music, MixLiftsTheHatsAndSpreadsThePadVoices) {
  const size_t from = 5 * kPatternSamples, to = 6 * kPatternSamples;
  const double seconds = 6.2 * 7.68;
  const std::vector<int16_t> kick = render("kick", seconds, "2"), hats = render("hats", seconds, "4");
  ASSERT_GE(kick.size(), to);
  ASSERT_GE(hats.size(), to);
  EXPECT_GT(rms_db(hats, from, to), rms_db(kick, from, to) - 20.0);
  const struct {
    const char* channel;
    double left_minus_right;  // at least this far to the left (negative: to the right)
  } kPads[] = {{"7", 6.0}, {"8", -6.0}};
  for (const auto& pad : kPads) {
    const std::vector<int16_t> solo = render(std::string("pad") + pad.channel, seconds, pad.channel);
    ASSERT_GE(solo.size(), to);
    const double balance = rms_db(solo, from, to, 2) - rms_db(solo, from + 1, to, 2);
    if (pad.left_minus_right > 0)
      EXPECT_GT(balance, pad.left_minus_right) << "channel " << pad.channel;
    else
      EXPECT_LT(balance, pad.left_minus_right) << "channel " << pad.channel;
  }
}

}  // namespace
