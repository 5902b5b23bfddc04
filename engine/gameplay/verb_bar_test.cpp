#include "engine/gameplay/verb_bar.h"

#include <cmath>
#include <string>
#include <vector>

#include "engine/gameplay/bar_test_support.h"
#include "engine/render/graphics.h"
#include "platform/d3d9/testing.h"

namespace {

using namespace bar_test;
namespace pt = platform::testing;
using Strings = std::vector<std::string>;

class VerbBarTest : public BarTest {
protected:
    // The scene's script: "hs::OnVerbBar" adds the verbs (verb, label,
    // function), "hs::Look" and "hs::Take" are the hotspot's verb events, and
    // "empty::OnVerbBar" adds nothing.
    void Verbs(const std::vector<std::vector<std::string>>& verbs)
    {
        SceneScript("import bar__addVerb 3 none\nfunction hs::OnVerbBar\n" + Adds("bar__addVerb", verbs) +
                    "ret\nfunction hs::Look\nret\nfunction hs::Take\nret\nfunction empty::OnVerbBar\nret\n");
    }
    // Opens the bar on the hotspot around (500, 300) and lets it fade in.
    void ShowShown()
    {
        Bar().Show(mScene->mScript, &mObject, 500, 300);
        Now() += 200;
        Bar().Render();
        ASSERT_EQ(Bar().mState, cTarvelBar::kShown);
        gCalls.clear();
    }
    static cTarvelVerbBar& Bar() { return gTarvel.mVerbBar; }
};

TEST_F(VerbBarTest, TheHandlersVerbsOpenTheRingAroundThePoint)
{
    Verbs({{"look", "Look at", "Look"}, {"inventory", "Use with", "Use"}, {"take", "Take it", "Take"},
           {"use", "Use it", "Use"}});
    cTarvelVerbBar& bar = Bar();
    EXPECT_EQ(bar.mTypeId, 1);
    EXPECT_TRUE(bar.mMember);

    // A handler that adds no verb opens nothing.
    cTarvelScriptValue empty;
    empty.kind = kScriptObject;
    empty.name = "empty";
    bar.Show(mScene->mScript, &empty, 500, 300);
    EXPECT_EQ(gCalls, Strings{"empty::OnVerbBar"});
    EXPECT_FALSE(bar.mOpen);
    EXPECT_FALSE(OnStack(&bar));

    bar.Show(mScene->mScript, &mObject, 500, 300);
    ASSERT_TRUE(OnStack(&bar));
    EXPECT_TRUE(bar.mOpen);
    EXPECT_FALSE(bar.mDone);
    EXPECT_EQ(bar.mState, cTarvelBar::kFadingIn);
    EXPECT_EQ(bar.mStateTime, Now());
    EXPECT_EQ(bar.mHovered, -1);
    // "inventory" never shows an icon.
    ASSERT_EQ(bar.mEntries.Count(), 3);
    EXPECT_EQ(bar.mIcons.Count(), 3);
    const char* labels[] = {"Look at", "Take it", "Use it"};
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_STREQ(bar.EntryText(i).c_str(), labels[i]);
    EXPECT_STREQ(bar.EntryText(3).c_str(), "");
    EXPECT_STREQ(bar.EntryText(-1).c_str(), "");
    EXPECT_EQ(bar.mEntries[1].hotspot, &mHotspot);
    EXPECT_STREQ(bar.mEntries[1].function.c_str(), "Take");

    bar.Render();
    EXPECT_TRUE(bar.mLaidOut);
    const std::pair<float, float> corners[] = {{468.0f, 220.0f}, {420.0f, 316.0f}, {516.0f, 316.0f}};
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(Corner(bar.mEntries[i].icon), corners[i]) << i;

    // Without a point the ring opens around the mouse.
    MouseAt(300, 420);
    bar.Show(mScene->mScript, &mObject);
    EXPECT_EQ(bar.mCentreX, 300);
    EXPECT_EQ(bar.mCentreY, 420);
    // The icons were reused, not loaded again.
    EXPECT_EQ(bar.mIcons.Count(), 3);
}

TEST_F(VerbBarTest, EachCountHasItsLayoutAndEveryIconCanBeHovered)
{
    struct Row {
        int32_t count;
        int32_t offsets[5][2];
    };
    // Five verbs take the corners and the middle: each keeps a place of its
    // own.
    const Row rows[] = {
        {1, {{0, -48}}},
        {2, {{-48, -48}, {48, -48}}},
        {3, {{0, -48}, {-48, 48}, {48, 48}}},
        {4, {{-16, -48}, {-48, 0}, {48, 0}, {16, 48}}},
        {5, {{-48, -48}, {48, -48}, {-48, 48}, {48, 48}, {0, 0}}},
    };
    const char* names[] = {"look", "take", "use", "open", "push"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        std::vector<std::vector<std::string>> verbs;
        for (int32_t i = 0; i < row.count; ++i)
            verbs.push_back({names[i], names[i], "Look"});
        Verbs(verbs);
        Bar().Show(mScene->mScript, &mObject, 400, 400);
        ASSERT_EQ(Bar().mEntries.Count(), row.count);
        Bar().Render();
        for (int32_t i = 0; i < row.count; ++i) {
            const int32_t x = 400 + row.offsets[i][0];
            const int32_t y = 400 + row.offsets[i][1];
            EXPECT_EQ(Corner(Bar().mEntries[i].icon), std::make_pair(float(x - 32), float(y - 32))) << i;
            MouseAt(x, y);
            EXPECT_TRUE(Bar().Update());
            EXPECT_EQ(Bar().mHovered, i);
        }
    }
    // 31 units off an icon's centre is on it, 32 is not.
    Verbs({{"look", "Look at", "Look"}});
    Bar().Show(mScene->mScript, &mObject, 400, 400);
    const struct {
        int32_t x, y, hovered;
    } edges[] = {{431, 352, 0}, {400, 383, 0}, {432, 352, -1}, {400, 384, -1}};
    for (const auto& edge : edges) {
        MouseAt(edge.x, edge.y);
        Bar().Update();
        EXPECT_EQ(Bar().mHovered, edge.hovered) << edge.x << "," << edge.y;
    }
}

TEST_F(VerbBarTest, MoreThanFiveVerbsKeepTheFirstFive)
{
    Verbs({{"look", "1", "Look"},
           {"take", "2", "Look"},
           {"use", "3", "Look"},
           {"open", "4", "Look"},
           {"push", "5", "Look"},
           {"pull", "6", "Look"}});
    testing::internal::CaptureStderr();
    Bar().Show(mScene->mScript, &mObject, 400, 400);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(Bar().mEntries.Count(), 5);
    EXPECT_EQ(Bar().mIcons.Count(), 5);
    EXPECT_STREQ(Bar().EntryText(4).c_str(), "5");
    EXPECT_NE(err.find("\"pull\""), std::string::npos) << err;
    Bar().Render();   // every icon has a place
}

TEST_F(VerbBarTest, FadesInWithinASixthOfASecondAndOutWithinASecond)
{
    Verbs({{"look", "Look at", "Look"}});
    cTarvelVerbBar& bar = Bar();
    bar.Show(mScene->mScript, &mObject, 500, 300);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    pt::RecordDraws(true);
    // The technique of each draw of one Render, and the last "intens".
    auto render = [&] {
        pt::ClearRecordedDraws();
        bar.Render();
        Strings techniques;
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            techniques.push_back(draw.technique);
        return techniques;
    };
    auto intensity = [&] {
        const std::vector<float> values = Param(bar.mDimmed, "intens");
        return values.size() == 2 ? values[0] : -1.0f;
    };

    MouseAt(500, 252);   // over the icon
    Now() += 100;
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(bar.mHovered, 0);
    EXPECT_EQ(render(), Strings{"ui_vericon"});
    EXPECT_EQ(bar.mState, cTarvelBar::kFadingIn);
    EXPECT_NEAR(intensity(), 0.6f, 1e-5f);
    EXPECT_EQ(Param(bar.mDimmed, "filter"), std::vector<float>{1.0f});
    Now() += 67;   // 6 x 0.167 s is past 1
    render();
    EXPECT_EQ(bar.mState, cTarvelBar::kShown);
    EXPECT_FLOAT_EQ(intensity(), 1.0f);
    render();
    EXPECT_FLOAT_EQ(intensity(), 1.0f);

    // Off the icon it is dimmed to half.
    MouseAt(500, 300);
    bar.Update();
    EXPECT_EQ(render(), Strings{"ui_vericonbw"});
    EXPECT_FLOAT_EQ(intensity(), 0.5f);

    // Fading out, even the hovered icon is dimmed.
    MouseAt(500, 252);
    bar.Update();
    RightClick();
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(bar.mState, cTarvelBar::kFadingOut);
    EXPECT_EQ(bar.mHovered, 0);
    Now() += 500;
    EXPECT_EQ(render(), Strings{"ui_vericonbw"});
    EXPECT_FLOAT_EQ(intensity(), 0.25f);
    // Input is no longer taken while it fades out.
    EXPECT_FALSE(bar.Update());
    Now() += 500;
    render();
    EXPECT_FALSE(bar.mDone);
    Now() += 1;
    EXPECT_TRUE(render().empty());
    EXPECT_TRUE(bar.mDone);
    device->EndScene();
    pt::RecordDraws(false);

    // The gameplay update pops it and its icons go.
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_FALSE(OnStack(&bar));
    EXPECT_EQ(bar.mIcons.Count(), 0);
    EXPECT_EQ(bar.mEntries.Count(), 0);
}

TEST_F(VerbBarTest, ClicksAndTheMouseCloseTheBarOrRunTheChosenVerb)
{
    Verbs({{"look", "Look at", "Look"}, {"take", "Take it", "Take"}});
    mHotspot.mLookAtValid = true;
    mScene->mObjectUnderCursor = true;
    struct Case {
        const char* what;
        int32_t x, y;
        int32_t left, right;
        bool open;
        Strings calls;
    };
    const Case cases[] = {
        {"a right click closes", 500, 300, 0, 1, false, {}},
        {"a right double click closes", 500, 300, 0, 2, false, {}},
        {"the mouse 81 units away closes", 581, 300, 0, 0, false, {}},
        {"or 81 units above", 500, 219, 0, 0, false, {}},
        {"80 units away is still near", 580, 380, 0, 0, true, {}},
        {"a left click beside the icons closes with no verb", 500, 300, 1, 0, false, {}},
        {"a left click on a verb runs it", 548, 252, 1, 0, false, {"hs::Take"}},
        {"a left double click too", 452, 252, 2, 0, false, {"hs::Look"}},
        {"the right click wins over the left", 548, 252, 1, 1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShowShown();
        ASSERT_EQ(mPlayer->mLookAtID, 1000);
        EXPECT_EQ(Bar().mEntries[0].icon->mPlayMode, kImageHeld);
        gTarvel.mGraphics.mCursorKind = 0;
        MouseAt(c.x, c.y);
        LeftClick(c.left);
        RightClick(c.right);
        EXPECT_TRUE(Bar().Update());
        EXPECT_EQ(gCalls, c.calls);
        EXPECT_EQ(Bar().mOpen, c.open);
        EXPECT_EQ(Bar().mState, c.open ? cTarvelBar::kShown : cTarvelBar::kFadingOut);
        EXPECT_TRUE(OnStack(&Bar()));
        if (c.open) {
            EXPECT_EQ(Cursor(), 4);
            // Animated icons start once the bar takes input.
            EXPECT_EQ(Bar().mEntries[0].icon->mPlayMode, kImageLoop);
        } else {
            EXPECT_EQ(Bar().mStateTime, Now());
            EXPECT_EQ(mPlayer->mLookAtID, -1);
            EXPECT_FALSE(mScene->mObjectUnderCursor);
            EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, c.right != 0 ? c.left : 0);
        }
        EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 0);
        gTarvel.mGameplay.mLeftLatch = 0;
        mScene->mObjectUnderCursor = true;
        Bar().Close();
    }
}

TEST_F(VerbBarTest, ALeftClickDuringTheFadeInGoesToTheInventoryNotToAVerb)
{
    Verbs({{"look", "Look at", "Look"}, {"take", "Take it", "Take"}});
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    Now() += 100;
    gCalls.clear();
    for (int32_t latch : {1, 2}) {
        MouseAt(548, 252);
        LeftClick(latch);
        EXPECT_TRUE(Bar().Update());
        // The inventory took the click (the second click on the item the
        // bar opened for); no verb ran and the bar stays.
        EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
        EXPECT_TRUE(gCalls.empty());
        EXPECT_TRUE(Bar().mOpen);
        EXPECT_EQ(Bar().mState, cTarvelBar::kFadingIn);
        EXPECT_EQ(Bar().mHovered, 1);
    }
}

TEST_F(VerbBarTest, VerbsOfActorsAndItemsRunTheirOwnActions)
{
    // An actor's verb: its event in the scene's script, the player standing.
    SceneScript("import bar__addVerb 3 none\nfunction bob::OnVerbBar\n" + Adds("bar__addVerb", {{"use", "Ask", "Talk"}}) +
                "ret\nfunction bob::Talk\nret\n");
    cTarvelActor bob("OFF", "", false);
    cTarvelScriptValue bobObject;
    bobObject.kind = kScriptObject;
    bobObject.name = "bob";
    bob.mSymbol = &bobObject;
    gHotspot = nullptr;
    gActor = &bob;
    Bar().Show(mScene->mScript, &bobObject, 500, 300);
    ASSERT_EQ(Bar().mEntries.Count(), 1);
    EXPECT_EQ(Bar().mEntries[0].actor, &bob);
    Now() += 200;
    Bar().Render();
    gCalls.clear();
    MouseAt(500, 252);
    LeftClick();
    Bar().Update();
    EXPECT_EQ(gCalls, Strings{"bob::Talk"});
    bob.mSymbol = nullptr;

    // An item's verb: its event in the item's own machine.
    std::unique_ptr<cTarvelScript> item =
        Machine("global Key object\nimport bar__addItemVerb 3 none\nimport test__record 0 int\n"
                "function Key::OnVerbBar\npush string \"open\"\npush string \"Open it\"\npush string \"Use\"\n"
                "callg Key bar__addItemVerb\nret\nfunction Key::Use\npush int 0\ncall test__record\nret\n");
    cTarvelScriptValue* key = &item->mGlobals[0];
    key->name = "Key";
    Bar().Show(item.get(), key, 448, 688);
    ASSERT_EQ(Bar().mEntries.Count(), 1);
    EXPECT_EQ(Bar().mEntries[0].itemScript, item.get());
    EXPECT_EQ(Bar().mEntries[0].itemObject, key);
    Now() += 200;
    Bar().Render();
    MouseAt(448, 640);
    LeftClick();
    Bar().Update();
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].machine, item.get());
    EXPECT_EQ(Records()[0].machineThis, key);
}

TEST_F(VerbBarTest, TheFirstHotspotVerbTurnsThePlayerTowardItsLookAtPoint)
{
    Verbs({{"look", "Look at", "Look"}, {"take", "Take it", "Take"}});
    Control().position[0] = 1.0f;
    Control().position[2] = 1.0f;
    mHotspot.mLookAt[0] = 4.0f;
    mHotspot.mLookAt[1] = 2.0f;
    mHotspot.mLookAt[2] = 5.0f;

    // Without a look-at point the player does not turn.
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    EXPECT_TRUE(Control().turns.empty());
    EXPECT_EQ(mPlayer->mLookAtID, -1);
    Bar().Close();

    mHotspot.mLookAtValid = true;
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    EXPECT_EQ(mPlayer->mLookAtID, 1000);
    // Once, for the first verb: turned so that the player's front faces
    // (3, 0, 4), the way from where it stands to the point.
    ASSERT_EQ(Control().turns.size(), 1u);
    const TurnRecorder::Turn& turn = Control().turns[0];
    EXPECT_EQ(turn.angle, 45.0f);
    EXPECT_TRUE(turn.finishWalk);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &turn.rotation);
    EXPECT_NEAR(m._13, 0.6f, 1e-5f);
    EXPECT_NEAR(-m._11, 0.8f, 1e-5f);

    Bar().Close();
    EXPECT_EQ(mPlayer->mLookAtID, -1);
}

TEST_F(VerbBarTest, ShowingTheBarAgainWhileOnTheStackDoesNotPushItTwice)
{
    Verbs({{"look", "Look at", "Look"}});
    int32_t times = 0;
    ShowShown();
    // Shown again while open, then while fading out.
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    OnStack(&Bar(), &times);
    EXPECT_EQ(times, 1);
    Bar().Close();
    Now() += 500;
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    OnStack(&Bar(), &times);
    EXPECT_EQ(times, 1);
    EXPECT_TRUE(Bar().mOpen);
    EXPECT_EQ(Bar().mState, cTarvelBar::kFadingIn);
    EXPECT_EQ(Bar().mStateTime, Now());

    // Popped after its fade-out, it is pushed again.
    Bar().Close();
    Now() += 1001;
    Bar().Render();
    ASSERT_TRUE(PopDoneScreenControl());
    Bar().Show(mScene->mScript, &mObject, 500, 300);
    OnStack(&Bar(), &times);
    EXPECT_EQ(times, 1);
    EXPECT_FALSE(Bar().mDone);
    EXPECT_EQ(Bar().mIcons.Count(), 1);
}

TEST_F(VerbBarTest, AMissingIconIsFatal)
{
    EXPECT_FATAL(Bar().AddVerb("dance", "Dance", "Dance", &mHotspot, nullptr), "Image file not found: verb-dance");
}

TEST_F(VerbBarTest, TheTooltipNamesTheHoveredVerb)
{
    Verbs({{"look", "Look at", "Look"}, {"take", "Take it", "Take"}});
    mScene->mObjectUnderCursor = true;
    mScene->mObjectName = "Desk";
    ShowShown();
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    MouseAt(548, 252);
    Bar().Update();
    graphics.DrawTooltip();
    EXPECT_STREQ(graphics.mTooltipString.c_str(), "Take it");
    MouseAt(500, 300);
    Bar().Update();
    graphics.DrawTooltip();
    EXPECT_STREQ(graphics.mTooltipString.c_str(), "Desk");
}

} // namespace
