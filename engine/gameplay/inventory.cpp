#include "engine/gameplay/inventory.h"

#include "engine/core/tarvel.h"

cTarvelInventory::cTarvelInventory() {}
cTarvelInventory::~cTarvelInventory() = default;

void cTarvelInventory::Render() {}

void cTarvelInventory::Release() {}

void cTarvelInventory::Save(cTarvelSavegame&) {} void cTarvelInventory::Load(cTarvelSavegame&) {}  // savegame stand-in

void cTarvelInventory::Show()
{
    gTarvel.mGameplay.mStateFlags ^= cTarvelGameplay::kInventoryPopUp;
    if (mBarState == kClosed || mBarState == kClosing) {
        mBarState = kOpening;
        mBarStart = gTarvel.mTimer.GetTimeMs();
    }
}

void cTarvelInventory::Hide()
{
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kInventoryPopUp;
    if (mBarState == kOpen || mBarState == kOpening) {
        mBarState = kClosing;
        mBarStart = gTarvel.mTimer.GetTimeMs();
    }
}

void cTarvelInventory::Enable()
{
    mEnabled = true;
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kInventoryPopUp;
    mBarState = kClosed;
}

void cTarvelInventory::UnselectItem()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gameplay.mItemInHand = "";
    gameplay.mMode = 0;
}
