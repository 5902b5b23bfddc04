#include "engine/gameplay/dialogue_bar.h"

cTarvelDialogueBar::cTarvelDialogueBar() {}
cTarvelDialogueBar::~cTarvelDialogueBar() = default;

void cTarvelDialogueBar::Release() {}
