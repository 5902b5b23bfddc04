// The video library as the engine and the launcher call it. For now only
// the choice of the sound output that videos play through; the video calls
// come with the media layer.
#pragma once

#include "platform/win32/windows_types.h"

struct BINK;
using HBINK = BINK*;
struct BINKSND;

// Opens one video's sound track on the chosen output; 1 on success.
using BINKSNDOPEN = int32_t (*)(BINKSND* snd, uint32_t freq, int32_t bits, int32_t chans,
                                uint32_t flags, HBINK bink);
// Chooses a sound output from its native handle and gives its track opener.
using BINKSNDSYSOPEN = BINKSNDOPEN (*)(UINT_PTR param);

// Makes `open`'s output the one every later video plays its sound through;
// 1 on success, 0 when `open` refuses or is missing.
int32_t BinkSetSoundSystem(BINKSNDSYSOPEN open, UINT_PTR param);
// The output of a sound library's device, given by its native handle.
BINKSNDOPEN BinkOpenDirectSound(UINT_PTR param);
