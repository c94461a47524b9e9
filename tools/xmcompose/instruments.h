// tools/xmcompose/instruments.h — the synthesised instruments of the song.
//
// Every sound is computed here from first principles (additive partials, filtered noise,
// swept sines) with arithmetic of our own, so the same program writes the same bytes on
// every machine: no libm calls, no library random generator.
//
// Tuning: a pitched sample is made at a rate of 8363 × 2^(k/12) Hz and carries the relative
// note that makes the cell note named in its comment sound at its true pitch on a linear
// frequency table (C-4 = 261.63 Hz). Drums sound "as recorded" when played at C-4.
#pragma once

#include <vector>

#include "tools/xmcompose/xm_writer.h"

namespace xmcompose {

// Instrument numbers as used in the score (1-based, as in pattern cells).
enum Instrument : uint8_t {
  kStab = 1,  // power-chord stab, channel 0's accents
  kKick,      // 16-bit
  kSnare,     // 8-bit
  kHat,       // 8-bit closed hi-hat
  kOpenHat,   // 8-bit looped noise with a sustained envelope: key off or the next hat closes it
  kBass,      // 16-bit, filter-swept attack into a forward loop
  kChip,      // 8-bit 25 % pulse, forward loop: arpeggios
  kPad,       // 16-bit three-saw chorus, forward loop, slow volume envelope
  kLead,      // 16-bit two-oscillator lead with automatic vibrato
  kEcho,      // darker copy of the lead for the echo and harmony channel, panned right
  kCrash,     // 8-bit cymbal
  kSweep,     // 8-bit filtered noise, ping-pong loop: risers with portamento, panning left to right
  kInstrumentCount = kSweep
};

std::vector<XmInstrument> make_instruments();

}  // namespace xmcompose
