#include "engine/gameplay/verb_bar.h"

cTarvelVerbBar::cTarvelVerbBar()
{
    mTypeId = kVerbBar;
    mMember = true;
}
cTarvelVerbBar::~cTarvelVerbBar() = default;

void cTarvelVerbBar::Release() {}
