#include "engine/gameplay/dialogue_bar.h"

#include <string>
#include <vector>

#include "engine/gameplay/bar_test_support.h"
#include "engine/render/graphics.h"
#include "platform/d3d9/testing.h"

namespace {

using namespace bar_test;
namespace pt = platform::testing;
using Strings = std::vector<std::string>;

cTarvelScriptValue* gNpc = nullptr;

// The character's bar opened from a script, as a chosen line may do.
int32_t ShowDialogue(tScriptFrame* frame)
{
    gTarvel.mDialogueBar.Show(frame->machine, gNpc);
    return 0;
}

class DialogueBarTest : public BarTest {
protected:
    void SetUp() override
    {
        BarTest::SetUp();
        cTarvelScript::AddLibraryFunction("bar__showDialogue", ShowDialogue);
        mNpc.kind = kScriptObject;
        mNpc.name = "npc";
        gNpc = &mNpc;
    }
    void TearDown() override
    {
        gNpc = nullptr;
        BarTest::TearDown();
    }

    // The scene's script: "npc::OnDlgBar" adds the lines (icon, label,
    // function); "Ask" and "Bye" are choices, "Again" opens the bar anew and
    // "empty::OnDlgBar" adds nothing.
    void Lines(const std::vector<std::vector<std::string>>& lines)
    {
        SceneScript("import bar__addLine 3 none\nimport bar__showDialogue 0 none\nfunction npc::OnDlgBar\n" +
                    Adds("bar__addLine", lines) +
                    "ret\nfunction Ask\nret\nfunction Bye\nret\nfunction empty::OnDlgBar\nret\n"
                    "function Again\npush int 0\ncall bar__showDialogue\nret\n");
    }
    void ShowShown()
    {
        Bar().Show(mScene->mScript, &mNpc);
        Now() += 200;
        Bar().Render();
        ASSERT_EQ(Bar().mState, cTarvelBar::kShown);
        gCalls.clear();
    }
    static cTarvelDialogueBar& Bar() { return gTarvel.mDialogueBar; }

    cTarvelScriptValue mNpc;
};

TEST_F(DialogueBarTest, TheLinesSitInARowAlongTheBottomOfTheStage)
{
    cTarvelDialogueBar& bar = Bar();
    EXPECT_EQ(bar.mTypeId, 2);
    EXPECT_TRUE(bar.mMember);
    ASSERT_NE(bar.mBackground, nullptr);
    EXPECT_EQ(Corner(bar.mBackground), std::make_pair(0.0f, 560.0f));
    EXPECT_EQ(bar.mBackground->mDepthOff, 1);
    EXPECT_EQ(bar.mBackground->mAlternateTechnique, 1);

    // A handler that adds no line opens nothing.
    Lines({});
    cTarvelScriptValue empty;
    empty.kind = kScriptObject;
    empty.name = "empty";
    bar.Show(mScene->mScript, &empty);
    EXPECT_EQ(gCalls, Strings{"empty::OnDlgBar"});
    EXPECT_FALSE(bar.mOpen);
    EXPECT_FALSE(OnStack(&bar));

    const struct {
        std::vector<std::vector<std::string>> lines;
        std::vector<int32_t> x;
    } rows[] = {
        {{{"a", "Hello", "Ask"}}, {476}},
        {{{"a", "Hello", "Ask"}, {"b", "Who?", "Ask"}, {"c", "Bye", "Bye"}}, {404, 476, 548}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.x.size());
        Lines(row.lines);
        bar.Show(mScene->mScript, &mNpc);
        ASSERT_TRUE(OnStack(&bar));
        EXPECT_TRUE(bar.mOpen);
        EXPECT_EQ(bar.mState, cTarvelBar::kFadingIn);
        ASSERT_EQ(bar.mEntries.Count(), int32_t(row.x.size()));
        EXPECT_STREQ(bar.EntryText(0).c_str(), "Hello");
        bar.Render();
        for (int32_t i = 0; i < bar.mEntries.Count(); ++i) {
            EXPECT_EQ(bar.mEntries[i].x, row.x[size_t(i)]);
            EXPECT_EQ(bar.mEntries[i].y, 560);
            EXPECT_EQ(Corner(bar.mEntries[i].icon), std::make_pair(float(row.x[size_t(i)]), 560.0f));
        }
    }
}

TEST_F(DialogueBarTest, AChosenLineCallsItsFunctionInTheScenesScript)
{
    Lines({{"a", "Hello", "Ask"}, {"b", "Again", "Again"}, {"c", "Bye", "Bye"}});
    ShowShown();
    cTarvelDialogueBar& bar = Bar();

    // The right button does nothing here but is used up.
    MouseAt(476 + 32, 592);
    RightClick();
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 0);
    EXPECT_TRUE(bar.mOpen);
    EXPECT_EQ(bar.mHovered, 1);
    EXPECT_EQ(Cursor(), 4);

    // A click beside the icons does nothing either.
    MouseAt(300, 592);
    LeftClick();
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
    EXPECT_EQ(bar.mHovered, -1);
    EXPECT_TRUE(bar.mOpen);
    EXPECT_EQ(bar.mState, cTarvelBar::kShown);
    EXPECT_TRUE(gCalls.empty());

    // 31 units into the icon is on it; the double click chooses too.
    MouseAt(548 + 63, 560 + 63);
    LeftClick(2);
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(gCalls, Strings{"Bye"});
    EXPECT_FALSE(bar.mOpen);
    EXPECT_EQ(bar.mState, cTarvelBar::kFadingOut);
    EXPECT_EQ(bar.mStateTime, Now());
    EXPECT_FALSE(bar.Update());

    // A line whose function opens the next lines leaves them open.
    ShowShown();
    MouseAt(476 + 32, 592);
    LeftClick();
    EXPECT_TRUE(bar.Update());
    EXPECT_EQ(gCalls, (Strings{"Again", "npc::OnDlgBar"}));
    EXPECT_TRUE(bar.mOpen);
    EXPECT_EQ(bar.mState, cTarvelBar::kFadingIn);
    EXPECT_EQ(bar.mEntries.Count(), 3);
    int32_t times = 0;
    OnStack(&bar, &times);
    EXPECT_EQ(times, 1);
}

TEST_F(DialogueBarTest, ALeftClickDuringTheFadeInGoesToTheInventory)
{
    Lines({{"a", "Hello", "Ask"}});
    Bar().Show(mScene->mScript, &mNpc);
    Now() += 100;
    gCalls.clear();
    MouseAt(476 + 32, 592);
    LeftClick();
    EXPECT_TRUE(Bar().Update());
    EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_TRUE(Bar().mOpen);
    EXPECT_EQ(Bar().mState, cTarvelBar::kFadingIn);
}

TEST_F(DialogueBarTest, TheBandFadesWithTheIcons)
{
    Lines({{"a", "Hello", "Ask"}});
    cTarvelDialogueBar& bar = Bar();
    bar.Show(mScene->mScript, &mNpc);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    pt::RecordDraws(true);
    auto render = [&] {
        pt::ClearRecordedDraws();
        bar.Render();
        Strings techniques;
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            techniques.push_back(draw.technique);
        return techniques;
    };
    Now() += 100;
    // The band first, blended, then the icon.
    EXPECT_EQ(render(), (Strings{"image_blended", "ui_vericonbw"}));
    EXPECT_EQ(Alpha(bar.mBackground), 38u);   // 0.6 x 64, truncated
    EXPECT_NEAR(Param(bar.mDimmed, "intens")[0], 0.3f, 1e-5f);
    Now() += 100;
    render();
    EXPECT_EQ(Alpha(bar.mBackground), 64u);
    EXPECT_EQ(bar.mState, cTarvelBar::kShown);

    MouseAt(476 + 32, 592);
    LeftClick();
    bar.Update();
    Now() += 250;
    render();
    EXPECT_EQ(Alpha(bar.mBackground), 48u);
    Now() += 751;
    EXPECT_TRUE(render().empty());
    EXPECT_TRUE(bar.mDone);
    device->EndScene();
    pt::RecordDraws(false);

    // Popped, it gives back its icons; the band stays for the next time.
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(bar.mIcons.Count(), 0);
    EXPECT_NE(bar.mBackground, nullptr);
}

TEST_F(DialogueBarTest, TheTooltipNamesTheHoveredLine)
{
    Lines({{"a", "Hello", "Ask"}, {"b", "Who are you?", "Ask"}});
    ShowShown();
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    MouseAt(512 + 32, 592);
    Bar().Update();
    ASSERT_EQ(Bar().mHovered, 1);
    graphics.DrawTooltip();
    EXPECT_STREQ(graphics.mTooltipString.c_str(), "Who are you?");
    MouseAt(100, 592);
    Bar().Update();
    graphics.DrawTooltip();
    EXPECT_EQ(graphics.mTooltipText, nullptr);
}

} // namespace
