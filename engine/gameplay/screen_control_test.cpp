#include "engine/gameplay/screen_control.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/cancel_request.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/screen_control_case_file.h"
#include "engine/gameplay/screen_control_inv_only.h"
#include "engine/gameplay/screen_control_radio.h"
#include "engine/render/font.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/win32/testing.h"
#include "tools/archive_writer.h"
#include "tools/font_writer.h"
#include "tools/image_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

class ScreenControlTest : public EngineTest {};

// Logs its release and its deletion by name.
struct Tracked : cTarvelScreenControl {
    Tracked(std::string* log, char name, bool member) : log(log), name(name) { mMember = member; }
    ~Tracked() override { *log += std::string("~") + name; }
    void ReleaseResources() override { *log += std::string("r") + name; }
    std::string* log;
    char name;
};

TEST_F(ScreenControlTest, OneDoneControlIsPoppedPerFrameAndAMemberIsOnlyReleased)
{
    std::string log;
    Tracked member(&log, 'M', true);
    member.mDone = true;
    gScreenControls.Add(&member);
    auto* below = new Tracked(&log, 'A', false);
    auto* top = new Tracked(&log, 'B', false);
    gScreenControls.Add(below);
    gScreenControls.Add(top);

    // The top is not done: nothing goes, not even the done member below.
    EXPECT_FALSE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 3);
    top->mDone = true;
    below->mDone = true;
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(log, "rB~B");
    EXPECT_EQ(gScreenControls.Count(), 2);
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(log, "rB~BrA~ArM");
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_FALSE(PopDoneScreenControl());

    // The member can be pushed again.
    member.mDone = false;
    gScreenControls.Add(&member);
    EXPECT_FALSE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 1);
    gScreenControls.Clear();
}

TEST_F(ScreenControlTest, EmptyingReleasesAndDeletesAllButMembers)
{
    std::string log;
    Tracked member(&log, 'M', true);
    gScreenControls.Add(new Tracked(&log, 'A', false));
    gScreenControls.Add(&member);
    gScreenControls.Add(new Tracked(&log, 'B', false));
    ClearScreenControls();
    EXPECT_EQ(log, "rB~BrA~A");
    EXPECT_EQ(gScreenControls.Count(), 0);
    gScreenControls.Add(&member);
    EXPECT_EQ(gScreenControls[0], &member);
    gScreenControls.Clear();
}

TEST_F(ScreenControlTest, OnlyASkipPromptOnTopIsRemovedAsOne)
{
    std::string log;
    auto* prompt = new Tracked(&log, 'P', false);
    prompt->mTypeId = cTarvelScreenControl::kCancelRequest;
    Tracked other(&log, 'O', true);
    gScreenControls.Add(prompt);
    gScreenControls.Add(&other);
    EXPECT_FALSE(RemoveSkipPrompt());
    gScreenControls.RemoveAt(1);
    EXPECT_TRUE(RemoveSkipPrompt());
    EXPECT_EQ(log, "rP~P");
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_FALSE(RemoveSkipPrompt());
}

using platform::testing::AdvanceClock;

std::vector<std::string> gCalls;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

// A control that only records that the walk was stopped.
struct StopRecorder : cTarvelActorControl {
    void ClearWalk() override { ++stops; }
    int stops = 0;
};

// A started engine with font 0, the case file's and the radio's pictures, the
// interface effect with the radio's techniques, and a scene with a current
// view, a script object "room" and a script that defines what the screens
// call.
class ScreensTest : public EngineTest {
protected:
    static constexpr int kFontCell = 9;   // line height 11

    void SetUp() override
    {
        EngineTest::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        writer.AddShared(1, "font1", 0, testkit::BuildGridFont(u"Skip?", kFontCell), true);
        auto picture = [&](const char* name, int width, int height) {
            writer.AddShared(1, name, kResourceTga, testkit::BuildTga(testkit::Picture(width, height), {}), true);
        };
        // Three pages whose top pictures differ in height.
        for (int page = 0; page < 3; ++page) {
            picture(("doc_top_0" + std::to_string(page)).c_str(), 16, 10 + page);
            picture(("doc_btm_0" + std::to_string(page)).c_str(), 16, 8);
        }
        picture("radio_back", 32, 16);
        picture("radio_line", 2, 16);
        // "menu-ok" (100 x 32) and the arrows (16 x 16) come with the
        // start-up pictures.
        const std::string effect = testkit::MinimalEffectSource(std::vector<std::string>{"ui_vericon", "ui_vericonbw"});
        writer.AddShared(1, "interface.fx", kResourceOther, testkit::Bytes(effect.begin(), effect.end()), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();

        gCalls.clear();
        mStartSymbols = gSharedSymbols.Count();
        cTarvelScript::sCallObserver = Observe;
        mScene = new cTarvelScene();
        mScene->mScript = new cTarvelScript("scene");
        const std::vector<uint8_t> image =
            AssembleScriptOrThrow("function CaseFileExit\nret\nfunction room::RadioSelected\nret\n");
        ASSERT_EQ(mScene->mScript->LoadImage(image.data(), image.size(), "scene"), 0);
        mScene->mViews.Add(new cTarvelView());
        mScene->mView = mScene->mViews[0];
        mRoom.kind = kScriptObject;
        mRoom.name = "room";
        mScene->mScriptObject = &mRoom;
        gTarvel.mScene = mScene;
        mPlayer = new cTarvelActor("OFF", "", false);
        delete mPlayer->mControl;
        mPlayer->mControl = new StopRecorder();
        gTarvel.mPlayer = mPlayer;
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        ClearScreenControls();
        ResetShared();
        gTarvel.mScene = nullptr;
        gTarvel.mPlayer = nullptr;
        delete mScene;
        delete mPlayer;
        EngineTest::TearDown();
    }

    static void MouseAt(int32_t x, int32_t y)
    {
        gTarvel.mGameplay.mMouseX = x;
        gTarvel.mGameplay.mMouseY = y;
    }
    static void ClickAt(int32_t x, int32_t y, int32_t latch = 1)
    {
        MouseAt(x, y);
        gTarvel.mGameplay.mLeftLatch = latch;
    }
    static int32_t Cursor() { return gTarvel.mGraphics.mCursorKind; }
    int Stops() const { return static_cast<StopRecorder*>(mPlayer->mControl)->stops; }
    static bool TextIsLive(const cTarvelText* text)
    {
        for (cTarvelText* live : gTarvel.mFonts.mTexts)
            if (live == text)
                return true;
        return false;
    }
    // The top-left corner of an image's quad in logical units.
    static std::pair<float, float> Corner(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, 0), D3D_OK);
        const float* second = reinterpret_cast<const float*>(static_cast<uint8_t*>(data) + image->VertexStride());
        const cTarvelGraphics& graphics = gTarvel.mGraphics;
        std::pair<float, float> corner{(second[0] - graphics.mTexelOffsetX) / graphics.mScaleX,
                                       (second[1] - graphics.mTexelOffsetY) / graphics.mScaleY};
        image->mVertexBuffer->Unlock();
        return corner;
    }
    // Takes the test's shared values off again; start-up's come first.
    void ResetShared()
    {
        while (gSharedSymbols.Count() > mStartSymbols)
            gSharedSymbols.RemoveAt(gSharedSymbols.Count() - 1);
    }
    static void AddShared(const char* name, int32_t value)
    {
        cTarvelScriptValue shared = cTarvelScriptValue::FromInt(value);
        shared.name = name;
        gSharedSymbols.Add(shared);
    }

    cTarvelScene* mScene = nullptr;
    cTarvelActor* mPlayer = nullptr;
    cTarvelScriptValue mRoom;
    int32_t mStartSymbols = 0;
};

TEST_F(ScreensTest, TheSkipPromptShowsItsTextForThreeSecondsThenEnds)
{
    gTarvel.mGameplay.mTextLines.Add("cinematic_cancelx No");
    gTarvel.mGameplay.mTextLines.Add("cinematic_cancel Skip?");
    auto* prompt = new cTarvelCancelRequest();
    gScreenControls.Add(prompt);
    EXPECT_EQ(prompt->mTypeId, 4);
    EXPECT_FALSE(prompt->Update());
    cTarvelText* text = prompt->mText;
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(TextIsLive(text));
    EXPECT_EQ(text->mCharCount, 5);
    // Centred on 512, half the line height of 11 above 615, rounded down.
    EXPECT_EQ(text->mX, 512 - text->mWidth / 2);
    EXPECT_EQ(text->mY, 610);

    AdvanceClock(3000);
    prompt->Render();
    EXPECT_FALSE(prompt->mDone);
    EXPECT_TRUE(TextIsLive(text));
    AdvanceClock(20);
    prompt->Render();
    EXPECT_TRUE(prompt->mDone);
    EXPECT_FALSE(TextIsLive(text));
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 0);
}

TEST_F(ScreensTest, APromptLeftOnTheStackLeavesTheLiveTextsWhenTheStackIsEmptied)
{
    auto* prompt = new cTarvelCancelRequest();
    gScreenControls.Add(prompt);
    const cTarvelText* text = prompt->mText;
    ASSERT_TRUE(TextIsLive(text));
    ClearScreenControls();
    EXPECT_FALSE(TextIsLive(text));

    // Leaving the scene empties the stack the same way; the bar, a member,
    // is not deleted.
    gScreenControls.Add(&gTarvel.mVerbBar);
    prompt = new cTarvelCancelRequest();
    gScreenControls.Add(prompt);
    text = prompt->mText;
    mScene->Leave(0);
    EXPECT_FALSE(TextIsLive(text));
    EXPECT_EQ(gScreenControls.Count(), 0);

    // A text cleared with all the others is not deleted again.
    prompt = new cTarvelCancelRequest();
    gScreenControls.Add(prompt);
    gTarvel.mFonts.ClearTexts();
    ClearScreenControls();
    EXPECT_EQ(gScreenControls.Count(), 0);
}

TEST_F(ScreensTest, InventoryOnlyLeavesTheBarBelowTheStageItsInput)
{
    cTarvelScreenControlInvOnly screen;
    EXPECT_EQ(screen.mTypeId, 31);
    gTarvel.mGraphics.mCursorKind = 7;
    MouseAt(300, 641);
    EXPECT_FALSE(screen.Update());
    EXPECT_EQ(Cursor(), 7);
    MouseAt(300, 640);
    EXPECT_TRUE(screen.Update());
    EXPECT_EQ(Cursor(), 0);
}

TEST_F(ScreensTest, TheCaseFileTurnsItsPagesWithinItsCountAndShowsWhereAClickGoes)
{
    cTarvelScreenControlCaseFile file("doc", 3, mScene->mScript);
    EXPECT_EQ(Stops(), 1);
    ASSERT_NE(file.mTop, nullptr);
    EXPECT_EQ(file.mTop->mHeader.height, 10);
    EXPECT_EQ(file.mTop->mPlayMode, kImageLoop);

    struct Case {
        int32_t x, y;
        int32_t page;     // before the click
        int32_t cursor;   // before the click
        int32_t after;    // the page after a click
    };
    const Case cases[] = {
        {200, 300, 0, 0, 0},   // previous side on the first page: nothing
        {700, 300, 0, 4, 1},   // next side
        {700, 300, 1, 4, 2},
        {700, 300, 2, 0, 2},   // next side on the last page: nothing
        {512, 300, 2, 0, 2},   // the middle between the sides
        {100, 300, 2, 4, 1},   // the previous side's left edge
        {399, 639, 1, 4, 0},
        {99, 300, 0, 8, 0},    // the exit band
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " page " << c.page);
        ASSERT_EQ(file.mPage, c.page);
        MouseAt(c.x, c.y);
        EXPECT_TRUE(file.Update());
        EXPECT_EQ(Cursor(), c.cursor);
        if (c.cursor == 8)
            break;
        ClickAt(c.x, c.y);
        EXPECT_TRUE(file.Update());
        EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
        EXPECT_EQ(file.mPage, c.after);
        EXPECT_EQ(file.mTop->mHeader.height, 10 + c.after);
        EXPECT_FLOAT_EQ(Corner(file.mBottom).second, float(10 + c.after) - 1.4f);
        EXPECT_FALSE(file.mDone);
        EXPECT_TRUE(gCalls.empty());
    }
    // A right double click in the band closes it through the opening script.
    MouseAt(900, 700);
    gTarvel.mGameplay.mRightLatch = 2;
    EXPECT_TRUE(file.Update());
    EXPECT_TRUE(file.mDone);
    EXPECT_EQ(gCalls, std::vector<std::string>{"CaseFileExit"});
    EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 0);
}

TEST_F(ScreensTest, TheCaseFileTakesOneClickAFrameAndWaitsForASpeechLine)
{
    cTarvelScreenControlCaseFile file("doc", 3, mScene->mScript);
    MouseAt(700, 300);
    gTarvel.mGameplay.mLeftLatch = 1;
    gTarvel.mGameplay.mRightLatch = 1;
    file.Update();
    EXPECT_EQ(file.mPage, 1);
    EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 1);
    file.Update();
    EXPECT_EQ(file.mPage, 2);

    // A line that cannot be clicked through holds the clicks back: the
    // click ends the line and goes with it, turning no page.
    gTarvel.mGameplay.mRightLatch = 0;
    gTarvel.mSpeech.Say("Hello", "nosuch", gTarvel.mSpeech.mOffVoice, 1);
    ASSERT_EQ(gTarvel.mSpeech.mState, 2);
    gTarvel.mGameplay.mStateFlags |= cTarvelGameplay::kBlocked;
    ClickAt(200, 300);
    EXPECT_TRUE(file.Update());
    EXPECT_EQ(file.mPage, 2);
    EXPECT_EQ(gTarvel.mSpeech.mState, 0);
    EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
    file.Update();
    EXPECT_EQ(file.mPage, 2) << "the next frame does not get that click";
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kBlocked;
    gTarvel.mSpeech.Release();
}

TEST_F(ScreensTest, TheCaseFileWithOnePageNeverTurns)
{
    cTarvelScreenControlCaseFile file("doc", 1, mScene->mScript);
    for (int32_t x : {200, 700}) {
        ClickAt(x, 300);
        file.Update();
        EXPECT_EQ(file.mPage, 0);
        MouseAt(x, 300);
        file.Update();
        EXPECT_EQ(Cursor(), 0);
    }
}

TEST_F(ScreensTest, TheRadioStartsFromTheSharedValueClampedToItsDial)
{
    struct Case {
        bool exists;
        int32_t shared;
        int32_t shown;
    };
    for (const Case& c : {Case{false, 0, 88}, Case{true, 50, 88}, Case{true, 200, 112}, Case{true, 95, 95},
                          Case{true, 88, 88}, Case{true, 112, 112}}) {
        SCOPED_TRACE(c.shared);
        ResetShared();
        if (c.exists)
            AddShared("room::RadioResult", c.shared);
        cTarvelScreenControlRadio radio;
        EXPECT_EQ(radio.mTypeId, 34);
        EXPECT_EQ(radio.mValue, c.shown);
    }
    EXPECT_EQ(Stops(), 6);
}

TEST_F(ScreensTest, TheRadioArrowsStopAtTheEndsAndOkWritesTheResult)
{
    AddShared("other::RadioResult", 1);
    AddShared("room::RadioResult", 89);
    cTarvelScreenControlRadio radio;
    // Left arrow: x 210 to 274, y 328 to 392, edges included.
    ClickAt(274, 392);
    EXPECT_TRUE(radio.Update());
    EXPECT_EQ(radio.mValue, 88);
    EXPECT_EQ(Cursor(), 0);   // the arrow is dead now
    radio.RenderBack();
    EXPECT_FLOAT_EQ(Corner(radio.mLine).first, 340.0f);
    EXPECT_FLOAT_EQ(Corner(radio.mLine).second, 327.0f);
    ClickAt(210, 328);
    radio.Update();
    EXPECT_EQ(radio.mValue, 88);
    ClickAt(275, 330);
    radio.Update();
    EXPECT_EQ(radio.mValue, 88);
    EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);

    // Right arrow: x 750 to 814, up to 112 and no further.
    for (int i = 0; i < 30; ++i) {
        ClickAt(750 + i % 65, 330, 2);
        radio.Update();
    }
    EXPECT_EQ(radio.mValue, 112);
    radio.RenderBack();
    EXPECT_FLOAT_EQ(Corner(radio.mLine).first, 24 * 12.9f + 340.0f);
    MouseAt(780, 330);
    radio.Update();
    EXPECT_EQ(Cursor(), 0);
    MouseAt(230, 330);
    radio.Update();
    EXPECT_EQ(Cursor(), 4);

    // OK: centred by its width of 100, x 462 to 526, y 488 to 552.
    MouseAt(462, 552);
    radio.Update();
    EXPECT_EQ(Cursor(), 4);
    EXPECT_TRUE(gCalls.empty());
    ClickAt(526, 488);
    gTarvel.mGameplay.mRightLatch = 1;
    EXPECT_FALSE(radio.Update());
    EXPECT_TRUE(radio.mDone);
    EXPECT_EQ(gTarvel.mGameplay.mRightLatch, 1);
    EXPECT_EQ(cTarvelGameplay::FindValue("room::RadioResult")->integer, 112);
    EXPECT_EQ(cTarvelGameplay::FindValue("other::RadioResult")->integer, 1);
    EXPECT_EQ(gCalls, std::vector<std::string>{"room::RadioSelected"});
}

TEST_F(ScreensTest, TheRadioWithoutTheSharedValueStoresNothing)
{
    cTarvelScreenControlRadio radio;
    ClickAt(800, 330);
    radio.Update();
    ClickAt(500, 500);
    EXPECT_FALSE(radio.Update());
    EXPECT_EQ(gSharedSymbols.Count(), mStartSymbols);
    EXPECT_EQ(gCalls, std::vector<std::string>{"room::RadioSelected"});
}

TEST_F(ScreensTest, TheScreensDrawAndGiveUpWhatTheyHold)
{
    const int32_t textsBefore = gTarvel.mFonts.mTexts.Count();
    gScreenControls.Add(new cTarvelScreenControlRadio());
    gScreenControls.Add(new cTarvelScreenControlCaseFile("doc", 2, mScene->mScript));
    gScreenControls.Add(new cTarvelCancelRequest());
    gTarvel.mGraphics.RenderFrame();
    for (cTarvelScreenControl* control : gScreenControls)
        control->mDone = true;
    while (PopDoneScreenControl()) {
    }
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), textsBefore);
}

} // namespace
