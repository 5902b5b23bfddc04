#include "platform/fmod/testing.h"

#include "platform/fmod/internal.h"
#include "platform/win32/testing.h"

namespace platform::testing {
namespace {

FMOD::detail::SystemState* Last() {
  auto& live = FMOD::detail::LiveSystems();
  return live.empty() ? nullptr : live.back();
}

}  // namespace

void FailFmodCall(const std::string& call, FMOD_RESULT result) {
  SetSetting("fmod_fail_" + call, result == FMOD_OK ? "" : std::to_string(int(result)));
}

void SetFmodOpenUpdates(int updates) {
  SetSetting("fmod_open_updates", updates <= 1 ? "" : std::to_string(updates));
}

FmodSystemState FmodSystem() {
  FmodSystemState out;
  FMOD::detail::SystemState* s = Last();
  if (!s) return out;
  out.exists = true;
  out.initialised = s->initialised;
  out.output = s->output;
  out.dopplerScale = s->dopplerScale;
  out.distanceFactor = s->distanceFactor;
  out.rolloffScale = s->rolloffScale;
  out.maxWorldSize = s->maxWorldSize;
  out.dspBufferSet = s->dspBufferSet;
  out.dspBufferLength = s->dspBufferLength;
  out.dspBufferCount = s->dspBufferCount;
  for (int i = 0; i < 4; ++i) out.hardwareChannels[i] = s->hardwareChannels[i];
  out.softwareChannels = s->softwareChannels;
  out.maxChannels = s->maxChannels;
  out.initFlags = s->initFlags;
  out.extraDriverData = s->extraDriverData;
  out.outputHandle = s->initialised ? &s->outputObject : nullptr;
  out.listenerPosition = s->listener[0][0];
  out.listenerForward = s->listener[0][2];
  out.listenerUp = s->listener[0][3];
  for (const auto* group : s->groups) out.groups.push_back(group->name);
  out.sounds = static_cast<int>(s->sounds.size());
  out.geometries = static_cast<int>(s->geometries.size());
  out.lastGeometrySize = s->geometries.empty() ? 0 : s->geometries.back()->data.size();
  return out;
}

std::vector<FmodChannelState> FmodChannels() {
  std::vector<FmodChannelState> out;
  FMOD::detail::SystemState* s = Last();
  if (!s) return out;
  for (uint32_t i = 0; i < s->slots.size(); ++i) {
    auto& slot = s->slots[i];
    if (!slot.used) continue;
    FmodChannelState c;
    c.handle = s->HandleOf(i);
    c.ended = slot.ended;
    c.volume = slot.volume;
    c.paused = slot.paused;
    c.priority = slot.priority;
    c.hasCallback = slot.callback != nullptr;
    if (slot.group) {
      c.group = slot.group->name;
      c.audibleVolume = slot.volume * slot.group->volume;
      if (!slot.group->master) c.audibleVolume *= s->Master()->volume;
    }
    if (slot.sound) {
      const auto& sound = *slot.sound;
      c.sound = sound.object;
      c.loop = sound.Loops();
      c.is3D = sound.Is3D();
      c.stream = sound.IsStream();
      c.positionMs = static_cast<uint32_t>(slot.frame * 1000 / static_cast<uint64_t>(sound.rate));
      c.lengthMs = static_cast<uint32_t>(sound.frames * 1000 / static_cast<uint64_t>(sound.rate));
    }
    c.position = slot.position;
    c.minDistance = slot.minDistance;
    c.maxDistance = slot.maxDistance;
    out.push_back(c);
  }
  return out;
}

std::vector<FmodDspState> FmodDsps() {
  std::vector<FmodDspState> out;
  FMOD::detail::SystemState* s = Last();
  if (!s) return out;
  for (const auto* dsp : s->dsps) {
    FmodDspState d;
    d.type = dsp->type;
    d.params = dsp->params;
    d.active = dsp->active;
    if (dsp->group) d.group = dsp->group->name;
    out.push_back(d);
  }
  return out;
}

int LiveFmodSystems() { return static_cast<int>(FMOD::detail::LiveSystems().size()); }

void ResetFmod() {
  for (const char* call : {"System_Create", "init", "createChannelGroup", "createSound",
                           "createDSPByType"})
    FailFmodCall(call, FMOD_OK);
  SetFmodOpenUpdates(1);
  RecordFmodMix(false);
}

}  // namespace platform::testing
