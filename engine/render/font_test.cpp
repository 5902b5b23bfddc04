#include "engine/render/font.h"

#include <string>
#include <vector>

#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "platform/win32/win32.h"
#include "tools/font_writer.h"

namespace pt = platform::testing;

namespace {

void SetSetting(const char* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

// The grid font of the tests: cells of 10 pixels, so every glyph advances 10,
// is 8 wide, has bearing 1 and rise 8, and lines are 12 high.
const std::u16string kCodes = u" !,.:?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\u00e9";

class FontTest : public RenderTest {
protected:
    static cTarvelFont& Fonts() { return gTarvel.mFonts; }

    void StartWithFonts(const testkit::Bytes& font1, DWORD screenRes = 0x04000300)
    {
        SetSetting("ScreenRes", screenRes);
        StartWith([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "font1", 0, font1, true);
            writer.AddShared(1, "font2", 0, testkit::BuildGridFont(kCodes, 10), false);
        });
        Fonts().LoadFonts();
    }

    // Left x of the quad of character i, in reference units.
    static float LeftOf(const cTarvelText* text, int i)
    {
        return text->mVertices[6 * i].x / gTarvel.mGraphics.mScaleX;
    }
    static float TopOf(const cTarvelText* text, int i)
    {
        return text->mVertices[6 * i].y / gTarvel.mGraphics.mScaleY;
    }
};

TEST_F(FontTest, QuadsFollowTheGlyphsAtEveryScale)
{
    struct Case {
        DWORD screenRes;
        float scaleX;
        float scaleY;
    };
    for (const Case c : {Case{0x04000300, 1.0f, 1.0f}, Case{0x05000400, 1.25f, 1024.0f / 768.0f}}) {
        SCOPED_TRACE(c.screenRes);
        StartWithFonts(testkit::BuildGridFont(kCodes, 10), c.screenRes);
        cTarvelText* text = Fonts().CreateTextW(0, u"AB", 100, 200, 0xFF8395A7u, 0, 0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->mCharCount, 2);
        EXPECT_EQ(text->mWidth, 20);
        EXPECT_EQ(text->mHeight, 12);
        EXPECT_EQ(text->mLineCount, 1);
        EXPECT_EQ(text->mTranslucent, 0);
        EXPECT_FLOAT_EQ(text->mLifetime, 10000.0f);
        // Second glyph: pen 110, bearing 1, width 8; line 200, rise 8, height 10.
        const sTextVertex* quad = text->mVertices + 6;
        float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
        for (int i = 0; i < 6; ++i) {
            left = std::min(left, quad[i].x);
            right = std::max(right, quad[i].x);
            top = std::min(top, quad[i].y);
            bottom = std::max(bottom, quad[i].y);
            EXPECT_FLOAT_EQ(quad[i].rhw, 1.0f);
        }
        // Top corners take the darker shade, bottom corners the lighter one.
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(quad[i].color, quad[i].y == top ? 0xFF8090A0u : 0xFF8F9FAFu) << i;
        EXPECT_FLOAT_EQ(left, 111.0f * c.scaleX);
        EXPECT_FLOAT_EQ(right, 119.0f * c.scaleX);
        EXPECT_FLOAT_EQ(top, 192.0f * c.scaleY);
        EXPECT_FLOAT_EQ(bottom, 202.0f * c.scaleY);
        // 'B' is the eighth code: column 7 of the 256-pixel page.
        EXPECT_FLOAT_EQ(quad[0].u, 70.0f / 256.0f);
        EXPECT_FLOAT_EQ(quad[5].u, 80.0f / 256.0f);
        EXPECT_FLOAT_EQ(quad[5].v, 10.0f / 256.0f);

        text->SetPosition(150, 100);
        EXPECT_FLOAT_EQ(LeftOf(text, 1), 161.0f);
        EXPECT_FLOAT_EQ(TopOf(text, 1), 92.0f);
        text->SetColor(0x40112233u);
        EXPECT_EQ(text->mVertices[11].color, 0x40112233u);
        Fonts().ClearTexts();
        RebuildEngine();
    }
}

TEST_F(FontTest, TextEndsAtAControlCharacterOrAMissingGlyph)
{
    StartWithFonts(testkit::BuildGridFont(kCodes, 10));
    cTarvelText* cut = Fonts().CreateTextW(0, u"AB\nCD", 0, 0, 0xFFFFFFFFu, 0, 0);
    EXPECT_EQ(cut->mCharCount, 2);
    EXPECT_EQ(Log().find("No glyph"), std::string::npos);

    cTarvelText* missing = Fonts().CreateTextW(0, u"AB\u4e00CD", 0, 0, 0x80FFFFFFu, 0, 0);
    EXPECT_EQ(missing->mCharCount, 2);
    EXPECT_EQ(missing->mTranslucent, 1);
    EXPECT_NE(Log().find("Warning! No glyph in Font 0 for character 0x4e00. Please report so we cann add it.\n"),
              std::string::npos);
    EXPECT_EQ(Fonts().GetTextWidth(0, u"A\u4e00B\nC"), 30);

    // UTF-8 text goes through the wide form.
    cTarvelText* accented = Fonts().CreateText(0, cTarvelString("a\xc3\xa9z"), 0, 0, 0xFFFFFFFFu, 0, 0);
    EXPECT_EQ(accented->mCharCount, 3);
}

TEST_F(FontTest, CentringUsesHalfTheWidth)
{
    testkit::FontGlyph wide;
    wide.code = 'W';
    wide.height = 10;
    wide.width = 100;
    wide.advance = 101;
    const testkit::Bytes noPages[1];
    StartWithFonts(testkit::BuildFont(12, std::span(&wide, 1), std::span(noPages, 0)));
    cTarvelText* text = Fonts().CreateTextW(0, u"W", 500, 300, 0xFFFFFFFFu, cTarvelFont::kCentre, 0);
    EXPECT_EQ(text->mWidth, 101);
    EXPECT_EQ(text->mX, 450);
    EXPECT_FLOAT_EQ(LeftOf(text, 0), 450.0f);
}

TEST_F(FontTest, WrappingBreaksAfterSpacesAndAlwaysEnds)
{
    StartWithFonts(testkit::BuildGridFont(kCodes, 10));
    struct Case {
        const char16_t* text;
        int32_t maxWidth;
        std::vector<int> lineStarts;   // index of the first character of each line
    };
    const Case cases[] = {
        // 75 pixels hold "ab cd e" but not the "f".
        {u"ab cd ef", 75, {0, 6}},
        // A space and the "!" after it are one unit: the second line never
        // starts with the "!".
        {u"ab cd !ef", 75, {0, 7}},
        {u"ab cd", 200, {0}},
        // No break point: each line takes what fits, and at least one glyph.
        {u"abcdefgh", 35, {0, 3, 6}},
        {u"abc", 5, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        cTarvelText* text = Fonts().CreateTextW(0, c.text, 100, 50, 0xFFFFFFFFu, cTarvelFont::kWrap, c.maxWidth);
        EXPECT_EQ(text->mLineCount, int(c.lineStarts.size()));
        EXPECT_EQ(text->mHeight, 12 * int(c.lineStarts.size()));
        for (size_t line = 0; line < c.lineStarts.size(); ++line) {
            EXPECT_FLOAT_EQ(LeftOf(text, c.lineStarts[line]), 101.0f);
            EXPECT_FLOAT_EQ(TopOf(text, c.lineStarts[line]), 42.0f + 12.0f * float(line));
        }
        Fonts().DeleteText(text);
    }
    // Centred and wrapped: each line on x by its own width.
    cTarvelText* both =
        Fonts().CreateTextW(0, u"abcd ef", 500, 0, 0xFFFFFFFFu, cTarvelFont::kWrap | cTarvelFont::kCentre, 55);
    ASSERT_EQ(both->mLineCount, 2);
    EXPECT_FLOAT_EQ(LeftOf(both, 0), 500.0f - 25.0f + 1.0f);
    EXPECT_FLOAT_EQ(LeftOf(both, 5), 500.0f - 10.0f + 1.0f);
    // With no maximum, 0.7 of the screen width.
    cTarvelText* wideLine = Fonts().CreateTextW(0, std::u16string(80, u'a').c_str(), 0, 0, 0xFFFFFFFFu,
                                                cTarvelFont::kWrap, 0);
    EXPECT_EQ(wideLine->mLineCount, 2);   // 716 pixels hold 71 glyphs
    EXPECT_FLOAT_EQ(LeftOf(wideLine, 71), 1.0f);
}

TEST_F(FontTest, MalformedFontsStayEmpty)
{
    testkit::Bytes fivePages = testkit::BuildGridFont(kCodes, 10);
    fivePages[2] = 5;
    testkit::Bytes shortGlyphs = testkit::BuildGridFont(kCodes, 10);
    shortGlyphs.resize(4 + 24 * 3);
    for (const testkit::Bytes& font : {fivePages, shortGlyphs, testkit::Bytes{1, 0}}) {
        StartWithFonts(font);
        EXPECT_EQ(Fonts().mFonts[0].glyphCount, 0);
        EXPECT_EQ(Fonts().mFonts[0].pages[0], nullptr);
        EXPECT_EQ(Fonts().CreateTextW(0, u"AB", 0, 0, 0xFFFFFFFFu, 0, 0)->mCharCount, 0);
        // The other fonts load; the three unlisted ones are missing.
        EXPECT_EQ(Fonts().mFonts[1].glyphCount, int32_t(kCodes.size()));
        EXPECT_EQ(Fonts().mFonts[2].glyphCount, 0);
        RebuildEngine();
    }
}

TEST_F(FontTest, AGlyphTableWithoutMemoryLeavesTheFontsEmpty)
{
    StartWithFonts(testkit::BuildGridFont(kCodes, 10));
    ASSERT_EQ(Fonts().mFonts[0].glyphCount, int32_t(kCodes.size()));
    Fonts().mAllocHook = [](size_t) -> void* { return nullptr; };
    Fonts().LoadFonts();
    Fonts().mAllocHook = nullptr;
    for (int font : {0, 1}) {
        EXPECT_EQ(Fonts().mFonts[font].glyphCount, 0) << font;
        EXPECT_EQ(Fonts().mFonts[font].glyphs, nullptr) << font;
        EXPECT_EQ(Fonts().mFonts[font].pages[0], nullptr) << font;
        EXPECT_EQ(Fonts().CreateTextW(font, u"AB", 0, 0, 0xFFFFFFFFu, 0, 0)->mCharCount, 0) << font;
    }
    // With memory again they load as before.
    Fonts().LoadFonts();
    EXPECT_EQ(Fonts().mFonts[1].glyphCount, int32_t(kCodes.size()));
}

TEST_F(FontTest, RenderDrawsOneLayerAndCountsDownOnlySetLifetimes)
{
    StartWithFonts(testkit::BuildGridFont(kCodes, 10));
    cTarvelText* solid = Fonts().CreateTextW(0, u"ABC", 0, 0, 0xFFFFFFFFu, 0, 0);
    cTarvelText* translucent = Fonts().CreateTextW(0, u"AB", 0, 0, 0x80FFFFFFu, 0, 0);
    cTarvelText* hidden = Fonts().CreateTextW(0, u"A", 0, 0, 0xFFFFFFFFu, 0, 0);
    hidden->mHidden = 1;
    cTarvelText* otherLayer = Fonts().CreateTextW(0, u"A", 0, 0, 0xFFFFFFFFu, 0, 0);
    otherLayer->mLayer = 1;
    cTarvelText* shortLived = Fonts().CreateTextW(0, u"A", 0, 0, 0xFFFFFFFFu, 0, 0);
    shortLived->mLifetime = 0.25f;
    (void)solid;
    (void)translucent;

    gTarvel.mTimer.mFrameSeconds = 0.125f;
    pt::RecordDraws(true);
    const int base = pt::PresentCount();
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    for (int frame = 0; frame < 3; ++frame) {
        device->BeginScene();
        Fonts().RenderTexts(0);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    const auto first = pt::RecordedDraws(base);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].call, pt::DrawCall::PrimitiveUP);
    EXPECT_EQ(first[0].primitiveCount, 6u);
    EXPECT_EQ(first[0].technique, "text_basic");
    EXPECT_EQ(first[0].fvf, DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_EQ(first[0].textures[0], Fonts().mFonts[0].pages[0]->GetCurrentFrame());
    EXPECT_EQ(first[1].primitiveCount, 4u);
    EXPECT_EQ(first[1].technique, "text_blended");
    // 0.25 s: drawn in two frames, then gone.
    EXPECT_EQ(pt::RecordedDraws(base + 1).size(), 3u);
    EXPECT_EQ(pt::RecordedDraws(base + 2).size(), 2u);
    EXPECT_EQ(Fonts().mTexts.Count(), 4);
    EXPECT_FLOAT_EQ(solid->mLifetime, 10000.0f);
    pt::RecordDraws(false);
}

TEST_F(FontTest, TheVisibleCountLimitsTheDrawnCharacters)
{
    StartWithFonts(testkit::BuildGridFont(kCodes, 10));
    cTarvelText* text = Fonts().CreateTextW(0, u"ABC", 0, 0, 0xFFFFFFFFu, 0, 0);
    EXPECT_EQ(text->mVisibleCount, 3) << "every character by default";
    pt::RecordDraws(true);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    // Visible count set -> triangles drawn; counts outside the text are held
    // to it, and none draws nothing.
    const struct {
        int32_t visible;
        size_t draws;
        UINT triangles;
    } cases[] = {{1, 1, 2}, {3, 1, 6}, {10, 1, 6}, {0, 0, 0}, {-5, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.visible);
        text->mVisibleCount = c.visible;
        const int frame = pt::PresentCount();
        device->BeginScene();
        Fonts().RenderTexts(0);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        const auto draws = pt::RecordedDraws(frame);
        ASSERT_EQ(draws.size(), c.draws);
        if (c.draws)
            EXPECT_EQ(draws[0].primitiveCount, c.triangles);
    }
    pt::RecordDraws(false);
}

} // namespace
