// module/loader.cpp — reads an XM image into a music_module through the stream operations.
//
// All multi-byte values are little-endian. Reads past the end of the image deliver only what
// remains, and a field that was not delivered keeps its zero. Beyond that the loader guards
// every count it takes from the file:
//   rejected: wrong magic, the XM 1.02 layout (version word below 0x0104: instruments
//             before patterns, a different pattern header), channel_count outside 0..32, instrument_count
//             outside 0..128, more than 256 patterns, a pattern of more than 256 rows, an instrument with
//             more than 16 samples, and memory running out;
//   clamped:  song_length above 256 (0x8000 and above included) becomes 256; a restart position
//             outside the song becomes 0; an instrument header size smaller than the bytes the
//             loader reads from that header is taken as exactly those bytes (the sample headers
//             follow them; the cursor never moves back); a cell note 98..254 becomes "no note";
//             envelope point counts above 12 become 12, envelope y above 64 becomes 64, a sustain
//             or loop point beyond the last point turns the sustain or loop off; a sample whose
//             data is cut short by the end of the image keeps what is there; a loop that runs past
//             the sample end is shortened to end there (a loop starting at or beyond the end: no
//             loop); a ModPlug ADPCM-packed sample (reserved byte 0xAD, 4 bits per sample after a
//             16-byte table) is skipped with its exact size and stays silent.
// The loader never allocates more than the image can fill: pattern cells are bounded by
// 256 rows × 32 channels × 256 patterns and sample data by the bytes actually present.
#include <cstdlib>
#include <cstring>
#include <new>

#include "module/music.h"
#include "module/xm_commands.h"

music_sample music_empty_sample{};
music_instrument music_empty_instrument{};

namespace {

// ---- Memory stream --------------------------------------------------------------------------
const uint8_t* g_image = nullptr;
int32_t g_image_size = 0;

music_stream* memory_open() {
  auto* stream = new (std::nothrow) music_stream{g_image_size, 0, g_image};
  return stream;
}
void memory_close(music_stream* stream) {
  delete stream;
}
int32_t memory_read(music_stream* stream, void* destination, int32_t bytes) {
  if (bytes <= 0) return 0;
  const int32_t left = stream->size - stream->position;
  const int32_t n = bytes < left ? bytes : left;
  if (n > 0) std::memcpy(destination, stream->base + stream->position, size_t(n));
  stream->position += n;
  return n;
}
void memory_seek(music_stream* stream, int64_t offset, int origin) {
  int64_t position = offset;
  if (origin == 1) position = stream->position + offset;
  if (origin == 2) position = stream->size + offset;
  if (position > stream->size) position = stream->size;
  if (position < 0) position = 0;  // not reachable from the loader; keeps the cursor in range
  stream->position = int32_t(position);
}
int32_t memory_tell(music_stream* stream) {
  return stream->position;
}

// ---- Reading helpers -------------------------------------------------------------------------
struct Reader {
  const music_stream_operations& ops;
  music_stream* stream;

  // Fills `bytes` bytes; what the image does not deliver stays as it was (zero in new records).
  void bytes(void* destination, int32_t count) { ops.read(stream, destination, count); }
  uint8_t u8() {
    uint8_t b[1] = {0};
    bytes(b, 1);
    return b[0];
  }
  uint16_t u16() {
    uint8_t b[2] = {0, 0};
    bytes(b, 2);
    return uint16_t(b[0] | b[1] << 8);
  }
  uint32_t u32() {
    uint8_t b[4] = {0, 0, 0, 0};
    bytes(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  void seek(int64_t offset) { ops.seek(stream, offset, 0); }
  void skip(int64_t count) { ops.seek(stream, count, 1); }
  int32_t tell() { return ops.tell(stream); }
  int32_t remaining() {
    const int32_t here = tell();
    ops.seek(stream, 0, 2);
    const int32_t end = tell();
    seek(here);
    return end - here;
  }
};

struct LoadError {
  const char* reason = nullptr;
};

// ---- Patterns --------------------------------------------------------------------------------
void decode_cells(Reader& in, music_cell* cells, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    music_cell& cell = cells[i];
    const uint8_t b = in.u8();
    if (b & 0x80) {
      if (b & 0x01) cell.note = in.u8();
      if (b & 0x02) cell.instrument = in.u8();
      if (b & 0x04) cell.volume = in.u8();
      if (b & 0x08) cell.effect = in.u8();
      if (b & 0x10) cell.parameter = in.u8();
    } else {
      cell.note = b;
      cell.instrument = in.u8();
      cell.volume = in.u8();
      cell.effect = in.u8();
      cell.parameter = in.u8();
    }
    if (cell.note == xm::kFileKeyOff) cell.note = kNoteKeyOff;
    // Notes 98..254 do not exist; left in, they would index past the 96-entry sample map.
    if (cell.note > xm::kFileKeyOff && cell.note != kNoteKeyOff) cell.note = 0;
    if (cell.instrument > 128) cell.instrument = 0;
  }
}

bool load_patterns(Reader& in, music_module& m, int32_t file_patterns, LoadError& error) {
  m.patterns = static_cast<music_pattern*>(std::calloc(size_t(m.pattern_slots) + 1, sizeof(music_pattern)));
  if (!m.patterns) {
    error.reason = "out of memory";
    return false;
  }
  for (int32_t p = 0; p < file_patterns; ++p) {
    // The header length is not used: exactly 9 header bytes are read whatever it says, as the
    // format's own writers lay them out (length 9 in every module of the corpus). Honouring a
    // different length would read a different module than the one the intro was composed on.
    in.u32();
    in.u8();  // packing type
    const int32_t rows = in.u16();
    const int32_t packed_size = in.u16();
    if (rows > 256) {
      error.reason = "pattern with more than 256 rows";
      return false;
    }
    music_pattern& pattern = m.patterns[p];
    pattern.rows = rows;
    const int32_t count = rows * m.channel_count;
    if (count > 0) {
      pattern.cells = static_cast<music_cell*>(std::calloc(size_t(count), sizeof(music_cell)));
      if (!pattern.cells) {
        error.reason = "out of memory";
        return false;
      }
      if (packed_size != 0) decode_cells(in, pattern.cells, count);
    }
  }
  // Orders naming a pattern the file does not hold play 64 empty rows.
  for (int32_t p = file_patterns; p < m.highest_pattern; ++p) {
    m.patterns[p].rows = 64;
    m.patterns[p].cells =
        static_cast<music_cell*>(std::calloc(size_t(64 * m.channel_count) + 1, sizeof(music_cell)));
    if (!m.patterns[p].cells) {
      error.reason = "out of memory";
      return false;
    }
  }
  return true;
}

// ---- Instruments and samples ----------------------------------------------------------------
void sanitize_envelope(music_envelope_point* points, uint8_t& count, uint8_t& sustain, uint8_t& loop_start,
                       uint8_t& loop_end, uint8_t& type) {
  if (count > 12) count = 12;
  if (count < 2) type = 0;
  for (int i = 0; i < 12; ++i)
    if (points[i].y > 64) points[i].y = 64;
  if (sustain >= count) type &= uint8_t(~kEnvelopeSustain);
  if (loop_start >= count || loop_end >= count) type &= uint8_t(~kEnvelopeLoop);
}

void read_envelope_points(Reader& in, music_envelope_point* points) {
  for (int i = 0; i < 12; ++i) {
    points[i].x = in.u16();
    points[i].y = in.u16();
  }
}

// Makes loop_start + loop_length lie within the sample; see the file comment.
void fit_loop(music_sample& s) {
  if (s.loop_kind == kLoopNone || uint64_t(s.loop_start) >= s.length || s.loop_length == 0) {
    s.loop_kind = kLoopNone;
    s.loop_start = 0;
    s.loop_length = s.length;
    return;
  }
  if (uint64_t(s.loop_start) + s.loop_length > s.length) s.loop_length = s.length - s.loop_start;
}

// `odd_byte` reports a 16-bit sample stored with an odd byte count: its last byte is no
// sample, but it is in the file and must be skipped to keep the next header in step.
music_sample* read_sample_header(Reader& in, bool& odd_byte) {
  auto* s = static_cast<music_sample*>(std::calloc(1, sizeof(music_sample)));
  if (!s) return nullptr;
  s->length = in.u32();
  const uint32_t file_bytes = s->length;
  s->loop_start = in.u32();
  s->loop_length = in.u32();
  s->volume = in.u8();
  s->finetune = int8_t(in.u8());
  s->loop_kind = kLoopNone;
  s->bits = 8;
  const uint8_t type = in.u8();
  if (type & 1) s->loop_kind = kLoopForward;
  if (type & 2) s->loop_kind = kLoopPingPong;
  if (type & 16) s->bits = 16;
  if (s->loop_kind == kLoopNone) {
    s->loop_start = 0;
    s->loop_length = s->length;
  }
  odd_byte = s->bits == 16 && (file_bytes & 1);
  if (s->bits == 16) {
    s->length /= 2;
    s->loop_start /= 2;
    s->loop_length /= 2;
  }
  if (s->loop_length == 0) {
    s->loop_start = 0;
    s->loop_length = s->length;
    s->loop_kind = kLoopNone;
  }
  // The file says 0..64; larger values would only make the voice louder than designed.
  if (s->volume > 64) s->volume = 64;
  s->panning = in.u8();
  s->relative_note = int8_t(in.u8());
  // The reserved byte is 0xAD for ModPlug ADPCM data, which this player does not decode; bits
  // 0 marks it (a real sample is 8 or 16) so the data can be skipped at its packed size.
  if (in.u8() == 0xAD && s->bits == 8) s->bits = 0;
  in.skip(22);  // name
  return s;
}

// Reads the delta-coded data of one sample, cut to what the image still holds.
void read_sample_data(Reader& in, music_sample& s, bool odd_byte) {
  if (s.bits == 0) {  // ADPCM: 16-byte delta table, then two samples per byte
    in.skip(16 + (int64_t(s.length) + 1) / 2);
    s.length = 0;
    s.bits = 8;
    fit_loop(s);
    return;
  }
  const int32_t bytes_per_sample = s.bits == 16 ? 2 : 1;
  const int64_t available = in.remaining() / bytes_per_sample;
  if (int64_t(s.length) > available) s.length = uint32_t(available);
  fit_loop(s);
  if (s.length == 0) {
    if (odd_byte) in.skip(1);
    return;
  }
  s.data = static_cast<int16_t*>(std::calloc(size_t(s.length) + 8, sizeof(int16_t)));
  if (!s.data) {  // out of memory: the sample stays silent
    s.length = 0;
    fit_loop(s);
    return;
  }
  int16_t previous = 0;
  if (s.bits == 8) {
    auto* raw = reinterpret_cast<int8_t*>(s.data);  // bytes land in the front half of the buffer
    in.bytes(raw, int32_t(s.length));
    // Widen from the back so no byte is overwritten before it is read.
    for (int64_t i = int64_t(s.length) - 1; i >= 0; --i) s.data[i] = int16_t(raw[i] * 256);
  } else {
    auto* raw = reinterpret_cast<uint8_t*>(s.data);
    in.bytes(raw, int32_t(s.length) * 2);
    for (uint32_t i = 0; i < s.length; ++i) s.data[i] = int16_t(uint16_t(raw[2 * i] | raw[2 * i + 1] << 8));
    if (odd_byte) in.skip(1);
  }
  for (uint32_t i = 0; i < s.length; ++i) {
    previous = int16_t(uint16_t(previous + s.data[i]));  // modulo 2^16
    s.data[i] = previous;
  }
  s.bits = 16;
  // The mixer interpolates towards data[position + 1]; on the last sample of a loop that is
  // this guard, so the loop joins without a click.
  const uint32_t end = s.loop_start + s.loop_length;
  if (s.loop_kind == kLoopForward) s.data[end] = s.data[s.loop_start];
  if (s.loop_kind == kLoopPingPong) s.data[end] = s.data[end - 1];
}

bool load_instrument(Reader& in, music_instrument& ins, LoadError& error) {
  const int32_t start = in.tell();
  const uint32_t header_size = in.u32();
  in.skip(23);  // name and type byte
  const int32_t sample_count = in.u16();
  // Where the sample headers begin: the declared size, but never before what has been read.
  const auto header_end = [&] {
    const int64_t end = int64_t(start) + header_size;
    return end > in.tell() ? end : int64_t(in.tell());
  };
  for (auto& slot : ins.samples) slot = &music_empty_sample;
  if (sample_count > 16) {
    error.reason = "instrument with more than 16 samples";
    return false;
  }
  if (sample_count == 0) {
    in.seek(header_end());
    return true;
  }
  in.u32();  // sample header size: every sample header is taken as 40 bytes
  in.bytes(ins.sample_map, 96);
  read_envelope_points(in, ins.volume_envelope);
  read_envelope_points(in, ins.panning_envelope);
  ins.volume_point_count = in.u8();
  ins.panning_point_count = in.u8();
  ins.volume_sustain = in.u8();
  ins.volume_loop_start = in.u8();
  ins.volume_loop_end = in.u8();
  ins.panning_sustain = in.u8();
  ins.panning_loop_start = in.u8();
  ins.panning_loop_end = in.u8();
  ins.volume_type = in.u8();
  ins.panning_type = in.u8();
  ins.vibrato_type = in.u8();
  ins.vibrato_sweep = in.u8();
  ins.vibrato_depth = in.u8();
  ins.vibrato_rate = in.u8();
  ins.fadeout = uint32_t(in.u16()) * 2;
  sanitize_envelope(ins.volume_envelope, ins.volume_point_count, ins.volume_sustain, ins.volume_loop_start,
                    ins.volume_loop_end, ins.volume_type);
  sanitize_envelope(ins.panning_envelope, ins.panning_point_count, ins.panning_sustain,
                    ins.panning_loop_start, ins.panning_loop_end, ins.panning_type);
  in.seek(header_end());

  bool odd_byte[16] = {};
  for (int32_t i = 0; i < sample_count; ++i) {
    music_sample* sample = read_sample_header(in, odd_byte[i]);
    if (!sample) {
      error.reason = "out of memory";
      return false;
    }
    ins.samples[i] = sample;
    ins.sample_count = i + 1;  // only fully created samples are counted (and freed)
  }
  for (int32_t i = 0; i < sample_count; ++i) read_sample_data(in, *ins.samples[i], odd_byte[i]);
  return true;
}

bool load(Reader& in, music_module& m, LoadError& error) {
  static const char kMagic[] = "Extended Module: ";
  char magic[17] = {};
  in.seek(0);
  in.bytes(magic, 17);
  if (std::memcmp(magic, kMagic, 17) != 0) {
    error.reason = "not an XM module (no \"Extended Module: \" header)";
    return false;
  }
  in.seek(58);
  if (in.u16() < 0x0104) {
    error.reason = "old XM 1.02 layout is not supported";
    return false;
  }
  const uint32_t header_size = in.u32();
  const int32_t song_length = in.u16();  // kept wide until clamped: 0x8000 is no negative length
  m.restart_position = int16_t(in.u16());
  m.channel_count = int16_t(in.u16());
  const int32_t file_patterns = in.u16();
  m.instrument_count = int16_t(in.u16());
  m.flags = int16_t(in.u16());
  m.default_speed = int16_t(in.u16());
  m.default_bpm = int16_t(in.u16());
  in.bytes(m.order_table, 256);
  m.initial_global_volume = 64;
  // Honoured even when smaller than the 276 bytes just read: some writers store only the
  // song's orders (header sizes 21, 28 and 51 in the corpus, 20 + song length and more) and
  // the patterns begin right after them. Order bytes read beyond it are never played.
  in.seek(60 + int64_t(header_size));

  if (m.channel_count < 0 || m.channel_count > kMusicMaxChannels) {
    error.reason = "more than 32 channels";
    return false;
  }
  if (m.instrument_count < 0 || m.instrument_count > 128) {
    error.reason = "more than 128 instruments";
    return false;
  }
  if (file_patterns > 256) {
    error.reason = "more than 256 patterns";
    return false;
  }
  m.song_length = int16_t(song_length > 256 ? 256 : song_length);
  if (m.restart_position < 0 || m.restart_position >= m.song_length) m.restart_position = 0;

  m.highest_pattern = 0;
  for (int i = 0; i < m.song_length; ++i)
    if (m.order_table[i] + 1 > m.highest_pattern) m.highest_pattern = m.order_table[i] + 1;
  m.pattern_slots = file_patterns > m.highest_pattern ? file_patterns : m.highest_pattern;
  if (!load_patterns(in, m, file_patterns, error)) return false;

  m.instruments =
      static_cast<music_instrument*>(std::calloc(size_t(m.instrument_count) + 1, sizeof(music_instrument)));
  if (!m.instruments) {
    error.reason = "out of memory";
    return false;
  }
  for (int32_t i = 0; i < m.instrument_count; ++i)
    if (!load_instrument(in, m.instruments[i], error)) return false;
  return true;
}

}  // namespace

const music_stream_operations music_memory_stream = {memory_open, memory_close, memory_read, memory_seek,
                                                     memory_tell};

void music_memory_stream_register(const void* address, int32_t length) {
  g_image = static_cast<const uint8_t*>(address);
  g_image_size = address ? length : 0;
}

void music_module_free(music_module* module) {
  if (!module) return;
  if (module->instruments) {
    for (int32_t i = 0; i < module->instrument_count; ++i) {
      music_instrument& ins = module->instruments[i];
      for (int32_t s = 0; s < ins.sample_count && s < 16; ++s) {
        if (ins.samples[s] == &music_empty_sample || !ins.samples[s]) continue;
        std::free(ins.samples[s]->data);
        std::free(ins.samples[s]);
      }
    }
    std::free(module->instruments);
  }
  if (module->patterns) {
    for (int32_t p = 0; p < module->pattern_slots; ++p) std::free(module->patterns[p].cells);
    std::free(module->patterns);
  }
  std::free(module);
}

music_module* music_module_load(const music_stream_operations& operations, const char** reason) {
  if (reason) *reason = nullptr;
  auto* module = static_cast<music_module*>(std::calloc(1, sizeof(music_module)));
  music_stream* stream = operations.open();
  if (!module || !stream) {
    if (stream) operations.close(stream);
    std::free(module);
    if (reason) *reason = "out of memory";
    return nullptr;
  }
  Reader in{operations, stream};
  LoadError error;
  const bool ok = load(in, *module, error);
  operations.close(stream);
  if (!ok) {
    music_module_free(module);
    if (reason) *reason = error.reason;
    return nullptr;
  }
  return module;
}
