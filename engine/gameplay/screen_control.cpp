#include "engine/gameplay/screen_control.h"

#include "engine/core/tarvel.h"

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

cTarvelString cTarvelScreenControl::EntryText(int32_t)
{
    return cTarvelString();
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
