#include "engine/gameplay/menu.h"

#include "engine/core/tarvel.h"
#include "engine/script/script.h"

cTarvelMenu::cTarvelMenu() : mShown(false), mPageState(0), mSelectedItem(0) {}
cTarvelMenu::~cTarvelMenu() = default;

void cTarvelMenu::OnChar(int) {}

void cTarvelMenu::ClearSlotList()
{
    mShown = false;
}

void cTarvelMenu::SaveOptions() {}

void cTarvelMenu::DrawMain()
{
    mShown = true;
    mPageState = 0;
}

void cTarvelMenu::StartNewGame()
{
    gTarvel.mNewGameRequest = 0;
    if (gTarvel.mGameplay.mMainScript)
        gTarvel.mGameplay.mMainScript->CallFunction("Main::Start", nullptr);
}

void cTarvelMenu::LoadTextures() {}

void cTarvelMenu::Render() {}

void cTarvelMenu::Release() {}
