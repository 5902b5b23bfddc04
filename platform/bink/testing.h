// Test controls of the video layer.
#pragma once

#include "platform/bink/bink.h"

namespace platform::testing {

// Whether a sound output was chosen, and the native handle it was given.
bool BinkSoundSystemSet();
UINT_PTR BinkSoundOutput();
void ResetBink();

}  // namespace platform::testing
