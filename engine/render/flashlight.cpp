#include "engine/render/flashlight.h"

#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "engine/world/mobile.h"
#include "engine/world/scene_mesh.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_flashlight";
constexpr int32_t kSceneryKind = 3;
constexpr int32_t kMobileKind = 4;
constexpr uint32_t kStride = 28;   // x, y, z, u, v, s, t
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_TEX2;

} // namespace

cTarvelFlashlight::cTarvelFlashlight()
    : mRebuild(true), mSpare(false), mSceneryBinding{}, mMobileBinding{}, mCone(nullptr), mSize{512, 512},
      mRange{0.0f, 1.0f}, mPosition(0.0f, 0.0f, 0.0f), mTarget(0.0f, 0.0f, 1.0f)
{
    D3DXMatrixIdentity(&mView);
    D3DXMatrixIdentity(&mProjection);
    D3DXMatrixIdentity(&mLight);
}

void cTarvelFlashlight::Init()
{
    mCone = new cTarvelImage(false);
    mCone->ReadFile("flashlight");
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("flashlight", "scenery", &mSceneryBinding, false);
    shaders.LoadShader("flashlight", "mobile", &mMobileBinding, false);
    mRebuild = true;
}

cTarvelFlashlight::~cTarvelFlashlight()
{
    for (int32_t i = 0; i < mSceneryReceivers.Count(); ++i)
        RemoveLightPasses(mSceneryReceivers[i]->passes, this);
    for (int32_t i = 0; i < mMobileReceivers.Count(); ++i)
        RemoveLightPasses(mMobileReceivers[i]->passes, this);
    delete mCone;
    mGeometry.Release();
    mSceneryReceivers.FreeData();
    mMobileReceivers.FreeData();
}

void cTarvelFlashlight::AddViewReceiver(sSceneMesh* entry, cTarvelImage* layer)
{
    if (!entry)
        return;
    AddReceiver(mSceneryReceivers, entry, sLightPass{kSceneryKind, this, layer, 0, 0, 0, 0});
    mRebuild = true;
}

void cTarvelFlashlight::AddMobileReceiver(cTarvelMobile* mobile)
{
    if (mobile) {
        for (int32_t i = 0; i < mobile->mMeshes.Count(); ++i) {
            sMobileMesh* mesh = mobile->mMeshes[i];
            AddReceiver(mMobileReceivers, mesh, sLightPass{kMobileKind, this, mesh->texture, 0, 0, 0, 0});
        }
    }
    mRebuild = true;
}

void cTarvelFlashlight::RemoveSceneryReceiver(void* target)
{
    RemoveReceiver(mSceneryReceivers, target);
}

void cTarvelFlashlight::RemoveMobileReceiver(void* target)
{
    RemoveReceiver(mMobileReceivers, target);
}

void cTarvelFlashlight::BuildRenderBuffer()
{
    int failLine = 0;
    if (!mGeometry.Build(mSceneryReceivers, this, kSceneryKind, kStride, kFvf,
                         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, &failLine)) {
        const bool index = failLine <= 1;
        gTarvel.FatalError(1, kSourceFile, index ? 137 : 140, "cTarvelFlashlight::BuildRenderBuffer",
                           index ? "Index buffer creation failed." : "Vertex buffer creation failed.",
                           uint32_t(D3DERR_OUTOFVIDEOMEMORY));
    }
    mRebuild = false;
}

void cTarvelFlashlight::UpdateMatrices()
{
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&mView, &mPosition, &mTarget, &up);
    D3DXMatrixPerspectiveFovLH(&mProjection, 0.5f, 1.0f, 0.1f, 100.0f);
    D3DXMatrixMultiply(&mLight, &mView, &mProjection);
    // A view change brings other receivers into the stage.
    if (mRebuild || mGeometry.Stale())
        BuildRenderBuffer();
    if (mGeometry.vertexBuffer && mGeometry.indexBuffer)
        mGeometry.Cull(mSceneryReceivers, mMobileReceivers, this, kSceneryKind, kMobileKind, mLight);
}

void cTarvelFlashlight::DrawSceneryPass(sLightPass* record, void* target)
{
    if (!record)
        return;
    if (mRebuild)
        UpdateMatrices();
    // The receiver's own texture is the layer its record names.
    (void)target;
    if (!mGeometry.vertexBuffer || !mGeometry.indexBuffer || record->indexCount <= 0 || !record->target)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.Use(&mSceneryBinding);
    shaders.SetTexture(nullptr, "ftex", mCone);
    shaders.SetTexture(nullptr, "dtex", static_cast<cTarvelImage*>(record->target));
    shaders.SetMatrix(nullptr, "lmat", &mLight);
    shaders.SetFloat3(nullptr, "lpos", mPosition.x, mPosition.y, mPosition.z);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    shaders.Begin();
    device->SetStreamSource(0, mGeometry.vertexBuffer, 0, kStride);
    device->SetFVF(kFvf);
    device->SetIndices(mGeometry.indexBuffer);
    while (shaders.NextPass())
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(mGeometry.vertexCount), UINT(record->firstIndex),
                                     UINT(record->indexCount / 3));
    shaders.End();
}

void cTarvelFlashlight::DrawMobilePass(sLightPass* record, void* target)
{
    if (!record)
        return;
    if (mRebuild)
        UpdateMatrices();
    auto* mesh = static_cast<sMobileMesh*>(target);
    if (!record->indexCount || !mesh || !mesh->mobile)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    shaders.Use(&mMobileBinding);
    if (mesh->texture)
        shaders.SetTexture(nullptr, "dtex", mesh->texture);
    else
        shaders.SetTexture(nullptr, "dtex", graphics.mBlackScreen);
    D3DXMATRIX world, lmat;
    mesh->mobile->GetNodeWorldMatrix(mesh->node, &world);
    D3DXMatrixMultiply(&lmat, &world, &mLight);
    shaders.SetMatrix(nullptr, "lmat", &lmat);
    shaders.SetFloat3(nullptr, "lpos", mPosition.x, mPosition.y, mPosition.z);
    shaders.SetTexture(nullptr, "ftex", mCone);
    cTarvelMobile* mobile = mesh->mobile;
    IDirect3DDevice9* device = graphics.mDevice;
    shaders.Begin();
    // Each record draws from the buffers of its own kind.
    device->SetStreamSource(0, mobile->GetVertexBuffer(*mesh), 0, cTarvelMobile::GetVertexStride(*mesh));
    device->SetFVF(cTarvelMobile::GetVertexFormat(*mesh));
    device->SetIndices(mobile->GetIndexBuffer(*mesh));
    while (shaders.NextPass())
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(mesh->firstVertex), UINT(mesh->vertexCount),
                                     UINT(mesh->firstIndex), UINT(mesh->indexCount / 3));
    shaders.End();
}
