#include "engine/world/particle.h"

#include "engine/core/tarvel.h"
#include "platform/win32/crt.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_particle";
constexpr const char* kRenderGroup = "cTarvelParticle::RenderParticleGroup";

IDirect3DDevice9* Device()
{
    return gTarvel.mGraphics.mDevice;
}

} // namespace

int32_t ClampParticleCount(int32_t count)
{
    if (count < 1)
        return 1;
    return count > cTarvelParticle::kMaxParticles ? cTarvelParticle::kMaxParticles : count;
}

float ParticleRandom()
{
    return float(crt::rand()) / 32767.0f;
}

cTarvelParticle::cTarvelParticle() {}

cTarvelParticle::~cTarvelParticle()
{
    if (mVertexBuffer)
        mVertexBuffer->Release();
    mVertexBuffer = nullptr;
}

int cTarvelParticle::Update()
{
    return 0;
}

int cTarvelParticle::Render()
{
    return 0;
}

void cTarvelParticle::CollectRenderItems(tArray<sRenderItem>& list, int)
{
    list.Add({mSortKey, this, 3});
}

void cTarvelParticle::Save(cTarvelSavegame&) {}

int cTarvelParticle::InitParticleSystem(uint32_t bufferSize, uint32_t batchSize)
{
    // A batch of 0 would never fill and a batch past the buffer could not
    // be locked.
    mBufferSize = bufferSize > 0 ? bufferSize : 1;
    mBatchSize = batchSize < 1 ? 1 : (batchSize > mBufferSize ? mBufferSize : batchSize);
    mBatchBase = mBufferSize;
    CreateVertexBuffer();
    return 0;
}

void cTarvelParticle::CreateVertexBuffer()
{
    if (mVertexBuffer)
        mVertexBuffer->Release();
    mVertexBuffer = nullptr;
    IDirect3DDevice9* device = Device();
    if (!device)
        return;
    const HRESULT result = device->CreateVertexBuffer(mBufferSize * sizeof(sParticleVertex), kUsage, kFVF,
                                                      D3DPOOL_DEFAULT, &mVertexBuffer, nullptr);
    if (FAILED(result)) {
        mVertexBuffer = nullptr;
        gTarvel.FatalError(1, kSourceFile, 39, "cTarvelParticle::InitParticleSystem", "Creating vertex buffer failed.",
                           uint32_t(result));
    }
}

void cTarvelParticle::ReleaseDeviceObjects()
{
    if (mVertexBuffer)
        mVertexBuffer->Release();
    mVertexBuffer = nullptr;
}

void cTarvelParticle::RestoreDeviceObjects()
{
    if (mBufferSize == 0 || mVertexBuffer)
        return;
    CreateVertexBuffer();
    // The new buffer holds nothing the device could still be drawing.
    mBatchBase = mBufferSize;
}

void cTarvelParticle::AdvanceBatch()
{
    // Wrapping before a batch would pass the end keeps every lock inside the
    // buffer whatever the two sizes are.
    mBatchBase += mBatchSize;
    if (mBatchBase + mBatchSize > mBufferSize)
        mBatchBase = 0;
}

sParticleVertex* cTarvelParticle::LockBatch(int line)
{
    void* data = nullptr;
    const DWORD flags = mBatchBase == 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
    const HRESULT result = mVertexBuffer->Lock(mBatchBase * sizeof(sParticleVertex),
                                               mBatchSize * sizeof(sParticleVertex), &data, flags);
    if (FAILED(result) || !data)
        gTarvel.FatalError(1, kSourceFile, line, kRenderGroup, "Particle vertex buffer lock failed.",
                           uint32_t(FAILED(result) ? result : D3DERR_INVALIDCALL));
    return static_cast<sParticleVertex*>(data);
}

void cTarvelParticle::DrawBatch(uint32_t count, int line)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    while (shaders.NextPass()) {
        const HRESULT result = Device()->DrawPrimitive(D3DPT_POINTLIST, mBatchBase, count);
        if (FAILED(result))
            gTarvel.FatalError(1, kSourceFile, line, kRenderGroup, "Particle rendering failed.", uint32_t(result));
    }
}

int cTarvelParticle::RenderParticleGroup(const sParticle* first)
{
    IDirect3DDevice9* device = Device();
    // A buffer lost in a failed device reset draws nothing until it is back.
    if (!device || !mVertexBuffer)
        return 0;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    device->SetStreamSource(0, mVertexBuffer, 0, sizeof(sParticleVertex));
    device->SetFVF(kFVF);
    shaders.Begin();
    AdvanceBatch();
    sParticleVertex* vertices = LockBatch(94);
    uint32_t count = 0;
    for (const sParticle* particle = first; particle; particle = particle->next) {
        vertices[count++] = {particle->position[0], particle->position[1], particle->position[2], particle->color};
        if (count < mBatchSize)
            continue;
        mVertexBuffer->Unlock();
        DrawBatch(count, 109);
        shaders.Restart();
        AdvanceBatch();
        vertices = LockBatch(117);
        count = 0;
    }
    mVertexBuffer->Unlock();
    if (count > 0)
        DrawBatch(count, 132);
    shaders.End();
    return 0;
}

const cTarvelCamera& cTarvelParticle::StageCamera(int stage)
{
    return stage == 1 ? gTarvel.mCamera2 : gTarvel.mCamera;
}

void cTarvelParticle::CollectAt(tArray<sRenderItem>& list, int stage, const float position[3])
{
    const cTarvelCamera& camera = StageCamera(stage);
    D3DXVECTOR3 point(position[0], position[1], position[2]);
    camera.Project(&point);
    list.Add({camera.DistanceFromDepth(point.z), this, 3});
}
