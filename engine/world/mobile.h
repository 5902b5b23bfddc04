#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "engine/render/light_pass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

namespace Anim {
class Actor;
class ActorInstance;
class Mesh;
class Node;
class StandardMaterial;
class SubMesh;
} // namespace Anim

struct cTarvelShaderBinding;
class cTarvelActor;
class cTarvelImage;
class cTarvelMobile;
class cTarvelMobileAnimation;
class cTarvelSavegame;
class MobileBaseAnimationController;

// One sub-mesh of a mobile as it is drawn: its ranges in the buffers of its
// kind, the node that places it, its material's maps, and the light passes
// drawn over it.
struct sMobileMesh {
    // Buffer kinds: regular or shadow geometry, static or deformed.
    enum : int32_t { kStatic = 0, kDynamic = 1, kStaticShadow = 2, kDynamicShadow = 3 };

    cTarvelMobile* mobile = nullptr;
    Anim::SubMesh* subMesh = nullptr;
    Anim::Mesh* mesh = nullptr;
    Anim::Node* animNode = nullptr;
    // Node index, handed to GetNodeWorldMatrix.
    int32_t node = 0;
    D3DXVECTOR3 centre{};
    float colours[8] = {1, 1, 1, 1, 1, 1, 1, 0};
    float shineStrength[3] = {};
    float reserved[5] = {};
    float shine = 0.0f;
    int32_t firstVertex = 0;
    int32_t vertexCount = 0;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;
    bool dynamic = false;
    bool shadow = false;
    bool opacity = false;
    bool hair = false;
    // Owned by the mobile's texture list.
    cTarvelImage* texture = nullptr;
    cTarvelImage* normalMap = nullptr;
    float bumpAmount = 0.0f;
    tArray<sLightPass> passes;

    int32_t Kind() const { return (shadow ? 2 : 0) + (dynamic ? 1 : 0); }
};

// An animated, skinned mesh: an animation-library actor instance with its own
// device buffers, placed in the world by position and rotation.
class cTarvelMobile {
public:
    cTarvelMobile();
    virtual ~cTarvelMobile();
    cTarvelMobile(const cTarvelMobile&) = delete;
    cTarvelMobile& operator=(const cTarvelMobile&) = delete;

    // Loading and buffers.
    int Load(const cTarvelString& name);
    int Read(int slot);
    // Read's work on a whole actor file in memory (the caller keeps it).
    int ReadFromMemory(const void* data, uint32_t size);
    void CreateMeshs();
    void CreateD3DBuffers();
    cTarvelImage* GetTexture(Anim::StandardMaterial* material, uint32_t layerType);
    void CopyDeformedVertices();

    // Update and placement.
    void Update(float dt);
    void UpdateWorldTransform();
    void SetPosition(float x, float y, float z);
    void SetRotation(const D3DXQUATERNION& rotation);
    void SetRotationXYZ(float ax, float ay, float az);
    void SetWorldLink(const char* nodeName, cTarvelMobile* target);

    // Rendering.
    int CollectRenderItems(tArray<sRenderItem>& list, int camera);
    // Virtual only so that the frame's tests can stand a recording mobile in.
    virtual int Draw(const D3DXMATRIX* matrix, bool depth, const cTarvelShaderBinding* shader, int cull, int maxLights,
             bool plainLighting);
    void Render(const D3DXMATRIX* matrix, bool depth, const cTarvelShaderBinding* shader, bool keepTransforms,
                int cull, int maxLights, bool plainLighting);
    void RenderShadow();

    // Bounds and picking.
    void GetBoundingBox(D3DXVECTOR3 corners[8]);
    void GetBoundsCenter(D3DXVECTOR3* out);
    void GetBoundsHalfSize(D3DXVECTOR3* out);
    bool HitTest(int32_t x, int32_t y, int camera);
    // A node's global matrix; the identity for a node the instance lacks.
    void GetNodeWorldMatrix(int32_t node, D3DXMATRIX* out);

    // The buffers of a record's kind, as the light passes bind them.
    IDirect3DVertexBuffer9* GetVertexBuffer(const sMobileMesh& mesh) const;
    IDirect3DIndexBuffer9* GetIndexBuffer(const sMobileMesh& mesh) const;
    static uint32_t GetVertexStride(const sMobileMesh& mesh) { return mesh.shadow ? 12u : 32u; }
    static DWORD GetVertexFormat(const sMobileMesh& mesh)
    {
        return mesh.shadow ? DWORD(D3DFVF_XYZ) : DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    }

    // Animation.
    void SetBaseAnimation(const char* name);

    // Savegame.
    void Save(cTarvelSavegame& savegame);
    void LoadState(cTarvelSavegame& savegame);

    D3DXVECTOR3 mBoxMin;
    D3DXVECTOR3 mBoxMax;
    bool mBoundsValid = false;
    int32_t mLoaded = 1;
    Anim::Actor* mActor = nullptr;
    Anim::ActorInstance* mInstance = nullptr;
    cTarvelMobileAnimation* mBaseAnimation = nullptr;
    MobileBaseAnimationController* mBaseController = nullptr;
    cTarvelActor* mOwner = nullptr;
    // The linked node's index (-1: none) and the mobile the link is
    // relative to, as a checked handle: a scene change may delete the target
    // while this mobile lives on.
    int32_t mWorldLinkNode = -1;
    uint32_t mWorldLinkTarget = 0;
    cTarvelMobile* WorldLinkTarget() const;
    int32_t mOverrideLightCount = 0;
    const cTarvelShaderBinding* mOverrideShader = nullptr;
    // Playing on this mobile; not owned.
    tArray<cTarvelMobileAnimation*> mAnimations;
    // Owned, one per texture file name.
    tArray<cTarvelImage*> mTextures;
    // Owned, in draw order; receivers hold them.
    tArray<sMobileMesh*> mMeshes;
    IDirect3DIndexBuffer9* mStaticIndexBuffer = nullptr;
    IDirect3DVertexBuffer9* mStaticVertexBuffer = nullptr;
    IDirect3DVertexBuffer9* mStaticPPLStream = nullptr;
    IDirect3DIndexBuffer9* mDynamicIndexBuffer = nullptr;
    IDirect3DVertexBuffer9* mDynamicVertexBuffer = nullptr;
    IDirect3DVertexBuffer9* mDynamicPPLStream = nullptr;
    IDirect3DIndexBuffer9* mStaticShadowIndexBuffer = nullptr;
    IDirect3DVertexBuffer9* mStaticShadowVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* mDynamicShadowIndexBuffer = nullptr;
    IDirect3DVertexBuffer9* mDynamicShadowVertexBuffer = nullptr;
    int32_t mStaticIndexCount = 0;
    int32_t mStaticVertexCount = 0;
    int32_t mDynamicIndexCount = 0;
    int32_t mDynamicVertexCount = 0;
    int32_t mStaticShadowIndexCount = 0;
    int32_t mStaticShadowVertexCount = 0;
    int32_t mDynamicShadowIndexCount = 0;
    int32_t mDynamicShadowVertexCount = 0;
    D3DXMATRIX mWorld;
    int32_t mLinkBone = -1;
    cTarvelMobile* mAttachedTo = nullptr;
    D3DXVECTOR3 mPosition{};
    D3DXQUATERNION mRotation{0.0f, 0.0f, 0.0f, 1.0f};
    bool mDeformedCurrent = false;
    bool mUsePPL = false;
    bool mShadowMesh = false;
    bool mCached = false;
    bool mGlobalCached = false;
    bool mFree = false;
    bool mRotationEnd = false;
    bool mVisible = true;
    uint32_t mColorOverride = 0;
    cTarvelString mSymbol;
    cTarvelString mFreeID;
    cTarvelString mFile;
    cTarvelString mTextureSuffix;
    cTarvelString mTextureReplacement;

private:
    // Everything Read made, so that a second Read starts clean.
    void ReleaseLoaded();
    void ReleaseBuffers();
    [[noreturn]] void Damaged(const char* what) const;
    void UpdateBounds();
};
