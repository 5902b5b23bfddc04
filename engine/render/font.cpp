#include "engine/render/font.h"

cTarvelFont::cTarvelFont() {}
cTarvelFont::~cTarvelFont() = default;

void cTarvelFont::Release() {}
