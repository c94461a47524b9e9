// show/scene.h — what the show draws in a frame, and the preparation of what it draws with.
//
// The frame loop calls these at fixed places of a frame: the flash words early (they lie
// under everything else), the scene in the middle, the opening fade and the closing card
// after the scene and the key-word messages.
#pragma once

#include <string_view>

#include "show/state.h"

namespace show {

// Start-up: the sprites, images, texts and the effect routines' initial values, in the order
// the pictures depend on each other. No result is tested: a picture that cannot be made is
// simply missing and every display of it draws nothing.
void prepare_assets(ShowState& show);
// Start-up, after the frame timer exists: renders the logo sprite.
void prepare_logo(ShowState& show);
// Shutdown: every sprite, then every image.
void release_assets();

// The flash words of the words phase (positions 1 to 4 before the late scene).
void flash_words(ShowState& show);
// The scene, from the disc trail to the badge.
void draw_scene(ShowState& show);
// The veil that lifts over the first 20 frames.
void opening_fade(ShowState& show);
// The closing card at intensity round(closing level).
void closing_card(const ShowState& show);

// The mouse hint: a frame that handles a mouse move raises the hint level and shows the mouse
// banner; every frame draws the hint at round(level) and lets it sink by 0.1.
void mouse_step(ShowState& show);
void mouse_hint(ShowState& show);
// A key was released: its typed letter extends the typed word (a ninth starts a new word), a
// space changes nothing, any other key clears the word.
void typed_key(ShowState& show, std::u16string_view typed);
// The pulse (6 .. 132 .. 0, 44 frames a cycle) and the messages of the typed key words.
void key_word_messages(ShowState& show);
// The F1 panel of live values.
void debug_overlay(const ShowState& show);

}  // namespace show
