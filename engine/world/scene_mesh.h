#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/light_pass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelImage;
class cTarvelView;
struct sSceneMeshRecord;

// How one scene mesh is drawn in one view, as the view, the shadows and the
// flashlight see it.
struct sSceneMesh {
    cTarvelView* view = nullptr;            // the view it belongs to
    sSceneMeshRecord* mesh = nullptr;       // the scene's mesh
    IDirect3DTexture9* texture = nullptr;
    bool textureUsed = false;
    const D3DXVECTOR3* positions = nullptr;  // packed, from the scene mesh
    const D3DXVECTOR2* texCoords = nullptr;  // projected; none: all 0
    int32_t vertexCount = 0;
    const uint16_t* indices = nullptr;
    int32_t indexCount = 0;
    tArray<sLightPass> passes;               // drawn after the mesh
    int32_t renderMethod = 0;
    float depth = 0.0f;
    int shader = -1;                         // named binding, -1 none yet
    cTarvelImage* colorMap = nullptr;        // one of the view's images
    uint32_t firstVertex = 0;
    uint32_t firstIndex = 0;
};
