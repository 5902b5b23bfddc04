#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "animation/actor_instance.h"
#include "animation/look_at_controller.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/dialogue_bar.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/image.h"
#include "engine/gameplay/pda.h"
#include "engine/gameplay/speech.h"
#include "engine/resource/resource.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/fmod/test_audio.h"
#include "animation/motion.h"
#include "animation/motion_event_table.h"
#include "engine/world/mobile_animation.h"
#include "tools/anim_file_writer.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/script_assembler.h"

namespace {

// Legs that record what the script functions ask of them.
class RecordingLegs : public cTarvelActorControl {
public:
    void WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea* area, cTarvelCamera* camera) override
    {
        mLog.push_back("walk " + Numbers({x, y, z, destRot}) + (area || camera ? " with target" : ""));
    }
    void SetCallback(cTarvelScript* script, cTarvelString label, cTarvelScriptValue* symbol) override
    {
        mScript = script;
        mLabel = label.c_str();
        mLog.push_back(std::string("callback ") + label.c_str() + (symbol ? " with object" : ""));
    }
    void SetRun(bool run) override { mLog.push_back(run ? "run" : "walk on"); }
    void FinishWalk(bool jump) override { mLog.push_back(jump ? "finish at end" : "finish"); }
    float GetFloorHeight(float x, float z, float fallback) override
    {
        mLog.push_back("floor " + Numbers({x, z, fallback}));
        return 9.0f;
    }
    void SetPosition(float x, float y, float z) override { mLog.push_back("position " + Numbers({x, y, z})); }
    void GetPosition(float out[3]) override
    {
        out[0] = 1.5f;
        out[1] = -2.5f;
        out[2] = 3.5f;
    }
    void SetRotationAngles(float ax, float ay, float az) override { mLog.push_back("turn " + Numbers({ax, ay, az})); }

    static std::string Numbers(std::initializer_list<float> values)
    {
        std::string out;
        for (float v : values) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%g", out.empty() ? "" : ",", double(v));
            out += text;
        }
        return out;
    }

    std::vector<std::string> mLog;
    cTarvelScript* mScript = nullptr;
    std::string mLabel;
};

std::vector<std::string> gObserved;
void Observe(cTarvelScript* script, const char* name)
{
    gObserved.push_back(script->mName.c_str() + std::string(":") + name);
}

// Marks the top cinematic as the clip the PDA plays.
sPDAAudioNode gClip;
int32_t SetClip(tScriptFrame*)
{
    gTarvel.mPDA.mPlayingClip = &gClip;
    gTarvel.mPDA.mClipCinematic = gCinematics[gCinematics.Count() - 1];
    return 0;
}

constexpr float kOrigin[3] = {0.0f, 0.0f, 0.0f};

class ScriptApiActorTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        writer.AddShared(1, "Ann.day", 2, AssembleActorScript("Ann", "ret\nfunction Ann::PoseSit\nret\n"), true);
        writer.AddShared(1, "Bob.day", 2, AssembleActorScript("Bob", "ret\nfunction Guard::PoseSit\nret\n"), true);
        testkit::MobileActor body;
        body.nodes = {{"root", -1}, {"hand", 0}};
        writer.AddShared(1, "body", 7, testkit::BuildMobileActor(body), true);
        testkit::MobileActor looker;
        looker.nodes = {{"root", -1}, {"Bip01 Spine1", 0}, {"Bip01 Head", 1}, {"Bone01_eyeR", 2}};
        writer.AddShared(1, "looker", 7, testkit::BuildMobileActor(looker), true);
        writer.AddShared(1, "step", kResourceWav,
                         platform::testing::EncodeWav(platform::testing::MakeTone(0.1, 8000, 1, 440), 8000, 1), true);
        writer.AddShared(1, "sitdown", 8, testkit::BuildRootMotion("root", kOrigin, kOrigin, 0.0f, 2.0f), true);
        writer.AddShared(1, "dialogue-ask", 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()), true);
        writer.AddShared(1, "cup", 7, testkit::BuildMobileActor(testkit::MobileActor{}), true);
        writer.AddShared(1, "test-l1",  kResourceOgg,
                         platform::testing::EncodeOgg(platform::testing::MakeTone(0.5, 22050, 1, 330), 22050, 1), false);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        gTarvel.mGameState = "day";
        gTarvel.mScene = new cTarvelScene();
        mAnn = new cTarvelActor("Ann", "", false);
        gTarvel.mScene->mActors.Add(mAnn);
        gObserved.clear();
        cTarvelScript::AddLibraryFunction("t__setClip", SetClip);
    }
    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        gTarvel.mPDA.mPlayingClip = nullptr;
        gTarvel.mPDA.mClipCinematic = nullptr;
        ClearCinematics();
        ScriptTestBase::TearDown();
    }

    // Ann's legs replaced by recording ones.
    RecordingLegs* Legs()
    {
        delete mAnn->mControl;
        auto* legs = new RecordingLegs;
        mAnn->mControl = legs;
        return legs;
    }
    cTarvelActorControlDefault* DefaultLegs() { return dynamic_cast<cTarvelActorControlDefault*>(mAnn->mControl); }

    // A machine whose "Go" calls the import on the global Obj (class
    // className, bound to handle) with the pushes; a result goes to Out.
    std::unique_ptr<cTarvelScript> Call(const char* import, int argc, const std::string& pushes,
                                        const char* result = "none", uint32_t handle = 0,
                                        const char* className = "cActor", const std::string& more = "")
    {
        const bool withResult = std::strcmp(result, "none") != 0;
        std::string source = std::string("global Obj result class=") + className + "\nglobal Out " +
                             (withResult ? result : "int") + "\nimport " + import + " " + std::to_string(argc) +
                             " " + result + "\nimport test__record 1 none\n" + more + "function Go\n" +
                             (withResult ? "push ref Out\n" : "") + pushes + "callg Obj " + import + "\n" +
                             (withResult ? "store\n" : "") + "ret\n";
        auto machine = Machine(source.c_str());
        machine->mGlobals[0].name = "Obj";
        machine->mGlobals[0].object = handle;
        return machine;
    }
    std::unique_ptr<cTarvelScript> Run(const char* import, int argc, const std::string& pushes,
                                       const char* result = "none", const std::string& more = "")
    {
        auto machine = Call(import, argc, pushes, result, AnnHandle(), "cActor", more);
        machine->CallFunction("Go", nullptr);
        return machine;
    }
    uint32_t AnnHandle() const { return gScriptHandles.Bind(mAnn, eScriptObjectType::Actor); }

    // A cinematic on top that is inside its own call and skips.
    static void Skip()
    {
        auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "OnRun");
        cinematic->mInCall = true;
        cinematic->mSkipping = true;
    }
    static void ClearCinematics()
    {
        while (cTarvelCinematic* top = Top()) {
            top->Finish();
            delete top;
        }
    }
    static cTarvelCinematic* Top() { return gCinematics.Count() ? gCinematics[gCinematics.Count() - 1] : nullptr; }

    cTarvelActor* mAnn = nullptr;
};

using ::testing::ElementsAre;

TEST_F(ScriptApiActorTest, WalksRunsAndPlacesThroughTheLegs)
{
    struct tCase {
        const char* name;
        const char* import;
        int argc;
        std::string pushes;
        bool skipping;
        std::vector<std::string> log;
    } cases[] = {
        {"walk", "cActor__walkTo", 3, "push float 1\npush float 2\npush float 3\n", false,
         {"finish", "walk 1,2,3,0"}},
        {"a skipped walk ends at its end", "cActor__walkTo", 3, "push float 1\npush float 2\npush float 3\n", true,
         {"finish", "walk 1,2,3,0", "finish at end"}},
        {"run", "cActor__runTo", 3, "push float 1\npush float 2\npush float 3\n", false,
         {"finish", "walk 1,2,3,0", "run"}},
        {"the last argument repeats", "cActor__walkTo", 1, "push float 4\n", false, {"finish", "walk 4,4,4,0"}},
        {"place asks the floor under x, z with y", "cActor__place", 4,
         "push float 1\npush float 2\npush float 3\npush float 0.5\n", false,
         {"finish", "position 1,2,3", "floor 1,3,2", "position 1,9,3", "turn 0,0.5,0"}},
        {"place with one float", "cActor__place", 1, "push float 6\n", false,
         {"finish", "position 6,6,6", "floor 6,6,6", "position 6,9,6", "turn 0,6,0"}},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLegs* legs = Legs();
        if (c.skipping)
            Skip();
        Run(c.import, c.argc, c.pushes);
        EXPECT_EQ(legs->mLog, c.log);
        ClearCinematics();
    }
}

TEST_F(ScriptApiActorTest, GetPositionReturnsOneAxisOfTheLegs)
{
    Legs();
    for (int axis = 0; axis < 3; ++axis) {
        auto m = Run("cActor__getPosition", 1, "push int " + std::to_string(axis) + "\n", "float");
        EXPECT_EQ(m->mGlobals[1].floatValue, (std::array<float, 3>{1.5f, -2.5f, 3.5f}[axis]));
    }
    // The result is a float whatever the import declared; another axis
    // leaves the value.
    for (int32_t axis : {1, 3}) {
        SCOPED_TRACE(axis);
        cTarvelScriptValue self;
        self.object = AnnHandle();
        tScriptFrame frame;
        frame.thisValue = &self;
        frame.arguments.Add(cTarvelScriptValue::FromInt(axis));
        frame.result.kind = kScriptInteger;
        frame.result.floatValue = 8.0f;
        EXPECT_EQ(cActor__getPosition(&frame), 0);
        EXPECT_EQ(frame.result.kind, uint32_t(kScriptFloat));
        EXPECT_EQ(frame.result.floatValue, axis == 1 ? -2.5f : 8.0f);
    }
}

TEST_F(ScriptApiActorTest, WaitingForTheWalkSuspendsUntilTheLegsCallBack)
{
    RecordingLegs* legs = Legs();
    auto m = Machine("global Obj result class=cActor\nglobal Log int\nimport cActor__waitForPathfinder 0 none\n"
                     "import test__record 1 none\n"
                     "function Go\ncallg Obj cActor__waitForPathfinder\npush int 1\ncallg Log test__record\nret\n");
    m->mGlobals[0].object = AnnHandle();
    m->CallFunction("Go", nullptr);
    ASSERT_EQ(legs->mScript, m.get());
    ASSERT_EQ(legs->mLabel[0], '#');
    EXPECT_EQ(legs->mLog, std::vector<std::string>{"callback " + legs->mLabel});
    EXPECT_TRUE(gTarvel.mGameplay.mStateFlags & cTarvelGameplay::kWalkingToObject);
    EXPECT_TRUE(Records().empty()) << "suspended";
    m->CallFunction(legs->mLabel.c_str(), nullptr);
    ASSERT_EQ(Records().size(), 1u) << "the walk's end resumes it after the call";
    Records().clear();

    // The movement callback goes to the legs, or runs at once while skipping.
    auto cb = Run("cActor__setMovementCallback", 1, "push string \"Arrived\"\n", "none",
                  "global Log int\nfunction Arrived\npush int 7\ncallg Log test__record\nret\n");
    EXPECT_EQ(legs->mLog.back(), "callback Arrived");
    EXPECT_EQ(legs->mScript, cb.get());
    EXPECT_TRUE(Records().empty());
    Skip();
    legs->mLog.clear();
    Run("cActor__setMovementCallback", 1, "push string \"Arrived\"\n", "none",
        "global Log int\nfunction Arrived\npush int 7\ncallg Log test__record\nret\n");
    EXPECT_TRUE(legs->mLog.empty());
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].arguments[0].integer, 7);
}

TEST_F(ScriptApiActorTest, WalkAndRunCyclesNeedTheDefaultLegsAndTakeZeroSpeedsAsOne)
{
    ASSERT_NE(DefaultLegs(), nullptr);
    struct tCase {
        float walk, run;
        float walkStored, runStored;
    } cases[] = {{0.0f, 0.0f, 1.0f, 1.0f}, {0.75f, 2.5f, 0.75f, 2.5f}, {-0.0f, 3.0f, 1.0f, 3.0f}};
    for (const tCase& c : cases) {
        Run("cActor__setWalkNRunCycle", 4,
            "push string \"walk\"\npush float " + std::to_string(c.walk) + "\npush string \"run\"\npush float " +
                std::to_string(c.run) + "\n");
        EXPECT_EQ(DefaultLegs()->mWalkCycles, c.walkStored) << c.walk;
        EXPECT_EQ(DefaultLegs()->mRunCycles, c.runStored) << c.run;
    }
    Run("cActor__setWalkspeed", 1, "push float 0.5\n");
    EXPECT_EQ(DefaultLegs()->mWalkSpeedFac, 0.5f);

    DefaultLegs()->mControlClass = 2;
    Run("cActor__setWalkspeed", 1, "push float 3\n");
    Run("cActor__setWalkNRunCycle", 4, "push string \"walk\"\npush float 0\npush string \"run\"\npush float 0.25\n");
    EXPECT_EQ(DefaultLegs()->mWalkSpeedFac, 0.5f) << "other legs keep theirs";
    EXPECT_EQ(DefaultLegs()->mRunCycles, 3.0f);
}

TEST_F(ScriptApiActorTest, SetWalklayerReturnsTheOldLayersNameAndSetsTheNamedOne)
{
    auto* floor = new cTarvelWalkArea();
    std::strcpy(floor->mRecord.name, "floor");
    gTarvel.mScene->mWalkAreas.Add(floor);
    auto m = Run("cActor__setWalklayer", 1, "push string \"floor\"\n", "string");
    EXPECT_STREQ(m->mGlobals[1].string.c_str(), "") << "there was none before";
    EXPECT_EQ(mAnn->SetWalkLayer(floor), floor);

    m = Run("cActor__setWalklayer", 1, "push string \"\"\n", "string");
    EXPECT_STREQ(m->mGlobals[1].string.c_str(), "floor");
    EXPECT_EQ(mAnn->SetWalkLayer(nullptr), nullptr) << "an empty name clears it";

    mAnn->SetWalkLayer(floor);
    m = Run("cActor__setWalklayer", 1, "push string \"Floor\"\n", "string");
    EXPECT_STREQ(m->mGlobals[1].string.c_str(), "floor");
    EXPECT_EQ(mAnn->SetWalkLayer(nullptr), nullptr) << "names compare exactly";
}

TEST_F(ScriptApiActorTest, PosesNeedANameAndCallThePoseEvent)
{
    cTarvelScript::sCallObserver = Observe;
    Run("cActor__putPose", 1, "push string \"Sit\"\n");
    EXPECT_STREQ(mAnn->mPose.c_str(), "Sit");
    EXPECT_THAT(gObserved, ::testing::Contains("Ann:Ann::PoseSit"));

    gObserved.clear();
    Run("cActor__setPose", 3, "push string \"Stand\"\npush string \"\"\npush bool true\n");
    EXPECT_STREQ(mAnn->mPose.c_str(), "Stand") << "without a transition at once";
    EXPECT_EQ(gCinematics.Count(), 0) << "and nothing to wait for";

    // The transition carries the pose's event; the script waits for it.
    ASSERT_EQ(mAnn->mMobile->Load("body"), 0);
    Run("cActor__setPose", 3, "push string \"Sit\"\npush string \"sitdown\"\npush bool true\n");
    EXPECT_STREQ(mAnn->mPose.c_str(), "Stand") << "not before its event";
    ASSERT_NE(mAnn->mAnimation, nullptr);
    EXPECT_STREQ(mAnn->mAnimation->mName.c_str(), "sitdown");
    const Anim::MotionEventTable& events = mAnn->mAnimation->mMotion->GetEventTable();
    ASSERT_EQ(events.GetNumEvents(), 1u);
    EXPECT_STREQ(events.GetParameter(events.GetEvent(0).parameterIndex).AsChar(), "Sit");
    ASSERT_EQ(gCinematics.Count(), 1);
    EXPECT_EQ(Top()->mWaitKind, cTarvelCinematic::kWaitActorAnim);
    EXPECT_EQ(Top()->mWaitActor, mAnn);
    EXPECT_STREQ(Top()->mWaitAnimName.c_str(), "sitdown");

    // One that cannot play sets the pose at once and adds nothing to the
    // animation still on the actor.
    Run("cActor__setPose", 3, "push string \"Kneel\"\npush string \"nosuch\"\npush bool false\n");
    EXPECT_STREQ(mAnn->mPose.c_str(), "Kneel");
    EXPECT_EQ(events.GetNumEvents(), 1u);

    // Skipping sets the pose at once and waits for nothing.
    Skip();
    Run("cActor__setPose", 3, "push string \"Lie\"\npush string \"liedown\"\npush bool true\n");
    EXPECT_STREQ(mAnn->mPose.c_str(), "Lie");
    EXPECT_EQ(gCinematics.Count(), 2);

    for (const char* import : {"cActor__putPose", "cActor__setPose"}) {
        tScriptFrame frame;
        cTarvelScriptValue self, arg;
        self.object = AnnHandle();
        frame.thisValue = &self;
        frame.arguments.Add(arg);
        EXPECT_EQ(FindScriptExport(import)(&frame), -1) << import << ": an empty pose fails";
        EXPECT_STREQ(mAnn->mPose.c_str(), "Lie");
    }
}

TEST_F(ScriptApiActorTest, AnimationWaitsGoToANewCinematicUnlessSkipping)
{
    struct tCase {
        const char* import;
        int argc;
        std::string pushes;
        bool linkedObject;
        bool skipping;
        int32_t waitKind; // kWaitNone: no cinematic
    } cases[] = {
        {"cActor__playAnimation", 3, "push string \"wave\"\npush int 0\npush bool true\n", false, false,
         cTarvelCinematic::kWaitActorAnim},
        {"cActor__playAnimation", 3, "push string \"wave\"\npush int 0\npush bool false\n", false, false,
         cTarvelCinematic::kWaitNone},
        {"cActor__playAnimation", 3, "push string \"wave\"\npush int 0\npush bool true\n", false, true,
         cTarvelCinematic::kWaitNone},
        {"cActor__playAnimationPart", 5,
         "push string \"wave\"\npush int 0\npush float 0.5\npush float 1\npush bool true\n", false, false,
         cTarvelCinematic::kWaitActorAnim},
        {"cActor__playLinkedAnimation", 3, "push string \"wave\"\npush int 0\npush bool true\n", true, false,
         cTarvelCinematic::kWaitActorLinkedAnim},
        {"cActor__playLinkedAnimation", 3, "push string \"wave\"\npush int 0\npush bool true\n", false, false,
         cTarvelCinematic::kWaitNone},
        {"cActor__playLinkedAnimationPart", 5,
         "push string \"wave\"\npush int 0\npush float 0\npush float 1\npush bool true\n", true, false,
         cTarvelCinematic::kWaitActorLinkedAnim},
        {"cActor__playLinkedAnimationPart", 5,
         "push string \"wave\"\npush int 0\npush float 0\npush float 1\npush bool true\n", true, true,
         cTarvelCinematic::kWaitNone},
    };
    ASSERT_EQ(mAnn->mMobile->Load("body"), 0);
    for (const tCase& c : cases) {
        SCOPED_TRACE(std::string(c.import) + (c.skipping ? " skipping" : "") + (c.linkedObject ? " linked" : ""));
        if (c.linkedObject)
            mAnn->LinkObject("cup", "hand");
        else
            mAnn->UnlinkObject();
        if (c.skipping)
            Skip();
        const int before = gCinematics.Count();
        Run(c.import, c.argc, c.pushes);
        if (c.waitKind == cTarvelCinematic::kWaitNone) {
            EXPECT_EQ(gCinematics.Count(), before);
        } else {
            ASSERT_EQ(gCinematics.Count(), before + 1);
            EXPECT_EQ(Top()->mWaitKind, c.waitKind);
            EXPECT_STREQ(Top()->mWaitAnimName.c_str(), "wave");
            EXPECT_FALSE(Top()->mSpeechLine);
        }
        ClearCinematics();
    }
}

TEST_F(ScriptApiActorTest, SayGoesToTheRunningCinematicOrMakesASpeechLine)
{
    const std::string more = "global Cine result class=cCinematic\nimport cActor__say 3 none\n"
                             "function Cine::OnRun\npush string \"Hi\"\npush string \"l1\"\npush bool true\n"
                             "callg Obj cActor__say\nret\n";
    // Outside any cinematic: a new one, marked as a speech line.
    Run("cActor__say", 3, "push string \"Hello\"\npush string \"l1\"\npush bool true\n");
    EXPECT_EQ(gTarvel.mSpeech.mSpeaker, mAnn);
    EXPECT_EQ(gTarvel.mSpeech.mState, 2);
    EXPECT_TRUE(gTarvel.mSpeech.mWithSound) << "the sound is the machine's name, \"-\" and the line id";
    ASSERT_EQ(gCinematics.Count(), 1);
    EXPECT_TRUE(Top()->mSpeechLine);
    EXPECT_EQ(Top()->mWaitKind, cTarvelCinematic::kWaitActorSay);
    EXPECT_EQ(Top()->mWaitActor, mAnn);
    ClearCinematics();

    // Inside a running cinematic the wait goes to it.
    auto m = Call("cActor__say", 3, "", "none", AnnHandle(), "cActor", more);
    auto* cinematic = new cTarvelCinematic(m.get(), "Cine", nullptr, "OnRun");
    ASSERT_EQ(gCinematics.Count(), 1) << "no cinematic of its own";
    EXPECT_EQ(Top(), cinematic);
    EXPECT_EQ(cinematic->mWaitKind, cTarvelCinematic::kWaitActorSay);
    EXPECT_FALSE(cinematic->mSpeechLine);

    // Thinking without wait: no cinematic; a leading "_" of the id is dropped.
    gTarvel.mSpeech.mState = 0;
    Run("cActor__think", 3, "push string \"Hmm\"\npush string \"l2\"\npush bool false\n");
    EXPECT_TRUE(gTarvel.mSpeech.mThought);
    EXPECT_EQ(gTarvel.mSpeech.mState, 2);
    EXPECT_EQ(gCinematics.Count(), 1);

    // Skipping says nothing.
    gTarvel.mSpeech.mState = 0;
    Skip();
    Run("cActor__say", 3, "push string \"Hello\"\npush string \"l1\"\npush bool true\n");
    EXPECT_EQ(gTarvel.mSpeech.mState, 0);
    EXPECT_EQ(gCinematics.Count(), 2);
}

TEST_F(ScriptApiActorTest, ADictaphoneClipSpeaksOffScreenAndWaitsForTheLine)
{
    ASSERT_NE(gTarvel.mSpeech.mOffVoice, nullptr);
    // The clip's script calls say on an object bound to nothing.
    auto m = Call("cActor__say", 3, "", "none", 0, "cActor",
                  "global Clip result class=cCinematic\nimport t__setClip 0 none\n"
                  "function Clip::OnRun\ncallg Clip t__setClip\n"
                  "push string \"Note\"\npush string \"l1\"\npush bool true\ncallg Obj cActor__say\nret\n");
    auto* clip = new cTarvelCinematic(m.get(), "Clip", nullptr, "OnRun");
    EXPECT_EQ(gTarvel.mSpeech.mSpeaker, gTarvel.mSpeech.mOffVoice);
    EXPECT_EQ(gTarvel.mSpeech.mState, 2);
    ASSERT_EQ(gCinematics.Count(), 1);
    EXPECT_EQ(clip->mWaitKind, cTarvelCinematic::kWaitSpeechLine);

    // Another object's script while the clip plays: the bound actor, and an
    // unbound one fails.
    gTarvel.mSpeech.mState = 0;
    auto other = Run("cActor__say", 3, "push string \"Hello\"\npush string \"l1\"\npush bool false\n");
    EXPECT_EQ(gTarvel.mSpeech.mSpeaker, mAnn);
    tScriptFrame frame;
    cTarvelScriptValue self, arg;
    frame.thisValue = &self;
    frame.machine = other.get();
    frame.arguments.Add(arg);
    gTarvel.mSpeech.mState = 0;
    EXPECT_EQ(cActor__say(&frame), -1);
    EXPECT_EQ(gTarvel.mSpeech.mState, 0);
}

TEST_F(ScriptApiActorTest, LinksObjectsAndFreeMobilesToTheBody)
{
    ASSERT_EQ(mAnn->mMobile->Load("body"), 0);
    Run("cActor__linkObject", 4, "push string \"cup\"\npush string \"\"\npush string \"hand\"\npush bool true\n");
    ASSERT_NE(mAnn->mLinkedMobile, nullptr);
    EXPECT_TRUE(mAnn->mLinkedHidden) << "hidden until its link event";
    EXPECT_STREQ(mAnn->mBone.c_str(), "hand");
    Run("cActor__unlinkObject", 0, "");
    EXPECT_EQ(mAnn->mLinkedMobile, nullptr);

    auto* free = new cTarvelMobile();
    ASSERT_EQ(free->Load("cup"), 0);
    free->mFree = true;
    free->mFreeID = "Cup";
    gTarvel.mScene->mMobiles.Add(free);
    Run("cActor__linkFreeObject", 2, "push string \"Cup\"\npush string \"nohand\"\n");
    EXPECT_EQ(free->mAttachedTo, nullptr) << "no such node";
    Run("cActor__linkFreeObject", 2, "push string \"cup\"\npush string \"hand\"\n");
    EXPECT_EQ(free->mAttachedTo, nullptr) << "names compare exactly";
    Run("cActor__linkFreeObject", 2, "push string \"Cup\"\npush string \"hand\"\n");
    EXPECT_EQ(free->mAttachedTo, mAnn->mMobile);
    EXPECT_EQ(mAnn->mMobile->mInstance->GetNumAttachments(), 1u);

    Run("cActor__unlinkFreeObject", 1, "push string \"Cup\"\n");
    EXPECT_EQ(free->mAttachedTo, nullptr);
    EXPECT_EQ(mAnn->mMobile->mInstance->GetNumAttachments(), 0u);
}

TEST_F(ScriptApiActorTest, FieldSetters)
{
    Run("cActor__setSpeechColor", 1, "push int 1193046\n"); // 0x123456
    EXPECT_EQ(mAnn->mSpeechColor, 0xFF123456u) << "alpha forced to 0xFF";
    Run("cActor__setFootstepSound", 2, "push string \"step\"\npush float 0.25\n");
    EXPECT_STREQ(mAnn->mFootstepSound.c_str(), "step");
    EXPECT_EQ(mAnn->mFootstepVolume, 0.25f);
    Run("cActor__addIdleAnimation", 2, "push string \"yawn\"\npush int 3\n");
    ASSERT_EQ(mAnn->mIdleAnimations.Count(), 1);
    EXPECT_STREQ(mAnn->mIdleAnimations[0].name.c_str(), "yawn");
    EXPECT_EQ(mAnn->mIdleAnimations[0].weight, 3);
}

TEST_F(ScriptApiActorTest, FootstepSoundIsLoadedWhenSet)
{
    gTarvel.mSound.SetupSound("steps", "step", 0, 0);
    ASSERT_NE(gTarvel.mSound.FindRecord("steps"), nullptr);
    EXPECT_EQ(gTarvel.mSound.FindRecord("steps")->sound, nullptr);
    Run("cActor__setFootstepSound", 2, "push string \"steps\"\npush float 0.5\n");
    EXPECT_STREQ(mAnn->mFootstepSound.c_str(), "steps");
    EXPECT_EQ(mAnn->mFootstepVolume, 0.5f);
    EXPECT_NE(gTarvel.mSound.FindRecord("steps")->sound, nullptr);
}

// The look-at functions hand their arguments on in order: the point, the
// id, the time and (setLookat2) the eye, head and spine flags.
TEST_F(ScriptApiActorTest, LookAtsTakeTheirArgumentsInOrder)
{
    ASSERT_EQ(mAnn->mMobile->Load("looker"), 0);
    auto controller = [&](int32_t slot) { return mAnn->GetLookAtController(slot); };
    auto reset = [&] {
        mAnn->CreateLookAtControllers();
        for (int32_t slot : {cTarvelActor::kLookAtHead, cTarvelActor::kLookAtSpine1, cTarvelActor::kLookAtEyeR})
            ASSERT_NE(controller(slot), nullptr) << slot;
    };
    auto goal = [&](int32_t slot) {
        const AnimCore::Vector3* g = controller(slot)->GetGoal();
        return std::array<float, 3>{g->x, g->y, g->z};
    };

    reset();
    Run("cActor__setLookat", 5, "push float 1\npush float 2\npush float 3\npush int 7\npush float 0.5\n");
    EXPECT_EQ(mAnn->mLookAtID, 7);
    MobileLookAtController* head = controller(cTarvelActor::kLookAtHead);
    EXPECT_EQ(goal(cTarvelActor::kLookAtHead), (std::array<float, 3>{1, 2, 3}));
    EXPECT_EQ(head->GetTargetWeight(), 1.0f);
    head->UpdateWeight(0.25f);
    EXPECT_FLOAT_EQ(head->GetWeight(), 0.5f) << "turned in over half a second";

    // Another id leaves the look-at; its own turns it away over a second.
    head->SetWeight(1.0f, 0.0f);
    Run("cActor__removeLookat", 1, "push int 8\n");
    EXPECT_EQ(mAnn->mLookAtID, 7);
    EXPECT_EQ(head->GetTargetWeight(), 1.0f);
    Run("cActor__removeLookat", 1, "push int 7\n");
    EXPECT_EQ(mAnn->mLookAtID, -1);
    EXPECT_EQ(head->GetTargetWeight(), 0.0f);
    head->UpdateWeight(0.5f);
    EXPECT_FLOAT_EQ(head->GetWeight(), 0.5f);

    const struct {
        const char* flags;
        int32_t slot;
    } rows[] = {
        {"push bool true\npush bool false\npush bool false\n", cTarvelActor::kLookAtEyeR},
        {"push bool false\npush bool true\npush bool false\n", cTarvelActor::kLookAtHead},
        {"push bool false\npush bool false\npush bool true\n", cTarvelActor::kLookAtSpine1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.slot);
        reset();
        Run("cActor__setLookat2", 8,
            std::string("push float 4\npush float 5\npush float 6\npush int 9\npush float 0.25\n") + row.flags);
        EXPECT_EQ(mAnn->mLookAtID, 9);
        for (int32_t slot : {cTarvelActor::kLookAtHead, cTarvelActor::kLookAtSpine1, cTarvelActor::kLookAtEyeR}) {
            EXPECT_EQ(controller(slot)->GetTargetWeight(), slot == row.slot ? 1.0f : 0.0f) << slot;
            if (slot == row.slot)
                EXPECT_EQ(goal(slot), (std::array<float, 3>{4, 5, 6}));
        }
        controller(row.slot)->UpdateWeight(0.125f);
        EXPECT_FLOAT_EQ(controller(row.slot)->GetWeight(), 0.5f) << "over a quarter of a second";
    }
}

TEST_F(ScriptApiActorTest, RotationMoveTakesTheSlotThenTheAnimation)
{
    ASSERT_EQ(mAnn->mMobile->Load("body"), 0);
    cTarvelActorControlDefault* legs = DefaultLegs();
    ASSERT_NE(legs, nullptr);
    Run("cActor__setRotationMove", 2, "push int 4\npush string \"sitdown\"\n");
    for (int slot = 0; slot < 6; ++slot) {
        SCOPED_TRACE(slot);
        if (slot == 4) {
            ASSERT_NE(legs->mRotationAnims[slot], nullptr);
            EXPECT_STREQ(legs->mRotationAnims[slot]->mName.c_str(), "sitdown");
        } else {
            EXPECT_EQ(legs->mRotationAnims[slot], nullptr);
        }
    }
}

TEST_F(ScriptApiActorTest, AnUnboundStaleOrForeignActorFailsAndChangesNothing)
{
    cTarvelScriptValue self;
    const uint32_t handles[] = {0, gScriptHandles.Bind(mAnn, eScriptObjectType::View)};
    const char* imports[] = {"cActor__setSpeechColor", "cActor__walkTo", "cActor__putPose", "cActor__say",
                             "cActor__think", "cActor__unlinkObject", "cActor__waitForPathfinder",
                             "cNPC__putEnabled", "cNPC__getEnabled", "cNPC__setPathfinderDestination"};
    RecordingLegs* legs = Legs();
    for (uint32_t handle : handles)
        for (const char* import : imports) {
            SCOPED_TRACE(import);
            tScriptFrame frame;
            self.object = handle;
            frame.thisValue = &self;
            cTarvelScriptValue arg;
            arg.integer = 5;
            arg.boolean = 1;
            arg.string = "x";
            frame.arguments.Add(arg);
            EXPECT_EQ(FindScriptExport(import)(&frame), -1);
        }
    EXPECT_EQ(mAnn->mSpeechColor, 0xFFFFFF40u);
    EXPECT_TRUE(legs->mLog.empty());
    EXPECT_FALSE(mAnn->mEnabled);
    EXPECT_EQ(gTarvel.mSpeech.mState, 0);

    // Bound, but with no arguments where it reads some.
    tScriptFrame frame;
    self.object = AnnHandle();
    frame.thisValue = &self;
    EXPECT_EQ(cActor__setSpeechColor(&frame), -1);
    EXPECT_EQ(cActor__walkTo(&frame), -1);
    EXPECT_EQ(mAnn->mSpeechColor, 0xFFFFFF40u);
    EXPECT_EQ(cActor__unlinkObject(&frame), 0) << "reads none";

    // The actor gone, its handle goes stale.
    gTarvel.mScene->mActors.DeleteAll();
    mAnn = nullptr;
    frame.arguments.Add(cTarvelScriptValue());
    EXPECT_EQ(cActor__setSpeechColor(&frame), -1);
}

TEST_F(ScriptApiActorTest, NpcInitCreatesBindsAndAddsTheCharacter)
{
    cTarvelScript::sCallObserver = Observe;
    struct tCase {
        const char* pose;
        bool poseEvent;
    } cases[] = {{"Sit", true}, {"", false}};
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.pose);
        gObserved.clear();
        auto m = Call("cNPC__init", 3,
                      std::string("push string \"Bob\"\npush string \"") + c.pose +
                          "\"\npush string \"The guard\"\n",
                      "none", 0, "cNPC");
        m->mGlobals[0].name = "Guard";
        const int before = gTarvel.mScene->mActors.Count();
        m->CallFunction("Go", nullptr);
        ASSERT_EQ(gTarvel.mScene->mActors.Count(), before + 1);
        cTarvelActor* bob = gTarvel.mScene->mActors[before];
        EXPECT_STREQ(bob->mName.c_str(), "Bob");
        EXPECT_STREQ(bob->mCaption.c_str(), "The guard");
        EXPECT_STREQ(bob->mPose.c_str(), c.pose);
        EXPECT_EQ(bob->mSceneSymbol, &m->mGlobals[0]);
        EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(m->mGlobals[0].object, eScriptObjectType::Actor), bob);
        bool posed = false;
        for (const std::string& call : gObserved)
            posed = posed || call == "Bob:Guard::PoseSit";
        EXPECT_EQ(posed, c.poseEvent);

        // Its flags and approach point through the same object.
        auto put = Call("cNPC__putVisible", 1, "push bool true\n", "none", m->mGlobals[0].object, "cNPC");
        put->CallFunction("Go", nullptr);
        EXPECT_TRUE(bob->mVisible);
        auto get = Call("cNPC__getVisible", 0, "", "bool", m->mGlobals[0].object, "cNPC");
        get->CallFunction("Go", nullptr);
        EXPECT_EQ(get->mGlobals[1].boolean, 1);
        auto dest = Call("cNPC__setPathfinderDestination", 2, "push float 1\npush float 2\n", "none",
                         m->mGlobals[0].object, "cNPC");
        dest->CallFunction("Go", nullptr);
        EXPECT_EQ(bob->mPathfinderDest[0], 1.0f);
        EXPECT_EQ(bob->mPathfinderDest[1], 2.0f);
        EXPECT_EQ(bob->mPathfinderDest[2], 2.0f) << "the last argument repeats";
    }
}

TEST_F(ScriptApiActorTest, ACharacterMadeThroughAPoppedObjectLinksBackToTheGlobal)
{
    auto m = Machine("global Guard result class=cNPC\nimport cNPC__init 3 none\n"
                     "function Go\npush result Guard\npush string \"Bob\"\npush string \"\"\npush string \"c\"\n"
                     "call cNPC__init\nret\n");
    m->mGlobals[0].name = "Guard";
    m->CallFunction("Go", nullptr);
    ASSERT_EQ(gTarvel.mScene->mActors.Count(), 2);
    cTarvelActor* bob = gTarvel.mScene->mActors[1];
    EXPECT_EQ(bob->mSceneSymbol, &m->mGlobals[0]) << "not the popped temporary";
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(m->mGlobals[0].object, eScriptObjectType::Actor), bob);
}

TEST_F(ScriptApiActorTest, ACharactersDialogueBarIsFilledByItsHandlerInTheScenesScript)
{
    auto m = Machine("global Guard result class=cNPC\nimport cNPC__addVerb 3 none\n"
                     "import cNPC__showVerbBar 0 none\n"
                     "function Guard::OnDlgBar\npush string \"ask\"\npush string \"Ask him\"\n"
                     "push string \"Ask\"\ncallg Guard cNPC__addVerb\nret\n"
                     "function Go\ncallg Guard cNPC__showVerbBar\nret\n");
    m->mGlobals[0].name = "Guard";
    m->mGlobals[0].object = AnnHandle();
    m->CallFunction("Go", nullptr);
    cTarvelDialogueBar& bar = gTarvel.mDialogueBar;
    ASSERT_EQ(bar.mEntries.Count(), 1);
    EXPECT_STREQ(bar.mEntries[0].function.c_str(), "Guard::Ask");
    EXPECT_STREQ(bar.mEntries[0].label.c_str(), "Ask him");
    EXPECT_STREQ(bar.mEntries[0].icon->mName.c_str(), "dialogue-ask");
    EXPECT_TRUE(bar.mOpen);
    ClearScreenControls();

    // Bound to nothing, neither adds nor opens.
    bar.mEntries.Clear();
    bar.mOpen = false;
    m->mGlobals[0].object = 0;
    m->CallFunction("Go", nullptr);
    m->CallFunction("Guard::OnDlgBar", &m->mGlobals[0]);
    EXPECT_EQ(bar.mEntries.Count(), 0);
    EXPECT_FALSE(bar.mOpen);
}

} // namespace
