#include "engine/gameplay/dialogue_bar.h"

cTarvelDialogueBar::cTarvelDialogueBar()
{
    mTypeId = kDialogueBar;
    mMember = true;
}
cTarvelDialogueBar::~cTarvelDialogueBar() = default;

void cTarvelDialogueBar::Release() {}
