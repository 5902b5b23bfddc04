#pragma once

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelMobile;
class cTarvelView;

// Mirror images of the characters while a view is current: first the
// mirror surface (an image layer of the view), then the characters
// reflected in the floor under each of them and in every mirror plane.
class cTarvelControlMirror : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 4;

    // The plane a x + b y + c z + d = 0.
    struct sPlane {
        float a, b, c, d;
    };

    cTarvelControlMirror(const cTarvelString& symbol, cTarvelView* view, const cTarvelString& mapName);
    explicit cTarvelControlMirror(cTarvelSavegame& savegame);
    static cTarvelControl* Load(cTarvelSavegame& savegame);

    void AddMirrorFloor() { mFloor = true; }
    void AddMirrorPlane(float a, float b, float c, float d) { mPlanes.Add({a, b, c, d}); }

    // Draws at once rather than adding items, so the reflections lie under
    // everything the frame's sorted list draws.
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
    void Save(cTarvelSavegame& savegame) override;

    cTarvelString mSymbolName;
    tArray<sPlane> mPlanes;
    bool mFloor = false;
    cTarvelView* mView;
    cTarvelString mMapName;
    // Draw the surface through the view's mesh entries that show it, in
    // render mode 7, instead of as a plain image.
    bool mMeshMode = false;
    tArray<cTarvelMobile*> mExcluded;

private:
    void DrawSurface(cTarvelView* view);
    void DrawReflected(const tArray<cTarvelMobile*>& mobiles, const D3DXMATRIX& matrix);
    bool Excluded(const cTarvelMobile* mobile) const;
};
