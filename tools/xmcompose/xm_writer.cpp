// The XM file layout written here: a 60-byte preamble, a 276-byte song header (its size field
// counts itself), the patterns (9-byte header, packed cells), then per instrument a 263-byte
// header, 40-byte sample headers and the delta-coded sample data. All values little-endian.
#include "tools/xmcompose/xm_writer.h"

#include <algorithm>

namespace xmcompose {
namespace {

class Bytes {
 public:
  void u8(unsigned v) { out_.push_back(static_cast<uint8_t>(v)); }
  void u16(unsigned v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  // A fixed-width text field, padded with zero bytes.
  void text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  size_t size() const { return out_.size(); }
  void patch16(size_t at, unsigned v) {
    out_[at] = static_cast<uint8_t>(v & 0xFF);
    out_[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  std::vector<uint8_t> take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

constexpr uint32_t kSongHeaderBytes = 276;
constexpr uint32_t kInstrumentHeaderBytes = 263;
constexpr uint32_t kSampleHeaderBytes = 40;

// FT2 packing: a cell with all five fields set is stored raw; any other cell as a mask byte
// (bit 7 set, bits 0..4 = which fields follow) and the fields that are not zero.
void write_pattern(Bytes& b, const XmPattern& p) {
  b.u32(9);
  b.u8(0);
  b.u16(static_cast<unsigned>(p.rows));
  const size_t size_at = b.size();
  b.u16(0);
  const size_t start = b.size();
  for (const XmCell& c : p.cells) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    unsigned mask = 0;
    for (int i = 0; i < 5; ++i)
      if (fields[i]) mask |= 1u << i;
    if (mask == 0x1F) {
      for (uint8_t f : fields) b.u8(f);
      continue;
    }
    b.u8(0x80 | mask);
    for (int i = 0; i < 5; ++i)
      if (fields[i]) b.u8(fields[i]);
  }
  b.patch16(size_at, static_cast<unsigned>(b.size() - start));
}

void write_envelope_points(Bytes& b, const XmEnvelope& e) {
  for (size_t i = 0; i < 12; ++i) {
    b.u16(i < e.points.size() ? e.points[i].first : 0);
    b.u16(i < e.points.size() ? e.points[i].second : 0);
  }
}

// Envelope type bits: 0 on, 1 sustain, 2 loop.
unsigned envelope_type(const XmEnvelope& e) {
  if (e.points.size() < 2) return 0;
  return 1u | (e.sustain >= 0 ? 2u : 0u) | (e.loop_start >= 0 ? 4u : 0u);
}

unsigned point_index(int index) {
  return index < 0 ? 0u : static_cast<unsigned>(index);
}

void write_sample_header(Bytes& b, const XmSample& s) {
  const uint32_t width = s.sixteen_bit ? 2 : 1;
  b.u32(static_cast<uint32_t>(s.data.size()) * width);
  const bool looped = s.loop != XmLoop::kNone;
  b.u32(looped ? s.loop_start * width : 0);
  b.u32(looped ? s.loop_length * width : 0);
  b.u8(s.volume);
  b.u8(static_cast<uint8_t>(s.finetune));
  unsigned type = s.loop == XmLoop::kForward ? 1 : s.loop == XmLoop::kPingPong ? 2 : 0;
  if (s.sixteen_bit) type |= 0x10;
  b.u8(type);
  b.u8(s.panning);
  b.u8(static_cast<uint8_t>(s.relative_note));
  b.u8(0);
  b.text(s.name, 22);
}

// Sample data is stored as differences between neighbours, wrapping at the stored width.
void write_sample_data(Bytes& b, const XmSample& s) {
  int previous = 0;
  for (int16_t value : s.data) {
    if (s.sixteen_bit) {
      b.u16(static_cast<unsigned>(value - previous) & 0xFFFF);
      previous = value;
    } else {
      const int byte = value >> 8;  // arithmetic: the upper byte, sign kept
      b.u8(static_cast<unsigned>(byte - previous) & 0xFF);
      previous = byte;
    }
  }
}

void write_instrument(Bytes& b, const XmInstrument& in) {
  const size_t start = b.size();
  b.u32(kInstrumentHeaderBytes);
  b.text(in.name, 22);
  b.u8(0);
  b.u16(1);
  b.u32(kSampleHeaderBytes);
  b.zeros(96);  // every note plays sample 0
  write_envelope_points(b, in.volume_envelope);
  write_envelope_points(b, in.panning_envelope);
  b.u8(static_cast<unsigned>(in.volume_envelope.points.size()));
  b.u8(static_cast<unsigned>(in.panning_envelope.points.size()));
  for (const XmEnvelope* e : {&in.volume_envelope, &in.panning_envelope}) {
    b.u8(point_index(e->sustain));
    b.u8(point_index(e->loop_start));
    b.u8(point_index(e->loop_end));
  }
  b.u8(envelope_type(in.volume_envelope));
  b.u8(envelope_type(in.panning_envelope));
  b.u8(in.vibrato_type);
  b.u8(in.vibrato_sweep);
  b.u8(in.vibrato_depth);
  b.u8(in.vibrato_rate);
  b.u16(in.fadeout);
  b.zeros(start + kInstrumentHeaderBytes - b.size());
  write_sample_header(b, in.sample);
  write_sample_data(b, in.sample);
}

}  // namespace

std::vector<uint8_t> xm_encode(const XmSong& song) {
  Bytes b;
  b.text("Extended Module: ", 17);
  b.text(song.name, 20);
  b.u8(0x1A);
  b.text(song.tracker, 20);
  b.u16(0x0104);

  b.u32(kSongHeaderBytes);
  b.u16(static_cast<unsigned>(song.orders.size()));
  b.u16(static_cast<unsigned>(song.restart));
  b.u16(static_cast<unsigned>(song.channels));
  b.u16(static_cast<unsigned>(song.patterns.size()));
  b.u16(static_cast<unsigned>(song.instruments.size()));
  b.u16(song.linear_frequencies ? 1 : 0);
  b.u16(static_cast<unsigned>(song.speed));
  b.u16(static_cast<unsigned>(song.bpm));
  for (size_t i = 0; i < 256; ++i) b.u8(i < song.orders.size() ? song.orders[i] : 0);

  for (const XmPattern& p : song.patterns) write_pattern(b, p);
  for (const XmInstrument& in : song.instruments) write_instrument(b, in);
  return b.take();
}

}  // namespace xmcompose
