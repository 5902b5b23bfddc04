#include "engine/world/mobile.h"

cTarvelMobile::cTarvelMobile() {}
cTarvelMobile::~cTarvelMobile() = default;

void cTarvelMobile::Draw(const D3DXMATRIX*, int, const cTarvelShaderBinding*, int, int, int) {}

void cTarvelMobile::Render(const cTarvelShaderBinding*) {}
