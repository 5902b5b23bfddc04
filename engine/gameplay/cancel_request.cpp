#include "engine/gameplay/cancel_request.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/font.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"

namespace {

constexpr float kLifetime = 3.0f;
constexpr int32_t kCentreX = 512;
constexpr int32_t kStageBottom = 640;

} // namespace

cTarvelCancelRequest::cTarvelCancelRequest()
{
    mTypeId = kCancelRequest;
    mExpiry = gTarvel.mTimer.GetSeconds() + kLifetime;
    cTarvelFont& fonts = gTarvel.mFonts;
    const int32_t y = kStageBottom - 25 - fonts.mFonts[0].lineHeight / 2;
    mText = fonts.CreateText(0, gTarvel.mGameplay.GetText("cinematic_cancel"), kCentreX, y, 0xFFFFFFFFu,
                             cTarvelFont::kCentre, 0);
}

cTarvelCancelRequest::~cTarvelCancelRequest()
{
    cTarvelCancelRequest::ReleaseResources();
}

bool cTarvelCancelRequest::Update()
{
    return false;
}

void cTarvelCancelRequest::Render()
{
    DrawShade(0.0f, 580.0f, 1024.0f, 44.0f);
    if (gTarvel.mTimer.GetSeconds() > mExpiry) {
        mDone = true;
        cTarvelCancelRequest::ReleaseResources();
    }
}

void cTarvelCancelRequest::ReleaseResources()
{
    cTarvelFont& fonts = gTarvel.mFonts;
    // Only while it is still live: clearing the scene's texts frees it too.
    for (cTarvelText* live : fonts.mTexts) {
        if (live == mText) {
            fonts.DeleteText(mText);
            break;
        }
    }
    mText = nullptr;
}
