#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/gameplay/control.h"
#include "platform/d3d9/d3d9.h"

class cTarvelCamera;
class cTarvelSavegame;

// One particle of a system's list.
struct sParticle {
    float position[3];
    float velocity[3];   // units per second
    uint32_t color;      // ARGB, the point's diffuse colour
    float life;          // remaining seconds (dust only)
    sParticle* next;     // null ends the list
};

// The point vertex: position and diffuse colour.
struct sParticleVertex {
    float x, y, z;
    uint32_t color;
};
static_assert(sizeof(sParticleVertex) == 16);

// A particle system of the scene (rain 1, sparkle 2, dust 3): a dynamic
// point buffer filled batch by batch from a list of particles. The scene
// updates it, lets it add its render item (kind 3, drawn through Render)
// and saves it; the subclasses own the particles.
class cTarvelParticle {
public:
    static constexpr DWORD kFVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    static constexpr DWORD kUsage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS;
    // Particle counts and rain densities above this are taken as this: a
    // savegame cannot make a system allocate without bound.
    static constexpr int32_t kMaxParticles = 65536;

    cTarvelParticle();
    cTarvelParticle(const cTarvelParticle&) = delete;
    cTarvelParticle& operator=(const cTarvelParticle&) = delete;

    virtual int Update();
    virtual int Render();
    // Appends {sort key, this, kind 3}.
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);
    // Fills the system's "Particle" element, "class" first.
    virtual void Save(cTarvelSavegame& savegame);
    virtual ~cTarvelParticle();

    // Stores both sizes and creates the point buffer. A batch holds at least
    // one point and never more than the buffer. 0.
    int InitParticleSystem(uint32_t bufferSize, uint32_t batchSize);
    // Draws the list with the technique and texture the caller made current,
    // batch by batch. 0.
    int RenderParticleGroup(const sParticle* first);

    // Around a device reset: the buffer lives in the default pool.
    void ReleaseDeviceObjects();
    void RestoreDeviceObjects();

    int32_t mClass = 0;
    IDirect3DVertexBuffer9* mVertexBuffer = nullptr;
    uint32_t mBatchBase = 0;
    uint32_t mBatchSize = 0;
    uint32_t mBufferSize = 0;
    float mSortKey = 0.1f;

protected:
    // The camera of a render-list stage.
    static const cTarvelCamera& StageCamera(int stage);
    // Appends the item keyed by the view distance of a point.
    void CollectAt(tArray<sRenderItem>& list, int stage, const float position[3]);

private:
    void CreateVertexBuffer();
    void AdvanceBatch();
    sParticleVertex* LockBatch(int line);
    void DrawBatch(uint32_t count, int line);
};

// Fading emitters (sparkle and dust) clamp their count the same way.
int32_t ClampParticleCount(int32_t count);
// A random number from 0 to 1, from the runtime's generator.
float ParticleRandom();
