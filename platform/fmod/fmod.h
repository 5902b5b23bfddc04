// The sound library as the engine and the launcher call it: a system of
// channels, channel groups, sounds, DSP units and occlusion geometry.
//
// Headless: nothing is heard, but every sound is decoded from memory (OGG
// Vorbis through libvorbisfile, WAV by our own reader), so lengths,
// positions and the moment a sound ends follow the platform clock
// (timeGetTime), which a test may take.
//
// Channels are handles: a handle whose channel has ended, was stopped and
// reclaimed, or was reused answers FMOD_ERR_INVALID_HANDLE. End callbacks,
// channel ends and the completion of non-blocking opens all happen inside
// System::update, on the caller's thread.
#pragma once

#include <cstdint>

#include "platform/win32/windows_types.h"

#define F_CALLBACK

enum FMOD_RESULT : int32_t {
  FMOD_OK = 0,
  FMOD_ERR_BADCOMMAND,
  FMOD_ERR_CHANNEL_ALLOC,
  FMOD_ERR_CHANNEL_STOLEN,
  FMOD_ERR_FILE_BAD,
  FMOD_ERR_FILE_EOF,
  FMOD_ERR_FORMAT,
  FMOD_ERR_INITIALIZED,
  FMOD_ERR_INTERNAL,
  FMOD_ERR_INVALID_HANDLE,
  FMOD_ERR_INVALID_PARAM,
  FMOD_ERR_INVALID_POSITION,
  FMOD_ERR_MEMORY,
  FMOD_ERR_NEEDS3D,
  FMOD_ERR_NOTREADY,
  FMOD_ERR_OUTPUT_INIT,
  FMOD_ERR_UNINITIALIZED,
  FMOD_ERR_UNSUPPORTED,
};

using FMOD_MODE = uint32_t;
constexpr FMOD_MODE FMOD_DEFAULT = 0x0;
constexpr FMOD_MODE FMOD_LOOP_OFF = 0x1;
constexpr FMOD_MODE FMOD_LOOP_NORMAL = 0x2;
constexpr FMOD_MODE FMOD_LOOP_BIDI = 0x4;
constexpr FMOD_MODE FMOD_2D = 0x8;
constexpr FMOD_MODE FMOD_3D = 0x10;
constexpr FMOD_MODE FMOD_HARDWARE = 0x20;
constexpr FMOD_MODE FMOD_SOFTWARE = 0x40;
constexpr FMOD_MODE FMOD_CREATESTREAM = 0x80;
constexpr FMOD_MODE FMOD_CREATESAMPLE = 0x100;
constexpr FMOD_MODE FMOD_OPENMEMORY = 0x800;
constexpr FMOD_MODE FMOD_NONBLOCKING = 0x10000;

using FMOD_INITFLAGS = uint32_t;
constexpr FMOD_INITFLAGS FMOD_INIT_NORMAL = 0x0;

using FMOD_TIMEUNIT = uint32_t;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_MS = 0x1;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_PCM = 0x2;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_PCMBYTES = 0x4;

enum FMOD_OUTPUTTYPE : int32_t {
  FMOD_OUTPUTTYPE_AUTODETECT = 0,
  FMOD_OUTPUTTYPE_NOSOUND = 2,
  FMOD_OUTPUTTYPE_DSOUND = 6,
};

enum FMOD_SOUND_TYPE : int32_t {
  FMOD_SOUND_TYPE_UNKNOWN = 0,
  FMOD_SOUND_TYPE_OGGVORBIS = 14,
  FMOD_SOUND_TYPE_WAV = 20,
};

enum FMOD_OPENSTATE : int32_t {
  FMOD_OPENSTATE_READY = 0,
  FMOD_OPENSTATE_LOADING,
  FMOD_OPENSTATE_ERROR,
};

enum FMOD_DSP_TYPE : int32_t {
  FMOD_DSP_TYPE_UNKNOWN = 0,
  FMOD_DSP_TYPE_LOWPASS = 3,
  FMOD_DSP_TYPE_HIGHPASS = 5,
  FMOD_DSP_TYPE_ECHO = 6,
  FMOD_DSP_TYPE_FLANGE = 7,
  FMOD_DSP_TYPE_CHORUS = 12,
  FMOD_DSP_TYPE_REVERB = 13,
};

enum FMOD_CHANNEL_CALLBACKTYPE : int32_t {
  FMOD_CHANNEL_CALLBACKTYPE_END = 0,
};

enum FMOD_CHANNELINDEX : int32_t {
  FMOD_CHANNEL_FREE = -1,
  FMOD_CHANNEL_REUSE = -2,
};

struct FMOD_VECTOR {
  float x;
  float y;
  float z;
};

// Extra information for createSound. Only the fields read here are
// declared; cbsize must cover the fields a call relies on.
struct FMOD_CREATESOUNDEXINFO {
  int32_t cbsize;
  uint32_t length;  // bytes of an FMOD_OPENMEMORY sound
  FMOD_SOUND_TYPE suggestedsoundtype;
};

// The C handles: a static_cast to the FMOD:: class gives the C++ handle.
// End callbacks receive the channel's.
struct FMOD_CHANNEL {};
struct FMOD_SYSTEM {};
struct FMOD_SOUND {};
using FMOD_BOOL = int32_t;

using FMOD_CHANNEL_CALLBACK = FMOD_RESULT(F_CALLBACK*)(FMOD_CHANNEL* channel,
                                                       FMOD_CHANNEL_CALLBACKTYPE type,
                                                       int command, uint32_t commanddata1,
                                                       void* commanddata2);

namespace FMOD {

class System;
class Sound;
class Channel;
class ChannelGroup;
class DSP;
class DSPConnection;
class Geometry;

}  // namespace FMOD

FMOD_RESULT FMOD_System_Create(FMOD::System** system);

// The C calls the launcher makes, over the same objects as the C++ calls.
FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels, FMOD_INITFLAGS flags,
                             void* extradriverdata);
// createSound with FMOD_CREATESTREAM added to the mode.
FMOD_RESULT FMOD_System_CreateStream(FMOD_SYSTEM* system, const char* name_or_data, FMOD_MODE mode,
                                     FMOD_CREATESOUNDEXINFO* exinfo, FMOD_SOUND** sound);
FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name_or_data, FMOD_MODE mode,
                                    FMOD_CREATESOUNDEXINFO* exinfo, FMOD_SOUND** sound);
FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system, FMOD_CHANNELINDEX channelid, FMOD_SOUND* sound,
                                  FMOD_BOOL paused, FMOD_CHANNEL** channel);
FMOD_RESULT FMOD_Channel_SetPriority(FMOD_CHANNEL* channel, int priority);

// The text of a result code, as the engine prints it in fatal errors.
const char* FMOD_ErrorString(FMOD_RESULT result);

namespace FMOD {

namespace detail {
struct SystemState;
struct SoundState;
struct GroupState;
struct DspState;
struct GeometryState;
}  // namespace detail

class System : public FMOD_SYSTEM {
 public:
  FMOD_RESULT release();
  FMOD_RESULT setOutput(FMOD_OUTPUTTYPE output);
  FMOD_RESULT set3DSettings(float dopplerscale, float distancefactor, float rolloffscale);
  FMOD_RESULT setGeometrySettings(float maxworldsize);
  FMOD_RESULT setDSPBufferSize(uint32_t bufferlength, int numbuffers);
  FMOD_RESULT setHardwareChannels(int min2d, int max2d, int min3d, int max3d);
  FMOD_RESULT setSoftwareChannels(int numsoftwarechannels);
  FMOD_RESULT init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata);
  FMOD_RESULT update();
  FMOD_RESULT getOutputHandle(void** handle);
  FMOD_RESULT createSound(const char* name_or_data, FMOD_MODE mode,
                          FMOD_CREATESOUNDEXINFO* exinfo, Sound** sound);
  FMOD_RESULT createChannelGroup(const char* name, ChannelGroup** channelgroup);
  FMOD_RESULT createDSPByType(FMOD_DSP_TYPE type, DSP** dsp);
  FMOD_RESULT getMasterChannelGroup(ChannelGroup** channelgroup);
  FMOD_RESULT playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused,
                        Channel** channel);
  FMOD_RESULT set3DListenerAttributes(int listener, const FMOD_VECTOR* pos,
                                      const FMOD_VECTOR* vel, const FMOD_VECTOR* forward,
                                      const FMOD_VECTOR* up);
  FMOD_RESULT get3DListenerAttributes(int listener, FMOD_VECTOR* pos, FMOD_VECTOR* vel,
                                      FMOD_VECTOR* forward, FMOD_VECTOR* up);
  FMOD_RESULT loadGeometry(const void* data, int datasize, Geometry** geometry);

  System(const System&) = delete;
  System& operator=(const System&) = delete;

 private:
  friend FMOD_RESULT(::FMOD_System_Create)(System** system);
  friend struct detail::SystemState;
  System();
  ~System();
  detail::SystemState* state_;
};

class Sound : public FMOD_SOUND {
 public:
  FMOD_RESULT release();
  FMOD_RESULT getOpenState(FMOD_OPENSTATE* openstate, uint32_t* percentbuffered, bool* starving);
  FMOD_RESULT getMode(FMOD_MODE* mode);
  FMOD_RESULT getLength(uint32_t* length, FMOD_TIMEUNIT lengthtype);

  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

 private:
  friend struct detail::SystemState;
  friend class System;
  friend class Channel;
  Sound() = default;
  ~Sound() = default;
  detail::SoundState* state_ = nullptr;
};

// A handle: member calls look up the channel slot it names and refuse a
// stale one. Handles stay valid objects until their system is released.
class Channel : public FMOD_CHANNEL {
 public:
  FMOD_RESULT stop();
  FMOD_RESULT setPaused(bool paused);
  FMOD_RESULT getPaused(bool* paused);
  FMOD_RESULT setVolume(float volume);
  FMOD_RESULT getVolume(float* volume);
  FMOD_RESULT isPlaying(bool* isplaying);
  FMOD_RESULT setChannelGroup(ChannelGroup* channelgroup);
  FMOD_RESULT setCallback(FMOD_CHANNEL_CALLBACKTYPE type, FMOD_CHANNEL_CALLBACK callback,
                          int command);
  FMOD_RESULT setUserData(void* userdata);
  FMOD_RESULT getUserData(void** userdata);
  FMOD_RESULT set3DAttributes(const FMOD_VECTOR* pos, const FMOD_VECTOR* vel);
  FMOD_RESULT get3DAttributes(FMOD_VECTOR* pos, FMOD_VECTOR* vel);
  FMOD_RESULT set3DMinMaxDistance(float mindistance, float maxdistance);
  FMOD_RESULT get3DMinMaxDistance(float* mindistance, float* maxdistance);
  FMOD_RESULT setPosition(uint32_t position, FMOD_TIMEUNIT postype);
  FMOD_RESULT getPosition(uint32_t* position, FMOD_TIMEUNIT postype);
  FMOD_RESULT getCurrentSound(Sound** sound);
  // 0 (most important) to 256; 128 by default.
  FMOD_RESULT setPriority(int priority);
  FMOD_RESULT getPriority(int* priority);

  Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

 private:
  friend struct detail::SystemState;
  friend class System;
  detail::SystemState* system_ = nullptr;
  uint32_t slot_ = 0;
  uint32_t generation_ = 0;
};

class ChannelGroup {
 public:
  FMOD_RESULT release();
  FMOD_RESULT setVolume(float volume);
  FMOD_RESULT getVolume(float* volume);
  FMOD_RESULT addDSP(DSP* dsp, DSPConnection** connection);

  ChannelGroup(const ChannelGroup&) = delete;
  ChannelGroup& operator=(const ChannelGroup&) = delete;

 private:
  friend struct detail::SystemState;
  friend class System;
  friend class Channel;
  ChannelGroup() = default;
  ~ChannelGroup() = default;
  detail::GroupState* state_ = nullptr;
};

class DSP {
 public:
  FMOD_RESULT release();
  FMOD_RESULT remove();
  FMOD_RESULT getNumParameters(int* numparams);
  FMOD_RESULT setParameter(int index, float value);
  FMOD_RESULT getParameter(int index, float* value, char* valuestr, int valuestrlen);
  FMOD_RESULT setActive(bool active);
  FMOD_RESULT getActive(bool* active);

  DSP(const DSP&) = delete;
  DSP& operator=(const DSP&) = delete;

 private:
  friend struct detail::SystemState;
  friend class System;
  friend class ChannelGroup;
  DSP() = default;
  ~DSP() = default;
  detail::DspState* state_ = nullptr;
};

class Geometry {
 public:
  FMOD_RESULT release();
  FMOD_RESULT setActive(bool active);

  Geometry(const Geometry&) = delete;
  Geometry& operator=(const Geometry&) = delete;

 private:
  friend struct detail::SystemState;
  friend class System;
  Geometry() = default;
  ~Geometry() = default;
  detail::GeometryState* state_ = nullptr;
};

}  // namespace FMOD
