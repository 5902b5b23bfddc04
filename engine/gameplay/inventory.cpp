#include "engine/gameplay/inventory.h"

cTarvelInventory::cTarvelInventory() {}
cTarvelInventory::~cTarvelInventory() = default;

void cTarvelInventory::Render() {}

void cTarvelInventory::Release() {}
