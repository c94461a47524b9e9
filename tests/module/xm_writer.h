// tests/module/xm_writer.h — builds small XM images in test code.
//
// A song is described with plain structs; write_xm lays it out as an XM 1.04 file (header,
// patterns, instruments with their sample headers, delta-coded sample data). Cells are written
// packed (0x80 form) or unpacked; a pattern can also carry raw bytes to test the decoder.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "module/music.h"

namespace xmw {

enum Note : uint8_t { C4 = 49, D4 = 51, E4 = 53, KeyOff = 97 };

struct Sample {
  std::vector<int16_t> data;  // values to store (8-bit samples use the high byte)
  bool sixteen = false;
  uint8_t loop = 0;          // type bits: 1 forward, 2 ping-pong
  uint32_t loop_start = 0;   // in samples
  uint32_t loop_length = 0;  // in samples
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t panning = 128;
  int8_t relative_note = 0;
  int32_t byte_length = -1;  // overrides the length field (in bytes) when >= 0
  bool adpcm = false;        // written as ModPlug ADPCM: 16-byte table, then 4 bits per sample
};

struct Envelope {
  std::vector<std::pair<uint16_t, uint16_t>> points;
  uint8_t sustain = 0, loop_start = 0, loop_end = 0, type = 0;
};

struct Instrument {
  std::vector<Sample> samples;
  uint8_t sample_map[96] = {};
  Envelope volume, panning;
  uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  uint16_t fadeout = 0;       // file value (the loader doubles it)
  int32_t sample_count = -1;  // overrides the sample count field when >= 0
};

struct Pattern {
  int rows = 16;
  std::vector<music_cell> cells;  // rows × channels; empty = all empty
  bool packed = true;
  std::vector<uint8_t> raw;  // when set: written as the packed data as it stands
  bool zero_size = false;    // write packed size 0 (no data)
};

struct Song {
  int channels = 1;
  int speed = 6;
  int bpm = 125;
  bool linear = true;
  int restart = 0;
  uint16_t version = 0x0104;
  std::vector<uint8_t> orders = {0};
  std::vector<Pattern> patterns;
  std::vector<Instrument> instruments;

  music_cell& cell(int pattern, int row, int channel) {
    Pattern& p = patterns[pattern];
    if (p.cells.empty()) p.cells.resize(size_t(p.rows * channels));
    return p.cells[size_t(row * channels + channel)];
  }
};

class Bytes {
 public:
  std::vector<uint8_t> v;
  void u8(uint32_t x) { v.push_back(uint8_t(x)); }
  void u16(uint32_t x) {
    u8(x);
    u8(x >> 8);
  }
  void u32(uint32_t x) {
    u16(x);
    u16(x >> 16);
  }
  void text(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i) u8(i < s.size() ? uint8_t(s[i]) : 0);
  }
};

inline void write_cells(Bytes& out, const Song& song, const Pattern& p) {
  std::vector<music_cell> cells = p.cells;
  cells.resize(size_t(p.rows * song.channels));
  for (const music_cell& c : cells) {
    if (!p.packed) {
      out.u8(c.note);
      out.u8(c.instrument);
      out.u8(c.volume);
      out.u8(c.effect);
      out.u8(c.parameter);
      continue;
    }
    uint8_t mask = 0x80;
    if (c.note) mask |= 1;
    if (c.instrument) mask |= 2;
    if (c.volume) mask |= 4;
    if (c.effect) mask |= 8;
    if (c.parameter) mask |= 16;
    out.u8(mask);
    if (c.note) out.u8(c.note);
    if (c.instrument) out.u8(c.instrument);
    if (c.volume) out.u8(c.volume);
    if (c.effect) out.u8(c.effect);
    if (c.parameter) out.u8(c.parameter);
  }
}

inline std::vector<uint8_t> write_xm(const Song& song) {
  Bytes out;
  out.text("Extended Module: ", 17);
  out.text("test", 20);
  out.u8(0x1A);
  out.text("xm_writer", 20);
  out.u16(song.version);
  out.u32(276);
  out.u16(uint32_t(song.orders.size()));
  out.u16(uint32_t(song.restart));
  out.u16(uint32_t(song.channels));
  out.u16(uint32_t(song.patterns.size()));
  out.u16(uint32_t(song.instruments.size()));
  out.u16(song.linear ? 1 : 0);
  out.u16(uint32_t(song.speed));
  out.u16(uint32_t(song.bpm));
  for (size_t i = 0; i < 256; ++i) out.u8(i < song.orders.size() ? song.orders[i] : 0);

  for (const Pattern& p : song.patterns) {
    Bytes data;
    if (!p.raw.empty())
      data.v = p.raw;
    else if (!p.zero_size)
      write_cells(data, song, p);
    out.u32(9);
    out.u8(0);
    out.u16(uint32_t(p.rows));
    out.u16(p.zero_size ? 0 : uint32_t(data.v.size()));
    out.v.insert(out.v.end(), data.v.begin(), data.v.end());
  }

  for (const Instrument& ins : song.instruments) {
    const uint32_t count = ins.sample_count >= 0 ? uint32_t(ins.sample_count) : uint32_t(ins.samples.size());
    out.u32(ins.samples.empty() ? 29 : 263);
    out.text("instrument", 22);
    out.u8(0);
    out.u16(count);
    if (ins.samples.empty()) continue;
    out.u32(40);
    for (uint8_t m : ins.sample_map) out.u8(m);
    for (const Envelope* e : {&ins.volume, &ins.panning})
      for (size_t i = 0; i < 12; ++i) {
        out.u16(i < e->points.size() ? e->points[i].first : 0);
        out.u16(i < e->points.size() ? e->points[i].second : 0);
      }
    out.u8(uint32_t(ins.volume.points.size()));
    out.u8(uint32_t(ins.panning.points.size()));
    out.u8(ins.volume.sustain);
    out.u8(ins.volume.loop_start);
    out.u8(ins.volume.loop_end);
    out.u8(ins.panning.sustain);
    out.u8(ins.panning.loop_start);
    out.u8(ins.panning.loop_end);
    out.u8(ins.volume.type);
    out.u8(ins.panning.type);
    out.u8(ins.vibrato_type);
    out.u8(ins.vibrato_sweep);
    out.u8(ins.vibrato_depth);
    out.u8(ins.vibrato_rate);
    out.u16(ins.fadeout);
    out.text("", 22);  // reserved up to the 263-byte header
    for (const Sample& s : ins.samples) {
      const uint32_t unit = s.sixteen ? 2 : 1;
      out.u32(s.byte_length >= 0 ? uint32_t(s.byte_length) : uint32_t(s.data.size()) * unit);
      out.u32(s.loop_start * unit);
      out.u32(s.loop_length * unit);
      out.u8(s.volume);
      out.u8(uint8_t(s.finetune));
      out.u8(uint32_t(s.loop) | (s.sixteen ? 16u : 0u));
      out.u8(s.panning);
      out.u8(uint8_t(s.relative_note));
      out.u8(s.adpcm ? 0xAD : 0);
      out.text("sample", 22);
    }
    for (const Sample& s : ins.samples) {
      if (s.adpcm) {
        for (size_t i = 0; i < 16 + (s.data.size() + 1) / 2; ++i) out.u8(0x11);
        continue;
      }
      int32_t previous = 0;
      for (int16_t value : s.data) {
        if (s.sixteen) {
          out.u16(uint16_t(value - previous));
          previous = value;
        } else {
          const int8_t byte = int8_t(value >> 8);
          out.u8(uint8_t(byte - previous));
          previous = byte;
        }
      }
      if (s.byte_length > int32_t(s.data.size() * (s.sixteen ? 2 : 1)))
        for (int32_t i = int32_t(s.data.size() * (s.sixteen ? 2 : 1)); i < s.byte_length; ++i) out.u8(0);
    }
  }
  return out.v;
}

// One instrument with one 8-bit sample of `length` full-scale values, forward-looped or not.
inline Instrument square_instrument(uint32_t length = 64, uint8_t loop = 1) {
  Instrument ins;
  Sample s;
  for (uint32_t i = 0; i < length; ++i) s.data.push_back(int16_t(i % 2 ? -16384 : 16384));
  s.loop = loop;
  s.loop_start = 0;
  s.loop_length = loop ? length : 0;
  ins.samples.push_back(s);
  return ins;
}

}  // namespace xmw
