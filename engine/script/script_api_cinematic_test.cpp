#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/pda.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/win32/testing.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

// Every "mark N" line records N.
std::string Expand(const std::string& body)
{
    std::string out;
    for (size_t at = 0; at < body.size();) {
        size_t end = body.find('\n', at);
        std::string line = body.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? body.size() : end + 1;
        if (line.rfind("mark ", 0) == 0)
            out += "push int " + line.substr(5) + "\ncallg Log test__record\n";
        else
            out += line + "\n";
    }
    return out;
}

const char* const kImports =
    "import cCinematic__run 0 none\nimport cCinematic__exit 0 none\nimport cCinematic__putUnskipable 1 none\n"
    "import cCinematic__waitTime 1 none\nimport cCinematic__waitForFade 0 none\n"
    "import cCinematic__waitForCMV 0 none\nimport cCinematic__waitForCameraMove 0 none\n"
    "import cCinematic__waitForPostFX 0 none\nimport cCinematic__waitForImage 2 none\n"
    "import cCinematic__waitForActorPlace 1 none\nimport cCinematic__waitForActorAnim 2 none\n"
    "import cCinematic__waitForActorLinkedAnim 2 none\nimport cCinematic__waitForActorSay 1 none\n"
    "import test__record 1 none\n";

// A scene holding the dictaphone clip "Memo": its "OnPlay" only marks; its
// "Speak" and the other object's "Talk" wait for speech with no actor.
testkit::SceneFile Tape()
{
    testkit::SceneFile scene;
    scene.name = "Tape";
    scene.script = AssembleScriptOrThrow(
        "global Memo result class=cCinematic\nglobal Other result class=cCinematic\nglobal Nobody object\n"
        "global Log int\n" +
        std::string(kImports) +
        Expand("function Memo::OnPlay\nmark 1\nret\n"
               "function Memo::Speak\npush object Nobody\ncallg Memo cCinematic__waitForActorSay\nret\n"
               "function Other::Talk\npush object Nobody\ncallg Memo cCinematic__waitForActorSay\nret\n"));
    return scene;
}

class CinematicApiTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        writer.AddShared(1, "Tape.day", testkit::kSceneResourceType, testkit::BuildSceneFile(Tape()), false);
        writer.AddShared(1, "lamp", 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()), true);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();

        mAnn = std::make_unique<cTarvelActor>("OFF", "", true);
        mAnn->mControl = new cTarvelActorControl();
        mAnn->mAnimation = new cTarvelMobileAnimation(nullptr, 0);
        mAnn->mAnimation->mName = "wave";
        mAnn->mLinkedAnimation = new cTarvelMobileAnimation(nullptr, 0);
        mAnn->mLinkedAnimation->mName = "open";
        mAnnHandle = gScriptHandles.Bind(mAnn.get(), eScriptObjectType::Actor);

        mScene = std::make_unique<cTarvelScene>();
        mView = std::make_unique<cTarvelView>();
        mLamp = new cTarvelImage(false);
        mLamp->mName = "lamp";
        mView->mImages.Add(mLamp);
        mScene->mView = mView.get();
        gTarvel.mScene = mScene.get();
    }
    void TearDown() override
    {
        while (gCinematics.Count() > 0) {
            cTarvelCinematic* top = gCinematics[gCinematics.Count() - 1];
            top->Finish();
            delete top;
        }
        for (int32_t i = 0; i < gScreenControls.Count(); ++i)
            if (!gScreenControls[i]->mMember)
                delete gScreenControls[i];
        gScreenControls.Clear();
        gTarvel.mScene = nullptr;
        mScene->mView = nullptr;
        mScene.reset();
        mView.reset();
        mAnn.reset();
        gTarvel.mSpeech.mSpeaker = nullptr;
        ScriptTestBase::TearDown();
    }

    // A machine with the cinematic "Cine" whose OnRun runs body; "Start"
    // runs the cinematic. The global "Ann" holds the test's actor.
    cTarvelScript* Begin(const std::string& body)
    {
        const std::string source = "global Cine result class=cCinematic\nglobal Ann object class=cActor\n"
                                   "global Nobody object\nglobal Log int\n" +
                                   std::string(kImports) + "function Start\ncallg Cine cCinematic__run\nret\n" +
                                   Expand("function Cine::OnRun\n" + body) + "ret\n";
        mMachine = Machine(source.c_str());
        mMachine->FindGlobal("Ann")->object = mAnnHandle;
        mMachine->CallFunction("Start", nullptr);
        return mMachine.get();
    }

    static std::vector<int32_t> Marks()
    {
        std::vector<int32_t> marks;
        for (const tCallRecord& r : Records())
            marks.push_back(r.arguments.empty() ? -1 : r.arguments[0].integer);
        return marks;
    }
    static void Frame(uint32_t ms = 16)
    {
        platform::testing::AdvanceClock(ms);
        gTarvel.mTimer.Update();
        cTarvelCinematic::UpdateStack();
    }
    static cTarvelCinematic* Top() { return gCinematics.Count() > 0 ? gCinematics[gCinematics.Count() - 1] : nullptr; }

    std::unique_ptr<cTarvelScript> mMachine;
    std::unique_ptr<cTarvelActor> mAnn;
    uint32_t mAnnHandle = 0;
    std::unique_ptr<cTarvelScene> mScene;
    std::unique_ptr<cTarvelView> mView;
    cTarvelImage* mLamp = nullptr;   // owned by the view
};

TEST_F(CinematicApiTest, RunStartsACinematicOnAnUnboundObjectAndExitEndsIt)
{
    gTarvel.mGraphics.mTooltipString = "left over";
    cTarvelScript* machine = Begin("mark 1\npush float 1\ncallg Cine cCinematic__waitTime\nmark 2\n"
                                   "callg Cine cCinematic__exit\nmark 3");
    ASSERT_EQ(gCinematics.Count(), 1);
    cTarvelCinematic* cinematic = Top();
    EXPECT_EQ(cinematic->mScript, machine);
    EXPECT_EQ(gScriptHandles.Get<cTarvelCinematic>(machine->FindGlobal("Cine")->object,
                                                   eScriptObjectType::Cinematic),
              cinematic)
        << "the object is bound to it";
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    EXPECT_EQ(cinematic->mWaitKind, cTarvelCinematic::kWaitTime);
    EXPECT_EQ(gTarvel.mGraphics.mTooltipString, "") << "the on-screen text is cleared";

    Frame(900);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    Frame(200);
    EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2, 3})) << "exit ends the cinematic, not the script";
    EXPECT_EQ(gCinematics.Count(), 0);
}

TEST_F(CinematicApiTest, EveryWaitHoldsTheScriptUntilItsConditionHolds)
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    cTarvelSpeech& speech = gTarvel.mSpeech;
    cTarvelActor* ann = mAnn.get();
    struct tCase {
        const char* call;
        int32_t kind;
        std::function<void()> hold;
        std::function<void()> end;
    } cases[] = {
        {"push float 0.5\ncallg Cine cCinematic__waitTime", cTarvelCinematic::kWaitTime, [] {},
         [] { platform::testing::AdvanceClock(600); }},
        {"callg Cine cCinematic__waitForFade", cTarvelCinematic::kWaitFade, [&] { gameplay.mFadeState = 1; },
         [&] { gameplay.mFadeState = 0; }},
        {"callg Cine cCinematic__waitForCMV", cTarvelCinematic::kWaitCMV, [] { gTarvel.mMovie = new cTarvelVideo; },
         [] {
             delete gTarvel.mMovie;
             gTarvel.mMovie = nullptr;
         }},
        {"callg Cine cCinematic__waitForCameraMove", cTarvelCinematic::kWaitCameraMove,
         [] { gTarvel.mCamera.mMoving = 1; }, [] { gTarvel.mCamera.mMoving = 0; }},
        {"callg Cine cCinematic__waitForPostFX", cTarvelCinematic::kWaitPostFX,
         [] { gTarvel.mGraphics.mTimedPostEffect = true; }, [] { gTarvel.mGraphics.mTimedPostEffect = false; }},
        {"push string \"lamp\"\npush int 0\ncallg Cine cCinematic__waitForImage", cTarvelCinematic::kWaitImage,
         [&] { mLamp->mFinished = 0; }, [&] { mLamp->mFinished = 1; }},
        {"push object Ann\ncallg Cine cCinematic__waitForActorPlace", cTarvelCinematic::kWaitActorPlace,
         [&] { ann->mControl->mWalking = true; }, [&] { ann->mControl->mWalking = false; }},
        {"push object Ann\npush string \"wave\"\ncallg Cine cCinematic__waitForActorAnim",
         cTarvelCinematic::kWaitActorAnim, [&] { ann->mAnimation->mPlaying = true; },
         [&] { ann->mAnimation->mPlaying = false; }},
        {"push object Ann\npush string \"open\"\ncallg Cine cCinematic__waitForActorLinkedAnim",
         cTarvelCinematic::kWaitActorLinkedAnim, [&] { ann->mLinkedAnimation->mPlaying = true; },
         [&] { ann->mLinkedAnimation->mPlaying = false; }},
        {"push object Ann\ncallg Cine cCinematic__waitForActorSay", cTarvelCinematic::kWaitActorSay,
         [&] { speech.mSpeaker = ann; }, [&] { speech.mSpeaker = nullptr; }},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.call);
        Records().clear();
        c.hold();
        Begin(std::string(c.call) + "\nmark 1\ncallg Cine cCinematic__exit");
        ASSERT_NE(Top(), nullptr);
        EXPECT_EQ(Top()->mWaitKind, c.kind);
        if (c.kind == cTarvelCinematic::kWaitImage) {
            EXPECT_EQ(Top()->mWaitImage, mLamp);
        }
        if (c.kind >= cTarvelCinematic::kWaitActorSay && c.kind <= cTarvelCinematic::kWaitActorLinkedAnim) {
            EXPECT_EQ(Top()->mWaitActor, ann);
        }
        Frame(0);
        Frame(0);
        EXPECT_TRUE(Marks().empty()) << "the script waits";
        c.end();
        Frame(0);
        EXPECT_EQ(Marks(), std::vector<int32_t>{1});
        EXPECT_EQ(gCinematics.Count(), 0);
    }
}

TEST_F(CinematicApiTest, AnUnskippableCinematicIgnoresASkip)
{
    for (bool unskippable : {true, false}) {
        SCOPED_TRACE(unskippable);
        Records().clear();
        Begin(std::string("push bool ") + (unskippable ? "true" : "false") +
              "\ncallg Cine cCinematic__putUnskipable\npush float 100\ncallg Cine cCinematic__waitTime\nmark 1\n"
              "callg Cine cCinematic__exit");
        ASSERT_NE(Top(), nullptr);
        EXPECT_EQ(Top()->mUnskippable, unskippable);
        Top()->RequestSkip(true);
        Frame(0);
        EXPECT_EQ(Marks().size(), unskippable ? 0u : 1u);
        while (gCinematics.Count() > 0) {
            cTarvelCinematic* top = Top();
            top->Finish();
            delete top;
        }
    }
}

TEST_F(CinematicApiTest, CallsWithoutCinematicActorOrLayerFailAndWaitForNothing)
{
    using tFunction = int32_t (*)(tScriptFrame*);
    cTarvelScriptValue unbound;
    unbound.name = "Loose";
    cTarvelScriptValue actor;
    actor.object = mAnnHandle;
    cTarvelScriptValue name;
    name.string = "wave";
    for (tFunction function :
         {cCinematic__exit, cCinematic__putUnskipable, cCinematic__waitTime, cCinematic__waitForFade,
          cCinematic__waitForCMV, cCinematic__waitForCameraMove, cCinematic__waitForPostFX, cCinematic__waitForImage,
          cCinematic__waitForActorPlace, cCinematic__waitForActorAnim, cCinematic__waitForActorLinkedAnim,
          cCinematic__waitForActorSay}) {
        tScriptFrame frame;
        frame.thisValue = &unbound;
        frame.arguments.Add(actor);
        frame.arguments.Add(name);
        EXPECT_EQ(function(&frame), -1);
    }
    EXPECT_EQ(gCinematics.Count(), 0);

    // Bound, but without the actor or the layer.
    auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "OnRun");
    cTarvelScriptValue bound;
    bound.object = gScriptHandles.Bind(cinematic, eScriptObjectType::Cinematic);
    struct tCase {
        tFunction function;
        const char* argument;
    } cases[] = {{cCinematic__waitForActorPlace, ""},
                 {cCinematic__waitForActorAnim, ""},
                 {cCinematic__waitForActorLinkedAnim, ""},
                 {cCinematic__waitForActorSay, ""},
                 {cCinematic__waitForImage, "no_such_layer"}};
    for (const tCase& c : cases) {
        tScriptFrame frame;
        frame.thisValue = &bound;
        cTarvelScriptValue argument;
        argument.string = c.argument;
        frame.arguments.Add(argument);
        EXPECT_EQ(c.function(&frame), -1) << c.argument;
    }
    EXPECT_EQ(cinematic->mWaitKind, cTarvelCinematic::kWaitNone);

    // Run never fails: an unbound object, even none, starts a cinematic.
    tScriptFrame frame;
    EXPECT_EQ(cCinematic__run(&frame), 0);
    EXPECT_EQ(gCinematics.Count(), 2);
}

TEST_F(CinematicApiTest, SpeechWaitsOfAPlayingClipUseTheOffScreenVoice)
{
    cTarvelPDA& pda = gTarvel.mPDA;
    pda.AddAudioEntry("Memo", "Tape.day", "Memo", "OnPlay");
    pda.PlayAudioClip(pda.mAudioRoot.children[0].get());
    ASSERT_NE(pda.mClipCinematic, nullptr);
    EXPECT_EQ(Marks(), std::vector<int32_t>{1});
    cTarvelCinematic* clip = pda.mClipCinematic;
    cTarvelScript* clipMachine = clip->mScript;
    cTarvelActor* voice = gTarvel.mSpeech.mOffVoice;
    ASSERT_NE(voice, nullptr);

    // From the clip's machine but another object: the off-screen voice's
    // own wait.
    clipMachine->CallEvent(clipMachine->FindSymbol("Other", "cCinematic"), "Talk");
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitActorSay);
    EXPECT_EQ(clip->mWaitActor, voice);

    // From the clip's own object: the speech-line wait.
    clip->mWaitKind = cTarvelCinematic::kWaitNone;
    clipMachine->CallEvent(clipMachine->FindSymbol("Memo", "cCinematic"), "Speak");
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitSpeechLine);

    // Another machine waits on its own actor; without one it fails.
    clip->mWaitKind = cTarvelCinematic::kWaitNone;
    mMachine = Machine((std::string("global Guest result class=cCinematic\nglobal Ann object class=cActor\n"
                                    "global Nobody object\nglobal Log int\n") +
                        kImports +
                        "function Guest::Ask\npush object Nobody\ncallg Guest cCinematic__waitForActorSay\nret\n"
                        "function Guest::Tell\npush object Ann\ncallg Guest cCinematic__waitForActorSay\nret\n")
                           .c_str());
    cTarvelScriptValue* guest = mMachine->FindGlobal("Guest");
    guest->object = gScriptHandles.Bind(clip, eScriptObjectType::Cinematic);
    mMachine->FindGlobal("Ann")->object = mAnnHandle;
    mMachine->CallEvent(guest, "Ask");
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitNone);
    mMachine->CallEvent(guest, "Tell");
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitActorSay);
    EXPECT_EQ(clip->mWaitActor, mAnn.get());

    // With no clip playing the clip's machine has no voice to fall back on.
    clip->mWaitKind = cTarvelCinematic::kWaitNone;
    pda.mPlayingClip = nullptr;
    clipMachine->CallEvent(clipMachine->FindSymbol("Other", "cCinematic"), "Talk");
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitNone);
    pda.mPlayingClip = pda.mAudioRoot.children[0].get();
}

} // namespace
