#include "engine/render/shader_lib.h"

#include <cstdio>

cTarvelShaderLib::cTarvelShaderLib() {}
cTarvelShaderLib::~cTarvelShaderLib() = default;

int cTarvelShaderLib::Init()
{
    std::printf("Initializing shader library...\n");
    return mStandInResult;
}

void cTarvelShaderLib::Release() {}
