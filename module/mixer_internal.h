// module/mixer_internal.h — the mixer with its frame-pair path switchable, for the tests that
// prove both paths give identical output.
#pragma once

#include "module/music.h"

// pairs = true is music_mix; false renders every frame through the one-frame path.
void music_mix_voices(music_voice* voices, float* buffer, int frames, bool pairs);
