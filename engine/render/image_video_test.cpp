// Images that show a video: the engine image file's header followed by the
// video, stored in the archive uncompressed so it plays from the volume.
#include <memory>
#include <string>
#include <vector>

#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "platform/bink/testing.h"
#include "platform/win32/testing.h"
#include "tools/video_writer.h"

namespace pt = platform::testing;

namespace {

std::vector<std::string> gCalls;

void RecordCall(cTarvelScript* script, const char* name)
{
    // The gameplay start-up's call of "Main::Init" is not the test's.
    if (script != gTarvel.mGameplay.mMainScript)
        gCalls.push_back(name);
}

testkit::VideoSpec Clip(int frames, int width = 40, int height = 20)
{
    testkit::VideoSpec recipe;
    recipe.frames = frames;
    recipe.width = width;
    recipe.height = height;
    recipe.rate = 25;   // 40 ms a frame
    return recipe;
}

testkit::Bytes VideoImage(uint32_t code, const testkit::Bytes& video, int width = 40, int height = 20,
                          uint8_t rate = 0)
{
    testkit::ImageHeader header;
    header.width = width;
    header.height = height;
    header.code = code;
    header.frameRate = rate;
    header.frameCount = 1;
    return testkit::BuildImageFile(header, {&video, 1});
}

class ImageVideoTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        gCalls.clear();
        cTarvelScript::sCallObserver = RecordCall;
    }
    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        RenderTest::TearDown();
    }

    std::unique_ptr<cTarvelImage> Load(const char* name)
    {
        auto image = std::make_unique<cTarvelImage>(false);
        EXPECT_EQ(image->ReadFile(name), 0);
        return image;
    }

    // The colour at the texture's top-left texel, as 0xAARRGGBB.
    static uint32_t Shown(cTarvelImage& image) { return Pixels(image.GetCurrentFrame()).at(0); }
    static uint32_t Colour(int frame) { return testkit::VideoFrameColour(frame); }
};

TEST_F(ImageVideoTest, FramesAreCopiedAtTheVideosRate)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "whole", 4, VideoImage(kImageVideoWhole, testkit::BuildVideo(Clip(8))), false);
        writer.AddShared(1, "streamed", 4, VideoImage(kImageVideoStreamed, testkit::BuildVideo(Clip(8))), false);
    });
    for (const char* name : {"whole", "streamed"}) {
        SCOPED_TRACE(name);
        auto image = Load(name);
        ASSERT_NE(image->mVideo, nullptr);
        // Only a streamed video keeps its slot.
        EXPECT_EQ(image->mSlot != -1, std::string(name) == "streamed");
        EXPECT_EQ(Shown(*image), 0xFFFFFFFFu);   // white until the first decode

        image->Play(kImageLoop, 0);
        EXPECT_EQ(image->mCurrentFrame, 0);
        EXPECT_EQ(Shown(*image), Colour(0));
        const std::vector<uint32_t> pixels = Pixels(image->GetCurrentFrame());
        EXPECT_EQ(pixels[19 * 64 + 39], Colour(0));   // the picture's last texel
        EXPECT_EQ(pixels[19 * 64 + 40], 0u);          // beside it, still clear
        image->Update();                              // not yet time
        EXPECT_EQ(Shown(*image), Colour(0));
        pt::AdvanceClock(39);
        image->Update();
        EXPECT_EQ(image->mCurrentFrame, 0);
        pt::AdvanceClock(1);
        image->Update();
        EXPECT_EQ(image->mCurrentFrame, 1);
        EXPECT_EQ(image->mLastDecodedFrame, 1);
        EXPECT_EQ(Shown(*image), Colour(1));
    }
}

TEST_F(ImageVideoTest, ClipEndsLoopAndCallBack)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "clip", 4, VideoImage(kImageVideoStreamed, testkit::BuildVideo(Clip(5))), false);
    });
    cTarvelScript script("clip");
    auto run = [&](cTarvelImage& image, int frames) {
        std::vector<int> seen;
        for (int i = 0; i < frames; ++i) {
            pt::AdvanceClock(40);
            image.Update();
            seen.push_back(image.mCurrentFrame);
        }
        return seen;
    };

    // Once: the clip ends one frame before the video's last, paused there.
    auto once = Load("clip");
    once->mCallbackName = "OnEnd";
    once->mCallbackScript = &script;
    once->mCallbackSerial = script.mSerial;
    once->Play(kImageOnce, 0);
    EXPECT_EQ(run(*once, 5), (std::vector<int>{1, 2, 3, 3, 3}));
    EXPECT_EQ(once->mPlayMode, kImageStopped);
    EXPECT_EQ(once->mFinished, 1);
    EXPECT_NE(once->mVideo->Paused, 0u);
    EXPECT_EQ(Shown(*once), Colour(3));
    EXPECT_EQ(gCalls, std::vector<std::string>{"OnEnd"});

    // Loop: back to frame 0 each time; the callback fires at the first end only.
    gCalls.clear();
    auto loop = Load("clip");
    loop->mCallbackName = "OnLoop";
    loop->mCallbackScript = &script;
    loop->mCallbackSerial = script.mSerial;
    loop->Play(kImageLoop, 0);
    EXPECT_EQ(run(*loop, 9), (std::vector<int>{1, 2, 0, 0, 1, 2, 0, 0, 1}));
    EXPECT_EQ(Shown(*loop), Colour(1));
    EXPECT_EQ(loop->mFinished, 0);
    EXPECT_EQ(gCalls, std::vector<std::string>{"OnLoop"});
}

TEST_F(ImageVideoTest, SeekingAndPausing)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "clip", 4, VideoImage(kImageVideoWhole, testkit::BuildVideo(Clip(8))), false);
    });
    auto image = Load("clip");
    image->Play(kImageOnce, 0);
    // SetFrame (n) shows the video's frame n + 1, counted from 1.
    for (int frame : {4, 0, 5, 2}) {
        image->SetFrame(frame);
        EXPECT_EQ(image->mCurrentFrame, frame);
        EXPECT_EQ(Shown(*image), Colour(frame));
    }
    // Mode 0 pauses where it is.
    image->Play(kImageStopped, 0);
    EXPECT_NE(image->mVideo->Paused, 0u);
    pt::AdvanceClock(1000);
    image->Update();
    EXPECT_EQ(Shown(*image), Colour(2));
    // Played on, the video runs to its end; stopping it then shows its last frame.
    image->Play(kImageOnce, 5);
    for (int i = 0; i < 5; ++i) {
        pt::AdvanceClock(40);
        image->Update();
    }
    EXPECT_EQ(image->mFinished, 1);
    image->Play(kImageStopped, 0);
    EXPECT_EQ(Shown(*image), Colour(6));
}

TEST_F(ImageVideoTest, OwnFrameRateAlphaAndVolume)
{
    testkit::VideoSpec alpha = Clip(4);
    alpha.alpha = true;
    alpha.paint = [](int, testkit::Picture& p) {
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                p.Set(x, y, 1, 2, 3, 77);
    };
    testkit::VideoSpec sound = Clip(4);
    sound.audio.assign(4000, 0);
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "slow", 4, VideoImage(kImageVideoWhole, testkit::BuildVideo(Clip(4)), 40, 20, 10), false);
        writer.AddShared(1, "alpha", 4, VideoImage(kImageVideoWhole, testkit::BuildVideo(alpha)), false);
        writer.AddShared(1, "sound", 4, VideoImage(kImageVideoWhole, testkit::BuildVideo(sound)), false);
    });
    // The header's frame rate byte overrides the video's: 10 a second.
    auto slow = Load("slow");
    EXPECT_EQ(slow->mVideo->FrameRate, 10u);
    slow->Play(kImageLoop, 0);
    pt::AdvanceClock(99);
    slow->Update();
    EXPECT_EQ(slow->mCurrentFrame, 0);
    pt::AdvanceClock(1);
    slow->Update();
    EXPECT_EQ(slow->mCurrentFrame, 1);

    auto withAlpha = Load("alpha");
    EXPECT_EQ(withAlpha->mHeader.alpha, 1u);
    withAlpha->SetFrame(0);
    EXPECT_EQ(Shown(*withAlpha), 77u << 24 | 3u << 16 | 2u << 8 | 1u);
    EXPECT_EQ(slow->mHeader.alpha, 0u);

    for (uint32_t volume : {255u, 0u}) {
        gTarvel.mConfig.SFXVolume = volume;
        auto image = Load("sound");
        EXPECT_EQ(pt::BinkTrack(image->mVideo).volume, int32_t(volume * 128));
    }
}

TEST_F(ImageVideoTest, VideosThatCannotPlay)
{
    testkit::Bytes broken(600, 0x33);
    StartWith([&](testkit::ArchiveWriter& writer) {
        // Compressed entries have no file handle: the white frame stays.
        writer.AddShared(1, "packed", 4, VideoImage(kImageVideoStreamed, testkit::BuildVideo(Clip(3))), true);
        writer.AddShared(1, "broken", 4, VideoImage(kImageVideoStreamed, broken), false);
    });
    auto packed = Load("packed");
    EXPECT_EQ(packed->mVideo, nullptr);
    EXPECT_EQ(packed->mSlot, -1);
    packed->Play(kImageLoop, 0);
    packed->Update();
    EXPECT_EQ(Shown(*packed), 0xFFFFFFFFu);

    const std::string text = CatchFatalError([] {
        cTarvelImage image(false);
        image.ReadFile("broken");
    });
    EXPECT_NE(text.find("Video stream init failed: "), std::string::npos) << text;
    EXPECT_NE(text.find("cTarvelImage::InitBink"), std::string::npos) << text;
}

TEST_F(ImageVideoTest, OpenVideoTakesTheVideosOwnValues)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "wide", 12, testkit::BuildVideo(Clip(6, 320, 40)), false);
        writer.AddShared(1, "tiny", 12, testkit::BuildVideo(Clip(3, 16, 8)), false);
    });
    cTarvelResource& resources = gTarvel.mResources;
    const struct {
        const char* name;
        bool whole;
        int32_t width, height;
        uint32_t textureWidth, textureHeight, frameCount;
    } cases[] = {{"wide", false, 320, 64, 512, 64, 5}, {"tiny", true, 64, 64, 64, 64, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int slot = resources.OpenResource(c.name, 12);
        cTarvelImage image(false);
        ASSERT_EQ(image.OpenVideo(slot, c.whole), 0);
        EXPECT_EQ(image.mHeader.width, c.width);
        EXPECT_EQ(image.mHeader.height, c.height);
        EXPECT_EQ(image.mTextureWidth, c.textureWidth);
        EXPECT_EQ(image.mTextureHeight, c.textureHeight);
        EXPECT_EQ(image.mHeader.frameCount, c.frameCount);
        EXPECT_EQ(image.mHeader.frameRate, 25u);
        EXPECT_EQ(image.mSlot == -1, c.whole);
        if (image.mSlot == -1)
            resources.CloseResource(slot);
    }
}

} // namespace
