#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class cTarvelImage;

// One glyph of a bitmap font, as stored (24 bytes a record).
struct sGlyph {
    uint16_t code;   // UTF-16
    uint8_t unused;
    int8_t height;
    int8_t width;
    int8_t bearing;   // left bearing
    int8_t rise;      // from the line position up to the quad's top edge
    int8_t advance;
    float left;       // u of the left edge
    float top;        // v of the top edge
    float right;
    float bottom;
};

struct sFont {
    int32_t glyphCount;
    int32_t pageCount;
    int32_t lineHeight;
    sGlyph* glyphs;   // malloc'd
    cTarvelImage* pages[4];
};

// A vertex of a text quad: pre-transformed, coloured, one texture set.
struct sTextVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

// A laid-out text: two triangles a character, ready to draw.
class cTarvelText {
public:
    cTarvelText();
    ~cTarvelText();
    cTarvelText(const cTarvelText&) = delete;
    cTarvelText& operator=(const cTarvelText&) = delete;

    void SetColor(uint32_t color);
    // Moves the laid-out quads with the text.
    void SetPosition(int32_t x, int32_t y);

    uint8_t mHidden;
    uint8_t mTranslucent;
    uint8_t mLayer;
    int32_t mX;
    int32_t mY;
    int32_t mWidth;
    int32_t mHeight;
    int32_t mLineCount;
    int32_t mFont;
    int32_t mCharCount;
    // How many characters, from the first, are drawn: all after layout;
    // scripts lower it to type a text out.
    int32_t mVisibleCount;
    // Seconds left; kLifetimeForever is never counted down.
    float mLifetime;
    sTextVertex* mVertices;   // 6 a character, malloc'd
};

// The engine's five bitmap fonts and the live text objects drawn each frame.
class cTarvelFont {
public:
    static constexpr int kFontCount = 5;
    static constexpr uint32_t kPageLimit = 4;
    static constexpr uint32_t kGlyphRecordSize = 24;
    static constexpr float kLifetimeForever = 10000.0f;
    // Layout flags.
    static constexpr uint32_t kCentre = 0x1;
    static constexpr uint32_t kWrap = 0x10;

    cTarvelFont();
    ~cTarvelFont();
    cTarvelFont(const cTarvelFont&) = delete;
    cTarvelFont& operator=(const cTarvelFont&) = delete;

    // Loads "font1", "font2", "font-pda0", "font-pda1", "font-hand"; a
    // missing or malformed one stays empty.
    void LoadFonts();
    const sGlyph* FindGlyph(int font, WCHAR code);
    int32_t GetTextWidth(int font, const WCHAR* text);
    cTarvelText* CreateTextW(int font, const WCHAR* text, int32_t x, int32_t y, uint32_t color, uint32_t flags,
                             int32_t maxWidth);
    cTarvelText* CreateText(int font, const cTarvelString& text, int32_t x, int32_t y, uint32_t color,
                            uint32_t flags, int32_t maxWidth);
    void DeleteText(cTarvelText* text);
    void ClearTexts();
    void RenderTexts(int layer);
    void Release();

    // How many of the glyphs go on a line of budget pixels: up to the last
    // break after a space (with the punctuation that follows it), all when
    // they fit, and at least one so that wrapping always ends.
    static int32_t CountFittingGlyphs(const sGlyph* const* glyphs, int32_t count, float budget);

    static const char* const kFontNames[kFontCount];

    sFont mFonts[kFontCount];
    tArray<cTarvelText*> mTexts;
    // Allocates the glyph tables when set (tests make it fail); malloc
    // otherwise.
    void* (*mAllocHook)(size_t) = nullptr;

private:
    bool LoadFont(sFont& font, const char* name);
    void FreeFont(sFont& font);
};
