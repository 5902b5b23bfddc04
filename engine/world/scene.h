#pragma once

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelRegionSet;
class cTarvelScript;
class cTarvelView;

// A scene. Until the world issue lands a scene holds only what the main
// object uses when it changes scenes: its open resource slot and its script.
class cTarvelScene {
public:
    cTarvelScene();
    virtual ~cTarvelScene();
    cTarvelScene(const cTarvelScene&) = delete;
    cTarvelScene& operator=(const cTarvelScene&) = delete;

    // 0 when the scene file was read from slot.
    virtual int ReadFile(int slot, int mode);
    virtual void InitObjects(int mode);
    virtual void Leave(int mode);
    // Releases the scene's contents before it is deleted.
    virtual void Clear();
    virtual void Update();
    // Appends the stage's render items. The stand-in hands out mStandInItems.
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);

    // The resource slot the scene file is read from (-1 when none).
    int mSlot;
    cTarvelScript* mScript;
    // The view of stage 0 and of the second stage (null without one).
    cTarvelView* mView = nullptr;
    cTarvelView* mSecondView = nullptr;
    // The hotspot under the cursor, and the scene object under it (its name
    // and position; none when the flag is clear).
    cTarvelRegionSet* mHotspot = nullptr;
    bool mObjectUnderCursor = false;
    cTarvelString mObjectName;
    D3DXVECTOR3 mObjectPosition{};
    // Stand-in only: the items each stage adds.
    tArray<sRenderItem> mStandInItems[2];
};
