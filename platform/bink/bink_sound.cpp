// The choice of the sound output that videos play through: the sound
// layer's system behind the output handle it was given. Headless, nothing
// is heard, but the track plays there as a stream like any other sound.
#include "platform/bink/bink.h"
#include "platform/bink/internal.h"
#include "platform/bink/testing.h"
#include "platform/fmod/pcm_stream.h"

namespace {

BINKSNDOPEN g_open = nullptr;
UINT_PTR g_output = 0;
UINT_PTR g_directSoundOutput = 0;

int32_t OpenDirectSoundTrack(BINKSND* snd, uint32_t freq, int32_t bits, int32_t chans,
                             uint32_t, HBINK) {
  if (!snd || freq == 0 || (bits != 8 && bits != 16) || chans < 1 || chans > 2) return 0;
  // Found at each open: the system may have been released and made anew.
  FMOD::System* system =
      platform::fmod::SystemOfOutput(reinterpret_cast<const void*>(g_directSoundOutput));
  if (!system) return 0;
  snd->system = system;
  snd->output = g_directSoundOutput;
  snd->freq = freq;
  snd->bits = bits;
  snd->chans = chans;
  return 1;
}

}  // namespace

BINKSNDOPEN BinkOpenDirectSound(UINT_PTR param) {
  g_directSoundOutput = param;
  return OpenDirectSoundTrack;
}

int32_t BinkSetSoundSystem(BINKSNDSYSOPEN open, UINT_PTR param) {
  if (!open) return 0;
  BINKSNDOPEN track = open(param);
  if (!track) return 0;
  g_open = track;
  g_output = param;
  return 1;
}

namespace platform::bink {

bool OpenTrack(BINKSND* snd, HBINK bink) {
  if (!g_open) return false;
  // Tracks are decoded to 16-bit; more than two channels are mixed down.
  const int32_t chans = snd->chans > 2 ? 2 : snd->chans;
  return g_open(snd, snd->freq, 16, chans, 0, bink) == 1;
}

bool SoundOutputChosen() { return g_open != nullptr; }

}  // namespace platform::bink

namespace platform::testing {

bool BinkSoundSystemSet() { return g_open != nullptr; }
UINT_PTR BinkSoundOutput() { return g_output; }
void ResetBink() {
  g_open = nullptr;
  g_output = 0;
  g_directSoundOutput = 0;
}

}  // namespace platform::testing
