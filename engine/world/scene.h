#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

namespace FMOD {
class Geometry;
}

class cTarvelActor;
class cTarvelMobile;
class cTarvelParticle;
class cTarvelRegionSet;
class cTarvelSavegame;
class cTarvelScript;
class cTarvelScriptValue;
class cTarvelView;
class cTarvelWalkArea;

#define TARVEL_SOURCE_SCENE ".\\source\\class_scene"

// A mesh of the scene file: invisible scenery used for depth, light and the
// projection of the view pictures.
struct sSceneMeshRecord {
    char name[64] = {};
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    // Position then normal, 6 floats a vertex; both null when the mesh has no
    // geometry. malloc'd, owned by the scene.
    float* vertices = nullptr;
    uint16_t* indices = nullptr;
    // The positions alone, packed, as the shadows read them.
    D3DXVECTOR3* positions = nullptr;
    uint8_t pickDisabled = 0;
};

// Header of the scene file.
struct sSceneHeader {
    char name[64] = {};
    uint32_t meshCount = 0;
    uint32_t viewCount = 0;
    uint32_t walkAreaCount = 0;
    uint32_t hotspotCount = 0;
    uint32_t occlusionSize = 0;
};

// One stage of the screen: stage 0 the main stage, stage 1 the strip of
// split screen, with the render buffers its view fills.
struct sSceneStage {
    int8_t position = 0;     // stage 1: 2 strip at the left, 3 at the right
    float size = 0.0f;       // strip width in pixels
    uint8_t moving = 0;
    float targetSize = 0.0f;
    float moveSpeed = 0.0f;  // pixels per second, signed
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    uint32_t scratchCapacity = 0;
    // Indices are 32-bit once the vertices outgrow 16 bits.
    uint8_t index32 = 0;
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    D3DXVECTOR2* scratch = nullptr;   // projected (u, v) per vertex, new[]
};

// The location the player is in: what its file brought, the stages, the
// detail-view stack and what scripts and savegames add to it.
class cTarvelScene {
public:
    cTarvelScene();
    virtual ~cTarvelScene();
    cTarvelScene(const cTarvelScene&) = delete;
    cTarvelScene& operator=(const cTarvelScene&) = delete;

    // Reads the scene file from slot; 0. Damaged files are fatal.
    virtual int ReadFile(int slot, int restoring);
    virtual void InitObjects(int restoring);
    virtual void Leave(int restoring);
    // Frees everything the scene owns.
    virtual void Clear();
    virtual void Update();
    void UpdateViewports();
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);
    // Hover test at a point in picture coordinates.
    bool UpdateMouseOver(int32_t x, int32_t y);
    bool FindObjectAt(int32_t x, int32_t y, int stage);
    int Pick(D3DXVECTOR3* out, int32_t x, int32_t y);
    cTarvelView* FindView(const char* name) const;
    cTarvelWalkArea* FindWalkArea(const char* name) const;
    sSceneMeshRecord* FindMesh(const char* name) const;
    void LeaveDetailView();
    // Second stage of split screen; sizes and speeds are fractions of the
    // screen width.
    void Open(cTarvelView* view, int8_t position, float size, float speed);
    void Close(float speed);
    void SaveState(cTarvelSavegame& savegame);
    void LoadState(cTarvelSavegame& savegame);
    void AllocateVertexBuffers(uint32_t vertices, uint32_t indices, int stage);

    // Empty the owned arrays, deleting their elements.
    void DeleteParticles();
    void DeleteActors();
    void DeleteMobiles();

    sSceneHeader mHeader;
    cTarvelScript* mScript = nullptr;   // owned
    cTarvelString mCaption;
    cTarvelScriptValue* mScriptObject = nullptr;
    // The resource slot the scene file is read from (-1 when none).
    int mSlot = -1;
    tArray<cTarvelView*> mViews;   // owned
    cTarvelView* mLastView = nullptr;
    tArray<cTarvelView*> mDetailViews;
    // The current views of stage 0 and stage 1 (none: stage 1 closed).
    cTarvelView* mView = nullptr;
    cTarvelView* mSecondView = nullptr;
    sSceneStage mStages[2];
    // Reserved to the header count before the first is read: views point
    // into it.
    std::vector<sSceneMeshRecord> mMeshes;
    FMOD::Geometry* mGeometry = nullptr;
    tArray<cTarvelWalkArea*> mWalkAreas;      // owned
    tArray<cTarvelParticle*> mParticles;      // owned
    tArray<cTarvelRegionSet*> mHotspots;      // owned
    cTarvelRegionSet* mHotspot = nullptr;     // hovered
    int mHoverStage = 0;
    tArray<cTarvelActor*> mActors;            // owned, non-player
    cTarvelActor* mHoveredActor = nullptr;
    tArray<cTarvelMobile*> mMobiles;          // owned, free mobiles
    // The scene object under the cursor, derived from the hovered hotspot or
    // actor for the tooltip and the walk arrow.
    bool mObjectUnderCursor = false;
    cTarvelString mObjectName;
    D3DXVECTOR3 mObjectPosition{};

    // The view current on a stage.
    cTarvelView*& StageView(int stage) { return stage == 1 ? mSecondView : mView; }

private:
    [[noreturn]] void Damaged(const char* what) const;
    void ReadMeshes(int slot);
    void UpdateObjectUnderCursor();
    friend class cTarvelView;
    friend class cTarvelWalkArea;
    friend class cTarvelRegionSet;
};

// The fatal error of a damaged scene file.
[[noreturn]] void SceneFileDamaged(const cTarvelScene* scene, const char* what);
// Bytes left in the slot's resource.
uint64_t SceneBytesLeft(int slot);
// A 32-bit little-endian word of a scene file.
uint32_t SceneU32(const uint8_t* p);
inline int32_t SceneI32(const uint8_t* p) { return static_cast<int32_t>(SceneU32(p)); }

// Sections that follow each other in a data block of a scene file: each is
// checked against what is left of the block before its offset is handed out,
// and one that does not fit is the scene's fatal error.
class cSceneBlockSections {
public:
    cSceneBlockSections(const cTarvelScene* scene, uint64_t size) : mScene(scene), mSize(size) {}
    uint64_t Take(uint64_t count, uint32_t entrySize, const char* what);
    uint64_t Left() const { return mSize - mAt; }

private:
    const cTarvelScene* mScene;
    uint64_t mSize;
    uint64_t mAt = 0;
};
