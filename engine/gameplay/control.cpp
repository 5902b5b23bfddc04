#include "engine/gameplay/control.h"

cTarvelControl::cTarvelControl() = default;
cTarvelControl::~cTarvelControl() = default;

void cTarvelControl::CollectRenderItems(tArray<sRenderItem>&, int) {}
