// show/scene.h — what the show draws in a frame, and the preparation of what it draws with.
//
// The frame calls these at fixed places: the flash words early (they lie under everything
// else), the scene in the middle, the opening fade and the closing card after the scene and
// the key-word messages.
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

// Each part of a frame comes in two halves: its advance changes the show's state, its paint
// draws from the state and changes none of it (only the sprite store's display parameters, a
// clip or zoom, are set as the layers are drawn). The frame runs the advances in the frame's
// order, then the paints in layer order (show/show.h).

// The flash words of the words phase (positions 1 to 4 before the late scene): which word
// shows and where.
void advance_flash_words(ShowState& show);
void paint_flash_word(const ShowState& show);
// The scene, from the disc trail to the badge: the trail's canvas, the page flipper, the late
// flag, the scroller's strip and step.
void advance_scene(ShowState& show);
void paint_scene(const ShowState& show);
// The veil that lifts over the first 20 frames.
void advance_opening_fade(ShowState& show);
void paint_opening_fade(const ShowState& show);
// The closing card at the intensity the frame recorded.
void paint_closing_card(const ShowState& show);

// The mouse hint: a frame that handles a mouse move raises the hint level and shows the mouse
// banner; every frame draws the hint at round(level) and lets it sink by 0.1.
void advance_mouse_hint(ShowState& show, bool moved);
void paint_mouse_hint(const ShowState& show);
// A key was released: its typed letter extends the typed word (a ninth starts a new word), a
// space changes nothing, any other key clears the word.
void typed_key(ShowState& show, std::u16string_view typed);
// The pulse (6 .. 132 .. 0, 44 frames a cycle), and the messages of the typed key words.
void advance_pulse(ShowState& show);
void paint_key_word_messages(const ShowState& show);
// The F1 panel of live values.
void paint_debug_overlay(const ShowState& show);

}  // namespace show
