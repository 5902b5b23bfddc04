#include "engine/gameplay/pda.h"

cTarvelPDA::cTarvelPDA() {}
cTarvelPDA::~cTarvelPDA() = default;

void cTarvelPDA::Release() {}
