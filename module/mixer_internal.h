// module/mixer_internal.h — the mixer with its grouped-frame paths switchable, for the tests
// that prove the grouped and one-frame paths give identical output.
#pragma once

#include "module/music.h"

// groups = true is music_mix; false renders every frame through the one-frame path.
void music_mix_voices(music_voice* voices, float* buffer, int frames, bool groups);
