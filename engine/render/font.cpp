#include "engine/render/font.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/speech.h"
#include "engine/render/image.h"

namespace {

constexpr int kVerticesPerChar = 6;

float FloatAt(const uint8_t* p)
{
    const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

bool IsTrailingPunctuation(uint16_t code)
{
    return code == '!' || code == '?' || code == '.' || code == ':' || code == ',';
}

int32_t SumAdvances(const sGlyph* const* glyphs, int32_t count)
{
    int32_t width = 0;
    for (int32_t i = 0; i < count; ++i)
        width += glyphs[i]->advance;
    return width;
}

} // namespace

const char* const cTarvelFont::kFontNames[kFontCount] = {"font1", "font2", "font-pda0", "font-pda1", "font-hand"};

// ---- Text objects ------------------------------------------------------------

cTarvelText::cTarvelText()
    : mHidden(0), mTranslucent(0), mLayer(0), mX(0), mY(0), mWidth(0), mHeight(0), mLineCount(1), mFont(0),
      mCharCount(0), mVisibleCount(0), mLifetime(cTarvelFont::kLifetimeForever), mVertices(nullptr)
{
}

cTarvelText::~cTarvelText()
{
    std::free(mVertices);
}

void cTarvelText::SetColor(uint32_t color)
{
    for (int32_t i = 0; i < mCharCount * kVerticesPerChar; ++i)
        mVertices[i].color = color;
}

void cTarvelText::SetPosition(int32_t x, int32_t y)
{
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const float dx = float(x - mX) * graphics.mScaleX;
    const float dy = float(y - mY) * graphics.mScaleY;
    for (int32_t i = 0; i < mCharCount * kVerticesPerChar; ++i) {
        mVertices[i].x += dx;
        mVertices[i].y += dy;
    }
    mX = x;
    mY = y;
}

// ---- Fonts -------------------------------------------------------------------

cTarvelFont::cTarvelFont() : mFonts{} {}

cTarvelFont::~cTarvelFont()
{
    Release();
}

void cTarvelFont::FreeFont(sFont& font)
{
    for (cTarvelImage*& page : font.pages) {
        delete page;
        page = nullptr;
    }
    std::free(font.glyphs);
    font = sFont{};
}

bool cTarvelFont::LoadFont(sFont& font, const char* name)
{
    cTarvelResource& resources = gTarvel.mResources;
    if (!resources.Exists(name, kResourceOther))
        return false;
    const int slot = resources.OpenResource(name, kResourceOther);
    if (slot == -1)
        return false;
    const uint32_t size = resources.GetSize(slot);
    uint8_t header[4];
    bool ok = size >= sizeof header;
    if (ok) {
        resources.Read(slot, header, sizeof header);
        font.glyphCount = int32_t(uint32_t(header[0]) | uint32_t(header[1]) << 8);
        font.pageCount = header[2];
        font.lineHeight = int8_t(header[3]);
        // More pages than the font has room for: treated as a missing font
        // rather than written past the page table.
        ok = uint32_t(font.pageCount) <= kPageLimit &&
             uint64_t(font.glyphCount) * kGlyphRecordSize <= uint64_t(size - sizeof header);
    }
    if (ok && font.glyphCount > 0) {
        const uint32_t bytes = uint32_t(font.glyphCount) * kGlyphRecordSize;
        uint8_t* block = resources.ReadBlock(slot, bytes);
        const size_t tableSize = sizeof(sGlyph) * size_t(font.glyphCount);
        font.glyphs = static_cast<sGlyph*>(mAllocHook ? mAllocHook(tableSize) : std::malloc(tableSize));
        // No room for the table: the font stays empty, as a missing one.
        ok = font.glyphs != nullptr;
        for (int32_t i = 0; ok && i < font.glyphCount; ++i) {
            const uint8_t* p = block + size_t(i) * kGlyphRecordSize;
            sGlyph& glyph = font.glyphs[i];
            glyph.code = uint16_t(p[0] | p[1] << 8);
            glyph.unused = p[2];
            glyph.height = int8_t(p[3]);
            glyph.width = int8_t(p[4]);
            glyph.bearing = int8_t(p[5]);
            glyph.rise = int8_t(p[6]);
            glyph.advance = int8_t(p[7]);
            glyph.left = FloatAt(p + 8);
            glyph.top = FloatAt(p + 12);
            glyph.right = FloatAt(p + 16);
            glyph.bottom = FloatAt(p + 20);
        }
        std::free(block);
    }
    if (ok) {
        for (int32_t page = 0; page < font.pageCount; ++page) {
            font.pages[page] = new cTarvelImage(false);
            if (font.pages[page]->ReadImageFile(slot) != 0) {
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        FreeFont(font);
        resources.CloseResource(slot);
        return false;
    }
    resources.CloseResource(slot);
    return true;
}

void cTarvelFont::LoadFonts()
{
    for (int i = 0; i < kFontCount; ++i) {
        FreeFont(mFonts[i]);
        LoadFont(mFonts[i], kFontNames[i]);
    }
}

const sGlyph* cTarvelFont::FindGlyph(int font, WCHAR code)
{
    if (font >= 0 && font < kFontCount) {
        const sFont& record = mFonts[font];
        for (int32_t i = 0; i < record.glyphCount; ++i)
            if (record.glyphs[i].code == code)
                return &record.glyphs[i];
    }
    std::printf("Warning! No glyph in Font %d for character 0x%.4x. Please report so we cann add it.\n", font,
                unsigned(code));
    return nullptr;
}

int32_t cTarvelFont::GetTextWidth(int font, const WCHAR* text)
{
    int32_t width = 0;
    if (!text)
        return 0;
    for (; *text; ++text) {
        if (*text < 32)
            continue;
        if (const sGlyph* glyph = FindGlyph(font, *text))
            width += glyph->advance;
    }
    return width;
}

int32_t cTarvelFont::CountFittingGlyphs(const sGlyph* const* glyphs, int32_t count, float budget)
{
    int32_t lastBreak = 0;
    int32_t fitted = 0;
    int32_t i = 0;
    while (i < count) {
        budget -= float(glyphs[i]->advance);
        if (budget < 1.0f)
            break;
        ++i;
        fitted = i;
        if (glyphs[i - 1]->code != ' ')
            continue;
        // A line never starts with the punctuation that follows a space:
        // the space and that punctuation are one unit.
        const int32_t space = i - 1;
        while (i < count && IsTrailingPunctuation(glyphs[i]->code)) {
            budget -= float(glyphs[i]->advance);
            if (budget < 1.0f)
                break;
            ++i;
        }
        if (budget < 1.0f) {
            fitted = space;
            break;
        }
        fitted = i;
        lastBreak = i;
    }
    if (i == count && budget >= 1.0f)
        return count;
    if (lastBreak > 0)
        return lastBreak;
    // No break point on the line: cut where the glyphs stop fitting, after
    // at least one, so that wrapping always ends.
    return fitted > 0 ? fitted : 1;
}

cTarvelText* cTarvelFont::CreateTextW(int font, const WCHAR* text, int32_t x, int32_t y, uint32_t color,
                                      uint32_t flags, int32_t maxWidth)
{
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (maxWidth == 0)
        maxWidth = int32_t(0.7 * double(graphics.mWidth));
    const bool validFont = font >= 0 && font < kFontCount;

    tArray<const sGlyph*> glyphs;
    if (text && validFont && mFonts[font].glyphCount > 0) {
        for (const WCHAR* c = text; *c >= 32; ++c) {
            const sGlyph* glyph = FindGlyph(font, *c);
            if (!glyph)
                break;
            glyphs.Add(glyph);
        }
    }
    const int32_t count = glyphs.Count();
    const sGlyph* const* list = glyphs.Data();

    auto* object = new cTarvelText();
    object->mTranslucent = (color >> 24) != 0xFF;
    object->mFont = validFont ? font : 0;
    object->mCharCount = count;
    object->mVisibleCount = count;
    object->mHeight = validFont ? mFonts[font].lineHeight : 0;
    object->mWidth = SumAdvances(list, count);
    object->mX = (flags & kCentre) ? x - object->mWidth / 2 : x;
    object->mY = y;
    if (count > 0)
        object->mVertices =
            static_cast<sTextVertex*>(std::calloc(size_t(count) * kVerticesPerChar, sizeof(sTextVertex)));

    const uint32_t topShade = color & 0xFFF0F0F0u;
    const uint32_t bottomShade = color | 0x000F0F0Fu;
    const int32_t lineHeight = object->mHeight;
    int32_t position = 0;
    int32_t line = 0;
    while (position < count) {
        int32_t lineCount = count - position;
        if (flags & kWrap)
            lineCount = CountFittingGlyphs(list + position, lineCount, float(maxWidth));
        int32_t penX = object->mX;
        if ((flags & kWrap) && (flags & kCentre))
            penX = x - SumAdvances(list + position, lineCount) / 2;
        const int32_t penY = y + line * lineHeight;
        for (int32_t i = position; i < position + lineCount; ++i) {
            const sGlyph& glyph = *list[i];
            const float left = float(penX + glyph.bearing) * graphics.mScaleX;
            const float right = float(penX + glyph.bearing + glyph.width) * graphics.mScaleX;
            const float top = float(penY - glyph.rise) * graphics.mScaleY;
            const float bottom = float(penY - glyph.rise + glyph.height) * graphics.mScaleY;
            const sTextVertex tl{left, top, 0.0f, 1.0f, topShade, glyph.left, glyph.top};
            const sTextVertex tr{right, top, 0.0f, 1.0f, topShade, glyph.right, glyph.top};
            const sTextVertex bl{left, bottom, 0.0f, 1.0f, bottomShade, glyph.left, glyph.bottom};
            const sTextVertex br{right, bottom, 0.0f, 1.0f, bottomShade, glyph.right, glyph.bottom};
            sTextVertex* quad = object->mVertices + size_t(i) * kVerticesPerChar;
            quad[0] = tl;
            quad[1] = tr;
            quad[2] = bl;
            quad[3] = bl;
            quad[4] = tr;
            quad[5] = br;
            penX += glyph.advance;
        }
        position += lineCount;
        if (position < count) {
            ++line;
            ++object->mLineCount;
            object->mHeight += lineHeight;
        }
    }
    mTexts.Add(object);
    return object;
}

cTarvelText* cTarvelFont::CreateText(int font, const cTarvelString& text, int32_t x, int32_t y, uint32_t color,
                                     uint32_t flags, int32_t maxWidth)
{
    WCHAR* wide = text.ToWideFromUtf8();
    cTarvelText* object = CreateTextW(font, wide, x, y, color, flags, maxWidth);
    std::free(wide);
    return object;
}

void cTarvelFont::DeleteText(cTarvelText* text)
{
    if (!text)
        return;
    for (int32_t i = 0; i < mTexts.Count(); ++i) {
        if (mTexts.data[i] == text) {
            mTexts.RemoveAt(i);
            break;
        }
    }
    delete text;
}

void cTarvelFont::ClearTexts()
{
    // The speech subtitle goes with the others; its holder must not keep it.
    gTarvel.mSpeech.ForgetTextLine();
    mTexts.DeleteAll();
}

void cTarvelFont::RenderTexts(int layer)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    IDirect3DDevice9* device = graphics.mDevice;
    if (!device)
        return;
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    const float frameSeconds = gTarvel.mTimer.mFrameSeconds;
    for (int32_t i = 0; i < mTexts.Count();) {
        cTarvelText* text = mTexts.data[i];
        // A count set outside the laid-out characters is held to them.
        const int32_t visible = std::clamp(text->mVisibleCount, 0, text->mCharCount);
        if (text->mHidden || text->mLayer != layer || visible == 0) {
            ++i;
            continue;
        }
        shaders.UseNamed(text->mTranslucent ? 5 : 4);
        shaders.SetTexture(nullptr, "tex", mFonts[text->mFont].pages[0]);
        shaders.SetInt(nullptr, "filter", graphics.mExact1024 ? 1 : 2);
        shaders.Begin();
        while (shaders.NextPass())
            device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(visible * 2), text->mVertices,
                                    sizeof(sTextVertex));
        shaders.End();
        // A text left at the default lifetime lives until it is deleted.
        if (text->mLifetime != kLifetimeForever) {
            text->mLifetime -= frameSeconds;
            if (text->mLifetime <= 0.0f) {
                mTexts.RemoveAt(i);
                delete text;
                continue;
            }
        }
        ++i;
    }
}

void cTarvelFont::Release()
{
    for (sFont& font : mFonts)
        FreeFont(font);
    ClearTexts();
}
