// module/sequencer.cpp — runs the song one tick at a time and drives the mixer's voices.
//
// A tick is either a row start (tick 0: read the row's cells, trigger notes, reset
// instruments) or an other tick; both advance envelopes, fade-out and automatic vibrato, run
// the cell commands (module/commands.h) and end with the apply-to-voice step, which turns the
// channel's period, volume and panning into the voice's step and gain targets.
//
// Number formats: envelope values are 16.16 while they slide (value16, slope), fadeout_volume
// runs 65536..0, voice steps are 32.32 samples per output frame.
//
// Guards where the file may be inconsistent: a pattern slot missing from the table plays 64
// empty rows, a row at or beyond the pattern's end (a break past the end) becomes row 0 of
// that pattern and a 0-row pattern plays as one empty row, notes outside 0..119 are clamped
// into the period table, and an Amiga period of 0 or below plays at the highest frequency.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "module/commands.h"
#include "module/music.h"
#include "module/xm_commands.h"

namespace {

constexpr int kMaxFrequency = 255 * kMusicRate;  // keeps the step's integer part below 256
constexpr int kMinFrequency = 100;
const music_cell kEmptyCell{};

// Automatic-vibrato sine: trunc(sin(p × 2π′ / 256) × 64), π′ = 3.141592 in single precision.
struct SineTable {
  int8_t value[256];
  SineTable() {
    const double pi = double(3.141592f);
    for (int p = 0; p < 256; ++p) value[p] = int8_t(std::trunc(std::sin(p * 2.0 * pi / 256.0) * 64.0));
  }
};
const SineTable kAutoVibratoSine;

// The pattern that order position `order` names, or null when the slot does not exist.
const music_pattern* pattern_at(const music_module& m, int order) {
  if (m.song_length == 0 || order < 0 || order >= 256) return nullptr;
  const int slot = m.order_table[order];
  if (slot >= m.pattern_slots) return nullptr;
  return &m.patterns[slot];
}

int pattern_rows(const music_pattern* pattern) {
  if (!pattern) return 64;
  return pattern->rows > 0 ? pattern->rows : 1;
}

const music_cell& cell_at(const music_module& m, const music_pattern* pattern, int row, int channel) {
  if (!pattern || !pattern->cells || row >= pattern->rows) return kEmptyCell;
  return pattern->cells[row * m.channel_count + channel];
}

struct Resolved {
  const music_instrument* instrument;
  music_sample* sample;
};

Resolved resolve(const music_module& m, const music_channel& ch) {
  if (ch.instrument >= m.instrument_count) return {&music_empty_instrument, &music_empty_sample};
  const music_instrument& ins = m.instruments[ch.instrument];
  const int slot = ins.sample_map[ch.note < 96 ? ch.note : 95];
  if (slot >= 16 || slot >= ins.sample_count) return {&ins, &music_empty_sample};
  return {&ins, ins.samples[slot]};
}

// ---- Envelopes ---------------------------------------------------------------------------
struct EnvelopeShape {
  const music_envelope_point* points;
  int count, sustain, loop_start, loop_end, type;
};

EnvelopeShape volume_shape(const music_instrument& i) {
  return {i.volume_envelope,   i.volume_point_count, i.volume_sustain,
          i.volume_loop_start, i.volume_loop_end,    i.volume_type};
}
EnvelopeShape panning_shape(const music_instrument& i) {
  return {i.panning_envelope,   i.panning_point_count, i.panning_sustain,
          i.panning_loop_start, i.panning_loop_end,    i.panning_type};
}

void envelope_step(music_envelope_state& e, const EnvelopeShape& shape, bool released, uint8_t& update,
                   uint8_t bit) {
  const music_envelope_point* p = shape.points;
  if (e.point < shape.count) {
    if (e.tick == p[e.point].x) {
      if ((shape.type & kEnvelopeLoop) && e.point == shape.loop_end) {
        e.point = shape.loop_start;
        e.tick = p[e.point].x;
      }
      const int i = e.point;
      if (i == shape.count - 1) {
        e.value = p[i].y;
        e.finished = 1;
        update |= bit;
        return;
      }
      if ((shape.type & kEnvelopeSustain) && i == shape.sustain && !released) {
        e.value = p[i].y;  // holds: the tick does not advance
        update |= bit;
        return;
      }
      const int dx = p[i + 1].x - p[i].x;
      e.slope = dx != 0 ? (int32_t(p[i + 1].y) - int32_t(p[i].y)) * 65536 / dx : 0;
      e.value16 = p[i].y * 65536;
      e.point = i + 1;
    } else {
      // Points whose x do not rise are never met again; keep the value within 0..64.
      int64_t value = int64_t(e.value16) + e.slope;
      if (value < 0) value = 0;
      if (value > 64 * 65536) value = 64 * 65536;
      e.value16 = int32_t(value);
    }
  }
  e.value = e.value16 >> 16;
  if (e.tick < INT32_MAX) ++e.tick;
  update |= bit;
}

void fadeout_step(music_channel& ch, const music_instrument& ins) {
  if (!ch.released) return;
  ch.fadeout_volume -= int32_t(ins.fadeout);
  if (ch.fadeout_volume < 0) ch.fadeout_volume = 0;
  ch.update |= kUpdateVolume;
}

void auto_vibrato_step(music_channel& ch, const music_instrument& ins) {
  const int p = ch.auto_vibrato_position;
  int value = 0;
  switch (ins.vibrato_type) {
    case 0:
      value = kAutoVibratoSine.value[p];
      break;
    case 1:
      value = p < 128 ? 64 : -64;
      break;
    case 2:
      value = (128 - ((p + 128) & 255)) >> 1;
      break;
    case 3:
      value = (128 - ((384 - p) & 255)) >> 1;
      break;
    default:
      value = 0;
      break;  // types above 3 do not occur in valid modules
  }
  int amount = ins.vibrato_depth * value;
  if (ins.vibrato_sweep != 0) amount = ch.auto_vibrato_ticks * amount / ins.vibrato_sweep;
  ch.period_offset += amount >> 6;
  if (ch.auto_vibrato_ticks < ins.vibrato_sweep) ++ch.auto_vibrato_ticks;
  ch.auto_vibrato_position += ins.vibrato_rate;
  if (ch.auto_vibrato_position > 255) ch.auto_vibrato_position -= 256;
  ch.update |= kUpdateFrequency;
}

// ---- Apply to voice ------------------------------------------------------------------------
uint64_t step_for_frequency(int64_t f) {
  if (f < kMinFrequency) f = kMinFrequency;
  if (f > kMaxFrequency) f = kMaxFrequency;
  const uint64_t whole = uint64_t(f / kMusicRate);
  const uint64_t fraction = (uint64_t(f % kMusicRate) << 32) / kMusicRate;
  return whole << 32 | fraction;
}

int64_t voice_frequency(const music_module& m, int period, int period_offset) {
  if (m.flags & 1) {
    const double exponent = double(4608 - int64_t(period) + period_offset) / 768.0;
    const double f = std::exp2(exponent) * 8363.0;
    if (!(f < double(kMaxFrequency))) return kMaxFrequency;  // also catches NaN
    return int64_t(f);
  }
  const int64_t amiga = int64_t(period) + period_offset;
  if (amiga <= 0) return kMaxFrequency;  // would divide by zero or go negative
  // 14317056, not 8363 × 1712 = 14317456: the intro's player always used this constant, so a
  // C-4 at period 1712 plays at 8362 Hz rather than 8363 Hz (0.2 cent flat, inaudible). Taking
  // the "exact" product would change every Amiga-table render byte for byte and part the
  // tools' renders from what the intro has always played.
  return 14317056 / amiga;
}

void trigger(music_module& m, music_channel& ch, music_sample* sample) {
  music_voice* voice = &m.voices[ch.voice];
  if (voice->sample) {
    // The old note fades out on its own voice while the new one starts on the partner.
    const int partner =
        ch.voice < kMusicMaxChannels ? ch.voice + kMusicMaxChannels : ch.voice - kMusicMaxChannels;
    m.voices[partner] = *voice;
    m.voices[partner].index = partner;
    m.voices[partner].fading = 0;
    voice->fading = 1;
    voice->volume = 0;
    voice->target_left = 0;
    voice->target_right = 0;
    ch.voice = uint8_t(partner);
    voice = &m.voices[partner];
  }
  voice->sample = sample;
  const uint32_t end = sample->loop_start + sample->loop_length;
  if (voice->start_offset < 0 || uint32_t(voice->start_offset) >= end) voice->start_offset = 0;
  voice->position = int64_t(voice->start_offset) << 32;
  voice->direction = kForward;
  voice->start_offset = 0;
  voice->current_left = 0;
  voice->current_right = 0;
  voice->ramp_frames = 0;
}

void apply_to_voice(music_module& m, music_channel& ch, int channel_index, music_sample* sample) {
  if (int64_t(ch.period) + ch.period_offset == 0) ch.update &= uint8_t(~kUpdateFrequency);
  if (ch.update & kUpdateTrigger) trigger(m, ch, sample);
  music_voice& voice = m.voices[ch.voice];
  if (ch.update & kUpdateVolume) {
    // Single precision, rounded after each product, as the volume was always computed.
    float v = float(ch.volume + ch.volume_offset);
    v *= float(ch.volume_envelope.value);
    v *= float(ch.fadeout_volume);
    v *= float(m.global_volume);
    v *= 255.0f;
    v /= 34359738368.0f;  // 2^35
    if (v < 0.0f) v = 0.0f;
    if (v > 4096.0f) v = 4096.0f;
    voice.volume = (m.muted_channels >> channel_index & 1) ? 0 : int32_t(v);
    music_set_gains(&voice);
  }
  if (ch.update & kUpdatePanning) {
    // The reach of the panning envelope, (128 − distance from centre) / 32, is truncated before
    // it multiplies: it takes only the steps 4 (centre), 3, 2, 1 and 0, so a channel panned
    // within 31 of an edge (distance 97..128) is not moved by its envelope at all. A single
    // division after the product would move those channels too and shift other pans by up to
    // 31 units; the music was mixed against the truncated form, which the player keeps.
    const int centre_distance = ch.panning - 128 < 0 ? 128 - ch.panning : ch.panning - 128;
    int p = ch.panning + (ch.panning_envelope.value - 32) * ((128 - centre_distance) / 32);
    if (p < 0) p = 0;
    if (p > 255) p = 255;
    voice.panning = p;
    music_set_gains(&voice);
  }
  if (ch.update & kUpdateFrequency)
    voice.step = step_for_frequency(voice_frequency(m, ch.period, ch.period_offset));
  if (ch.update & kUpdateOffsetOutOfRange) {
    voice.position = 0;
    voice.start_offset = 0;
  }
}

// ---- Row start and other ticks -------------------------------------------------------------
void instrument_reset(music_channel& ch, const music_sample& s) {
  ch.volume = s.volume;
  ch.panning = s.panning;
  ch.volume_envelope = {};
  ch.volume_envelope.value = 64;
  ch.panning_envelope = {};
  ch.panning_envelope.value = 32;
  ch.released = 0;
  ch.fadeout_volume = 65536;
  ch.auto_vibrato_position = 0;
  ch.auto_vibrato_ticks = 0;
  if ((ch.waveforms & 0x0F) < 4) ch.vibrato_position = 0;
  if ((ch.waveforms >> 4) < 4) ch.tremolo_position = 0;
  ch.tremor_counter = 0;
  ch.update |= kUpdateVolume | kUpdatePanning;
}

void envelopes_and_fadeout(music_channel& ch, const music_instrument& ins) {
  if ((ins.volume_type & kEnvelopeOn) && !ch.volume_envelope.finished)
    envelope_step(ch.volume_envelope, volume_shape(ins), ch.released, ch.update, kUpdateVolume);
  if ((ins.panning_type & kEnvelopeOn) && !ch.panning_envelope.finished)
    envelope_step(ch.panning_envelope, panning_shape(ins), ch.released, ch.update, kUpdatePanning);
  fadeout_step(ch, ins);
}

void row_start(music_module& m, int c, const music_cell& cell) {
  music_channel& ch = m.channels[c];
  const bool porta = cell.effect == xm::kTonePorta || cell.effect == xm::kTonePortaVolumeSlide;
  const bool has_note = cell.note != 0 && cell.note != kNoteKeyOff;
  if (cell.instrument != 0 && !porta) ch.instrument = uint8_t(cell.instrument - 1);
  if (has_note && !porta) ch.note = uint8_t(cell.note - 1);
  Resolved r = resolve(m, ch);
  ch.row_start_period = ch.period;
  ch.row_start_volume = ch.volume;
  ch.row_start_panning = ch.panning;
  if (ch.last_effect == xm::kTremolo && cell.effect != xm::kTremolo) ch.volume += ch.volume_offset;
  ch.volume_offset = 0;
  ch.last_effect = cell.effect;
  ch.update = 0;
  if (has_note) {
    const int real = cell.note + r.sample->relative_note - 1;
    ch.real_note = uint8_t(real);
    ch.note_period = music_note_period(&m, real, music_channel_finetune(ch, *r.sample));
    if (!porta) ch.period = ch.note_period;
    ch.update = kUpdateTrigger;
  }
  ch.period_offset = 0;
  ch.update |= kUpdateFrequency | kUpdateVolume;
  if (cell.instrument != 0) instrument_reset(ch, *r.sample);
  const music_effect_context context{&m, &ch, r.instrument, r.sample, &cell};
  if (cell.volume != 0) music_volume_column_row_start(context);
  if (cell.note == kNoteKeyOff || cell.effect == xm::kKeyOff) ch.released = 1;
  const music_instrument& ins = *r.instrument;
  if ((ins.volume_type & kEnvelopeOn) && !ch.volume_envelope.finished)
    envelope_step(ch.volume_envelope, volume_shape(ins), ch.released, ch.update, kUpdateVolume);
  else if (ch.released)
    ch.volume_envelope.value = 0;
  if ((ins.panning_type & kEnvelopeOn) && !ch.panning_envelope.finished)
    envelope_step(ch.panning_envelope, panning_shape(ins), ch.released, ch.update, kUpdatePanning);
  fadeout_step(ch, ins);
  music_effect_row_start(context);
  auto_vibrato_step(ch, ins);
  apply_to_voice(m, ch, c, r.sample);
}

void other_tick(music_module& m, int c, const music_cell& cell) {
  music_channel& ch = m.channels[c];
  Resolved r = resolve(m, ch);
  ch.volume_offset = 0;
  ch.period_offset = 0;
  ch.update = 0;
  envelopes_and_fadeout(ch, *r.instrument);
  const music_effect_context context{&m, &ch, r.instrument, r.sample, &cell};
  music_volume_column_tick(context);
  music_effect_tick(context);
  auto_vibrato_step(ch, *r.instrument);
  apply_to_voice(m, ch, c, r.sample);
}

}  // namespace

void music_instrument_reset(music_channel* channel, const music_sample* sample) {
  if (channel && sample) instrument_reset(*channel, *sample);
}

// The tick rate is taken in single precision, as the intro's player always did: for BPM 49, 63, 98
// and 126 (and 1, 2, 3, 6, which only a header can set) bpm × 2 / 5 rounds just below its true
// value, and the tick comes out one frame shorter than trunc(110250 / bpm), the length the
// reference players use (BPM 126: 874 frames instead of 875). The corpus test shows it on
// gemdropx-hr_suds.xm (BPM 126), whose rows run ahead of the references by a frame a tick, about 70 chunks
// after a minute; every other BPM gives the same length both ways. Computing in double would "fix"
// those four tempos and change the timing of any module that uses them.
void music_set_bpm(music_module* module, int bpm) {
  if (!module) return;
  if (bpm < 1) bpm = 1;  // keeps the division below finite
  module->bpm = bpm;
  const float hz = float(bpm) * 2.0f / 5.0f;
  module->samples_per_tick = int32_t(1000.0 / double(hz) * 44100.0 / 1000.0);
}

int music_amiga_period(int n, int f) {
  const auto at = [](int note) { return int(std::trunc(std::exp2((132 - note) / 12.0) * 13.375)); };
  const int base = at(n);
  if (f >= 0 || n == 0)
    return base - (base - int(std::trunc(std::exp2((131 - n) / 12.0) * 13.375))) * f / 128;
  return base - (base - at(n - 1)) * -f / 128;
}

int music_note_period(const music_module* module, int note, int finetune) {
  if (note < 0) note = 0;
  if (note > 119) note = 119;
  if (module && (module->flags & 1)) return 7680 - note * 64 - finetune / 2;
  return music_amiga_period(note, finetune);
}

void music_start(music_module* m) {
  if (!m) return;
  m->speed = m->default_speed;
  music_set_bpm(m, m->default_bpm);
  m->global_volume = m->initial_global_volume;
  m->row = 0;
  m->order_position = 0;
  m->next_row = -1;
  m->next_order = -1;
  m->tick = 0;
  m->pattern_delay = 0;
  m->tick_samples_left = 0;
  m->position_jumped = 0;
  std::memset(m->channels, 0, sizeof(m->channels));
  for (int c = 0; c < kMusicMaxChannels; ++c) m->channels[c].voice = uint8_t(c);
  std::memset(m->voices, 0, sizeof(m->voices));
  for (int v = 0; v < kMusicVoices; ++v) {
    m->voices[v].index = v;
    m->voices[v].step = uint64_t(1) << 32;
    m->voices[v].direction = kForward;
  }
}

void music_tick(music_module* module) {
  if (!module) return;
  music_module& m = *module;
  const int channels = m.channel_count;
  if (m.tick != 0) {
    const music_pattern* pattern = pattern_at(m, m.order_position);
    for (int c = 0; c < channels; ++c) other_tick(m, c, cell_at(m, pattern, m.row, c));
  } else {
    if (m.next_order >= 0) m.order_position = m.next_order;
    if (m.next_row >= 0) m.row = m.next_row;
    if (m.order_position >= m.song_length) m.order_position = 0;
    m.next_order = -1;
    m.next_row = -1;
    m.position_jumped = 0;
    const music_pattern* pattern = pattern_at(m, m.order_position);
    const int rows = pattern_rows(pattern);
    if (m.row >= rows) m.row = 0;
    for (int c = 0; c < channels; ++c) row_start(m, c, cell_at(m, pattern, m.row, c));
    if (m.next_row == -1) {
      m.next_row = m.row + 1;
      if (m.next_row >= rows) {
        m.next_order = m.order_position + 1;
        if (m.next_order >= m.song_length) m.next_order = m.restart_position;
        m.next_row = 0;
      }
    }
  }
  ++m.tick;
  if (m.tick >= m.speed + m.pattern_delay) {
    m.pattern_delay = 0;
    m.tick = 0;
  }
}
