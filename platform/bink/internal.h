// Shared between the sources of the video layer; not part of its interface.
#pragma once

#include "platform/bink/bink.h"

struct BINKSND {
  uint32_t freq = 0;
  int32_t bits = 0;
  int32_t chans = 0;
};

namespace platform::bink {

// Opens a video's sound track on the chosen output; false when no output
// was chosen or it refused the track.
bool OpenTrack(BINKSND* snd, HBINK bink);

}  // namespace platform::bink
