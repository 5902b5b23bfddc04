#include <algorithm>
#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script_api.h"
#include "engine/script/script_api_world_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/particle_weather_rain.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/win32/testing.h"

namespace {

using ::testing::ElementsAre;

using ScriptSceneTest = ScriptApiWorldTest;

template <class T>
T* Resolve(const cTarvelScriptValue& value, eScriptObjectType type)
{
    return gScriptHandles.Get<T>(value.object, type);
}

// The code after the call stores 1 in Flag: 0 afterwards means the call
// suspended the script.
const char* const kThen = "push ref Flag\npush int 1\nstore\nret\n";

struct tCase {
    const char* name;
    std::function<void()> before;
    std::string source;
    std::function<void(ScriptApiWorldTest&)> check;
};

TEST_F(ScriptSceneTest, SceneFunctionsByCase)
{
    const tCase cases[] = {
        {"getView finds the first view of that name", nullptr,
         "import cScene__getView 1 result\nfunction Case\npush ref Out\npush string \"Close\"\n"
         "callg Room cScene__getView\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.Out().kind, kScriptResultObject);
             EXPECT_EQ(Resolve<cTarvelView>(t.Out(), eScriptObjectType::View), t.mClose);
         }},
        {"getView compares names exactly and leaves the object", nullptr,
         "import cScene__getView 1 result\nfunction Case\npush ref Out\npush string \"close\"\n"
         "callg Room cScene__getView\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.Out().kind, kScriptResultObject);
             EXPECT_EQ(t.Out().object, 0u);
         }},
        {"getMesh binds the mesh record", nullptr,
         "import cScene__getMesh 1 result\nfunction Case\npush ref Out\npush string \"wall\"\n"
         "callg Room cScene__getMesh\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(Resolve<sSceneMeshRecord>(t.Out(), eScriptObjectType::Mesh), &t.mScene->mMeshes[1]);
         }},
        {"getActualView is the view of stage 0", [] { gTarvel.mScene->FindView("Close")->Select(0); },
         "import cScene__getActualView 0 result\nfunction Case\npush ref Out\ncallg Room cScene__getActualView\n"
         "store\nret\n",
         [](ScriptApiWorldTest& t) { EXPECT_EQ(Resolve<cTarvelView>(t.Out(), eScriptObjectType::View), t.mClose); }},
        {"getFreeMobile takes the last of two of one name",
         [] {
             for (const char* name : {"crate", "crate", "barrel"}) {
                 auto* mobile = new cTarvelMobile();
                 mobile->mFreeID = name;
                 gTarvel.mScene->mMobiles.Add(mobile);
             }
         },
         "import cScene__getFreeMobile 1 result\nfunction Case\npush ref Out\npush string \"crate\"\n"
         "callg Room cScene__getFreeMobile\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(Resolve<cTarvelMobile>(t.Out(), eScriptObjectType::Mobile), t.mScene->mMobiles[1]);
         }},
        {"createFreeMobile names, frees and returns a new mobile", nullptr,
         "import cScene__createFreeMobile 1 result\nfunction Case\npush ref Out\npush string \"lamp\"\n"
         "callg Room cScene__createFreeMobile\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(t.mScene->mMobiles.count, 1);
             cTarvelMobile* lamp = t.mScene->mMobiles[0];
             EXPECT_EQ(lamp->mFreeID, "lamp");
             EXPECT_TRUE(lamp->mFree);
             EXPECT_EQ(lamp->mSymbol, "");
             EXPECT_EQ(Resolve<cTarvelMobile>(t.Out(), eScriptObjectType::Mobile), lamp);
         }},
        {"createLight then getLight finds it by name", nullptr,
         "import cScene__createLight 2 none\nimport cScene__getLight 1 result\nfunction Case\n"
         "push string \"sun\"\npush int 3\ncallg Room cScene__createLight\n"
         "push ref Out\npush string \"sun\"\ncallg Room cScene__getLight\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             cTarvelLight* sun = gTarvel.mLights.GetLight("sun");
             ASSERT_NE(sun, nullptr);
             EXPECT_EQ(sun->mKind, 3);
             EXPECT_EQ(Resolve<cTarvelLight>(t.Out(), eScriptObjectType::Light), sun);
         }},
        {"getLight of an unknown name clears the object",
         [] { gTarvel.mLights.CreateLight(1)->mName = "moon"; },
         "import cScene__getLight 1 result\nfunction Case\npush ref Out\npush string \"moon\"\n"
         "callg Room cScene__getLight\nstore\npush ref Out\npush string \"sun\"\ncallg Room cScene__getLight\n"
         "store\nret\n",
         [](ScriptApiWorldTest& t) { EXPECT_EQ(t.Out().object, 0u); }},
        {"setLights resets the set, keeps the name and calls the scene's event",
         [] { gTarvel.mLights.CreateLight(1); gTarvel.mLights.mShadowStrength = 0.3f; },
         "import cScene__setLights 1 none\nfunction Case\npush string \"Night\"\ncallg Room cScene__setLights\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(gTarvel.mLights.mLights.count, 0);
             EXPECT_EQ(gTarvel.mLights.mShadowStrength, 1.0f);
             EXPECT_EQ(gTarvel.mLights.mName, "Night");
             EXPECT_EQ(t.Calls().back(), "Room::SetLights_Night");
         }},
        {"setAmbientLight repeats its one argument", nullptr,
         "import cScene__setAmbientLight 1 none\nfunction Case\npush float 0.25\n"
         "callg Room cScene__setAmbientLight\nret\n",
         [](ScriptApiWorldTest&) {
             const D3DCOLORVALUE& a = gTarvel.mLights.mAmbient;
             EXPECT_EQ(a.r, 0.25f);
             EXPECT_EQ(a.g, 0.25f);
             EXPECT_EQ(a.b, 0.25f);
         }},
        {"setShadowFactor writes the light set's strength", nullptr,
         "import cScene__setShadowFactor 1 none\nfunction Case\npush float 0.5\ncallg Room cScene__setShadowFactor\n"
         "ret\n",
         [](ScriptApiWorldTest&) { EXPECT_EQ(gTarvel.mLights.mShadowStrength, 0.5f); }},
        {"cameraSet with one float sets every value of the pose", nullptr,
         "import cScene__cameraSet 1 none\nfunction Case\npush float 3\ncallg Room cScene__cameraSet\nret\n",
         [](ScriptApiWorldTest&) {
             EXPECT_EQ(gTarvel.mCamera.mPosition, D3DXVECTOR3(3, 3, 3));
             EXPECT_EQ(gTarvel.mCamera.mRotation.w, 3.0f);
             EXPECT_EQ(gTarvel.mCamera.mFov, 3.0f);
         }},
        {"cameraMoveSecond starts a move of the second camera from its pose", nullptr,
         "import cScene__cameraMoveSecond 11 none\nfunction Case\npush float 2\npush float 0.1\npush float 0.2\n"
         "push float 1\npush float 2\npush float 3\npush float 0\npush float 0\npush float 0\npush float 1\n"
         "push float 0.5\ncallg Room cScene__cameraMoveSecond\nret\n",
         [](ScriptApiWorldTest&) {
             const cTarvelCamera& second = gTarvel.mCamera2;
             EXPECT_EQ(second.mMoving, 1);
             EXPECT_EQ(second.mDuration, 2.0f);
             EXPECT_EQ(second.mStartSmoothing, 0.1f);
             EXPECT_EQ(second.mEndSmoothing, 0.2f);
             EXPECT_EQ(second.mTargetPosition, D3DXVECTOR3(1, 2, 3));
             EXPECT_EQ(second.mTargetFov, 0.5f);
             EXPECT_EQ(gTarvel.mCamera.mMoving, 0);
         }},
        {"cameraMove while skipping puts the camera at the target", [] { RunningCinematic(true); },
         "import cScene__cameraMove 11 none\nfunction Case\npush float 2\npush float 0.1\npush float 0.2\n"
         "push float 1\npush float 2\npush float 3\npush float 0\npush float 0\npush float 0\npush float 1\n"
         "push float 0.5\ncallg Room cScene__cameraMove\nret\n",
         [](ScriptApiWorldTest&) {
             EXPECT_EQ(gTarvel.mCamera.mMoving, 0);
             EXPECT_EQ(gTarvel.mCamera.mPosition, D3DXVECTOR3(1, 2, 3));
             EXPECT_EQ(gTarvel.mCamera.mFov, 0.5f);
         }},
        {"setDOF with 0.01 seconds sets the focus at once", nullptr,
         "import cScene__setDOF 2 none\nfunction Case\npush float 7\npush float 0.01\ncallg Room cScene__setDOF\n"
         "ret\n",
         [](ScriptApiWorldTest&) {
             EXPECT_EQ(gTarvel.mGraphics.mFocalPlane, 7.0f);
             EXPECT_FALSE(gTarvel.mGraphics.mFocalTransition);
         }},
        {"setDOF with a longer time moves the focus", nullptr,
         "import cScene__setDOF 2 none\nfunction Case\npush float 7\npush float 0.5\ncallg Room cScene__setDOF\n"
         "ret\n",
         [](ScriptApiWorldTest&) {
             const cTarvelGraphics& g = gTarvel.mGraphics;
             EXPECT_TRUE(g.mFocalTransition);
             EXPECT_EQ(g.mFocalTarget, 7.0f);
             EXPECT_EQ(g.mFocalPlane, 0.0f);
             EXPECT_EQ(g.mFocalTransitionDuration, 0.5f);
             EXPECT_EQ(g.mFocalTransitionStart, gTarvel.mTimer.mGameSeconds);
         }},
        {"openSecondStage opens the strip with the view from one rate", nullptr,
         "import cScene__openSecondStage 4 none\nfunction Case\npush int 0x102\npush int 9\npush float 0.25\n"
         "push object Close\ncallg Room cScene__openSecondStage\nret\n",
         [](ScriptApiWorldTest& t) {
             const sSceneStage& strip = t.mScene->mStages[1];
             EXPECT_EQ(t.mScene->mSecondView, t.mClose);
             EXPECT_EQ(strip.position, 2) << "the low 8 bits";
             EXPECT_EQ(strip.moving, 1);
             const float width = float(gTarvel.mGraphics.mWidth);
             EXPECT_EQ(strip.moveSpeed, 0.25f * width);
             EXPECT_EQ(strip.targetSize, float(int32_t(0.25f * width)));
         }},
        {"closeSecondStage without a rate closes at once",
         [] {
             cTarvelScene* scene = gTarvel.mScene;
             scene->Open(scene->FindView("Close"), 3, 0.25f, 0.0f);
         },
         "import cScene__closeSecondStage 1 none\nfunction Case\npush float 0\ncallg Room cScene__closeSecondStage\n"
         "ret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.mScene->mSecondView, nullptr);
             EXPECT_EQ(t.mScene->mStages[1].moving, 0);
         }},
        {"createWeather makes a rain system from the arguments in order", nullptr,
         "import cScene__createWeather 12 none\nfunction Case\npush int 0\npush float 1\npush float 2\n"
         "push float 3\npush float 4\npush float 50\npush float 5\npush float 6\npush int 20\npush float 0.5\n"
         "push float 0.25\npush float 0.75\ncallg Room cScene__createWeather\nret\n",
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(t.mScene->mParticles.count, 1);
             auto* rain = dynamic_cast<cTarvelParticleWeatherRain*>(t.mScene->mParticles[0]);
             ASSERT_NE(rain, nullptr);
             EXPECT_EQ(rain->mClass, 1);
             EXPECT_EQ(rain->mCenter[0], 1.0f);
             EXPECT_EQ(rain->mCenter[1], 2.0f);
             EXPECT_EQ(rain->mWidth[0], 3.0f);
             EXPECT_EQ(rain->mWidth[1], 4.0f);
             EXPECT_EQ(rain->mTop, 50.0f);
             EXPECT_EQ(rain->mBottom, 5.0f);
             EXPECT_EQ(rain->mSpeed, 6.0f);
             EXPECT_EQ(rain->mDensity, 20);
             EXPECT_EQ(rain->mWind[0], 0.5f);
             EXPECT_EQ(rain->mWind[1], 0.25f);
             EXPECT_EQ(rain->mSortKey, 0.75f);
         }},
        {"setWeatherLayer marks the walk area the first rain falls on", nullptr,
         "import cScene__createWeather 12 none\nimport cScene__setWeatherLayer 3 none\nfunction Case\n"
         "push int 0\npush float 1\npush float 2\npush float 3\npush float 4\npush float 50\npush float 5\n"
         "push float 6\npush int 4\npush float 0\npush float 0\npush float 0.1\ncallg Room cScene__createWeather\n"
         "push int 0\npush int 0\npush string \"Yard\"\ncallg Room cScene__setWeatherLayer\nret\n",
         [](ScriptApiWorldTest& t) {
             auto* rain = static_cast<cTarvelParticleWeatherRain*>(t.mScene->mParticles[0]);
             cTarvelWalkArea* yard = t.mScene->FindWalkArea("Yard");
             EXPECT_EQ(rain->mWeatherLayer, yard);
             EXPECT_EQ(yard->mEnabled, 1);
             EXPECT_EQ(t.mScene->FindWalkArea("Floor")->mEnabled, 0);
         }},
        {"setWeatherLayer with a second argument other than 0 does nothing", nullptr,
         "import cScene__createWeather 12 none\nimport cScene__setWeatherLayer 3 none\nfunction Case\n"
         "push int 0\npush float 1\npush float 2\npush float 3\npush float 4\npush float 50\npush float 5\n"
         "push float 6\npush int 4\npush float 0\npush float 0\npush float 0.1\ncallg Room cScene__createWeather\n"
         "push ref Flag\npush int 0\npush int 1\npush string \"Yard\"\ncallg Room cScene__setWeatherLayer\n"
         "push int 1\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             auto* rain = static_cast<cTarvelParticleWeatherRain*>(t.mScene->mParticles[0]);
             EXPECT_EQ(rain->mWeatherLayer, nullptr);
             EXPECT_EQ(t.mScene->FindWalkArea("Yard")->mEnabled, 0);
             EXPECT_EQ(t.Flag(), 1) << "and no failure";
         }},
        {"destroyWeather deletes every rain system and only those", nullptr,
         "import cScene__createWeather 4 none\nimport cScene__destroyWeather 1 none\nfunction Case\n"
         "push int 0\npush float 1\npush int 4\npush float 0\ncallg Room cScene__createWeather\n"
         "push int 0\npush float 1\npush int 4\npush float 0\ncallg Room cScene__createWeather\n"
         "push int 1\ncallg Room cScene__destroyWeather\n"
         "push ref Flag\npush int 0\ncallg Room cScene__destroyWeather\npush int 1\nstore\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.Flag(), 1);
             EXPECT_EQ(t.mScene->mParticles.count, 0);
         }},
        {"applyTimedPostEffect with wait adds a post-effect wait and suspends", nullptr,
         std::string("import cScene__applyTimedPostEffect 4 none\nfunction Case\npush string \"image_basic\"\n"
                     "push string \"image_basic\"\npush float 2\npush bool true\n"
                     "callg Room cScene__applyTimedPostEffect\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             const cTarvelGraphics& g = gTarvel.mGraphics;
             EXPECT_TRUE(g.mTimedPostEffect);
             EXPECT_EQ(g.mPostEffectDuration, 2.0f);
             EXPECT_EQ(g.mPostEffectStart, gTarvel.mTimer.mGameSeconds);
             ASSERT_EQ(gCinematics.count, 1);
             EXPECT_EQ(gCinematics[0]->mWaitKind, cTarvelCinematic::kWaitPostFX);
             EXPECT_EQ(gCinematics[0]->mOwnerScript, &t.CaseMachine());
             EXPECT_EQ(t.Flag(), 0);
         }},
        {"applyTimedPostEffect inside a running cinematic waits in it", [] { RunningCinematic(false); },
         std::string("import cScene__applyTimedPostEffect 4 none\nfunction Case\npush string \"image_basic\"\n"
                     "push string \"image_basic\"\npush float 2\npush bool true\n"
                     "callg Room cScene__applyTimedPostEffect\n") +
             kThen,
         [](ScriptApiWorldTest&) {
             EXPECT_TRUE(gTarvel.mGraphics.mTimedPostEffect);
             ASSERT_EQ(gCinematics.count, 1) << "no second cinematic";
             EXPECT_EQ(gCinematics[0]->mWaitKind, cTarvelCinematic::kWaitPostFX);
             EXPECT_EQ(gCinematics[0]->mOwnerScript, nullptr) << "the cinematic resumes its own script";
         }},
        {"applyTimedPostEffect while skipping only drops the running effect",
         [] {
             gTarvel.mShaders.LoadShader("image_basic", "image_basic", &gTarvel.mGraphics.mPostEffect, false);
             gTarvel.mGraphics.mTimedPostEffect = true;
             RunningCinematic(true);
         },
         std::string("import cScene__applyTimedPostEffect 4 none\nfunction Case\npush string \"image_basic\"\n"
                     "push string \"image_basic\"\npush float 2\npush bool true\n"
                     "callg Room cScene__applyTimedPostEffect\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             EXPECT_FALSE(gTarvel.mGraphics.mTimedPostEffect);
             EXPECT_EQ(gTarvel.mGraphics.mPostEffect.technique, nullptr);
             EXPECT_EQ(gCinematics.count, 1);
             EXPECT_EQ(t.Flag(), 1);
         }},
        {"cmvShow plays the scene's movie in a view without waiting", nullptr,
         std::string("import cScene__cmvShow 3 none\nfunction Case\npush string \"intro\"\npush object Close\n"
                     "push bool false\ncallg Room cScene__cmvShow\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             cTarvelVideo* movie = gTarvel.mMovie;
             ASSERT_NE(movie, nullptr);
             EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
             EXPECT_TRUE(movie->mInScene);
             EXPECT_EQ(movie->mCutScene, 1);
             EXPECT_EQ(movie->mView, t.mMain) << "the view to go back to";
             EXPECT_EQ(t.mScene->mView, t.mClose);
             EXPECT_EQ(movie->mScript, nullptr);
             EXPECT_EQ(gTarvel.mCutscene, 1);
             EXPECT_EQ(t.Flag(), 1);
         }},
        {"cmvShow with wait suspends until the movie ends", [] { RunningCinematic(false); },
         std::string("import cScene__cmvShow 3 none\nfunction Case\npush string \"intro\"\npush int 0\n"
                     "push bool true\ncallg Room cScene__cmvShow\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             ASSERT_NE(gTarvel.mMovie, nullptr);
             EXPECT_EQ(gTarvel.mMovie->mScript, &t.CaseMachine());
             EXPECT_EQ(gTarvel.mMovie->mView, nullptr);
             EXPECT_EQ(t.mScene->mView, t.mMain);
             EXPECT_EQ(gTarvel.mCutscene, 0) << "a cinematic runs";
             EXPECT_EQ(t.Flag(), 0);
         }},
        {"cmvShow while skipping plays nothing", [] { RunningCinematic(true); },
         std::string("import cScene__cmvShow 3 none\nfunction Case\npush string \"intro\"\npush object Close\n"
                     "push bool true\ncallg Room cScene__cmvShow\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(gTarvel.mMovie, nullptr);
             EXPECT_EQ(t.mScene->mView, t.mMain);
             EXPECT_EQ(t.Flag(), 1);
         }},
        {"cmvShow of a missing movie lets the script go on", nullptr,
         std::string("import cScene__cmvShow 3 none\nfunction Case\npush string \"outro\"\npush int 0\n"
                     "push bool true\ncallg Room cScene__cmvShow\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(gTarvel.mMovie, nullptr);
             EXPECT_EQ(gTarvel.mCutSceneMovie, nullptr);
             EXPECT_EQ(t.Flag(), 1);
         }},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.before)
            c.before();
        Case(c.source);
        c.check(*this);
    }
}

// Object results: kind 7 and the class, as the machine reads them from the
// frame; a lookup that finds nothing keeps the object, except getLight
// (null) and getFreeMobile (null, with the kind as the import declared).
TEST_F(ScriptSceneTest, ObjectResultsCarryTheirClass)
{
    auto* crate = new cTarvelMobile();
    crate->mFreeID = "crate";
    mScene->mMobiles.Add(crate);
    cTarvelLight* sun = gTarvel.mLights.CreateLight(1);
    sun->mName = "sun";
    cTarvelScriptValue room;
    room.object = gScriptHandles.Bind(mScene, eScriptObjectType::Scene);
    auto call = [&](const char* function, const char* argument) {
        tScriptFrame frame;
        frame.thisValue = &room;
        frame.arguments.Add(cTarvelScriptValue::FromString(argument));
        frame.result.kind = kScriptInteger;
        frame.result.object = 77;
        EXPECT_EQ(FindScriptExport(function)(&frame), 0) << function;
        return frame.result;
    };
    struct tRow {
        const char* function;
        const char* argument;
        uint32_t kind;
        const char* className;
        uint32_t object;
    } rows[] = {
        {"cScene__getView", "Close", kScriptResultObject, "cView", gScriptHandles.Bind(mClose, eScriptObjectType::View)},
        {"cScene__getView", "Gone", kScriptResultObject, "cView", 77},
        {"cScene__getActualView", "", kScriptResultObject, "cView", gScriptHandles.Bind(mMain, eScriptObjectType::View)},
        {"cScene__getMesh", "floor", kScriptResultObject, "cMesh",
         gScriptHandles.Bind(&mScene->mMeshes[0], eScriptObjectType::Mesh)},
        {"cScene__getMesh", "Floor", kScriptResultObject, "cMesh", 77},
        {"cScene__getLight", "sun", kScriptResultObject, "cLight", gScriptHandles.Bind(sun, eScriptObjectType::Light)},
        {"cScene__getLight", "moon", kScriptResultObject, "cLight", 0},
        {"cScene__getFreeMobile", "crate", kScriptResultObject, "cMobile",
         gScriptHandles.Bind(crate, eScriptObjectType::Mobile)},
        {"cScene__getFreeMobile", "barrel", kScriptInteger, "", 0},
    };
    for (const tRow& row : rows) {
        SCOPED_TRACE(std::string(row.function) + " " + row.argument);
        const cTarvelScriptValue result = call(row.function, row.argument);
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_STREQ(result.className.c_str(), row.className);
        EXPECT_EQ(result.object, row.object);
    }
    const cTarvelScriptValue created = call("cScene__createFreeMobile", "lamp");
    EXPECT_STREQ(created.className.c_str(), "cMobile");
    EXPECT_EQ(gScriptHandles.Get<cTarvelMobile>(created.object, eScriptObjectType::Mobile), mScene->mMobiles[1]);
    const cTarvelScriptValue light = call("cScene__createLight", "lamp");
    EXPECT_STREQ(light.className.c_str(), "cLight");
    EXPECT_EQ(gScriptHandles.Get<cTarvelLight>(light.object, eScriptObjectType::Light), gTarvel.mLights.GetLight("lamp"));
}

// Fades: the mode taken, the clock values and whether the script waits.
TEST_F(ScriptSceneTest, FadeByKind)
{
    struct tFade {
        const char* name;
        bool skipping;
        float duration;
        int32_t kind;
        bool wait;
        int32_t mode;    // expected afterwards (the mode is 8 before)
        bool timed;      // start and rate were set
        bool suspended;
    } fades[] = {
        {"to black", false, 2.0f, 0, false, 1, true, false},
        {"from black, waiting", false, 2.0f, 1, true, 2, true, true},
        {"to white", false, 2.0f, 2, false, 4, true, false},
        {"from white", false, 2.0f, 3, false, 5, true, false},
        {"black at once", false, 2.0f, 4, false, 3, true, false},
        {"white at once", false, 2.0f, 5, false, 6, true, false},
        {"cross-fade waits without being asked", false, 2.0f, 6, false, 7, true, true},
        {"a kind above 6 keeps the mode", false, 2.0f, 7, false, 8, true, false},
        {"a negative kind changes nothing but still waits", false, 2.0f, -1, true, 8, false, true},
        {"skipping to black ends black", true, 2.0f, 0, true, 3, false, false},
        {"skipping black at once", true, 2.0f, 4, true, 3, false, false},
        {"skipping from black ends clear", true, 2.0f, 1, true, 0, false, false},
        {"skipping from white ends clear", true, 2.0f, 3, true, 0, false, false},
        {"skipping the cross-fade ends clear", true, 2.0f, 6, true, 0, false, false},
        {"skipping to white ends white", true, 2.0f, 2, true, 6, false, false},
        {"skipping white at once", true, 2.0f, 5, true, 6, false, false},
        {"skipping another kind keeps the mode", true, 2.0f, 9, true, 8, false, false},
    };
    for (const tFade& f : fades) {
        SCOPED_TRACE(f.name);
        TearDown();
        SetUp();
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        gameplay.mFadeState = 8;
        gameplay.mFadeStart = 7;
        gameplay.mFadeRate = 9.0f;
        gTarvel.mTimer.mGameTime = 5000;
        if (f.skipping)
            RunningCinematic(true);
        Case("import cScene__fade 4 none\nfunction Case\npush float " + std::to_string(f.duration) + "\npush int " +
             std::to_string(f.kind) + "\npush bool true\npush bool " + (f.wait ? "true" : "false") +
             "\ncallg Room cScene__fade\n" + kThen);
        EXPECT_EQ(gameplay.mFadeState, f.mode);
        EXPECT_EQ(gameplay.mFadeStart, f.timed ? 5000u : 7u);
        EXPECT_EQ(gameplay.mFadeRate, f.timed ? 0.5f : 9.0f);
        EXPECT_EQ(Flag(), f.suspended ? 0 : 1);
        EXPECT_EQ(gameplay.mFadeWaiter, f.suspended ? &CaseMachine() : nullptr);
        EXPECT_EQ(CaseMachine().mStates.size(), 0u) << "a fade keeps no state of the script";
    }
}

// The hold flag (argument 2) takes the effect volumes with the fade; the
// cross-fade clears it, and a skipped fade leaves it.
TEST_F(ScriptSceneTest, FadeHoldFlagComesFromTheCall)
{
    struct tHold {
        const char* name;
        bool skipping;
        int32_t kind;
        bool hold, before, after;
    } holds[] = {
        {"to black with the sound", false, 0, true, false, true},
        {"from black without it", false, 1, false, true, false},
        {"a negative kind still sets it", false, -1, true, false, true},
        {"the cross-fade never holds", false, 6, true, true, false},
        {"skipping leaves it", true, 0, true, false, false},
    };
    for (const tHold& h : holds) {
        SCOPED_TRACE(h.name);
        TearDown();
        SetUp();
        gTarvel.mGameplay.mFadeSound = h.before;
        if (h.skipping)
            RunningCinematic(true);
        Case("import cScene__fade 4 none\nfunction Case\npush float 2\npush int " + std::to_string(h.kind) +
             "\npush bool " + (h.hold ? "true" : "false") + "\npush bool false\ncallg Room cScene__fade\nret\n");
        EXPECT_EQ(gTarvel.mGameplay.mFadeSound, h.after);
    }
}

// A picture name the view does not hold and the archive does not have:
// the call does nothing and says so on standard error.
TEST_F(ScriptSceneTest, MissingPicturesDoNothingAndSaySo)
{
    struct tCall {
        const char* function;
        int argc;
        const char* pushes;
    } calls[] = {
        {"cView__addLayer", 6,
         "push string \"sign\"\npush string \"gone\"\npush float 9\npush float 0\npush float 0\npush bool false\n"},
        {"cView__setLayerColormap", 2, "push string \"sign\"\npush string \"gone\"\n"},
        {"cView__imagePreload", 1, "push string \"gone\"\n"},
        {"cView__imageSetFrame", 2, "push string \"gone\"\npush int 1\n"},
        {"cView__imageRestart", 3, "push string \"gone\"\npush int 2\npush int 0\n"},
        {"cView__imageSetCallback", 3, "push string \"gone\"\npush int -1\npush string \"Ended\"\n"},
        {"cView__imageWait", 1, "push string \"gone\"\n"},
    };
    for (const tCall& c : calls) {
        SCOPED_TRACE(c.function);
        TearDown();
        SetUp();
        auto* layer = new sViewLayer;
        layer->name = "sign";
        layer->image = mMain->GetImageLayer("glow", true);
        layer->visible = 1;
        mMain->mLayers.Add(layer);
        const int32_t images = mMain->mImages.count;
        testing::internal::CaptureStderr();
        Case(std::string("import ") + c.function + " " + std::to_string(c.argc) + " none\nfunction Case\n" +
             c.pushes + "callg Main " + c.function + "\n" + kThen);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Flag(), 1);
        EXPECT_THAT(said, ::testing::HasSubstr(c.function));
        EXPECT_THAT(said, ::testing::HasSubstr("gone"));
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(mMain->mImages.count, images);
        ASSERT_EQ(mMain->mLayers.count, 1);
        EXPECT_EQ(mMain->mLayers[0]->image->mName, "Room_Main_glow");
        EXPECT_EQ(mMain->mLayers[0]->visible, 1);
        EXPECT_EQ(gCinematics.count, 0);
    }
}

TEST_F(ScriptSceneTest, AFadeWithoutTimeEndsAtTheNextUpdateAndResumes)
{
    for (const char* duration : {"0", "-2"}) {
        SCOPED_TRACE(duration);
        TearDown();
        SetUp();
        gTarvel.mTimer.mGameTime = 5000;
        Case(std::string("import cScene__fade 4 none\nfunction Case\npush float ") + duration +
             "\npush int 0\npush bool false\npush bool true\ncallg Room cScene__fade\n" + kThen);
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        EXPECT_EQ(gameplay.mFadeState, 1);
        EXPECT_EQ(Flag(), 0);
        gameplay.Update();
        EXPECT_EQ(gameplay.mFadeState, 3) << "black after one update";
        gameplay.Update();
        EXPECT_EQ(Flag(), 1) << "and the script went on";
    }
}

TEST_F(ScriptSceneTest, ViewFunctionsByCase)
{
    const tCase cases[] = {
        {"select closes the strip and shows the view on stage 0",
         [] {
             cTarvelScene* scene = gTarvel.mScene;
             scene->Open(scene->FindView("Main"), 2, 0.25f, 0.0f);
         },
         "import cView__select 0 none\nfunction Case\ncallg Close cView__select\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.mScene->mView, t.mClose);
             EXPECT_EQ(t.mScene->mSecondView, nullptr);
             EXPECT_EQ(gTarvel.mCamera.mPosition, D3DXVECTOR3(0, 20, -50));
         }},
        {"selectStage 1 shows the view in the strip", nullptr,
         "import cView__selectStage 1 none\nfunction Case\npush int 1\ncallg Close cView__selectStage\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.mScene->mSecondView, t.mClose);
             EXPECT_EQ(t.mScene->mView, t.mMain);
         }},
        {"selectAsDetail stacks the view it leaves and records its owner", nullptr,
         "import cView__selectAsDetail 0 none\nfunction Door::Look\ncallg Close cView__selectAsDetail\nret\n"
         "function Case\nret\n",
         [](ScriptApiWorldTest& t) {
             t.CaseMachine().CallFunction("Door::Look", &t.Global("Door"));
             EXPECT_EQ(t.mScene->mView, t.mClose);
             EXPECT_THAT(std::vector<cTarvelView*>(t.mScene->mDetailViews.begin(), t.mScene->mDetailViews.end()),
                         ElementsAre(t.mMain));
             EXPECT_EQ(t.mClose->mHotspotSymbol, &t.Global("Door"));
         }},
        {"selectAsDetail of the current view does nothing, leaveDetailView goes back", nullptr,
         "import cView__selectAsDetail 0 none\nimport cScene__leaveDetailView 0 none\nfunction Case\n"
         "callg Close cView__selectAsDetail\ncallg Close cView__selectAsDetail\n"
         "push ref Flag\npush int 2\nstore\ncallg Room cScene__leaveDetailView\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.Flag(), 2);
             EXPECT_EQ(t.mScene->mView, t.mMain);
             EXPECT_EQ(t.mScene->mDetailViews.count, 0);
         }},
        {"init fires the view's event once", nullptr,
         "import cView__init 0 none\nfunction Case\ncallg Close cView__init\ncallg Close cView__init\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(std::count(t.Calls().begin(), t.Calls().end(), "Room::InitView_Close"), 1);
             EXPECT_EQ(t.mClose->mInitialised, 1);
         }},
        {"addLayer with a known name updates that record in place", nullptr,
         "import cView__addLayer 6 none\nfunction Case\n"
         "push string \"sign\"\npush string \"sign\"\npush float 10\npush float 0.1\npush float 0.2\n"
         "push bool false\ncallg Main cView__addLayer\n"
         "push string \"sign\"\npush string \"glow\"\npush float 20\npush float 0.3\npush float 0.4\n"
         "push bool true\ncallg Main cView__addLayer\nret\n",
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(t.mMain->mLayers.count, 1);
             const sViewLayer& layer = *t.mMain->mLayers[0];
             EXPECT_EQ(layer.name, "sign");
             ASSERT_NE(layer.image, nullptr);
             EXPECT_EQ(layer.image->mName, "Room_Main_glow") << "the view's prefix applies";
             EXPECT_EQ(layer.depth, 20.0f);
             EXPECT_EQ(layer.shearX, 0.3f);
             EXPECT_EQ(layer.shearY, 0.4f);
             EXPECT_EQ(layer.visible, 1);
             EXPECT_EQ(layer.method, 1);
         }},
        {"removeLayer keeps the order of the others",
         [] {
             for (const char* name : {"a", "b", "c"}) {
                 auto* layer = new sViewLayer;
                 layer->name = name;
                 gTarvel.mScene->FindView("Main")->mLayers.Add(layer);
             }
         },
         "import cView__removeLayer 1 none\nfunction Case\npush string \"b\"\ncallg Main cView__removeLayer\n"
         "push string \"B\"\ncallg Main cView__removeLayer\nret\n",
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(t.mMain->mLayers.count, 2);
             EXPECT_EQ(t.mMain->mLayers[0]->name, "a");
             EXPECT_EQ(t.mMain->mLayers[1]->name, "c");
         }},
        {"showLayer, setLayerRenderMethod and setLayerColormap act on the first record",
         [] {
             for (float depth : {4.0f, 5.0f}) {
                 auto* layer = new sViewLayer;
                 layer->name = "sign";
                 layer->depth = depth;
                 gTarvel.mScene->FindView("Main")->mLayers.Add(layer);
             }
         },
         "import cView__showLayer 2 none\nimport cView__setLayerRenderMethod 2 none\n"
         "import cView__setLayerColormap 2 none\nfunction Case\n"
         "push string \"sign\"\npush bool true\ncallg Main cView__showLayer\n"
         "push string \"sign\"\npush int 7\ncallg Main cView__setLayerRenderMethod\n"
         "push string \"sign\"\npush string \"glow\"\ncallg Main cView__setLayerColormap\nret\n",
         [](ScriptApiWorldTest& t) {
             const sViewLayer& first = *t.mMain->mLayers[0];
             EXPECT_EQ(first.visible, 1);
             EXPECT_EQ(first.method, 7);
             ASSERT_NE(first.image, nullptr);
             EXPECT_EQ(first.image->mName, "Room_Main_glow");
             EXPECT_EQ(first.image->mColormap, 4.0f) << "the record's first placement value";
             EXPECT_EQ(t.mMain->mLayers[1]->visible, 0);
             EXPECT_EQ(t.mMain->mLayers[1]->image, nullptr);
         }},
        {"imageReplaceSuffix applies to the names loaded later", nullptr,
         "import cView__imageReplaceSuffix 2 none\nimport cView__imagePreload 1 none\nfunction Case\n"
         "push string \"_a\"\npush string \"_b\"\ncallg Main cView__imageReplaceSuffix\n"
         "push string \"door_a\"\ncallg Main cView__imagePreload\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.mMain->mSuffixReplacement0, "_a");
             EXPECT_EQ(t.mMain->mSuffixReplacement1, "_b");
             ASSERT_EQ(t.mMain->mImages.count, 1);
             EXPECT_EQ(t.mMain->mImages[0]->mName, "Room_Main_door_b");
         }},
        {"imageSetFrame and imageRestart drive the image", nullptr,
         "import cView__imageSetFrame 2 none\nimport cView__imageRestart 3 none\nfunction Case\n"
         "push string \"anim\"\npush int 2\ncallg Main cView__imageSetFrame\n"
         "push ref Flag\npush string \"anim\"\npush int 9\ncallg Main cView__imageSetFrame\npush int 1\nstore\n"
         "push string \"sign\"\npush int 2\npush int 0\ncallg Main cView__imageRestart\nret\n",
         [](ScriptApiWorldTest& t) {
             cTarvelImage* anim = t.mMain->GetImageLayer("anim", true);
             EXPECT_EQ(anim->mCurrentFrame, 2) << "a frame out of range is not taken";
             cTarvelImage* sign = t.mMain->GetImageLayer("sign", true);
             EXPECT_EQ(sign->mPlayMode, 2);
             EXPECT_EQ(t.Flag(), 1);
         }},
        {"imageSetCallback: -1 is the end of play, another frame the frame callback", nullptr,
         "import cView__imageSetCallback 3 none\nfunction Case\n"
         "push string \"anim\"\npush int -1\npush string \"Ended\"\ncallg Main cView__imageSetCallback\n"
         "push string \"sign\"\npush int 2\npush string \"AtTwo\"\ncallg Main cView__imageSetCallback\nret\n",
         [](ScriptApiWorldTest& t) {
             cTarvelImage* anim = t.mMain->GetImageLayer("anim", true);
             EXPECT_EQ(anim->mCallbackScript, &t.CaseMachine());
             EXPECT_EQ(anim->mCallbackName, "Ended");
             EXPECT_EQ(anim->mFrameCallbackMachine, nullptr);
             cTarvelImage* sign = t.mMain->GetImageLayer("sign", true);
             EXPECT_EQ(sign->mCallbackScript, nullptr);
             EXPECT_EQ(sign->mFrameCallback, 1);
             EXPECT_EQ(sign->mFrameCallbackMachine, &t.CaseMachine());
             EXPECT_EQ(sign->mFrameCallbackLabel, "AtTwo");
             EXPECT_EQ(sign->mFrameCallbackScript, "case");
             EXPECT_EQ(sign->mFrameCallbackFrame, 2);
         }},
        {"imageWait with no cinematic running makes one that waits", nullptr,
         std::string("import cView__imageWait 1 none\nfunction Case\npush string \"anim\"\n"
                     "callg Main cView__imageWait\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(gCinematics.count, 1);
             EXPECT_EQ(gCinematics[0]->mWaitKind, cTarvelCinematic::kWaitImage);
             EXPECT_EQ(gCinematics[0]->mWaitImage, t.mMain->GetImageLayer("anim", true));
             EXPECT_EQ(t.Flag(), 0);
         }},
        {"imageWait inside a running cinematic waits in it", [] { RunningCinematic(false); },
         std::string("import cView__imageWait 1 none\nfunction Case\npush string \"anim\"\n"
                     "callg Main cView__imageWait\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             ASSERT_EQ(gCinematics.count, 1) << "no second cinematic";
             EXPECT_EQ(gCinematics[0]->mWaitKind, cTarvelCinematic::kWaitImage);
             EXPECT_EQ(gCinematics[0]->mWaitImage, t.mMain->GetImageLayer("anim", true));
             EXPECT_EQ(gCinematics[0]->mOwnerScript, nullptr) << "the cinematic resumes its own script";
         }},
        {"imageWait while skipping adds nothing", [] { RunningCinematic(true); },
         std::string("import cView__imageWait 1 none\nfunction Case\npush string \"anim\"\n"
                     "callg Main cView__imageWait\n") +
             kThen,
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(gCinematics.count, 1);
             EXPECT_EQ(gCinematics[0]->mWaitKind, cTarvelCinematic::kWaitNone);
             EXPECT_EQ(t.Flag(), 1);
         }},
        {"attachCamLayer marks the named walk area; an empty name clears", nullptr,
         "import cView__attachCamLayer 1 none\nfunction Case\npush string \"Yard\"\n"
         "callg Main cView__attachCamLayer\npush string \"Floor\"\ncallg Close cView__attachCamLayer\n"
         "push string \"\"\ncallg Close cView__attachCamLayer\nret\n",
         [](ScriptApiWorldTest& t) {
             EXPECT_EQ(t.mMain->mCamLayer, t.mScene->FindWalkArea("Yard"));
             EXPECT_EQ(t.mScene->FindWalkArea("Yard")->mEnabled, 1);
             EXPECT_EQ(t.mClose->mCamLayer, nullptr);
             EXPECT_EQ(t.mScene->FindWalkArea("Floor")->mEnabled, 1) << "marked while attached";
         }},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.before)
            c.before();
        Case(c.source);
        c.check(*this);
    }
}

// The failure rule: with arguments and a call object that is not bound (or
// bound to an object of another class), cScene functions fail and change
// nothing while cView functions other than the layer setters return 0; with
// no arguments every function that reads one fails.
TEST_F(ScriptSceneTest, UnboundAndEmptyCallsFail)
{
    struct tCall {
        const char* name;
        bool readsArguments;
        int32_t unbound;
    } calls[] = {
        {"cScene__applyTimedPostEffect", true, 0},  {"cScene__cameraMove", true, 0},
        {"cScene__cameraMoveSecond", true, 0},      {"cScene__cameraSet", true, 0},
        {"cScene__cameraSetSecond", true, 0},       {"cScene__closeSecondStage", true, -1},
        {"cScene__cmvShow", true, -1},              {"cScene__createFreeMobile", true, -1},
        {"cScene__createLight", true, -1},          {"cScene__createWeather", true, -1},
        {"cScene__destroyWeather", true, -1},       {"cScene__fade", true, 0},
        {"cScene__getActualView", false, -1},       {"cScene__getFreeMobile", true, -1},
        {"cScene__getLight", true, -1},             {"cScene__getMesh", true, -1},
        {"cScene__getView", true, -1},              {"cScene__initDOF", true, 0},
        {"cScene__leaveDetailView", false, -1},     {"cScene__openSecondStage", true, -1},
        {"cScene__setAmbientLight", true, -1},      {"cScene__setDOF", true, 0},
        {"cScene__setLights", true, -1},            {"cScene__setShadowFactor", true, -1},
        {"cScene__setWeatherLayer", true, -1},      {"cView__addLayer", true, 0},
        {"cView__attachCamLayer", true, 0},         {"cView__imagePreload", true, 0},
        {"cView__imageReplaceSuffix", true, 0},     {"cView__imageRestart", true, 0},
        {"cView__imageSetCallback", true, 0},       {"cView__imageSetFrame", true, 0},
        {"cView__imageWait", true, 0},              {"cView__init", false, 0},
        {"cView__putIsFiltered", true, 0},          {"cView__putNoActors", true, 0},
        {"cView__removeLayer", true, 0},            {"cView__select", false, 0},
        {"cView__selectAsDetail", false, 0},        {"cView__selectStage", true, 0},
        {"cView__setLayerColormap", true, 0},       {"cView__setLayerRenderMethod", true, 0},
        {"cView__showLayer", true, 0},
    };
    for (const tCall& c : calls) {
        SCOPED_TRACE(c.name);
        tScriptExportFunction function = FindScriptExport(c.name);
        ASSERT_NE(function, nullptr);
        const bool isScene = std::string(c.name).rfind("cScene", 0) == 0;
        // The other class's handle: a view for cScene, the scene for cView.
        cTarvelScriptValue self;
        self.object = isScene ? gScriptHandles.Bind(mMain, eScriptObjectType::View)
                              : gScriptHandles.Bind(mScene, eScriptObjectType::Scene);
        tScriptFrame frame;
        frame.thisValue = &self;
        if (c.readsArguments)
            EXPECT_EQ(function(&frame), -1) << "no arguments";
        frame.arguments.Add(cTarvelScriptValue::FromString("sign"));
        testing::internal::CaptureStderr();
        EXPECT_EQ(function(&frame), c.unbound);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    EXPECT_EQ(mScene->mView, mMain);
    EXPECT_EQ(mMain->mLayers.count, 0);
    EXPECT_EQ(mScene->mMobiles.count, 0);
    EXPECT_EQ(mScene->mParticles.count, 0);
    EXPECT_EQ(gTarvel.mLights.mLights.count, 0);

    // The layer setters fail on a missing layer of a bound view.
    for (const char* name : {"cView__showLayer", "cView__setLayerRenderMethod", "cView__setLayerColormap"}) {
        cTarvelScriptValue self;
        self.object = gScriptHandles.Bind(mMain, eScriptObjectType::View);
        tScriptFrame frame;
        frame.thisValue = &self;
        frame.arguments.Add(cTarvelScriptValue::FromString("nothing"));
        EXPECT_EQ(FindScriptExport(name)(&frame), -1) << name;
    }
    // Weather of a type other than 0 fails on a bound scene.
    cTarvelScriptValue room;
    room.object = gScriptHandles.Bind(mScene, eScriptObjectType::Scene);
    for (const char* name : {"cScene__createWeather", "cScene__setWeatherLayer", "cScene__destroyWeather"}) {
        tScriptFrame frame;
        frame.thisValue = &room;
        frame.arguments.Add(cTarvelScriptValue::FromInt(1));
        EXPECT_EQ(FindScriptExport(name)(&frame), -1) << name;
    }
}

// A cinematic's own script that waits through a fade, a movie or a walk
// goes on where it was when that ends, still inside its cinematic (its
// later waits hold it), and a skip while it waits runs the rest once.
TEST_F(ScriptSceneTest, ACinematicWaitingThroughAFadeAMovieOrAWalkGoesOnWhereItWas)
{
    cTarvelActor* hero = gTarvel.mPlayer;
    ASSERT_NE(hero->mControl, nullptr);
    cTarvelActorControl* legs = hero->mControl;
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    struct tWait {
        const char* name;
        std::string call;
        std::function<void()> end;
    };
    const tWait waits[] = {
        {"fade to black", "push float 0.5\npush int 0\npush bool false\npush bool true\ncallg Room cScene__fade\n",
         [&] { gameplay.mFadeState = 3; }},
        {"cross-fade", "push float 0.5\npush int 6\npush bool false\npush bool false\ncallg Room cScene__fade\n",
         [&] { gameplay.mFadeState = 8; }},
        {"movie", "push string \"intro\"\npush int 0\npush bool true\ncallg Room cScene__cmvShow\n",
         [] {
             gTarvel.mMovie->mImage->mFinished = 1;
             gTarvel.mMovie->Update();
         }},
        {"walk", "callg Hero cActor__waitForPathfinder\n", [&] { legs->mWalking = false; }},
    };
    const std::string source =
        "global Cine result class=cCinematic\nglobal Hero object class=cActor\nglobal Log int\n"
        "import cCinematic__run 0 none\nimport cCinematic__exit 0 none\nimport cCinematic__waitTime 1 none\n"
        "import cScene__fade 4 none\nimport cScene__cmvShow 3 none\nimport cActor__waitForPathfinder 0 none\n"
        "import test__record 1 none\n"
        "function Case\nret\nfunction Start\ncallg Cine cCinematic__run\nret\n";
    auto marks = [] {
        std::vector<int32_t> out;
        for (const tCallRecord& r : Records())
            out.push_back(r.arguments.empty() ? -1 : r.arguments[0].integer);
        return out;
    };
    auto frame = [](uint32_t ms) {
        platform::testing::AdvanceClock(ms);
        gTarvel.mTimer.Update();
        cTarvelCinematic::UpdateStack();
    };
    for (bool skip : {false, true}) {
        for (const tWait& wait : waits) {
            SCOPED_TRACE(std::string(wait.name) + (skip ? ", skipped" : ""));
            Records().clear();
            gameplay.mFadeState = 0;
            legs->mWalking = true;
            Case(source + "function Cine::OnRun\n" + wait.call +
                 "push int 1\ncallg Log test__record\npush float 1\ncallg Cine cCinematic__waitTime\n"
                 "push int 2\ncallg Log test__record\ncallg Cine cCinematic__exit\nret\n");
            Global("Hero").object = gScriptHandles.Bind(hero, eScriptObjectType::Actor);
            CaseMachine().CallFunction("Start", nullptr);
            ASSERT_EQ(gCinematics.count, 1);
            frame(16);
            frame(16);
            EXPECT_EQ(gCinematics.count, 1) << "the cinematic waits";
            EXPECT_TRUE(marks().empty());
            if (skip) {
                gCinematics.data[0]->RequestSkip(true);
                frame(16);
                EXPECT_EQ(marks(), (std::vector<int32_t>{1, 2})) << "the rest runs once, from where it was";
            } else {
                wait.end();
                frame(16);
                EXPECT_EQ(marks(), std::vector<int32_t>{1});
                ASSERT_EQ(gCinematics.count, 1) << "its own wait holds it again";
                EXPECT_EQ(gCinematics.data[0]->mWaitKind, cTarvelCinematic::kWaitTime);
                frame(1100);
                EXPECT_EQ(marks(), (std::vector<int32_t>{1, 2}));
            }
            EXPECT_EQ(gCinematics.count, 0);
            EXPECT_EQ(gameplay.mFadeWaiter, nullptr) << "the fade holds no machine";
            EXPECT_EQ(gameplay.mStateFlags & cTarvelGameplay::kWalkingToObject, 0u) << "no lock left behind";
            delete gTarvel.mMovie;
            gTarvel.mMovie = nullptr;
            frame(16);
            EXPECT_EQ(marks().size(), 2u) << "nothing resumes it again";
        }
    }
    gameplay.mFadeState = 0;
}

} // namespace
