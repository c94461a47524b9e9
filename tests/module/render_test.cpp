// The chunk renderer: ticks split at exact frames, the position history and the ring.
#include <cstring>

#include "module_fixture.h"

using namespace xmw;

namespace {

Song ticking_song(int bpm) {
  Song song;
  song.channels = 1;
  song.speed = 1;  // one row per tick: the row number counts ticks
  song.bpm = bpm;
  song.patterns.resize(1);
  song.patterns[0].rows = 256;
  song.instruments.push_back(square_instrument());
  song.cell(0, 0, 0) = {C4, 1, 0, 0, 0};
  return song;
}

// A tick that starts on the first frame of a chunk runs in that chunk, so the row recorded
// after chunk k is the number of ticks started up to its last frame, minus one.
TEST(ChunkRenderer, TicksStartOnExactFrames) {
  for (int bpm : {125, 133, 255}) {
    Player p(ticking_song(bpm));
    RingPtr ring(music_ring_create());
    ASSERT_TRUE(ring);
    const int frames_per_tick = p.m().samples_per_tick;
    for (int k = 0; k < 900; ++k) {
      ASSERT_EQ(music_render_chunk(p.module.get(), ring.get()), k);
      const int last_frame = k * kMusicChunkFrames + kMusicChunkFrames - 1;
      const uint16_t entry = ring->history[k].load();
      EXPECT_EQ(music_history_row(entry), (last_frame / frames_per_tick) % 256)
          << "BPM " << bpm << " chunk " << k;
      EXPECT_EQ(music_history_order(entry), 0);
    }
  }
}

TEST(ChunkRenderer, RingIndexWrapsAfter1000Chunks) {
  Player p(ticking_song(125));
  RingPtr ring(music_ring_create());
  for (int k = 0; k < kMusicRingChunks; ++k) music_render_chunk(p.module.get(), ring.get());
  EXPECT_EQ(ring->render_index.load(), 0);
  EXPECT_EQ(music_render_chunk(p.module.get(), ring.get()), 0);
  EXPECT_EQ(ring->render_index.load(), 1);
  EXPECT_EQ(music_render_chunk(nullptr, ring.get()), -1);
  EXPECT_EQ(music_render_chunk(p.module.get(), nullptr), -1);
}

// The wave chunk is the mix of exactly the frames of that chunk, tick by tick.
TEST(ChunkRenderer, WaveMatchesDirectTickAndMix) {
  Song song = ticking_song(125);
  song.speed = 2;
  Player rendered(song);
  Player direct(song);
  RingPtr ring(music_ring_create());
  std::vector<float> mix(2 * 44 * 60, 0.0f);
  int left = 0;
  for (int f = 0; f < 44 * 60; ++f) {
    if (left == 0) {
      music_tick(direct.module.get());
      left = direct.m().samples_per_tick;
    }
    music_mix(direct.m().voices, mix.data() + 2 * f, 1);
    --left;
  }
  std::vector<int16_t> expected(mix.size());
  music_to_pcm16(expected.data(), mix.data(), 44 * 60);
  for (int k = 0; k < 60; ++k) music_render_chunk(rendered.module.get(), ring.get());
  // Frame-by-frame mixing takes the one-frame path everywhere; the output must not differ.
  EXPECT_EQ(std::memcmp(ring->wave, expected.data(), expected.size() * sizeof(int16_t)), 0);
  bool any_sound = false;
  for (int16_t x : expected) any_sound |= x != 0;
  EXPECT_TRUE(any_sound);
}

// Playing a module never changes it: a song whose E5x changes the finetune of a later note
// renders byte for byte the same after a second start.
TEST(ChunkRenderer, RendersTheSameTwice) {
  for (bool linear : {true, false}) {
    Song song = ticking_song(125);
    song.linear = linear;
    song.speed = 3;
    song.cell(0, 0, 0) = {C4, 1, 0, 0xE, 0x5F};
    song.cell(0, 1, 0) = {C4, 1, 0, 0, 0};
    song.cell(0, 2, 0) = {D4, 1, 0, 0x0, 0x37};  // an Amiga-table arpeggio reads the finetune too
    Player p(song);
    RingPtr ring(music_ring_create());
    ASSERT_TRUE(ring);
    std::vector<int16_t> renders[2];
    for (std::vector<int16_t>& wave : renders) {
      music_start(p.module.get());
      for (int k = 0; k < 300; ++k) {
        const int chunk = music_render_chunk(p.module.get(), ring.get());
        const int16_t* pcm = ring->wave + 2 * kMusicChunkFrames * chunk;
        wave.insert(wave.end(), pcm, pcm + 2 * kMusicChunkFrames);
      }
    }
    EXPECT_TRUE(renders[0] == renders[1]) << (linear ? "linear" : "Amiga") << " periods";
    EXPECT_EQ(p.m().instruments[0].samples[0]->finetune, 0);
  }
}

}  // namespace
