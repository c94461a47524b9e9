// Playback through the looping device: a device double whose play position the test moves by
// hand, so nothing here depends on wall time, and one real run on SDL's silent device.
#include "module/playback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

#include "module/music.h"
#include "module/platform_device.h"
#include "module/xm_writer.h"
#include "runtime/os/os.h"

namespace {

constexpr uint64_t kChunkBytes = 44 * 4;

std::atomic<uint64_t> device_bytes{0};
std::atomic<int> device_opens{0}, device_closes{0};
bool device_works = true;
std::vector<uint8_t> opened_with;  // the sound the device was last opened with
const music_device kDeviceDouble = {
    [](const void* buffer, uint32_t bytes) {
      EXPECT_EQ(bytes, 44000u * 4);
      const auto* sound = static_cast<const uint8_t*>(buffer);
      opened_with.assign(sound, sound + bytes);
      device_bytes = 0;  // a device starts playing at the top of the buffer
      ++device_opens;
      return device_works;
    },
    [] { return device_bytes.load(); },
    [] { ++device_closes; },
    nullptr,
    [] { return 23.2; },
};

// Two patterns at speed 1 and BPM 255: a new row every 432 frames, about every 10 chunks.
std::vector<uint8_t> fast_song() {
  xmw::Song song;
  song.channels = 2;
  song.speed = 1;
  song.bpm = 255;
  song.patterns.resize(2);
  song.patterns[0].rows = 64;
  song.patterns[1].rows = 32;
  song.cell(0, 0, 0) = music_cell{xmw::C4, 3, 0, 0, 0};  // C-4, instrument 3
  song.cell(0, 5, 1) = music_cell{50, 1, 0, 0, 0};
  song.orders = {0, 1, 0};
  song.restart = 1;
  song.instruments = {xmw::square_instrument()};
  return xmw::write_xm(song);
}

// What the renderer reaches after each chunk, rendered offline from a separate copy.
std::vector<uint16_t> reference_timeline(const std::vector<uint8_t>& image, int chunks) {
  music_memory_stream_register(image.data(), int32_t(image.size()));
  music_module* module = music_module_load(music_memory_stream, nullptr);
  music_ring* ring = music_ring_create();
  music_start(module);
  std::vector<uint16_t> timeline;
  for (int n = 0; n < chunks; ++n) {
    const int k = music_render_chunk(module, ring);
    timeline.push_back(ring->history[k].load());
  }
  music_ring_free(ring);
  music_module_free(module);
  return timeline;
}

bool wait_for_audible(int index) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (music_audible_index() != index) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    device_bytes = 0;
    device_works = true;
    music_set_device(&kDeviceDouble);
    image_ = fast_song();
    ASSERT_EQ(music_load_memory(image_.data(), int32_t(image_.size())), 1);
  }
  void TearDown() override {
    music_free();
    music_set_device(nullptr);
  }
  std::vector<uint8_t> image_;
};

TEST_F(Playback, QueriesFollowTheChunkUnderThePlayCursor) {
  const std::vector<uint16_t> expected = reference_timeline(image_, 1300);
  ASSERT_TRUE(music_play());
  EXPECT_EQ(music_position(), 0);
  EXPECT_EQ(music_row(), 0);
  // Across the first loop and into the second: the audible entry of chunk n is what the
  // renderer reached after chunk n, rendered one loop before it sounds.
  for (int n = 1; n < 1300; n += 37) {
    device_bytes = uint64_t(n) * kChunkBytes + 3 * 4;  // a few frames into chunk n
    ASSERT_TRUE(wait_for_audible(n % 1000)) << n;
    EXPECT_EQ(music_position(), music_history_order(expected[size_t(n)])) << n;
    EXPECT_EQ(music_row(), music_history_row(expected[size_t(n)])) << n;
  }
}

// One pattern of 256 rows in all 256 orders at speed 1 and BPM 255: (order, row) only grows
// for 256 × 256 rows of about 10 chunks each, so every entry names the chunk where it begins.
std::vector<uint8_t> long_song() {
  xmw::Song song;
  song.speed = 1;
  song.bpm = 255;
  song.patterns.resize(1);
  song.patterns[0].rows = 256;
  for (int row = 0; row < 256; row += 16) song.cell(0, row, 0) = music_cell{xmw::C4, 1, 0, 0, 0};
  song.orders.assign(256, 0);
  song.instruments = {xmw::square_instrument()};
  return xmw::write_xm(song);
}

// The device's cursor runs on a thread of its own, far faster than real time, while this thread
// queries without pause: no answer may name a row whose first chunk the cursor has not reached.
// Each query reads the position before the row, and the cursor after both, so a pair that mixes
// two moments is never later than the second of them.
TEST_F(Playback, QueriesNeverRunAheadOfTheCursor) {
  constexpr int kCursorChunks = 20000;
  image_ = long_song();
  ASSERT_EQ(music_load_memory(image_.data(), int32_t(image_.size())), 1);
  const std::vector<uint16_t> timeline = reference_timeline(image_, kCursorChunks + 2 * 1000);
  std::vector<int> first_chunk(65536, std::numeric_limits<int>::max());
  for (int n = int(timeline.size()) - 1; n >= 0; --n) first_chunk[timeline[size_t(n)]] = n;

  ASSERT_TRUE(music_play());
  std::atomic<bool> done{false};
  std::thread cursor([&] {
    for (uint64_t n = 1; n <= kCursorChunks; ++n) {
      device_bytes.store(n * kChunkBytes + 4);
      // 20 us a chunk, waited out on the clock: a sleep this short returns at once on some
      // systems (mingw-w64's), which would run the cursor to its end before anything played.
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
      while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
    done = true;
  });
  long queries = 0, ahead = 0;
  int first_order = 0, first_row = 0;
  uint64_t first_cursor = 0;
  while (!done) {
    const int order = music_position();
    const int row = music_row();
    const uint64_t heard = device_bytes.load() / kChunkBytes;
    ++queries;
    if (uint64_t(first_chunk[size_t(order | row << 8)]) > heard && ahead++ == 0) {
      first_order = order;
      first_row = row;
      first_cursor = heard;
    }
  }
  cursor.join();
  EXPECT_EQ(ahead, 0) << ahead << " of " << queries << " queries ran ahead; the first named order "
                      << first_order << " row " << first_row << " with the cursor in chunk " << first_cursor;
  EXPECT_GT(music_position(), 0);  // the renderer kept up: the song moved on
}

TEST_F(Playback, NoteOfTheAudibleRow) {
  ASSERT_TRUE(music_play());
  EXPECT_EQ(music_note(0), 0x0331);  // C-4 with instrument 3
  EXPECT_EQ(music_note(1), 0);
  EXPECT_EQ(music_note(2), 0);  // beyond the channel count
  EXPECT_EQ(music_note(-1), 0);
  music_stop();
  EXPECT_EQ(music_note(0), 0);  // stopped
}

TEST_F(Playback, StopTwiceAndPlayAgainRestartsFromTheTop) {
  ASSERT_TRUE(music_play());
  device_bytes = 300 * kChunkBytes;
  ASSERT_TRUE(wait_for_audible(300));
  EXPECT_GT(music_row(), 0);
  ASSERT_TRUE(music_play());  // while playing: restarts
  EXPECT_EQ(music_audible_index(), 0);
  EXPECT_EQ(music_row(), 0);
  EXPECT_TRUE(music_stop());
  EXPECT_TRUE(music_stop());
  EXPECT_EQ(music_position(), 0);
  EXPECT_EQ(music_row(), 0);
  EXPECT_EQ(music_audible_index(), -1);
}

TEST_F(Playback, DeviceThatCannotOpenLeavesEverythingSilent) {
  device_works = false;
  EXPECT_FALSE(music_play());
  EXPECT_EQ(music_row(), 0);
  EXPECT_EQ(music_note(0), 0);
}

TEST(PlaybackWithoutModule, Refuses) {
  music_set_device(&kDeviceDouble);
  EXPECT_FALSE(music_play());
  EXPECT_FALSE(music_stop());
  EXPECT_FALSE(music_free());
  EXPECT_EQ(music_position(), 0);
  EXPECT_EQ(music_note(0), 0);
  music_set_device(nullptr);
}

// The current module stays when a load fails; free forgets it.
TEST(CurrentModule, FailedLoadKeepsThePreviousOne) {
  const std::vector<uint8_t> good = fast_song();
  ASSERT_EQ(music_load_memory(good.data(), int32_t(good.size())), 1);
  music_module* first = music_current();
  ASSERT_NE(first, nullptr);
  const std::vector<uint8_t> bad(good.begin(), good.begin() + 10);
  EXPECT_EQ(music_load_memory(bad.data(), int32_t(bad.size())), 0);
  EXPECT_EQ(music_current(), first);
  EXPECT_EQ(music_load_memory(nullptr, 10), 0);
  EXPECT_TRUE(music_free());
  EXPECT_FALSE(music_free());
  EXPECT_EQ(music_current(), nullptr);
}

TEST_F(Playback, FreeWhileTheThreadRenders) {
  ASSERT_TRUE(music_play());
  device_bytes = 999 * kChunkBytes;  // the thread has a whole loop to render
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(music_free());
  EXPECT_EQ(music_audible_index(), -1);
  EXPECT_EQ(music_position(), 0);
}

// The offset is read against the ear: the chunk a frame's row query named, and where the device
// position is once the frame is shown; across the ring's wrap, and negative when the screen runs
// ahead of the ear.
TEST_F(Playback, SyncOffsetOfShownFrames) {
  EXPECT_EQ(music_sync_report(), "sync: not measured (no music played)");
  struct Case {
    uint64_t queried_at;  // device bytes when the frame asked for its row
    int64_t ear_moved;    // frames the ear moved before the frame was shown
    double offset_ms;
  };
  const Case cases[] = {
      {10 * kChunkBytes, 0, 0.0},           // shown at once, at the chunk's first frame
      {20 * kChunkBytes + 8, 441, 10.045},  // 2 frames into the chunk, then 10 ms
      {999 * kChunkBytes, 882, 20.0},       // past the end of the ring into the next loop
      {1100 * kChunkBytes, -441, -10.0},    // the ear behind the chunk the frame showed
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(music_play());  // a new play starts a new record
    device_bytes = c.queried_at;
    ASSERT_TRUE(wait_for_audible(int(c.queried_at / kChunkBytes % 1000)));
    music_row();
    device_bytes = uint64_t(int64_t(c.queried_at) + c.ear_moved * 4);
    music_sync_frame_shown();
    const music_sync_figures f = music_sync_measured();
    EXPECT_EQ(f.frames, 1) << c.queried_at;
    EXPECT_NEAR(f.median_ms, c.offset_ms, 0.001) << c.queried_at;
    EXPECT_DOUBLE_EQ(f.device_delay_ms, 23.2);
  }
  // The report summarises the frames shown since the play: three at 10 ms, one at -10 ms.
  ASSERT_TRUE(music_play());
  const int64_t ear_moved[] = {441, 441, -441, 441};
  for (int64_t moved : ear_moved) {
    device_bytes = 50 * kChunkBytes;
    ASSERT_TRUE(wait_for_audible(50));
    music_row();
    device_bytes = uint64_t(int64_t(50 * kChunkBytes) + moved * 4);
    music_sync_frame_shown();
  }
  EXPECT_EQ(music_sync_report(),
            "sync: the screen 10.0 ms after the ear (median of 4 frames; p95 10.0, range -10.0 to 10.0 ms; "
            "device buffering of 23.2 ms counted)");
  music_stop();
  music_sync_frame_shown();  // nothing playing: not a frame of the record, which stays readable
  EXPECT_EQ(music_sync_measured().frames, 4);
  EXPECT_DOUBLE_EQ(music_sync_measured().device_delay_ms, 23.2);
}

// With a lead the queries answer for a later moment, from the positions the ring recorded for
// the chunks ahead of the ear; a measured lead follows the frames' time from query to screen.
TEST_F(Playback, LeadReadsAheadOfTheEar) {
  const std::vector<uint16_t> expected = reference_timeline(image_, 1300);
  struct Case {
    double lead_ms;
    int ear_chunk;
    int answer_chunk;
  };
  const Case cases[] = {
      {0.0, 40, 40},
      {10.0, 40, 50},      // 441 frames: 10 chunks
      {20.0, 995, 1015},   // ahead across the end of the ring, into the next loop's positions
      {5000.0, 100, 600},  // held to half a ring
  };
  for (const Case& c : cases) {
    music_set_lead_ms(c.lead_ms);
    ASSERT_TRUE(music_play());
    device_bytes = uint64_t(c.ear_chunk) * kChunkBytes;
    ASSERT_TRUE(wait_for_audible(c.ear_chunk % 1000));
    EXPECT_EQ(music_row(), music_history_row(expected[size_t(c.answer_chunk)])) << c.lead_ms;
    EXPECT_EQ(music_position(), music_history_order(expected[size_t(c.answer_chunk)])) << c.lead_ms;
    EXPECT_EQ(music_audible_index(), c.ear_chunk % 1000) << "the diagnostic index stays the ear's";
  }

  music_set_lead_ms(kMusicLeadMeasured);
  ASSERT_TRUE(music_play());
  for (int frame = 0; frame < 3; ++frame) {  // frames shown 10 ms after their query
    device_bytes = uint64_t(50 + 20 * frame) * kChunkBytes;
    ASSERT_TRUE(wait_for_audible(50 + 20 * frame));
    music_row();
    device_bytes = device_bytes + 441 * 4;
    music_sync_frame_shown();
  }
  // The first frame, without a lead, was 10 ms late; the two after it, with the lead it gave, on time.
  EXPECT_NEAR(music_sync_measured().max_ms, 10.0, 0.1);
  EXPECT_NEAR(music_sync_measured().median_ms, 0.0, 0.1);
  device_bytes = 200 * kChunkBytes;
  ASSERT_TRUE(wait_for_audible(200));
  EXPECT_EQ(music_row(), music_history_row(expected[210]));
  music_row();  // shown 10 ms after the query with the lead of 10 ms: on time
  device_bytes = device_bytes + 441 * 4;
  music_sync_frame_shown();
  EXPECT_NEAR(music_sync_measured().min_ms, 0.0, 0.1);
  music_set_lead_ms(0);
}

// The real device path on SDL's silent driver: rows advance with the tempo, by the device's own
// position (not by wall time, which a loaded machine stretches), whether the sound and the
// device were made ready ahead on another thread, as the intro's start-up does, or not.
TEST(PlaybackOnTheSilentDevice, RowsAdvanceWithTheTempo) {
  os::set_environment("SDL_AUDIODRIVER", "dummy");
  // Speed 6, BPM 125: a row every 6 × 882 frames = 0.12 s.
  xmw::Song song;
  song.patterns.resize(1);
  song.patterns[0].rows = 256;
  const std::vector<uint8_t> image = xmw::write_xm(song);
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "made ready ahead on a thread" : "made ready by music_play");
    ASSERT_EQ(music_load_memory(image.data(), int32_t(image.size())), 1);
    music_set_device(platform_music_device());
    if (ahead) {
      std::thread([] {
        EXPECT_TRUE(music_render_ahead());
        platform::audio_prepare();
      }).join();
    }
    ASSERT_TRUE(music_play());
    EXPECT_FALSE(platform::audio_silent_fallback());  // the silent driver was asked for by name
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const uint64_t heard_before = platform::audio_position();
    const int row = music_row();
    const uint64_t heard_after = platform::audio_position();
    music_free();
    music_set_device(nullptr);
    // The row under the device's position, give or take one (the streaming thread publishes
    // every 5 ms and a chunk at a time).
    const double frames = (heard_before + heard_after) / 2.0 / 4.0;
    EXPECT_GT(frames, 44100.0 * 0.5) << "the device hardly played";
    EXPECT_NEAR(row, frames / (6 * 882), 1.5) << "at frame " << frames;
  }
  os::set_environment("SDL_AUDIODRIVER", nullptr);
}

// Rendering ahead hands the device the same first second of sound that music_play renders.
TEST_F(Playback, RenderedAheadOnAThreadThePlayIsTheSame) {
  ASSERT_TRUE(music_play());
  const std::vector<uint8_t> played = opened_with;
  ASSERT_TRUE(music_stop());
  std::thread([] { EXPECT_TRUE(music_render_ahead()); }).join();
  const int opens = device_opens;
  ASSERT_TRUE(music_play());
  EXPECT_EQ(device_opens, opens + 1);
  EXPECT_TRUE(opened_with == played) << "the sound rendered ahead differs";
  EXPECT_EQ(music_row(), 0);
  // A ring rendered ahead is taken once: the next play renders anew, from the top.
  ASSERT_TRUE(music_play());
  EXPECT_TRUE(opened_with == played);
}

}  // namespace
