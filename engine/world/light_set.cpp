#include "engine/world/light_set.h"

cTarvelLightSet::cTarvelLightSet() = default;
cTarvelLightSet::~cTarvelLightSet() = default;

void cTarvelLightSet::Update() {}

void cTarvelLightSet::Reset() {}
