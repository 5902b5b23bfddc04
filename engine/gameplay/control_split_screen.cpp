#include "engine/gameplay/control_split_screen.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control_binding.h"
#include "engine/gameplay/savegame.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

const bool kRegistered = RegisterControlClass(cTarvelControlSplitScreen::kClassId, cTarvelControlSplitScreen::Load);

cTarvelView* SceneView(const cTarvelString& name)
{
    return gTarvel.mScene && name.Length() > 0 ? gTarvel.mScene->FindView(name.c_str()) : nullptr;
}

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

cTarvelControlSplitScreen::cTarvelControlSplitScreen(cTarvelView* view0, cTarvelView* view1, float minSize,
                                                     float aspect, const cTarvelString& symbol)
    : cTarvelControl(kClassId), mView0(view0), mView1(view1), mMinSize(minSize), mAspect(aspect), mSymbolName(symbol)
{
}

cTarvelControlSplitScreen::cTarvelControlSplitScreen(cTarvelSavegame& savegame) : cTarvelControl(kClassId)
{
    (void)kRegistered;
    mView1 = SceneView(savegame.ReadString("View1", ""));
    mView0 = SceneView(savegame.ReadString("View0", ""));
    mAspect = savegame.ReadFloat("Aspect", 0.0f);
    mMinSize = savegame.ReadFloat("MinSize", 0.0f);
    mSymbolName = savegame.ReadString("Symbol", "");
    BindControlSymbol(this, mSymbolName, eScriptObjectType::CtrlSplitScreen);
}

cTarvelControl* cTarvelControlSplitScreen::Load(cTarvelSavegame& savegame)
{
    return new cTarvelControlSplitScreen(savegame);
}

void cTarvelControlSplitScreen::Update()
{
    cTarvelScene* scene = gTarvel.mScene;
    if (!mView0 || !mView1 || !scene || scene->mView != mView0)
        return;
    const int32_t half = gTarvel.mGraphics.mWidth / 2;
    sSceneStage& stage = scene->mStages[1];
    if (scene->mSecondView != mView1) {
        mView1->Select(1);
        stage.position = 3;
        stage.size = float(half);
        stage.moving = 0;
    }
    const cTarvelActor* player = gTarvel.mPlayer;
    if (!player || !player->mMobile)
        return;
    const D3DXVECTOR3& at = player->mMobile->mPosition;
    const float a = Distance(gTarvel.mCamera.mPosition, at) * mAspect;
    const float b = Distance(gTarvel.mCamera2.mPosition, at) * mAspect;
    const float r = mAspect >= 0.0f ? b / a : a / b;
    float t = std::min(r, 2.0f - mMinSize);
    if (mMinSize > t)
        t = mMinSize;
    // No ratio (an aspect of 0, the player on both cameras) or no bounds:
    // the divider stays where it is.
    if (!std::isfinite(t))
        return;
    const double size = double(half) * double(t);
    stage.size = float(std::trunc(std::clamp(size, -1e9, 1e9)));
}

void cTarvelControlSplitScreen::Save(cTarvelSavegame& savegame)
{
    SaveClass(savegame);
    savegame.WriteString("View0", mView0 ? mView0->Name() : "");
    savegame.WriteString("View1", mView1 ? mView1->Name() : "");
    savegame.WriteFloat("MinSize", mMinSize);
    savegame.WriteFloat("Aspect", mAspect);
    savegame.WriteString("Symbol", mSymbolName);
}
