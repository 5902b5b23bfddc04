#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/light_pass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

struct cTarvelShaderBinding;
class cTarvelMobile;

// One mesh of a mobile: its ranges in the mobile's buffers, the node whose
// world matrix places it, its texture and the light passes drawn over it.
struct sMobileMesh {
    cTarvelMobile* mobile = nullptr;
    int32_t node = 0;
    int32_t firstVertex = 0;
    int32_t vertexCount = 0;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;
    IDirect3DTexture9* texture = nullptr;
    tArray<sLightPass> passes;
};

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

    // The eight corners of the bounding box in world space.
    virtual void GetBoundingBox(D3DXVECTOR3 corners[8]);
    // Draws the shadow geometry through the current shadow binding.
    virtual void RenderShadow();
    // A node's world matrix.
    virtual void GetNodeWorldMatrix(int32_t node, D3DXMATRIX* out);

    // World position.
    D3DXVECTOR3 mPosition{};
    bool mVisible = true;
    // Owned; the destructor takes their light passes out of the lights.
    tArray<sMobileMesh*> mMeshes;
    IDirect3DVertexBuffer9* mVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* mIndexBuffer = nullptr;
    uint32_t mVertexStride = 0;
    DWORD mVertexFormat = 0;
    // Stand-in only: the box the corners come from, the node matrices (a
    // missing node is the identity) and the shadow draws made.
    D3DXVECTOR3 mBoxMin{};
    D3DXVECTOR3 mBoxMax{};
    tArray<D3DXMATRIX> mNodeMatrices;
    int32_t mShadowRenders = 0;
};
