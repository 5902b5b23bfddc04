#include "engine/gameplay/screen_control.h"

cTarvelScreenControl::cTarvelScreenControl() : mKind(0) {}
cTarvelScreenControl::~cTarvelScreenControl() = default;

void cTarvelScreenControl::DrawFirst() {}

void cTarvelScreenControl::DrawSecond() {}

bool cTarvelScreenControl::OnEscape()
{
    return false;
}
