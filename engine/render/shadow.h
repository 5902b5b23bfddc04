#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/light_pass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelLight;
class cTarvelMobile;
struct sMobileMesh;
struct sSceneMesh;

// Frustum classes of a projected receiver vertex: bits 0-1 its column
// (0 left of the frustum, 1 inside, 2 right), bits 4-5 its row (0 below,
// 0x10 inside, 0x20 above), 0x80 behind the light.
uint8_t ReceiverOutcode(const D3DXVECTOR4& projected);
// Whether a triangle of three outcodes can touch the frustum: none behind
// the light, and not all three beyond the same edge.
bool ReceiverTriangleInside(uint8_t a, uint8_t b, uint8_t c);
// Whether any of a box's eight corners, taken through `viewProj`, may lie
// in the frustum: none behind the light and not all beyond one edge.
bool ReceiverBoxVisible(const D3DXVECTOR3 corners[8], const D3DXMATRIX& viewProj);

// The receivers' vertices copied together, with one index buffer that the
// frustum test rewrites every frame. Shared by the shadows and the
// flashlight; indices are 32-bit once the vertices no longer fit 16 bits.
struct sReceiverGeometry {
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    int32_t vertexCount = 0;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    int32_t indexCount = 0;
    bool index32 = false;
    D3DXVECTOR4* projected = nullptr;   // malloc'd, one per vertex
    uint8_t* outcodes = nullptr;        // malloc'd, one per vertex
    // The stage views the receivers were gathered for.
    const void* builtViews[2] = {};

    // Whether the stage views changed since the receivers were gathered.
    bool Stale() const;
    // Releases the buffers and frees the arrays.
    void Release();
    // Copies the receivers (those of the current stage views) into new
    // buffers with `stride`-byte vertices of `fvf` (XYZ, then one or two
    // texture coordinate sets) and records their ranges in the records of
    // `kind` that point to `owner`. The failing call's line goes to `fail`.
    bool Build(tArray<sSceneMesh*>& receivers, const void* owner, int32_t kind, uint32_t stride, DWORD fvf,
               DWORD vertexUsage, int* failLine);
    // The frustum test: writes the in-frustum triangles of each receiver into
    // the index buffer and their count into its record; gives each mobile
    // receiver's record the visibility of its mobile's box.
    void Cull(tArray<sSceneMesh*>& scenery, tArray<sMobileMesh*>& mobiles, const void* owner, int32_t sceneryKind,
              int32_t mobileKind, const D3DXMATRIX& viewProj);
};

// Whether a scenery receiver belongs to the current stage-0 or stage-1 view.
bool InCurrentStage(const sSceneMesh* mesh);
// The record of `kind` that `owner` holds in a pass list, or none.
sLightPass* FindLightPass(tArray<sLightPass>& passes, const void* owner, int32_t kind);
// Takes every record that points to `owner` out of a pass list; the others
// keep their order.
void RemoveLightPasses(tArray<sLightPass>& passes, const void* owner);

// Registers a receiver (a scene or mobile mesh) once: its light-pass record
// goes into the receiver's own list and the receiver into `receivers`.
// False when it was registered already.
template <class T>
bool AddReceiver(tArray<T*>& receivers, T* receiver, const sLightPass& pass)
{
    for (int32_t i = 0; i < receivers.Count(); ++i) {
        if (receivers.data[i] == receiver)
            return false;
    }
    receiver->passes.Add(pass);
    receivers.Add(receiver);
    return true;
}

// Takes the first entry naming `target` out of a receiver list.
template <class T>
void RemoveReceiver(tArray<T*>& receivers, const void* target)
{
    for (int32_t i = 0; i < receivers.Count(); ++i) {
        if (receivers.data[i] == target) {
            receivers.RemoveAt(i);
            return;
        }
    }
}

// The shadow of one mobile (the caster) as seen from one light, rendered
// into a 256 x 256 texture and projected onto the scenery meshes and mobile
// meshes registered as its receivers.
class cTarvelShadow {
public:
    static constexpr int kSize = 256;

    cTarvelShadow(cTarvelLight* light, cTarvelMobile* caster, int32_t extra);
    ~cTarvelShadow();
    cTarvelShadow(const cTarvelShadow&) = delete;
    cTarvelShadow& operator=(const cTarvelShadow&) = delete;

    // Rebuilds when flagged, then renders the shadow map.
    void Update();
    // Registers a scenery receiver (light-pass kind 1).
    void AddSceneryCaster(sSceneMesh* mesh);
    // Registers every mesh of a mobile as a receiver (light-pass kind 2).
    void AddMobileCaster(cTarvelMobile* mobile);

    // Light-pass kind 1: the shadow onto the scenery mesh target.
    void DrawSceneryPass(sLightPass* record, void* target);
    // Light-pass kind 2: the shadow onto the mobile mesh target.
    void DrawMobilePass(sLightPass* record, void* target);
    // Take a receiver that is being destroyed off a receiver list: the first
    // equal entry goes, later ones move down; a missing one changes nothing.
    void RemoveSceneryReceiver(void* target);
    void RemoveMobileReceiver(void* target);

    void CreateRenderTargets();
    void RenderShadowMap();
    // Before a device reset: the shadow texture goes; the next update makes
    // it again.
    void ReleaseRenderTargets();

    bool mRebuild;
    bool mSpare;
    tArray<sMobileMesh*> mMobileReceivers;
    tArray<sSceneMesh*> mSceneryReceivers;
    sReceiverGeometry mGeometry;
    D3DVIEWPORT9 mViewport;
    D3DXMATRIX mLightView;
    D3DXMATRIX mLightProjection;
    D3DXMATRIX mLightViewProjection;
    float mExtents[6];
    float mCasterIntensity;
    cTarvelLight* mLight;
    cTarvelMobile* mCaster;
    int32_t mExtra;
    IDirect3DTexture9* mTexture;
    IDirect3DSurface9* mSurface;
};
