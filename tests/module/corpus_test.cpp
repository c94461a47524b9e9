// Real modules from the shared corpus: every real-world module loads and renders 60 s through
// the chunk renderer; the synthetic edge cases load or are rejected as intended; and the
// (order, row) timeline matches the reference players chunk for chunk where it should.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "module_fixture.h"

namespace {

const std::string kCorpus = QUORVANE_CORPUS_DIR;

// The corpus is read where it lies, beside the checkout; a clone without it skips these tests.
#define SKIP_WITHOUT_CORPUS()                              \
  if (!std::filesystem::is_directory(kCorpus))             \
  GTEST_SKIP() << "module corpus not found at " << kCorpus \
               << "; to run the corpus tests, point the CMake option QUORVANE_CORPUS_DIR at it"

constexpr int kSixtySecondChunks = 60 * kMusicRate / kMusicChunkFrames;  // 60136, as the references

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Reference timeline expanded to one (order, row) entry per chunk.
std::vector<uint16_t> read_reference(const std::string& path, int chunks) {
  std::vector<uint16_t> entries;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return entries;
  long frame = 0;
  int order = 0, row = 0;
  std::vector<std::pair<long, uint16_t>> changes;
  while (std::fscanf(f, "%ld %d %d", &frame, &order, &row) == 3)
    changes.push_back({frame, uint16_t(order | row << 8)});
  std::fclose(f);
  size_t next = 0;
  uint16_t current = 0;
  for (int k = 0; k < chunks; ++k) {
    while (next < changes.size() && changes[next].first <= long(k) * kMusicChunkFrames)
      current = changes[next++].second;
    entries.push_back(current);
  }
  return entries;
}

struct CorpusModule {
  const char* file;             // relative to the corpus folder
  bool loads;                   // false: the loader must reject it
  const char* timeline_note;    // null: the timeline must match the reference over 60 s
  bool audible = true;          // false: every sample is in a form this player does not decode
  int matches_until_frame = 0;  // with a note: the timeline still matches before this frame
  int differing_chunks = 0;     // with a note: exactly this many of the 60136 chunks differ
};

void PrintTo(const CorpusModule& c, std::ostream* out) {
  *out << c.file;
}

// E6x loops away from row 0: once a loop has finished, FT2 and both references start the next
// pattern at the loop row, this player always continues at row 0.
constexpr const char* kLoopAwayFromRowZero =
    "E60 on row 48 and E63 on the last row of order 11: next pattern at row 0, the references at row 48";
// The tempo is computed from a single-precision tick rate (see music_set_bpm): BPM 126 (like 49,
// 63 and 98) gives one frame per tick less than 110250 / BPM, which the reference players use,
// so the rows drift ahead by a frame a tick, about 70 chunks after a minute.
constexpr const char* kSinglePrecisionTempo = "BPM 126: 874 frames per tick, the references use 875";

const CorpusModule kModules[] = {
    {"asciishooter-title.xm", true, nullptr},
    {"bomberclone-cerror_numero_2.xm", true, nullptr},
    {"bomberclone-slice_me_nice.xm", true, nullptr},
    {"bomberclone-zb-tnt.xm", true, nullptr},
    {"butano-galgox_snowheart_melody.xm", true, nullptr},
    {"ceferino-menu.xm", true, nullptr},
    {"clanlib-clanbeat.xm", true, nullptr},
    {"criticalmass-lg-criti.xm", true, nullptr},
    {"flobopuyo-strange_fear2.xm", true, nullptr},
    {"frozenbubble-mainzik-2p.xm", true, nullptr},
    {"gambas3-music.xm", true, nullptr},
    {"gemdropx-2force.xm", true, nullptr},
    {"gemdropx-hr_suds.xm", true, kSinglePrecisionTempo, true, 20944, 17342},
    {"heroes-endscroll.xm", true, nullptr},
    {"heroes-heroes02.xm", true, nullptr},
    {"heroes-heroes07.xm", true, nullptr},
    {"libxmp-dontyou.xm", false, "XM 1.02 layout: rejected"},
    {"libxmp-rhino_sting.xm", true, nullptr},
    {"libxmp-roadblas.xm", true, kLoopAwayFromRowZero, true, 2159124, 11065},
    {"milkytracker-slumberjack.xm", true, nullptr},
    {"milkytracker-sv_ttt.xm", true, nullptr},
    {"milkytracker-theday.xm", true, nullptr},
    {"milkytracker-universalnetwork2_real.xm", true, nullptr},
    {"mzxtests-MRHPx-HBTN_LUCiFER.xm", true, nullptr, false},  // ADPCM samples only: silent
    {"mzxtests-bit_loader.xm", true, nullptr},
    {"mzxtests-xyce-dans_la_rue.xm", true, nullptr},
    {"njam-satisfy.xm", true, nullptr},
    {"pekkakana2-song09.xm", true, nullptr},
    {"rafkill-song2.xm", true, nullptr},
    {"rafkill-song3.xm", true, nullptr},
    {"rafkill-song4.xm", true, nullptr},
    {"rafkill-song5.xm", true, nullptr},
    {"rili-jeu2.xm", true, nullptr},
    {"solarwolf-arg.xm", true, nullptr},
    {"vodovod-vodovod.xm", true, nullptr},
    {"vor-mph.xm", true, nullptr},
    {"tests/openmpt-PatLoop-Various.xm", true, "pattern-loop corner cases; the references disagree", true,
     26444, 1443},
    {"tests/openmpt-PatternDelay-NoteDelay.xm", true, nullptr},
    {"tests/openmpt-SetEnvPos.xm", true, nullptr},
    {"tests/openmpt-Tremor.xm", true, nullptr},
};

std::string stem(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  return name.substr(0, name.size() - 3);
}

class Corpus : public ::testing::TestWithParam<CorpusModule> {};

TEST_P(Corpus, LoadsRendersAndFollowsTheReferenceTimeline) {
  SKIP_WITHOUT_CORPUS();
  const CorpusModule& c = GetParam();
  const std::vector<uint8_t> image = read_file(kCorpus + "/" + c.file);
  ASSERT_FALSE(image.empty()) << "missing corpus file " << c.file;
  const char* reason = nullptr;
  ModulePtr m = load_image(image, &reason);
  if (!c.loads) {
    EXPECT_FALSE(m) << c.file;
    return;
  }
  ASSERT_TRUE(m) << c.file << ": " << (reason ? reason : "");
  RingPtr ring(music_ring_create());
  music_start(m.get());
  std::vector<uint16_t> timeline;
  bool sound = false;
  for (int k = 0; k < kSixtySecondChunks; ++k) {
    const int chunk = music_render_chunk(m.get(), ring.get());
    timeline.push_back(ring->history[chunk].load());
    for (int i = 0; i < 2 * kMusicChunkFrames && !sound; ++i)
      sound = ring->wave[2 * kMusicChunkFrames * chunk + i] != 0;
  }
  EXPECT_EQ(sound, c.audible) << c.file;

  const std::vector<uint16_t> reference =
      read_reference(kCorpus + "/timelines/" + stem(c.file) + ".txt", kSixtySecondChunks);
  ASSERT_EQ(reference.size(), timeline.size()) << "missing reference timeline for " << c.file;
  int differing = 0, first = -1;
  for (size_t k = 0; k < timeline.size(); ++k)
    if (timeline[k] != reference[k] && differing++ == 0) first = int(k);
  if (c.timeline_note) {
    // Known differences are required as measured: they begin no earlier and cover exactly the
    // chunks they did, so neither a new fault nor a "fix" of the quirk behind them goes unseen.
    ASSERT_GT(differing, 0) << c.file << ": the known difference is gone (" << c.timeline_note << ")";
    EXPECT_GE(first * kMusicChunkFrames, c.matches_until_frame) << c.file << ": differs earlier than known";
    EXPECT_EQ(differing, c.differing_chunks) << c.file << ": not the chunks known to differ";
    std::printf("%s: %d of %d chunks differ from the reference (%s)\n", c.file, differing, kSixtySecondChunks,
                c.timeline_note);
    return;
  }
  EXPECT_EQ(differing, 0) << c.file << ": first difference at frame " << first * kMusicChunkFrames
                          << ": ours " << music_history_order(timeline[size_t(first)]) << "/"
                          << music_history_row(timeline[size_t(first)]) << ", reference "
                          << music_history_order(reference[size_t(first)]) << "/"
                          << music_history_row(reference[size_t(first)]);
}

INSTANTIATE_TEST_SUITE_P(Modules, Corpus, ::testing::ValuesIn(kModules),
                         [](const ::testing::TestParamInfo<CorpusModule>& info) {
                           std::string name = stem(info.param.file);
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST(SyntheticCorpus, LoadOrRejectAsIntended) {
  SKIP_WITHOUT_CORPUS();
  const std::string dir = kCorpus + "/synthetic/";
  EXPECT_FALSE(load_image(read_file(dir + "synth_33ch.xm")));
  EXPECT_FALSE(load_image(read_file(dir + "synth_inst17.xm")));

  ModulePtr base = load_image(read_file(dir + "synth_base.xm"));
  ASSERT_TRUE(base);
  EXPECT_EQ(base->instruments[2].samples[0]->loop_kind, kLoopPingPong);  // both loop bits

  ModulePtr packed0 = load_image(read_file(dir + "synth_packed0.xm"));
  ASSERT_TRUE(packed0);
  EXPECT_EQ(packed0->patterns[1].rows, 32);

  ModulePtr missing = load_image(read_file(dir + "synth_missing_pattern.xm"));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->pattern_slots, 6);
  for (int p = 2; p < 6; ++p) EXPECT_EQ(missing->patterns[p].rows, 64);

  // Instrument 2 holds a 16-bit sample of 401 bytes: 200 samples, and the odd byte is skipped so
  // that instrument 3 still reads its own header.
  ModulePtr odd = load_image(read_file(dir + "synth_odd16.xm"));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->instruments[1].samples[0]->length, 200u);
  EXPECT_EQ(odd->instruments[2].samples[0]->length, 128u);
  EXPECT_EQ(odd->instruments[2].samples[0]->loop_kind, kLoopPingPong);

  ModulePtr past_end = load_image(read_file(dir + "synth_loop_past_end.xm"));
  ASSERT_TRUE(past_end);
  for (int i = 0; i < past_end->instrument_count; ++i)
    for (int s = 0; s < past_end->instruments[i].sample_count; ++s) {
      const music_sample& x = *past_end->instruments[i].samples[s];
      EXPECT_LE(uint64_t(x.loop_start) + x.loop_length, x.length);
    }

  ModulePtr truncated = load_image(read_file(dir + "synth_truncated.xm"));
  ASSERT_TRUE(truncated);  // the cut sample is shortened, the missing instrument is empty
  RingPtr ring(music_ring_create());
  for (ModulePtr* m : {&base, &packed0, &missing, &odd, &past_end, &truncated}) {
    music_start(m->get());
    for (int k = 0; k < 6000; ++k) music_render_chunk(m->get(), ring.get());
  }
}

}  // namespace
