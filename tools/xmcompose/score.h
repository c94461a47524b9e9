// tools/xmcompose/score.h — the song "quorvane": its score and arrangement.
#pragma once

#include "tools/xmcompose/xm_writer.h"

namespace xmcompose {

// Channels of the arrangement.
enum Channel : int {
  kAccentChannel = 0,  // stabs on the show's accent rows only
  kKickChannel,
  kSnareChannel,
  kHatChannel,
  kBassChannel,
  kChipChannel,
  kPadChannel1,
  kPadChannel2,
  kPadChannel3,
  kLeadChannel,
  kEchoChannel,
  kFxChannel,  // crashes and risers
  kChannelCount
};

// The whole song, instruments included.
XmSong compose_song();

}  // namespace xmcompose
