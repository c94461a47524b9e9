// Sound design of the song's twelve instruments. Levels: every sample is normalised to the same
// peak; the balance of the mix lives in the score's volumes.
#include "tools/xmcompose/instruments.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace xmcompose {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kPeak = 0.995;                 // normalised peak of every sample, of full scale
constexpr double kMiddleC = 261.6255653005986;  // Hz, the pitch of C-4
constexpr double kC3 = kMiddleC / 2.0;

// sin(x) by range reduction and a Taylor series: error below 1e-11, and the same bits on
// every machine (only IEEE additions, multiplications and divisions).
double sine(double x) {
  x -= kTwoPi * std::floor(x / kTwoPi + 0.5);
  if (x > kPi / 2) x = kPi - x;
  if (x < -kPi / 2) x = -kPi - x;
  const double x2 = x * x;
  double term = x, sum = x;
  for (int n = 2; n <= 18; n += 2) {
    term *= -x2 / (n * (n + 1));
    sum += term;
  }
  return sum;
}

// e^x by halving into |x| <= 1/4, a Taylor series, then repeated squaring.
double expo(double x) {
  int halvings = 0;
  while (x > 0.25 || x < -0.25) {
    x /= 2;
    ++halvings;
  }
  double term = 1, sum = 1;
  for (int n = 1; n <= 14; ++n) {
    term *= x / n;
    sum += term;
  }
  while (halvings-- > 0) sum *= sum;
  return sum;
}

double exp2_(double x) {
  return expo(x * 0.6931471805599453);
}
double soft_clip(double x) {  // tanh
  const double e = expo(2 * x);
  return (e - 1) / (e + 1);
}

// Sample rate of a sample made for relative-note offset k: 8363 × 2^(k/12) Hz.
double rate_for(int k) {
  return 8363.0 * exp2_(k / 12.0);
}

// Second-order low-pass magnitude at f for cut-off fc.
double lowpass(double f, double fc) {
  const double r = f / fc;
  return 1.0 / std::sqrt(1.0 + r * r * r * r);
}

// Deterministic white noise in [-1, 1).
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

 private:
  uint32_t state_;
};

// Scales to kPeak of full scale and quantises to the stored width (8-bit values keep
// only their upper byte).
std::vector<int16_t> quantise(const std::vector<double>& wave, bool sixteen_bit) {
  double peak = 1e-9;
  for (double v : wave) peak = std::fmax(peak, std::fabs(v));
  const double gain = kPeak / peak;
  std::vector<int16_t> out;
  out.reserve(wave.size());
  for (double v : wave) {
    if (sixteen_bit)
      out.push_back(static_cast<int16_t>(std::nearbyint(v * gain * 32767.0)));
    else
      out.push_back(static_cast<int16_t>(std::nearbyint(v * gain * 127.0) * 256.0));
  }
  return out;
}

struct Partial {
  double hz;
  double amp;
  double phase;  // radians
};

// A static spectrum of `cycles` whole cycles: its last sample runs seamlessly into its first,
// so the whole buffer is a loop. Returns the exact base frequency used (base_hz rounded so
// that `cycles` periods fill a whole number of samples).
double loop_length_for(double rate, double base_hz, int cycles, size_t& length) {
  length = static_cast<size_t>(std::nearbyint(cycles * rate / base_hz));
  return cycles * rate / static_cast<double>(length);
}

void add_partials(std::vector<double>& out, size_t from, double rate, const std::vector<Partial>& partials,
                  const std::function<double(double t, double hz)>& gain) {
  for (size_t i = from; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double sum = 0;
    for (const Partial& p : partials) sum += p.amp * gain(t, p.hz) * sine(kTwoPi * p.hz * t + p.phase);
    out[i] += sum;
  }
}

// Harmonics of a band-limited sawtooth (or any 1/n-shaped wave) at f, up to max_hz.
std::vector<Partial> harmonics(double f, double max_hz, const std::function<double(int)>& amp,
                               double phase_seed) {
  std::vector<Partial> out;
  Noise phases(static_cast<uint32_t>(phase_seed * 1000.0) + 7);
  for (int n = 1; n * f < max_hz; ++n) {
    const double phase = phase_seed == 0 ? 0.0 : kPi * phases.next();
    out.push_back({n * f, amp(n), phase});
  }
  return out;
}

XmEnvelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, int sustain, int loop_start = -1,
                    int loop_end = -1) {
  return {std::move(points), sustain, loop_start, loop_end};
}

XmInstrument named(const char* name) {
  XmInstrument in;
  in.name = name;
  in.sample.name = name;
  return in;
}

// Every pitched loop plays its whole buffer again and again.
void loop_all(XmSample& s, XmLoop kind, uint32_t start = 0) {
  s.loop = kind;
  s.loop_start = start;
  s.loop_length = static_cast<uint32_t>(s.data.size()) - start;
}

// --- Drums ----------------------------------------------------------------------------------

XmInstrument kick() {
  const double rate = rate_for(12);
  std::vector<double> w(static_cast<size_t>(0.34 * rate));
  Noise noise(11);
  double phase = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    const double t = i / rate;
    // A fast drop from 200 Hz to 45 Hz and a short bright click: the hit lands at once and
    // the body sits under the bass instead of sweeping through its band.
    const double hz = 45.0 + 155.0 * expo(-t / 0.018);
    phase += kTwoPi * hz / rate;
    const double body = sine(phase) * expo(-t / 0.18);
    const double click = noise.next() * expo(-t / 0.0012) * 0.45;
    const double tail = t > 0.3 ? (0.34 - t) / 0.04 : 1.0;  // ends at zero, no click
    w[i] = soft_clip(1.8 * (body + click)) * tail;
  }
  XmInstrument in = named("kick");
  in.sample.data = quantise(w, true);
  in.sample.relative_note = 12;
  return in;
}

XmInstrument snare() {
  const double rate = rate_for(24);
  std::vector<double> w(static_cast<size_t>(0.24 * rate));
  Noise noise(23);
  double previous = 0, band = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    const double t = i / rate;
    const double n = noise.next();
    band = 0.55 * band + 0.45 * (n - previous);  // high-passed, then softened: a rattle
    previous = n;
    const double tone =
        0.55 * sine(kTwoPi * 187 * t) * expo(-t / 0.045) + 0.3 * sine(kTwoPi * 331 * t) * expo(-t / 0.03);
    w[i] = tone + 0.9 * band * expo(-t / 0.085);
  }
  XmInstrument in = named("snare");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  in.sample.relative_note = 24;
  return in;
}

// High-passed noise with a little metallic ring from detuned square waves.
std::vector<double> metal_noise(double rate, size_t length, uint32_t seed, double metal) {
  static const double kRing[6] = {1174, 1690, 2062, 2634, 3120, 3766};
  std::vector<double> w(length);
  Noise noise(seed);
  double previous = 0, previous_ring = 0;
  for (size_t i = 0; i < length; ++i) {
    const double t = i / rate;
    double ring = 0;
    for (double hz : kRing) ring += sine(kTwoPi * hz * t) > 0 ? 1.0 : -1.0;
    const double n = noise.next();
    w[i] = (n - previous) + metal * (ring - previous_ring) / 6.0;
    previous = n;
    previous_ring = ring;
  }
  return w;
}

XmInstrument hat() {
  const double rate = rate_for(24);
  std::vector<double> w = metal_noise(rate, static_cast<size_t>(0.09 * rate), 31, 0.5);
  for (size_t i = 0; i < w.size(); ++i) w[i] *= expo(-(i / rate) / 0.02);
  XmInstrument in = named("closed hat");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  in.sample.relative_note = 24;
  in.sample.panning = 152;
  return in;
}

XmInstrument open_hat() {
  const double rate = rate_for(24);
  const size_t attack = static_cast<size_t>(0.012 * rate);
  std::vector<double> w = metal_noise(rate, static_cast<size_t>(0.3 * rate), 37, 0.7);
  for (size_t i = 0; i < attack; ++i) w[i] *= 1.0 + 0.6 * (1.0 - static_cast<double>(i) / attack);
  XmInstrument in = named("open hat");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  in.sample.relative_note = 24;
  in.sample.panning = 152;
  loop_all(in.sample, XmLoop::kForward, static_cast<uint32_t>(attack));
  in.volume_envelope = envelope({{0, 64}, {4, 44}, {14, 0}}, 1);
  in.fadeout = 2048;
  return in;
}

XmInstrument crash() {
  const double rate = rate_for(24);
  std::vector<double> w = metal_noise(rate, static_cast<size_t>(1.6 * rate), 41, 1.2);
  double peak = 1e-9;
  for (double v : w) peak = std::fmax(peak, std::fabs(v));
  for (size_t i = 0; i < w.size(); ++i) {
    const double t = i / rate;
    const double tail = t > 1.5 ? (1.6 - t) / 0.1 : 1.0;
    // Soft clipping of the noise before the envelope flattens its spikes: at the same peak the
    // wash carries about 4 dB more, enough to stand over the hats on the downbeats it marks.
    w[i] = soft_clip(3.0 * w[i] / peak) * (0.75 * expo(-t / 0.55) + 0.25 * expo(-t / 0.04)) * tail;
  }
  XmInstrument in = named("crash");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  in.sample.relative_note = 24;
  in.sample.panning = 112;
  return in;
}

// Filtered noise for risers: played low and bent upwards with portamento, and carried from the
// left to the right over a bar (96 ticks) by its panning envelope. Reversing noise leaves
// noise, so the ping-pong turns are inaudible.
XmInstrument sweep() {
  const double rate = rate_for(0);
  std::vector<double> w(static_cast<size_t>(0.4 * rate));
  Noise noise(53);
  double low = 0, previous = 0;
  for (double& v : w) {
    low = 0.7 * low + 0.3 * noise.next();
    v = low - 0.5 * previous;
    previous = low;
  }
  XmInstrument in = named("sweep");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  loop_all(in.sample, XmLoop::kPingPong);
  in.panning_envelope = envelope({{0, 16}, {96, 48}}, -1);
  return in;
}

// --- Pitched instruments (made at C-4, or C-3 for the bass) --------------------------------

// The stab drives the show's beat, so it has to cut through the full mix: a saw power chord
// whose filter opens wide for its first 30 ms, a 1 ms attack, a short high-passed noise snap on
// the onset, and soft clipping that thickens the body against the sample's normalised peak.
XmInstrument stab() {
  const double rate = rate_for(12);
  std::vector<double> w(static_cast<size_t>(0.5 * rate), 0.0);
  std::vector<Partial> partials;
  const double chord[3][2] = {{1.0, 1.0}, {1.5, 0.7}, {2.0, 0.45}};  // root, fifth, octave
  for (const auto& voice : chord)
    for (const Partial& p : harmonics(
             kMiddleC * voice[0], 9000, [](int n) { return 1.0 / n; }, voice[0]))
      partials.push_back({p.hz, p.amp * voice[1], p.phase});
  add_partials(w, 0, rate, partials, [](double t, double hz) {
    const double attack = t < 0.001 ? t / 0.001 : 1.0;
    return attack * expo(-t / 0.17) * lowpass(hz, 600 + 8400 * expo(-t / 0.03));
  });
  Noise noise(61);
  double previous = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    const double t = i / rate;
    const double n = noise.next();
    w[i] = soft_clip(1.4 * (w[i] + 1.2 * (n - previous) * expo(-t / 0.006)));
    previous = n;
  }
  XmInstrument in = named("stab");
  in.sample.data = quantise(w, true);
  in.sample.relative_note = 12;
  return in;
}

XmInstrument bass() {
  const double rate = rate_for(12);
  const double attack = 0.09;  // s of filter sweep before the loop
  size_t loop = 0;
  const double f = loop_length_for(rate, kC3, 16, loop);
  const size_t start = static_cast<size_t>(attack * rate);
  std::vector<double> w(start + loop, 0.0);
  std::vector<Partial> partials = harmonics(
      f, 5000, [](int n) { return 1.0 / n; }, 0);
  partials.push_back(
      {f / 2, 0.2, 0});  // a light sub-octave (8 whole cycles in the loop): the kick owns the lows
  add_partials(w, 0, rate, partials, [attack](double t, double hz) {
    if (hz < 100) return 1.0;
    return lowpass(hz, 800 + 2600 * expo(-std::fmin(t, attack) / 0.025));
  });
  XmInstrument in = named("bass");
  in.sample.data = quantise(w, true);
  in.sample.relative_note = 24;
  loop_all(in.sample, XmLoop::kForward, static_cast<uint32_t>(start));
  in.volume_envelope = envelope({{0, 64}, {8, 50}, {24, 44}, {34, 0}}, 2);
  in.fadeout = 1024;
  return in;
}

XmInstrument chip() {
  const double rate = rate_for(12);
  size_t loop = 0;
  const double f = loop_length_for(rate, kMiddleC, 14, loop);
  std::vector<double> w(loop, 0.0);
  add_partials(w, 0, rate,
               harmonics(
                   f, 7000, [](int n) { return sine(kPi * n * 0.25) / n; }, 0),
               [](double, double) { return 1.0; });
  XmInstrument in = named("chip");
  in.sample.data = quantise(w, false);
  in.sample.sixteen_bit = false;
  in.sample.relative_note = 12;
  in.sample.panning = 84;
  loop_all(in.sample, XmLoop::kForward);
  in.volume_envelope = envelope({{0, 64}, {3, 46}, {10, 34}, {20, 0}}, 2);
  in.fadeout = 2048;
  return in;
}

// Detuned oscillators that each complete a whole number of cycles in the buffer, so the
// chorus beating loops as seamlessly as the waves.
std::vector<double> chorus(double rate, int cycles, const std::vector<int>& detune_cycles, double cutoff,
                           double odd_boost, double sub) {
  size_t length = 0;
  const double f = loop_length_for(rate, kMiddleC, cycles, length);
  std::vector<double> w(length, 0.0);
  std::vector<Partial> partials;
  double seed = 1.0;
  for (int d : detune_cycles) {
    const double hz = f * (cycles + d) / cycles;
    for (const Partial& p : harmonics(
             hz, 5500, [odd_boost](int n) { return (n % 2 ? odd_boost : 1.0) / n; }, seed))
      partials.push_back(p);
    seed += 1.0;
  }
  if (sub > 0) partials.push_back({f / 2, sub, 0});
  add_partials(w, 0, rate, partials, [cutoff](double, double hz) { return lowpass(hz, cutoff); });
  return w;
}

XmInstrument pad() {
  XmInstrument in = named("pad");
  in.sample.data = quantise(chorus(rate_for(12), 250, {-1, 0, 1}, 2000, 1.0, 0.35), true);
  in.sample.relative_note = 12;
  loop_all(in.sample, XmLoop::kForward);
  in.volume_envelope = envelope({{0, 22}, {14, 50}, {40, 58}, {100, 0}}, 2);
  in.fadeout = 256;
  return in;
}

XmInstrument lead() {
  XmInstrument in = named("lead");
  in.sample.data = quantise(chorus(rate_for(12), 200, {0, 1}, 4200, 1.8, 0.0), true);
  in.sample.relative_note = 12;
  in.sample.panning = 100;  // left of centre; the echo answers from the right
  loop_all(in.sample, XmLoop::kForward);
  in.volume_envelope = envelope({{0, 48}, {2, 64}, {14, 54}, {40, 0}}, 2);
  in.fadeout = 768;
  in.vibrato_type = 0;  // sine
  in.vibrato_sweep = 30;
  in.vibrato_depth = 6;
  in.vibrato_rate = 20;
  return in;
}

XmInstrument echo() {
  XmInstrument in = named("echo");
  in.sample.data = quantise(chorus(rate_for(12), 150, {0, 1}, 1700, 1.4, 0.0), true);
  in.sample.relative_note = 12;
  in.sample.panning = 184;
  loop_all(in.sample, XmLoop::kForward);
  in.volume_envelope = envelope({{0, 40}, {3, 64}, {16, 50}, {40, 0}}, 2);
  in.fadeout = 768;
  return in;
}

}  // namespace

std::vector<XmInstrument> make_instruments() {
  // Order = instrument numbers of the Instrument enum.
  return {stab(), kick(), snare(), hat(),  open_hat(), bass(),
          chip(), pad(),  lead(),  echo(), crash(),    sweep()};
}

}  // namespace xmcompose
