#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "engine/world/scene_mesh.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelImage;
class cTarvelSavegame;
class cTarvelScene;
class cTarvelScriptValue;
class cTarvelWalkArea;

// An image layer placed in a view's picture.
struct sViewLayer {
    cTarvelString name;
    cTarvelImage* image = nullptr;   // one of the view's images
    float depth = 0.0f;
    float shearX = 0.0f;
    float shearY = 0.0f;
    uint8_t visible = 0;
    int32_t method = 0;
};

// The view record of the scene file.
struct sViewRecord {
    char name[64] = {};
    // Position x, y, z, rotation x, y, z, w, vertical field of view.
    float camera[8] = {};
};

// Texture size of a picture dimension: the next power of two from 8 up.
uint32_t TextureSizeFor(uint32_t pixels);

// One fixed camera position of a scene with what is drawn for it: the
// scenery meshes with the picture projected onto them, image layers and the
// images scripts loaded.
class cTarvelView {
public:
    cTarvelView();
    virtual ~cTarvelView();
    cTarvelView(const cTarvelView&) = delete;
    cTarvelView& operator=(const cTarvelView&) = delete;

    // Reads the 96-byte record; one mesh setting per scene mesh.
    int Read(int slot, cTarvelScene* scene);
    // Makes the view current on a stage (0 main, 1 second stage).
    virtual void Select(int stage);
    void FireInitView();
    void Build();
    void Update();
    void CollectRenderItems(tArray<sRenderItem>& list);
    // Draws one listed mesh setting (render-item kind 4).
    virtual void Render(void* item);
    bool Pick(D3DXVECTOR3* out, int32_t x, int32_t y);
    cTarvelImage* GetImageLayer(const cTarvelString& name, bool applySuffix);
    // As GetImageLayer, but a picture the view does not hold and the archive
    // does not have gives null instead of ending the game.
    cTarvelImage* FindImageLayer(const cTarvelString& name, bool applySuffix);
    void SaveState(cTarvelSavegame& savegame);
    void LoadState(cTarvelSavegame& savegame);

    const char* Name() const { return mRecord.name; }

    cTarvelScene* mScene = nullptr;
    uint8_t mBuilt = 0;
    uint8_t mInitialised = 0;
    int mStage = 0;
    sViewRecord mRecord;
    std::unique_ptr<sSceneMesh[]> mMeshSettings;
    uint32_t mMeshSettingCount = 0;
    tArray<sSceneMesh*> mListed;
    tArray<sViewLayer*> mLayers;      // owned
    tArray<cTarvelImage*> mImages;    // owned
    cTarvelString mSuffixReplacement0;
    cTarvelString mSuffixReplacement1;
    cTarvelWalkArea* mCamLayer = nullptr;
    uint8_t mFiltered = 0;
    cTarvelScriptValue* mHotspotSymbol = nullptr;
    // Mobiles are not drawn in a stage whose view has it.
    bool mNoActors = false;
};
