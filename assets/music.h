// assets/music.h — the show's music module "quorvane", compiled in from assets/music/quorvane.xm
// (written by tools/xmcompose: xmcompose assets/music/quorvane.xm).
//
// FastTracker 2 XM, format version 0x0104, linear frequency table, 12 channels, 17 order
// positions of 64-row patterns at speed 6 and 125 BPM (about 2 min 11 s), restart position 5.
// It follows the show's timeline: order 0 opens sparsely with a soft hit on every eighth row,
// orders 1 to 4 build up with channel 0 striking on the flash-word rows, order 5 on is the
// full arrangement, in which channel 0 keeps a steady figure on the same rows of every bar.
#pragma once

extern const unsigned char asset_music[];
extern const unsigned int asset_music_size;
