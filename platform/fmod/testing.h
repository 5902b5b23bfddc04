// Test controls of the sound layer. Failures and the length of non-blocking
// opens are kept in the platform root's "testing.ini"
// (platform/win32/testing.h), so a child process starts with what its
// parent set. What is playing is read from the system created last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fmod/fmod.h"

namespace platform::testing {

// From now on the call ("System_Create", "init", "createChannelGroup",
// "createSound", "createDSPByType") returns `result` instead of working;
// FMOD_OK lets it work again.
void FailFmodCall(const std::string& call, FMOD_RESULT result);
// Updates a non-blocking open takes before it is ready or failed (from 1).
void SetFmodOpenUpdates(int updates);

struct FmodChannelState {
  const FMOD::Channel* handle = nullptr;
  const FMOD::Sound* sound = nullptr;
  std::string group;          // the group's name; "master" for the master group
  float volume = 0;           // the channel's own
  float audibleVolume = 0;    // times its group's and the master group's
  int priority = 128;
  bool paused = false;
  bool ended = false;         // stopped or at its end, until the next update
  bool loop = false;
  bool is3D = false;
  bool stream = false;
  uint32_t positionMs = 0;
  uint32_t lengthMs = 0;
  FMOD_VECTOR position{};
  float minDistance = 0;
  float maxDistance = 0;
  bool hasCallback = false;
};

struct FmodDspState {
  FMOD_DSP_TYPE type = FMOD_DSP_TYPE_UNKNOWN;
  std::vector<float> params;
  bool active = false;
  std::string group;  // empty when it is on no group
};

struct FmodSystemState {
  bool exists = false;
  bool initialised = false;
  FMOD_OUTPUTTYPE output = FMOD_OUTPUTTYPE_AUTODETECT;
  float dopplerScale = 0, distanceFactor = 0, rolloffScale = 0;
  float maxWorldSize = 0;
  bool dspBufferSet = false;
  uint32_t dspBufferLength = 0;
  int dspBufferCount = 0;
  int hardwareChannels[4] = {};
  int softwareChannels = 0;
  int maxChannels = 0;
  FMOD_INITFLAGS initFlags = 0;
  void* extraDriverData = nullptr;
  void* outputHandle = nullptr;
  FMOD_VECTOR listenerPosition{}, listenerForward{}, listenerUp{};
  std::vector<std::string> groups;  // in creation order, the master group first
  int sounds = 0;                   // not yet released
  int geometries = 0;
  size_t lastGeometrySize = 0;
};

FmodSystemState FmodSystem();
// Channels in use, in slot order.
std::vector<FmodChannelState> FmodChannels();
std::vector<FmodDspState> FmodDsps();
// Systems created and not yet released, in this process.
int LiveFmodSystems();
// Clears the failures and the open length, and stops recording the mix.
void ResetFmod();

// ---- The mix -------------------------------------------------------------
// While on, every system's update mixes what plays into a sink in memory:
// 44100 frames a second, interleaved stereo, 16-bit, for the time the clock
// moved since the update before. (Without a device, a capture file or this,
// nothing is mixed.)
void RecordFmodMix(bool on);
// What the system created last has mixed while recording.
std::vector<int16_t> FmodMix();
void ClearFmodMix();

}  // namespace platform::testing
