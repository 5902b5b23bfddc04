#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/render/light_pass.h"
#include "engine/render/shader_lib.h"
#include "engine/render/shadow.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelImage;
class cTarvelMobile;
struct sMobileMesh;
struct sSceneMesh;

// The flashlight cone: the "flashlight" picture projected from a point
// along a direction onto the scenery meshes and mobile meshes registered as
// its receivers, through light-pass kinds 3 (scenery) and 4 (mobile meshes).
class cTarvelFlashlight {
public:
    // Empty; Init loads what the cone is drawn with.
    cTarvelFlashlight();
    ~cTarvelFlashlight();
    cTarvelFlashlight(const cTarvelFlashlight&) = delete;
    cTarvelFlashlight& operator=(const cTarvelFlashlight&) = delete;

    // Loads the cone picture "flashlight" and the bindings "scenery" and
    // "mobile" of effect "flashlight".
    void Init();
    // Per frame: the cone's matrices, the receiver buffers when flagged, and
    // the frustum test.
    void UpdateMatrices();
    void BuildRenderBuffer();

    // Registers a view's mesh entry with the image layer it lights (kind 3).
    void AddViewReceiver(sSceneMesh* entry, cTarvelImage* layer);
    // Registers every mesh of a mobile (kind 4).
    void AddMobileReceiver(cTarvelMobile* mobile);

    // Light-pass kind 3: the cone onto the scenery mesh target.
    void DrawSceneryPass(sLightPass* record, void* target);
    // Light-pass kind 4: the cone onto the mobile mesh target.
    void DrawMobilePass(sLightPass* record, void* target);
    // Take a receiver that is being destroyed off a receiver list: the first
    // equal entry goes, later ones move down; a missing one changes nothing.
    void RemoveSceneryReceiver(void* target);
    void RemoveMobileReceiver(void* target);

    bool mRebuild;
    bool mSpare;
    tArray<sMobileMesh*> mMobileReceivers;
    tArray<sSceneMesh*> mSceneryReceivers;
    sReceiverGeometry mGeometry;
    cTarvelShaderBinding mSceneryBinding;
    cTarvelShaderBinding mMobileBinding;
    cTarvelImage* mCone;
    int32_t mSize[2];
    float mRange[2];
    D3DXMATRIX mView;
    D3DXMATRIX mProjection;
    D3DXMATRIX mLight;
    // Written by the flashlight control every frame.
    D3DXVECTOR3 mPosition;
    D3DXVECTOR3 mTarget;
};
