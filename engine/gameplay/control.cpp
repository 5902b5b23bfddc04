#include "engine/gameplay/control.h"

cTarvelControl::cTarvelControl() = default;
cTarvelControl::~cTarvelControl() = default;
