#include "platform/fmod/fmod.h"

#include <gtest/gtest.h>

#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace {

using namespace platform::testing;

class FmodTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetFmod();
    TakeClock(5000);
    ASSERT_EQ(FMOD_System_Create(&system_), FMOD_OK);
    ASSERT_EQ(system_->init(16, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  }
  void TearDown() override {
    if (system_) system_->release();
    EXPECT_EQ(LiveFmodSystems(), 0);
    ResetFmod();
    PlatformTest::TearDown();
  }

  // A one-second 8 kHz mono WAV, or an OGG of `seconds`.
  FMOD::Sound* Wav(double seconds = 1.0, FMOD_MODE mode = FMOD_OPENMEMORY | FMOD_CREATESAMPLE) {
    data_.push_back(EncodeWav(MakeTone(seconds, 8000, 1, 500), 8000, 1));
    return Create(data_.back(), mode, FMOD_SOUND_TYPE_WAV);
  }
  FMOD::Sound* Ogg(double seconds, FMOD_MODE mode) {
    data_.push_back(EncodeOgg(MakeTone(seconds, 22050, 2, 300), 22050, 2));
    return Create(data_.back(), mode, FMOD_SOUND_TYPE_OGGVORBIS);
  }
  FMOD::Sound* Create(const std::vector<uint8_t>& bytes, FMOD_MODE mode, FMOD_SOUND_TYPE type) {
    FMOD_CREATESOUNDEXINFO info{};
    info.cbsize = sizeof info;
    info.length = uint32_t(bytes.size());
    info.suggestedsoundtype = type;
    FMOD::Sound* sound = nullptr;
    EXPECT_EQ(system_->createSound(reinterpret_cast<const char*>(bytes.data()), mode, &info, &sound),
              FMOD_OK);
    return sound;
  }
  FMOD::Channel* Play(FMOD::Sound* sound, bool paused = false) {
    FMOD::Channel* channel = nullptr;
    EXPECT_EQ(system_->playSound(FMOD_CHANNEL_FREE, sound, paused, &channel), FMOD_OK);
    return channel;
  }
  static uint32_t PositionMs(FMOD::Channel* channel) {
    uint32_t ms = 0;
    EXPECT_EQ(channel->getPosition(&ms, FMOD_TIMEUNIT_MS), FMOD_OK);
    return ms;
  }
  static bool Playing(FMOD::Channel* channel) {
    bool playing = true;
    channel->isPlaying(&playing);
    return playing;
  }

  FMOD::System* system_ = nullptr;
  std::vector<std::vector<uint8_t>> data_;
};

std::vector<FMOD_CHANNEL*> gEnded;
FMOD_RESULT F_CALLBACK OnEnd(FMOD_CHANNEL* channel, FMOD_CHANNEL_CALLBACKTYPE type, int, uint32_t,
                             void*) {
  EXPECT_EQ(type, FMOD_CHANNEL_CALLBACKTYPE_END);
  // The handle still answers inside its own end callback.
  void* user = nullptr;
  EXPECT_EQ(static_cast<FMOD::Channel*>(channel)->getUserData(&user), FMOD_OK);
  EXPECT_EQ(user, &gEnded);
  gEnded.push_back(channel);
  return FMOD_OK;
}

TEST_F(FmodTest, SettingsBeforeInitOnly) {
  EXPECT_EQ(system_->init(16, 0, nullptr), FMOD_ERR_INITIALIZED);
  EXPECT_EQ(system_->setDSPBufferSize(1024, 4), FMOD_ERR_INITIALIZED);
  EXPECT_EQ(system_->setOutput(FMOD_OUTPUTTYPE_DSOUND), FMOD_ERR_INITIALIZED);
  FMOD::System* fresh = nullptr;
  ASSERT_EQ(FMOD_System_Create(&fresh), FMOD_OK);
  FMOD::Sound* sound = reinterpret_cast<FMOD::Sound*>(1);
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  EXPECT_EQ(fresh->createSound("x", FMOD_OPENMEMORY, &info, &sound), FMOD_ERR_UNINITIALIZED);
  EXPECT_EQ(sound, nullptr);
  EXPECT_EQ(fresh->update(), FMOD_ERR_UNINITIALIZED);
  EXPECT_EQ(fresh->setDSPBufferSize(1024, 5), FMOD_OK);
  void* handle = nullptr;
  EXPECT_EQ(fresh->init(200, 0x800, &handle), FMOD_OK);
  EXPECT_EQ(fresh->getOutputHandle(&handle), FMOD_OK);
  EXPECT_NE(handle, nullptr);
  FmodSystemState s = FmodSystem();
  EXPECT_EQ(s.dspBufferCount, 5);
  EXPECT_EQ(s.maxChannels, 200);
  EXPECT_EQ(s.initFlags, 0x800u);
  EXPECT_EQ(s.outputHandle, handle);
  fresh->release();
}

TEST_F(FmodTest, ChannelFollowsTheClockAndEndsOnlyInUpdate) {
  FMOD::Sound* sound = Wav(1.0);
  uint32_t length = 0;
  ASSERT_EQ(sound->getLength(&length, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(length, 1000u);
  ASSERT_EQ(sound->getLength(&length, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(length, 8000u);
  gEnded.clear();
  FMOD::Channel* channel = Play(sound);
  ASSERT_NE(channel, nullptr);
  ASSERT_EQ(channel->setUserData(&gEnded), FMOD_OK);
  ASSERT_EQ(channel->setCallback(FMOD_CHANNEL_CALLBACKTYPE_END, OnEnd, 0), FMOD_OK);
  AdvanceClock(250);
  EXPECT_EQ(PositionMs(channel), 250u);
  ASSERT_EQ(channel->setPaused(true), FMOD_OK);
  AdvanceClock(400);
  EXPECT_EQ(PositionMs(channel), 250u);
  ASSERT_EQ(channel->setPaused(false), FMOD_OK);
  AdvanceClock(740);
  system_->update();
  EXPECT_EQ(PositionMs(channel), 990u);
  EXPECT_TRUE(Playing(channel));
  AdvanceClock(20);
  // At its end, but the end is noticed by the next update only.
  EXPECT_TRUE(Playing(channel));
  EXPECT_TRUE(gEnded.empty());
  system_->update();
  ASSERT_EQ(gEnded.size(), 1u);
  EXPECT_EQ(gEnded[0], channel);
  EXPECT_FALSE(Playing(channel));
  float volume = 1;
  EXPECT_EQ(channel->getVolume(&volume), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(channel->stop(), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(channel->setPosition(0, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  EXPECT_TRUE(FmodChannels().empty());
}

TEST_F(FmodTest, StaleHandleOfAReusedSlotIsRefused) {
  FMOD::Sound* sound = Wav();
  FMOD::Channel* first = Play(sound);
  ASSERT_EQ(first->stop(), FMOD_OK);
  EXPECT_FALSE(Playing(first));
  system_->update();
  FMOD::Channel* second = Play(sound);
  ASSERT_NE(second, first);
  EXPECT_EQ(first->setVolume(0.5f), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(second->setVolume(0.5f), FMOD_OK);
  FMOD::Channel unbound;
  EXPECT_EQ(unbound.stop(), FMOD_ERR_INVALID_HANDLE);
  ASSERT_EQ(FmodChannels().size(), 1u);
  EXPECT_FLOAT_EQ(FmodChannels()[0].volume, 0.5f);
}

TEST_F(FmodTest, StopCallsBackInUpdateButReleaseDropsTheCallback) {
  gEnded.clear();
  FMOD::Sound* sound = Ogg(2.0, FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_LOOP_NORMAL);
  FMOD::Channel* a = Play(sound);
  a->setUserData(&gEnded);
  a->setCallback(FMOD_CHANNEL_CALLBACKTYPE_END, OnEnd, 0);
  a->stop();
  EXPECT_TRUE(gEnded.empty());
  system_->update();
  EXPECT_EQ(gEnded.size(), 1u);

  FMOD::Channel* b = Play(sound);
  b->setUserData(&gEnded);
  b->setCallback(FMOD_CHANNEL_CALLBACKTYPE_END, OnEnd, 0);
  b->stop();
  ASSERT_EQ(sound->release(), FMOD_OK);
  system_->update();
  EXPECT_EQ(gEnded.size(), 1u);
  EXPECT_EQ(b->stop(), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FmodSystem().sounds, 0);
}

TEST_F(FmodTest, LoopingStreamDecodesOnAndWraps) {
  FMOD::Sound* sound = Ogg(0.5, FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_2D | FMOD_LOOP_NORMAL);
  FMOD::Channel* channel = Play(sound);
  for (int i = 0; i < 12; ++i) {
    AdvanceClock(100);
    system_->update();
  }
  EXPECT_TRUE(Playing(channel));
  EXPECT_NEAR(PositionMs(channel), 200u, 1u);
  // A stream has one read position: playing it again ends the first channel.
  FMOD::Channel* again = Play(sound);
  system_->update();
  EXPECT_FALSE(Playing(channel));
  EXPECT_TRUE(Playing(again));
}

TEST_F(FmodTest, SetPositionInAllUnitsAndOutside) {
  FMOD::Sound* sound = Ogg(1.0, FMOD_OPENMEMORY | FMOD_CREATESTREAM);
  FMOD::Channel* channel = Play(sound, true);
  ASSERT_EQ(channel->setPosition(500, FMOD_TIMEUNIT_MS), FMOD_OK);
  uint32_t pcm = 0;
  ASSERT_EQ(channel->getPosition(&pcm, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(pcm, 11025u);
  ASSERT_EQ(channel->setPosition(4 * 2205, FMOD_TIMEUNIT_PCMBYTES), FMOD_OK);
  EXPECT_EQ(PositionMs(channel), 100u);
  EXPECT_EQ(channel->setPosition(1001, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_POSITION);
  channel->setPaused(false);
  AdvanceClock(950);
  system_->update();
  EXPECT_FALSE(Playing(channel));
}

TEST_F(FmodTest, GroupVolumesMultiply) {
  FMOD::ChannelGroup* master = nullptr;
  FMOD::ChannelGroup* group = nullptr;
  ASSERT_EQ(system_->getMasterChannelGroup(&master), FMOD_OK);
  ASSERT_EQ(system_->createChannelGroup("3", &group), FMOD_OK);
  FMOD::Channel* channel = Play(Wav());
  channel->setVolume(0.5f);
  channel->setChannelGroup(group);
  group->setVolume(0.5f);
  master->setVolume(0.8f);
  auto channels = FmodChannels();
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].group, "3");
  EXPECT_FLOAT_EQ(channels[0].audibleVolume, 0.2f);
  EXPECT_EQ(master->release(), FMOD_ERR_INVALID_PARAM);
  ASSERT_EQ(group->release(), FMOD_OK);
  channels = FmodChannels();
  EXPECT_EQ(channels[0].group, "master");
  EXPECT_FLOAT_EQ(channels[0].audibleVolume, 0.4f);
}

TEST_F(FmodTest, NonBlockingOpenSettlesInUpdate) {
  SetFmodOpenUpdates(2);
  FMOD::Sound* good = Ogg(0.3, FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_NONBLOCKING);
  std::vector<uint8_t> junk(300, 0x55);
  FMOD::Sound* bad = Create(junk, FMOD_OPENMEMORY | FMOD_CREATESAMPLE | FMOD_NONBLOCKING,
                            FMOD_SOUND_TYPE_WAV);
  junk.assign(junk.size(), 0);  // a sample keeps its own copy while it opens
  FMOD_OPENSTATE state = FMOD_OPENSTATE_READY;
  ASSERT_EQ(good->getOpenState(&state, nullptr, nullptr), FMOD_OK);
  EXPECT_EQ(state, FMOD_OPENSTATE_LOADING);
  FMOD::Channel* channel = reinterpret_cast<FMOD::Channel*>(&state);
  EXPECT_EQ(system_->playSound(FMOD_CHANNEL_FREE, good, false, &channel), FMOD_ERR_NOTREADY);
  EXPECT_EQ(channel, nullptr);
  system_->update();
  good->getOpenState(&state, nullptr, nullptr);
  EXPECT_EQ(state, FMOD_OPENSTATE_LOADING);
  system_->update();
  EXPECT_EQ(good->getOpenState(&state, nullptr, nullptr), FMOD_OK);
  EXPECT_EQ(state, FMOD_OPENSTATE_READY);
  EXPECT_EQ(bad->getOpenState(&state, nullptr, nullptr), FMOD_ERR_FORMAT);
  EXPECT_EQ(state, FMOD_OPENSTATE_ERROR);
  EXPECT_NE(Play(good), nullptr);
}

TEST_F(FmodTest, BlockingOpenOfBadDataFails) {
  std::vector<uint8_t> junk(64, 0x11);
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  info.length = uint32_t(junk.size());
  FMOD::Sound* sound = nullptr;
  EXPECT_EQ(system_->createSound(reinterpret_cast<const char*>(junk.data()),
                                 FMOD_OPENMEMORY | FMOD_CREATESTREAM, &info, &sound),
            FMOD_ERR_FORMAT);
  EXPECT_EQ(sound, nullptr);
  info.cbsize = 4;  // too small to carry the length
  EXPECT_EQ(system_->createSound(reinterpret_cast<const char*>(junk.data()), FMOD_OPENMEMORY,
                                 &info, &sound),
            FMOD_ERR_INVALID_PARAM);
  FailFmodCall("createSound", FMOD_ERR_MEMORY);
  info.cbsize = sizeof info;
  EXPECT_EQ(system_->createSound(reinterpret_cast<const char*>(junk.data()), FMOD_OPENMEMORY,
                                 &info, &sound),
            FMOD_ERR_MEMORY);
}

// Sets the granule position of an OGG file's last page, with its checksum.
void SetLastGranule(std::vector<uint8_t>& file, uint64_t granule) {
  size_t page = 0;
  for (size_t at = 0; at + 27 <= file.size(); ++at)
    if (file[at] == 'O' && file[at + 1] == 'g' && file[at + 2] == 'g' && file[at + 3] == 'S') page = at;
  for (int i = 0; i < 8; ++i) file[page + 6 + size_t(i)] = uint8_t(granule >> (8 * i));
  size_t length = 27 + file[page + 26];
  for (size_t i = 0; i < file[page + 26]; ++i) length += file[page + 27 + i];
  ASSERT_EQ(page + length, file.size());
  for (int i = 0; i < 4; ++i) file[page + 22 + size_t(i)] = 0;
  uint32_t crc = 0;
  for (size_t i = page; i < page + length; ++i) {
    crc ^= uint32_t(file[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  for (int i = 0; i < 4; ++i) file[page + 22 + size_t(i)] = uint8_t(crc >> (8 * i));
}

TEST_F(FmodTest, SampleBuffersHoldWhatDecodesNotWhatTheHeaderClaims) {
  // Three seconds (two pages of audio, so that the claim is not measured
  // from the same page) that claim 2^40 frames: sized by the claim, the
  // buffer would take terabytes before a frame was decoded.
  std::vector<uint8_t> tall = EncodeOgg(MakeTone(3.0, 22050, 2, 300), 22050, 2);
  SetLastGranule(tall, uint64_t(1) << 40);
  data_.push_back(tall);
  FMOD::Sound* claimed = Create(data_.back(), FMOD_OPENMEMORY | FMOD_CREATESAMPLE, FMOD_SOUND_TYPE_OGGVORBIS);
  ASSERT_NE(claimed, nullptr);
  uint32_t frames = 0;
  EXPECT_EQ(claimed->getLength(&frames, FMOD_TIMEUNIT_PCM), FMOD_OK);
  // All that decodes: the last packet is no longer cut at the true end.
  EXPECT_GE(frames, 66150u);
  EXPECT_LE(frames, 66150u + 4096u);
  claimed->release();

  // A minute of silence packs far more frames into a byte than a tone: the
  // buffer grows to take them all.
  std::vector<uint8_t> quiet = EncodeOgg(MakeTone(60.0, 22050, 2, 0), 22050, 2);
  ASSERT_GT(1323000 / quiet.size(), 64u) << "silence should pack tighter than the first guess";
  data_.push_back(quiet);
  FMOD::Sound* silence = Create(data_.back(), FMOD_OPENMEMORY | FMOD_CREATESAMPLE, FMOD_SOUND_TYPE_OGGVORBIS);
  ASSERT_NE(silence, nullptr);
  EXPECT_EQ(silence->getLength(&frames, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(frames, 1323000u);
  silence->release();
}

TEST_F(FmodTest, ThreeDAttributesAndListenerAreKept) {
  FMOD::Channel* flat = Play(Wav());
  FMOD_VECTOR at{1, 2, 3};
  EXPECT_EQ(flat->set3DAttributes(&at, nullptr), FMOD_ERR_NEEDS3D);
  FMOD::Channel* spatial = Play(Wav(1.0, FMOD_OPENMEMORY | FMOD_CREATESAMPLE | FMOD_3D));
  ASSERT_EQ(spatial->set3DAttributes(&at, nullptr), FMOD_OK);
  ASSERT_EQ(spatial->set3DMinMaxDistance(50, 900), FMOD_OK);
  EXPECT_EQ(spatial->set3DMinMaxDistance(0, 900), FMOD_ERR_INVALID_PARAM);
  FMOD_VECTOR got{}, velocity{9, 9, 9};
  float lo = 0, hi = 0;
  ASSERT_EQ(spatial->get3DAttributes(&got, &velocity), FMOD_OK);
  ASSERT_EQ(spatial->get3DMinMaxDistance(&lo, &hi), FMOD_OK);
  EXPECT_EQ(got.z, 3.0f);
  EXPECT_EQ(velocity.x, 0.0f);
  EXPECT_EQ(lo, 50.0f);
  EXPECT_EQ(hi, 900.0f);
  FMOD_VECTOR pos{10, 0, 5}, fwd{1, 0, 0}, up{0, 1, 0};
  ASSERT_EQ(system_->set3DListenerAttributes(0, &pos, nullptr, &fwd, &up), FMOD_OK);
  EXPECT_EQ(system_->set3DListenerAttributes(4, &pos, nullptr, &fwd, &up), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FmodSystem().listenerPosition.x, 10.0f);
  EXPECT_EQ(FmodSystem().listenerForward.x, 1.0f);
}

TEST_F(FmodTest, DspUnitsKeepTheirParameters) {
  const struct {
    FMOD_DSP_TYPE type;
    int params;
  } kinds[] = {{FMOD_DSP_TYPE_LOWPASS, 2}, {FMOD_DSP_TYPE_HIGHPASS, 2}, {FMOD_DSP_TYPE_FLANGE, 4},
               {FMOD_DSP_TYPE_ECHO, 5},    {FMOD_DSP_TYPE_CHORUS, 7},   {FMOD_DSP_TYPE_REVERB, 6}};
  for (const auto& kind : kinds) {
    FMOD::DSP* dsp = nullptr;
    ASSERT_EQ(system_->createDSPByType(kind.type, &dsp), FMOD_OK);
    int count = 0;
    dsp->getNumParameters(&count);
    EXPECT_EQ(count, kind.params);
    EXPECT_EQ(dsp->setParameter(count, 1.0f), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(dsp->setParameter(-1, 1.0f), FMOD_ERR_INVALID_PARAM);
    dsp->release();
  }
  FMOD::DSP* dsp = nullptr;
  EXPECT_EQ(system_->createDSPByType(FMOD_DSP_TYPE(99), &dsp), FMOD_ERR_INVALID_PARAM);
  FMOD::ChannelGroup* group = nullptr;
  system_->createChannelGroup("4", &group);
  ASSERT_EQ(system_->createDSPByType(FMOD_DSP_TYPE_HIGHPASS, &dsp), FMOD_OK);
  EXPECT_EQ(dsp->setParameter(0, 1200.0f), FMOD_OK);
  EXPECT_EQ(dsp->setParameter(1, 8.0f), FMOD_OK);
  EXPECT_EQ(dsp->setParameter(1, 11.0f), FMOD_ERR_INVALID_PARAM);
  group->addDSP(dsp, nullptr);
  dsp->setActive(true);
  auto dsps = FmodDsps();
  ASSERT_EQ(dsps.size(), 1u);
  EXPECT_EQ(dsps[0].group, "4");
  EXPECT_EQ(dsps[0].params, (std::vector<float>{1200.0f, 8.0f}));
  EXPECT_TRUE(dsps[0].active);
  dsp->remove();
  EXPECT_EQ(FmodDsps()[0].group, "");
  group->addDSP(dsp, nullptr);
  group->release();  // the unit stays, on no group
  EXPECT_EQ(FmodDsps()[0].group, "");
}

TEST_F(FmodTest, GeometryOfAnySize) {
  for (int size : {0, 1, 4096}) {
    std::vector<uint8_t> block(size_t(size), 0xAB);
    FMOD::Geometry* geometry = nullptr;
    ASSERT_EQ(system_->loadGeometry(block.data(), size, &geometry), FMOD_OK);
    EXPECT_EQ(FmodSystem().lastGeometrySize, size_t(size));
    EXPECT_EQ(geometry->setActive(false), FMOD_OK);
    EXPECT_EQ(geometry->release(), FMOD_OK);
  }
  FMOD::Geometry* geometry = nullptr;
  EXPECT_EQ(system_->loadGeometry(nullptr, 0, &geometry), FMOD_OK);
  EXPECT_EQ(system_->loadGeometry(nullptr, -1, &geometry), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FmodSystem().geometries, 1);  // freed with the system
}

TEST_F(FmodTest, RunsOutOfChannelsCleanly) {
  FMOD::Sound* sound = Wav();
  for (int i = 0; i < 16; ++i) Play(sound);
  FMOD::Channel* channel = nullptr;
  EXPECT_EQ(system_->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_ERR_CHANNEL_ALLOC);
  EXPECT_EQ(channel, nullptr);
}

// The launcher's calls: C handles over the same objects, a looping stream
// and one-shot sounds on five channels, never updated.
TEST_F(FmodTest, CCallsAndChannelsFreedWithoutAnUpdate) {
  FMOD::System* c = nullptr;
  ASSERT_EQ(FMOD_System_Create(&c), FMOD_OK);
  EXPECT_EQ(FMOD_System_Init(c, 5, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  EXPECT_EQ(FMOD_System_Init(c, 5, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_INITIALIZED);
  data_.push_back(EncodeOgg(MakeTone(2.0, 22050, 2, 300), 22050, 2));
  data_.push_back(EncodeWav(MakeTone(0.1, 8000, 1, 500), 8000, 1));
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  info.length = uint32_t(data_[0].size());
  FMOD_SOUND* music = nullptr;
  ASSERT_EQ(FMOD_System_CreateStream(c, reinterpret_cast<const char*>(data_[0].data()), 0x80A, &info, &music),
            FMOD_OK);
  info.length = uint32_t(data_[1].size());
  FMOD_SOUND* click = nullptr;
  ASSERT_EQ(FMOD_System_CreateSound(c, reinterpret_cast<const char*>(data_[1].data()), 0x808, &info, &click),
            FMOD_OK);
  FMOD_CHANNEL* channel = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(c, FMOD_CHANNEL_FREE, music, 0, &channel), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_SetPriority(channel, 1), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_SetPriority(channel, 257), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_SetPriority(nullptr, 1), FMOD_ERR_INVALID_HANDLE);
  std::vector<FmodChannelState> channels = FmodChannels();
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_TRUE(channels[0].stream);
  EXPECT_TRUE(channels[0].loop);
  EXPECT_EQ(channels[0].priority, 1);
  EXPECT_EQ(channels[0].sound, static_cast<FMOD::Sound*>(music));
  // Four clicks fill the channels; while they play a fifth finds none.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(FMOD_System_PlaySound(c, FMOD_CHANNEL_FREE, click, 0, nullptr), FMOD_OK);
  EXPECT_EQ(FMOD_System_PlaySound(c, FMOD_CHANNEL_FREE, click, 0, nullptr), FMOD_ERR_CHANNEL_ALLOC);
  // Once played out, a click's channel is free again; the music keeps its own.
  AdvanceClock(200);
  EXPECT_EQ(FMOD_System_PlaySound(c, FMOD_CHANNEL_FREE, click, 0, nullptr), FMOD_OK);
  channels = FmodChannels();
  ASSERT_EQ(channels.size(), 5u);
  EXPECT_EQ(channels[0].sound, static_cast<FMOD::Sound*>(music));
  EXPECT_EQ(c->release(), FMOD_OK);
}

TEST_F(FmodTest, InjectedFailuresAreSharedSettings) {
  FailFmodCall("System_Create", FMOD_ERR_OUTPUT_INIT);
  FMOD::System* other = nullptr;
  EXPECT_EQ(FMOD_System_Create(&other), FMOD_ERR_OUTPUT_INIT);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(GetSetting("fmod_fail_System_Create"), std::to_string(int(FMOD_ERR_OUTPUT_INIT)));
  EXPECT_STREQ(FMOD_ErrorString(FMOD_ERR_OUTPUT_INIT), "The sound output could not be started.");
  EXPECT_STREQ(FMOD_ErrorString(FMOD_RESULT(-5)), "Unknown error.");
}

}  // namespace
