#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/verb_bar.h"
#include "engine/render/shadow.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/light.h"
#include "engine/world/light_set.h"
#include "engine/world/mobile.h"
#include "engine/world/particle_sparkle.h"
#include "engine/world/scene.h"
#include "engine/world/scene_mesh.h"
#include "engine/world/view.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

// A scene with two hotspots, two meshes and a view that lists them, a light,
// a free mobile "cup" and a character "Ann" with a body.
class ScriptApiObjectsTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        writer.AddShared(1, "Ann.day", 2, AssembleActorScript("Ann"), true);
        writer.AddShared(1, "cup", 7, testkit::BuildMobileActor(testkit::MobileActor{}), true);
        writer.AddShared(1, "verb-look", 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()), true);
        writer.AddShared(1, "_hall_lamp", 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()), true);
        writer.AddShared(1, "spark", 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()), true);
        const std::string particles = testkit::MinimalEffectSource(std::vector<std::string>{"sparkle"});
        writer.AddShared(1, "particles.fx", 0, testkit::Bytes(particles.begin(), particles.end()), true);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        gTarvel.mGameState = "day";

        mScene = new cTarvelScene();
        gTarvel.mScene = mScene;
        for (int i = 0; i < 2; ++i)
            mScene->mHotspots.Add(new cTarvelRegionSet());
        mScene->mMeshes.resize(2);
        std::strcpy(mScene->mMeshes[0].name, "floor");
        std::strcpy(mScene->mMeshes[1].name, "table");
        mView = new cTarvelView();
        mView->mScene = mScene;
        std::strcpy(mView->mRecord.name, "hall");
        mView->mMeshSettingCount = 2;
        mView->mMeshSettings = std::make_unique<sSceneMesh[]>(2);
        for (uint32_t i = 0; i < 2; ++i) {
            mView->mMeshSettings[i].view = mView;
            mView->mMeshSettings[i].mesh = &mScene->mMeshes[i];
        }
        mView->mBuilt = 1;
        mScene->mViews.Add(mView);
        mLight = gTarvel.mLights.CreateLight(cTarvelLight::kPoint);
        mCup = new cTarvelMobile();
        ASSERT_EQ(mCup->Load("cup"), 0);
        mCup->mFree = true;
        mCup->mFreeID = "cup";
        mScene->mMobiles.Add(mCup);
        mAnn = new cTarvelActor("Ann", "", false);
        ASSERT_EQ(mAnn->mMobile->Load("cup"), 0);
        mScene->mActors.Add(mAnn);
    }
    void TearDown() override
    {
        gTarvel.mLights.SetLights();
        ScriptTestBase::TearDown();
    }

    // A machine whose "Go" calls the import on Obj (of className, bound to
    // handle) with the pushes; a result goes to Out. Further globals first.
    std::unique_ptr<cTarvelScript> Call(const char* className, uint32_t handle, const char* import, int argc,
                                        const std::string& pushes, const char* result = "none",
                                        const std::string& globals = "")
    {
        const bool withResult = std::strcmp(result, "none") != 0;
        const std::string source = std::string("global Obj result class=") + className + "\nglobal Out " +
                                   (withResult ? result : "int") + "\n" + globals + "import " + import + " " +
                                   std::to_string(argc) + " " + result + "\nfunction Go\n" +
                                   (withResult ? "push ref Out\n" : "") + pushes + "callg Obj " + import + "\n" +
                                   (withResult ? "store\n" : "") + "ret\n";
        auto machine = Machine(source.c_str());
        machine->mGlobals[0].name = "Obj";
        machine->mGlobals[0].object = handle;
        return machine;
    }
    std::unique_ptr<cTarvelScript> Run(const char* className, uint32_t handle, const char* import, int argc,
                                       const std::string& pushes, const char* result = "none",
                                       const std::string& globals = "")
    {
        auto machine = Call(className, handle, import, argc, pushes, result, globals);
        machine->CallFunction("Go", nullptr);
        return machine;
    }
    // Calls an entry point directly; the return value is what the script
    // machine drops.
    static int32_t Direct(const char* name, uint32_t handle, std::vector<cTarvelScriptValue> arguments)
    {
        cTarvelScriptValue self;
        self.object = handle;
        tScriptFrame frame;
        frame.thisValue = &self;
        for (const cTarvelScriptValue& a : arguments)
            frame.arguments.Add(a);
        return FindScriptExport(name)(&frame);
    }
    static cTarvelScriptValue Value(float f, int32_t i = 1, const char* s = "x")
    {
        cTarvelScriptValue v;
        v.floatValue = f;
        v.integer = i;
        v.boolean = 1;
        v.string = s;
        return v;
    }

    uint32_t Hotspot(int i) const { return gScriptHandles.Bind(mScene->mHotspots[i], eScriptObjectType::SceneObject); }
    uint32_t Light() const { return gScriptHandles.Bind(mLight, eScriptObjectType::Light); }
    uint32_t ViewHandle() const { return gScriptHandles.Bind(mView, eScriptObjectType::View); }
    uint32_t Mesh(int i) const { return gScriptHandles.Bind(&mScene->mMeshes[i], eScriptObjectType::Mesh); }
    uint32_t Cup() const { return gScriptHandles.Bind(mCup, eScriptObjectType::Mobile); }
    uint32_t Ann() const { return gScriptHandles.Bind(mAnn, eScriptObjectType::Actor); }

    cTarvelScene* mScene = nullptr;
    cTarvelView* mView = nullptr;
    cTarvelLight* mLight = nullptr;
    cTarvelMobile* mCup = nullptr;
    cTarvelActor* mAnn = nullptr;
};

TEST_F(ScriptApiObjectsTest, InitBindsTheSceneObjectOfAnIndexInsideTheCount)
{
    struct tCase {
        const char* import;
        int32_t index;
        bool binds;
    } cases[] = {
        {"cHotspot__init", -1, false}, {"cHotspot__init", -7, false}, {"cHotspot__init", 2, false},
        {"cHotspot__init", 0, true},   {"cHotspot__init", 1, true},   {"cPath__init", -1, false},
        {"cPath__init", 2, false},     {"cPath__init", 1, true},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(std::string(c.import) + " " + std::to_string(c.index));
        for (cTarvelRegionSet* region : mScene->mHotspots) {
            region->mObject = nullptr;
            region->mName = "";
            region->mIsPath = false;
        }
        const bool path = std::strcmp(c.import, "cPath__init") == 0;
        auto m = Run(path ? "cPath" : "cHotspot", 0, c.import, 2,
                     "push int " + std::to_string(c.index) + (path ? "\npush bool true\n" : "\npush string \"Door\"\n"));
        if (!c.binds) {
            EXPECT_EQ(m->mGlobals[0].object, 0u);
            for (cTarvelRegionSet* region : mScene->mHotspots) {
                EXPECT_EQ(region->mObject, nullptr);
                EXPECT_FALSE(region->mIsPath);
            }
            continue;
        }
        cTarvelRegionSet* region = mScene->mHotspots[c.index];
        EXPECT_EQ(region->mObject, &m->mGlobals[0]);
        EXPECT_EQ(gScriptHandles.Get<cTarvelRegionSet>(m->mGlobals[0].object, eScriptObjectType::SceneObject), region);
        if (path) {
            EXPECT_TRUE(region->mIsPath);
            EXPECT_TRUE(region->mPathFlag);
            EXPECT_STREQ(region->mName.c_str(), "");
        } else {
            EXPECT_STREQ(region->mName.c_str(), "Door");
            EXPECT_FALSE(region->mIsPath);
        }
        region->mObject = nullptr;   // the machine goes with the case
    }
}

TEST_F(ScriptApiObjectsTest, FlagsOfHotspotsAndPathsAreSetAndReadByEitherClass)
{
    struct tCase {
        const char* put;
        const char* get;
        bool cTarvelRegionSet::*flag;
    } cases[] = {
        {"cHotspot__putEnabled", "cHotspot__getEnabled", &cTarvelRegionSet::mEnabled},
        {"cPath__putEnabled", "cPath__getEnabled", &cTarvelRegionSet::mEnabled},
        {"cHotspot__putNoVerbs", "cHotspot__getNoVerbs", &cTarvelRegionSet::mNoVerbs},
        {"cHotspot__putLeaveRoom", "cHotspot__getLeaveRoom", &cTarvelRegionSet::mLeaveRoom},
        {"cPath__putNoTeleport", "cPath__getNoTeleport", &cTarvelRegionSet::mNoTeleport},
        {"cPath__putNoWalking", "cPath__getNoWalking", &cTarvelRegionSet::mNoWalking},
    };
    cTarvelRegionSet* region = mScene->mHotspots[1];
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.put);
        for (bool value : {true, false}) {
            Run("cHotspot", Hotspot(1), c.put, 1, value ? "push bool true\n" : "push bool false\n");
            EXPECT_EQ(region->*c.flag, value);
            EXPECT_FALSE(mScene->mHotspots[0]->*c.flag && c.flag != &cTarvelRegionSet::mEnabled);
            auto m = Run("cPath", Hotspot(1), c.get, 0, "", "bool");
            EXPECT_EQ(m->mGlobals[1].boolean, value ? 1 : 0);
        }
        // A light's handle is no scene object.
        region->*c.flag = true;
        EXPECT_EQ(Direct(c.put, Light(), {Value(0.0f, 0)}), -1);
        EXPECT_EQ(Direct(c.get, Light(), {}), -1);
        EXPECT_EQ(Direct(c.put, Hotspot(1), {}), -1) << "no argument";
        EXPECT_TRUE(region->*c.flag);
    }
}

TEST_F(ScriptApiObjectsTest, TheSharedDestinationEntryWritesTheRecordOfTheHandlesType)
{
    const char* imports[] = {"cHotspot__setPathfinderDestination", "cPath__setPathfinderDestination",
                             "cLight__setPosition"};
    for (const char* import : imports) {
        SCOPED_TRACE(import);
        cTarvelRegionSet* region = mScene->mHotspots[0];
        std::fill(std::begin(region->mDestination), std::end(region->mDestination), 0.0f);
        mLight->mPosition = D3DXVECTOR3(0.0f, 0.0f, 0.0f);

        Run("cHotspot", Hotspot(0), import, 3, "push float 1\npush float 2\npush float 3\n");
        EXPECT_EQ(region->mDestination[0], 1.0f);
        EXPECT_EQ(region->mDestination[1], 2.0f);
        EXPECT_EQ(region->mDestination[2], 3.0f);
        EXPECT_EQ(mLight->mPosition, D3DXVECTOR3(0.0f, 0.0f, 0.0f));

        Run("cLight", Light(), import, 2, "push float 4\npush float 5\n");
        EXPECT_EQ(mLight->mPosition, D3DXVECTOR3(4.0f, 5.0f, 5.0f)) << "the last argument repeats";
        EXPECT_EQ(region->mDestination[0], 1.0f);

        EXPECT_EQ(Direct(import, ViewHandle(), {Value(9.0f)}), -1) << "a view is neither";
        EXPECT_EQ(Direct(import, 0, {Value(9.0f)}), -1);
        EXPECT_EQ(Direct(import, Light(), {}), -1);
        EXPECT_EQ(mLight->mPosition, D3DXVECTOR3(4.0f, 5.0f, 5.0f));
    }

    Run("cHotspot", Hotspot(0), "cHotspot__addVerb", 3, "push string \"look\"\npush string \"Look\"\npush string \"Look\"\n");
    ASSERT_EQ(gTarvel.mVerbBar.mEntries.Count(), 1);
    EXPECT_EQ(gTarvel.mVerbBar.mEntries[0].hotspot, mScene->mHotspots[0]);
    EXPECT_STREQ(gTarvel.mVerbBar.mEntries[0].function.c_str(), "Look");
    EXPECT_EQ(Direct("cHotspot__addVerb", Light(), {Value(0.0f)}), -1);
    EXPECT_EQ(gTarvel.mVerbBar.mEntries.Count(), 1);

    Run("cHotspot", Hotspot(1), "cHotspot__setLookatPoint", 3, "push float 7\npush float 8\npush float 9\n");
    EXPECT_EQ(mScene->mHotspots[1]->mLookAt[2], 9.0f);
    EXPECT_TRUE(mScene->mHotspots[1]->mLookAtValid);
}

TEST_F(ScriptApiObjectsTest, LightSettersCopyTheirFloats)
{
    Run("cLight", Light(), "cLight__setColor", 1, "push float 0.5\n");
    EXPECT_EQ(mLight->mColor.r, 0.5f);
    EXPECT_EQ(mLight->mColor.g, 0.5f);
    EXPECT_EQ(mLight->mColor.b, 0.5f);
    Run("cLight", Light(), "cLight__setAmbient", 3, "push float 0.1\npush float 0.2\npush float 0.3\n");
    EXPECT_EQ(mLight->mAmbient.g, 0.2f);
    EXPECT_EQ(mLight->mAmbient.b, 0.3f);
    EXPECT_EQ(mLight->mColor.b, 0.5f);
    Run("cLight", Light(), "cLight__setAttenuation", 3, "push float 1\npush float 0.5\npush float 0.25\n");
    EXPECT_EQ(mLight->mAttenuation[1], 0.5f);
    EXPECT_EQ(mLight->mAttenuation[2], 0.25f);
    Run("cLight", Light(), "cLight__setRange", 1, "push float 40\n");
    EXPECT_EQ(mLight->mRange, 40.0f);
    Run("cLight", Light(), "cLight__setRotation", 4, "push float 0\npush float 1\npush float 0\npush float 0.5\n");
    EXPECT_EQ(mLight->mRotation, D3DXQUATERNION(0.0f, 1.0f, 0.0f, 0.5f));

    EXPECT_EQ(Direct("cLight__setRange", Hotspot(0), {Value(3.0f)}), -1);
    EXPECT_EQ(mLight->mRange, 40.0f);
}

TEST_F(ScriptApiObjectsTest, ShadowsRegisterTheReceiverOfTheLightAndCaster)
{
    const std::string globals = "global View result class=cView\nglobal Target result class=cMesh\n"
                                "global Caster result class=cMobile\n";
    const std::string pushes = "push object Caster\npush object View\npush object Target\n";
    auto scenery = Call("cLight", Light(), "cLight__castShadowMobileOnScenery", 3, pushes, "none", globals);
    scenery->mGlobals[2].object = ViewHandle();
    scenery->mGlobals[3].object = Mesh(1);
    scenery->mGlobals[4].object = Cup();
    scenery->CallFunction("Go", nullptr);
    ASSERT_EQ(gTarvel.mLights.mShadows.Count(), 1);
    cTarvelShadow* shadow = gTarvel.mLights.mShadows[0];
    EXPECT_EQ(shadow->mLight, mLight);
    EXPECT_EQ(shadow->mCaster, mCup);
    ASSERT_EQ(shadow->mSceneryReceivers.Count(), 1);
    EXPECT_EQ(shadow->mSceneryReceivers[0], &mView->mMeshSettings[1]);

    // Onto Ann's body, named by her character object.
    const std::string actorGlobals = "global View result class=cView\nglobal Target result class=cNPC\n"
                                     "global Caster result class=cMobile\n";
    auto onMobile = Call("cLight", Light(), "cLight__castShadowMobileOnMobile", 3, pushes, "none", actorGlobals);
    onMobile->mGlobals[2].object = ViewHandle();
    onMobile->mGlobals[3].object = Ann();
    onMobile->mGlobals[4].object = Cup();
    onMobile->CallFunction("Go", nullptr);
    ASSERT_EQ(gTarvel.mLights.mShadows.Count(), 1) << "the same light and caster share one shadow";
    EXPECT_EQ(shadow->mMobileReceivers.Count(), mAnn->mMobile->mMeshes.Count());
    EXPECT_GT(shadow->mMobileReceivers.Count(), 0);

    // Without the view, the mesh or the receiver it fails.
    auto value = [](const char* cls, uint32_t object) {
        cTarvelScriptValue v;
        v.className = cls;
        v.object = object;
        return v;
    };
    EXPECT_EQ(Direct("cLight__castShadowMobileOnScenery", Light(),
                     {value("cMobile", Cup()), value("cView", 0), value("cMesh", Mesh(0))}),
              -1);
    EXPECT_EQ(Direct("cLight__castShadowMobileOnScenery", Light(),
                     {value("cMobile", Cup()), value("cView", ViewHandle()), value("cMesh", Cup())}),
              -1);
    EXPECT_EQ(Direct("cLight__castShadowMobileOnMobile", Light(),
                     {value("cMobile", Cup()), value("cView", ViewHandle()), value("cView", Ann())}),
              -1)
        << "a receiver of another class has no mobile";
    EXPECT_EQ(Direct("cLight__castShadowMobileOnScenery", Light(),
                     {value("cLight", Cup()), value("cView", ViewHandle()), value("cMesh", Mesh(0))}),
              -1);
    EXPECT_EQ(shadow->mSceneryReceivers.Count(), 1);

    // Shadows off: nothing is made, and that is no failure.
    gTarvel.mLights.SetLights();
    mLight = gTarvel.mLights.CreateLight(cTarvelLight::kPoint);
    gTarvel.mConfig.Shadows = 0;
    EXPECT_EQ(Direct("cLight__castShadowMobileOnScenery", Light(),
                     {value("cMobile", Cup()), value("cView", ViewHandle()), value("cMesh", Mesh(0))}),
              0);
    EXPECT_EQ(gTarvel.mLights.mShadows.Count(), 0);
}

TEST_F(ScriptApiObjectsTest, MeshSettingsOfAViewChangeAndTheViewIsBuiltAgain)
{
    const std::string globals = "global View result class=cView\n";
    auto m = Call("cMesh", Mesh(1), "cMesh__setRenderMethod", 3, "push object View\npush int 3\npush float 0.25\n",
                  "none", globals);
    m->mGlobals[2].object = ViewHandle();
    m->CallFunction("Go", nullptr);
    EXPECT_EQ(mView->mMeshSettings[1].renderMethod, 3);
    EXPECT_EQ(mView->mMeshSettings[1].depth, 0.25f);
    EXPECT_EQ(mView->mMeshSettings[0].renderMethod, 0);
    EXPECT_EQ(mView->mBuilt, 0);

    mView->mBuilt = 1;
    auto map = Call("cMesh", Mesh(1), "cMesh__assignColormap", 2, "push object View\npush string \"lamp\"\n",
                    "none", globals);
    map->mGlobals[2].object = ViewHandle();
    map->CallFunction("Go", nullptr);
    ASSERT_NE(mView->mMeshSettings[1].colorMap, nullptr);
    EXPECT_STREQ(mView->mMeshSettings[1].colorMap->mName.c_str(), "_hall_lamp") << "the view's layer image";
    EXPECT_EQ(mView->mMeshSettings[0].colorMap, nullptr);
    EXPECT_EQ(mView->mBuilt, 0);

    // A picture the archive lacks leaves the map and says so.
    mView->mBuilt = 1;
    cTarvelScriptValue viewValue;
    viewValue.object = ViewHandle();
    const int32_t images = mView->mImages.Count();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Direct("cMesh__assignColormap", Mesh(1), {viewValue, cTarvelScriptValue::FromString("gone")}), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_THAT(said, ::testing::HasSubstr("cMesh__assignColormap"));
    EXPECT_THAT(said, ::testing::HasSubstr("gone"));
    EXPECT_STREQ(mView->mMeshSettings[1].colorMap->mName.c_str(), "_hall_lamp");
    EXPECT_EQ(mView->mImages.Count(), images);
    EXPECT_EQ(mView->mBuilt, 1);

    auto pick = Call("cMesh", Mesh(0), "cMesh__disablePick", 1, "push object View\n", "none", globals);
    pick->mGlobals[2].object = ViewHandle();
    pick->CallFunction("Go", nullptr);
    EXPECT_EQ(mScene->mMeshes[0].pickDisabled, 1);
    EXPECT_EQ(mScene->mMeshes[1].pickDisabled, 0);
    auto unpick = Call("cMesh", Mesh(0), "cMesh__enablePick", 1, "push object View\n", "none", globals);
    unpick->mGlobals[2].object = ViewHandle();
    unpick->CallFunction("Go", nullptr);
    EXPECT_EQ(mScene->mMeshes[0].pickDisabled, 0);

    // Without the view or the mesh nothing happens, and nothing fails.
    mView->mBuilt = 1;
    cTarvelScriptValue view;
    view.object = ViewHandle();
    cTarvelScriptValue noView;
    EXPECT_EQ(Direct("cMesh__setRenderMethod", Mesh(0), {noView, Value(5.0f, 5)}), 0);
    EXPECT_EQ(Direct("cMesh__setRenderMethod", 0, {view, Value(5.0f, 5)}), 0);
    EXPECT_EQ(Direct("cMesh__disablePick", ViewHandle(), {view}), 0);
    EXPECT_EQ(mView->mMeshSettings[0].renderMethod, 0);
    EXPECT_EQ(mScene->mMeshes[0].pickDisabled, 0);
    EXPECT_EQ(mView->mBuilt, 1);
}

TEST_F(ScriptApiObjectsTest, AFreeMobileIsMadeOnlyFromABoundScenesScript)
{
    auto m = Machine("global TheScene result class=cScene\nglobal Lamp result class=cMobile\n"
                     "import cMobile__createAsFreeMobile 1 none\n"
                     "function Make\npush string \"lamp\"\ncallg Lamp cMobile__createAsFreeMobile\nret\n");
    m->mGlobals[0].name = "TheScene";
    m->mGlobals[1].name = "Lamp";
    const int before = mScene->mMobiles.Count();
    m->CallFunction("Make", nullptr);
    EXPECT_EQ(mScene->mMobiles.Count(), before) << "no current object";
    m->CallFunction("Make", &m->mGlobals[0]);
    EXPECT_EQ(mScene->mMobiles.Count(), before) << "a scene object bound to nothing";
    EXPECT_EQ(m->mGlobals[1].object, 0u);

    m->mGlobals[0].object = gScriptHandles.Bind(mScene, eScriptObjectType::Scene);
    m->CallFunction("Make", &m->mGlobals[0]);
    ASSERT_EQ(mScene->mMobiles.Count(), before + 1);
    cTarvelMobile* lamp = mScene->mMobiles[before];
    EXPECT_TRUE(lamp->mFree);
    EXPECT_STREQ(lamp->mFreeID.c_str(), "lamp");
    EXPECT_STREQ(lamp->mSymbol.c_str(), "Lamp");
    EXPECT_EQ(gScriptHandles.Get<cTarvelMobile>(m->mGlobals[1].object, eScriptObjectType::Mobile), lamp);
}

TEST_F(ScriptApiObjectsTest, MobileFunctionsFindTheMobileOfMobilesActorsAndCharacters)
{
    struct tCase {
        const char* className;
        uint32_t handle;
        cTarvelMobile* mobile;
    } cases[] = {{"cMobile", Cup(), mCup}, {"cActor", Ann(), mAnn->mMobile}, {"cNPC", Ann(), mAnn->mMobile}};
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.className);
        Run(c.className, c.handle, "cMobile__show", 1, "push bool false\n");
        EXPECT_FALSE(c.mobile->mVisible);
        Run(c.className, c.handle, "cMobile__show", 1, "push bool true\n");
        EXPECT_TRUE(c.mobile->mVisible);
        Run(c.className, c.handle, "cMobile__imageReplaceSuffix", 2, "push string \"_a\"\npush string \"_b\"\n");
        EXPECT_STREQ(c.mobile->mTextureSuffix.c_str(), "_a");
        EXPECT_STREQ(c.mobile->mTextureReplacement.c_str(), "_b");
    }
    // A class outside the three, or a handle of another type, has none.
    mCup->mVisible = true;
    cTarvelScriptValue self;
    self.className = "cView";
    self.object = Cup();
    tScriptFrame frame;
    frame.thisValue = &self;
    frame.arguments.Add(Value(0.0f, 0));
    frame.arguments.data[0].boolean = 0;
    EXPECT_EQ(cMobile__show(&frame), -1);
    self.className = "cMobile";
    self.object = Ann();
    EXPECT_EQ(cMobile__show(&frame), -1);
    self.object = Cup();
    EXPECT_EQ(cMobile__show(&frame), 0);
    EXPECT_FALSE(mCup->mVisible);

    // World link to the mobile of the target value.
    auto link = Call("cMobile", Cup(), "cMobile__setWorldLink", 2, "push string \"root\"\npush object Target\n",
                     "none", "global Target result class=cActor\n");
    link->mGlobals[2].object = Ann();
    link->CallFunction("Go", nullptr);
    EXPECT_EQ(mCup->WorldLinkTarget(), mAnn->mMobile);
    mCup->mWorldLinkTarget = 0;
    link->mGlobals[2].object = Cup();
    link->CallFunction("Go", nullptr);
    EXPECT_EQ(mCup->WorldLinkTarget(), nullptr) << "a mobile handle in an actor's value";
}

TEST_F(ScriptApiObjectsTest, ASparkleIsMadeBoundAndAddedAndSpawnsWhereItIsTold)
{
    auto m = Run("cParticleSparkle", 0, "cParticleSparkle__init", 3,
                 "push int 4\npush string \"spark\"\npush float 0.75\n");
    ASSERT_EQ(mScene->mParticles.Count(), 1);
    auto* sparkle = dynamic_cast<cTarvelParticleSparkle*>(mScene->mParticles[0]);
    ASSERT_NE(sparkle, nullptr);
    EXPECT_EQ(sparkle->mMaxCount, 4);
    EXPECT_EQ(sparkle->mLifeTime, 0.75f);
    EXPECT_EQ(gScriptHandles.Get<cTarvelParticleSparkle>(m->mGlobals[0].object, eScriptObjectType::Sparkle), sparkle);

    auto spawn = Call("cParticleSparkle", m->mGlobals[0].object, "cParticleSparkle__spawn", 9,
                      "push float 1\npush float 2\npush float 3\npush float 0\npush float 0\npush float 0\n"
                      "push float 0\npush float 0\npush int 2\n");
    spawn->CallFunction("Go", nullptr);
    EXPECT_EQ(sparkle->mLastEmit, gTarvel.mTimer.mGameSeconds);
    EXPECT_EQ(sparkle->mParticles[1].position[2], 3.0f);
    EXPECT_EQ(sparkle->mParticles[2].position[2], 0.0f) << "only the count given";

    EXPECT_EQ(Direct("cParticleSparkle__spawn", Cup(), {Value(1.0f, 1)}), -1);
    EXPECT_EQ(Direct("cParticleSparkle__spawn", m->mGlobals[0].object, {}), -1);
}

TEST_F(ScriptApiObjectsTest, EveryFunctionOfTheseClassesFailsWithoutArgumentsOrBoundObject)
{
    const char* prefixes[] = {"cActor__", "cNPC__", "cHotspot__", "cPath__", "cLight__",
                              "cMesh__", "cMobile__", "cParticleSparkle__"};
    int checked = 0;
    for (int32_t i = 0; i < gScriptExportCount; ++i) {
        const std::string name = gScriptExports[i].name;
        bool mine = false;
        for (const char* prefix : prefixes)
            mine = mine || name.rfind(prefix, 0) == 0;
        if (!mine)
            continue;
        SCOPED_TRACE(name);
        cTarvelScriptValue self;
        self.className = "cActor";
        tScriptFrame frame;
        frame.thisValue = &self;
        testing::internal::CaptureStderr();
        EXPECT_EQ(gScriptExports[i].function(&frame), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ++checked;
    }
    EXPECT_EQ(checked, 36 + 39) << "the names of both class groups, folded ones included";
    EXPECT_EQ(mScene->mActors.Count(), 1);
    EXPECT_EQ(mScene->mParticles.Count(), 0);
    EXPECT_EQ(mScene->mMobiles.Count(), 1);
    EXPECT_EQ(mScene->mHotspots[0]->mObject, nullptr);
}

} // namespace
