#include "platform/fmod/fmod.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/fmod/internal.h"
#include "platform/fmod/pcm_stream.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

using FMOD::detail::ChannelSlot;
using FMOD::detail::DspState;
using FMOD::detail::GeometryState;
using FMOD::detail::GroupState;
using FMOD::detail::SoundState;
using FMOD::detail::SystemState;

namespace {

// Parameters of the DSP units the layer offers: count, range, default.
struct DspParam {
  float min;
  float max;
  float initial;
};
struct DspKind {
  FMOD_DSP_TYPE type;
  std::vector<DspParam> params;
};

const std::vector<DspKind>& DspKinds() {
  static const std::vector<DspKind> kinds = {
      {FMOD_DSP_TYPE_LOWPASS, {{10, 22000, 5000}, {1, 10, 1}}},         // cutoff, resonance
      {FMOD_DSP_TYPE_HIGHPASS, {{1, 22000, 5000}, {1, 10, 1}}},         // cutoff, resonance
      {FMOD_DSP_TYPE_ECHO, {{10, 5000, 500}, {0, 1, 0.5f}, {0, 16, 0}, {0, 1, 1}, {0, 1, 1}}},
      {FMOD_DSP_TYPE_FLANGE, {{0, 1, 0.45f}, {0, 1, 0.55f}, {0.01f, 1, 1}, {0, 20, 0.1f}}},
      {FMOD_DSP_TYPE_CHORUS,
       {{0, 1, 0.5f}, {0, 1, 0.5f}, {0, 1, 0.5f}, {0, 1, 0.5f}, {0.1f, 100, 40}, {0, 20, 0.8f},
        {0, 1, 0.03f}}},
      {FMOD_DSP_TYPE_REVERB,
       {{0, 1, 0.5f}, {0, 1, 0.5f}, {0, 1, 0.33f}, {0, 1, 0.66f}, {0, 1, 1}, {0, 1, 0}}},
  };
  return kinds;
}

const DspKind* FindDspKind(FMOD_DSP_TYPE type) {
  for (const DspKind& kind : DspKinds())
    if (kind.type == type) return &kind;
  return nullptr;
}

constexpr size_t kDecodeChunkFrames = 4096;
// Far more than any real encoding packs into a byte (Vorbis at its lowest
// quality gives about 8); a sample that packs more grows as it decodes.
constexpr uint64_t kLikelyFramesPerByte = 64;
constexpr uint64_t kGrowFrames = 65536;

}  // namespace

namespace FMOD::detail {

std::vector<SystemState*>& LiveSystems() {
  // Never destroyed: a system released by a destructor at exit still finds it.
  static auto* systems = new std::vector<SystemState*>;
  return *systems;
}

SystemState::SystemState() {
  auto* master = new GroupState;
  master->object = new ChannelGroup;
  master->object->state_ = master;
  master->name = "master";
  master->master = true;
  master->mix.assign(kMixBlock * 2, 0.0f);
  groups.push_back(master);
  listener[0][2] = {0, 0, 1};
  listener[0][3] = {0, 1, 0};
  LiveSystems().push_back(this);
}

SystemState::~SystemState() {
  auto& live = LiveSystems();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  for (SoundState* sound : sounds) {
    delete sound->object;
    delete sound;
  }
  for (DspState* dsp : dsps) {
    delete dsp->object;
    delete dsp;
  }
  for (GroupState* group : groups) {
    delete group->object;
    delete group;
  }
  for (GeometryState* geometry : geometries) {
    delete geometry->object;
    delete geometry;
  }
}

Channel* SystemState::HandleOf(uint32_t slot) {
  return &handles[slot * kHandleGenerations + slots[slot].generation % kHandleGenerations];
}

ChannelSlot* SystemState::Lookup(const Channel* handle) {
  if (!handle || handle->system_ != this || handle->slot_ >= slots.size()) return nullptr;
  ChannelSlot& slot = slots[handle->slot_];
  if (!slot.used || slot.generation != handle->generation_) return nullptr;
  return &slot;
}

void SystemState::Advance(ChannelSlot& slot, DWORD now) {
  DWORD elapsed = now - slot.mark;  // wraps as the clock does
  slot.mark = now;
  if (slot.ended || slot.paused || elapsed == 0) return;
  const SoundState& sound = *slot.sound;
  uint64_t scaled = uint64_t{elapsed} * static_cast<uint64_t>(sound.rate) + slot.remainder;
  uint64_t added = scaled / 1000;
  slot.remainder = static_cast<uint32_t>(scaled % 1000);
  if (sound.IsStream()) slot.pendingDecode += added;
  if (sound.Loops() && sound.frames > 0) {
    slot.frame = (slot.frame + added) % sound.frames;
  } else {
    slot.frame = std::min(slot.frame + added, sound.frames);
  }
}

// Decodes what a stream has played since the last update: the work a
// stream costs whether or not anything is heard.
void SystemState::DecodePending(ChannelSlot& slot) {
  SoundState& sound = *slot.sound;
  if (!sound.decoder) return;
  size_t chunk = kDecodeChunkFrames;
  scratch.resize(chunk * static_cast<size_t>(sound.channels));
  bool restarted = false;
  // The mix's window is dropped; it starts again where the decoder stands.
  sound.windowStart += sound.windowFrames;
  sound.windowFrames = 0;
  while (slot.pendingDecode > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(slot.pendingDecode, chunk));
    int64_t got = sound.decoder->Read(scratch.data(), want);
    if (got > 0) {
      slot.pendingDecode -= static_cast<uint64_t>(got);
      sound.windowStart += static_cast<uint64_t>(got);
      restarted = false;
      continue;
    }
    // The end of the data, or data that cannot be decoded further.
    if (got == 0 && sound.Loops() && !restarted && sound.decoder->Seek(0)) {
      sound.windowStart = 0;
      restarted = true;
      continue;
    }
    slot.pendingDecode = 0;
    if (!sound.Loops() || got < 0 || restarted) {
      slot.frame = sound.frames;
      slot.ended = true;
    }
  }
}

FMOD_RESULT SystemState::FinishOpen(SoundState& sound) {
  const uint8_t* data = sound.copy.empty() ? sound.data : sound.copy.data();
  size_t size = sound.copy.empty() ? sound.size : sound.copy.size();
  std::unique_ptr<platform::fmod::Decoder> decoder;
  FMOD_RESULT result = platform::fmod::OpenDecoder(data, size, sound.suggested, &decoder);
  if (result != FMOD_OK) return result;
  sound.type = decoder->type;
  sound.channels = decoder->channels;
  sound.rate = decoder->rate;
  sound.bits = decoder->bits;
  sound.frames = decoder->frames;
  if (sound.IsStream()) {
    sound.decoder = std::move(decoder);
    sound.window.assign(kStreamWindow * static_cast<size_t>(sound.channels), 0);
    return FMOD_OK;
  }
  // A sample is decoded whole; its length is what was really decoded. The
  // header's frame count is only a claim: the buffer is first sized by it no
  // further than the data could fill at a generous ratio, and grows only
  // while more really decodes.
  const size_t channels = static_cast<size_t>(sound.channels);
  const uint64_t claimed = sound.frames;
  uint64_t room = std::min<uint64_t>(claimed, static_cast<uint64_t>(size) * kLikelyFramesPerByte);
  std::vector<int16_t> pcm(static_cast<size_t>(room) * channels);
  uint64_t done = 0;
  while (done < claimed) {
    if (done == room) {
      room = std::min<uint64_t>(claimed, std::max<uint64_t>(room * 2, room + kGrowFrames));
      pcm.resize(static_cast<size_t>(room) * channels);
    }
    int64_t got = decoder->Read(pcm.data() + done * channels, static_cast<size_t>(room - done));
    if (got < 0) return FMOD_ERR_FILE_BAD;
    if (got == 0) break;
    done += static_cast<uint64_t>(got);
  }
  pcm.resize(static_cast<size_t>(done) * static_cast<size_t>(sound.channels));
  sound.frames = done;
  sound.pcm = std::move(pcm);
  sound.copy.clear();
  sound.copy.shrink_to_fit();
  return FMOD_OK;
}

void SystemState::FreeSlot(uint32_t index) {
  ChannelSlot& slot = slots[index];
  if (slot.sound && slot.sound->streamSlot == static_cast<int>(index)) slot.sound->streamSlot = -1;
  uint32_t generation = slot.generation + 1;
  slot = ChannelSlot{};
  slot.generation = generation;
  // The handle of the next use of this slot answers for it from now on;
  // older handles of the same object are stale by their generation.
  Channel* handle = HandleOf(index);
  handle->system_ = this;
  handle->slot_ = index;
  handle->generation_ = generation;
}

void SystemState::ReleaseSound(Sound* object) {
  SoundState* sound = object->state_;
  // Its channels end at once, without their end callbacks: whoever
  // released the sound has let go of them.
  for (uint32_t i = 0; i < slots.size(); ++i)
    if (slots[i].used && slots[i].sound == sound) FreeSlot(i);
  sounds.erase(std::remove(sounds.begin(), sounds.end(), sound), sounds.end());
  delete object;
  delete sound;
}

void SystemState::ReleaseGroup(ChannelGroup* object) {
  GroupState* group = object->state_;
  for (ChannelSlot& slot : slots)
    if (slot.used && slot.group == group) slot.group = Master();
  for (DspState* dsp : group->dsps) dsp->group = nullptr;
  groups.erase(std::remove(groups.begin(), groups.end(), group), groups.end());
  delete object;
  delete group;
}

void SystemState::DetachDsp(DspState& dsp) {
  if (!dsp.group) return;
  auto& list = dsp.group->dsps;
  list.erase(std::remove(list.begin(), list.end(), &dsp), list.end());
  dsp.group = nullptr;
}

void SystemState::ReleaseDsp(DSP* object) {
  DspState* dsp = object->state_;
  DetachDsp(*dsp);
  dsps.erase(std::remove(dsps.begin(), dsps.end(), dsp), dsps.end());
  delete object;
  delete dsp;
}

void SystemState::ReleaseGeometry(Geometry* object) {
  GeometryState* geometry = object->state_;
  geometries.erase(std::remove(geometries.begin(), geometries.end(), geometry), geometries.end());
  delete object;
  delete geometry;
}

FMOD_RESULT SystemState::CreateSound(const char* data, FMOD_MODE mode,
                                     const FMOD_CREATESOUNDEXINFO* exinfo, Sound** out) {
  if (!out) return FMOD_ERR_INVALID_PARAM;
  *out = nullptr;
  if (!initialised) return FMOD_ERR_UNINITIALIZED;
  if (FMOD_RESULT injected = InjectedFailure("createSound"); injected != FMOD_OK) return injected;
  // Only sounds from memory: the engine hands every file over as a block.
  if (!data || !(mode & FMOD_OPENMEMORY)) return FMOD_ERR_UNSUPPORTED;
  if (!exinfo || exinfo->cbsize < static_cast<int32_t>(offsetof(FMOD_CREATESOUNDEXINFO, length) +
                                                       sizeof(exinfo->length)))
    return FMOD_ERR_INVALID_PARAM;
  if ((mode & FMOD_2D) && (mode & FMOD_3D)) return FMOD_ERR_INVALID_PARAM;
  auto sound = std::make_unique<SoundState>();
  sound->system = this;
  sound->mode = (mode & FMOD_3D) ? mode : (mode | FMOD_2D);
  if (!(sound->mode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI))) sound->mode |= FMOD_LOOP_OFF;
  if (exinfo->cbsize >= static_cast<int32_t>(sizeof(FMOD_CREATESOUNDEXINFO)))
    sound->suggested = exinfo->suggestedsoundtype;
  sound->data = reinterpret_cast<const uint8_t*>(data);
  sound->size = exinfo->length;
  if (mode & FMOD_NONBLOCKING) {
    if (!sound->IsStream()) sound->copy.assign(sound->data, sound->data + sound->size);
    sound->openState = FMOD_OPENSTATE_LOADING;
    sound->openUpdates = OpenUpdates();
  } else if (FMOD_RESULT result = FinishOpen(*sound); result != FMOD_OK) {
    return result;
  }
  auto* object = new Sound;
  object->state_ = sound.get();
  sound->object = object;
  platform::testing::AppendReport("fmod.report", std::string(sound->IsStream() ? "stream" : "sound") +
                                                     " length=" + std::to_string(sound->size));
  sounds.push_back(sound.release());
  *out = object;
  return FMOD_OK;
}

FMOD_RESULT SystemState::PlaySound(Sound* object, bool paused, Channel** out) {
  if (out) *out = nullptr;
  if (!initialised) return FMOD_ERR_UNINITIALIZED;
  if (!object) return FMOD_ERR_INVALID_PARAM;
  SoundState& sound = *object->state_;
  if (sound.openState != FMOD_OPENSTATE_READY) return FMOD_ERR_NOTREADY;
  // A stream has one read position: playing it again takes it over.
  if (sound.IsStream() && sound.streamSlot >= 0) {
    ChannelSlot& old = slots[static_cast<size_t>(sound.streamSlot)];
    old.ended = true;
    old.sound = nullptr;
    sound.streamSlot = -1;
  }
  uint32_t index = 0;
  while (index < slots.size() && slots[index].used) ++index;
  if (index == slots.size()) {
    // The real library's mixer frees a channel whose sound has played out
    // without waiting for an update; a caller that never updates (the
    // launcher) would otherwise run out of channels. Channels with an end
    // callback wait for the update that calls it.
    DWORD now = timeGetTime();
    for (index = 0; index < slots.size(); ++index) {
      ChannelSlot& s = slots[index];
      if (s.callback) continue;
      if (!s.ended) Advance(s, now);
      if (s.ended || (!s.sound->Loops() && s.frame >= s.sound->frames)) {
        FreeSlot(index);
        break;
      }
    }
    if (index == slots.size()) return FMOD_ERR_CHANNEL_ALLOC;
  }
  if (sound.IsStream()) {
    if (!sound.decoder->Seek(0)) return FMOD_ERR_FILE_BAD;
    sound.streamSlot = static_cast<int>(index);
    sound.windowStart = 0;
    sound.windowFrames = 0;
  }
  ChannelSlot& slot = slots[index];
  slot.used = true;
  slot.sound = &sound;
  slot.group = Master();
  slot.paused = paused;
  slot.mark = timeGetTime();
  slot.mixPos = 0;
  if (out) *out = HandleOf(index);
  return FMOD_OK;
}

FMOD_RESULT SystemState::AdoptStream(std::unique_ptr<platform::fmod::Decoder> source,
                                     Sound** out) {
  auto sound = std::make_unique<SoundState>();
  sound->system = this;
  sound->mode = FMOD_CREATESTREAM | FMOD_2D | FMOD_LOOP_OFF;
  sound->type = source->type;
  sound->channels = source->channels;
  sound->rate = source->rate;
  sound->bits = 16;
  sound->frames = source->frames;
  sound->decoder = std::move(source);
  sound->window.assign(kStreamWindow * static_cast<size_t>(sound->channels), 0);
  auto* object = new Sound;
  object->state_ = sound.get();
  sound->object = object;
  sounds.push_back(sound.release());
  *out = object;
  return FMOD_OK;
}

FMOD_RESULT SystemState::Update() {
  if (!initialised) return FMOD_ERR_UNINITIALIZED;
  for (SoundState* sound : sounds) {
    if (sound->openState != FMOD_OPENSTATE_LOADING || --sound->openUpdates > 0) continue;
    sound->openError = FinishOpen(*sound);
    sound->openState = sound->openError == FMOD_OK ? FMOD_OPENSTATE_READY : FMOD_OPENSTATE_ERROR;
    if (sound->openError != FMOD_OK) sound->copy.clear();
  }
  DWORD now = timeGetTime();
  // The mix decodes streams itself; without one they are decoded only to
  // keep their place.
  bool mixed = Mix(now);
  for (ChannelSlot& slot : slots) {
    if (!slot.used || slot.ended) continue;
    Advance(slot, now);
    if (mixed) slot.pendingDecode = 0;
    else if (slot.sound->IsStream()) DecodePending(slot);
    if (!slot.sound->Loops() && slot.frame >= slot.sound->frames) slot.ended = true;
  }
  // End callbacks run here and only here; a callback may play, stop or
  // release, so each slot is looked at afresh.
  for (uint32_t i = 0; i < slots.size(); ++i) {
    if (!slots[i].used || !slots[i].ended) continue;
    uint32_t generation = slots[i].generation;
    if (FMOD_CHANNEL_CALLBACK callback = slots[i].callback) {
      slots[i].callback = nullptr;
      callback(HandleOf(i), FMOD_CHANNEL_CALLBACKTYPE_END, slots[i].callbackCommand, 0, nullptr);
    }
    if (slots[i].used && slots[i].ended && slots[i].generation == generation) FreeSlot(i);
  }
  return FMOD_OK;
}

FMOD_RESULT InjectedFailure(const char* call) {
  std::optional<std::string> value =
      platform::testing::GetSetting(std::string("fmod_fail_") + call);
  if (!value || value->empty()) return FMOD_OK;
  return static_cast<FMOD_RESULT>(std::atoi(value->c_str()));
}

int OpenUpdates() {
  std::optional<std::string> value = platform::testing::GetSetting("fmod_open_updates");
  int n = value ? std::atoi(value->c_str()) : 1;
  return n < 1 ? 1 : n;
}

}  // namespace FMOD::detail

// ---- Creation and error texts ------------------------------------------------

FMOD_RESULT FMOD_System_Create(FMOD::System** system) {
  if (!system) return FMOD_ERR_INVALID_PARAM;
  *system = nullptr;
  if (FMOD_RESULT injected = FMOD::detail::InjectedFailure("System_Create"); injected != FMOD_OK)
    return injected;
  *system = new FMOD::System;
  return FMOD_OK;
}

// ---- The C calls -----------------------------------------------------------------

FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels, FMOD_INITFLAGS flags,
                             void* extradriverdata) {
  if (!system) return FMOD_ERR_INVALID_PARAM;
  return static_cast<FMOD::System*>(system)->init(maxchannels, flags, extradriverdata);
}

FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name_or_data, FMOD_MODE mode,
                                    FMOD_CREATESOUNDEXINFO* exinfo, FMOD_SOUND** sound) {
  if (!system || !sound) return FMOD_ERR_INVALID_PARAM;
  FMOD::Sound* made = nullptr;
  FMOD_RESULT result = static_cast<FMOD::System*>(system)->createSound(name_or_data, mode, exinfo, &made);
  *sound = made;
  return result;
}

FMOD_RESULT FMOD_System_CreateStream(FMOD_SYSTEM* system, const char* name_or_data, FMOD_MODE mode,
                                     FMOD_CREATESOUNDEXINFO* exinfo, FMOD_SOUND** sound) {
  return FMOD_System_CreateSound(system, name_or_data, mode | FMOD_CREATESTREAM, exinfo, sound);
}

FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system, FMOD_CHANNELINDEX channelid, FMOD_SOUND* sound,
                                  FMOD_BOOL paused, FMOD_CHANNEL** channel) {
  if (channel) *channel = nullptr;
  if (!system) return FMOD_ERR_INVALID_PARAM;
  FMOD::Channel* played = nullptr;
  FMOD_RESULT result = static_cast<FMOD::System*>(system)->playSound(
      channelid, static_cast<FMOD::Sound*>(sound), paused != 0, &played);
  if (channel) *channel = played;
  return result;
}

FMOD_RESULT FMOD_Channel_SetPriority(FMOD_CHANNEL* channel, int priority) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  return static_cast<FMOD::Channel*>(channel)->setPriority(priority);
}

const char* FMOD_ErrorString(FMOD_RESULT result) {
  switch (result) {
    case FMOD_OK: return "No errors.";
    case FMOD_ERR_BADCOMMAND: return "The call cannot be made on this kind of object.";
    case FMOD_ERR_CHANNEL_ALLOC: return "No channel is free to play the sound on.";
    case FMOD_ERR_CHANNEL_STOLEN: return "The channel was taken over by another sound.";
    case FMOD_ERR_FILE_BAD: return "The sound data is damaged.";
    case FMOD_ERR_FILE_EOF: return "The sound data ended before it was expected to.";
    case FMOD_ERR_FORMAT: return "The sound data is of a format that cannot be read.";
    case FMOD_ERR_INITIALIZED: return "The call is not allowed once the system is initialized.";
    case FMOD_ERR_INTERNAL: return "An internal error occurred in the sound system.";
    case FMOD_ERR_INVALID_HANDLE: return "The handle is not valid (the channel ended or was reused).";
    case FMOD_ERR_INVALID_PARAM: return "A parameter passed to the call is not valid.";
    case FMOD_ERR_INVALID_POSITION: return "The position lies outside the sound.";
    case FMOD_ERR_MEMORY: return "Not enough memory.";
    case FMOD_ERR_NEEDS3D: return "The call needs a sound created in 3D mode.";
    case FMOD_ERR_NOTREADY: return "The sound is still being opened.";
    case FMOD_ERR_OUTPUT_INIT: return "The sound output could not be started.";
    case FMOD_ERR_UNINITIALIZED: return "The system has not been initialized.";
    case FMOD_ERR_UNSUPPORTED: return "The call is not supported.";
  }
  return "Unknown error.";
}

// ---- System ------------------------------------------------------------------

namespace FMOD {

System::System() : state_(new detail::SystemState) { state_->object = this; }
System::~System() { delete state_; }

FMOD_RESULT System::release() {
  delete this;
  return FMOD_OK;
}

FMOD_RESULT System::setOutput(FMOD_OUTPUTTYPE output) {
  if (state_->initialised) return FMOD_ERR_INITIALIZED;
  state_->output = output;
  return FMOD_OK;
}

FMOD_RESULT System::set3DSettings(float dopplerscale, float distancefactor, float rolloffscale) {
  if (dopplerscale < 0 || distancefactor <= 0 || rolloffscale < 0) return FMOD_ERR_INVALID_PARAM;
  state_->dopplerScale = dopplerscale;
  state_->distanceFactor = distancefactor;
  state_->rolloffScale = rolloffscale;
  return FMOD_OK;
}

FMOD_RESULT System::setGeometrySettings(float maxworldsize) {
  if (!(maxworldsize > 0)) return FMOD_ERR_INVALID_PARAM;
  state_->maxWorldSize = maxworldsize;
  return FMOD_OK;
}

FMOD_RESULT System::setDSPBufferSize(uint32_t bufferlength, int numbuffers) {
  if (state_->initialised) return FMOD_ERR_INITIALIZED;
  if (bufferlength == 0 || numbuffers < 2) return FMOD_ERR_INVALID_PARAM;
  state_->dspBufferSet = true;
  state_->dspBufferLength = bufferlength;
  state_->dspBufferCount = numbuffers;
  return FMOD_OK;
}

FMOD_RESULT System::setHardwareChannels(int min2d, int max2d, int min3d, int max3d) {
  if (state_->initialised) return FMOD_ERR_INITIALIZED;
  if (min2d < 0 || max2d < min2d || min3d < 0 || max3d < min3d) return FMOD_ERR_INVALID_PARAM;
  state_->hardwareChannels[0] = min2d;
  state_->hardwareChannels[1] = max2d;
  state_->hardwareChannels[2] = min3d;
  state_->hardwareChannels[3] = max3d;
  return FMOD_OK;
}

FMOD_RESULT System::setSoftwareChannels(int numsoftwarechannels) {
  if (state_->initialised) return FMOD_ERR_INITIALIZED;
  if (numsoftwarechannels < 0) return FMOD_ERR_INVALID_PARAM;
  state_->softwareChannels = numsoftwarechannels;
  return FMOD_OK;
}

FMOD_RESULT System::init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata) {
  if (state_->initialised) return FMOD_ERR_INITIALIZED;
  if (maxchannels < 1 || maxchannels > detail::kMaxChannels) return FMOD_ERR_INVALID_PARAM;
  if (FMOD_RESULT injected = detail::InjectedFailure("init"); injected != FMOD_OK) return injected;
  state_->maxChannels = maxchannels;
  state_->initFlags = flags;
  state_->extraDriverData = extradriverdata;
  size_t count = static_cast<size_t>(maxchannels);
  state_->slots.assign(count, detail::ChannelSlot{});
  state_->handles = std::make_unique<Channel[]>(count * detail::kHandleGenerations);
  for (uint32_t i = 0; i < count; ++i) {
    Channel* handle = state_->HandleOf(i);
    handle->system_ = state_;
    handle->slot_ = i;
    handle->generation_ = 0;
  }
  state_->mixMaster.assign(detail::kMixBlock * 2, 0.0f);
  state_->mixOut.assign(detail::kMixBlock * 2, 0);
  state_->mixMark = timeGetTime();
  // A test's clock drives the mix; a real device would not follow it.
  bool device = state_->output != FMOD_OUTPUTTYPE_NOSOUND && !platform::testing::ClockTaken();
  state_->mixOutput = std::make_unique<platform::fmod::MixOutput>(device);
  state_->initialised = true;
  platform::testing::AppendReport("fmod.report", "init channels=" + std::to_string(maxchannels) +
                                                     " dspbuffer=" + std::to_string(state_->dspBufferLength) + "x" +
                                                     std::to_string(state_->dspBufferCount));
  return FMOD_OK;
}

FMOD_RESULT System::update() { return state_->Update(); }

FMOD_RESULT System::getOutputHandle(void** handle) {
  if (!handle) return FMOD_ERR_INVALID_PARAM;
  if (!state_->initialised) {
    *handle = nullptr;
    return FMOD_ERR_UNINITIALIZED;
  }
  *handle = &state_->outputObject;
  return FMOD_OK;
}

FMOD_RESULT System::createSound(const char* name_or_data, FMOD_MODE mode,
                                FMOD_CREATESOUNDEXINFO* exinfo, Sound** sound) {
  return state_->CreateSound(name_or_data, mode, exinfo, sound);
}

FMOD_RESULT System::createChannelGroup(const char* name, ChannelGroup** channelgroup) {
  if (!channelgroup) return FMOD_ERR_INVALID_PARAM;
  *channelgroup = nullptr;
  if (!state_->initialised) return FMOD_ERR_UNINITIALIZED;
  if (FMOD_RESULT injected = detail::InjectedFailure("createChannelGroup"); injected != FMOD_OK)
    return injected;
  auto* group = new detail::GroupState;
  group->name = name ? name : "";
  group->object = new ChannelGroup;
  group->object->state_ = group;
  group->mix.assign(detail::kMixBlock * 2, 0.0f);
  state_->groups.push_back(group);
  *channelgroup = group->object;
  return FMOD_OK;
}

FMOD_RESULT System::createDSPByType(FMOD_DSP_TYPE type, DSP** dsp) {
  if (!dsp) return FMOD_ERR_INVALID_PARAM;
  *dsp = nullptr;
  if (!state_->initialised) return FMOD_ERR_UNINITIALIZED;
  const DspKind* kind = FindDspKind(type);
  if (!kind) return FMOD_ERR_INVALID_PARAM;
  if (FMOD_RESULT injected = detail::InjectedFailure("createDSPByType"); injected != FMOD_OK)
    return injected;
  auto* state = new detail::DspState;
  state->type = type;
  for (const DspParam& param : kind->params) state->params.push_back(param.initial);
  state->effect = platform::fmod::MakeDspEffect(type);
  state->object = new DSP;
  state->object->state_ = state;
  state_->dsps.push_back(state);
  *dsp = state->object;
  return FMOD_OK;
}

FMOD_RESULT System::getMasterChannelGroup(ChannelGroup** channelgroup) {
  if (!channelgroup) return FMOD_ERR_INVALID_PARAM;
  *channelgroup = state_->Master()->object;
  return FMOD_OK;
}

FMOD_RESULT System::playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused,
                              Channel** channel) {
  if (channelid != FMOD_CHANNEL_FREE) {
    if (channel) *channel = nullptr;
    return FMOD_ERR_UNSUPPORTED;
  }
  return state_->PlaySound(sound, paused, channel);
}

FMOD_RESULT System::set3DListenerAttributes(int listener, const FMOD_VECTOR* pos,
                                            const FMOD_VECTOR* vel, const FMOD_VECTOR* forward,
                                            const FMOD_VECTOR* up) {
  if (listener < 0 || listener >= detail::kListeners) return FMOD_ERR_INVALID_PARAM;
  FMOD_VECTOR* attributes = state_->listener[listener];
  const FMOD_VECTOR* given[4] = {pos, vel, forward, up};
  for (int i = 0; i < 4; ++i)
    if (given[i]) attributes[i] = *given[i];
  return FMOD_OK;
}

FMOD_RESULT System::get3DListenerAttributes(int listener, FMOD_VECTOR* pos, FMOD_VECTOR* vel,
                                            FMOD_VECTOR* forward, FMOD_VECTOR* up) {
  if (listener < 0 || listener >= detail::kListeners) return FMOD_ERR_INVALID_PARAM;
  const FMOD_VECTOR* attributes = state_->listener[listener];
  FMOD_VECTOR* wanted[4] = {pos, vel, forward, up};
  for (int i = 0; i < 4; ++i)
    if (wanted[i]) *wanted[i] = attributes[i];
  return FMOD_OK;
}

FMOD_RESULT System::loadGeometry(const void* data, int datasize, Geometry** geometry) {
  if (!geometry) return FMOD_ERR_INVALID_PARAM;
  *geometry = nullptr;
  if (datasize < 0 || (datasize > 0 && !data)) return FMOD_ERR_INVALID_PARAM;
  // The block is kept as given; occlusion is not computed without output.
  auto* state = new detail::GeometryState;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (datasize > 0) state->data.assign(bytes, bytes + datasize);
  state->object = new Geometry;
  state->object->state_ = state;
  state_->geometries.push_back(state);
  *geometry = state->object;
  return FMOD_OK;
}

// ---- Sound -------------------------------------------------------------------

FMOD_RESULT Sound::release() {
  state_->system->ReleaseSound(this);
  return FMOD_OK;
}

FMOD_RESULT Sound::getOpenState(FMOD_OPENSTATE* openstate, uint32_t* percentbuffered,
                                bool* starving) {
  if (openstate) *openstate = state_->openState;
  if (percentbuffered) *percentbuffered = state_->openState == FMOD_OPENSTATE_READY ? 100 : 0;
  if (starving) *starving = false;
  return state_->openState == FMOD_OPENSTATE_ERROR ? state_->openError : FMOD_OK;
}

FMOD_RESULT Sound::getMode(FMOD_MODE* mode) {
  if (!mode) return FMOD_ERR_INVALID_PARAM;
  *mode = state_->mode;
  return FMOD_OK;
}

FMOD_RESULT Sound::getLength(uint32_t* length, FMOD_TIMEUNIT lengthtype) {
  if (!length) return FMOD_ERR_INVALID_PARAM;
  *length = 0;
  if (state_->openState != FMOD_OPENSTATE_READY) return FMOD_ERR_NOTREADY;
  uint64_t frames = state_->frames;
  uint64_t value;
  switch (lengthtype) {
    case FMOD_TIMEUNIT_MS: value = frames * 1000 / static_cast<uint64_t>(state_->rate); break;
    case FMOD_TIMEUNIT_PCM: value = frames; break;
    case FMOD_TIMEUNIT_PCMBYTES: value = frames * static_cast<uint64_t>(state_->channels) * 2; break;
    default: return FMOD_ERR_INVALID_PARAM;
  }
  *length = static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
  return FMOD_OK;
}

// ---- Channel -----------------------------------------------------------------

#define CHANNEL_SLOT(slot)                                              \
  detail::ChannelSlot* slot = system_ ? system_->Lookup(this) : nullptr; \
  if (!slot) return FMOD_ERR_INVALID_HANDLE

FMOD_RESULT Channel::setPriority(int priority) {
  CHANNEL_SLOT(slot);
  if (priority < 0 || priority > 256) return FMOD_ERR_INVALID_PARAM;
  slot->priority = priority;
  return FMOD_OK;
}

FMOD_RESULT Channel::getPriority(int* priority) {
  if (priority) *priority = 0;
  CHANNEL_SLOT(slot);
  if (!priority) return FMOD_ERR_INVALID_PARAM;
  *priority = slot->priority;
  return FMOD_OK;
}

FMOD_RESULT Channel::stop() {
  CHANNEL_SLOT(slot);
  slot->ended = true;
  return FMOD_OK;
}

FMOD_RESULT Channel::setPaused(bool paused) {
  CHANNEL_SLOT(slot);
  if (slot->ended) return FMOD_ERR_INVALID_HANDLE;
  system_->Advance(*slot, timeGetTime());
  slot->paused = paused;
  return FMOD_OK;
}

FMOD_RESULT Channel::getPaused(bool* paused) {
  if (paused) *paused = false;
  CHANNEL_SLOT(slot);
  if (!paused) return FMOD_ERR_INVALID_PARAM;
  *paused = slot->paused;
  return FMOD_OK;
}

FMOD_RESULT Channel::setVolume(float volume) {
  CHANNEL_SLOT(slot);
  if (!(volume == volume)) return FMOD_ERR_INVALID_PARAM;
  slot->volume = std::clamp(volume, 0.0f, 1.0f);
  return FMOD_OK;
}

FMOD_RESULT Channel::getVolume(float* volume) {
  if (volume) *volume = 0.0f;
  CHANNEL_SLOT(slot);
  if (!volume) return FMOD_ERR_INVALID_PARAM;
  *volume = slot->volume;
  return FMOD_OK;
}

FMOD_RESULT Channel::isPlaying(bool* isplaying) {
  if (isplaying) *isplaying = false;
  CHANNEL_SLOT(slot);
  if (!isplaying) return FMOD_ERR_INVALID_PARAM;
  *isplaying = !slot->ended;
  return FMOD_OK;
}

FMOD_RESULT Channel::setChannelGroup(ChannelGroup* channelgroup) {
  CHANNEL_SLOT(slot);
  slot->group = channelgroup ? channelgroup->state_ : system_->Master();
  return FMOD_OK;
}

FMOD_RESULT Channel::setCallback(FMOD_CHANNEL_CALLBACKTYPE type, FMOD_CHANNEL_CALLBACK callback,
                                 int command) {
  CHANNEL_SLOT(slot);
  if (type != FMOD_CHANNEL_CALLBACKTYPE_END) return FMOD_ERR_UNSUPPORTED;
  slot->callback = callback;
  slot->callbackCommand = command;
  return FMOD_OK;
}

FMOD_RESULT Channel::setUserData(void* userdata) {
  CHANNEL_SLOT(slot);
  slot->userData = userdata;
  return FMOD_OK;
}

FMOD_RESULT Channel::getUserData(void** userdata) {
  if (userdata) *userdata = nullptr;
  CHANNEL_SLOT(slot);
  if (!userdata) return FMOD_ERR_INVALID_PARAM;
  *userdata = slot->userData;
  return FMOD_OK;
}

FMOD_RESULT Channel::set3DAttributes(const FMOD_VECTOR* pos, const FMOD_VECTOR* vel) {
  CHANNEL_SLOT(slot);
  if (!slot->sound || !slot->sound->Is3D()) return FMOD_ERR_NEEDS3D;
  if (pos) slot->position = *pos;
  if (vel) slot->velocity = *vel;
  return FMOD_OK;
}

FMOD_RESULT Channel::get3DAttributes(FMOD_VECTOR* pos, FMOD_VECTOR* vel) {
  CHANNEL_SLOT(slot);
  if (!slot->sound || !slot->sound->Is3D()) return FMOD_ERR_NEEDS3D;
  if (pos) *pos = slot->position;
  if (vel) *vel = slot->velocity;
  return FMOD_OK;
}

FMOD_RESULT Channel::set3DMinMaxDistance(float mindistance, float maxdistance) {
  CHANNEL_SLOT(slot);
  if (!slot->sound || !slot->sound->Is3D()) return FMOD_ERR_NEEDS3D;
  if (!(mindistance > 0) || !(maxdistance >= mindistance)) return FMOD_ERR_INVALID_PARAM;
  slot->minDistance = mindistance;
  slot->maxDistance = maxdistance;
  return FMOD_OK;
}

FMOD_RESULT Channel::get3DMinMaxDistance(float* mindistance, float* maxdistance) {
  CHANNEL_SLOT(slot);
  if (!slot->sound || !slot->sound->Is3D()) return FMOD_ERR_NEEDS3D;
  if (mindistance) *mindistance = slot->minDistance;
  if (maxdistance) *maxdistance = slot->maxDistance;
  return FMOD_OK;
}

FMOD_RESULT Channel::setPosition(uint32_t position, FMOD_TIMEUNIT postype) {
  CHANNEL_SLOT(slot);
  if (!slot->sound) return FMOD_ERR_INVALID_HANDLE;
  detail::SoundState& sound = *slot->sound;
  uint64_t frame;
  switch (postype) {
    case FMOD_TIMEUNIT_MS: frame = uint64_t{position} * static_cast<uint64_t>(sound.rate) / 1000; break;
    case FMOD_TIMEUNIT_PCM: frame = position; break;
    case FMOD_TIMEUNIT_PCMBYTES: frame = position / (static_cast<uint64_t>(sound.channels) * 2); break;
    default: return FMOD_ERR_INVALID_PARAM;
  }
  if (frame > sound.frames) return FMOD_ERR_INVALID_POSITION;
  if (sound.decoder && !sound.decoder->Seek(frame)) return FMOD_ERR_INVALID_POSITION;
  slot->frame = frame;
  slot->mixPos = frame << 32;
  if (sound.decoder) {
    sound.windowStart = frame;
    sound.windowFrames = 0;
  }
  slot->remainder = 0;
  slot->pendingDecode = 0;
  slot->mark = timeGetTime();
  return FMOD_OK;
}

FMOD_RESULT Channel::getPosition(uint32_t* position, FMOD_TIMEUNIT postype) {
  if (position) *position = 0;
  CHANNEL_SLOT(slot);
  if (!position) return FMOD_ERR_INVALID_PARAM;
  if (!slot->sound) return FMOD_ERR_INVALID_HANDLE;
  system_->Advance(*slot, timeGetTime());
  const detail::SoundState& sound = *slot->sound;
  uint64_t value;
  switch (postype) {
    case FMOD_TIMEUNIT_MS: value = slot->frame * 1000 / static_cast<uint64_t>(sound.rate); break;
    case FMOD_TIMEUNIT_PCM: value = slot->frame; break;
    case FMOD_TIMEUNIT_PCMBYTES: value = slot->frame * static_cast<uint64_t>(sound.channels) * 2; break;
    default: return FMOD_ERR_INVALID_PARAM;
  }
  *position = static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
  return FMOD_OK;
}

FMOD_RESULT Channel::getCurrentSound(Sound** sound) {
  if (sound) *sound = nullptr;
  CHANNEL_SLOT(slot);
  if (!sound) return FMOD_ERR_INVALID_PARAM;
  *sound = slot->sound ? slot->sound->object : nullptr;
  return FMOD_OK;
}

#undef CHANNEL_SLOT

// ---- ChannelGroup --------------------------------------------------------------

FMOD_RESULT ChannelGroup::release() {
  if (state_->master) return FMOD_ERR_INVALID_PARAM;
  // The group's system is the one whose list holds it.
  for (detail::SystemState* system : detail::LiveSystems()) {
    if (std::find(system->groups.begin(), system->groups.end(), state_) != system->groups.end()) {
      system->ReleaseGroup(this);
      return FMOD_OK;
    }
  }
  return FMOD_ERR_INVALID_HANDLE;
}

FMOD_RESULT ChannelGroup::setVolume(float volume) {
  if (!(volume == volume)) return FMOD_ERR_INVALID_PARAM;
  state_->volume = std::clamp(volume, 0.0f, 1.0f);
  return FMOD_OK;
}

FMOD_RESULT ChannelGroup::getVolume(float* volume) {
  if (!volume) return FMOD_ERR_INVALID_PARAM;
  *volume = state_->volume;
  return FMOD_OK;
}

FMOD_RESULT ChannelGroup::addDSP(DSP* dsp, DSPConnection** connection) {
  if (connection) *connection = nullptr;
  if (!dsp) return FMOD_ERR_INVALID_PARAM;
  detail::DspState* unit = dsp->state_;
  if (unit->group == state_) return FMOD_OK;
  for (detail::SystemState* system : detail::LiveSystems())
    if (std::find(system->dsps.begin(), system->dsps.end(), unit) != system->dsps.end())
      system->DetachDsp(*unit);
  unit->group = state_;
  state_->dsps.push_back(unit);
  return FMOD_OK;
}

// ---- DSP ------------------------------------------------------------------------

FMOD_RESULT DSP::release() {
  for (detail::SystemState* system : detail::LiveSystems()) {
    if (std::find(system->dsps.begin(), system->dsps.end(), state_) != system->dsps.end()) {
      system->ReleaseDsp(this);
      return FMOD_OK;
    }
  }
  return FMOD_ERR_INVALID_HANDLE;
}

FMOD_RESULT DSP::remove() {
  if (!state_->group) return FMOD_OK;
  auto& list = state_->group->dsps;
  list.erase(std::remove(list.begin(), list.end(), state_), list.end());
  state_->group = nullptr;
  return FMOD_OK;
}

FMOD_RESULT DSP::getNumParameters(int* numparams) {
  if (!numparams) return FMOD_ERR_INVALID_PARAM;
  *numparams = static_cast<int>(state_->params.size());
  return FMOD_OK;
}

FMOD_RESULT DSP::setParameter(int index, float value) {
  if (index < 0 || static_cast<size_t>(index) >= state_->params.size()) return FMOD_ERR_INVALID_PARAM;
  const DspParam& param = FindDspKind(state_->type)->params[static_cast<size_t>(index)];
  if (!(value >= param.min && value <= param.max)) return FMOD_ERR_INVALID_PARAM;
  state_->params[static_cast<size_t>(index)] = value;
  return FMOD_OK;
}

FMOD_RESULT DSP::getParameter(int index, float* value, char* valuestr, int valuestrlen) {
  if (index < 0 || static_cast<size_t>(index) >= state_->params.size()) return FMOD_ERR_INVALID_PARAM;
  float v = state_->params[static_cast<size_t>(index)];
  if (value) *value = v;
  if (valuestr && valuestrlen > 0) std::snprintf(valuestr, static_cast<size_t>(valuestrlen), "%.2f", v);
  return FMOD_OK;
}

FMOD_RESULT DSP::setActive(bool active) {
  state_->active = active;
  return FMOD_OK;
}

FMOD_RESULT DSP::getActive(bool* active) {
  if (!active) return FMOD_ERR_INVALID_PARAM;
  *active = state_->active;
  return FMOD_OK;
}

// ---- Geometry ---------------------------------------------------------------------

FMOD_RESULT Geometry::release() {
  for (detail::SystemState* system : detail::LiveSystems()) {
    if (std::find(system->geometries.begin(), system->geometries.end(), state_) !=
        system->geometries.end()) {
      system->ReleaseGeometry(this);
      return FMOD_OK;
    }
  }
  return FMOD_ERR_INVALID_HANDLE;
}

FMOD_RESULT Geometry::setActive(bool active) {
  state_->active = active;
  return FMOD_OK;
}

}  // namespace FMOD

// ---- PCM streams for the other layers ----------------------------------------------

namespace platform::fmod {
namespace {

SystemState* StateOf(const FMOD::System* system) {
  if (!system) return nullptr;
  for (SystemState* state : FMOD::detail::LiveSystems())
    if (state->object == system) return state;
  return nullptr;
}

}  // namespace

FMOD::System* SystemOfOutput(const void* handle) {
  if (!handle) return nullptr;
  for (SystemState* state : FMOD::detail::LiveSystems())
    if (state->initialised && &state->outputObject == handle) return state->object;
  return nullptr;
}

FMOD_RESULT CreatePcmStream(FMOD::System* system, std::unique_ptr<Decoder> source,
                            FMOD::Sound** out) {
  if (!out) return FMOD_ERR_INVALID_PARAM;
  *out = nullptr;
  SystemState* state = StateOf(system);
  if (!state) return FMOD_ERR_INVALID_HANDLE;
  if (!state->initialised) return FMOD_ERR_UNINITIALIZED;
  if (!source || source->channels < 1 || source->channels > 2 || source->rate <= 0)
    return FMOD_ERR_INVALID_PARAM;
  return state->AdoptStream(std::move(source), out);
}

bool SoundIsLive(const FMOD::System* system, const FMOD::Sound* sound) {
  SystemState* state = StateOf(system);
  if (!state || !sound) return false;
  for (const SoundState* s : state->sounds)
    if (s->object == sound) return true;
  return false;
}

}  // namespace platform::fmod
