#include "physics/glue/physics.h"

#include <cstdio>

cTarvelPhysics::cTarvelPhysics() = default;
cTarvelPhysics::~cTarvelPhysics() = default;

int cTarvelPhysics::Initialize()
{
    std::printf("Initializing physics...\n");
    return mStandInResult;
}
