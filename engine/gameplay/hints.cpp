#include "engine/gameplay/hints.h"

cTarvelHints::cTarvelHints() : mState(0) {}
cTarvelHints::~cTarvelHints() = default;

void cTarvelHints::Show() {}

void cTarvelHints::Release() {}
