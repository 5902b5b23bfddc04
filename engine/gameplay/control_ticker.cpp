#include "engine/gameplay/control_ticker.h"

#include <algorithm>

#include "engine/core/tarvel.h"
#include "engine/render/font.h"

namespace {

constexpr float kCharactersPerSecond = 30.0f;
constexpr int32_t kLineDelay = 5;

// Other code may clear every text (a cinematic that starts does): a text no
// longer listed by the font service is gone and must not be touched.
bool Alive(const cTarvelText* text)
{
    if (!text)
        return false;
    for (const cTarvelText* live : gTarvel.mFonts.mTexts)
        if (live == text)
            return true;
    return false;
}

void SetVisible(cTarvelText* text, int32_t count)
{
    if (Alive(text))
        text->mVisibleCount = count;
}

}  // namespace

cTarvelControlTicker::cTarvelControlTicker(float holdTime)
    : cTarvelControl(kClassId), mPhaseStart(gTarvel.mTimer.mGameSeconds), mHoldTime(holdTime)
{
}

cTarvelControlTicker::~cTarvelControlTicker()
{
    for (sLine& line : mLines) {
        if (Alive(line.text))
            gTarvel.mFonts.DeleteText(line.text);
        if (Alive(line.shadow))
            gTarvel.mFonts.DeleteText(line.shadow);
    }
}

void cTarvelControlTicker::AddLine(const cTarvelString& text)
{
    const int32_t n = mLines.Count();
    const int32_t height = gTarvel.mGraphics.mHeight;
    cTarvelFont& fonts = gTarvel.mFonts;
    sLine line;
    line.shadow = fonts.CreateText(0, text, 41, height - 20 * n - 19, 0xFF000000u, 0, 0);
    line.text = fonts.CreateText(0, text, 40, height - 20 * (n + 1), 0xFFFFFFFFu, 0, 0);
    line.length = line.text ? line.text->mVisibleCount : 0;
    SetVisible(line.text, 0);
    SetVisible(line.shadow, 0);
    mMaxLength = std::max(mMaxLength, line.length);
    mLines.Add(line);
}

void cTarvelControlTicker::Update()
{
    const float now = gTarvel.mTimer.mGameSeconds;
    switch (mPhase) {
    case 0: {
        const float chars = (now - mPhaseStart) * kCharactersPerSecond;
        // Truncated toward zero; a hold of years still fits.
        const int32_t c = chars < 1e9f ? (chars > -1e9f ? int32_t(chars) : -1000000000) : 1000000000;
        int32_t i = 0;
        for (sLine& line : mLines) {
            int32_t visible = std::min(line.length, c - kLineDelay * i);
            if (visible < 0)
                visible = 0;
            SetVisible(line.text, visible);
            SetVisible(line.shadow, visible);
            ++i;
        }
        if (int64_t(c) - int64_t(kLineDelay) * mLines.Count() >= mMaxLength) {
            mPhase = 1;
            mPhaseStart = now;
        }
        break;
    }
    case 1:
        if (now > mPhaseStart + mHoldTime) {
            mPhaseStart = now;
            for (sLine& line : mLines)
                for (cTarvelText* text : {line.text, line.shadow})
                    if (Alive(text))
                        text->mTranslucent = 1;
            mPhase = 2;
        }
        break;
    default: {
        const float a = 1.0f - (now - mPhaseStart);
        if (a <= 0.0f) {
            mFinished = true;
            break;
        }
        const uint32_t alpha = uint32_t(int32_t(a * 255.0f)) << 24;
        for (sLine& line : mLines) {
            if (Alive(line.text))
                line.text->SetColor(alpha | 0xFFFFFFu);
            if (Alive(line.shadow))
                line.shadow->SetColor(alpha);
        }
        break;
    }
    }
}
