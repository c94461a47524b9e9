// tools/xmcompose/xm_writer.h — the song model of the composer and its encoder to the XM
// (FastTracker 2, format version 0x0104) file layout.
//
// The model is deliberately small: one sample per instrument, sample data held as signed
// 16-bit values whatever the stored width (an 8-bit sample keeps only its upper byte), every
// pattern 64 rows or whatever `rows` says. Encoding never fails; the caller keeps counts in
// range (at most 32 channels, 256 orders, 128 instruments, 12 envelope points).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xmcompose {

// One pattern cell as stored in the file: note 1..96 (C-0..B-7), 97 key off, 0 none.
struct XmCell {
  uint8_t note = 0;
  uint8_t instrument = 0;
  uint8_t volume = 0;  // volume-column byte (0x10 + v sets volume v)
  uint8_t effect = 0;
  uint8_t param = 0;
};

struct XmPattern {
  int rows = 64;
  std::vector<XmCell> cells;  // rows × channels, row-major
};

struct XmEnvelope {
  std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value 0..64)
  int sustain = -1;                                   // point index, -1 = none
  int loop_start = -1;                                // point indices, -1 = no loop
  int loop_end = -1;
};

enum class XmLoop { kNone, kForward, kPingPong };

struct XmSample {
  std::string name;
  std::vector<int16_t> data;  // the sound; for 8-bit samples only the upper byte is stored
  bool sixteen_bit = true;
  XmLoop loop = XmLoop::kNone;
  uint32_t loop_start = 0;   // in samples
  uint32_t loop_length = 0;  // in samples
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t panning = 128;
  int8_t relative_note = 0;
};

struct XmInstrument {
  std::string name;
  XmSample sample;
  XmEnvelope volume_envelope;
  XmEnvelope panning_envelope;
  uint8_t vibrato_type = 0;
  uint8_t vibrato_sweep = 0;
  uint8_t vibrato_depth = 0;
  uint8_t vibrato_rate = 0;
  uint16_t fadeout = 0;  // file value: subtracted per tick (the player doubles it) after key off
};

struct XmSong {
  std::string name;
  std::string tracker;
  int channels = 8;
  int speed = 6;
  int bpm = 125;
  int restart = 0;
  bool linear_frequencies = true;
  std::vector<uint8_t> orders;
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

// The complete file image of `song`.
std::vector<uint8_t> xm_encode(const XmSong& song);

}  // namespace xmcompose
