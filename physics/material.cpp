#include "physics/material.h"

void phMaterialPair::TakeSurfaceFrom(const phMaterialPair& pair)
{
    userData = pair.userData;
    softness = pair.softness;
    elasticity = pair.elasticity;
    staticFriction[0] = pair.staticFriction[0];
    staticFriction[1] = pair.staticFriction[1];
    kineticFriction[0] = pair.kineticFriction[0];
    kineticFriction[1] = pair.kineticFriction[1];
    flags = (flags & ~0x3Fu) | (pair.flags & 0x7u);
}
