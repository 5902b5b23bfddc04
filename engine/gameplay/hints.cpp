#include "engine/gameplay/hints.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/region_set.h"
#include "engine/render/image.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"

namespace {

constexpr float kFadeSeconds = 0.5f;
constexpr float kShownSeconds = 3.0f;
// Icons are centred on their point at their natural size of 32 × 32.
constexpr int32_t kIconHalf = 16;

} // namespace

cTarvelHints::cTarvelHints() : mState(0) {}

cTarvelHints::~cTarvelHints()
{
    Release();
}

void cTarvelHints::LoadIcons()
{
    static const char* const kNames[] = {"hint_exit", "hint_hand", "hint_speak", "hint_path"};
    mIcons.DeleteAll();
    for (const char* name : kNames) {
        auto* icon = new cTarvelImage(false);
        icon->ReadFile(name);
        icon->mAlternateTechnique = gTarvel.mEffects ? 0 : 1;
        mIcons.Add(icon);
    }
}

void cTarvelHints::Show()
{
    const float now = gTarvel.mTimer.mGameSeconds;
    if (mState == 3) {
        mState = 1;
        return;
    }
    if (mState != 0)
        return;
    mMarkers.Clear();
    cTarvelScene* scene = gTarvel.mScene;
    if (!scene) {
        mStart = now;
        return;
    }
    cTarvelView* view = scene->mView;
    for (const cTarvelRegionSet* set : scene->mHotspots) {
        if (!set || !set->mEnabled || set->mRecordCount == 0 || !view)
            continue;
        const int32_t icon = set->mLeaveRoom ? kIconExit : set->mIsPath ? kIconPath : kIconHand;
        for (uint32_t r = 0; r < set->mRecordCount; ++r)
            if (set->mRecords[r].view == view)
                mMarkers.Add({icon, view, set->mCentres[r].x, set->mCentres[r].y});
    }
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    for (cTarvelActor* actor : scene->mActors) {
        if (!actor || !actor->mVisible || !actor->mEnabled || !actor->mMobile)
            continue;
        D3DXVECTOR3 centre;
        D3DXVECTOR3 half;
        actor->mMobile->GetBoundsCenter(&centre);
        actor->mMobile->GetBoundsHalfSize(&half);
        centre.y += half.y / 1.5f;
        gTarvel.mCamera.Project(&centre);
        mMarkers.Add({kIconSpeak, view, int32_t(centre.x / graphics.mScaleX), int32_t(centre.y / graphics.mScaleY)});
    }
    mStart = now;
    if (mMarkers.Count() > 0)
        mState = 1;
}

void cTarvelHints::FadeOut()
{
    if (mState == 1) {
        mState = 3;
        mStart = gTarvel.mTimer.mGameSeconds;
    } else if (mState == 2) {
        mState = 3;
    }
}

void cTarvelHints::Draw()
{
    const float now = gTarvel.mTimer.mGameSeconds;
    const float elapsed = now - mStart;
    bool fading = false;
    float t = 0.0f;
    switch (mState) {
    case 1:
        if (elapsed <= kFadeSeconds) {
            fading = true;
            t = elapsed;
        } else {
            mState = 2;
            mStart = now;
        }
        break;
    case 2:
        if (elapsed > kShownSeconds) {
            mState = 3;
            mStart = now;
        }
        break;
    case 3:
        if (elapsed <= kFadeSeconds) {
            fading = true;
            t = kFadeSeconds - elapsed;
        } else {
            mState = 0;
            return;
        }
        break;
    default:
        return;
    }
    const cTarvelView* view = gTarvel.mScene ? gTarvel.mScene->mView : nullptr;
    if (!view || mIcons.Count() == 0)
        return;
    for (const sHintMarker& marker : mMarkers) {
        if (marker.view != view)
            continue;
        const int32_t last = mIcons.Count() - 1;
        cTarvelImage* icon = mIcons[marker.icon < 0 ? 0 : marker.icon > last ? last : marker.icon];
        icon->SetRect(float(marker.x - kIconHalf), float(marker.y - kIconHalf), -1.0f, -1.0f);
        if (fading) {
            // 1 at the start of a fade-in up to 255 at its end.
            icon->SetAlpha(1 - int32_t(double(t) * -509.0));
            icon->mHeader.alpha = 1;
        } else {
            icon->mHeader.alpha = 0;
        }
        icon->Draw(true, true);
    }
}

void cTarvelHints::Release()
{
    mIcons.DeleteAll();
    mMarkers.Clear();
}
