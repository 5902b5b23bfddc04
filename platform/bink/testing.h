// Test controls of the video layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bink/bink.h"
#include "platform/fmod/fmod.h"

namespace platform::testing {

// Whether a sound output was chosen, and the native handle it was given.
bool BinkSoundSystemSet();
UINT_PTR BinkSoundOutput();
void ResetBink();

// A video's sound track as the layer keeps it.
struct BinkTrackState {
  bool opened = false;  // opened on the chosen output
  bool on = false;
  int32_t volume = 0;
  uint32_t frequency = 0;
  int32_t channels = 0;
  // The sound layer's channel it was last started on, null when none.
  const FMOD::Channel* channel = nullptr;
};
BinkTrackState BinkTrack(HBINK bink);
// Up to `frames` frames of the track as the sound layer is given them
// (16-bit, interleaved, at most two channels), from frame `from`; empty when
// no track plays. The track's reader is left there.
std::vector<int16_t> BinkTrackSamples(HBINK bink, uint64_t from, size_t frames);
// Bytes read from the video's file since BinkOpen returned.
uint64_t BinkBytesReadAfterOpen(HBINK bink);

}  // namespace platform::testing
