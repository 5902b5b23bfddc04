#include "engine/render/video.h"

#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "engine/gameplay/cancel_request.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/bink/testing.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
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

testkit::Bytes Video(int frames, int width = 64, int height = 32, bool sound = false)
{
    testkit::VideoSpec recipe;
    if (sound)
        recipe.audio.assign(8000, 0);
    recipe.frames = frames;
    recipe.width = width;
    recipe.height = height;
    recipe.rate = 25;   // 40 ms a frame
    return testkit::BuildVideo(recipe);
}

testkit::Bytes Text(const std::string& text)
{
    return testkit::Bytes(text.begin(), text.end());
}

std::vector<std::string> Parse(const std::string& text)
{
    tArray<sSubtitleCue> cues;
    ParseSubtitles(reinterpret_cast<const uint8_t*>(text.data()), text.size(), cues);
    std::vector<std::string> out;
    for (int32_t i = 0; i < cues.Count(); ++i)
        out.push_back(std::to_string(cues[i].start) + "|" + std::to_string(cues[i].end) + "|" +
                      cues[i].text.c_str());
    return out;
}

TEST(Subtitles, LinesReadAsTheRuntimeReadsThem)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string longText(1100, 'x');
    const struct {
        std::string file;
        std::vector<std::string> cues;
    } cases[] = {
        {bom + "12-40,Hello\n50-60,World\n", {"12|40|Hello", "50|60|World"}},
        {"12-40,Hello\r\n50-60,a, b - c\r\n", {"12|40|Hello", "50|60|a, b - c"}},
        {"5-6,last line without end", {"5|6|last line without end"}},
        // "0" ends the list, wherever it stands.
        {"1-2,a\n0\n3-4,b\n", {"1|2|a"}},
        {"05-9,zero first\n", {}},
        // Lines without both separators are left out.
        {"hello\n7-8\n9,10\n-,x\n11-12,ok\n", {"0|0|x", "11|12|ok"}},
        // Every line may start with bytes of 0x80 and above; a Ctrl-Z ends the text.
        {"1-2,\xC3\xA9t\xC3\xA9\n\xFF\xFE" "3-4,b\n\x1A" "5-6,c\n", {"1|2|\xC3\xA9t\xC3\xA9", "3|4|b"}},
        {"", {}},
        // A line longer than the reader's buffer comes in two reads.
        {"1-2," + longText + "\n3-4,y\n", {"1|2|" + std::string(1019, 'x'), "3|4|y"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.file), c.cues) << c.file.substr(0, 40);
}

class VideoTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        gCalls.clear();
        cTarvelScript::sCallObserver = RecordCall;
    }
    void TearDown() override
    {
        delete gTarvel.mMovie;
        if (gTarvel.mCutSceneMovie != gTarvel.mMovie)
            delete gTarvel.mCutSceneMovie;
        gTarvel.mMovie = nullptr;
        gTarvel.mCutSceneMovie = nullptr;
        cTarvelScript::sCallObserver = nullptr;
        RenderTest::TearDown();
    }

    // Plays a movie the way the script API starts one when none is current.
    cTarvelVideo* Start(const char* name, bool cutScene = false)
    {
        auto* movie = new cTarvelVideo;
        if (movie->Play(name, cutScene) != 0) {
            delete movie;
            return nullptr;
        }
        EXPECT_EQ(gTarvel.mCutSceneMovie, movie);
        gTarvel.mMovie = movie;
        gTarvel.mCutSceneMovie = nullptr;
        return movie;
    }

    // The clock moves on; the current movie and the sound system run a frame.
    void Frame(uint32_t ms)
    {
        pt::AdvanceClock(ms);
        gTarvel.mSound.Update();
        if (gTarvel.mMovie) {
            gTarvel.mMovie->Update();
            if (gTarvel.mMovie)
                gTarvel.mMovie->Draw();
        }
    }

    static testkit::Bytes Ogg(double seconds)
    {
        return pt::EncodeOgg(pt::MakeTone(seconds, 8000, 1, 440), 8000, 1);
    }
};

TEST_F(VideoTest, MoviePlaysEndsAndCallsBack)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, Video(6), false);
    });
    cTarvelScript script("main");
    cTarvelScene scene;
    cTarvelView view;
    gTarvel.mScene = &scene;
    cTarvelVideo* movie = Start("intro");
    ASSERT_NE(movie, nullptr);
    movie->mView = &view;
    ASSERT_NE(movie->mImage, nullptr);
    ASSERT_NE(movie->mImage->mVideo, nullptr);
    movie->mScript = &script;
    movie->mScriptSerial = script.mSerial;
    movie->mLabel = "#120";
    EXPECT_EQ(movie->mImage->mPlayMode, kImageOnce);
    EXPECT_FLOAT_EQ(movie->mImage->mColormap, 2.0f);
    EXPECT_EQ(movie->mImage->mSlot != -1, true);   // streamed from its slot

    EXPECT_EQ(movie->mImage->mCurrentFrame, 0);
    EXPECT_EQ(Pixels(movie->mImage->GetCurrentFrame()).at(0), testkit::VideoFrameColour(0));

    std::vector<int> frames;
    for (int i = 0; i < 10 && gTarvel.mMovie; ++i) {
        Frame(40);
        frames.push_back(gTarvel.mMovie ? gTarvel.mMovie->mImage->mCurrentFrame : -1);
    }
    // The clip ends one frame before the video's last; the movie goes at the
    // update after.
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, -1}));
    EXPECT_EQ(gCalls, std::vector<std::string>{"#120"});
    // Its view is selected as it ends.
    EXPECT_EQ(scene.mView, &view);
    gTarvel.mScene = nullptr;
}

TEST_F(VideoTest, TheNextMovieTakesOverAndDeadScriptsAreNotCalled)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "first", 12, Video(3), false);
        writer.AddShared(1, "second", 12, Video(4), false);
    });
    cTarvelVideo* first = Start("first");
    auto* script = new cTarvelScript("gone");
    first->mScript = script;
    first->mScriptSerial = script->mSerial;
    first->mLabel = "OnEnd";
    delete script;
    auto* second = new cTarvelVideo;
    ASSERT_EQ(second->Play("second", false), 0);
    EXPECT_EQ(gTarvel.mCutSceneMovie, second);
    first->mImage->mFinished = 1;
    Frame(0);
    EXPECT_EQ(gTarvel.mMovie, second);
    EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(VideoTest, APendingMovieThatAnotherReplacesGoesAndItsScriptGoesOn)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "first", 12, Video(3), false);
        writer.AddShared(1, "second", 12, Video(4), false);
    });
    cTarvelVideo* first = Start("first");
    cTarvelScript script("waiting");
    auto* pending = new cTarvelVideo;
    ASSERT_EQ(pending->Play("second", false), 0);
    pending->mScript = &script;
    pending->mScriptSerial = script.mSerial;
    pending->mLabel = "#77";
    auto* next = new cTarvelVideo;
    testing::internal::CaptureStderr();
    ASSERT_EQ(next->Play("second", false), 0);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr("Script waiting: a newer wait took the place of its wait; it goes on at #77."));
    // The replaced movie is deleted here (the leak check would see it
    // otherwise); its script goes on at the next frame, not inside Play.
    EXPECT_EQ(gTarvel.mCutSceneMovie, next);
    EXPECT_EQ(gTarvel.mMovie, first);
    EXPECT_TRUE(gCalls.empty());
    pt::AdvanceClock(16);
    gTarvel.mTimer.Update();
    EXPECT_EQ(gCalls, std::vector<std::string>{"#77"});
}

TEST_F(VideoTest, MissingMovieStartsNothing)
{
    StartWith(nullptr);
    cTarvelVideo movie;
    EXPECT_EQ(movie.Play("nothing", false), -1);
    EXPECT_EQ(movie.mImage, nullptr);
    EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
}

TEST_F(VideoTest, EscapeAsksFirstAndSkipsSecond)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, Video(20), false);
        writer.AddShared(1, "intro", 10, Ogg(2.0), false);
        testkit::ImageHeader header;
        header.width = 4;
        header.height = 4;
        header.frameRate = 10;
        std::vector<testkit::Picture> pictures(3, testkit::Picture(4, 4));
        writer.AddShared(1, "cut", 4, testkit::BuildRawImageFile(header, pictures), false);
    });
    cTarvelVideo* movie = Start("intro");
    ASSERT_NE(movie->mChannel, nullptr);
    movie->Skip();
    ASSERT_EQ(gScreenControls.Count(), 1);
    EXPECT_EQ(gScreenControls[0]->mTypeId, 4);
    Frame(40);
    EXPECT_EQ(gTarvel.mMovie, movie);
    movie->Skip();
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_EQ(movie->mImage->mFinished, 1);
    bool playing = true;
    movie->mChannel->isPlaying(&playing);
    EXPECT_FALSE(playing);
    Frame(40);
    EXPECT_EQ(gTarvel.mMovie, nullptr);

    // Over a control that is not a bar the prompt does not come.
    cTarvelScreenControl other;
    gScreenControls.Add(&other);
    movie = Start("intro");
    movie->Skip();
    EXPECT_EQ(gScreenControls.Count(), 1);
    gScreenControls.Clear();
    // Over the verb bar or the dialogue bar it does.
    for (cTarvelScreenControl* bar : {static_cast<cTarvelScreenControl*>(&gTarvel.mVerbBar),
                                      static_cast<cTarvelScreenControl*>(&gTarvel.mDialogueBar)}) {
        gScreenControls.Add(bar);
        movie->Skip();
        ASSERT_EQ(gScreenControls.Count(), 2);
        EXPECT_EQ(gScreenControls[1]->mTypeId, 4);
        movie->Skip();   // the second takes it away and ends the movie
        EXPECT_EQ(gScreenControls.Count(), 1);
        EXPECT_EQ(movie->mImage->mFinished, 1);
        movie->mImage->mFinished = 0;
        gScreenControls.Clear();
    }
    delete gTarvel.mMovie;
    gTarvel.mMovie = nullptr;

    // A cut-scene cannot be skipped.
    movie = Start("cut", true);
    ASSERT_NE(movie, nullptr);
    movie->Skip();
    movie->Skip();
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_EQ(movie->mImage->mFinished, 0);
}

TEST_F(VideoTest, SoundLeadsThePictureAndPlaysOut)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, Video(10), false);
        writer.AddShared(1, "intro", 10, Ogg(3.0), false);
    });
    gTarvel.mConfig.SFXVolume = 255;
    cTarvelVideo* movie = Start("intro");
    ASSERT_NE(movie->mSound, nullptr);
    ASSERT_NE(movie->mChannel, nullptr);
    // 200 ms into the sound is frame floor(200 / 40) + 1 = 6: the picture
    // steps until it is past it.
    Frame(200);
    EXPECT_EQ(movie->mImage->mCurrentFrame, 7);
    const std::vector<uint32_t> pixels = Pixels(movie->mImage->GetCurrentFrame());
    EXPECT_EQ(pixels.at(0), testkit::VideoFrameColour(7));
    // The picture ends at frame 8; the sound goes on and the movie is gone.
    Frame(40);
    Frame(40);
    EXPECT_EQ(gTarvel.mMovie, nullptr);
    ASSERT_NE(gTarvel.mSound.mOneShotChannel, nullptr);
    bool playing = false;
    gTarvel.mSound.mOneShotChannel->isPlaying(&playing);
    EXPECT_TRUE(playing);
    // Once it has stopped, the sound system lets it go.
    Frame(3000);
    Frame(40);
    EXPECT_EQ(gTarvel.mSound.mOneShotChannel, nullptr);
    EXPECT_EQ(gTarvel.mSound.mOneShotRecord, nullptr);
}

TEST_F(VideoTest, SubtitlesAreTimedFromTheirResource)
{
    const std::string bom = "\xEF\xBB\xBF";
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, Video(12), false);
        writer.AddShared(1, "intro", 9, Text(bom + "2-4,First\r\n6-7,Second\r\n"), false);
        writer.AddShared(1, "after", 9, Text("1-2,x\n"), false);
    });
    for (uint32_t setting : {0u, 1u}) {
        gTarvel.mConfig.Subtitle = setting;
        cTarvelVideo movie;
        ASSERT_EQ(movie.Play("intro", false), 0);
        gTarvel.mCutSceneMovie = nullptr;
        ASSERT_EQ(movie.mCues.Count(), setting ? 2 : 0);
        if (!setting)
            continue;
        EXPECT_STREQ(movie.mCues[0].text.c_str(), "First");
        // The volume's descriptor stays usable for the next reader.
        const int slot = gTarvel.mResources.OpenResource("after", 9);
        char byte = 0;
        gTarvel.mResources.Read(slot, &byte, 1);
        gTarvel.mResources.CloseResource(slot);
        EXPECT_EQ(byte, '1');

        std::vector<std::string> shown;
        for (int frame = 0; frame <= 9; ++frame) {
            movie.mImage->mCurrentFrame = frame;
            movie.UpdateSubtitles();
            shown.push_back(movie.mSubtitle ? (movie.mCues.Count() == 2 ? "First" : "Second") : "-");
        }
        // Shown after the start frame, through the end frame.
        EXPECT_EQ(shown, (std::vector<std::string>{"-", "-", "-", "First", "First", "-", "-", "Second", "-", "-"}));
        EXPECT_EQ(movie.mCues.Count(), 0);
    }
}

TEST_F(VideoTest, TheWorldUpdateRunsTheCurrentMovieAndItsSubtitles)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro2", 12, Video(6), false);
        writer.AddShared(1, "intro2", 9, Text("1-3,shown\n"), false);
    });
    gTarvel.mConfig.Subtitle = 1;
    Start("intro2");
    // As the main loop runs a frame: the world update, then the drawing,
    // which steps the picture by its own clock.
    auto frame = [] {
        pt::AdvanceClock(40);
        gTarvel.mGameplay.UpdateWorld();
        gTarvel.mGraphics.RenderFrame();
    };
    frame();
    frame();
    EXPECT_EQ(gTarvel.mMovie->mImage->mCurrentFrame, 2);
    EXPECT_EQ(gTarvel.mMovie->mSubtitle, nullptr);   // frame 1 was not past the start
    frame();
    ASSERT_NE(gTarvel.mMovie->mSubtitle, nullptr);
    for (int i = 0; i < 4 && gTarvel.mMovie; ++i)
        frame();
    EXPECT_EQ(gTarvel.mMovie, nullptr);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 0);
}

TEST_F(VideoTest, CutSceneAppliesItsCameraRecordsFrameByFrame)
{
    std::vector<float> records;
    for (int n = 0; n < 4; ++n)
        for (int i = 0; i < 8; ++i)
            records.push_back(float(n * 10 + i));
    testkit::Bytes camera(records.size() * 4);
    std::memcpy(camera.data(), records.data(), camera.size());
    StartWith([&](testkit::ArchiveWriter& writer) {
        testkit::ImageHeader header;
        header.width = 4;
        header.height = 4;
        header.frameRate = 10;
        std::vector<testkit::Picture> pictures(6, testkit::Picture(4, 4));
        writer.AddShared(1, "scene-cmv-a", 4, testkit::BuildRawImageFile(header, pictures), false);
        writer.AddShared(1, "scene-cmv-a", 6, camera, false);
        // A video of the name is not taken for a cut-scene.
        writer.AddShared(1, "scene-cmv-a", 12, Video(3), false);
    });
    cTarvelVideo* movie = Start("scene-cmv-a", true);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->mImage->mVideo, nullptr);
    EXPECT_EQ(movie->mCameraDataSize, 128u);
    // Record n + 1 belongs to frame n; the last record has no frame.
    EXPECT_EQ(movie->CameraRecord(-1), nullptr);
    EXPECT_EQ(movie->CameraRecord(0), movie->mCameraData + 32);
    EXPECT_EQ(movie->CameraRecord(2), movie->mCameraData + 96);
    EXPECT_EQ(movie->CameraRecord(3), nullptr);

    int32_t player = -1;
    movie->mPlayerData = static_cast<int32_t*>(std::malloc(3 * sizeof(int32_t)));
    movie->mPlayerData[0] = 100;
    movie->mPlayerData[1] = 101;
    movie->mPlayerData[2] = 102;
    movie->mPlayerDataCount = 3;
    movie->mPlayerTarget = &player;

    gTarvel.mTimer.mGameTime += 100;
    Frame(0);   // draws, and the sequence steps to frame 1
    Frame(0);
    EXPECT_EQ(movie->mLastFrame, 1);
    EXPECT_EQ(gTarvel.mCamera.mPosition.x, 20.0f);
    EXPECT_EQ(gTarvel.mCamera.mFov, 27.0f);
    EXPECT_EQ(player, 101);
    gTarvel.mTimer.mGameTime += 100;
    Frame(0);
    Frame(0);
    EXPECT_EQ(movie->mLastFrame, 2);
    EXPECT_EQ(gTarvel.mCamera.mPosition.x, 30.0f);
    EXPECT_EQ(player, 101);   // past the player data
}

// The movie's own sound track in the sound layer: streams on the master group.
std::vector<pt::FmodChannelState> MovieTracks()
{
    std::vector<pt::FmodChannelState> out;
    for (const pt::FmodChannelState& c : pt::FmodChannels())
        if (c.stream && !c.ended)
            out.push_back(c);
    return out;
}

TEST_F(VideoTest, TheMoviesSoundPlaysWhileItPlaysAndStopsWithIt)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, Video(8, 64, 32, true), false);
    });
    gTarvel.mConfig.SFXVolume = 128;   // 128 x 128 of 32768: half
    for (bool skip : {false, true}) {
        SCOPED_TRACE(skip);
        cTarvelVideo* movie = Start("intro");
        ASSERT_NE(movie, nullptr);
        std::vector<pt::FmodChannelState> tracks = MovieTracks();
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_EQ(tracks[0].handle, pt::BinkTrack(movie->mImage->mVideo).channel);
        EXPECT_EQ(tracks[0].group, "master");
        EXPECT_FLOAT_EQ(tracks[0].volume, 0.5f);
        EXPECT_FALSE(tracks[0].paused);
        Frame(40);
        Frame(40);
        tracks = MovieTracks();
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_EQ(tracks[0].positionMs, 80u);
        if (skip) {
            movie->Skip();
            movie->Skip();
        }
        for (int i = 0; i < 10 && gTarvel.mMovie; ++i)
            Frame(40);
        EXPECT_EQ(gTarvel.mMovie, nullptr);
        gTarvel.mSound.Update();
        EXPECT_TRUE(MovieTracks().empty());
    }
}

TEST_F(VideoTest, A800By400MovieMixesItsOwnVolume)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "wide", 12, Video(3, 800, 400, true), false);
    });
    gTarvel.mConfig.MusicVolume = 255;
    gTarvel.mConfig.DialogueVolume = 255;
    gTarvel.mConfig.SFXVolume = 255;
    cTarvelVideo movie;
    ASSERT_EQ(movie.Play("wide", false), 0);
    gTarvel.mCutSceneMovie = nullptr;
    EXPECT_EQ(movie.mImage->mAlternateTechnique, 1);
    EXPECT_EQ(movie.mImage->mTextureWidth, 1024u);
    EXPECT_EQ(movie.mImage->mTextureHeight, 512u);
    // (Music + 2 x dialogue + effects) x 32.
    EXPECT_EQ(pt::BinkTrack(movie.mImage->mVideo).volume, 32640);
}

} // namespace
