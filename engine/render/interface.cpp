// The interface's images, cursors and effects, and the walk-arrow cursor.
#include "engine/core/tarvel.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"

namespace {

const char* const kCursorNames[] = {
    "cursor-idle",   "cursor-move",         "cursor-leave-room", "cursor-object",
    "cursor-use",    "cursor-use-inv",      "cursor-use-inv-not", "cursor-magnify",
    "cursor-magnify-exit", "cursor-chat",   "cursor-pda",
};
constexpr int kLoadedCursors = int(sizeof kCursorNames / sizeof kCursorNames[0]);

cTarvelImage* LoadInterfaceImage(cTarvelImage*& slot, const char* name)
{
    delete slot;
    slot = new cTarvelImage(false);
    slot->ReadFile(name);
    slot->mDepthOff = 1;
    return slot;
}

} // namespace

int cTarvelGraphics::InitInterface()
{
    LoadInterfaceImage(mBlackScreen, "blackscreen");
    LoadInterfaceImage(mWhiteScreen, "whitescreen");
    LoadInterfaceImage(mGreyScreen, "grey80");
    LoadInterfaceImage(mTopBand, "ui_band_top");
    cTarvelImage* busy = LoadInterfaceImage(mBusy, "cd");
    busy->SetRect(float(mSceneRight - 64), float(mSceneBottom - 64), -1.0f, -1.0f);
    if (busy->mHeader.frameCount > 1)
        busy->Play(kImageLoop, 0);
    static_assert(kLoadedCursors == kCursorCount - 1, "entry 11 stays empty");
    for (int kind = 0; kind < kLoadedCursors; ++kind) {
        cTarvelImage* cursor = LoadInterfaceImage(mCursors[kind], kCursorNames[kind]);
        cursor->SetColormap(1.1f);
        if (cursor->mHeader.frameCount > 1)
            cursor->Play(kImageLoop, 0);
    }
    delete mWalkArrow;
    mWalkArrow = new cTarvelMobile();
    mWalkArrow->Load("walk_arrow");
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("interface", "ui_walkarrow", &mWalkArrowBinding, false);
    shaders.LoadShader("interface", "ui_tooltip", &mTooltipBinding, false);
    return 0;
}

void cTarvelGraphics::DrawWalkArrowCursor()
{
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelActor* player = gTarvel.mPlayer;
    // Without a player mobile or an object under the cursor the arrow has
    // nothing to point from or at.
    if (!mWalkArrow || !scene || !scene->mObjectUnderCursor || !player || !player->mMobile)
        return;
    const D3DXMATRIX& view = gTarvel.mCamera.mView;
    D3DXVECTOR3 from;
    D3DXVECTOR3 to;
    D3DXVec3TransformCoord(&from, &player->mMobile->mPosition, &view);
    D3DXVec3TransformCoord(&to, &scene->mObjectPosition, &view);
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX lookAt;
    D3DXMatrixLookAtLH(&lookAt, &from, &to, &up);
    // Only the direction matters: the arrow stands at the eye distance in
    // front of a camera of its own.
    lookAt._41 = lookAt._42 = lookAt._43 = 0.0f;
    D3DXMATRIX orientation;
    D3DXMatrixInverse(&orientation, nullptr, &lookAt);
    D3DXMATRIX tilt;
    D3DXMatrixRotationX(&tilt, 0.523599f);
    D3DXMATRIX eye;
    D3DXMatrixTranslation(&eye, 0.0f, 0.0f, 150.0f);
    const float mouseX = float(gTarvel.mGameplay.mMouseX);
    const float mouseY = float(gTarvel.mGameplay.mMouseY);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveOffCenterLH(&projection, -mouseX / 1024.0f, (1024.0f - mouseX) / 1024.0f,
                                     (768.0f - mouseY) / 768.0f, -mouseY / 768.0f, 1.0f, 1000.0f);
    D3DXMATRIX matrix;
    D3DXMatrixMultiply(&matrix, &orientation, &tilt);
    D3DXMatrixMultiply(&matrix, &matrix, &eye);
    D3DXMatrixMultiply(&matrix, &matrix, &projection);
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.SetMatrix(&mWalkArrowBinding, "walkarrowmat", &matrix);
    shaders.SetFloat2(&mWalkArrowBinding, "pixsize", 0.5f / float(mWidth), 0.5f / float(mHeight));
    // "walkarrowmat" places the arrow whole: the object transforms stay, and
    // the overlay is neither depth-tested nor lit.
    mWalkArrow->Render(nullptr, false, &mWalkArrowBinding, true, 3, 0, true);
}
