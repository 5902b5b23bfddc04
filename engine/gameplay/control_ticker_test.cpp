#include "engine/gameplay/control_ticker.h"

#include "engine/gameplay/control_effects_test_support.h"
#include "engine/render/font.h"

namespace {

using namespace control_test;

class TickerTest : public ControlEffectsTest {
protected:
    static void At(float seconds) { gTarvel.mTimer.mGameSeconds = seconds; }
    cTarvelControlTicker* Ticker() { return Bound<cTarvelControlTicker>("Tick", eScriptObjectType::CtrlTicker); }
    std::vector<int32_t> Visible()
    {
        std::vector<int32_t> counts;
        for (const cTarvelControlTicker::sLine& line : Ticker()->mLines) {
            EXPECT_EQ(line.text->mVisibleCount, line.shadow->mVisibleCount);
            counts.push_back(line.text->mVisibleCount);
        }
        return counts;
    }
};

TEST_F(TickerTest, LinesAreLaidOutInTheLowerLeftCornerWithTheirShadows)
{
    At(5.0f);
    Run("TickInit");
    Run("TickLines");
    cTarvelControlTicker* ticker = Ticker();
    ASSERT_NE(ticker, nullptr);
    EXPECT_EQ(ticker->mHoldTime, 2.0f);
    ASSERT_EQ(ticker->mLines.Count(), 3);
    const int32_t h = gTarvel.mGraphics.mHeight;
    const int32_t lengths[] = {10, 20, 5};
    for (int32_t n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        const cTarvelControlTicker::sLine& line = ticker->mLines[n];
        EXPECT_EQ(line.length, lengths[n]);
        EXPECT_EQ(line.text->mX, 40);
        EXPECT_EQ(line.text->mY, h - 20 * (n + 1));
        EXPECT_EQ(line.shadow->mX, 41);
        EXPECT_EQ(line.shadow->mY, h - 20 * n - 19);
        EXPECT_EQ(line.text->mVertices[0].color >> 24, 0xFFu);
        EXPECT_NE(line.text->mVertices[0].color & 0xFFFFFFu, 0u) << "white";
        EXPECT_EQ(line.shadow->mVertices[0].color, 0xFF000000u) << "black";
    }
    EXPECT_EQ(ticker->mMaxLength, 20);
    EXPECT_EQ(Visible(), (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(TickerTest, TypesThirtyCharactersASecondThenHoldsAndFades)
{
    At(4.0f);
    Run("TickInit");
    Run("TickLines");
    const struct {
        float at;
        std::vector<int32_t> visible;
        int32_t phase;
    } steps[] = {
        {4.0f, {0, 0, 0}, 0},
        {4.25f, {7, 2, 0}, 0},     // 7.5 characters' time
        {4.5f, {10, 10, 5}, 0},    // 15
        {5.0f, {10, 20, 5}, 0},    // 30: the last line needs 5 more than the one above
        {5.125f, {10, 20, 5}, 0},  // 33 - 15 is short of the longest line
        {5.25f, {10, 20, 5}, 1},   // 37 - 15 >= 20: holding from here
        {7.25f, {10, 20, 5}, 1},   // the hold ends only after 2 s
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.at);
        At(s.at);
        UpdateActiveControls();
        EXPECT_EQ(Visible(), s.visible);
        EXPECT_EQ(Ticker()->mPhase, s.phase);
    }
    At(7.375f);
    UpdateActiveControls();
    ASSERT_EQ(Ticker()->mPhase, 2);
    for (const cTarvelControlTicker::sLine& line : Ticker()->mLines)
        EXPECT_TRUE(line.text->mTranslucent && line.shadow->mTranslucent);
    At(7.625f);
    UpdateActiveControls();
    const cTarvelControlTicker::sLine& first = Ticker()->mLines[0];
    EXPECT_EQ(first.text->mVertices[0].color >> 24, 191u);   // (1 - 0.25) * 255
    EXPECT_EQ(first.shadow->mVertices[0].color, 191u << 24);
    const int32_t texts = gTarvel.mFonts.mTexts.Count();
    At(8.3f);
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 1);
    At(8.375f);
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 0);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), texts - 6) << "its texts go with it";
}

TEST_F(TickerTest, WithoutLinesItHoldsAtOnceAndLateLinesStayHidden)
{
    At(1.0f);
    Run("TickInit");
    UpdateActiveControls();
    EXPECT_EQ(Ticker()->mPhase, 1);
    Run("TickLines");
    At(2.0f);
    UpdateActiveControls();
    EXPECT_EQ(Visible(), (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(TickerTest, TextsClearedByOthersAreNotTouchedAgain)
{
    At(1.0f);
    Run("TickInit");
    Run("TickLines");
    gTarvel.mFonts.ClearTexts();
    At(1.5f);
    UpdateActiveControls();
    gActiveControls.DeleteAll();
    SUCCEED() << "no use of the freed texts (the sanitizer would stop here)";
}

TEST_F(TickerTest, ATickerIsNotSaved)
{
    Run("TickInit");
    Run("TickLines");
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<Control />"), std::string::npos) << xml;
    EXPECT_EQ(gActiveControls.Count(), 0);
    // Without a call object an init makes a ticker all the same; addLine fails.
    cTarvelScriptValue args[1];
    args[0].floatValue = 1.0f;
    tScriptFrame frame;
    frame.arguments.Add(args[0]);
    EXPECT_EQ(cCtrlTicker__init(&frame), 0);
    EXPECT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(cCtrlTicker__addLine(&frame), -1);
}

}  // namespace
