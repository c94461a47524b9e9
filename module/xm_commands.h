// module/xm_commands.h — the numbers of the XM cell commands, as they stand in a file.
//
// The player (module/commands.cpp, module/sequencer.cpp) and any tool that writes modules take
// the numbers from here. The header needs nothing else: a tool includes it without the player.
//
//   cell.effect = xm::kVolumeSlide; cell.parameter = 0x03;             // A03
//   cell.effect = xm::kExtended; cell.parameter = xm::extended(xm::kNoteDelay, 3);  // ED3
//   cell.volume = xm::volume_column(xm::kVolumeColumnSlideDown, 2);   // volume column -2
#pragma once

#include <cstdint>

namespace xm {

// Effect-column types. The tracker shows types 10 and up as letters counting on from A = 10.
enum Effect : uint8_t {
  kArpeggio = 0x00,
  kPortaUp = 0x01,
  kPortaDown = 0x02,
  kTonePorta = 0x03,
  kVibrato = 0x04,
  kTonePortaVolumeSlide = 0x05,
  kVibratoVolumeSlide = 0x06,
  kTremolo = 0x07,
  kSetPanning = 0x08,
  kSampleOffset = 0x09,
  kVolumeSlide = 0x0A,        // A
  kPositionJump = 0x0B,       // B
  kSetVolume = 0x0C,          // C
  kPatternBreak = 0x0D,       // D
  kExtended = 0x0E,           // E, sub-command in the high nibble of the parameter
  kSpeedBpm = 0x0F,           // F: below 0x20 speed, from 0x20 BPM
  kGlobalVolume = 0x10,       // G
  kGlobalVolumeSlide = 0x11,  // H
  kKeyOff = 0x14,             // K
  kEnvelopePosition = 0x15,   // L
  kPanningSlide = 0x19,       // P
  kMultiRetrigger = 0x1B,     // R
  kTremor = 0x1D,             // T
  kExtraFinePorta = 0x21,     // X: X1x up, X2x down
};

// E sub-commands: the high nibble of an E command's parameter.
enum Extended : uint8_t {
  kFinePortaUp = 0x1,
  kFinePortaDown = 0x2,
  kVibratoWaveform = 0x4,
  kSetFinetune = 0x5,
  kPatternLoop = 0x6,
  kTremoloWaveform = 0x7,
  kSetPanningCoarse = 0x8,
  kRetrigger = 0x9,
  kFineVolumeUp = 0xA,
  kFineVolumeDown = 0xB,
  kNoteCut = 0xC,
  kNoteDelay = 0xD,
  kPatternDelay = 0xE,
};
constexpr uint8_t extended(Extended command, int x) {
  return uint8_t(command << 4 | (x & 0x0F));
}

// Volume-column commands: the high nibble of the volume byte. 0x10..0x50 set the volume to
// byte − 0x10; 0x51..0x5F and 0x01..0x0F do nothing.
enum VolumeColumn : uint8_t {
  kVolumeColumnSlideDown = 0x6,  // every tick, the row start included
  kVolumeColumnSlideUp = 0x7,    // every tick, the row start included
  kVolumeColumnFineDown = 0x8,   // row start only
  kVolumeColumnFineUp = 0x9,     // row start only
  kVolumeColumnVibratoSpeed = 0xA,
  kVolumeColumnVibratoDepth = 0xB,
  kVolumeColumnSetPanning = 0xC,    // panning y × 16
  kVolumeColumnPanningLeft = 0xD,   // panning − y, every tick
  kVolumeColumnPanningRight = 0xE,  // panning + y, every tick
  kVolumeColumnTonePorta = 0xF,
};
constexpr uint8_t kVolumeColumnSetVolume = 0x10;  // 0x10 + volume, volume 0..64
constexpr uint8_t volume_column(VolumeColumn command, int y) {
  return uint8_t(command << 4 | (y & 0x0F));
}

// Note 97 in a file releases the note (key off); 1..96 are C-0..B-7, 0 is no note.
constexpr uint8_t kFileKeyOff = 97;

}  // namespace xm
