// tools/xmcompose/score.h — the song "quorvane": its score and arrangement.
#pragma once

#include "tools/xmcompose/xm_writer.h"

namespace xmcompose {

// Channels of the arrangement.
enum Channel : int {
  kAccentChannel = 0,  // stabs on the flash-word rows, a steady quiet figure later; the show syncs to it
  kKickChannel,
  kSnareChannel,
  kHatChannel,
  kBassChannel,
  kChipChannel,
  kPadChannel1,
  kPadChannel2,
  kPadChannel3,
  kLeadChannel,
  kEchoChannel,  // the lead's echo, or a harmony line under it
  kFxChannel,    // crashes and risers
  kChannelCount
};

// The whole song, instruments included.
XmSong compose_song();

}  // namespace xmcompose
