// Shared between the sources of the video layer; not part of its interface.
#pragma once

#include "platform/bink/bink.h"
#include "platform/fmod/fmod.h"

struct BINKSND {
  uint32_t freq = 0;
  int32_t bits = 0;
  int32_t chans = 0;
  // The sound system the track plays through, as the output's opener found
  // it; looked up again before every use, as it may be released first.
  FMOD::System* system = nullptr;
  UINT_PTR output = 0;
};

namespace platform::bink {

// Opens a video's sound track on the chosen output; false when no output
// was chosen or it refused the track.
bool OpenTrack(BINKSND* snd, HBINK bink);
// Whether a sound output was chosen, so that tracks may open.
bool SoundOutputChosen();

}  // namespace platform::bink
