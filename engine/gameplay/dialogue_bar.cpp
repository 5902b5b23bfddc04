#include "engine/gameplay/dialogue_bar.h"

#include <cstdlib>

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"

namespace {

constexpr int32_t kPointerCursor = 4;
// The band's alpha when the bar is fully shown.
constexpr int32_t kBandAlpha = 64;

} // namespace

cTarvelDialogueBar::cTarvelDialogueBar()
{
    mTypeId = kDialogueBar;
}

cTarvelDialogueBar::~cTarvelDialogueBar()
{
    delete mBackground;
}

void cTarvelDialogueBar::Init()
{
    BindEffects();
    delete mBackground;
    mBackground = new cTarvelImage(false);
    mBackground->ReadFile("blackscreen");
    mBackground->mDepthOff = 1;
    mBackground->mAlternateTechnique = 1;
    // The band is translucent: its alpha comes from the vertices.
    mBackground->mBlended = 1;
    mBackground->SetRect(0.0f, float(kTop), 1024.0f, 64.0f);
}

void cTarvelDialogueBar::Release()
{
    ReleaseResources();
    delete mBackground;
    mBackground = nullptr;
}

void cTarvelDialogueBar::Show(cTarvelScript* script, cTarvelScriptValue* object)
{
    Open(script, object, "OnDlgBar");
}

void cTarvelDialogueBar::AddLine(const cTarvelString& icon, const cTarvelString& label, const cTarvelString& function)
{
    sBarEntry entry;
    entry.function = function;
    entry.label = label;
    AddEntry(cTarvelString("dialogue-") + icon, entry);
}

void cTarvelDialogueBar::Layout()
{
    const int32_t count = mEntries.Count();
    for (int32_t i = 0; i < count; ++i) {
        sBarEntry& entry = mEntries[i];
        entry.x = (1024 - kSpacing * count) / 2 + kSpacing * i;
        entry.y = kTop;
        if (entry.icon)
            entry.icon->SetRect(float(entry.x), float(entry.y), -1.0f, -1.0f);
    }
    mLaidOut = true;
}

bool cTarvelDialogueBar::Update()
{
    if (!mOpen)
        return false;
    // A conversation is not left with the right button.
    TakeRightClick();
    // The hit test needs the places before the first frame is drawn.
    if (!mLaidOut)
        Layout();
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    mHovered = -1;
    for (int32_t i = 0; i < mEntries.Count(); ++i) {
        const sBarEntry& entry = mEntries[i];
        if (std::abs(gameplay.mMouseX - entry.x - kIconSize / 2) < kIconSize / 2 &&
            std::abs(gameplay.mMouseY - entry.y - kIconSize / 2) < kIconSize / 2) {
            mHovered = i;
            break;
        }
    }
    if (TakeLeftClick()) {
        if (mState == kShown) {
            if (mHovered >= 0) {
                // Closed before the call, so that a choice that opens the next
                // set of lines keeps them open.
                const cTarvelString function = mEntries[mHovered].function;
                FadeOut();
                cTarvelScript* script = gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
                if (script && gTarvel.IsScriptLive(script))
                    script->CallFunction(function.c_str(), nullptr);
            }
            return true;
        }
        gTarvel.mInventory.SelectItemAt();
    }
    StartIcons();
    gTarvel.mGraphics.mCursorKind = kPointerCursor;
    return true;
}

void cTarvelDialogueBar::Render()
{
    if (!mLaidOut)
        Layout();
    float intensity = 0.0f;
    if (!Fade(intensity))
        return;
    if (mBackground) {
        mBackground->SetAlpha(mState == kShown ? kBandAlpha : int32_t(intensity * float(kBandAlpha)));
        mBackground->Draw(false, true);
    }
    DrawIcons(intensity);
}
