#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/light_pass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelView;

// A scenery mesh of a view as shadows and the flashlight receive light on
// it. Until the world issue lands it is a plain record that its owner fills.
struct sSceneMesh {
    cTarvelView* view = nullptr;            // the view it belongs to
    IDirect3DTexture9* texture = nullptr;
    bool textureUsed = false;
    const D3DXVECTOR3* positions = nullptr;
    const D3DXVECTOR2* texCoords = nullptr;  // none: all 0
    int32_t vertexCount = 0;
    const uint16_t* indices = nullptr;
    int32_t indexCount = 0;
    tArray<sLightPass> passes;
};
