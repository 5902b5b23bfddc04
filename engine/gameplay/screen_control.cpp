#include "engine/gameplay/screen_control.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"

cTarvelScreenControl::cTarvelScreenControl() = default;
cTarvelScreenControl::~cTarvelScreenControl() = default;

bool cTarvelScreenControl::Update()
{
    return false;
}

void cTarvelScreenControl::RenderBack() {}

void cTarvelScreenControl::Render() {}

void cTarvelScreenControl::ReleaseResources() {}

bool cTarvelScreenControl::HandleEscape()
{
    return false;
}

void cTarvelScreenControl::DrawShade(float x, float y, float width, float height)
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    cTarvelImage* shade = graphics.mBlackScreen;
    if (!shade)
        return;
    if (width == 0.0f) {
        // The back buffer's size in logical units, so that the shade covers
        // the display at any resolution.
        width = float(graphics.mWidth) / graphics.mScaleX;
        height = float(graphics.mHeight) / graphics.mScaleY;
    }
    shade->SetRect(x, y, width, height);
    shade->SetAlpha(128);
    // The blended technique takes the half alpha; the frame sets the flag
    // back for its own opaque draws of this image.
    shade->mBlended = 1;
    // Set for this draw only: the frame's bars use the same image.
    const uint8_t alternate = shade->mAlternateTechnique;
    shade->mAlternateTechnique = 1;
    shade->Draw(false, true);
    shade->mAlternateTechnique = alternate;
}

bool cTarvelScreenControl::TakeClick()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.TestButton(0, 1) || gameplay.TestButton(1, 1) || gameplay.TestButton(0, 2) ||
           gameplay.TestButton(1, 2);
}

namespace {

// Releases and deletes a removed control unless the main object owns it.
void Dispose(cTarvelScreenControl* control)
{
    if (!control || control->mMember)
        return;
    control->ReleaseResources();
    delete control;
}

} // namespace

bool PopDoneScreenControl()
{
    tArray<cTarvelScreenControl*>& stack = gScreenControls;
    if (stack.Count() == 0)
        return false;
    const int32_t last = stack.Count() - 1;
    cTarvelScreenControl* top = stack.data[last];
    if (top && !top->mDone)
        return false;
    stack.RemoveAt(last);
    // A member gives up its resources too, until it is pushed again.
    if (top)
        top->ReleaseResources();
    if (top && !top->mMember)
        delete top;
    return true;
}

void ClearScreenControls()
{
    tArray<cTarvelScreenControl*>& stack = gScreenControls;
    // From the top down; the array is emptied first so a control's release
    // never sees itself on the stack.
    while (stack.Count() > 0) {
        const int32_t last = stack.Count() - 1;
        cTarvelScreenControl* control = stack.data[last];
        stack.RemoveAt(last);
        Dispose(control);
    }
}

bool RemoveSkipPrompt()
{
    tArray<cTarvelScreenControl*>& stack = gScreenControls;
    if (stack.Count() == 0)
        return false;
    const int32_t last = stack.Count() - 1;
    cTarvelScreenControl* top = stack.data[last];
    if (!top || top->mTypeId != cTarvelScreenControl::kCancelRequest)
        return false;
    stack.RemoveAt(last);
    Dispose(top);
    return true;
}
