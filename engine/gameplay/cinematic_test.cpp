#include "engine/gameplay/cinematic.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile_animation.h"
#include "platform/win32/testing.h"
#include "tools/script_assembler.h"

namespace {

using ::testing::HasSubstr;

// What the test's wait function asks of the bound cinematic.
std::function<void(cTarvelCinematic*)> gWait;

cTarvelCinematic* Bound(tScriptFrame* frame)
{
    return ScriptBound<cTarvelCinematic>(frame, eScriptObjectType::Cinematic);
}

// Stand-ins for the exported functions that later land: each calls the
// cinematic the way its exported namesake does.
int32_t RunCinematic(tScriptFrame* frame)
{
    new cTarvelCinematic(frame->machine, frame->thisValue->name.c_str(), nullptr, "OnRun");
    return 0;
}
int32_t Exit(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = Bound(frame);
    if (!cinematic)
        return -1;
    cinematic->Exit();
    return 0;
}
int32_t Unskippable(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = Bound(frame);
    if (!cinematic)
        return -1;
    cinematic->mUnskippable = ScriptArgBool(frame, 0);
    return 0;
}
int32_t Wait(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = Bound(frame);
    if (!cinematic)
        return -1;
    gWait(cinematic);
    return 0;
}
int32_t WaitTime(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = Bound(frame);
    if (!cinematic)
        return -1;
    cinematic->WaitTime(ScriptArgFloat(frame, 0));
    return 0;
}
// The plain wait of the system class: always a new wait cinematic.
int32_t SystemWait(tScriptFrame* frame)
{
    ScriptWaitCinematic(frame, eScriptWaitRule::AlwaysNew)->WaitTime(ScriptArgFloat(frame, 0));
    return 0;
}
// A said line with wait, the line itself started by the test: the speaker
// is the actor the test names.
cTarvelActor* gSpeaker = nullptr;
int32_t SayWait(tScriptFrame* frame)
{
    if (ScriptCinematicSkipping())
        return 0;
    ScriptWaitCinematic(frame, eScriptWaitRule::TopWhenRunning, true)->WaitForActorSay(gSpeaker);
    return 0;
}

// A script cinematic "Cine": its OnRun runs body; Start begins it. Each
// "mark N" line records N.
std::string CinematicSource(const std::string& body)
{
    std::string source =
        "global Cine result class=cCinematic\nglobal Log int\n"
        "import cin__run 0 none\nimport cin__exit 0 none\nimport cin__wait 0 none\n"
        "import cin__waitTime 1 none\nimport cin__unskippable 1 none\n"
        "import sys__wait 1 none\nimport actor__sayWait 0 none\nimport test__record 1 none\n"
        // Code at offset 0: nothing may enter here.
        "function Zero\npush int 999\ncallg Log test__record\nret\n"
        "function Start\ncallg Cine cin__run\nret\n"
        "function Cine::OnRun\n";
    for (size_t at = 0; at < body.size();) {
        size_t end = body.find('\n', at);
        std::string line = body.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? body.size() : end + 1;
        if (line.rfind("mark ", 0) == 0)
            source += "push int " + line.substr(5) + "\ncallg Log test__record\n";
        else
            source += line + "\n";
    }
    return source + "ret\n";
}

class CinematicTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        gWait = nullptr;
        gSpeaker = nullptr;
        cTarvelScript::AddLibraryFunction("cin__run", RunCinematic);
        cTarvelScript::AddLibraryFunction("cin__exit", Exit);
        cTarvelScript::AddLibraryFunction("cin__wait", Wait);
        cTarvelScript::AddLibraryFunction("cin__waitTime", WaitTime);
        cTarvelScript::AddLibraryFunction("cin__unskippable", Unskippable);
        cTarvelScript::AddLibraryFunction("sys__wait", SystemWait);
        cTarvelScript::AddLibraryFunction("actor__sayWait", SayWait);
    }
    void TearDown() override
    {
        while (gCinematics.Count() > 0) {
            cTarvelCinematic* top = gCinematics[gCinematics.Count() - 1];
            top->Finish();
            delete top;
        }
        for (int32_t i = 0; i < gScreenControls.Count(); ++i)
            delete gScreenControls[i];
        gScreenControls.Clear();
        gTarvel.mSpeech.mSpeaker = nullptr;
        ScriptTestBase::TearDown();
    }

    // The machine runs "Start" (or another function) of the source.
    cTarvelScript* Begin(const std::string& source, const char* function = "Start")
    {
        mMachine = Machine(source.c_str());
        mMachine->CallFunction(function, nullptr);
        return mMachine.get();
    }

    // The marks recorded so far.
    static std::vector<int32_t> Marks()
    {
        std::vector<int32_t> marks;
        for (const tCallRecord& r : Records())
            marks.push_back(r.arguments.empty() ? -1 : r.arguments[0].integer);
        return marks;
    }

    // A frame: ms pass on the engine clock, then the stack step.
    static void Frame(uint32_t ms = 16)
    {
        platform::testing::AdvanceClock(ms);
        gTarvel.mTimer.Update();
        cTarvelCinematic::UpdateStack();
    }

    static cTarvelCinematic* Top()
    {
        return gCinematics.Count() > 0 ? gCinematics[gCinematics.Count() - 1] : nullptr;
    }

    std::unique_ptr<cTarvelScript> mMachine;
};

TEST_F(CinematicTest, EachWaitHoldsTheScriptUntilItsConditionHolds)
{
    cTarvelActor ann("OFF", "", false);
    ann.mControl = new cTarvelActorControl();
    ann.mAnimation = new cTarvelMobileAnimation(nullptr, 0);
    ann.mAnimation->mName = "wave";
    ann.mLinkedAnimation = new cTarvelMobileAnimation(nullptr, 0);
    ann.mLinkedAnimation->mName = "open";
    cTarvelImage image(false);
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    cTarvelSpeech& speech = gTarvel.mSpeech;

    struct tCase {
        const char* name;
        int32_t kind;
        std::function<void(cTarvelCinematic*)> wait;
        std::function<void()> hold;  // the wait is not over
        std::function<void()> end;   // now it is
    } cases[] = {
        // A wait of no time is not over in the frame that set it, only at
        // the first test at a later time.
        {"time", cTarvelCinematic::kWaitTime, [](cTarvelCinematic* c) { c->WaitTime(0.0f); }, [] {},
         [] { platform::testing::AdvanceClock(1); }},
        {"image", cTarvelCinematic::kWaitImage, [&](cTarvelCinematic* c) { c->WaitForImage(&image, 0); },
         [&] { image.mFinished = 0; }, [&] { image.mFinished = 1; }},
        {"actor say", cTarvelCinematic::kWaitActorSay, [&](cTarvelCinematic* c) { c->WaitForActorSay(&ann); },
         [&] { speech.mSpeaker = &ann; }, [&] { speech.mSpeaker = speech.mOffVoice; }},
        {"actor place", cTarvelCinematic::kWaitActorPlace,
         [&](cTarvelCinematic* c) { c->WaitForActorPlace(&ann); }, [&] { ann.mControl->mWalking = true; },
         [&] { ann.mControl->mWalking = false; }},
        {"animation stops", cTarvelCinematic::kWaitActorAnim,
         [&](cTarvelCinematic* c) { c->WaitForActorAnim(&ann, "wave"); },
         [&] { ann.mAnimation->mPlaying = true; }, [&] { ann.mAnimation->mPlaying = false; }},
        {"another animation", cTarvelCinematic::kWaitActorAnim,
         [&](cTarvelCinematic* c) { c->WaitForActorAnim(&ann, "wave"); },
         [&] { ann.mAnimation->mPlaying = true; }, [&] { ann.mAnimation->mName = "bow"; }},
        {"linked animation", cTarvelCinematic::kWaitActorLinkedAnim,
         [&](cTarvelCinematic* c) { c->WaitForActorLinkedAnim(&ann, "open"); },
         [&] { ann.mLinkedAnimation->mPlaying = true; }, [&] { ann.mLinkedAnimation->mPlaying = false; }},
        {"fade", cTarvelCinematic::kWaitFade, [](cTarvelCinematic* c) { c->WaitForFade(); },
         [&] { gameplay.mFadeState = 1; }, [&] { gameplay.mFadeState = 3; }},
        {"video", cTarvelCinematic::kWaitCMV, [](cTarvelCinematic* c) { c->WaitForCMV(); },
         [] { gTarvel.mMovie = new cTarvelVideo; },
         [] {
             delete gTarvel.mMovie;
             gTarvel.mMovie = nullptr;
         }},
        {"camera", cTarvelCinematic::kWaitCameraMove, [](cTarvelCinematic* c) { c->WaitForCameraMove(); },
         [] { gTarvel.mCamera.mMoving = 1; }, [] { gTarvel.mCamera.mMoving = 0; }},
        {"post effect", cTarvelCinematic::kWaitPostFX, [](cTarvelCinematic* c) { c->WaitForPostFX(); },
         [] { gTarvel.mGraphics.mTimedPostEffect = true; }, [] { gTarvel.mGraphics.mTimedPostEffect = false; }},
        // A line without sound lasts while the speech runs; one with sound
        // while its sound plays, and none plays here.
        {"speech line", cTarvelCinematic::kWaitSpeechLine, [](cTarvelCinematic* c) { c->WaitForSpeechLine(); },
         [&] {
             speech.mState = 2;
             speech.mWithSound = false;
         },
         [&] { speech.mWithSound = true; }},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        Records().clear();
        c.hold();
        gWait = c.wait;
        Begin(CinematicSource("callg Cine cin__wait\nmark 1\ncallg Cine cin__exit"));
        ASSERT_NE(Top(), nullptr);
        EXPECT_EQ(Top()->mWaitKind, c.kind);
        Frame(0);
        Frame(0);
        EXPECT_TRUE(Marks().empty()) << "the script waits";
        c.end();
        Frame(0);
        EXPECT_EQ(Marks(), std::vector<int32_t>{1});
        EXPECT_EQ(gCinematics.Count(), 0) << "its exit ended it";
    }

    // The fade lets a waiter go on in its held and idle states only.
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    cinematic.mWaitKind = cTarvelCinematic::kWaitFade;
    for (int32_t state = 0; state <= 8; ++state) {
        gameplay.mFadeState = state;
        EXPECT_EQ(cinematic.WaitOver(), state == 0 || state == 3 || state == 6) << state;
    }
    // An image wait with a flag is over at once.
    cinematic.mWaitKind = cTarvelCinematic::kWaitImage;
    cinematic.mWaitImage = &image;
    image.mFinished = 0;
    cinematic.mWaitFlag = 1;
    EXPECT_TRUE(cinematic.WaitOver());
    cinematic.Finish();
    gameplay.mFadeState = 0;
    speech.mState = 0;
}

TEST_F(CinematicTest, CameraAndPostEffectWaitsNeedSomethingToWaitFor)
{
    for (auto wait : {&cTarvelCinematic::WaitForCameraMove, &cTarvelCinematic::WaitForPostFX}) {
        Records().clear();
        gWait = [wait](cTarvelCinematic* c) { (c->*wait)(); };
        Begin(CinematicSource("callg Cine cin__wait\nmark 1\ncallg Cine cin__exit"));
        EXPECT_EQ(Marks(), std::vector<int32_t>{1}) << "the script ran on";
        Frame();
        EXPECT_EQ(gCinematics.Count(), 0);
    }
}

TEST_F(CinematicTest, EscapeShowsThePromptFirstAndTheSecondSkipsToTheEnd)
{
    Begin(CinematicSource("push float 100\ncallg Cine cin__waitTime\nmark 1\n"
                          "push float 100\ncallg Cine cin__waitTime\nmark 2\ncallg Cine cin__exit"));
    cTarvelCinematic* cinematic = Top();
    const uint32_t handle = mMachine->FindSymbol("Cine", "cCinematic")->object;
    ASSERT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::Cinematic), cinematic);

    cinematic->RequestSkip(false);
    ASSERT_EQ(gScreenControls.Count(), 1);
    EXPECT_EQ(gScreenControls[0]->mTypeId, cTarvelScreenControl::kCancelRequest);
    EXPECT_FALSE(cinematic->mSkipping);
    EXPECT_TRUE(Marks().empty());

    cinematic->RequestSkip(false);
    EXPECT_EQ(gScreenControls.Count(), 0) << "the second request takes the prompt away";
    EXPECT_TRUE(cinematic->mSkipping);
    EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2})) << "every wait was passed over";
    EXPECT_TRUE(cinematic->mEnded);
    EXPECT_TRUE(gTarvel.mSpeech.mSkipRequested);
    EXPECT_EQ(gTarvel.mGameplay.mFadeState, 2) << "the screen fades in";
    EXPECT_EQ(gTarvel.mGameplay.mFadeRate, 0.5f);
    EXPECT_EQ(gTarvel.mGameplay.mFadeStart, gTarvel.mTimer.mGameTime);

    Frame();
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::Cinematic), nullptr);
}

// A skip ends the player's animation, its walk at the path's end and the
// movie; the cameras jump to where they were going.
struct RecordingControl : cTarvelActorControl {
    void FinishWalk(bool jumpToEnd) override { finished.push_back(jumpToEnd); }
    std::vector<bool> finished;
};

TEST_F(CinematicTest, TheStackSkipsTheNextCinematicByForceWithoutPrompt)
{
    cTarvelActor player("OFF", "", false);
    auto* legs = new RecordingControl;
    player.mControl = legs;
    player.mAnimation = new cTarvelMobileAnimation(nullptr, 0);
    player.mAnimation->mPlaying = true;
    player.mLookAtID = 3;
    gTarvel.mPlayer = &player;
    gTarvel.mMovie = new cTarvelVideo;
    const float target[3] = {1.0f, 2.0f, 3.0f};
    const float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    gTarvel.mCamera.Move(10.0f, 0.0f, 0.0f, target, rotation, 1.0f);
    ASSERT_TRUE(gTarvel.mCamera.mMoving);

    // The cinematic's plain wait pushes an implicit one above it.
    Begin(CinematicSource("push float 5\ncallg Cine sys__wait\nmark 1\n"
                          "push float 5\ncallg Cine cin__waitTime\nmark 2\ncallg Cine cin__exit"));
    ASSERT_EQ(gCinematics.Count(), 2);
    cTarvelCinematic* implicit = Top();
    EXPECT_EQ(implicit->mOwnerScript, mMachine.get());
    EXPECT_FALSE(implicit->mSpeechLine);
    implicit->RequestSkip(false);
    implicit->RequestSkip(false);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1}) << "the script cinematic waits again";
    EXPECT_EQ(legs->finished, std::vector<bool>{true});
    EXPECT_FALSE(player.mAnimation->mPlaying);
    EXPECT_EQ(player.mLookAtID, -1) << "the look-at went";
    EXPECT_EQ(gTarvel.mMovie, nullptr);
    EXPECT_FALSE(gTarvel.mCamera.mMoving);
    EXPECT_EQ(gTarvel.mCamera.mPosition.x, 1.0f);

    Frame(0);
    EXPECT_EQ(gScreenControls.Count(), 0) << "no prompt for the forced skip";
    EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(gCinematics.Count(), 0);
    gTarvel.mPlayer = nullptr;
}

TEST_F(CinematicTest, ASkipEndsTheMovieAsIfItHadPlayedOutAndTheQueuedOneTakesItsPlace)
{
    std::unique_ptr<cTarvelScript> waiter =
        Machine("global Log int\nimport test__record 1 none\n"
                "function AfterFirst\npush int 7\ncallg Log test__record\nret\n"
                "function AfterQueued\npush int 8\ncallg Log test__record\nret\n");
    auto movie = [&](const char* label) {
        auto* video = new cTarvelVideo;
        video->mImage = new cTarvelImage(false);
        video->mImage->mFinished = 0;
        video->mScript = waiter.get();
        video->mScriptSerial = waiter->mSerial;
        video->mLabel = label;
        return video;
    };
    cTarvelVideo* queued = movie("AfterQueued");
    gTarvel.mMovie = movie("AfterFirst");
    gTarvel.mCutSceneMovie = queued;

    Begin(CinematicSource("push float 5\ncallg Cine cin__waitTime\nmark 1\ncallg Cine cin__exit"));
    Top()->RequestSkip(true);
    EXPECT_EQ(Marks(), (std::vector<int32_t>{7, 1})) << "the skipped movie's script went on first";
    EXPECT_EQ(gTarvel.mMovie, queued) << "the queued movie plays now";
    EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);

    // The queued movie's script goes on when that one ends.
    queued->mImage->mFinished = 1;
    queued->Update();
    EXPECT_EQ(Marks(), (std::vector<int32_t>{7, 1, 8}));
    EXPECT_EQ(gTarvel.mMovie, nullptr);
}

TEST_F(CinematicTest, ASpeechLineIsSkippedAtOnceAndANewCinematicDoesNotInheritTheSkip)
{
    cTarvelActor ann("OFF", "", false);
    gSpeaker = &ann;
    gTarvel.mSpeech.mSpeaker = &ann;
    gTarvel.mSpeech.mState = 2;
    Begin("global Log int\nimport actor__sayWait 0 none\nimport sys__wait 1 none\n"
          "import test__record 1 none\n"
          "function Talk\ncallg Log actor__sayWait\npush int 1\ncallg Log test__record\n"
          "push float 5\ncallg Log sys__wait\npush int 2\ncallg Log test__record\nret\n",
          "Talk");
    ASSERT_EQ(gCinematics.Count(), 1);
    cTarvelCinematic* line = Top();
    EXPECT_TRUE(line->mSpeechLine);
    EXPECT_EQ(line->mWaitKind, cTarvelCinematic::kWaitActorSay);

    line->RequestSkip(false);
    EXPECT_EQ(gScreenControls.Count(), 0) << "no prompt";
    EXPECT_TRUE(line->mEnded);
    EXPECT_EQ(gTarvel.mGameplay.mFadeState, 0) << "no fade";
    EXPECT_TRUE(gTarvel.mSpeech.mSkipRequested);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    ASSERT_EQ(gCinematics.Count(), 2);
    EXPECT_FALSE(Top()->mSkipping) << "the wait after the line is not skipped";
    EXPECT_EQ(Top()->mWaitKind, cTarvelCinematic::kWaitTime);

    Frame(4000);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    Frame(1001);
    EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(gCinematics.Count(), 0);
}

TEST_F(CinematicTest, ACinematicPushedAboveAnEndedOneEndsFirst)
{
    Begin("global Log int\nimport sys__wait 1 none\nimport test__record 1 none\n"
          "function Walk\npush float 1\ncallg Log sys__wait\npush int 1\ncallg Log test__record\n"
          "push float 1\ncallg Log sys__wait\npush int 2\ncallg Log test__record\nret\n",
          "Walk");
    ASSERT_EQ(gCinematics.Count(), 1);
    cTarvelCinematic* first = Top();
    Frame(1001);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    ASSERT_EQ(gCinematics.Count(), 2);
    EXPECT_EQ(gCinematics[0], first);
    EXPECT_TRUE(first->mEnded) << "finished only after the one above it";
    EXPECT_FALSE(Top()->mEnded);
    Frame(1001);
    EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(gCinematics.Count(), 0);
}

TEST_F(CinematicTest, AnUnskippableCinematicIgnoresBothRequests)
{
    Begin(CinematicSource("push bool true\ncallg Cine cin__unskippable\n"
                          "push float 5\ncallg Cine cin__waitTime\nmark 1\ncallg Cine cin__exit"));
    cTarvelCinematic* cinematic = Top();
    cinematic->RequestSkip(false);
    cinematic->RequestSkip(true);
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_FALSE(cinematic->mSkipping);
    EXPECT_TRUE(Marks().empty());
    EXPECT_EQ(gTarvel.mGameplay.mFadeState, 0);
}

TEST_F(CinematicTest, ExitTakesThePromptAway)
{
    Begin(CinematicSource("push float 5\ncallg Cine cin__waitTime\ncallg Cine cin__exit"));
    Top()->RequestSkip(false);
    ASSERT_EQ(gScreenControls.Count(), 1);
    Frame(5001);
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_EQ(gCinematics.Count(), 0);
}

TEST_F(CinematicTest, AScriptThatReturnsWithoutWaitOrExitEndsOnce)
{
    testing::internal::CaptureStderr();
    Begin(CinematicSource("push float 1\ncallg Cine cin__waitTime\nmark 1"));
    Frame(1001);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    for (int frame = 0; frame < 3; ++frame)
        Frame();
    EXPECT_EQ(Marks(), std::vector<int32_t>{1}) << "its last label is not run again";
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                HasSubstr("Cinematic Cine returned without a wait or an exit; it ends."));
}

TEST_F(CinematicTest, AWaitSetWhileSkippingResumesNothing)
{
    // The plain wait inside a skipping cinematic pushes a cinematic that
    // skips too and stores no label: ending it must not enter the machine
    // at its first instruction.
    Begin(CinematicSource("push float 5\ncallg Cine cin__waitTime\npush float 5\ncallg Cine sys__wait\n"
                          "mark 1\ncallg Cine cin__exit"));
    Top()->RequestSkip(true);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    ASSERT_EQ(gCinematics.Count(), 2);
    EXPECT_TRUE(Top()->mSkipping);
    Frame();
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
}

TEST_F(CinematicTest, AnObjectTheScriptDoesNotHoldIsFatal)
{
    auto machine = Machine("global Cine result class=cView\nfunction Cine::OnRun\nret\n");
    // The error leaves the constructor by an exception here, which frees the
    // object; the list still names it.
    EXPECT_FATAL(new cTarvelCinematic(machine.get(), "Cine", nullptr, "OnRun"),
                 "Script object <cCinematic> Cine not found.");
    gCinematics.Clear();
    EXPECT_THAT(LastFatal(), HasSubstr("cTarvelCinematic::cTarvelCinematic"));
    EXPECT_THAT(LastFatal(), HasSubstr("class_cinematic"));
}

TEST_F(CinematicTest, AFinishedClipSendsItsFunctionToTheMainScript)
{
    auto main = Machine("global Main result class=cSystem\nglobal Log int\nimport test__record 1 none\n"
                        "function Main::ClipDone\npush int 7\ncallg Log test__record\nret\n");
    gTarvel.mGameplay.mMainScript = main.get();
    auto* clipMachine = Machine(CinematicSource("push float 1\ncallg Cine cin__waitTime\ncallg Cine cin__exit")
                                    .c_str())
                            .release();
    sPDAAudioNode clip{"ClipDone"};
    cTarvelPDA& pda = gTarvel.mPDA;
    pda.mPlayingClip = &clip;
    pda.mClipCinematic = new cTarvelCinematic(clipMachine, "Cine", nullptr, "OnRun");
    Frame(1001);
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_FALSE(gTarvel.IsScriptLive(clipMachine)) << "the clip's machine went with it";
    EXPECT_EQ(Marks(), std::vector<int32_t>{7});
    EXPECT_EQ(pda.mClipCinematic, nullptr);
    EXPECT_EQ(pda.mPlayingClip, nullptr);
    gTarvel.mGameplay.mMainScript = nullptr;
}

} // namespace
