// module/mixer.cpp — resamples the 64 voices into a float32 stereo accumulation buffer.
//
// Number formats:
//   sample data   int16, read as float; data[i + 1] past the last sample of a loop is the guard
//   position      signed 32.32 samples (int64); step unsigned 32.32 per output frame
//   interpolation weight w = (fraction >> 1) / 2^31, s = s0 + w × (s1 − s0)
//   gains         target / 255 (targets 0..127); during a ramp current / 256 / 255, stepping
//                 by ramp_step (units of 1/255) each frame; current is 24.8 fixed point
//   buffer        interleaved float32 (left, right); music_to_pcm16 rounds and clips to int16
//
// Voices are mixed one after another over the whole run (voice-major). The run of a voice is
// cut into segments that end on a loop boundary or the end of a gain ramp; the frames to the
// boundary are computed once per segment, so the per-frame loop has no tests. Without a ramp
// frames are handled in groups (four per SSE iteration, then pairs), and ramps in groups of
// four: each lane does exactly the one-frame path's operations, so the results are identical.
#include <cmath>
#include <cstring>

#include "module/mixer_internal.h"
#include "module/music.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr float kWeightScale = 1.0f / 2147483648.0f;  // 2^-31
constexpr int64_t kEpsilon = 1;                       // 2^-32

inline float interpolate(const int16_t* data, int64_t position) {
  const int64_t i = position >> 32;
  const float s0 = float(data[i]);
  const float s1 = float(data[i + 1]);
  const float w = float(uint32_t(position) >> 1) * kWeightScale;
  return s0 + w * (s1 - s0);
}

#if defined(__SSE2__)
// Four frames at once: the same operations as interpolate() in each lane, so the results are
// bit-identical to the one-frame path. `fractions` holds the low 32 bits of the four positions
// (they wrap exactly as the 32.32 sums do); the integer parts come from the scalar position.
inline __m128 interpolate4(const int16_t* data, int64_t p0, int64_t step, __m128i fractions) {
  // One 32-bit load per frame fetches the sample and its successor (little-endian: s0 low).
  const auto pair = [data](int64_t p) {
    int32_t v;
    std::memcpy(&v, data + (p >> 32), sizeof v);
    return _mm_cvtsi32_si128(v);
  };
  const __m128i both = _mm_unpacklo_epi64(_mm_unpacklo_epi32(pair(p0), pair(p0 + step)),
                                          _mm_unpacklo_epi32(pair(p0 + 2 * step), pair(p0 + 3 * step)));
  const __m128 s0 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(both, 16), 16));
  const __m128 s1 = _mm_cvtepi32_ps(_mm_srai_epi32(both, 16));
  const __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1)), _mm_set1_ps(kWeightScale));
  return _mm_add_ps(s0, _mm_mul_ps(w, _mm_sub_ps(s1, s0)));
}
#endif

#if defined(__SSE2__)
// The 32-bit fractions of four consecutive frames' positions, one per lane.
inline __m128i fraction_lanes(int64_t position, int64_t step) {
  const uint32_t low = uint32_t(position), low_step = uint32_t(step);
  return _mm_setr_epi32(int32_t(low), int32_t(low + low_step), int32_t(low + 2 * low_step),
                        int32_t(low + 3 * low_step));
}
#endif

// Constant gains. Returns the position after `frames` frames.
int64_t render_flat(const int16_t* data, int64_t position, int64_t step, float gain_left, float gain_right,
                    float* out, int frames, bool groups) {
  if (gain_left == 0.0f && gain_right == 0.0f) return position + step * frames;  // silent: only advance
  int f = 0;
#if defined(__SSE2__)
  if (groups) {
    const __m128 gains = _mm_setr_ps(gain_left, gain_right, gain_left, gain_right);
    __m128i fractions = fraction_lanes(position, step);
    const __m128i fraction_step = _mm_set1_epi32(int32_t(4 * uint32_t(step)));
    for (; f + 4 <= frames; f += 4) {
      const __m128 s = interpolate4(data, position, step, fractions);
      fractions = _mm_add_epi32(fractions, fraction_step);
      position += 4 * step;
      float* o = out + 2 * f;
      _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(_mm_unpacklo_ps(s, s), gains)));
      _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_mul_ps(_mm_unpackhi_ps(s, s), gains)));
    }
  }
#endif
  if (groups) {
    for (; f + 2 <= frames; f += 2) {
      const float a = interpolate(data, position);
      const float b = interpolate(data, position + step);
      position += 2 * step;
      float* o = out + 2 * f;
      o[0] += a * gain_left;
      o[1] += a * gain_right;
      o[2] += b * gain_left;
      o[3] += b * gain_right;
    }
  }
  for (; f < frames; ++f) {
    const float s = interpolate(data, position);
    position += step;
    out[2 * f] += s * gain_left;
    out[2 * f + 1] += s * gain_right;
  }
  return position;
}

// Gains that change by a fixed amount after every frame. The gains are stepped one frame at a
// time in both paths (the same chain of single-precision additions), so grouping the frames
// changes nothing in the result.
int64_t render_ramp(const int16_t* data, int64_t position, int64_t step, float& gain_left, float& gain_right,
                    float step_left, float step_right, float* out, int frames, bool groups) {
  int f = 0;
#if defined(__SSE2__)
  if (groups) {
    __m128i fractions = fraction_lanes(position, step);
    const __m128i fraction_step = _mm_set1_epi32(int32_t(4 * uint32_t(step)));
    for (; f + 4 <= frames; f += 4) {
      const __m128 s = interpolate4(data, position, step, fractions);
      fractions = _mm_add_epi32(fractions, fraction_step);
      position += 4 * step;
      const float l0 = gain_left, r0 = gain_right;
      const float l1 = l0 + step_left, r1 = r0 + step_right;
      const float l2 = l1 + step_left, r2 = r1 + step_right;
      const float l3 = l2 + step_left, r3 = r2 + step_right;
      gain_left = l3 + step_left;
      gain_right = r3 + step_right;
      float* o = out + 2 * f;
      _mm_storeu_ps(
          o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(_mm_unpacklo_ps(s, s), _mm_setr_ps(l0, r0, l1, r1))));
      _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4),
                                      _mm_mul_ps(_mm_unpackhi_ps(s, s), _mm_setr_ps(l2, r2, l3, r3))));
    }
  }
#endif
  for (; f < frames; ++f) {
    const float s = interpolate(data, position);
    position += step;
    out[2 * f] += s * gain_left;
    out[2 * f + 1] += s * gain_right;
    gain_left += step_left;
    gain_right += step_right;
  }
  return position;
}

// Frames until the voice reaches its boundary (0 when it stands on or past it), or limit + 1
// when the boundary lies beyond the run. Exact: after the returned number of frames the
// position is at or past the boundary, never a fraction short of it (ignoring low fraction
// bits here would let a forward loop wrap to just below loop_start).
int frames_to_boundary(const music_voice& v, const music_sample& s, int limit) {
  const int64_t loop_end = int64_t(s.loop_start) + s.loop_length;
  int64_t distance;
  if (v.direction == kForward) {
    const int64_t end = (v.position >> 32) > loop_end ? int64_t(s.length) : loop_end;
    distance = (end << 32) - v.position;
  } else {
    distance = v.position - (int64_t(s.loop_start) << 32);
  }
  if (distance <= 0) return 0;
  const int64_t step = v.step > 0 ? int64_t(v.step) : 1;
  if (distance > step * limit) return limit + 1;  // the common case needs no division
  const int64_t frames = distance / step + (distance % step != 0);
  return frames > limit ? limit + 1 : int(frames);
}

// Reflects a ping-pong position that has run `overshoot` past the end it was moving towards.
// The loop is unfolded to twice its length, so any overshoot lands inside it in one step.
void ping_pong_bounce(music_voice& v, const music_sample& s, int64_t overshoot, bool was_forward) {
  const int64_t start = int64_t(s.loop_start) << 32;
  const int64_t length = int64_t(s.loop_length) << 32;
  const int64_t end = start + length;
  const int64_t o = overshoot % (2 * length);
  // First half: the direction flips; second half: it has flipped twice.
  const bool flips = o < length;
  const bool forward = was_forward != flips;
  if (forward)
    v.position = flips ? start + o : start + (o - length);
  else
    v.position = flips ? end - o - kEpsilon : end - (o - length) - kEpsilon;
  if (v.position < start) v.position = start;
  if (v.position > end - kEpsilon) v.position = end - kEpsilon;
  v.direction = forward ? kForward : kBackward;
}

// Returns false when the voice has gone idle.
bool cross_boundary(music_voice& v, const music_sample& s) {
  const int64_t start = int64_t(s.loop_start) << 32;
  const int64_t length = int64_t(s.loop_length) << 32;
  const int64_t end = start + length;
  switch (s.loop_kind) {
    case kLoopForward: {
      if (v.position >= end) v.position -= length * (1 + (v.position - end) / length);
      if (v.position < start) v.position = start;  // only before a loop start, never reached in play
      return true;
    }
    case kLoopPingPong:
      // Moving backward the bounce is at loop_start itself (not 2^-32 below it), so the voice
      // never reads the sample before the loop (data[-1] for a loop at 0).
      if (v.direction == kForward)
        ping_pong_bounce(v, s, v.position - end, true);
      else
        ping_pong_bounce(v, s, start - v.position, false);
      return true;
    default:
      v.sample = nullptr;
      v.position = 0;
      return false;
  }
}

// Sets up a new ramp when the targets moved; returns whether a ramp is running.
bool prepare_ramp(music_voice& v) {
  if (v.ramp_frames > 0 && v.target_left == v.ramp_from_left && v.target_right == v.ramp_from_right)
    return true;
  v.ramp_from_left = v.target_left;
  v.ramp_from_right = v.target_right;
  const int diff_left = v.target_left - (v.current_left >> 8);
  const int diff_right = v.target_right - (v.current_right >> 8);
  constexpr float kPerFrame = (1.0f / 255.0f) * (1.0f / 128.0f);
  v.ramp_step_left = diff_left != 0 ? float(diff_left) * kPerFrame : 0.0f;
  v.ramp_step_right = diff_right != 0 ? float(diff_right) * kPerFrame : 0.0f;
  if (diff_left == 0 && diff_right == 0) {
    // Already there: no ramp, and the gains are exactly the targets.
    v.ramp_frames = 0;
    v.current_left = v.target_left * 256;
    v.current_right = v.target_right * 256;
    return false;
  }
  v.ramp_frames = kMusicRampFrames;
  return true;
}

void mix_voice(music_voice& v, float* out, int frames, bool groups) {
  int left = frames;
  while (left > 0 && v.sample) {
    if (v.fading && v.ramp_frames == 0 &&
        (v.current_left | v.current_right | v.target_left | v.target_right) == 0) {
      // Faded out after a new note took the partner voice. No channel refers to this voice any
      // more, so nothing can make it audible again: idle it now instead of advancing it silently.
      v.sample = nullptr;
      v.position = 0;
      return;
    }
    const music_sample& s = *v.sample;
    const int to_boundary = frames_to_boundary(v, s, left);
    int n = to_boundary <= left ? to_boundary : left;
    const bool ramping = prepare_ramp(v);
    if (ramping && v.ramp_frames < n) n = v.ramp_frames;
    const int64_t step = v.direction == kForward ? int64_t(v.step) : -int64_t(v.step);
    if (ramping) {
      float gain_left = float(v.current_left) / 256.0f / 255.0f;
      float gain_right = float(v.current_right) / 256.0f / 255.0f;
      v.position = render_ramp(s.data, v.position, step, gain_left, gain_right, v.ramp_step_left,
                               v.ramp_step_right, out, n, groups);
      v.ramp_frames -= n;
      if (v.ramp_frames == 0) {
        v.ramp_step_left = v.ramp_step_right = 0.0f;
        v.current_left = v.target_left * 256;
        v.current_right = v.target_right * 256;
      } else {
        v.current_left = int32_t(std::lrint(gain_left * 255.0f * 256.0f));
        v.current_right = int32_t(std::lrint(gain_right * 255.0f * 256.0f));
      }
    } else if (n > 0) {
      v.position = render_flat(s.data, v.position, step, float(v.target_left) / 255.0f,
                               float(v.target_right) / 255.0f, out, n, groups);
    }
    out += 2 * n;
    left -= n;
    if (n == to_boundary && !cross_boundary(v, s)) return;
  }
}

}  // namespace

void music_mix_voices(music_voice* voices, float* buffer, int frames, bool groups) {
  if (frames < 1 || !voices || !buffer) return;
  for (int i = 0; i < kMusicVoices; ++i)
    if (voices[i].sample) mix_voice(voices[i], buffer, frames, groups);
}

void music_mix(music_voice* voices, float* buffer, int frames) {
  music_mix_voices(voices, buffer, frames, true);
}

void music_set_gains(music_voice* voice) {
  if (!voice) return;
  voice->target_left = voice->volume * (255 - voice->panning) / 255;
  voice->target_right = voice->volume * voice->panning / 255;
}

void music_to_pcm16(int16_t* destination, const float* buffer, int frames) {
  if (frames < 1 || !destination || !buffer) return;
  const int count = 2 * frames;
  int i = 0;
#if defined(__SSE2__)
  // Clamp in float first: out-of-range conversions would give INT32_MIN.
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  for (; i + 8 <= count; i += 8) {
    const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(buffer + i), low), high);
    const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(buffer + i + 4), low), high);
    const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));  // nearest, ties even
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
  }
#endif
  for (; i < count; ++i) {
    float v = buffer[i];
    if (!(v > -32768.0f)) v = -32768.0f;  // NaN lands here too
    if (v > 32767.0f) v = 32767.0f;
    destination[i] = int16_t(std::nearbyint(v));
  }
}
