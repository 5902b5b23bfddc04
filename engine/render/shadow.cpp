#include "engine/render/shadow.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/scene_mesh.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_shadow";
constexpr int32_t kSceneryKind = 1;
constexpr int32_t kMobileKind = 2;
constexpr uint32_t kStride = 20;   // x, y, z, u, v
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_TEX1;

// Named bindings of the shader library.
constexpr int kCastBinding = 31;
constexpr int kSceneryBinding = 32;
constexpr int kSceneryNoTextureBinding = 33;
constexpr int kMobileBinding = 34;
constexpr int kMobileNoTextureBinding = 35;

// A render-target texture, and without render-target use when the device
// refuses that; null when both fail.
IDirect3DTexture9* CreateTarget(HRESULT* result)
{
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    IDirect3DTexture9* texture = nullptr;
    *result = D3DXCreateTexture(device, cTarvelShadow::kSize, cTarvelShadow::kSize, 1, D3DUSAGE_RENDERTARGET,
                                D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture);
    if (FAILED(*result)) {
        texture = nullptr;
        *result = D3DXCreateTexture(device, cTarvelShadow::kSize, cTarvelShadow::kSize, 1, 0, D3DFMT_A8R8G8B8,
                                    D3DPOOL_DEFAULT, &texture);
        if (FAILED(*result))
            texture = nullptr;
    }
    return texture;
}

} // namespace

// ---- Receiver geometry, shared with the flashlight ---------------------------

uint8_t ReceiverOutcode(const D3DXVECTOR4& projected)
{
    // At w = 0 the point is in the light's own plane: as good as behind it.
    if (projected.w <= 0.0f)
        return 0x80;
    const float x = projected.x / projected.w;
    const float y = projected.y / projected.w;
    uint8_t code = x < -1.0f ? 0 : (x <= 1.0f ? 1 : 2);
    if (y > 1.0f)
        code |= 0x20;
    else if (y > -1.0f)
        code |= 0x10;
    return code;
}

bool ReceiverTriangleInside(uint8_t a, uint8_t b, uint8_t c)
{
    if ((a | b | c) & 0x80)
        return false;
    const int columns = (a & 3) + (b & 3) + (c & 3);
    const int rows = (a & 0x30) + (b & 0x30) + (c & 0x30);
    return columns != 0 && columns != 6 && rows != 0 && rows != 0x60;
}

bool ReceiverBoxVisible(const D3DXVECTOR3 corners[8], const D3DXMATRIX& viewProj)
{
    bool allLeft = true, allRight = true, allBelow = true, allAbove = true;
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR4 p;
        D3DXVec3Transform(&p, &corners[i], &viewProj);
        if (p.w <= 0.0f || p.z / p.w < 0.0f)
            return false;
        const float x = p.x / p.w;
        const float y = p.y / p.w;
        allLeft = allLeft && x < -1.0f;
        allRight = allRight && x > 1.0f;
        allBelow = allBelow && y < -1.0f;
        allAbove = allAbove && y > 1.0f;
    }
    return !(allLeft || allRight || allBelow || allAbove);
}

bool InCurrentStage(const sSceneMesh* mesh)
{
    const cTarvelScene* scene = gTarvel.mScene;
    return mesh && scene && mesh->view && (mesh->view == scene->mView || mesh->view == scene->mSecondView);
}

sLightPass* FindLightPass(tArray<sLightPass>& passes, const void* owner, int32_t kind)
{
    for (int32_t i = 0; i < passes.Count(); ++i)
        if (passes.data[i].object == owner && passes.data[i].kind == kind)
            return &passes.data[i];
    return nullptr;
}

void RemoveLightPasses(tArray<sLightPass>& passes, const void* owner)
{
    for (int32_t i = passes.Count() - 1; i >= 0; --i)
        if (passes.data[i].object == owner)
            passes.RemoveAt(i);
}

void sReceiverGeometry::Release()
{
    if (vertexBuffer)
        vertexBuffer->Release();
    if (indexBuffer)
        indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;
    vertexCount = 0;
    indexCount = 0;
    std::free(projected);
    std::free(outcodes);
    projected = nullptr;
    outcodes = nullptr;
}

namespace {

// A receiver whose counts and data can be used as they are.
bool Usable(const sSceneMesh* mesh)
{
    return mesh->vertexCount >= 0 && mesh->indexCount >= 0 && (mesh->vertexCount == 0 || mesh->positions) &&
           (mesh->indexCount == 0 || mesh->indices);
}

} // namespace

bool sReceiverGeometry::Stale() const
{
    const cTarvelScene* scene = gTarvel.mScene;
    const void* views[2] = {scene ? scene->mView : nullptr, scene ? scene->mSecondView : nullptr};
    return views[0] != builtViews[0] || views[1] != builtViews[1];
}

bool sReceiverGeometry::Build(tArray<sSceneMesh*>& receivers, const void* owner, int32_t kind, uint32_t stride,
                              DWORD fvf, DWORD vertexUsage, int* failLine)
{
    Release();
    const cTarvelScene* scene = gTarvel.mScene;
    builtViews[0] = scene ? scene->mView : nullptr;
    builtViews[1] = scene ? scene->mSecondView : nullptr;
    int64_t vertices = 0;
    int64_t indices = 0;
    for (int32_t i = 0; i < receivers.Count(); ++i) {
        sSceneMesh* mesh = receivers[i];
        if (sLightPass* record = FindLightPass(mesh->passes, owner, kind)) {
            record->firstVertex = 0;
            record->vertexCount = 0;
            record->firstIndex = 0;
            record->indexCount = 0;
        }
        if (InCurrentStage(mesh) && Usable(mesh)) {
            vertices += mesh->vertexCount;
            indices += mesh->indexCount;
        }
    }
    if (vertices == 0 || indices == 0)
        return true;
    if (vertices > std::numeric_limits<int32_t>::max() / int64_t(stride) ||
        indices > std::numeric_limits<int32_t>::max() / 4) {
        *failLine = 0;
        return false;
    }
    // Past 65,535 vertices 16-bit indices would wrap onto the wrong ones.
    index32 = vertices > 0xFFFF;
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    if (FAILED(device->CreateIndexBuffer(UINT(indices) * (index32 ? 4u : 2u), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                         index32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_SYSTEMMEM, &indexBuffer,
                                         nullptr))) {
        indexBuffer = nullptr;
        *failLine = 1;
        return false;
    }
    if (FAILED(device->CreateVertexBuffer(UINT(vertices) * stride, vertexUsage, fvf, D3DPOOL_SYSTEMMEM,
                                          &vertexBuffer, nullptr))) {
        vertexBuffer = nullptr;
        *failLine = 2;
        return false;
    }
    vertexCount = int32_t(vertices);
    indexCount = int32_t(indices);
    projected = static_cast<D3DXVECTOR4*>(std::calloc(size_t(vertices), sizeof(D3DXVECTOR4)));
    outcodes = static_cast<uint8_t*>(std::calloc(size_t(vertices), 1));
    if (!projected || !outcodes)
        ArrayAllocError(vertexCount);

    void* data = nullptr;
    if (FAILED(vertexBuffer->Lock(0, 0, &data, 0)))
        return true;
    auto* out = static_cast<uint8_t*>(data);
    // After x, y, z: one or two pairs of texture coordinates.
    const int sets = stride >= 28 ? 2 : 1;
    int32_t firstVertex = 0;
    int32_t firstIndex = 0;
    for (int32_t i = 0; i < receivers.Count(); ++i) {
        sSceneMesh* mesh = receivers[i];
        sLightPass* record = FindLightPass(mesh->passes, owner, kind);
        if (!record || !InCurrentStage(mesh) || !Usable(mesh))
            continue;
        record->firstVertex = firstVertex;
        record->vertexCount = mesh->vertexCount;
        record->firstIndex = firstIndex;
        for (int32_t v = 0; v < mesh->vertexCount; ++v) {
            float vertex[7] = {mesh->positions[v].x, mesh->positions[v].y, mesh->positions[v].z};
            const D3DXVECTOR2 uv = mesh->texCoords ? mesh->texCoords[v] : D3DXVECTOR2(0.0f, 0.0f);
            for (int set = 0; set < sets; ++set) {
                vertex[3 + 2 * set] = uv.x;
                vertex[4 + 2 * set] = uv.y;
            }
            std::memcpy(out + size_t(firstVertex + v) * stride, vertex, stride);
        }
        firstVertex += mesh->vertexCount;
        firstIndex += mesh->indexCount;
    }
    vertexBuffer->Unlock();
    return true;
}

void sReceiverGeometry::Cull(tArray<sSceneMesh*>& scenery, tArray<sMobileMesh*>& mobiles, const void* owner,
                             int32_t sceneryKind, int32_t mobileKind, const D3DXMATRIX& viewProj)
{
    void* data = nullptr;
    if (indexBuffer && FAILED(indexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)))
        data = nullptr;
    for (int32_t i = 0; i < scenery.Count(); ++i) {
        sSceneMesh* mesh = scenery[i];
        sLightPass* record = FindLightPass(mesh->passes, owner, sceneryKind);
        if (!record)
            continue;
        // Only what was gathered at the last build, and only as it was then.
        const bool built = data && InCurrentStage(mesh) && Usable(mesh) && record->vertexCount == mesh->vertexCount &&
                           record->firstVertex >= 0 && record->firstIndex >= 0 &&
                           int64_t(record->firstVertex) + mesh->vertexCount <= vertexCount &&
                           int64_t(record->firstIndex) + mesh->indexCount <= indexCount;
        record->indexCount = 0;
        if (!built)
            continue;
        for (int32_t v = 0; v < mesh->vertexCount; ++v) {
            D3DXVECTOR4& p = projected[record->firstVertex + v];
            D3DXVec3Transform(&p, &mesh->positions[v], &viewProj);
            outcodes[record->firstVertex + v] = ReceiverOutcode(p);
        }
        const uint8_t* codes = outcodes + record->firstVertex;
        int32_t written = 0;
        for (int32_t t = 0; t + 2 < mesh->indexCount; t += 3) {
            const uint32_t a = mesh->indices[t], b = mesh->indices[t + 1], c = mesh->indices[t + 2];
            if (a >= uint32_t(mesh->vertexCount) || b >= uint32_t(mesh->vertexCount) ||
                c >= uint32_t(mesh->vertexCount) || !ReceiverTriangleInside(codes[a], codes[b], codes[c]))
                continue;
            const uint32_t at = uint32_t(record->firstIndex + written);
            const uint32_t base = uint32_t(record->firstVertex);
            if (index32) {
                uint32_t* out = static_cast<uint32_t*>(data) + at;
                out[0] = base + a;
                out[1] = base + b;
                out[2] = base + c;
            } else {
                uint16_t* out = static_cast<uint16_t*>(data) + at;
                out[0] = uint16_t(base + a);
                out[1] = uint16_t(base + b);
                out[2] = uint16_t(base + c);
            }
            written += 3;
        }
        record->indexCount = written;
    }
    if (data)
        indexBuffer->Unlock();

    for (int32_t i = 0; i < mobiles.Count(); ++i) {
        sMobileMesh* mesh = mobiles[i];
        sLightPass* record = FindLightPass(mesh->passes, owner, mobileKind);
        if (!record || !mesh->mobile)
            continue;
        D3DXVECTOR3 corners[8];
        mesh->mobile->GetBoundingBox(corners);
        record->indexCount = ReceiverBoxVisible(corners, viewProj) ? 1 : 0;
    }
}

// ---- The shadow ------------------------------------------------------------

cTarvelShadow::cTarvelShadow(cTarvelLight* light, cTarvelMobile* caster, int32_t extra)
    : mRebuild(true), mSpare(false), mViewport{0, 0, kSize, kSize, 0.0f, 1.0f}, mExtents{},
      mCasterIntensity(0.0f), mLight(light), mCaster(caster), mExtra(extra), mTexture(nullptr), mSurface(nullptr)
{
    D3DXMatrixIdentity(&mLightView);
    D3DXMatrixIdentity(&mLightProjection);
    D3DXMatrixIdentity(&mLightViewProjection);
}

cTarvelShadow::~cTarvelShadow()
{
    for (int32_t i = 0; i < mSceneryReceivers.Count(); ++i)
        RemoveLightPasses(mSceneryReceivers[i]->passes, this);
    for (int32_t i = 0; i < mMobileReceivers.Count(); ++i)
        RemoveLightPasses(mMobileReceivers[i]->passes, this);
    ReleaseRenderTargets();
    mGeometry.Release();
    mSceneryReceivers.FreeData();
    mMobileReceivers.FreeData();
}

void cTarvelShadow::ReleaseRenderTargets()
{
    if (mSurface)
        mSurface->Release();
    if (mTexture)
        mTexture->Release();
    mSurface = nullptr;
    mTexture = nullptr;
    mRebuild = true;
}

void cTarvelShadow::AddSceneryCaster(sSceneMesh* mesh)
{
    if (!mesh)
        return;
    AddReceiver(mSceneryReceivers, mesh, sLightPass{kSceneryKind, this, mesh->texture, 0, 0, 0, 0});
    mRebuild = true;
}

void cTarvelShadow::AddMobileCaster(cTarvelMobile* mobile)
{
    if (!mobile)
        return;
    for (int32_t i = 0; i < mobile->mMeshes.Count(); ++i) {
        sMobileMesh* mesh = mobile->mMeshes[i];
        AddReceiver(mMobileReceivers, mesh, sLightPass{kMobileKind, this, mesh->texture, 0, 0, 0, 0});
    }
    mRebuild = true;
}

void cTarvelShadow::RemoveSceneryReceiver(void* target)
{
    RemoveReceiver(mSceneryReceivers, target);
}

void cTarvelShadow::RemoveMobileReceiver(void* target)
{
    RemoveReceiver(mMobileReceivers, target);
}

void cTarvelShadow::CreateRenderTargets()
{
    if (!mLight)
        return;
    cTarvelLightSet& lights = gTarvel.mLights;
    HRESULT result = D3D_OK;
    if (!mTexture) {
        mTexture = CreateTarget(&result);
        if (!mTexture)
            gTarvel.FatalError(1, kSourceFile, 117, "cTarvelShadow::cTarvelShadow",
                               "Render target buffer creation failed.", uint32_t(result));
        mTexture->GetSurfaceLevel(0, &mSurface);
    }
    if (lights.mShadowFilter && !lights.mTempTexture) {
        lights.mTempTexture = CreateTarget(&result);
        if (!lights.mTempTexture)
            gTarvel.FatalError(1, kSourceFile, 128, "cTarvelShadow::cTarvelShadow",
                               "Temporary render target buffer creation failed.", uint32_t(result));
        lights.mTempTexture->GetSurfaceLevel(0, &lights.mTempSurface);
    }

    // The light looks down its own axis from its own position.
    D3DXMATRIX rotation, translation, pose;
    D3DXMatrixRotationQuaternion(&rotation, &mLight->mRotation);
    D3DXMatrixTranslation(&translation, mLight->mPosition.x, mLight->mPosition.y, mLight->mPosition.z);
    D3DXMatrixMultiply(&pose, &rotation, &translation);
    D3DXMatrixInverse(&mLightView, nullptr, &pose);
    if (mLight->mKind == cTarvelLight::kNoFalloff)
        D3DXMatrixOrthoOffCenterLH(&mLightProjection, -100.0f, 100.0f, -100.0f, 100.0f, 1.0f, 30000.0f);

    int failLine = 0;
    if (!mGeometry.Build(mSceneryReceivers, this, kSceneryKind, kStride, kFvf, D3DUSAGE_WRITEONLY, &failLine)) {
        const bool index = failLine <= 1;
        gTarvel.FatalError(1, kSourceFile, index ? 168 : 171, "cTarvelShadow::CreateRenderTargets",
                           index ? "Index buffer creation failed." : "Vertex buffer creation failed.",
                           uint32_t(D3DERR_OUTOFVIDEOMEMORY));
    }
    mRebuild = false;
}

void cTarvelShadow::Update()
{
    // A view change brings other receivers into the stage.
    if (mRebuild || mGeometry.Stale())
        CreateRenderTargets();
    RenderShadowMap();
}

void cTarvelShadow::RenderShadowMap()
{
    if (!mLight || !mSurface || (mCaster && !mCaster->mVisible))
        return;
    bool any = false;
    for (int32_t i = 0; i < mSceneryReceivers.Count() && !any; ++i)
        any = InCurrentStage(mSceneryReceivers[i]);
    if (!any)
        return;

    cTarvelGraphics& graphics = gTarvel.mGraphics;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    cTarvelLightSet& lights = gTarvel.mLights;
    IDirect3DDevice9* device = graphics.mDevice;
    const bool filter = lights.mShadowFilter && lights.mTempSurface;
    device->SetRenderTarget(0, filter ? lights.mTempSurface : mSurface);
    device->SetDepthStencilSurface(nullptr);
    device->SetViewport(&mViewport);
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);

    if (mCaster) {
        D3DXVECTOR3 corners[8];
        mCaster->GetBoundingBox(corners);
        if (mLight->mKind == cTarvelLight::kPoint) {
            D3DXVECTOR3 centre(0.0f, 0.0f, 0.0f);
            for (const D3DXVECTOR3& corner : corners)
                centre += corner * 0.125f;
            const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
            D3DXMatrixLookAtLH(&mLightView, &mLight->mPosition, &centre, &up);
        }
        D3DXVECTOR3 low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
        for (const D3DXVECTOR3& corner : corners) {
            D3DXVECTOR3 p;
            D3DXVec3TransformCoord(&p, &corner, &mLightView);
            low = D3DXVECTOR3(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
            high = D3DXVECTOR3(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
        }
        if (mLight->mKind == cTarvelLight::kPoint) {
            mExtents[0] = low.x - 10.0f;
            mExtents[1] = high.x + 10.0f;
            mExtents[2] = low.y - 10.0f;
            mExtents[3] = high.y + 10.0f;
            // A light inside the box has no plane in front of it to project on.
            mExtents[4] = low.z > 1.0f ? low.z : 1.0f;
            mExtents[5] = 30000.0f;
            D3DXMatrixPerspectiveOffCenterLH(&mLightProjection, mExtents[0], mExtents[1], mExtents[2], mExtents[3],
                                             mExtents[4], mExtents[5]);
        } else {
            mExtents[0] = low.x - 1.0f;
            mExtents[1] = high.x + 1.0f;
            mExtents[2] = low.y - 1.0f;
            mExtents[3] = high.y + 1.0f;
            mExtents[4] = 1.0f;
            mExtents[5] = 20000.0f;
            D3DXMatrixOrthoOffCenterLH(&mLightProjection, mExtents[0], mExtents[1], mExtents[2], mExtents[3],
                                       mExtents[4], mExtents[5]);
        }
    } else if (mLight->mKind == cTarvelLight::kNoFalloff) {
        D3DXMatrixOrthoLH(&mLightProjection, 500.0f, 250.0f, 1.0f, 10000.0f);
    }
    D3DXMatrixMultiply(&mLightViewProjection, &mLightView, &mLightProjection);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    shaders.SetTransforms(&mLightView, &mLightProjection, &identity);

    if (mCaster) {
        shaders.UseNamed(kCastBinding);
        shaders.SetTexture(nullptr, "tex", graphics.mWhiteScreen);
        shaders.SetFloat(nullptr, "strength", lights.mShadowFilter ? 0.125f : 1.0f);
        mCaster->RenderShadow();
        mCasterIntensity =
            mLight->GetIntensityAt(mCaster->mPosition.x, mCaster->mPosition.y, mCaster->mPosition.z, true);
    }
    device->EndScene();

    if (filter) {
        device->SetRenderTarget(0, mSurface);
        device->SetViewport(&mViewport);
        device->BeginScene();
        shaders.Use(&lights.mBlurBinding);
        shaders.SetFloat2(nullptr, "screensize", float(kSize), float(kSize));
        graphics.DrawFullScreenQuad(lights.mTempTexture);
        device->EndScene();
    }

    mGeometry.Cull(mSceneryReceivers, mMobileReceivers, this, kSceneryKind, kMobileKind, mLightViewProjection);
}

void cTarvelShadow::DrawSceneryPass(sLightPass* record, void* target)
{
    if (!record || (mCaster && !mCaster->mVisible))
        return;
    if (mRebuild) {
        CreateRenderTargets();
        RenderShadowMap();
    }
    if (!mGeometry.vertexBuffer || !mGeometry.indexBuffer || record->indexCount <= 0)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const auto* mesh = static_cast<const sSceneMesh*>(target);
    if (mesh && mesh->textureUsed && record->target) {
        shaders.UseNamed(kSceneryBinding);
        shaders.SetTextureRaw(nullptr, "dtex", static_cast<IDirect3DTexture9*>(record->target));
    } else {
        shaders.UseNamed(kSceneryNoTextureBinding);
    }
    shaders.SetMatrix(nullptr, "lmat", &mLightViewProjection);
    shaders.SetTextureRaw(nullptr, "stex", mTexture);
    shaders.SetFloat(nullptr, "intens", mCasterIntensity * gTarvel.mLights.mShadowStrength);
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

void cTarvelShadow::DrawMobilePass(sLightPass* record, void* target)
{
    if (!record)
        return;
    if (mRebuild) {
        CreateRenderTargets();
        RenderShadowMap();
    }
    auto* mesh = static_cast<sMobileMesh*>(target);
    if (!record->indexCount || !mesh || !mesh->mobile)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (mesh->texture) {
        shaders.UseNamed(kMobileBinding);
        shaders.SetTexture(nullptr, "dtex", mesh->texture);
    } else {
        shaders.UseNamed(kMobileNoTextureBinding);
        shaders.SetTexture(nullptr, "dtex", graphics.mBlackScreen);
    }
    D3DXMATRIX world, lmat;
    mesh->mobile->GetNodeWorldMatrix(mesh->node, &world);
    D3DXMatrixMultiply(&lmat, &world, &mLightViewProjection);
    shaders.SetMatrix(nullptr, "lmat", &lmat);
    shaders.SetTextureRaw(nullptr, "stex", mTexture);
    shaders.SetFloat(nullptr, "intens", mCasterIntensity * gTarvel.mLights.mShadowStrength);
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
