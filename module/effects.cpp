// module/effects.cpp — the volume-column and effect-column commands.
//
// The commands are not implemented yet: every cell plays its note and instrument with the
// song's default speed and BPM. This file is the one place where they go in.
#include "module/effects.h"

void music_volume_column_row_start(const music_effect_context&) {}
void music_volume_column_tick(const music_effect_context&) {}
void music_effect_row_start(const music_effect_context&) {}
void music_effect_tick(const music_effect_context&) {}
