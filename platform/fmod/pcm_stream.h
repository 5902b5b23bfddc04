// For the other platform layers, not the engine: the system behind an output
// handle, and streams whose 16-bit PCM a caller's reader supplies (a video's
// sound track plays through the same system as every other sound).
#pragma once

#include <memory>

#include "platform/fmod/decoder.h"
#include "platform/fmod/fmod.h"

namespace platform::fmod {

// The live, initialised system whose System::getOutputHandle gives `handle`;
// null for any other value.
FMOD::System* SystemOfOutput(const void* handle);

// A 2-D, non-looping stream over `source`, whose channels, rate and frames
// must be set (1 or 2 channels). The sound owns the source; playing the
// sound seeks it to 0 and the system's update reads it as the channel plays.
FMOD_RESULT CreatePcmStream(FMOD::System* system, std::unique_ptr<Decoder> source,
                            FMOD::Sound** sound);

// Whether `sound` was made by `system` and not yet released.
bool SoundIsLive(const FMOD::System* system, const FMOD::Sound* sound);

}  // namespace platform::fmod
