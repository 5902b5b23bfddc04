#include "engine/gameplay/screen_control.h"

cTarvelScreenControl::cTarvelScreenControl() : mKind(0) {}
cTarvelScreenControl::~cTarvelScreenControl() = default;

void cTarvelScreenControl::DrawFirst() {}

void cTarvelScreenControl::DrawSecond() {}

cTarvelString cTarvelScreenControl::EntryText(int32_t)
{
    return cTarvelString();
}

void cTarvelScreenControl::ReleaseResources() {}

bool cTarvelScreenControl::OnEscape()
{
    return false;
}
