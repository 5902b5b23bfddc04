#include "engine/gameplay/control_split_screen.h"

#include <cmath>
#include <limits>

#include "engine/gameplay/control_effects_test_support.h"
#include "engine/gameplay/control_soundstage_fade.h"
#include "engine/gameplay/gameplay.h"
#include "engine/world/camera.h"

namespace {

using namespace control_test;

class SplitScreenTest : public ControlEffectsTest {
protected:
    void SetUp() override
    {
        ControlEffectsTest::SetUp();
        Global("Main")->object = gScriptHandles.Bind(View(0), eScriptObjectType::View);
        Global("Side")->object = gScriptHandles.Bind(View(1), eScriptObjectType::View);
    }
    int32_t Half() const { return gTarvel.mGraphics.mWidth / 2; }
    float Divider() const { return mScene->mStages[1].size; }
};

TEST_F(SplitScreenTest, InitBindsTheControlAndOpensTheStripWhileItsViewIsCurrent)
{
    MakePlayer(100, 0, 0);
    Run("SplitInit");
    auto* split = Bound<cTarvelControlSplitScreen>("Split", eScriptObjectType::CtrlSplitScreen);
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(gActiveControls[0], split);
    EXPECT_EQ(split->mView0, View(0));
    EXPECT_EQ(split->mView1, View(1));
    EXPECT_EQ(split->mAspect, 1.0f);
    EXPECT_EQ(split->mMinSize, 0.0f);
    EXPECT_EQ(split->mSymbolName, "Split");

    // Another view current: nothing opens.
    View(1)->Select(0);
    UpdateActiveControls();
    EXPECT_EQ(mScene->mSecondView, nullptr);

    View(0)->Select(0);
    UpdateActiveControls();
    EXPECT_EQ(mScene->mSecondView, View(1));
    EXPECT_EQ(mScene->mStages[1].position, 3);
    EXPECT_EQ(mScene->mStages[1].moving, 0);
    EXPECT_FALSE(split->mFinished);
}

TEST_F(SplitScreenTest, OpeningPutsTheDividerAtHalfTheScreenWidth)
{
    // Without a player nothing moves the divider after the opening.
    for (int32_t width : {1024, 1279}) {
        SCOPED_TRACE(width);
        gTarvel.mGraphics.mWidth = width;
        gActiveControls.DeleteAll();
        mScene->mSecondView = nullptr;
        sSceneStage& strip = mScene->mStages[1];
        strip.size = 123.0f;
        strip.moving = 1;
        strip.position = 0;
        gActiveControls.Add(new cTarvelControlSplitScreen(View(0), View(1), 0.0f, 1.0f, "S"));
        UpdateActiveControls();
        EXPECT_EQ(mScene->mSecondView, View(1));
        EXPECT_EQ(strip.size, float(width / 2));
        EXPECT_EQ(strip.position, 3);
        EXPECT_EQ(strip.moving, 0);
        // Open already: a later frame leaves the strip as it is.
        strip.size = 77.0f;
        strip.moving = 1;
        UpdateActiveControls();
        EXPECT_EQ(strip.size, 77.0f);
        EXPECT_EQ(strip.moving, 1);
    }
}

TEST_F(SplitScreenTest, DividerFollowsTheCameraDistancesWithinItsBounds)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        float minSize, aspect;
        float playerX;
        // Factor of half the width; NaN: the divider is left as it was.
        float factor;
    } cases[] = {
        {"twice as far from the second camera", 0.0f, 1.0f, 100.0f, 2.0f},
        {"upper bound 2 - minSize", 0.5f, 1.0f, 100.0f, 1.5f},
        {"on the main camera: infinite ratio takes the upper bound", 0.5f, 1.0f, 0.0f, 1.5f},
        {"nearer the second camera", 0.0f, 1.0f, 200.0f, 0.5f},
        {"lower bound minSize", 0.5f, 1.0f, 250.0f, 0.5f},
        {"on the second camera", 0.5f, 1.0f, 300.0f, 0.5f},
        {"negative aspect turns the ratio over", 0.0f, -1.0f, 100.0f, 0.5f},
        {"the size of the aspect does not matter", 0.0f, 7.5f, 100.0f, 2.0f},
        {"aspect 0 keeps the divider", 0.5f, 0.0f, 100.0f, kNaN},
        {"NaN aspect keeps the divider", 0.5f, kNaN, 100.0f, kNaN},
        {"NaN bounds keep the divider when the ratio is unbounded", kNaN, 1.0f, 0.0f, kNaN},
        {"infinite minSize keeps the divider", kInf, 1.0f, 100.0f, kNaN},
    };
    cTarvelActor* player = MakePlayer(0, 0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gActiveControls.DeleteAll();
        mScene->mSecondView = nullptr;
        gActiveControls.Add(new cTarvelControlSplitScreen(View(0), View(1), c.minSize, c.aspect, "S"));
        UpdateActiveControls();   // opens the strip
        ASSERT_EQ(mScene->mSecondView, View(1));
        gTarvel.mCamera.mPosition = D3DXVECTOR3(0, 0, 0);
        gTarvel.mCamera2.mPosition = D3DXVECTOR3(300, 0, 0);
        player->mMobile->mPosition = D3DXVECTOR3(c.playerX, 0, 0);
        mScene->mStages[1].size = 123.0f;
        UpdateActiveControls();
        if (std::isnan(c.factor))
            EXPECT_EQ(Divider(), 123.0f);
        else
            EXPECT_EQ(Divider(), std::trunc(float(Half()) * c.factor));
    }
}

TEST_F(SplitScreenTest, RestoredSplitFindsItsViewsAndItsScriptObject)
{
    MakePlayer(100, 0, 0);
    gActiveControls.Add(new cTarvelControlSplitScreen(View(0), View(1), 0.25f, -2.0f, "Split"));
    cTarvelScriptValue shared;
    shared.name = "Split";
    shared.kind = kScriptObject;
    cTarvelGameplay::AddValue(shared);
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<View0>Main</View0><View1>Side</View1><MinSize>0.25000000</MinSize>"
                       "<Aspect>-2.00000000</Aspect><Symbol>Split</Symbol>"),
              std::string::npos)
        << xml;
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* split = static_cast<cTarvelControlSplitScreen*>(gActiveControls[0]);
    EXPECT_EQ(split->mClassId, 2);
    EXPECT_EQ(split->mView0, View(0));
    EXPECT_EQ(split->mView1, View(1));
    EXPECT_EQ(split->mMinSize, 0.25f);
    EXPECT_EQ(split->mAspect, -2.0f);
    EXPECT_EQ(gScriptHandles.Get<cTarvelControlSplitScreen>(cTarvelGameplay::FindValue("Split")->object,
                                                            eScriptObjectType::CtrlSplitScreen),
              split);
}

TEST_F(SplitScreenTest, ElementWithMissingViewsMakesASplitThatDoesNothing)
{
    SavegameScope scope("<Demogame><Control class=\"2\"><View0>Nowhere</View0><Aspect>x</Aspect></Control></Demogame>");
    LoadActiveControls(gTarvel.mSavegame);
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* split = static_cast<cTarvelControlSplitScreen*>(gActiveControls[0]);
    EXPECT_EQ(split->mView0, nullptr);
    EXPECT_EQ(split->mView1, nullptr);
    UpdateActiveControls();
    EXPECT_EQ(mScene->mSecondView, nullptr);
}

// ---- Sound-stage fade -------------------------------------------------------

class SoundstageFadeTest : public ControlEffectsTest {
protected:
    void SetUp() override
    {
        ControlEffectsTest::SetUp();
        mThud = gTarvel.mSound.PlaySound("thud", 1.0f, "", 0, 0);
        ASSERT_NE(mThud, nullptr);
    }
    float Volume() const
    {
        for (const platform::testing::FmodChannelState& c : platform::testing::FmodChannels())
            if (c.handle == mThud->channel)
                return c.volume;
        return -1.0f;
    }
    static void At(float seconds) { gTarvel.mTimer.mGameSeconds = seconds; }
    sSoundChannel* mThud = nullptr;
};

TEST_F(SoundstageFadeTest, FadeOutRunsOverItsTimeAndEndsAtZero)
{
    At(10.0f);
    Run("FadeOut");
    ASSERT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(Global("Sys")->object, 0u) << "no script object is bound to a fade";
    const struct {
        float at, volume;
        bool finished;
    } steps[] = {{9.0f, 1.0f, false}, {10.0f, 1.0f, false}, {10.5f, 0.75f, false}, {11.5f, 0.25f, false},
                 {12.5f, 0.0f, true}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.at);
        At(s.at);
        UpdateActiveControls();
        EXPECT_NEAR(Volume(), s.volume, 1e-6f);
        EXPECT_EQ(gActiveControls.Count(), s.finished ? 0 : 1);
    }
}

TEST_F(SoundstageFadeTest, FadeInWithoutTimeEndsAtOnceAtFullVolume)
{
    for (float duration : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(duration);
        gTarvel.mSound.SetChannelsVolume(0.5f);
        gActiveControls.Add(new cTarvelControlSoundstageFade(duration, false));
        UpdateActiveControls();
        EXPECT_FLOAT_EQ(Volume(), 1.0f);
        EXPECT_EQ(gActiveControls.Count(), 0);
    }
}

TEST_F(SoundstageFadeTest, RestoredFadeGoesOnWithTheTimeItHadLeft)
{
    At(100.0f);
    gActiveControls.Add(new cTarvelControlSoundstageFade(2.0f, false));
    At(100.5f);
    UpdateActiveControls();
    EXPECT_NEAR(Volume(), 0.25f, 1e-6f);
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<Control class=\"7\"><Direction>0</Direction><Time>2.00000000</Time>"
                       "<Started>-0.50000000</Started></Control>"),
              std::string::npos)
        << xml;
    // Loaded later in another game: 1.5 seconds still to go.
    At(7.0f);
    gActiveControls.DeleteAll();
    {
        SavegameScope scope(xml);
        LoadActiveControls(gTarvel.mSavegame);
    }
    ASSERT_EQ(gActiveControls.Count(), 1);
    At(7.75f);
    UpdateActiveControls();
    EXPECT_NEAR(Volume(), 0.625f, 1e-6f);
    At(8.5f);
    UpdateActiveControls();
    EXPECT_NEAR(Volume(), 1.0f, 1e-6f);
    EXPECT_EQ(gActiveControls.Count(), 0);
}

TEST_F(SoundstageFadeTest, DefaultsOfAnElementWithoutFields)
{
    At(3.0f);
    SavegameScope scope("<Demogame><Control class=\"7\"><Direction>2</Direction><Started>nan</Started></Control></Demogame>");
    LoadActiveControls(gTarvel.mSavegame);
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* fade = static_cast<cTarvelControlSoundstageFade*>(gActiveControls[0]);
    EXPECT_EQ(fade->mDuration, 1.0f);
    EXPECT_FALSE(fade->mFadeOut) << "only 1 fades out";
    EXPECT_EQ(fade->mStarted, 3.0f) << "a start that is no number starts now";
}

}  // namespace
