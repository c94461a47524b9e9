// The mixer: resampling, loops at their boundaries, gain ramps, panning, PCM conversion and
// the equality of the frame-pair and one-frame paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "module/mixer_internal.h"
#include "module/music.h"

namespace {

// A sample built in the test, with storage and guard as the loader leaves them.
struct TestSample {
  std::vector<int16_t> storage;
  music_sample sample{};
  TestSample(std::vector<int16_t> values, uint8_t kind, uint32_t loop_start = 0, uint32_t loop_length = 0) {
    storage = values;
    storage.resize(values.size() + 8, 0);
    sample.data = storage.data();
    sample.length = uint32_t(values.size());
    sample.loop_kind = kind;
    sample.loop_start = kind == kLoopNone ? 0 : loop_start;
    sample.loop_length = kind == kLoopNone ? sample.length : loop_length;
    sample.bits = 16;
    const uint32_t end = sample.loop_start + sample.loop_length;
    if (kind == kLoopForward) storage[end] = storage[sample.loop_start];
    if (kind == kLoopPingPong) storage[end] = storage[end - 1];
  }
};

constexpr int64_t kOne = int64_t(1) << 32;

// A voice at full gain 127 on both sides with no ramp pending.
music_voice steady_voice(music_sample* sample, uint64_t step = uint64_t(kOne)) {
  music_voice v{};
  v.sample = sample;
  v.step = step;
  v.direction = kForward;
  v.volume = 127;
  v.target_left = v.target_right = 127;
  v.ramp_from_left = v.ramp_from_right = 127;
  v.current_left = v.current_right = 127 * 256;
  return v;
}

// Mixes one voice alone and returns the left output divided back by the gain.
std::vector<float> render_left(music_voice& voice, int frames) {
  std::vector<music_voice> voices(kMusicVoices);
  voices[0] = voice;
  std::vector<float> buffer(size_t(2 * frames), 0.0f);
  music_mix(voices.data(), buffer.data(), frames);
  voice = voices[0];
  std::vector<float> left;
  for (int f = 0; f < frames; ++f) left.push_back(buffer[size_t(2 * f)] * 255.0f / 127.0f);
  return left;
}

void expect_near_all(const std::vector<float>& got, const std::vector<float>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 0.05) << "frame " << i;
}

TEST(Mixer, NonLoopingSampleEndsAfterItsLastSample) {
  TestSample s({100, 200, 300, 400}, kLoopNone);
  music_voice v = steady_voice(&s.sample);
  expect_near_all(render_left(v, 6), {100, 200, 300, 400, 0, 0});
  EXPECT_EQ(v.sample, nullptr);
  // Half steps: the last sample interpolates towards 0.
  music_voice half = steady_voice(&s.sample, uint64_t(kOne / 2));
  expect_near_all(render_left(half, 10), {100, 150, 200, 250, 300, 350, 400, 200, 0, 0});
}

TEST(Mixer, EmptySampleIsSilentAndIdlesAtOnce) {
  music_voice v = steady_voice(&music_empty_sample);
  expect_near_all(render_left(v, 3), {0, 0, 0});
  EXPECT_EQ(v.sample, nullptr);
}

TEST(Mixer, ForwardLoopOfOneSampleRepeatsIt) {
  TestSample s({100, 200, 300}, kLoopForward, 2, 1);
  music_voice v = steady_voice(&s.sample);
  expect_near_all(render_left(v, 6), {100, 200, 300, 300, 300, 300});
  music_voice half = steady_voice(&s.sample, uint64_t(kOne / 2));
  expect_near_all(render_left(half, 8), {100, 150, 200, 250, 300, 300, 300, 300});
}

TEST(Mixer, ForwardLoopWrapsKeepingTheFraction) {
  TestSample s({0, 100, 200, 300}, kLoopForward, 1, 3);
  music_voice v = steady_voice(&s.sample, uint64_t(kOne + kOne / 2));  // 1.5 per frame
  // positions 0, 1.5, 3 → wraps at 4 to 1 (4.5 → 1.5), 3, 4.5 → 1.5 ...
  expect_near_all(render_left(v, 6), {0, 150, 300, 150, 300, 150});
}

// A voice that starts past its loop end plays on to the sample's end, then wraps into the loop.
TEST(Mixer, StartPastTheLoopPlaysToTheSampleEnd) {
  TestSample s({0, 100, 200, 300, 400, 500}, kLoopForward, 1, 2);
  music_voice v = steady_voice(&s.sample);
  v.position = 4 * kOne;
  // 6 wraps by whole loop lengths to below the loop end: 6 → 4 → 2.
  expect_near_all(render_left(v, 5), {400, 500, 200, 100, 200});
}

TEST(Mixer, PingPongBouncesBetweenTheLoopEnds) {
  TestSample s({0, 100, 200, 300, 400, 500}, kLoopPingPong, 1, 4);
  music_voice v = steady_voice(&s.sample);
  expect_near_all(render_left(v, 16),
                  {0, 100, 200, 300, 400, 400, 400, 300, 200, 100, 200, 300, 400, 400, 400, 300});
  EXPECT_NE(v.sample, nullptr);
}

// Arriving backward exactly on a loop start at 0 must not read the sample before it.
TEST(Mixer, PingPongAtSampleStartStaysInside) {
  TestSample s({1000, 2000, 3000, 4000}, kLoopPingPong, 0, 4);
  music_voice v = steady_voice(&s.sample);
  v.position = 2 * kOne;
  v.direction = kBackward;
  const std::vector<float> out = render_left(v, 12);
  for (float x : out) {
    EXPECT_GE(x, 999.0f);
    EXPECT_LE(x, 4001.0f);
  }
  EXPECT_GE(v.position, 0);
}

// Big steps over a short ping-pong loop land inside the loop in one go.
TEST(Mixer, LargeStepsStayInsideShortLoops) {
  TestSample fwd({1, 2, 3, 4, 5}, kLoopForward, 3, 2);
  TestSample png({1, 2, 3, 4, 5}, kLoopPingPong, 3, 1);
  for (music_sample* sample : {&fwd.sample, &png.sample}) {
    music_voice v = steady_voice(sample, uint64_t(200) << 32 | 12345);
    render_left(v, 500);
    EXPECT_GE(v.position >> 32, 3);
    EXPECT_LT(v.position >> 32, 5);
  }
}

TEST(Mixer, RampRisesOver128FramesAndRestartsMidway) {
  TestSample s(std::vector<int16_t>(4, 1000), kLoopForward, 0, 4);
  music_voice v = steady_voice(&s.sample);
  v.current_left = v.current_right = 0;  // a fresh trigger rises from silence
  v.ramp_frames = 0;
  std::vector<float> out = render_left(v, 64);
  EXPECT_NEAR(out[0], 0.0f, 1e-3);
  EXPECT_NEAR(out[63], 1000.0f * 63 / 128, 1.0);
  EXPECT_EQ(v.ramp_frames, 64);
  EXPECT_NEAR(v.current_left, 127 * 256 / 2, 2);
  // New target halfway: a new ramp from the gain reached, again over 128 frames.
  v.target_left = v.target_right = 0;
  out = render_left(v, 1);
  EXPECT_EQ(v.ramp_frames, 127);
  EXPECT_EQ(v.ramp_from_left, 0);
  out = render_left(v, 127);
  EXPECT_EQ(v.ramp_frames, 0);
  EXPECT_EQ(v.current_left, 0);
  out = render_left(v, 4);
  expect_near_all(out, {0, 0, 0, 0});
}

TEST(Mixer, PanningGains) {
  const struct {
    int volume, panning, left, right;
  } cases[] = {{127, 0, 127, 0}, {127, 255, 0, 127}, {100, 128, 49, 50}, {64, 64, 47, 16}, {0, 128, 0, 0}};
  for (const auto& c : cases) {
    music_voice v{};
    v.volume = c.volume;
    v.panning = c.panning;
    music_set_gains(&v);
    EXPECT_EQ(v.target_left, c.left) << c.volume << "/" << c.panning;
    EXPECT_EQ(v.target_right, c.right) << c.volume << "/" << c.panning;
  }
}

TEST(Pcm16, RoundsToNearestEvenAndClips) {
  const std::vector<float> in = {40000.0f,  -40000.0f, 1.5f,  2.5f,   -1.5f,    32767.4f,
                                 -32768.6f, 0.49f,     3.0f,  -0.5f,  32767.5f, -32769.0f,
                                 7.7f,      -7.7f,     1e30f, -1e30f, 0.5f,     100.0f};
  const std::vector<int16_t> expected = {32767, -32768, 2,      2, -2, 32767, -32768, 0, 3,
                                         0,     32767,  -32768, 8, -8, 32767, -32768, 0, 100};
  std::vector<int16_t> out(in.size(), 1);
  music_to_pcm16(out.data(), in.data(), int(in.size() / 2));
  EXPECT_EQ(out, expected);
}

TEST(Mixer, SumOfVoicesClipsTo16Bits) {
  TestSample s(std::vector<int16_t>(8, 32767), kLoopForward, 0, 8);
  std::vector<music_voice> voices(kMusicVoices);
  for (int i = 0; i < 8; ++i) voices[size_t(i)] = steady_voice(&s.sample);
  std::vector<float> buffer(2 * 16, 0.0f);
  music_mix(voices.data(), buffer.data(), 16);
  std::vector<int16_t> pcm(2 * 16);
  music_to_pcm16(pcm.data(), buffer.data(), 16);
  for (int16_t x : pcm) EXPECT_EQ(x, 32767);
}

// The grouped paths give bit-identical results to the one-frame path, over random voices
// with every loop kind, both directions, ramps and odd run lengths.
TEST(Mixer, FramePairsMatchSingleFrames) {
  std::mt19937 random(7);
  std::vector<TestSample> samples;
  for (int i = 0; i < 12; ++i) {
    std::vector<int16_t> values(5 + random() % 300);
    for (int16_t& x : values) x = int16_t(int(random() % 65536) - 32768);
    const uint8_t kinds[] = {kLoopNone, kLoopForward, kLoopPingPong};
    const uint8_t kind = kinds[i % 3];
    const uint32_t start = uint32_t(random() % values.size());
    const uint32_t length = 1 + uint32_t(random() % (values.size() - start));
    samples.emplace_back(values, kind, start, length);
  }
  std::vector<music_voice> a(kMusicVoices);
  for (int i = 0; i < kMusicVoices; ++i) {
    music_voice& v = a[size_t(i)];
    v.index = i;
    if (random() % 4 == 0) continue;  // idle
    v.sample = &samples[random() % samples.size()].sample;
    v.step = (uint64_t(random() % 6) << 32) | random();
    const music_sample& smp = *v.sample;
    v.direction = kForward;
    v.position = int64_t(random() % (smp.loop_start + smp.loop_length)) << 32 | random();
    if (smp.loop_kind == kLoopPingPong && random() % 2) {
      v.direction = kBackward;
      v.position = (int64_t(smp.loop_start + 1 + random() % smp.loop_length) << 32) - 1;
    }
    v.volume = int(random() % 128);
    v.panning = int(random() % 256);
    music_set_gains(&v);
    v.current_left = int32_t(random() % (128 * 256));
    v.current_right = int32_t(random() % (128 * 256));
  }
  std::vector<music_voice> b = a;
  std::vector<float> out_a(2 * 3000, 0.0f), out_b(2 * 3000, 0.0f);
  int done = 0;
  for (int run : {1, 7, 44, 2, 3, 300, 881, 13, 600, 29}) {
    music_mix_voices(a.data(), out_a.data() + 2 * done, run, true);
    music_mix_voices(b.data(), out_b.data() + 2 * done, run, false);
    done += run;
    // Gains change between runs, as the sequencer changes them between ticks.
    const int changed = int(random() % kMusicVoices);
    a[size_t(changed)].volume = b[size_t(changed)].volume = int(random() % 128);
    music_set_gains(&a[size_t(changed)]);
    music_set_gains(&b[size_t(changed)]);
  }
  EXPECT_EQ(std::memcmp(out_a.data(), out_b.data(), sizeof(float) * out_a.size()), 0);
  for (int i = 0; i < kMusicVoices; ++i) {
    EXPECT_EQ(a[size_t(i)].position, b[size_t(i)].position) << i;
    EXPECT_EQ(a[size_t(i)].sample, b[size_t(i)].sample) << i;
  }
}

TEST(Mixer, NothingHappensForEmptyRuns) {
  TestSample s({1, 2, 3}, kLoopForward, 0, 3);
  std::vector<music_voice> voices(kMusicVoices);
  voices[0] = steady_voice(&s.sample);
  float buffer[2] = {5.0f, 6.0f};
  music_mix(voices.data(), buffer, 0);
  music_mix(voices.data(), buffer, -3);
  EXPECT_EQ(buffer[0], 5.0f);
  EXPECT_EQ(voices[0].position, 0);
}

}  // namespace
