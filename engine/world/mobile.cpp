#include "engine/world/mobile.h"

#include "engine/core/tarvel.h"

cTarvelMobile::cTarvelMobile() {}

cTarvelMobile::~cTarvelMobile()
{
    for (int32_t i = 0; i < mMeshes.Count(); ++i) {
        sMobileMesh* mesh = mMeshes[i];
        for (int32_t j = 0; j < mesh->passes.Count(); ++j)
            gTarvel.mGraphics.RemoveLightPass(&mesh->passes[j], mesh);
        delete mesh;
    }
    if (mVertexBuffer)
        mVertexBuffer->Release();
    if (mIndexBuffer)
        mIndexBuffer->Release();
}

void cTarvelMobile::Draw(const D3DXMATRIX*, int, const cTarvelShaderBinding*, int, int, int) {}

void cTarvelMobile::Render(const cTarvelShaderBinding*) {}

void cTarvelMobile::GetBoundingBox(D3DXVECTOR3 corners[8])
{
    for (int i = 0; i < 8; ++i)
        corners[i] = D3DXVECTOR3((i & 1) ? mBoxMax.x : mBoxMin.x, (i & 2) ? mBoxMax.y : mBoxMin.y,
                                 (i & 4) ? mBoxMax.z : mBoxMin.z);
}

void cTarvelMobile::RenderShadow()
{
    ++mShadowRenders;
}

void cTarvelMobile::GetNodeWorldMatrix(int32_t node, D3DXMATRIX* out)
{
    if (node >= 0 && node < mNodeMatrices.Count())
        *out = mNodeMatrices[node];
    else
        D3DXMatrixIdentity(out);
}
