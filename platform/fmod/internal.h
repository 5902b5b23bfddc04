// The sound layer's own state behind the handles of fmod.h; shared by the
// layer and its test controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/fmod/decoder.h"
#include "platform/fmod/dsp.h"
#include "platform/fmod/output.h"
#include "platform/fmod/fmod.h"

namespace FMOD::detail {

// Handles per channel slot: a stale handle is told from the live one until
// a slot has been reused this many times since the handle was given out.
constexpr uint32_t kHandleGenerations = 64;
constexpr int kMaxChannels = 4093;
constexpr int kListeners = 4;

struct GroupState;
struct DspState;

struct SoundState {
  Sound* object = nullptr;
  SystemState* system = nullptr;
  FMOD_MODE mode = 0;
  FMOD_OPENSTATE openState = FMOD_OPENSTATE_READY;
  FMOD_RESULT openError = FMOD_OK;
  int openUpdates = 0;  // updates left before a non-blocking open finishes
  FMOD_SOUND_TYPE suggested = FMOD_SOUND_TYPE_UNKNOWN;
  // Streams read the caller's block, which must outlive the sound; samples
  // opened without blocking keep a copy until they are decoded.
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<uint8_t> copy;
  std::unique_ptr<platform::fmod::Decoder> decoder;  // streams only
  FMOD_SOUND_TYPE type = FMOD_SOUND_TYPE_UNKNOWN;
  int channels = 0;
  int rate = 0;
  int bits = 0;
  uint64_t frames = 0;
  std::vector<int16_t> pcm;  // samples only
  int streamSlot = -1;       // the channel a stream plays on
  // Streams being mixed: decoded frames from windowStart on; the decoder
  // stands at windowStart + windowFrames.
  std::vector<int16_t> window;
  uint64_t windowStart = 0;
  size_t windowFrames = 0;

  bool IsStream() const { return (mode & FMOD_CREATESTREAM) != 0; }
  bool Loops() const { return (mode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI)) != 0; }
  bool Is3D() const { return (mode & FMOD_3D) != 0; }
};

struct GroupState {
  ChannelGroup* object = nullptr;
  std::string name;
  float volume = 1.0f;
  bool master = false;
  std::vector<DspState*> dsps;
  std::vector<float> mix;  // this group's channels, while its units filter them
  bool filtering = false;
};

struct DspState {
  DSP* object = nullptr;
  FMOD_DSP_TYPE type = FMOD_DSP_TYPE_UNKNOWN;
  std::vector<float> params;
  bool active = false;
  GroupState* group = nullptr;
  std::unique_ptr<platform::fmod::DspEffect> effect;
};

struct GeometryState {
  Geometry* object = nullptr;
  std::vector<uint8_t> data;
  bool active = true;
};

struct ChannelSlot {
  bool used = false;
  bool ended = false;  // stopped or at its end; reclaimed by the next update
  uint32_t generation = 0;
  SoundState* sound = nullptr;
  GroupState* group = nullptr;
  float volume = 1.0f;
  int priority = 128;
  bool paused = false;
  void* userData = nullptr;
  FMOD_CHANNEL_CALLBACK callback = nullptr;
  int callbackCommand = 0;
  FMOD_VECTOR position{};
  FMOD_VECTOR velocity{};
  float minDistance = 1.0f;
  float maxDistance = 10000.0f;
  uint64_t frame = 0;
  uint32_t remainder = 0;      // of frames times 1000 not yet counted
  DWORD mark = 0;              // clock time up to which frame is counted
  uint64_t pendingDecode = 0;  // frames a stream has played but not decoded
  uint64_t mixPos = 0;         // frame being mixed, 32.32 fixed point
};

struct SystemState {
  System* object = nullptr;
  bool initialised = false;
  FMOD_OUTPUTTYPE output = FMOD_OUTPUTTYPE_AUTODETECT;
  float dopplerScale = 1.0f;
  float distanceFactor = 1.0f;
  float rolloffScale = 1.0f;
  float maxWorldSize = 1000.0f;
  bool dspBufferSet = false;
  uint32_t dspBufferLength = 1024;
  int dspBufferCount = 4;
  int hardwareChannels[4] = {};
  int softwareChannels = 32;
  int maxChannels = 0;
  FMOD_INITFLAGS initFlags = 0;
  void* extraDriverData = nullptr;
  int outputObject = 0;  // its address is the output's native handle
  FMOD_VECTOR listener[kListeners][4] = {};  // position, velocity, forward, up
  std::vector<ChannelSlot> slots;
  std::unique_ptr<Channel[]> handles;
  std::vector<SoundState*> sounds;
  std::vector<GroupState*> groups;  // the master group first
  std::vector<DspState*> dsps;
  std::vector<GeometryState*> geometries;
  std::vector<int16_t> scratch;
  // The mix: made in update for the time since the last one.
  std::unique_ptr<platform::fmod::MixOutput> mixOutput;
  bool mixing = false;
  DWORD mixMark = 0;
  uint32_t mixRemainder = 0;
  std::vector<float> mixMaster;
  std::vector<int16_t> mixOut;
  std::vector<int16_t> sink;  // what a recording test reads

  SystemState();
  ~SystemState();

  // The live slot a handle names, or null.
  ChannelSlot* Lookup(const Channel* handle);
  Channel* HandleOf(uint32_t slot);
  void Advance(ChannelSlot& slot, DWORD now);
  void DecodePending(ChannelSlot& slot);
  FMOD_RESULT FinishOpen(SoundState& sound);
  void FreeSlot(uint32_t index);
  void ReleaseSound(Sound* sound);
  void ReleaseGroup(ChannelGroup* group);
  void DetachDsp(DspState& dsp);
  void ReleaseDsp(DSP* dsp);
  void ReleaseGeometry(Geometry* geometry);
  FMOD_RESULT CreateSound(const char* data, FMOD_MODE mode, const FMOD_CREATESOUNDEXINFO* exinfo,
                          Sound** sound);
  FMOD_RESULT PlaySound(Sound* sound, bool paused, Channel** channel);
  // A 2-D stream over a reader the caller made (platform/fmod/pcm_stream.h).
  FMOD_RESULT AdoptStream(std::unique_ptr<platform::fmod::Decoder> source, Sound** sound);
  FMOD_RESULT Update();
  // Mixes up to `now`; false when nothing takes the mix (then streams are
  // only decoded to keep their place).
  bool Mix(DWORD now);
  void MixBlock(size_t frames);
  void MixChannel(ChannelSlot& slot, float* out, size_t frames);
  GroupState* Master() { return groups.empty() ? nullptr : groups.front(); }
};

// Every system not yet released, oldest first.
std::vector<SystemState*>& LiveSystems();

// A test setting of the form "fmod_fail_<call>": the result the call gives
// instead of doing its work, or FMOD_OK.
FMOD_RESULT InjectedFailure(const char* call);
// Updates a non-blocking open takes (at least 1).
int OpenUpdates();
// Whether a test records the mix of every system (platform/fmod/testing.h).
bool RecordingMix();
// Frames mixed per block: what every mix buffer holds.
constexpr size_t kMixBlock = 512;
// Frames a stream keeps decoded ahead of its mix.
constexpr size_t kStreamWindow = 4096;

}  // namespace FMOD::detail
