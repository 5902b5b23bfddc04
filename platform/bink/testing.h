// Test controls of the video layer.
#pragma once

#include <cstdint>

#include "platform/bink/bink.h"

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
};
BinkTrackState BinkTrack(HBINK bink);
// Bytes read from the video's file since BinkOpen returned.
uint64_t BinkBytesReadAfterOpen(HBINK bink);

}  // namespace platform::testing
