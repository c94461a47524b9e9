// tests/helpers/xm_writer.h — builds small XM images in memory for tests.
//
//   XmWriter xm(/*channels=*/2, /*speed=*/6, /*bpm=*/125);
//   xm.pattern(64).cell(0, 0) = {.note = 49, .instrument = 3};
//   xm.order({0, 0});
//   std::vector<uint8_t> image = xm.build();
// Patterns are written unpacked (every cell as five bytes); instruments have one 8-bit sample.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct XmCell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
};

class XmWriter {
 public:
  struct Pattern {
    int rows;
    int channels;
    std::vector<XmCell> cells;
    XmCell& cell(int row, int channel) { return cells[size_t(row * channels + channel)]; }
  };
  struct Instrument {
    std::vector<int8_t> sample;  // 8-bit sample values (written delta-coded)
    uint8_t volume = 64;
    uint32_t loop_start = 0, loop_length = 0;
    uint8_t loop_type = 0;  // 0 none, 1 forward, 2 ping-pong
  };

  XmWriter(int channels, int speed, int bpm) : channels_(channels), speed_(speed), bpm_(bpm) {}

  Pattern& pattern(int rows) {
    patterns_.push_back({rows, channels_, std::vector<XmCell>(size_t(rows * channels_))});
    return patterns_.back();
  }
  Instrument& instrument() {
    instruments_.emplace_back();
    return instruments_.back();
  }
  void order(std::initializer_list<uint8_t> orders, int restart = 0) {
    orders_.assign(orders);
    restart_ = restart;
  }
  void linear(bool on) { linear_ = on; }

  std::vector<uint8_t> build() const {
    std::vector<uint8_t> out;
    const std::string magic = "Extended Module: ";
    out.insert(out.end(), magic.begin(), magic.end());
    out.resize(37, ' ');
    out.push_back(0x1A);
    out.resize(58, ' ');
    u16(out, 0x0104);
    u32(out, 276);
    u16(out, uint16_t(orders_.size()));
    u16(out, uint16_t(restart_));
    u16(out, uint16_t(channels_));
    u16(out, uint16_t(patterns_.size()));
    u16(out, uint16_t(instruments_.size()));
    u16(out, linear_ ? 1 : 0);
    u16(out, uint16_t(speed_));
    u16(out, uint16_t(bpm_));
    for (int i = 0; i < 256; ++i) out.push_back(i < int(orders_.size()) ? orders_[size_t(i)] : 0);
    for (const Pattern& p : patterns_) {
      u32(out, 9);
      out.push_back(0);
      u16(out, uint16_t(p.rows));
      u16(out, uint16_t(p.cells.size() * 5));
      for (const XmCell& c : p.cells) out.insert(out.end(), {c.note, c.instrument, c.volume, c.effect, c.parameter});
    }
    for (const Instrument& in : instruments_) {
      u32(out, 263);
      out.resize(out.size() + 23, 0);  // name, type
      u16(out, 1);
      u32(out, 40);
      out.resize(out.size() + 96 + 48 + 48 + 16, 0);  // map, envelopes, counts and types
      out.resize(out.size() + 263 - 4 - 23 - 2 - 4 - 96 - 48 - 48 - 16, 0);
      u32(out, uint32_t(in.sample.size()));
      u32(out, in.loop_start);
      u32(out, in.loop_length);
      out.push_back(in.volume);
      out.push_back(0);  // finetune
      out.push_back(in.loop_type);
      out.push_back(128);  // panning
      out.push_back(0);    // relative note
      out.resize(out.size() + 23, 0);
      int8_t previous = 0;
      for (int8_t v : in.sample) {
        out.push_back(uint8_t(int8_t(v - previous)));
        previous = v;
      }
    }
    return out;
  }

 private:
  static void u16(std::vector<uint8_t>& out, uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  static void u32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  }

  int channels_, speed_, bpm_;
  int restart_ = 0;
  bool linear_ = true;
  std::vector<uint8_t> orders_;
  std::vector<Pattern> patterns_;
  std::vector<Instrument> instruments_;
};
