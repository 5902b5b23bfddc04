#pragma once

#include <cstdint>

#include "platform/d3dx9/d3dx9_math.h"

struct cTarvelShaderBinding;

// A mobile: a mesh with an animation-library actor instance. Until the world
// issue lands it loads nothing and draws nothing.
class cTarvelMobile {
public:
    cTarvelMobile();
    virtual ~cTarvelMobile();
    cTarvelMobile(const cTarvelMobile&) = delete;
    cTarvelMobile& operator=(const cTarvelMobile&) = delete;

    // Draws the mobile with a world matrix, through an extra binding when one
    // is given (render-item kind 2 and the depth-of-field pass).
    virtual void Draw(const D3DXMATRIX* world, int flag, const cTarvelShaderBinding* extra, int a, int b, int c);
    // Renders the meshes through a binding (the walk-arrow cursor).
    virtual void Render(const cTarvelShaderBinding* binding);

    // World position.
    D3DXVECTOR3 mPosition{};
};
