#include "engine/resource/resource.h"

#include <cstdio>

cTarvelResource::cTarvelResource() = default;
cTarvelResource::~cTarvelResource() = default;

int cTarvelResource::Initialize()
{
    std::printf("Initializing resources...\n");
    return 0;
}

int cTarvelResource::CloseResource(int)
{
    return 0;
}
