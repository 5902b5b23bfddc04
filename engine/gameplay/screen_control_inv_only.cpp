#include "engine/gameplay/screen_control_inv_only.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"

bool cTarvelScreenControlInvOnly::Update()
{
    // Below the stage the bar and the inventory get the input.
    if (gTarvel.mGameplay.mMouseY > 640)
        return false;
    gTarvel.mGraphics.mCursorKind = 0;
    return true;
}
