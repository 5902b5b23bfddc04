#include "engine/gameplay/verb_bar.h"

cTarvelVerbBar::cTarvelVerbBar() = default;
cTarvelVerbBar::~cTarvelVerbBar() = default;

void cTarvelVerbBar::Release() {}
