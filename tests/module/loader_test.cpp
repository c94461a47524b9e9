// The XM loader: cells, patterns, samples, guards and rejection of bad images.
#include <algorithm>
#include <cstring>

#include "module_fixture.h"

using namespace xmw;

namespace {

Song one_pattern_song(int channels = 2, int rows = 4) {
  Song song;
  song.channels = channels;
  song.patterns.resize(1);
  song.patterns[0].rows = rows;
  song.instruments.push_back(square_instrument());
  return song;
}

const music_cell& cell(const music_module& m, int pattern, int row, int channel) {
  return m.patterns[pattern].cells[row * m.channel_count + channel];
}

bool same(const music_cell& a, const music_cell& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Loader, ReadsHeaderFields) {
  Song song = one_pattern_song(3, 8);
  song.speed = 5;
  song.bpm = 140;
  song.linear = false;
  song.orders = {0, 0, 0};
  song.restart = 2;
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->song_length, 3);
  EXPECT_EQ(m->restart_position, 2);
  EXPECT_EQ(m->channel_count, 3);
  EXPECT_EQ(m->default_speed, 5);
  EXPECT_EQ(m->default_bpm, 140);
  EXPECT_EQ(m->flags & 1, 0);
  EXPECT_EQ(m->highest_pattern, 1);
  EXPECT_EQ(m->pattern_slots, 1);
  EXPECT_EQ(m->patterns[0].rows, 8);
  EXPECT_EQ(m->instrument_count, 1);
  EXPECT_EQ(m->initial_global_volume, 64);
}

// Packed and unpacked forms of the same cells load identically.
TEST(Loader, PackedAndUnpackedCellsAgree) {
  const music_cell cells[] = {{49, 1, 0x40, 0x0C, 0x20}, {0, 0, 0, 0, 0},        {97, 0, 0, 0, 0},
                              {0, 2, 0, 0x0F, 0},        {96, 0, 0x10, 0, 0x33}, {1, 128, 0, 0, 0}};
  ModulePtr loaded[2];
  for (int packed = 0; packed < 2; ++packed) {
    Song song = one_pattern_song(2, 3);
    song.patterns[0].packed = packed;
    for (int i = 0; i < 6; ++i) song.cell(0, i / 2, i % 2) = cells[i];
    loaded[packed] = load_song(song);
    ASSERT_TRUE(loaded[packed]);
  }
  for (int i = 0; i < 6; ++i) {
    const music_cell& a = cell(*loaded[0], 0, i / 2, i % 2);
    EXPECT_TRUE(same(a, cell(*loaded[1], 0, i / 2, i % 2))) << "cell " << i;
  }
  EXPECT_EQ(cell(*loaded[1], 0, 0, 0).note, 49);
  EXPECT_EQ(cell(*loaded[1], 0, 1, 0).note, kNoteKeyOff);  // 97 becomes key off
  EXPECT_EQ(cell(*loaded[1], 0, 2, 1).instrument, 128);
}

// Raw packed bytes: 0x80 is an empty cell, an unpacked first byte 0 still carries four bytes,
// instruments above 128 and notes that do not exist are dropped.
TEST(Loader, DecodesRawCellBytes) {
  Song song = one_pattern_song(1, 5);
  song.patterns[0].raw = {0x80,                          // empty cell
                          0x00, 0x02, 0x30, 0x0A, 0x05,  // no note, four following bytes
                          0x83, 0x62, 0xC8,              // note 98 (none), instrument 200 (none)
                          0x9F, 0x0C, 0x01, 0x25, 0x0F, 0xFF, 0x81, 0x61};  // note 97 → key off
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_TRUE(same(cell(*m, 0, 0, 0), music_cell{0, 0, 0, 0, 0}));
  EXPECT_TRUE(same(cell(*m, 0, 1, 0), music_cell{0, 2, 0x30, 0x0A, 0x05}));
  EXPECT_TRUE(same(cell(*m, 0, 2, 0), music_cell{0, 0, 0, 0, 0}));
  EXPECT_TRUE(same(cell(*m, 0, 3, 0), music_cell{12, 1, 0x25, 0x0F, 0xFF}));
  EXPECT_EQ(cell(*m, 0, 4, 0).note, kNoteKeyOff);
}

TEST(Loader, PackedSizeZeroGivesDeclaredEmptyRows) {
  Song song = one_pattern_song(2, 32);
  song.patterns[0].zero_size = true;
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->patterns[0].rows, 32);
  for (int i = 0; i < 64; ++i) EXPECT_TRUE(same(m->patterns[0].cells[i], music_cell{}));
}

// Orders naming patterns the file lacks get 64 empty rows; orders past song_length are ignored.
TEST(Loader, MissingPatternsBecomeEmpty) {
  Song song = one_pattern_song(1, 4);
  song.orders = {0, 3};
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->highest_pattern, 4);
  EXPECT_EQ(m->pattern_slots, 4);
  for (int p = 1; p < 4; ++p) EXPECT_EQ(m->patterns[p].rows, 64) << p;

  Song ignored = one_pattern_song(1, 4);
  ignored.orders = {0};
  std::vector<uint8_t> image = write_xm(ignored);
  image[80 + 5] = 200;  // an order entry beyond song_length
  m = load_image(image);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->highest_pattern, 1);
  EXPECT_EQ(m->pattern_slots, 1);
}

TEST(Loader, DecodesDeltaSamplesWithWrapAround) {
  Song song = one_pattern_song();
  Sample s8;
  s8.data = {127 * 256, -128 * 256, 0};  // stored deltas 0x7F, 0x01, 0x80
  Sample s16;
  s16.sixteen = true;
  s16.data = {32767, -32768, 5};
  song.instruments[0].samples = {s8, s16};
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  const music_sample& a = *m->instruments[0].samples[0];
  EXPECT_EQ(a.bits, 16);
  EXPECT_EQ(a.length, 3u);
  EXPECT_EQ(a.data[0], 127 * 256);
  EXPECT_EQ(a.data[1], -128 * 256);
  EXPECT_EQ(a.data[2], 0);
  const music_sample& b = *m->instruments[0].samples[1];
  EXPECT_EQ(b.length, 3u);
  EXPECT_EQ(b.data[0], 32767);
  EXPECT_EQ(b.data[1], -32768);
  EXPECT_EQ(b.data[2], 5);
  EXPECT_EQ(m->instruments[0].samples[2], &music_empty_sample);
}

// Loop kinds, lengths and the guard sample after the loop.
TEST(Loader, SampleLoopsAndGuard) {
  struct Case {
    const char* name;
    uint8_t type;
    uint32_t start, length;  // as written, in samples (of 10)
    uint8_t kind;
    uint32_t loaded_start, loaded_length;
    int16_t guard;  // data[start + length] after loading
  } cases[] = {
      {"no loop", 0, 3, 4, kLoopNone, 0, 10, 0},
      {"forward", 1, 2, 4, kLoopForward, 2, 4, 2 * 256},
      {"ping-pong", 2, 2, 4, kLoopPingPong, 2, 4, 5 * 256},
      {"both bits: ping-pong", 3, 2, 4, kLoopPingPong, 2, 4, 5 * 256},
      {"length 0: no loop", 1, 2, 0, kLoopNone, 0, 10, 0},
      {"past the end: shortened", 1, 6, 9, kLoopForward, 6, 4, 6 * 256},
      {"starts past the end: no loop", 1, 12, 3, kLoopNone, 0, 10, 0},
  };
  for (const Case& c : cases) {
    Song song = one_pattern_song();
    Sample s;
    for (int i = 0; i < 10; ++i) s.data.push_back(int16_t(i * 256));
    s.loop = c.type;
    s.loop_start = c.start;
    s.loop_length = c.length;
    song.instruments[0].samples = {s};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m) << c.name;
    const music_sample& x = *m->instruments[0].samples[0];
    EXPECT_EQ(x.loop_kind, c.kind) << c.name;
    EXPECT_EQ(x.loop_start, c.loaded_start) << c.name;
    EXPECT_EQ(x.loop_length, c.loaded_length) << c.name;
    EXPECT_EQ(x.data[x.loop_start + x.loop_length], c.guard) << c.name;
  }
}

// A 16-bit sample of odd byte length drops its last byte and the next sample still lines up.
TEST(Loader, OddSixteenBitLengthKeepsTheStreamInStep) {
  Song song = one_pattern_song();
  Sample odd;
  odd.sixteen = true;
  odd.data = {100, 200, 300};
  odd.byte_length = 7;  // one extra byte in the file
  Sample next;
  next.data = {64 * 256, -64 * 256};
  song.instruments[0].samples = {odd, next};
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->instruments[0].samples[0]->length, 3u);
  EXPECT_EQ(m->instruments[0].samples[0]->data[2], 300);
  EXPECT_EQ(m->instruments[0].samples[1]->data[0], 64 * 256);
  EXPECT_EQ(m->instruments[0].samples[1]->data[1], -64 * 256);
}

// ADPCM-packed data is not decoded: the sample stays silent, and its packed size is skipped so
// the next sample reads its own data.
TEST(Loader, AdpcmSampleIsSkippedAtItsPackedSize) {
  Song song = one_pattern_song();
  Sample packed;
  packed.data = std::vector<int16_t>(101, 256);
  packed.adpcm = true;
  Sample next;
  next.data = {10 * 256, 20 * 256};
  song.instruments[0].samples = {packed, next};
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->instruments[0].samples[0]->length, 0u);
  EXPECT_EQ(m->instruments[0].samples[0]->data, nullptr);
  EXPECT_EQ(m->instruments[0].samples[1]->length, 2u);
  EXPECT_EQ(m->instruments[0].samples[1]->data[1], 20 * 256);
}

TEST(Loader, InstrumentWithoutSamplesUsesTheEmptySample) {
  Song song = one_pattern_song();
  song.instruments.push_back(Instrument{});
  song.instruments.push_back(square_instrument());
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->instrument_count, 3);
  EXPECT_EQ(m->instruments[1].sample_count, 0);
  for (music_sample* s : m->instruments[1].samples) EXPECT_EQ(s, &music_empty_sample);
  EXPECT_EQ(m->instruments[2].sample_count, 1);
}

TEST(Loader, EnvelopeDataIsMadeSafe) {
  Song song = one_pattern_song();
  Envelope& e = song.instruments[0].volume;
  e.points = {{0, 64}, {10, 300}};  // y above 64
  e.type = kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop;
  e.sustain = 5;  // beyond the last point
  e.loop_start = 0;
  e.loop_end = 9;
  song.instruments[0].panning.points = {{0, 32}};  // one point: off
  song.instruments[0].panning.type = kEnvelopeOn;
  song.instruments[0].fadeout = 300;
  ModulePtr m = load_song(song);
  ASSERT_TRUE(m);
  const music_instrument& ins = m->instruments[0];
  EXPECT_EQ(ins.volume_envelope[1].y, 64);
  EXPECT_EQ(ins.volume_type, kEnvelopeOn);
  EXPECT_EQ(ins.panning_type, 0);
  EXPECT_EQ(ins.fadeout, 600);
}

// A sample cut short by the end of the image keeps what is there.
TEST(Loader, TruncatedSampleDataIsShortened) {
  Song song = one_pattern_song();
  song.instruments[0] = square_instrument(100, 1);
  std::vector<uint8_t> image = write_xm(song);
  image.resize(image.size() - 40);
  ModulePtr m = load_image(image);
  ASSERT_TRUE(m);
  const music_sample& s = *m->instruments[0].samples[0];
  EXPECT_EQ(s.length, 60u);
  EXPECT_EQ(s.loop_start + s.loop_length, 60u);
}

// Odd values that the loader clamps, each with what it must load as.
TEST(Loader, ClampsOddHeaderValues) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    void (*check)(const music_module& m);
  };
  std::vector<Case> cases;
  const Song base = one_pattern_song();

  Song slow_fade = base;
  slow_fade.instruments[0].fadeout = 0x8000;  // doubled: 0x10000, which 16 bits would wrap to 0
  cases.push_back({"fade-out 0x8000", write_xm(slow_fade),
                   [](const music_module& m) { EXPECT_EQ(m.instruments[0].fadeout, 0x10000u); }});

  for (uint16_t length : {uint16_t(0x8000), uint16_t(0xFFFF), uint16_t(257)}) {
    std::vector<uint8_t> image = write_xm(base);
    image[64] = uint8_t(length);
    image[65] = uint8_t(length >> 8);
    cases.push_back({"song length above 256", image, [](const music_module& m) {
                       EXPECT_EQ(m.song_length, 256);
                       EXPECT_EQ(m.highest_pattern, 1);  // every order names pattern 0
                     }});
  }

  // An instrument header whose size field says 29 although its envelope fields follow: the
  // sample headers come after the 241 bytes read, not 29 bytes after the header's start.
  Song short_header = base;
  short_header.instruments[0] = square_instrument(10, 0);
  std::vector<uint8_t> image = write_xm(short_header);
  const char kName[] = "instrument";
  const size_t start = size_t(std::search(image.begin(), image.end(), kName, kName + 10) - image.begin()) - 4;
  ASSERT_LT(start + 263, image.size());
  image[start] = 29;
  image[start + 1] = 0;
  image.erase(image.begin() + long(start) + 241, image.begin() + long(start) + 263);  // the reserved bytes
  cases.push_back({"instrument header size below its fields", image, [](const music_module& m) {
                     ASSERT_EQ(m.instruments[0].sample_count, 1);
                     EXPECT_EQ(m.instruments[0].samples[0]->length, 10u);
                     EXPECT_EQ(m.instruments[0].samples[0]->data[0], 16384);
                     EXPECT_EQ(m.instruments[0].samples[0]->data[9], -16384);
                   }});

  // A pattern header length other than 9 is not used: the nine bytes the format's writers lay
  // out are read whatever it says (honouring it would read another module than the intro's).
  for (uint32_t length : {0u, 5u, 20u}) {
    Song cells = base;
    cells.cell(0, 0, 0) = {xmw::C4, 1, 0, 0x0C, 0x20};
    std::vector<uint8_t> image = write_xm(cells);
    const size_t pattern = 60 + size_t(image[60] | image[61] << 8);  // after the song header
    ASSERT_EQ(image[pattern], 9);
    image[pattern] = uint8_t(length);
    cases.push_back({"pattern header length not 9", image, [](const music_module& m) {
                       const music_cell& cell = m.patterns[0].cells[0];
                       EXPECT_EQ(cell.note, xmw::C4);
                       EXPECT_EQ(cell.effect, 0x0C);
                       EXPECT_EQ(cell.parameter, 0x20);
                     }});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const char* reason = nullptr;
    ModulePtr m = load_image(c.image, &reason);
    ASSERT_TRUE(m) << (reason ? reason : "");
    c.check(*m);
  }
}

TEST(Loader, RejectsImagesItCannotPlay) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
  };
  std::vector<Case> cases;
  Song base = one_pattern_song();
  std::vector<uint8_t> image = write_xm(base);
  image[9] = 'm';
  cases.push_back({"lower-case magic", image});
  cases.push_back({"empty image", {}});
  const std::vector<uint8_t> whole = write_xm(base);
  cases.push_back({"magic only", std::vector<uint8_t>(whole.begin(), whole.begin() + 17)});
  Song many = base;
  many.channels = 33;
  cases.push_back({"33 channels", write_xm(many)});
  Song old = base;
  old.version = 0x0102;
  cases.push_back({"XM 1.02", write_xm(old)});
  Song long_pattern = base;
  long_pattern.patterns[0].rows = 257;
  long_pattern.patterns[0].zero_size = true;
  cases.push_back({"257 rows", write_xm(long_pattern)});
  Song seventeen = base;
  seventeen.instruments[0].sample_count = 17;
  cases.push_back({"17 samples", write_xm(seventeen)});
  for (const Case& c : cases) {
    const char* reason = nullptr;
    EXPECT_FALSE(load_image(c.image, &reason)) << c.name;
    EXPECT_NE(reason, nullptr) << c.name;
  }
}

TEST(MemoryStream, ReadSeekTell) {
  const uint8_t image[] = {1, 2, 3, 4, 5};
  music_memory_stream_register(image, 5);
  music_stream* s = music_memory_stream.open();
  ASSERT_NE(s, nullptr);
  uint8_t out[8] = {};
  EXPECT_EQ(music_memory_stream.read(s, out, 3), 3);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(music_memory_stream.read(s, out, 8), 2);  // only what remains
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(music_memory_stream.read(s, out, 8), 0);
  music_memory_stream.seek(s, 1, 0);
  EXPECT_EQ(music_memory_stream.tell(s), 1);
  music_memory_stream.seek(s, 2, 1);
  EXPECT_EQ(music_memory_stream.tell(s), 3);
  music_memory_stream.seek(s, -1, 2);
  EXPECT_EQ(music_memory_stream.tell(s), 4);
  music_memory_stream.seek(s, 100, 0);  // beyond the end: lowered to the size
  EXPECT_EQ(music_memory_stream.tell(s), 5);
  music_memory_stream.close(s);
  music_memory_stream_register(nullptr, 0);
}

}  // namespace
