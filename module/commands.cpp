// module/commands.cpp — the volume-column and effect-column commands.
//
// Each column has a row-start and an other-tick entry; each entry is one switch with one case
// per command, in the order of the command tables; the command numbers are module/xm_commands.h's.
// The steps that several commands share (the slides of volume and panning, tone-portamento
// step, vibrato, tremolo, tremor step, multi retrigger) are written once above them.
//
// Units: periods are linear periods (64 per semitone) or Amiga periods as the module's flag
// says; volumes 0..64, panning 0..255 with 128 = centre; vibrato and tremolo positions are
// -32..31 (one cycle is 64 positions). A period_offset raises the pitch in linear mode and
// lowers it in Amiga mode (the apply step adds it to the exponent or to the period).
#include "module/commands.h"

#include "module/xm_commands.h"

namespace {

using namespace xm;

// Update bits 0..3, which a note delay holds back until its tick.
constexpr uint8_t kUpdateNoteBits = kUpdateFrequency | kUpdateVolume | kUpdatePanning | kUpdateTrigger;

// Periods and the slid panning have no limit on one side; this bound only keeps endless slides
// from overflowing. It is far past anything audible: a linear period of 2^20 asks for a
// frequency below the apply step's floor of 100 Hz, an Amiga period of 2^20 for 13 Hz.
constexpr int32_t kSlideBound = 1 << 20;

int32_t bounded(int64_t value) {
  if (value > kSlideBound) return kSlideBound;
  if (value < -kSlideBound) return -kSlideBound;
  return int32_t(value);
}

int high(uint8_t parameter) {
  return parameter >> 4;
}
int low(uint8_t parameter) {
  return parameter & 0x0F;
}

// ---- Shared steps --------------------------------------------------------------------------

// trunc(|sin(p × 2 × 3.141592 / 64)| × 256) for positions p ≡ index (mod 32): the sine of both
// halves of a cycle is the same magnitude, so 32 entries cover -32..31. The truncated π keeps
// the peak at 255.
constexpr uint8_t kVibratoSine[32] = {0,   25,  49,  74,  97,  120, 142, 162, 181, 197, 212,
                                      225, 236, 244, 251, 254, 255, 254, 251, 244, 236, 225,
                                      212, 197, 181, 162, 142, 120, 97,  74,  49,  25};

enum Shape : uint8_t { kSine, kRampDown, kSquare };
// Waveform nibble (bits 0..1) to shape: vibrato plays 3 as a square, tremolo plays 3 as a sine.
constexpr Shape kVibratoShapes[4] = {kSine, kRampDown, kSquare, kSquare};
constexpr Shape kTremoloShapes[4] = {kSine, kRampDown, kSquare, kSine};

// Waveform magnitude 0..255 at position p (-32..31); the sign comes from the caller.
int waveform_value(Shape shape, int p) {
  switch (shape) {
    case kSine:
      return kVibratoSine[p & 31];
    case kRampDown:
      // 255 − ((p × 8) mod 256) for p < 0, the modulo taken as non-negative: p = -1 gives 7.
      return p >= 0 ? p * 8 : 255 - ((p * 8) & 255);
    case kSquare:
      return 255;
  }
  return 0;
}

// Positions wrap into -32..31 after a step of at most 15.
int8_t advance_position(int8_t p, uint8_t speed) {
  int next = p + speed;
  if (next > 31) next -= 64;
  return int8_t(next);
}

// ---- Slides -------------------------------------------------------------------------------
// Every volume, global-volume and panning slide goes through slide(): up stops at `ceiling`,
// down at `floor`. Each direction checks only its own limit, so a volume that Cxx set above 64
// slides down from where it is, and the first step up brings it back to 64.
enum Direction { kUp, kDown };
struct Slide {
  Direction direction;
  int amount;
};
// A slide parameter xy: x ≠ 0 slides up by x, otherwise down by y.
Slide slide_of(uint8_t parameter) {
  return high(parameter) != 0 ? Slide{kUp, high(parameter)} : Slide{kDown, low(parameter)};
}

void slide(int32_t& value, Slide s, int32_t floor, int32_t ceiling) {
  if (s.direction == kUp) {
    value += s.amount;
    if (value > ceiling) value = ceiling;
  } else {
    value -= s.amount;
    if (value < floor) value = floor;
  }
}

// Volume within 0..64.
void volume_slide(music_channel& ch, Slide s) {
  slide(ch.volume, s, 0, 64);
  ch.update |= kUpdateVolume;
}

// Panning: Pxy stops at 0 and 255; the volume column's slides may leave that range (the apply
// step clamps what it passes on) and stop only at kSlideBound.
enum PanningRange { kPanningByte, kPanningOpen };
void panning_slide(music_channel& ch, Slide s, PanningRange range) {
  if (range == kPanningByte)
    slide(ch.panning, s, 0, 255);
  else
    slide(ch.panning, s, -kSlideBound, kSlideBound);
  ch.update |= kUpdatePanning;
}

// Slides the period towards porta_target by porta_speed × 4 without passing it.
void tone_porta_step(music_channel& ch) {
  const int step = ch.porta_speed * 4;
  if (ch.period < ch.porta_target) {
    ch.period += step;
    if (ch.period > ch.porta_target) ch.period = ch.porta_target;
  } else if (ch.period > ch.porta_target) {
    ch.period -= step;
    if (ch.period < ch.porta_target) ch.period = ch.porta_target;
  }
  ch.update |= kUpdateFrequency;
}

// Sets period_offset from the vibrato position; the first half of the cycle (p >= 0) is the
// negative half. The two low bits are cleared after the shift, as the offset always was.
void vibrato(music_channel& ch, bool advance) {
  const int p = ch.vibrato_position;
  const int w = waveform_value(kVibratoShapes[ch.waveforms & 3], p);
  int offset = ((w * ch.vibrato_depth) >> 5) & ~3;
  if (p >= 0) offset = -offset;
  ch.period_offset = offset;
  ch.update |= kUpdateFrequency;
  if (advance) ch.vibrato_position = advance_position(ch.vibrato_position, ch.vibrato_speed);
}

// Sets volume_offset from the tremolo position, keeping volume + offset within 0..64 when the
// volume itself is within it.
void tremolo(music_channel& ch) {
  const int p = ch.tremolo_position;
  int amount = (waveform_value(kTremoloShapes[(ch.waveforms >> 4) & 3], p) * ch.tremolo_depth) >> 6;
  if (p >= 0) {
    if (amount > 64 - ch.volume) amount = 64 - ch.volume;
    ch.volume_offset = amount;
  } else {
    if (ch.volume - amount < 0) amount = ch.volume;
    ch.volume_offset = -amount;
  }
  ch.tremolo_position = advance_position(ch.tremolo_position, ch.tremolo_speed);
  ch.update |= kUpdateVolume;
}

// Silent from the on ticks until on + off ticks have passed, then the cycle restarts. The
// counter restarts at or past the end, so a new Txy with shorter times cannot leave it beyond.
void tremor_step(music_channel& ch) {
  if (ch.tremor_counter >= ch.tremor_on) ch.volume_offset = -ch.volume;
  ++ch.tremor_counter;
  if (ch.tremor_counter >= ch.tremor_on + ch.tremor_off) ch.tremor_counter = 0;
  ch.update |= kUpdateVolume;
}

// Volume change of multi retrigger by type: volume × multiply / divide + add, then clamped to
// 0..64. The volume is never negative here, so the halving of type 7 (an arithmetic shift) and
// the truncating divisions agree.
struct RetriggerVolume {
  int add, multiply, divide;
};
constexpr RetriggerVolume kRetriggerVolume[16] = {
    {0, 1, 1},                                                    // 0: no change (trigger only)
    {-1, 1, 1}, {-2, 1, 1}, {-4, 1, 1}, {-8, 1, 1}, {-16, 1, 1},  // 1..5
    {0, 2, 3},                                                    // 6: × 2/3
    {0, 1, 2},                                                    // 7: halved
    {0, 1, 1},                                                    // 8: no change
    {1, 1, 1},  {2, 1, 1},  {4, 1, 1},  {8, 1, 1},  {16, 1, 1},   // 9..13
    {0, 3, 2},                                                    // 14: × 3/2
    {0, 2, 1},                                                    // 15: doubled
};

void multi_retrigger(music_channel& ch, int tick) {
  if (ch.retrigger_interval == 0 || tick % ch.retrigger_interval != 0) return;
  if (ch.retrigger_type != 0) {
    const RetriggerVolume& r = kRetriggerVolume[ch.retrigger_type & 15];
    int volume = ch.volume * r.multiply / r.divide + r.add;
    if (volume < 0) volume = 0;
    if (volume > 64) volume = 64;
    ch.volume = volume;
    ch.update |= kUpdateVolume;
  }
  ch.update |= kUpdateTrigger;
}

// Semitone offset of arpeggio: added to the exponent in linear mode, the difference of the two
// notes' periods in Amiga mode.
int arpeggio_offset(const music_effect_context& c, int semitones) {
  if (c.module->flags & 1) return semitones * 64;
  const int note = c.channel->real_note;
  const int finetune = music_channel_finetune(*c.channel, *c.sample);
  return music_amiga_period(note + semitones, finetune) - music_amiga_period(note, finetune);
}

void sample_offset(const music_effect_context& c, uint8_t parameter) {
  music_channel& ch = *c.channel;
  if (parameter != 0) ch.offset_memory = parameter;
  const int32_t offset = ch.offset_memory * 256;
  if (uint32_t(offset) < c.sample->loop_start + c.sample->loop_length) {
    c.module->voices[ch.voice].start_offset = offset;
  } else {
    // No retrigger: the sounding voice keeps its sample and starts over from its first frame.
    ch.update &= uint8_t(~kUpdateTrigger);
    ch.update |= kUpdateOffsetOutOfRange;
  }
}

void position_jump(music_module& m, uint8_t parameter) {
  m.next_order = parameter < m.song_length ? parameter : 0;
  m.next_row = 0;
  m.position_jumped = 1;
}

// The parameter is read as two decimal digits; a digit above 9 still counts by tens.
void pattern_break(music_module& m, uint8_t parameter) {
  const int row = high(parameter) * 10 + low(parameter);
  m.next_row = row > 63 ? 0 : row;
  if (!m.position_jumped) m.next_order = m.order_position + 1;
  if (m.next_order >= m.song_length) m.next_order = 0;
}

void pattern_loop(music_module& m, music_channel& ch, int x) {
  if (x == 0) {
    ch.loop_row = m.row;
    return;
  }
  ch.loop_count = ch.loop_count == 0 ? x : ch.loop_count - 1;
  if (ch.loop_count != 0) m.next_row = ch.loop_row;
}

// Lxx: moves the volume envelope to tick x, inside the segment that holds x.
void set_envelope_position(const music_effect_context& c, int x) {
  const music_instrument& ins = *c.instrument;
  const int n = ins.volume_point_count;
  if (!(ins.volume_type & kEnvelopeOn) || n < 1) return;
  const music_envelope_point* p = ins.volume_envelope;
  music_envelope_state& e = c.channel->volume_envelope;
  int j = 0;
  while (j < n - 1 && x > p[j + 1].x) ++j;  // never reads past the last point
  e.point = j;
  if (j >= n - 1) {
    e.value = p[n - 1].y;
    e.finished = 1;
    return;
  }
  e.finished = 0;
  e.tick = x;
  const int dx = p[j + 1].x - p[j].x;
  e.slope = dx != 0 ? (int32_t(p[j + 1].y) - int32_t(p[j].y)) * 65536 / dx : 0;
  e.point = j + 1;
  // x can lie before the first point when its x is not 0; keep the value within 0..64.
  int64_t value = int64_t(p[j].y) * 65536 + int64_t(x - p[j].x) * e.slope;
  if (value < 0) value = 0;
  if (value > 64 * 65536) value = 64 * 65536;
  e.value16 = int32_t(value);
  e.value = e.value16 >> 16;
}

// ---- E commands ------------------------------------------------------------------------------

void extended_row_start(const music_effect_context& c) {
  music_module& m = *c.module;
  music_channel& ch = *c.channel;
  const int x = low(c.cell->parameter);
  switch (high(c.cell->parameter)) {
    case kFinePortaUp:
      if (x != 0) ch.fine_porta_up_memory = uint8_t(x);
      ch.period = bounded(int64_t(ch.period) - ch.fine_porta_up_memory * 4);
      break;
    case kFinePortaDown:
      if (x != 0) ch.fine_porta_down_memory = uint8_t(x);
      ch.period = bounded(int64_t(ch.period) + ch.fine_porta_down_memory * 4);
      break;
    case kVibratoWaveform:
      ch.waveforms = uint8_t((ch.waveforms & 0xF0) | x);
      break;
    case kSetFinetune:
      // Kept by the channel for the row's sample: it lasts for this channel's later notes of
      // that sample, and the loaded module stays as loaded (a second start sounds the same).
      if (c.sample != &music_empty_sample) {
        ch.finetune_sample = c.sample;
        ch.finetune = int8_t(x);
      }
      break;
    case kPatternLoop:
      pattern_loop(m, ch, x);
      break;
    case kTremoloWaveform:
      ch.waveforms = uint8_t((ch.waveforms & 0x0F) | x << 4);
      break;
    case kSetPanningCoarse:
      ch.panning = x * 16;
      ch.update |= kUpdatePanning;
      break;
    case kFineVolumeUp:
      if (x != 0) ch.fine_volume_slide_memory = uint8_t(x);
      volume_slide(ch, {kUp, ch.fine_volume_slide_memory});
      break;
    case kFineVolumeDown:
      if (x != 0) ch.fine_volume_slide_memory = uint8_t(x);
      volume_slide(ch, {kDown, ch.fine_volume_slide_memory});
      break;
    case kNoteDelay:
      // The note waits for tick x; until then the channel sounds as before this row.
      ch.update &= uint8_t(~kUpdateNoteBits);
      ch.period = ch.row_start_period;
      ch.volume = ch.row_start_volume;
      ch.panning = ch.row_start_panning;
      break;
    case kPatternDelay:
      m.pattern_delay = x * m.speed;
      break;
    default:  // E0x, E3x, EFx are not executed; E9x and ECx act on the other ticks
      break;
  }
}

void extended_tick(const music_effect_context& c) {
  music_channel& ch = *c.channel;
  const int tick = c.module->tick;
  const int x = low(c.cell->parameter);
  switch (high(c.cell->parameter)) {
    case kRetrigger:
      if (x != 0 && tick % x == 0) ch.update |= kUpdateTrigger | kUpdateVolume | kUpdateFrequency;
      break;
    case kNoteCut:
      if (tick == x) {
        ch.volume = 0;
        ch.update |= kUpdateVolume;
      }
      break;
    case kNoteDelay:
      if (tick != x) {
        ch.update &= uint8_t(~kUpdateNoteBits);
        break;
      }
      music_instrument_reset(&ch, c.sample);
      ch.period = ch.note_period;
      ch.update |= kUpdateFrequency;
      if (c.cell->volume != 0) music_volume_column_row_start(c);
      ch.update |= kUpdateTrigger;
      break;
    default:
      break;
  }
}

}  // namespace

// ---- Volume column ---------------------------------------------------------------------------

void music_volume_column_row_start(const music_effect_context& c) {
  music_channel& ch = *c.channel;
  const uint8_t byte = c.cell->volume;
  const int y = low(byte);
  switch (high(byte)) {
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x4:
    case 0x5:
      if (byte > kVolumeColumnSetVolume + 64) break;  // 0x51..0x5F do nothing
      ch.volume = byte - kVolumeColumnSetVolume;
      ch.update |= kUpdateVolume;
      break;
    case kVolumeColumnSlideDown:  // slides down on every tick, the row start included
    case kVolumeColumnFineDown:   // on the row start only
      volume_slide(ch, {kDown, y});
      break;
    case kVolumeColumnSlideUp:
    case kVolumeColumnFineUp:
      volume_slide(ch, {kUp, y});
      break;
    case kVolumeColumnVibratoSpeed:
      ch.vibrato_speed = uint8_t(y);
      break;
    case kVolumeColumnVibratoDepth:
      ch.vibrato_depth = uint8_t(y);
      break;
    case kVolumeColumnSetPanning:
      ch.panning = y * 16;
      ch.update |= kUpdatePanning;
      break;
    case kVolumeColumnPanningLeft:
      panning_slide(ch, {kDown, y}, kPanningOpen);
      break;
    case kVolumeColumnPanningRight:
      panning_slide(ch, {kUp, y}, kPanningOpen);
      break;
    case kVolumeColumnTonePorta:
      // Unlike 3xx the note's period is already set: only the retrigger is held back.
      if (y != 0) ch.porta_speed = uint8_t(y * 16);
      ch.porta_target = ch.note_period;
      ch.update &= uint8_t(~kUpdateTrigger);
      break;
    default:
      break;
  }
}

void music_volume_column_tick(const music_effect_context& c) {
  music_channel& ch = *c.channel;
  const uint8_t byte = c.cell->volume;
  const int y = low(byte);
  switch (high(byte)) {
    case kVolumeColumnSlideDown:
      volume_slide(ch, {kDown, y});
      break;
    case kVolumeColumnSlideUp:
      volume_slide(ch, {kUp, y});
      break;
    case kVolumeColumnVibratoDepth:
      ch.vibrato_depth = uint8_t(y);
      vibrato(ch, true);
      break;
    case kVolumeColumnPanningLeft:
      panning_slide(ch, {kDown, y}, kPanningOpen);
      break;
    case kVolumeColumnPanningRight:
      panning_slide(ch, {kUp, y}, kPanningOpen);
      break;
    case kVolumeColumnTonePorta:
      tone_porta_step(ch);
      break;
    default:
      break;
  }
}

// ---- Effect column ---------------------------------------------------------------------------

void music_effect_row_start(const music_effect_context& c) {
  music_module& m = *c.module;
  music_channel& ch = *c.channel;
  const uint8_t xy = c.cell->parameter;
  switch (c.cell->effect) {
    case kArpeggio:
      break;
    case kPortaUp:
      if (xy != 0) ch.porta_up_memory = xy;
      break;
    case kPortaDown:
      if (xy != 0) ch.porta_down_memory = xy;
      break;
    case kTonePorta:
      if (xy != 0) ch.porta_speed = xy;
      ch.porta_target = ch.note_period;
      ch.update &= uint8_t(~(kUpdateTrigger | kUpdateFrequency));
      break;
    case kVibrato:
      if (high(xy) != 0) ch.vibrato_speed = uint8_t(high(xy));
      if (low(xy) != 0) ch.vibrato_depth = uint8_t(low(xy));
      vibrato(ch, false);
      break;
    case kTonePortaVolumeSlide:
      ch.porta_target = ch.note_period;
      if (xy != 0) ch.volume_slide_memory = xy;
      ch.update &= uint8_t(~(kUpdateTrigger | kUpdateFrequency));
      break;
    case kVibratoVolumeSlide:
      if (xy != 0) ch.volume_slide_memory = xy;
      vibrato(ch, false);
      break;
    case kTremolo:
      if (high(xy) != 0) ch.tremolo_speed = uint8_t(high(xy));
      if (low(xy) != 0) ch.tremolo_depth = uint8_t(low(xy));
      break;
    case kSetPanning:
      ch.panning = xy;
      ch.update |= kUpdatePanning;
      break;
    case kSampleOffset:
      sample_offset(c, xy);
      break;
    case kVolumeSlide:
      if (xy != 0) ch.volume_slide_memory = xy;
      break;
    case kPositionJump:
      position_jump(m, xy);
      break;
    case kSetVolume:
      ch.volume = xy;  // not clamped: values above 64 play louder
      ch.update |= kUpdateVolume;
      break;
    case kPatternBreak:
      pattern_break(m, xy);
      break;
    case kExtended:
      extended_row_start(c);
      break;
    case kSpeedBpm:
      if (xy < 32)
        m.speed = xy;  // 0 makes every tick a row start
      else
        music_set_bpm(&m, xy);
      break;
    case kGlobalVolume:
      m.global_volume = xy > 64 ? 64 : xy;
      ch.update |= kUpdateVolume;
      break;
    case kGlobalVolumeSlide:
      if (xy != 0) m.global_slide_memory = xy;
      break;
    case kKeyOff:
      ch.released = 1;
      break;
    case kEnvelopePosition:
      set_envelope_position(c, xy);
      break;
    case kPanningSlide:
      if (xy != 0) ch.panning_slide_memory = xy;
      ch.update |= kUpdatePanning;
      break;
    case kMultiRetrigger:
      if (xy != 0) {
        ch.retrigger_type = uint8_t(high(xy));
        ch.retrigger_interval = uint8_t(low(xy));
      }
      break;
    case kTremor:
      // A T00 before any times were set plays as its digits say (one tick on, one off): the
      // cleared times, 0 and 0, would keep the channel silent for as long as it lasts.
      if (xy != 0 || ch.tremor_on == 0) {
        ch.tremor_on = uint8_t(high(xy) + 1);
        ch.tremor_off = uint8_t(low(xy) + 1);
      }
      tremor_step(ch);
      break;
    case kExtraFinePorta:
      if (high(xy) == 1) {
        if (low(xy) != 0) ch.extra_fine_up_memory = uint8_t(low(xy));
        ch.period = bounded(int64_t(ch.period) - ch.extra_fine_up_memory);
      } else if (high(xy) == 2) {
        if (low(xy) != 0) ch.extra_fine_down_memory = uint8_t(low(xy));
        ch.period = bounded(int64_t(ch.period) + ch.extra_fine_down_memory);
      }
      break;
    default:  // types 18, 19, 22, 23, 24, 26, 28, 30, 31, 32 and above 33 are not executed
      break;
  }
}

void music_effect_tick(const music_effect_context& c) {
  music_module& m = *c.module;
  music_channel& ch = *c.channel;
  const uint8_t xy = c.cell->parameter;
  switch (c.cell->effect) {
    case kArpeggio:
      if (xy == 0) break;
      if (m.tick % 3 == 1) ch.period_offset += arpeggio_offset(c, high(xy));
      if (m.tick % 3 == 2) ch.period_offset += arpeggio_offset(c, low(xy));
      ch.update |= kUpdateFrequency;
      break;
    case kPortaUp:
      ch.period -= ch.porta_up_memory * 4;
      if (ch.period < 56) ch.period = 56;
      ch.period_offset = 0;
      ch.update |= kUpdateFrequency;
      break;
    case kPortaDown:
      ch.period = bounded(int64_t(ch.period) + ch.porta_down_memory * 4);  // no upper limit
      ch.period_offset = 0;
      ch.update |= kUpdateFrequency;
      break;
    case kTonePorta:
      ch.period_offset = 0;
      tone_porta_step(ch);
      break;
    case kVibrato:
      vibrato(ch, true);
      break;
    case kTonePortaVolumeSlide:
      tone_porta_step(ch);
      volume_slide(ch, slide_of(ch.volume_slide_memory));
      break;
    case kVibratoVolumeSlide:
      vibrato(ch, true);
      volume_slide(ch, slide_of(ch.volume_slide_memory));
      break;
    case kTremolo:
      tremolo(ch);
      break;
    case kVolumeSlide:
      volume_slide(ch, slide_of(ch.volume_slide_memory));
      break;
    case kExtended:
      extended_tick(c);
      break;
    case kGlobalVolumeSlide:
      // No update bit: the channels take the new value at their next volume update.
      slide(m.global_volume, slide_of(m.global_slide_memory), 0, 64);
      break;
    case kPanningSlide:
      panning_slide(ch, slide_of(ch.panning_slide_memory), kPanningByte);
      break;
    case kMultiRetrigger:
      multi_retrigger(ch, m.tick);
      break;
    case kTremor:
      tremor_step(ch);
      break;
    default:  // the rest act on the row start only, or are not executed
      break;
  }
}
