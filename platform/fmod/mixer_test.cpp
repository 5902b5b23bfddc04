// The mix as a listener would hear it, read from the test sink.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>

#include "platform/fmod/fmod.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace {

using namespace platform::testing;

constexpr int kRate = 44100;

class MixerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetFmod();
    TakeClock(5000);
    RecordFmodMix(true);
    ASSERT_EQ(FMOD_System_Create(&system_), FMOD_OK);
    ASSERT_EQ(system_->init(16, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  }
  void TearDown() override {
    if (system_) system_->release();
    ResetFmod();
    PlatformTest::TearDown();
  }

  FMOD::Sound* Sample(const std::vector<int16_t>& pcm, int rate, int channels, FMOD_MODE extra = 0) {
    data_.push_back(EncodeWav(pcm, rate, channels));
    FMOD_CREATESOUNDEXINFO info{};
    info.cbsize = sizeof info;
    info.length = uint32_t(data_.back().size());
    info.suggestedsoundtype = FMOD_SOUND_TYPE_WAV;
    FMOD::Sound* sound = nullptr;
    EXPECT_EQ(system_->createSound(reinterpret_cast<const char*>(data_.back().data()),
                                   FMOD_OPENMEMORY | FMOD_CREATESAMPLE | extra, &info, &sound),
              FMOD_OK);
    return sound;
  }
  FMOD::Channel* Play(FMOD::Sound* sound, FMOD::ChannelGroup* group = nullptr) {
    FMOD::Channel* channel = nullptr;
    EXPECT_EQ(system_->playSound(FMOD_CHANNEL_FREE, sound, true, &channel), FMOD_OK);
    if (group) channel->setChannelGroup(group);
    return channel;
  }
  void Run(uint32_t ms) {
    AdvanceClock(ms);
    system_->update();
  }
  // Root mean square of one side of the mix over frames [from, to).
  static double Rms(const std::vector<int16_t>& mix, size_t from, size_t to, int side) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(mix[2 * i + side]) * mix[2 * i + side];
    return std::sqrt(sum / double(to - from));
  }

  FMOD::System* system_ = nullptr;
  std::vector<std::vector<uint8_t>> data_;
};

TEST_F(MixerTest, VolumeAndPanGiveTheSampleValuesOfTheBalanceLaw) {
  // A mono sample holding 16000 at the mix rate, so no resampling blurs it.
  std::vector<int16_t> level(kRate, 16000);
  const FMOD_VECTOR forward{0, 0, 1}, up{0, 1, 0}, origin{0, 0, 0};
  ASSERT_EQ(system_->set3DListenerAttributes(0, &origin, nullptr, &forward, &up), FMOD_OK);
  const struct {
    bool spatial;
    FMOD_VECTOR at;
    int left, right;
  } cases[] = {
      // 2-D: both sides at 16000 x 0.5.
      {false, {}, 8000, 8000},
      // Left of the listener, inside the minimum distance (1): the left side
      // at 16000 x 0.5, the right at (1 - 1) of it.
      {true, {-0.5f, 0, 0}, 8000, 0},
      // The same on the right.
      {true, {0.5f, 0, 0}, 0, 8000},
      // Ahead and to the left at 45 degrees, 3 x sqrt(2) = 4.2426 away:
      // level 1 / (1 + 3.2426) = 0.23570; pan -0.70711;
      // left 16000 x 0.5 x 0.23570 = 1885.6; right x (1 - 0.70711) = 552.3.
      {true, {-3, 0, 3}, 1886, 552},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left * 100000 + c.right);
    FMOD::Sound* sound = Sample(level, kRate, 1, c.spatial ? FMOD_3D : FMOD_2D);
    FMOD::Channel* channel = Play(sound);
    channel->setVolume(0.5f);
    if (c.spatial) {
      ASSERT_EQ(channel->set3DAttributes(&c.at, nullptr), FMOD_OK);
    }
    channel->setPaused(false);
    ClearFmodMix();
    Run(100);
    std::vector<int16_t> mix = FmodMix();
    ASSERT_EQ(mix.size(), size_t(kRate / 10 * 2));
    for (size_t frame : {size_t(0), size_t(1000), size_t(4409)}) {
      EXPECT_NEAR(mix[2 * frame], c.left, 1) << frame;
      EXPECT_NEAR(mix[2 * frame + 1], c.right, 1) << frame;
    }
    channel->stop();
    sound->release();
    Run(0);
  }
}

TEST_F(MixerTest, GroupAndMasterVolumesScaleTheChannel) {
  std::vector<int16_t> level(kRate, 16000);
  FMOD::ChannelGroup* group = nullptr;
  ASSERT_EQ(system_->createChannelGroup("0", &group), FMOD_OK);
  FMOD::ChannelGroup* master = nullptr;
  system_->getMasterChannelGroup(&master);
  group->setVolume(0.5f);
  master->setVolume(0.5f);
  FMOD::Channel* channel = Play(Sample(level, kRate, 1), group);
  channel->setPaused(false);
  Run(10);
  std::vector<int16_t> mix = FmodMix();
  ASSERT_FALSE(mix.empty());
  EXPECT_NEAR(mix[0], 4000, 1);
}

TEST_F(MixerTest, ResamplesToTheMixRateAndEndsWithTheSample) {
  // One second at 8 kHz of a 500 Hz tone lasts one second of the mix too.
  FMOD::Channel* channel = Play(Sample(MakeTone(1.0, 8000, 1, 500), 8000, 1));
  channel->setPaused(false);
  for (int i = 0; i < 12; ++i) Run(100);
  std::vector<int16_t> mix = FmodMix();
  ASSERT_EQ(mix.size(), size_t(kRate * 12 / 10 * 2));
  // The tone's level (12000 peak) throughout, silence after.
  EXPECT_NEAR(Rms(mix, 1000, kRate - 1000, 0), 12000 / std::sqrt(2.0), 200);
  EXPECT_EQ(Rms(mix, kRate + 10, kRate * 12 / 10, 0), 0);
  // Still at 500 Hz: one period is 88.2 mix frames, so the sign changes
  // about 1000 times in the first second.
  int crossings = 0;
  for (size_t i = 1; i < size_t(kRate); ++i) crossings += (mix[2 * i] >= 0) != (mix[2 * i - 2] >= 0);
  EXPECT_NEAR(crossings, 1000, 4);
}

TEST_F(MixerTest, AStreamIsMixedFromItsDecoderAndLoops) {
  data_.push_back(EncodeOgg(MakeTone(0.5, 22050, 2, 300), 22050, 2));
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  info.length = uint32_t(data_.back().size());
  info.suggestedsoundtype = FMOD_SOUND_TYPE_OGGVORBIS;
  FMOD::Sound* stream = nullptr;
  ASSERT_EQ(system_->createSound(reinterpret_cast<const char*>(data_.back().data()),
                                 FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_LOOP_NORMAL, &info, &stream),
            FMOD_OK);
  FMOD::Channel* channel = Play(stream);
  channel->setPaused(false);
  for (int i = 0; i < 15; ++i) Run(100);  // three times round
  std::vector<int16_t> mix = FmodMix();
  ASSERT_EQ(mix.size(), size_t(kRate * 3 / 2 * 2));
  for (int side : {0, 1})
    for (size_t part = 0; part < 3; ++part)
      EXPECT_NEAR(Rms(mix, part * kRate / 2 + 500, (part + 1) * kRate / 2 - 500, side), 12000 / std::sqrt(2.0),
                  600)
          << part;
  bool playing = false;
  channel->isPlaying(&playing);
  EXPECT_TRUE(playing);
}

// The filter start-up puts on group 4, against the same tone on group 0.
TEST_F(MixerTest, HighPassOnAGroupWeakensALowToneThereOnly) {
  FMOD::ChannelGroup* plain = nullptr;
  FMOD::ChannelGroup* filtered = nullptr;
  system_->createChannelGroup("0", &plain);
  system_->createChannelGroup("4", &filtered);
  FMOD::DSP* dsp = nullptr;
  ASSERT_EQ(system_->createDSPByType(FMOD_DSP_TYPE_HIGHPASS, &dsp), FMOD_OK);
  dsp->setParameter(0, 1200.0f);
  dsp->setParameter(1, 8.0f);
  filtered->addDSP(dsp, nullptr);
  dsp->setActive(true);
  const struct {
    FMOD::ChannelGroup* group;
    double hertz;
    double low, high;  // of the tone's own level
  } cases[] = {
      {plain, 200, 0.99, 1.01},
      // A second-order high-pass passes (200/1200)^2 / (1 - (200/1200)^2) of 200 Hz: 2.9 %.
      {filtered, 200, 0.0, 0.05},
      // Well above the cutoff the tone goes through.
      {filtered, 6000, 0.9, 1.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hertz);
    FMOD::Sound* sound = Sample(MakeTone(1.0, kRate, 1, c.hertz), kRate, 1);
    FMOD::Channel* channel = Play(sound, c.group);
    channel->setPaused(false);
    ClearFmodMix();
    Run(500);
    std::vector<int16_t> mix = FmodMix();
    // After the filter has settled.
    double ratio = Rms(mix, kRate / 10, kRate / 2, 0) / (12000 / std::sqrt(2.0));
    EXPECT_GE(ratio, c.low);
    EXPECT_LE(ratio, c.high);
    channel->stop();
    Run(0);
    sound->release();
  }
}

TEST_F(MixerTest, EchoRepeatsAfterItsDelayAndDecays) {
  FMOD::ChannelGroup* group = nullptr;
  system_->createChannelGroup("1", &group);
  FMOD::DSP* echo = nullptr;
  ASSERT_EQ(system_->createDSPByType(FMOD_DSP_TYPE_ECHO, &echo), FMOD_OK);
  echo->setParameter(0, 100.0f);  // ms
  echo->setParameter(1, 0.5f);    // decay
  echo->setParameter(3, 1.0f);    // dry
  echo->setParameter(4, 1.0f);    // wet
  group->addDSP(echo, nullptr);
  echo->setActive(true);
  // 10 ms at 16000, then silence.
  std::vector<int16_t> click(kRate / 2, 0);
  std::fill_n(click.begin(), kRate / 100, 16000);
  Play(Sample(click, kRate, 1), group)->setPaused(false);
  Run(400);
  std::vector<int16_t> mix = FmodMix();
  ASSERT_EQ(mix.size(), size_t(kRate * 4 / 10 * 2));
  size_t delay = kRate / 10;
  EXPECT_NEAR(mix[2 * 200], 16000, 2);                   // dry
  EXPECT_EQ(mix[2 * (delay - 10)], 0);                   // nothing before the echo
  EXPECT_NEAR(mix[2 * (delay + 200)], 16000, 2);         // first echo
  EXPECT_NEAR(mix[2 * (2 * delay + 200)], 8000, 2);      // then half
  EXPECT_NEAR(mix[2 * (3 * delay + 200) + 1], 4000, 2);  // and half again, on both sides
}

TEST_F(MixerTest, EveryEffectUnitKeepsTheMixFiniteAndAudible) {
  for (FMOD_DSP_TYPE type : {FMOD_DSP_TYPE_LOWPASS, FMOD_DSP_TYPE_HIGHPASS, FMOD_DSP_TYPE_ECHO,
                             FMOD_DSP_TYPE_FLANGE, FMOD_DSP_TYPE_CHORUS, FMOD_DSP_TYPE_REVERB}) {
    SCOPED_TRACE(int(type));
    FMOD::ChannelGroup* group = nullptr;
    system_->createChannelGroup("g", &group);
    FMOD::DSP* dsp = nullptr;
    ASSERT_EQ(system_->createDSPByType(type, &dsp), FMOD_OK);
    group->addDSP(dsp, nullptr);
    dsp->setActive(true);
    // A 440 Hz tone: the filters' cutoffs are put either side of it.
    if (type == FMOD_DSP_TYPE_HIGHPASS) dsp->setParameter(0, 100.0f);
    FMOD::Sound* sound = Sample(MakeTone(1.0, 22050, 2, 440), 22050, 2);
    FMOD::Channel* channel = Play(sound, group);
    channel->setPaused(false);
    ClearFmodMix();
    Run(300);
    // Echo and chorus at their longest delays.
    if (type == FMOD_DSP_TYPE_ECHO) dsp->setParameter(0, 5000.0f);
    if (type == FMOD_DSP_TYPE_CHORUS) dsp->setParameter(4, 100.0f);
    Run(300);
    std::vector<int16_t> mix = FmodMix();
    double rms = Rms(mix, 0, mix.size() / 2, 0);
    EXPECT_GT(rms, 100);
    EXPECT_LT(rms, 20000);
    channel->stop();
    Run(0);
    sound->release();
    dsp->release();
    group->release();
  }
}

TEST_F(MixerTest, PausedAndStoppedChannelsAreSilent) {
  std::vector<int16_t> level(kRate, 16000);
  FMOD::Channel* channel = Play(Sample(level, kRate, 1));
  Run(50);
  channel->setPaused(false);
  Run(50);
  channel->stop();
  Run(50);
  std::vector<int16_t> mix = FmodMix();
  size_t third = kRate / 20;
  ASSERT_EQ(mix.size(), 3 * third * 2);
  EXPECT_EQ(Rms(mix, 0, third, 0), 0);
  EXPECT_NEAR(Rms(mix, third, 2 * third, 0), 16000, 1);
  EXPECT_EQ(Rms(mix, 2 * third, 3 * third, 1), 0);
}

using MixerCaptureTest = PlatformTest;

TEST_F(MixerCaptureTest, WritesTheMixAsAWavFile) {
  ResetFmod();
  TakeClock(0);
  std::string path = work_ + "/capture.wav";
  ASSERT_EQ(setenv("TARVEL_AUDIO_CAPTURE", path.c_str(), 1), 0);
  FMOD::System* system = nullptr;
  ASSERT_EQ(FMOD_System_Create(&system), FMOD_OK);
  ASSERT_EQ(system->init(4, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  unsetenv("TARVEL_AUDIO_CAPTURE");
  std::vector<uint8_t> wav = EncodeWav(std::vector<int16_t>(kRate, -12000), kRate, 1);
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  info.length = uint32_t(wav.size());
  FMOD::Sound* sound = nullptr;
  ASSERT_EQ(system->createSound(reinterpret_cast<const char*>(wav.data()), FMOD_OPENMEMORY, &info, &sound),
            FMOD_OK);
  system->playSound(FMOD_CHANNEL_FREE, sound, false, nullptr);
  AdvanceClock(20);
  system->update();
  // Readable before the system goes: a run ended from outside keeps its file.
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  system->release();
  ReleaseClock();
  size_t frames = kRate / 50;
  ASSERT_EQ(file.size(), 44 + frames * 4);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  auto le32 = [&](size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24; };
  EXPECT_EQ(le32(24), kRate);
  EXPECT_EQ(le32(40), int(frames * 4));
  EXPECT_EQ(int16_t(file[44] | file[45] << 8), -12000);
  EXPECT_EQ(int16_t(file[46] | file[47] << 8), -12000);
}

}  // namespace
