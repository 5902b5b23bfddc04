#include "engine/gameplay/control_mirror.h"

#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control_binding.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/image.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

const bool kRegistered = RegisterControlClass(cTarvelControlMirror::kClassId, cTarvelControlMirror::Load);

// The mirror draw of a mobile: depth on, its own shader, cull mode 2, two
// lights, plain lighting.
void DrawMirrored(cTarvelMobile* mobile, const D3DXMATRIX& matrix)
{
    mobile->Draw(&matrix, true, nullptr, 2, 2, true);
}

}  // namespace

cTarvelControlMirror::cTarvelControlMirror(const cTarvelString& symbol, cTarvelView* view,
                                           const cTarvelString& mapName)
    : cTarvelControl(kClassId), mSymbolName(symbol), mView(view), mMapName(mapName)
{
}

cTarvelControlMirror::cTarvelControlMirror(cTarvelSavegame& savegame) : cTarvelControl(kClassId), mView(nullptr)
{
    (void)kRegistered;
    mMapName = savegame.ReadString("Map", "");
    const cTarvelString viewName = savegame.ReadString("View", "");
    cTarvelScene* scene = gTarvel.mScene;
    if (scene && viewName.Length() > 0)
        mView = scene->FindView(viewName.c_str());
    mFloor = savegame.ReadInt("Floor", 0) != 0;
    mMeshMode = savegame.ReadInt("Mesh", 0) != 0;
    mSymbolName = savegame.ReadString("Symbol", "");
    BindControlSymbol(this, mSymbolName, eScriptObjectType::CtrlMirror);
    if (savegame.EnterElement("Plane")) {
        do {
            mPlanes.Add({savegame.ReadFloat("a", 0.0f), savegame.ReadFloat("b", 0.0f), savegame.ReadFloat("c", 0.0f),
                         savegame.ReadFloat("d", 0.0f)});
        } while (savegame.NextElement("Plane"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("ExMob")) {
        do {
            const cTarvelString file = savegame.GetAttributeString("fn", "");
            // Only the player's mobile and those of the scene's actors are
            // found again.
            const cTarvelActor* player = gTarvel.mPlayer;
            if (player && player->mMobile && player->mMobile->mFile == file) {
                mExcluded.Add(player->mMobile);
            } else if (scene) {
                for (cTarvelActor* actor : scene->mActors)
                    if (actor && actor->mMobile && actor->mMobile->mFile == file)
                        mExcluded.Add(actor->mMobile);
            }
        } while (savegame.NextElement("ExMob"));
        savegame.LeaveElement();
    }
}

cTarvelControl* cTarvelControlMirror::Load(cTarvelSavegame& savegame)
{
    return new cTarvelControlMirror(savegame);
}

bool cTarvelControlMirror::Excluded(const cTarvelMobile* mobile) const
{
    for (const cTarvelMobile* excluded : mExcluded)
        if (excluded == mobile)
            return true;
    return false;
}

void cTarvelControlMirror::DrawSurface(cTarvelView* view)
{
    // A surface the archive lacks is left out; the reflections still draw.
    cTarvelImage* surface = view->FindImageLayer(mMapName, false);
    if (!surface)
        return;
    // The view must not draw the surface a second time over the reflections.
    for (sViewLayer* layer : view->mLayers)
        if (layer && layer->image == surface)
            layer->visible = 0;
    if (mMeshMode) {
        for (uint32_t i = 0; i < view->mMeshSettingCount; ++i) {
            sSceneMesh& entry = view->mMeshSettings[i];
            if (entry.colorMap != surface)
                continue;
            const int32_t method = entry.renderMethod;
            entry.renderMethod = 7;
            view->Render(&entry);
            entry.renderMethod = method;
        }
    } else {
        surface->Draw(true, true);
    }
    for (sViewLayer* layer : view->mLayers)
        if (layer && layer->image == surface)
            layer->visible = 1;
}

void cTarvelControlMirror::DrawReflected(const tArray<cTarvelMobile*>& mobiles, const D3DXMATRIX& matrix)
{
    for (cTarvelMobile* mobile : mobiles)
        if (!Excluded(mobile))
            DrawMirrored(mobile, matrix);
}

void cTarvelControlMirror::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    cTarvelScene* scene = gTarvel.mScene;
    if (!scene || !mView || scene->mView != mView)
        return;
    // The mobiles collected so far for this stage, nearest first.
    std::vector<sRenderItem> items;
    for (const sRenderItem& item : list)
        if (item.kind == 2 && item.object)
            items.push_back(item);
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = i + 1; j < items.size(); ++j)
            if (items[i].key > items[j].key)
                std::swap(items[i], items[j]);
    tArray<cTarvelMobile*> mobiles;
    for (const sRenderItem& item : items)
        mobiles.Add(static_cast<cTarvelMobile*>(item.object));

    if (cTarvelView* view = scene->StageView(stage))
        DrawSurface(view);

    if (mFloor) {
        const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        for (cTarvelMobile* mobile : mobiles) {
            if (Excluded(mobile))
                continue;
            D3DXPLANE plane;
            D3DXPlaneFromPointNormal(&plane, &mobile->mPosition, &up);
            D3DXMATRIX matrix;
            D3DXMatrixReflect(&matrix, &plane);
            matrix._42 -= 2.0f;
            DrawMirrored(mobile, matrix);
        }
    }
    for (const sPlane& p : mPlanes) {
        const D3DXPLANE plane(p.a, p.b, p.c, p.d);
        D3DXMATRIX matrix;
        D3DXMatrixReflect(&matrix, &plane);
        DrawReflected(mobiles, matrix);
    }
}

void cTarvelControlMirror::Save(cTarvelSavegame& savegame)
{
    SaveClass(savegame);
    savegame.WriteString("Symbol", mSymbolName);
    if (mView)
        savegame.WriteString("View", mView->Name());
    savegame.WriteString("Map", mMapName);
    savegame.WriteInt("Floor", mFloor ? 1 : 0);
    savegame.WriteInt("Mesh", mMeshMode ? 1 : 0);
    for (const sPlane& p : mPlanes) {
        savegame.AddElement("Plane");
        savegame.WriteFloat("a", p.a);
        savegame.WriteFloat("b", p.b);
        savegame.WriteFloat("c", p.c);
        savegame.WriteFloat("d", p.d);
        savegame.LeaveElement();
    }
    for (const cTarvelMobile* mobile : mExcluded) {
        savegame.AddElement("ExMob");
        savegame.SetAttributeString("fn", mobile ? mobile->mFile : cTarvelString());
        savegame.LeaveElement();
    }
}
