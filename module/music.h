// module/music.h — the XM module player core: loader, sequencer, mixer and chunk renderer.
//
// The loader reads an XM image from memory into a music_module. It never reads outside the
// image or its own buffers and never trusts a count from the file: input that cannot be
// played safely is rejected (music_module_load returns null and keeps nothing of it), input
// that is merely odd is clamped to a safe value (each case is named where it is handled).
// The loader depends on nothing else of the player; the current module (load as current,
// play, stop, free) is module/playback.h's.
//
// The sequencer (music_tick) turns the module into voice parameters one tick at a time; the
// mixer (music_mix) resamples the 64 voices into a float32 stereo buffer; the chunk renderer
// (music_render_chunk) runs both for one 44-frame chunk of a 1000-chunk ring and records the
// (order, row) reached. The renderer is what the audio thread calls, and what the tools and
// tests call to hear exactly what the intro plays: it never allocates, locks, logs or throws.
// The sequencer only reads the loaded module: a module renders the same every time it starts.
//
// Use (offline, as the tools and a capture do; the intro streams through module/playback.h):
//   music_memory_stream_register(image, bytes);
//   music_module* m = music_module_load(music_memory_stream, &reason);  // null = rejected
//   music_ring* ring = music_ring_create();     // null when memory runs out
//   music_start(m);                             // sequencer and voices to song start
//   for (...) {
//     const int k = music_render_chunk(m, ring);        // chunk k of the ring is now rendered:
//     const int16_t* pcm = ring->wave + 2 * kMusicChunkFrames * k;  // its 44 stereo frames
//     const uint16_t entry = ring->history[k].load();   // (order, row) after its last frame
//   }
//   music_ring_free(ring); music_module_free(m);
//
// Failure is reported by a 0 / false / null result; nothing throws.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// ---- Fixed numbers of the output ----------------------------------------------------------
constexpr int kMusicRate = 44100;                                       // output frames per second
constexpr int kMusicChunkFrames = 44;                                   // frames per rendered chunk
constexpr int kMusicRingChunks = 1000;                                  // chunks in the looping wave buffer
constexpr int kMusicRingFrames = kMusicChunkFrames * kMusicRingChunks;  // 44000
constexpr int kMusicMaxChannels = 32;  // pattern channels; channel i owns voices i and i + 32
constexpr int kMusicVoices = 64;
constexpr int kMusicRampFrames = 128;  // length of a gain ramp

// ---- Byte stream ---------------------------------------------------------------------------
// A read cursor over the image. The loader reads only through the five operations of the
// installed table, so it does not depend on where the bytes come from.
struct music_stream {
  int32_t size;         // bytes in the image
  int32_t position;     // current read offset, 0..size
  const uint8_t* base;  // first byte of the image
};
struct music_stream_operations {
  music_stream* (*open)();  // cursor over the registered image
  void (*close)(music_stream* stream);
  int32_t (*read)(music_stream* stream, void* destination, int32_t bytes);  // bytes delivered
  void (*seek)(music_stream* stream, int64_t offset, int origin);           // 0 start, 1 current, 2 end
  int32_t (*tell)(music_stream* stream);
};
// The memory stream's operations (open reads the image given to music_memory_stream_register).
extern const music_stream_operations music_memory_stream;

// ---- Loaded module -------------------------------------------------------------------------
enum : uint8_t { kLoopNone = 1, kLoopForward = 2, kLoopPingPong = 4 };

struct music_sample {
  int16_t* data;         // length + 8 samples, zero-filled; data[loop_start + loop_length] is the guard
  uint32_t length;       // in samples
  uint32_t loop_start;   // in samples
  uint32_t loop_length;  // in samples; without a loop: start 0, length = length
  uint8_t volume;        // 0..64
  int8_t finetune;       // -128..127
  int32_t panning;       // 0..255
  uint8_t bits;          // 16 after loading for every sample with data
  uint8_t loop_kind;     // kLoopNone / kLoopForward / kLoopPingPong (0 only for the empty sample)
  int8_t relative_note;  // semitones added to the played note
};

struct music_envelope_point {
  uint16_t x;  // ticks
  uint16_t y;  // 0..64
};

enum : uint8_t { kEnvelopeOn = 1, kEnvelopeSustain = 2, kEnvelopeLoop = 4 };

struct music_instrument {
  int32_t sample_count;       // 0..16
  music_sample* samples[16];  // slots >= sample_count are &music_empty_sample
  uint8_t sample_map[96];     // sample slot per note 0..95
  music_envelope_point volume_envelope[12];
  music_envelope_point panning_envelope[12];  // y 32 = centre
  uint8_t volume_point_count, panning_point_count;
  uint8_t volume_sustain, volume_loop_start, volume_loop_end;
  uint8_t panning_sustain, panning_loop_start, panning_loop_end;
  uint8_t volume_type, panning_type;  // kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop
  uint8_t vibrato_type;               // automatic vibrato waveform 0..3
  uint8_t vibrato_sweep;              // ticks until full depth
  uint8_t vibrato_depth;
  uint8_t vibrato_rate;  // position step per tick
  uint32_t fadeout;      // subtracted per tick after key off; twice the file value (0..0x1FFFE)
};

// One pattern cell. note: 0 none, 1..96 C-0..B-7, 255 key off. instrument: 0 none, 1..128.
struct music_cell {
  uint8_t note, instrument, volume, effect, parameter;
};
constexpr uint8_t kNoteKeyOff = 255;

struct music_pattern {
  int32_t rows;
  music_cell* cells;  // rows × channel_count, row-major; null when the pattern is empty
};

// Shared, never freed; every field zero.
extern music_sample music_empty_sample;
extern music_instrument music_empty_instrument;

// ---- Mixer voice ---------------------------------------------------------------------------
enum : int32_t { kForward = 1, kBackward = 2 };

struct music_voice {
  int32_t index;         // own slot 0..63
  int32_t volume;        // 0..127 as a rule, set by the sequencer
  int32_t panning;       // 0..255, 0 = left
  int32_t start_offset;  // sample position at which the next trigger starts
  music_sample* sample;  // null = idle
  int32_t target_left;   // gain targets 0..127 (gain = target / 255)
  int32_t target_right;
  int64_t position;                         // 32.32 fixed point, in samples
  uint64_t step;                            // 32.32 samples per output frame; integer part below 256
  int32_t direction;                        // kForward / kBackward
  int32_t ramp_from_left, ramp_from_right;  // targets the running ramp was set up for
  int32_t current_left, current_right;      // gains in effect, 24.8 fixed point (target × 256)
  float ramp_step_left, ramp_step_right;    // gain change per frame, in units of 1/255
  int32_t ramp_frames;                      // frames left in the running ramp, 0 = none
  int32_t fading;  // 1: handed over to its partner by a new note; idles once its ramp reaches silence
};

// ---- Sequencer state -----------------------------------------------------------------------
enum : uint8_t {
  kUpdateFrequency = 1,
  kUpdateVolume = 2,
  kUpdatePanning = 4,
  kUpdateTrigger = 8,
  kUpdateOffsetOutOfRange = 32,
};

// Envelope progress. value16 is 16.16; slope is 16.16 per tick.
struct music_envelope_state {
  int32_t tick;
  int32_t point;
  int32_t value16;
  int32_t value;  // volume 0..64; panning 0..64 with 32 = centre
  int32_t slope;
  uint8_t finished;
};

struct music_channel {
  uint8_t note;    // 0..95, last note that selected a sample
  uint8_t update;  // kUpdate* bits for the apply step of this tick
  uint8_t voice;   // index of the voice now sounding this channel
  int32_t period;
  int32_t volume;         // 0..64 as a rule
  int32_t panning;        // 0..255 as a rule, 128 = centre
  int32_t volume_offset;  // tremolo / tremor, cleared every tick
  int32_t period_offset;  // arpeggio / vibrato / auto-vibrato, cleared every tick
  music_envelope_state volume_envelope;
  music_envelope_state panning_envelope;
  int32_t fadeout_volume;         // 65536 = full
  int32_t auto_vibrato_position;  // 0..255
  int32_t auto_vibrato_ticks;     // capped at the instrument's sweep
  uint8_t released;
  uint8_t instrument;   // instrument number - 1
  uint8_t real_note;    // played note + relative note - 1, modulo 256
  int32_t note_period;  // period of real_note with the sample's finetune
  uint8_t last_effect;
  int32_t offset_memory;
  uint8_t porta_down_memory, porta_up_memory, extra_fine_down_memory, extra_fine_up_memory;
  uint8_t volume_slide_memory, panning_slide_memory, retrigger_type, retrigger_interval;
  int32_t porta_target;
  uint8_t porta_speed;
  int8_t vibrato_position;
  uint8_t vibrato_speed, vibrato_depth;
  int8_t tremolo_position;
  uint8_t tremolo_speed, tremolo_depth;
  uint8_t tremor_counter, tremor_on, tremor_off;
  int32_t loop_row, loop_count;
  uint8_t waveforms;  // low nibble vibrato, high nibble tremolo
  uint8_t fine_volume_slide_memory, fine_porta_up_memory, fine_porta_down_memory;
  // Period, volume and panning as they were before this row's step ran (note delay puts them back).
  int32_t row_start_period, row_start_volume, row_start_panning;
  // E5x: the finetune it set and the sample it set it for. Later notes of that sample on this
  // channel play with it; the loaded sample keeps its own, so every start sounds alike.
  const music_sample* finetune_sample;  // null: no E5x since the start
  int8_t finetune;
};

// The finetune a note of `sample` plays with on `channel`.
inline int music_channel_finetune(const music_channel& channel, const music_sample& sample) {
  return channel.finetune_sample == &sample ? channel.finetune : sample.finetune;
}

struct music_module {
  // Loaded fields.
  music_pattern* patterns;        // pattern_slots entries
  music_instrument* instruments;  // instrument_count entries
  int16_t song_length;            // 0..256
  int16_t restart_position;       // below song_length (0 otherwise)
  int16_t channel_count;          // 0..32
  int32_t highest_pattern;        // 1 + largest pattern in the song's orders (0 for an empty song)
  int32_t pattern_slots;
  int16_t instrument_count;  // 0..128
  int16_t flags;             // bit 0: linear frequency table
  int16_t default_speed;
  int16_t default_bpm;
  uint8_t order_table[256];
  uint8_t initial_global_volume;  // 64

  // Sequencer state.
  int32_t tick_samples_left;  // frames left in the current tick
  int32_t samples_per_tick;
  int32_t global_volume;  // 0..64
  uint8_t global_slide_memory;
  int32_t tick;   // tick within the row, 0 = row start
  int32_t speed;  // ticks per row
  int32_t bpm;
  int32_t row;
  int32_t order_position;
  int32_t pattern_delay;    // extra ticks added to the current row
  int32_t next_row;         // -1 = none
  int32_t next_order;       // -1 = none
  uint8_t position_jumped;  // a Bxx ran on this row (a later Dxx keeps its order)
  uint32_t muted_channels;  // bit c: channel c is sequenced but silent (xmrender --solo)
  music_channel channels[kMusicMaxChannels];
  music_voice voices[kMusicVoices];
};

// ---- Loader (module/loader.cpp) ------------------------------------------------------------
// Returns a new module or null, and (when `reason` is given) a short static text saying why the
// image was rejected. The loader keeps no state of its own beyond the registered image: the
// current module and its lifecycle live in module/playback.h (music_load_memory, music_free).
music_module* music_module_load(const music_stream_operations& operations, const char** reason);
void music_module_free(music_module* module);
// Registers the image that music_memory_stream.open reads next.
void music_memory_stream_register(const void* address, int32_t length);

// ---- Sequencer (module/sequencer.cpp) ------------------------------------------------------
// Resets sequencer, channels and voices to song start (speed, BPM, order 0, row 0).
void music_start(music_module* module);
void music_tick(music_module* module);
void music_set_bpm(music_module* module, int bpm);
// Amiga period of note n (0..119) with finetune f.
int music_amiga_period(int note, int finetune);
// Period of a note (real_note as a signed number) in the module's table; notes outside 0..119
// are clamped into it.
int music_note_period(const music_module* module, int note, int finetune);

// ---- Mixer (module/mixer.cpp) --------------------------------------------------------------
void music_set_gains(music_voice* voice);
// Adds `frames` frames of all kMusicVoices voices into `buffer` (interleaved left, right).
void music_mix(music_voice* voices, float* buffer, int frames);
// Converts 2 × frames floats to int16: rounded to nearest (ties to even), clamped.
void music_to_pcm16(int16_t* destination, const float* buffer, int frames);

// ---- Chunk renderer (module/render.cpp) ----------------------------------------------------
// The looping ring. Chunk k occupies frames 44k..44k + 43 of wave and mix, and history[k] holds
// the (order, row) the sequencer stood at after the chunk's last frame (music_history_order /
// music_history_row take it apart). An offline renderer (a tool, a capture of the show) reads
// chunk k's wave and history[k] right after music_render_chunk returned k; both stay as they
// are until the renderer comes round to chunk k again 1000 chunks later. While the intro plays,
// only the streaming thread touches the ring (module/playback.cpp publishes the audible entry).
struct music_ring {
  int16_t* wave;                      // kMusicRingFrames × 2 int16, the device buffer
  float* mix;                         // kMusicRingFrames × 2 float32, 16-byte aligned
  std::atomic<uint16_t>* history;     // per chunk: order | row << 8, after the chunk
  std::atomic<int32_t> render_index;  // next chunk to render, 0..999
};
// Allocates a zeroed ring; null when memory runs out. Not for the audio thread.
music_ring* music_ring_create();
void music_ring_free(music_ring* ring);
// Renders chunk render_index and advances it. Returns the chunk rendered, or -1 (nothing
// done) for a null module or ring.
int music_render_chunk(music_module* module, music_ring* ring);
inline int music_history_order(uint16_t entry) {
  return entry & 0xFF;
}
inline int music_history_row(uint16_t entry) {
  return entry >> 8;
}
// The cell of `channel` at (order, row) as instrument * 256 + note; 0 for an empty cell and
// for anything outside the module (channel, order, pattern or row).
inline int music_cell_note(const music_module* module, int order, int row, int channel) {
  if (!module || channel < 0 || channel >= module->channel_count) return 0;
  if (order < 0 || order >= module->song_length) return 0;
  const int pattern = module->order_table[order];
  if (pattern >= module->pattern_slots) return 0;
  const music_pattern& p = module->patterns[pattern];
  if (!p.cells || row < 0 || row >= p.rows) return 0;
  const music_cell& cell = p.cells[row * module->channel_count + channel];
  return cell.instrument * 256 + cell.note;
}
