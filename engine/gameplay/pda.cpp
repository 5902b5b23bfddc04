#include "engine/gameplay/pda.h"

cTarvelPDA::cTarvelPDA() {}
cTarvelPDA::~cTarvelPDA() = default;

void cTarvelPDA::Release() {}

void cTarvelPDA::Save(cTarvelSavegame&) {} void cTarvelPDA::Load(cTarvelSavegame&) {}  // savegame stand-in
