// module/commands.h — the entry points through which the sequencer runs the cell commands.
//
// The sequencer calls, for every channel on every tick, the volume-column entry and then the
// effect-column entry: the row-start pair on the first tick of a row (after the instrument
// reset, before the envelopes), the other-tick pair on the remaining ticks (after envelopes and
// fade-out). Both pairs run before the automatic vibrato and the apply-to-voice step, so a
// command changes the channel's period, volume and panning and sets the channel's update bits
// (kUpdate*), and the sequencer passes the result to the voice. Commands that steer the song
// (speed, BPM, jumps, breaks, loops, delays) write the module's sequencer fields.
#pragma once

#include "module/music.h"

// Everything a command may need: the module, the channel, what the channel resolved to on
// this tick, and the cell of the current row for this channel.
struct music_effect_context {
  music_module* module;
  music_channel* channel;
  const music_instrument* instrument;  // never null (music_empty_instrument when none)
  const music_sample* sample;          // never null (music_empty_sample when none)
  const music_cell* cell;              // never null
};

void music_volume_column_row_start(const music_effect_context& context);
void music_volume_column_tick(const music_effect_context& context);
void music_effect_row_start(const music_effect_context& context);
void music_effect_tick(const music_effect_context& context);

// The sequencer's instrument reset (volume, panning, envelopes, fade-out, automatic vibrato and
// the positions of vibrato, tremolo and tremor), which a delayed note (EDx) runs on its tick.
void music_instrument_reset(music_channel* channel, const music_sample* sample);
