#include "engine/gameplay/bar.h"

#include <algorithm>
#include <memory>

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"

namespace {

// A bar fades in within 1/6 s and out within 1 s.
constexpr float kFadeInRate = 6.0f;

} // namespace

cTarvelBar::cTarvelBar()
{
    mMember = true;
}

cTarvelBar::~cTarvelBar()
{
    cTarvelBar::ReleaseResources();
}

void cTarvelBar::ReleaseResources()
{
    ClearEntries();
    for (cTarvelImage* icon : mIcons)
        delete icon;
    mIcons.Clear();
}

cTarvelString cTarvelBar::EntryText(int32_t index) const
{
    if (index < 0 || index >= mEntries.Count())
        return cTarvelString();
    return mEntries[index].label;
}

void cTarvelBar::FadeOut()
{
    mOpen = false;
    mState = kFadingOut;
    mStateTime = gTarvel.mTimer.mGameTime;
}

void cTarvelBar::BindEffects()
{
    // Missing techniques leave the icons undrawn rather than ending the game.
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("interface", "ui_vericon", &mHighlighted, false);
    shaders.LoadShader("interface", "ui_vericonbw", &mDimmed, false);
}

void cTarvelBar::ClearEntries()
{
    // Clear keeps the slots' strings; give them back now.
    for (sBarEntry& entry : mEntries)
        entry = sBarEntry();
    mEntries.Clear();
    mHovered = -1;
}

void cTarvelBar::AddEntry(const cTarvelString& iconName, sBarEntry entry)
{
    cTarvelImage* icon = nullptr;
    for (cTarvelImage* loaded : mIcons)
        if (loaded->mName == iconName) {
            icon = loaded;
            break;
        }
    if (!icon) {
        // Held until it loaded: a missing picture does not return.
        auto loaded = std::make_unique<cTarvelImage>(false);
        loaded->ReadFile(iconName);
        loaded->mName = iconName;
        loaded->mDepthOff = 1;
        icon = loaded.release();
        mIcons.Add(icon);
    }
    // Held until the bar takes input, which starts it.
    icon->Play(kImageHeld, 0);
    entry.icon = icon;
    mEntries.Add(entry);
    mLaidOut = false;
}

void cTarvelBar::Open(cTarvelScript* script, cTarvelScriptValue* object, const char* event)
{
    ClearEntries();
    if (script && gTarvel.IsScriptLive(script))
        script->CallEvent(object, event);
    if (mEntries.Count() == 0)
        return;
    // Shown again before its fade-out ended: it is still on the stack.
    bool stacked = false;
    for (cTarvelScreenControl* control : gScreenControls)
        stacked = stacked || control == this;
    if (!stacked)
        gScreenControls.Add(this);
    mOpen = true;
    mDone = false;
    mState = kFadingIn;
    mStateTime = gTarvel.mTimer.mGameTime;
}

bool cTarvelBar::Fade(float& intensity)
{
    const cTarvelTimer& timer = gTarvel.mTimer;
    intensity = 1.0f;
    if (mState == kFadingIn) {
        intensity = kFadeInRate * timer.SecondsSince(mStateTime, 1.0f);
        if (intensity > 1.0f)
            mState = kShown;
    } else if (mState == kFadingOut) {
        const float seconds = timer.SecondsSince(mStateTime, 1.0f);
        if (seconds > 1.0f) {
            mDone = true;
            return false;
        }
        intensity = 1.0f - seconds;
    }
    return true;
}

void cTarvelBar::DrawIcons(float intensity)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const float level = std::min(intensity, 1.0f);
    const int32_t filter = gTarvel.mGraphics.mExact1024 ? 1 : 2;
    for (int32_t i = 0; i < mEntries.Count(); ++i) {
        cTarvelImage* icon = mEntries[i].icon;
        if (!icon)
            continue;
        const bool lit = mState != kFadingOut && i == mHovered;
        const cTarvelShaderBinding* binding = lit ? &mHighlighted : &mDimmed;
        shaders.Use(binding);
        shaders.SetFloat2(binding, "intens", lit ? level : level * 0.5f, 0.0f);
        shaders.SetInt(binding, "filter", filter);
        icon->Draw(true, false);
    }
}

void cTarvelBar::StartIcons()
{
    for (sBarEntry& entry : mEntries)
        if (entry.icon && entry.icon->mPlayMode == kImageHeld)
            entry.icon->Play(kImageLoop, 0);
}

bool cTarvelBar::TakeLeftClick()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.TestButton(0, 1) || gameplay.TestButton(0, 2);
}

bool cTarvelBar::TakeRightClick()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.TestButton(1, 1) || gameplay.TestButton(1, 2);
}
