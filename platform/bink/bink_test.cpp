#include "platform/bink/bink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/bink/testing.h"
#include "platform/fmod/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/video_writer.h"

namespace {

using namespace platform::testing;

BINKSNDOPEN Refuse(UINT_PTR) { return nullptr; }

TEST(BinkSound, TheChosenOutputIsKept) {
  ResetBink();
  int device = 0;
  EXPECT_EQ(BinkSetSoundSystem(nullptr, 1), 0);
  EXPECT_EQ(BinkSetSoundSystem(Refuse, 1), 0);
  EXPECT_FALSE(BinkSoundSystemSet());
  ASSERT_EQ(BinkSetSoundSystem(BinkOpenDirectSound, reinterpret_cast<UINT_PTR>(&device)), 1);
  EXPECT_TRUE(BinkSoundSystemSet());
  EXPECT_EQ(BinkSoundOutput(), reinterpret_cast<UINT_PTR>(&device));
  ResetBink();
}

testkit::VideoSpec Clip(int frames, int width = 64, int height = 32, int rate = 25) {
  testkit::VideoSpec recipe;
  recipe.frames = frames;
  recipe.width = width;
  recipe.height = height;
  recipe.rate = rate;
  return recipe;
}

// Noise that no codec squeezes much: pixel (x, y) of frame n.
uint32_t Noise(int n, int x, int y) {
  uint32_t v = uint32_t(n * 7919 + y * 131 + x) * 2654435761u;
  v ^= v >> 13;
  return (v * 2246822519u) | 0xFF000000u;
}

// Videos are written behind a prefix, as in an archive volume, and opened
// on a handle positioned where they begin.
class BinkVideoTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetBink();
    TakeClock(1000);
  }
  void TearDown() override {
    for (HBINK b : open_) BinkClose(b);
    for (HANDLE h : files_) CloseHandle(h);
    ReleaseClock();
    ResetBink();
    PlatformTest::TearDown();
  }

  HBINK Open(const testkit::Bytes& video, uint32_t flags, size_t prefix = 40) {
    const std::string path = work_ + "/volume" + std::to_string(files_.size());
    testkit::Bytes file(prefix, 0xAB);
    file.insert(file.end(), video.begin(), video.end());
    file.insert(file.end(), 64, 0xCD);  // the next entry of the volume
    EXPECT_TRUE(testkit::WriteBytes(path.c_str(), file));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    files_.push_back(h);
    SetFilePointer(h, LONG(prefix), nullptr, FILE_BEGIN);
    HBINK b = BinkOpen(reinterpret_cast<const char*>(h), flags | BINKFILEHANDLE);
    if (b) open_.push_back(b);
    return b;
  }

  // Decodes the current frame and returns its pixel at (x, y).
  uint32_t Decode(HBINK b, int x = 0, int y = 0) {
    EXPECT_EQ(BinkDoFrame(b), 0);
    std::vector<uint32_t> pixels(size_t(b->Width) * b->Height, 0);
    EXPECT_EQ(BinkCopyToBuffer(b, pixels.data(), int32_t(b->Width * 4), b->Height, 0, 0, BINKSURFACE32A), 0);
    return pixels[size_t(y) * b->Width + size_t(x)];
  }

  std::vector<HBINK> open_;
  std::vector<HANDLE> files_;
};

TEST_F(BinkVideoTest, FramesDecodeExactlyInOrderAndWrap) {
  for (uint32_t flags : {0u, uint32_t(BINKPRELOADALL)}) {
    SCOPED_TRACE(flags);
    HBINK b = Open(testkit::BuildVideo(Clip(6, 48, 20)), flags);
    ASSERT_NE(b, nullptr) << BinkGetError();
    EXPECT_EQ(b->Width, 48u);
    EXPECT_EQ(b->Height, 20u);
    EXPECT_EQ(b->Frames, 6u);
    EXPECT_EQ(b->FrameRate / b->FrameRateDiv, 25u);
    EXPECT_EQ(b->FrameNum, 1u);
    EXPECT_EQ(b->NumTracks, 0u);
    for (int n = 0; n < 6; ++n) {
      EXPECT_EQ(Decode(b, 47, 19), testkit::VideoFrameColour(n)) << n;
      EXPECT_EQ(b->LastFrameNum, uint32_t(n + 1));
      BinkNextFrame(b);
    }
    EXPECT_EQ(b->FrameNum, 1u);
    EXPECT_EQ(Decode(b), testkit::VideoFrameColour(0));
  }
}

TEST_F(BinkVideoTest, PreloadReadsEverythingDuringTheOpen) {
  // Larger than what the reader buffers, so streaming reads as it plays.
  testkit::VideoSpec recipe = Clip(5, 128, 128);
  recipe.paint = [](int n, testkit::Picture& p) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const uint32_t v = Noise(n, x, y);
        std::memcpy(p.At(x, y), &v, 4);
      }
  };
  const testkit::Bytes video = testkit::BuildVideo(recipe);
  ASSERT_GT(video.size(), 200000u);
  HBINK whole = Open(video, BINKPRELOADALL);
  HBINK streamed = Open(video, 0);
  ASSERT_TRUE(whole && streamed);
  // The volume's descriptor can go once the open returned.
  CloseHandle(files_[0]);
  files_[0] = INVALID_HANDLE_VALUE;
  for (int n = 0; n < 5; ++n) {
    EXPECT_EQ(Decode(whole, 77, 101), Noise(n, 77, 101));
    EXPECT_EQ(Decode(streamed, 77, 101), Noise(n, 77, 101));
    BinkNextFrame(whole);
    BinkNextFrame(streamed);
  }
  EXPECT_EQ(BinkBytesReadAfterOpen(whole), 0u);
  EXPECT_GT(BinkBytesReadAfterOpen(streamed), 0u);
}

TEST_F(BinkVideoTest, GotoDecodesTheFrameAskedFor) {
  for (uint32_t flags : {0u, uint32_t(BINKPRELOADALL)}) {
    SCOPED_TRACE(flags);
    HBINK b = Open(testkit::BuildVideo(Clip(8)), flags);
    ASSERT_NE(b, nullptr);
    const struct {
      uint32_t target;
      int shown;
    } cases[] = {{6, 5}, {2, 1}, {0, 0}, {8, 7}, {99, 7}, {3, 2}};
    for (const auto& c : cases) {
      BinkGoto(b, c.target, BINKGOTOQUICK);
      EXPECT_EQ(Decode(b), testkit::VideoFrameColour(c.shown)) << c.target;
    }
  }
}

TEST_F(BinkVideoTest, AlphaPlaneOnlyWhenTheVideoHasOneAndItIsAsked) {
  auto paint = [](int, testkit::Picture& p) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.Set(x, y, 10, 20, 30, uint8_t(x * 4));
  };
  testkit::VideoSpec recipe = Clip(2);
  recipe.paint = paint;
  const testkit::Bytes opaque = testkit::BuildVideo(recipe);
  recipe.alpha = true;
  const testkit::Bytes withAlpha = testkit::BuildVideo(recipe);
  const struct {
    const testkit::Bytes* video;
    uint32_t flags;
    bool alpha;
  } cases[] = {{&withAlpha, BINKALPHA, true}, {&withAlpha, 0, false}, {&opaque, BINKALPHA, false}};
  for (const auto& c : cases) {
    HBINK b = Open(*c.video, c.flags);
    ASSERT_NE(b, nullptr);
    BINKFRAMEBUFFERS info{};
    BinkGetFrameBuffersInfo(b, &info);
    EXPECT_EQ(info.Frames[0].APlane.Allocate != 0, c.alpha);
    const uint32_t pixel = Decode(b, 5, 3);
    EXPECT_EQ(pixel & 0xFFFFFF, 10u | 20u << 8 | 30u << 16);
    EXPECT_EQ(pixel >> 24, c.alpha ? 20u : 255u);
  }
}

TEST_F(BinkVideoTest, CopyStaysInsideTheBuffer) {
  HBINK b = Open(testkit::BuildVideo(Clip(1, 16, 8)), 0);
  ASSERT_NE(b, nullptr);
  std::vector<uint32_t> buffer(10 * 5 + 1, 0x12345678);  // 10 pixels a row, 5 rows, a guard
  EXPECT_EQ(BinkCopyToBuffer(b, buffer.data(), 40, 5, 0, 0, BINKSURFACE32A), 1);  // nothing decoded yet
  ASSERT_EQ(BinkDoFrame(b), 0);
  EXPECT_EQ(BinkCopyToBuffer(b, buffer.data(), 40, 5, 4, 2, BINKSURFACE32A), 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(buffer[size_t(y * 10 + x)], y >= 2 && x >= 4 ? testkit::VideoFrameColour(0) : 0x12345678u)
          << x << "," << y;
  EXPECT_EQ(buffer.back(), 0x12345678u);
  EXPECT_EQ(BinkCopyToBuffer(b, buffer.data(), 40, 5, 10, 0, BINKSURFACE32A), 1);
  EXPECT_EQ(BinkCopyToBuffer(b, buffer.data(), 40, 5, 0, 5, BINKSURFACE32A), 1);
  EXPECT_EQ(BinkCopyToBuffer(b, buffer.data(), 40, 5, 0, 0, 7), 1);
}

TEST_F(BinkVideoTest, PacingFollowsThePlatformClock) {
  HBINK b = Open(testkit::BuildVideo(Clip(4)), 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(BinkWait(b), 0);  // the first frame is due at once
  BinkNextFrame(b);
  EXPECT_EQ(BinkWait(b), 1);
  AdvanceClock(39);
  EXPECT_EQ(BinkWait(b), 1);
  AdvanceClock(1);
  EXPECT_EQ(BinkWait(b), 0);
  EXPECT_EQ(BinkPause(b, 1), 1);
  AdvanceClock(1000);
  EXPECT_EQ(BinkWait(b), 1);
  EXPECT_EQ(BinkPause(b, 0), 0);
  EXPECT_EQ(BinkWait(b), 0);  // resumes with the frame it stopped at
  BinkNextFrame(b);
  EXPECT_EQ(BinkWait(b), 1);

  // A rate of its own: 10 frames a second.
  BinkSetFrameRate(10, 1);
  HBINK slow = Open(testkit::BuildVideo(Clip(4)), BINKFRAMERATE);
  ASSERT_NE(slow, nullptr);
  EXPECT_EQ(slow->FrameRate, 10u);
  EXPECT_EQ(slow->FrameRateDiv, 1u);
  BinkNextFrame(slow);
  AdvanceClock(99);
  EXPECT_EQ(BinkWait(slow), 1);
  AdvanceClock(1);
  EXPECT_EQ(BinkWait(slow), 0);
}

// A 400 ms video whose stereo track is a ramp: frame i is (i, -i).
testkit::Bytes RampVideo() {
  testkit::VideoSpec recipe = Clip(10);
  recipe.audioRate = 8000;
  recipe.audioChannels = 2;
  for (int i = 0; i < 3200; ++i) {
    recipe.audio.push_back(int16_t(i));
    recipe.audio.push_back(int16_t(-i));
  }
  return testkit::BuildVideo(recipe);
}

class BinkSoundTest : public BinkVideoTest {
 protected:
  void SetUp() override {
    BinkVideoTest::SetUp();
    ResetFmod();
    ASSERT_EQ(FMOD_System_Create(&system_), FMOD_OK);
    ASSERT_EQ(system_->init(16, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    void* output = nullptr;
    ASSERT_EQ(system_->getOutputHandle(&output), FMOD_OK);
    ASSERT_EQ(BinkSetSoundSystem(BinkOpenDirectSound, reinterpret_cast<UINT_PTR>(output)), 1);
  }
  void TearDown() override {
    for (HBINK b : open_) BinkClose(b);
    open_.clear();
    if (system_) system_->release();
    ResetFmod();
    BinkVideoTest::TearDown();
  }
  // The video's channel in the sound layer, after an update.
  std::vector<FmodChannelState> Streams() {
    system_->update();
    std::vector<FmodChannelState> out;
    for (const FmodChannelState& c : FmodChannels())
      if (c.stream) out.push_back(c);
    return out;
  }

  FMOD::System* system_ = nullptr;
};

TEST_F(BinkVideoTest, ATrackNeedsALiveSoundSystem) {
  int device = 0;
  testkit::VideoSpec recipe = Clip(5);
  recipe.audio.assign(8820, 100);
  const testkit::Bytes video = testkit::BuildVideo(recipe);
  HBINK none = Open(video, 0);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->NumTracks, 1u);
  EXPECT_FALSE(BinkTrack(none).opened);
  // Any other handle than a sound system's output plays nothing.
  ASSERT_EQ(BinkSetSoundSystem(BinkOpenDirectSound, reinterpret_cast<UINT_PTR>(&device)), 1);
  HBINK stray = Open(video, BINKPRELOADALL);
  ASSERT_NE(stray, nullptr);
  EXPECT_FALSE(BinkTrack(stray).opened);
  EXPECT_EQ(stray->SoundOn, 0u);
  EXPECT_EQ(Decode(stray), testkit::VideoFrameColour(0));
}

TEST_F(BinkSoundTest, TrackPlaysOnTheMasterGroupInStepWithThePicture) {
  const testkit::Bytes video = RampVideo();
  for (uint32_t flags : {0u, uint32_t(BINKPRELOADALL)}) {
    SCOPED_TRACE(flags);
    HBINK b = Open(video, flags);
    ASSERT_NE(b, nullptr);
    const BinkTrackState track = BinkTrack(b);
    EXPECT_TRUE(track.opened);
    EXPECT_EQ(track.frequency, 8000u);
    EXPECT_EQ(track.channels, 2);
    EXPECT_EQ(b->SoundOn, 1u);
    std::vector<FmodChannelState> playing = Streams();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].handle, track.channel);
    EXPECT_EQ(playing[0].group, "master");
    EXPECT_FLOAT_EQ(playing[0].volume, 1.0f);
    EXPECT_FALSE(playing[0].paused);
    EXPECT_EQ(playing[0].lengthMs, 400u);

    // 32768 is the track's own level; more cannot be louder.
    BinkSetVolume(b, 0, 8192);
    EXPECT_FLOAT_EQ(Streams()[0].volume, 0.25f);
    BinkSetVolume(b, 0, 65536);
    EXPECT_FLOAT_EQ(Streams()[0].volume, 1.0f);
    BinkSetVolume(b, 0, 16384);

    AdvanceClock(100);
    EXPECT_EQ(Streams()[0].positionMs, 100u);
    BinkPause(b, 1);
    AdvanceClock(100);
    playing = Streams();
    EXPECT_TRUE(playing[0].paused);
    EXPECT_EQ(playing[0].positionMs, 100u);
    BinkPause(b, 0);

    // A jump takes the sound along: frame 6 starts at 200 ms.
    BinkGoto(b, 6, 0);
    playing = Streams();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].positionMs, 200u);
    EXPECT_FLOAT_EQ(playing[0].volume, 0.5f);

    EXPECT_EQ(BinkSetSoundOnOff(b, 0), 0);
    EXPECT_TRUE(Streams().empty());
    BinkGoto(b, 3, 0);  // silent while off
    EXPECT_TRUE(Streams().empty());
    EXPECT_EQ(BinkSetSoundOnOff(b, 1), 1);
    playing = Streams();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].positionMs, 80u);

    // The track ends with its data; the picture wrapping round restarts it.
    AdvanceClock(400);
    EXPECT_TRUE(Streams().empty());
    BinkGoto(b, 10, 0);
    BinkNextFrame(b);
    playing = Streams();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].positionMs, 0u);

    BinkClose(b);
    open_.pop_back();
    EXPECT_TRUE(Streams().empty());
    EXPECT_EQ(FmodSystem().sounds, 0);
  }
}

TEST_F(BinkSoundTest, TheLayerIsGivenTheTracksOwnSamples) {
  const testkit::Bytes video = RampVideo();
  for (uint32_t flags : {0u, uint32_t(BINKPRELOADALL)}) {
    SCOPED_TRACE(flags);
    HBINK b = Open(video, flags);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(BinkTrackSamples(b, 1000, 2), (std::vector<int16_t>{1000, -1000, 1001, -1001}));
    EXPECT_EQ(BinkTrackSamples(b, 0, 1), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(BinkTrackSamples(b, 3199, 4), (std::vector<int16_t>{3199, -3199}));
    EXPECT_TRUE(BinkTrackSamples(b, 3201, 1).empty());  // past the end
  }
  // The whole track comes out, and nothing after it.
  HBINK b = Open(video, 0);
  ASSERT_NE(b, nullptr);
  const std::vector<int16_t> all = BinkTrackSamples(b, 0, 4000);
  ASSERT_EQ(all.size(), 6400u);
  for (int i = 0; i < 3200; i += 797) EXPECT_EQ(all[size_t(i) * 2 + 1], -i);
}

TEST_F(BinkSoundTest, AVideoOutlivingItsSoundSystemIsSafe) {
  HBINK b = Open(RampVideo(), BINKPRELOADALL);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(Streams().size(), 1u);
  system_->release();
  system_ = nullptr;
  BinkPause(b, 1);
  BinkSetVolume(b, 0, 1000);
  BinkGoto(b, 2, 0);
  EXPECT_TRUE(BinkTrackSamples(b, 0, 1).empty());
  EXPECT_EQ(Decode(b), testkit::VideoFrameColour(1));
}

TEST_F(BinkVideoTest, BadFilesAreRefusedWithAReason) {
  const testkit::Bytes video = testkit::BuildVideo(Clip(6));
  const testkit::Bytes garbage(3000, 0x5A);
  const testkit::Bytes empty;
  for (const testkit::Bytes* bytes : {&garbage, &empty}) {
    EXPECT_EQ(Open(*bytes, 0, 0), nullptr);
    EXPECT_STRNE(BinkGetError(), "");
  }
  EXPECT_EQ(BinkOpen("C:\\no\\such.bik", 0), nullptr);
  EXPECT_STRNE(BinkGetError(), "");
  EXPECT_EQ(BinkOpen(reinterpret_cast<const char*>(INVALID_HANDLE_VALUE), BINKFILEHANDLE), nullptr);

  // Cut anywhere, a video either fails to open or decodes what it has.
  for (size_t cut = 0; cut < video.size(); cut += 97) {
    testkit::Bytes part(video.begin(), video.begin() + long(cut));
    HBINK b = Open(part, (cut & 1) ? BINKPRELOADALL : 0, 0);
    if (!b) continue;
    std::vector<uint32_t> pixels(size_t(b->Width) * b->Height);
    for (uint32_t n = 0; n < b->Frames + 1; ++n) {
      if (BinkDoFrame(b) == 0) {
        EXPECT_EQ(BinkCopyToBuffer(b, pixels.data(), int32_t(b->Width * 4), b->Height, 0, 0, BINKSURFACE32A), 0);
      }
      BinkNextFrame(b);
    }
  }
}

TEST_F(BinkVideoTest, StopsAtItsOwnEndWhateverFollows) {
  // Another video right behind, as the next entry of a volume.
  testkit::Bytes both = testkit::BuildVideo(Clip(3));
  const testkit::Bytes next = testkit::BuildVideo(Clip(5));
  both.insert(both.end(), next.begin(), next.end());
  for (uint32_t flags : {0u, uint32_t(BINKPRELOADALL)}) {
    HBINK b = Open(both, flags);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Frames, 3u);
    BinkGoto(b, 3, 0);
    EXPECT_EQ(Decode(b), testkit::VideoFrameColour(2));
  }
}

TEST_F(BinkVideoTest, OpensByPath) {
  const std::string path = work_ + "/intro.mkv";
  ASSERT_TRUE(testkit::WriteBytes(path.c_str(), testkit::BuildVideo(Clip(3))));
  HBINK b = BinkOpen(path.c_str(), 0);
  ASSERT_NE(b, nullptr) << BinkGetError();
  open_.push_back(b);
  BinkGoto(b, 3, 0);
  EXPECT_EQ(Decode(b), testkit::VideoFrameColour(2));
}

}  // namespace
