#include <cstring>
#include <map>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "platform/win32/testing.h"
#include "engine/script/script_api_world_test_support.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/world/scene.h"
#include "tools/script_assembler.h"

namespace {

using ::testing::HasSubstr;

using ScriptApiTest = ScriptTestBase;

TEST_F(ScriptApiTest, ExportTableHoldsEveryNameOnce)
{
    ASSERT_EQ(gScriptExportCount, 192);
    std::set<tScriptExportFunction> entryPoints;
    std::set<std::string> classes;
    for (int32_t i = 0; i < gScriptExportCount; ++i) {
        const tScriptExport& e = gScriptExports[i];
        SCOPED_TRACE(e.name);
        if (i > 0) {
            EXPECT_LT(std::strcmp(gScriptExports[i - 1].name, e.name), 0) << "sorted, no repeats";
        }
        EXPECT_EQ(FindScriptExport(e.name), e.function);
        ASSERT_NE(e.function, nullptr);
        entryPoints.insert(e.function);
        const char* sep = std::strstr(e.name, "__");
        ASSERT_NE(sep, nullptr);
        classes.insert(std::string(e.name, sep));
    }
    EXPECT_EQ(entryPoints.size(), 188u);
    EXPECT_EQ(classes.size(), 18u);
    EXPECT_EQ(FindScriptExport("cPath__putEnabled"), FindScriptExport("cHotspot__putEnabled"));
    EXPECT_EQ(FindScriptExport("cPath__getEnabled"), FindScriptExport("cHotspot__getEnabled"));
    EXPECT_EQ(FindScriptExport("cLight__setPosition"),
              FindScriptExport("cHotspot__setPathfinderDestination"));
    EXPECT_EQ(FindScriptExport("cPath__setPathfinderDestination"),
              FindScriptExport("cHotspot__setPathfinderDestination"));
    EXPECT_NE(FindScriptExport("cNPC__putEnabled"), FindScriptExport("cHotspot__putEnabled"));
    EXPECT_EQ(FindScriptExport("cactor__walkto"), nullptr) << "exports are case-sensitive";
    EXPECT_EQ(FindScriptExport("cActor__walkTo "), nullptr);
    EXPECT_EQ(FindScriptExport("cActor__fly"), nullptr);
    EXPECT_EQ(FindScriptExport(nullptr), nullptr);
}

TEST_F(ScriptApiTest, BoundObjectNeedsALiveHandleOfItsType)
{
    int view = 0, actor = 0;
    cTarvelScriptValue self;
    tScriptFrame frame;
    frame.thisValue = &self;
    self.object = gScriptHandles.Bind(&view, eScriptObjectType::View);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), &view);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::Actor), nullptr);
    self.object = gScriptHandles.Bind(&actor, eScriptObjectType::Actor);
    gScriptHandles.Release(&actor);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::Actor), nullptr);
    self.object = 0;
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), nullptr);
    frame.thisValue = nullptr;
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), nullptr);
    self.object = uint32_t(-10);
    frame.thisValue = &self;
    EXPECT_EQ(ScriptInventoryIndex(&frame), -10) << "inventory items keep their plain index";
}

TEST_F(ScriptApiTest, AssemblerReportsTheLineOfAnError)
{
    struct tCase {
        const char* source;
        const char* error;
    } cases[] = {
        {"jmp nowhere", "line 1: unknown label 'nowhere'"},
        {"ret\nfoo", "line 2: unknown statement 'foo'"},
        {"push string abc", "line 1: string operand must be quoted"},
        {"push string \"abc", "line 1: unterminated string"},
        {"push string \"\\q\"", "line 1: unknown escape"},
        {"push int 12x", "line 1: bad number '12x'"},
        {"push ref Missing", "line 1: unknown global 'Missing'"},
        {"call nothing", "line 1: unknown import 'nothing'"},
        {"a:\na:", "line 2: label 'a' defined twice"},
        {"add 1", "line 1: add takes no operands"},
        {"global G wide", "line 1: bad number 'wide'"},
    };
    for (const tCase& c : cases) {
        tScriptAssembly a = AssembleScript(c.source);
        EXPECT_THAT(a.error, HasSubstr(c.error)) << c.source;
        EXPECT_TRUE(a.image.empty());
    }
}

TEST_F(ScriptApiTest, AssembledImageLayout)
{
    std::vector<uint8_t> image = AssembleScriptOrThrow(
        "global Door result scope=2 class=cHotspot\n"
        "import cActor__walkTo 3 none\n"
        "function Door::Do\n"
        "push string \"a\\\"b\"\ncallg Door cActor__walkTo\nret\n");
    // Header, one record of each kind, then the code and its end marker.
    ASSERT_EQ(image.size(), 20u + 200 + 76 + 140 + 15);
    const uint8_t header[20] = {15, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(image.data(), header, 20), 0);
    const uint8_t* g = image.data() + 20;
    EXPECT_EQ(g[0], kScriptResultObject);
    EXPECT_EQ(g[4], 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(g + 5), "Door");
    EXPECT_STREQ(reinterpret_cast<const char*>(g + 133), "cHotspot");
    const uint8_t* imp = g + 200;
    EXPECT_STREQ(reinterpret_cast<const char*>(imp), "cActor__walkTo");
    EXPECT_EQ(imp[64], 3);
    EXPECT_EQ(imp[72], 0xFF);
    EXPECT_EQ(imp[75], 0xFF);
    const uint8_t* fn = imp + 76;
    EXPECT_STREQ(reinterpret_cast<const char*>(fn), "Door::Do");
    EXPECT_EQ(fn[136], 0);
    const uint8_t code[15] = {1, 3, 'a', '"', 'b', 0, 23, 0, 0, 0, 0, 0, 0, 21, 0xFF};
    EXPECT_EQ(std::memcmp(fn + 140, code, 15), 0);
}


// Library functions of the helper tests, standing in for the exported
// functions that use the helpers.
std::vector<cTarvelCinematic*> gWaitedOn;
std::vector<bool> gSkipTests;

int32_t RunCinematic(tScriptFrame* frame)
{
    new cTarvelCinematic(frame->machine, frame->thisValue->name.c_str(), nullptr, "OnRun");
    return 0;
}
int32_t ExitCinematic(tScriptFrame* frame)
{
    if (cTarvelCinematic* c = ScriptBound<cTarvelCinematic>(frame, eScriptObjectType::Cinematic))
        c->Exit();
    return 0;
}
int32_t WaitOnTop(tScriptFrame* frame)
{
    gWaitedOn.push_back(ScriptWaitCinematic(frame, eScriptWaitRule::TopWhenRunning, true));
    gWaitedOn.back()->WaitTime(5.0f);
    return 0;
}
int32_t WaitOnNew(tScriptFrame* frame)
{
    gWaitedOn.push_back(ScriptWaitCinematic(frame, eScriptWaitRule::AlwaysNew));
    gWaitedOn.back()->WaitTime(5.0f);
    return 0;
}
int32_t SkipTest(tScriptFrame*)
{
    gSkipTests.push_back(ScriptCinematicSkipping());
    return 0;
}
int32_t FadeWait(tScriptFrame* frame)
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    ScriptSuspendInto(frame, gameplay.mFadeWaiter, gameplay.mFadeWaiterSerial, gameplay.mFadeLabel, true);
    return 0;
}
cTarvelVideo* gMovie = nullptr;
int32_t MovieWait(tScriptFrame* frame)
{
    if (!gMovie)
        gMovie = new cTarvelVideo;
    ScriptSuspendInto(frame, gMovie->mScript, gMovie->mScriptSerial, gMovie->mLabel, true);
    return 0;
}
struct TickerStandIn : cTarvelControl {};
int32_t InitControl(tScriptFrame* frame)
{
    ScriptAddControl(frame, new TickerStandIn, eScriptObjectType::CtrlTicker);
    return 0;
}

class ScriptHelperTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        gWaitedOn.clear();
        gSkipTests.clear();
        cTarvelScript::AddLibraryFunction("t__run", RunCinematic);
        cTarvelScript::AddLibraryFunction("t__exit", ExitCinematic);
        cTarvelScript::AddLibraryFunction("t__waitTop", WaitOnTop);
        cTarvelScript::AddLibraryFunction("t__waitNew", WaitOnNew);
        cTarvelScript::AddLibraryFunction("t__skipTest", SkipTest);
        cTarvelScript::AddLibraryFunction("t__fadeWait", FadeWait);
        cTarvelScript::AddLibraryFunction("t__movieWait", MovieWait);
        cTarvelScript::AddLibraryFunction("t__initControl", InitControl);
    }
    void TearDown() override
    {
        ClearCinematics();
        gActiveControls.DeleteAll();
        gTarvel.mGameplay.mFadeWaiter = nullptr;
        delete gMovie;
        gMovie = nullptr;
        cTarvelScript::sCallObserver = nullptr;
        ScriptTestBase::TearDown();
    }
    static cTarvelCinematic* Top() { return gCinematics.Count() > 0 ? gCinematics[gCinematics.Count() - 1] : nullptr; }
    static void ClearCinematics()
    {
        while (cTarvelCinematic* top = Top()) {
            top->Finish();
            delete top;
        }
    }
};

// A script cinematic "Cine" whose OnRun calls the import given, and a plain
// function "Plain" that calls it outside any cinematic.
std::string WaitingScript(const char* import)
{
    return std::string("global Cine result class=cCinematic\nglobal G int\n"
                       "import t__run 0 none\nimport ") +
           import + " 0 none\n"
                    "function Start\ncallg Cine t__run\nret\n"
                    "function Cine::OnRun\ncallg Cine " +
           import + "\nret\n"
                    "function Plain\ncallg G " +
           import + "\nret\n";
}

TEST_F(ScriptHelperTest, AWaitGoesToTheRunningTopOrToANewCinematicByItsRule)
{
    // No cinematic runs: both rules make one that resumes the caller.
    for (const char* import : {"t__waitTop", "t__waitNew"}) {
        SCOPED_TRACE(import);
        gWaitedOn.clear();
        auto m = Machine(WaitingScript(import).c_str());
        m->CallFunction("Plain", nullptr);
        ASSERT_EQ(gCinematics.Count(), 1);
        EXPECT_EQ(gWaitedOn, std::vector<cTarvelCinematic*>{Top()});
        EXPECT_EQ(Top()->mOwnerScript, m.get());
        EXPECT_EQ(Top()->mWaitKind, cTarvelCinematic::kWaitTime);
        EXPECT_EQ(Top()->mSpeechLine, std::string(import) == "t__waitTop") << "marked when made for a line";

        // That one waits but does not run: a second wait makes another above.
        m->CallFunction("Plain", nullptr);
        EXPECT_EQ(gCinematics.Count(), 2);
        ClearCinematics();
    }

    // Inside the script cinematic's own call the top takes the wait.
    gWaitedOn.clear();
    auto top = Machine(WaitingScript("t__waitTop").c_str());
    top->CallFunction("Start", nullptr);
    ASSERT_EQ(gCinematics.Count(), 1);
    EXPECT_EQ(gWaitedOn, std::vector<cTarvelCinematic*>{Top()});
    EXPECT_EQ(Top()->mOwnerScript, nullptr);
    EXPECT_FALSE(Top()->mSpeechLine);
    EXPECT_EQ(Top()->mWaitKind, cTarvelCinematic::kWaitTime);

    auto fresh = Machine(WaitingScript("t__waitNew").c_str());
    fresh->CallFunction("Start", nullptr);
    ASSERT_EQ(gCinematics.Count(), 3);
    EXPECT_EQ(gWaitedOn.back(), Top());
    EXPECT_EQ(Top()->mOwnerScript, fresh.get());
    EXPECT_EQ(gCinematics[1]->mWaitKind, cTarvelCinematic::kWaitNone) << "the script cinematic below waits for it";
}

TEST_F(ScriptHelperTest, TheSkipTestHoldsOnlyInsideASkippingCinematicsCall)
{
    auto m = Machine("global Cine result class=cCinematic\n"
                     "import t__run 0 none\nimport t__exit 0 none\nimport t__skipTest 0 none\n"
                     "import t__waitNew 0 none\n"
                     "function Start\ncallg Cine t__run\nret\n"
                     "function Cine::OnRun\ncallg Cine t__skipTest\ncallg Cine t__waitNew\n"
                     "callg Cine t__skipTest\ncallg Cine t__exit\nret\n");
    m->CallFunction("Start", nullptr);
    ASSERT_EQ(gCinematics.Count(), 2);
    // Skipping the wait cinematic above resumes the script cinematic's code,
    // but not as a call of the top cinematic.
    Top()->RequestSkip(true);
    EXPECT_EQ(gSkipTests, (std::vector<bool>{false, false})) << "an implicit cinematic is never in a call";
    EXPECT_FALSE(ScriptCinematicSkipping());
    cTarvelCinematic::UpdateStack();
    ASSERT_EQ(gCinematics.Count(), 0);

    gSkipTests.clear();
    auto n = Machine("global Cine result class=cCinematic\n"
                     "import t__run 0 none\nimport t__exit 0 none\nimport t__skipTest 0 none\n"
                     "import t__waitTop 0 none\n"
                     "function Start\ncallg Cine t__run\nret\n"
                     "function Cine::OnRun\ncallg Cine t__skipTest\ncallg Cine t__waitTop\n"
                     "callg Cine t__skipTest\ncallg Cine t__exit\nret\n");
    n->CallFunction("Start", nullptr);
    Top()->RequestSkip(true);
    EXPECT_EQ(gSkipTests, (std::vector<bool>{false, true}));
    EXPECT_FALSE(ScriptCinematicSkipping()) << "outside the call";
}

TEST_F(ScriptHelperTest, ACreatedControlIsBoundAppendedAndItsHandleGoesWithIt)
{
    auto m = Machine("global Tick result class=cCtrlTicker\nimport t__initControl 0 none\n"
                     "function Go\ncallg Tick t__initControl\nret\n");
    gActiveControls.Add(new TickerStandIn);
    m->CallFunction("Go", nullptr);
    ASSERT_EQ(gActiveControls.Count(), 2);
    cTarvelControl* control = gActiveControls[1];
    const uint32_t handle = m->mGlobals[0].object;
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::CtrlTicker), control);
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::CtrlMirror), nullptr) << "bound under its own type";

    control->mFinished = true;
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::CtrlTicker), nullptr);
}

TEST_F(ScriptHelperTest, AWaiterThatANewerWaitDisplacesGoesOnAtTheNextFrame)
{
    const char* source = "global Log int\nimport t__fadeWait 0 none\nimport test__record 1 none\n"
                         "function Go\ncallg Log t__fadeWait\npush int 1\ncallg Log test__record\nret\n";
    auto first = Machine(source);
    auto second = Machine(source);
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    first->CallFunction("Go", nullptr);
    EXPECT_EQ(gameplay.mFadeWaiter, first.get());
    const std::string label = gameplay.mFadeLabel.c_str();

    testing::internal::CaptureStderr();
    first->CallFunction("Go", nullptr);
    second->CallFunction("Go", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Script test: a newer wait took the place of its wait; it goes on at " + label + ".\n")
        << "the same machine waiting again leaves no waiter behind";
    EXPECT_EQ(gameplay.mFadeWaiter, second.get());
    EXPECT_TRUE(Records().empty());

    platform::testing::AdvanceClock(16);
    gTarvel.mTimer.Update();
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].machine, first.get());
    EXPECT_EQ(gameplay.mFadeWaiter, second.get());
}

// A scene visited again gets a new machine, which may sit where the old one
// was. A wait that a gone machine left behind must not resume the machine
// built in its storage (the same address whatever the allocator does); the
// same wait set by that new machine does resume it.
std::vector<cTarvelScript*> gCalled;

TEST_F(ScriptHelperTest, AWaitOfAGoneMachineDoesNotResumeANewOneAtItsAddress)
{
    const std::vector<uint8_t> code = AssembleScriptOrThrow(
        "global Log int\nimport t__fadeWait 0 none\nimport t__movieWait 0 none\nimport t__waitNew 0 none\n"
        "function Fade\ncallg Log t__fadeWait\nret\n"
        "function Movie\ncallg Log t__movieWait\nret\n"
        "function Cine\ncallg Log t__waitNew\nret\n");
    struct Kind {
        const char* name;
        const char* setter;
        void (*fire)();
    };
    const Kind kinds[] = {
        {"a fade's waiter", "Fade",
         [] {
             gTarvel.mGameplay.mFadeState = 0;
             gTarvel.mGameplay.Update();
         }},
        {"a movie's waiter", "Movie",
         [] {
             cTarvelVideo* movie = gMovie;
             gMovie = nullptr;
             gTarvel.mMovie = movie;
             movie->Update();   // no picture: it ends at once, and goes
         }},
        {"a cinematic's owner", "Cine",
         [] {
             gWaitedOn.back()->mWaitUntil = -1.0f;   // over
             gWaitedOn.back()->CheckWait();
         }},
    };
    cTarvelScript::sCallObserver = [](cTarvelScript* script, const char*) { gCalled.push_back(script); };
    alignas(cTarvelScript) unsigned char storage[sizeof(cTarvelScript)];
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        auto* left = new (storage) cTarvelScript();
        left->LoadImage(code.data(), code.size(), "test");
        left->CallFunction(kind.setter, nullptr);
        left->~cTarvelScript();
        auto* visit = new (storage) cTarvelScript();
        visit->LoadImage(code.data(), code.size(), "test");
        ASSERT_EQ(static_cast<void*>(visit), static_cast<void*>(left));

        gCalled.clear();
        kind.fire();
        EXPECT_TRUE(gCalled.empty()) << "the gone machine's wait resumed the new one";

        visit->CallFunction(kind.setter, nullptr);
        gCalled.clear();
        kind.fire();
        EXPECT_EQ(gCalled, std::vector<cTarvelScript*>{visit}) << "its own wait resumes it";
        visit->~cTarvelScript();
    }
}

// Every export called as a script would call it with no arguments on an
// object that was never bound. What each returns is written out here, not
// taken from the code: -1 for every function that reads an argument and for
// those that need their bound object; 0 for the ones that act on the engine
// or tolerate an unbound object.
class ScriptApiEmptyCallTest : public ScriptApiWorldTest {};

TEST_F(ScriptApiEmptyCallTest, EveryExportWithoutArgumentsOnAnUnboundObject)
{
    const std::map<std::string, int32_t> expected = {
        {"cActor__addIdleAnimation", -1}, {"cActor__getPosition", -1},
        {"cActor__linkFreeObject", -1}, {"cActor__linkObject", -1},
        {"cActor__place", -1}, {"cActor__playAnimation", -1},
        {"cActor__playAnimationPart", -1}, {"cActor__playLinkedAnimation", -1},
        {"cActor__playLinkedAnimationPart", -1}, {"cActor__putPose", -1},
        {"cActor__removeLookat", -1}, {"cActor__runTo", -1},
        {"cActor__say", -1}, {"cActor__setFootstepSound", -1},
        {"cActor__setLookat", -1}, {"cActor__setLookat2", -1},
        {"cActor__setMovementCallback", -1}, {"cActor__setPose", -1},
        {"cActor__setRotationMove", -1}, {"cActor__setSpeechColor", -1},
        {"cActor__setWalkNRunCycle", -1}, {"cActor__setWalklayer", -1},
        {"cActor__setWalkspeed", -1}, {"cActor__think", -1},
        {"cActor__unlinkFreeObject", -1}, {"cActor__unlinkObject", -1},
        {"cActor__waitForPathfinder", -1}, {"cActor__walkTo", -1},

        {"cCinematic__exit", -1}, {"cCinematic__putUnskipable", -1},
        {"cCinematic__run", 0}, {"cCinematic__waitForActorAnim", -1},
        {"cCinematic__waitForActorLinkedAnim", -1}, {"cCinematic__waitForActorPlace", -1},
        {"cCinematic__waitForActorSay", -1}, {"cCinematic__waitForCMV", -1},
        {"cCinematic__waitForCameraMove", -1}, {"cCinematic__waitForFade", -1},
        {"cCinematic__waitForImage", -1}, {"cCinematic__waitForPostFX", -1},
        {"cCinematic__waitTime", -1},

        {"cCtrlBunkerWall__execute", -1}, {"cCtrlBunkerWall__init", -1},
        {"cCtrlBunkerWall__isFinished", -1}, {"cCtrlBunkerWall__shootNow", 0},
        {"cCtrlFlashlight__addMobile", -1}, {"cCtrlFlashlight__addView", -1},
        {"cCtrlFlashlight__end", -1}, {"cCtrlFlashlight__init", -1},
        {"cCtrlMirror__addMirrorFloor", -1}, {"cCtrlMirror__addMirrorPlane", -1},
        {"cCtrlMirror__excludeMobile", -1}, {"cCtrlMirror__init", -1},
        {"cCtrlMirror__setMeshMode", -1}, {"cCtrlSplitScreen__init", -1},
        {"cCtrlTicker__addLine", -1}, {"cCtrlTicker__init", -1},

        {"cHotspot__addVerb", -1}, {"cHotspot__getEnabled", -1},
        {"cHotspot__getLeaveRoom", -1}, {"cHotspot__getNoVerbs", -1},
        {"cHotspot__init", -1}, {"cHotspot__putEnabled", -1},
        {"cHotspot__putLeaveRoom", -1}, {"cHotspot__putNoVerbs", -1},
        {"cHotspot__setLookatPoint", -1}, {"cHotspot__setPathfinderDestination", -1},

        {"cInventoryItem__addVerb", -1}, {"cInventoryItem__loadImages", -1},
        {"cInventoryItem__putName", -1}, {"cInventoryItem__select", 0},

        {"cLight__castShadowMobileOnMobile", -1}, {"cLight__castShadowMobileOnScenery", -1},
        {"cLight__setAmbient", -1}, {"cLight__setAttenuation", -1},
        {"cLight__setColor", -1}, {"cLight__setPosition", -1},
        {"cLight__setRange", -1}, {"cLight__setRotation", -1},

        {"cMesh__assignColormap", -1}, {"cMesh__disablePick", -1},
        {"cMesh__enablePick", -1}, {"cMesh__setRenderMethod", -1},

        {"cMobile__createAsFreeMobile", -1}, {"cMobile__imageReplaceSuffix", -1},
        {"cMobile__loadMesh", -1}, {"cMobile__setBaseAnimation", -1},
        {"cMobile__setWorldLink", -1}, {"cMobile__show", -1},

        {"cNPC__addVerb", -1}, {"cNPC__getEnabled", -1},
        {"cNPC__getVisible", -1}, {"cNPC__init", -1},
        {"cNPC__putEnabled", -1}, {"cNPC__putVisible", -1},
        {"cNPC__setPathfinderDestination", -1}, {"cNPC__showVerbBar", -1},

        {"cParticleSparkle__init", -1}, {"cParticleSparkle__spawn", -1},

        {"cPath__feedPathfinder", -1}, {"cPath__getEnabled", -1},
        {"cPath__getNoTeleport", -1}, {"cPath__getNoWalking", -1},
        {"cPath__init", -1}, {"cPath__putEnabled", -1},
        {"cPath__putNoTeleport", -1}, {"cPath__putNoWalking", -1},
        {"cPath__setPathfinderDestination", -1},

        {"cScene__applyTimedPostEffect", -1}, {"cScene__cameraMove", -1},
        {"cScene__cameraMoveSecond", -1}, {"cScene__cameraSet", -1},
        {"cScene__cameraSetSecond", -1}, {"cScene__closeSecondStage", -1},
        {"cScene__cmvShow", -1}, {"cScene__createFreeMobile", -1},
        {"cScene__createLight", -1}, {"cScene__createWeather", -1},
        {"cScene__destroyWeather", -1}, {"cScene__fade", -1},
        {"cScene__getActualView", -1}, {"cScene__getFreeMobile", -1},
        {"cScene__getLight", -1}, {"cScene__getMesh", -1},
        {"cScene__getView", -1}, {"cScene__initDOF", -1},
        {"cScene__leaveDetailView", -1}, {"cScene__openSecondStage", -1},
        {"cScene__setAmbientLight", -1}, {"cScene__setDOF", -1},
        {"cScene__setLights", -1}, {"cScene__setShadowFactor", -1},
        {"cScene__setWeatherLayer", -1},

        {"cSystem__addPDAAttachment", -1}, {"cSystem__addPDAAudioEntry", -1},
        {"cSystem__addPDAMail", -1}, {"cSystem__addPDAMailTextline", -1},
        {"cSystem__addPDAPhonebookEntry", -1}, {"cSystem__addSoundDSP", -1},
        {"cSystem__addToInventory", -1}, {"cSystem__call", -1},
        {"cSystem__callScene", -1}, {"cSystem__clearInventory", 0},
        {"cSystem__fadeSoundstage", -1}, {"cSystem__getScene", 0},
        {"cSystem__gotoScene", -1}, {"cSystem__irand", -1},
        {"cSystem__isItemSelected", -1}, {"cSystem__isLastScene", -1},
        {"cSystem__isScene", -1}, {"cSystem__isState", -1},
        {"cSystem__loadSound", -1}, {"cSystem__openPDA", 0},
        {"cSystem__playEmittedSound", -1}, {"cSystem__playMusic", -1},
        {"cSystem__playSound", -1}, {"cSystem__popInventory", 0},
        {"cSystem__pushInventory", 0}, {"cSystem__quitGame", 0},
        {"cSystem__removeFromInventory", -1}, {"cSystem__restartGame", 0},
        {"cSystem__selectTempInventory", -1}, {"cSystem__setInventoryImage", -1},
        {"cSystem__setInventoryOnly", -1}, {"cSystem__setString", -1},
        {"cSystem__setTimer", -1}, {"cSystem__setupSound", -1},
        {"cSystem__showCasefile", -1}, {"cSystem__showRadio", 0},
        {"cSystem__showVideo", -1}, {"cSystem__stopMusic", -1},
        {"cSystem__stopSound", -1}, {"cSystem__unselectInventory", 0},
        {"cSystem__wait", -1},

        {"cView__addLayer", -1}, {"cView__attachCamLayer", -1},
        {"cView__imagePreload", -1}, {"cView__imageReplaceSuffix", -1},
        {"cView__imageRestart", -1}, {"cView__imageSetCallback", -1},
        {"cView__imageSetFrame", -1}, {"cView__imageWait", -1},
        {"cView__init", 0}, {"cView__putIsFiltered", -1},
        {"cView__putNoActors", -1}, {"cView__removeLayer", -1},
        {"cView__select", 0}, {"cView__selectAsDetail", 0},
        {"cView__selectStage", -1}, {"cView__setLayerColormap", -1},
        {"cView__setLayerRenderMethod", -1}, {"cView__showLayer", -1},
    };
    ASSERT_EQ(expected.size(), 192u);
    ASSERT_EQ(gScriptExportCount, 192);

    // What the few that succeed make (cinematics, screen controls): the
    // script cinematic, the PDA's screen and the radio.
    const std::map<std::string, std::pair<int32_t, int32_t>> makes = {
        {"cCinematic__run", {1, 0}},
        {"cSystem__openPDA", {0, 1}},
        {"cSystem__showRadio", {0, 1}},
    };

    // The calling machine declares one script object of each class, none of
    // them bound; a call is made on the object of the function's class.
    std::string source;
    std::set<std::string> classes;
    for (int32_t i = 0; i < gScriptExportCount; ++i)
        classes.insert(std::string(gScriptExports[i].name, std::strstr(gScriptExports[i].name, "__")));
    for (const std::string& c : classes)
        source += "global The" + c + " object class=" + c + "\n";
    source += "ret\nfunction ThecCinematic::OnRun\nret\n";
    auto machine = Machine(source.c_str());

    for (int32_t i = 0; i < gScriptExportCount; ++i) {
        const tScriptExport& e = gScriptExports[i];
        SCOPED_TRACE(e.name);
        auto want = expected.find(e.name);
        ASSERT_NE(want, expected.end());

        const std::string className(e.name, std::strstr(e.name, "__"));
        cTarvelScriptValue* self = machine->FindSymbol(("The" + className).c_str(), className.c_str());
        ASSERT_NE(self, nullptr);
        self->object = 0; // cCinematic__run binds its object
        tScriptFrame frame;
        frame.engine = &gTarvel;
        frame.machine = machine.get();
        frame.thisValue = self;
        const int32_t cinematics = gCinematics.Count();
        const int32_t screens = gScreenControls.Count();
        const int32_t controls = gActiveControls.Count();
        cTarvelView* const view = mScene->mView;

        testing::internal::CaptureStderr();
        EXPECT_EQ(e.function(&frame), want->second);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        if (want->second == -1) {
            // A failed call writes no result either.
            EXPECT_EQ(frame.result.integer, 0);
            EXPECT_EQ(frame.result.floatValue, 0.0f);
            EXPECT_EQ(frame.result.boolean, 0);
            EXPECT_EQ(frame.result.object, 0u);
            EXPECT_STREQ(frame.result.string.c_str(), "");
            EXPECT_STREQ(frame.result.className.c_str(), "");
        }

        auto made = makes.find(e.name);
        const std::pair<int32_t, int32_t> delta = made == makes.end() ? std::pair{0, 0} : made->second;
        EXPECT_EQ(gCinematics.Count(), cinematics + delta.first);
        EXPECT_EQ(gScreenControls.Count(), screens + delta.second);
        EXPECT_EQ(gActiveControls.Count(), controls);
        EXPECT_EQ(mScene->mView, view);
    }
    EXPECT_EQ(mScene->mMobiles.count, 0);
    EXPECT_EQ(mScene->mParticles.count, 0);
    EXPECT_EQ(gTarvel.mLights.mLights.count, 0);

    while (gCinematics.Count() > 0) {
        cTarvelCinematic* top = gCinematics[gCinematics.Count() - 1];
        top->Finish();
        delete top;
    }
}

} // namespace
