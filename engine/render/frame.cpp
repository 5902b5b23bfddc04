// The frame: its three layouts, the render list and its dispatch, the
// tooltip, the cursor and the present.
#include <cstdio>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/flashlight.h"
#include "engine/render/font.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/render/shadow.h"
#include "engine/render/video.h"
#include "engine/world/mobile.h"
#include "engine/world/particle.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

constexpr int32_t kNoCursor = 12;
constexpr int32_t kWalkArrowCursor = 1;
// The tooltip's text is kept off the layers that the frame draws.
constexpr uint8_t kTooltipLayer = 2;

cTarvelScreenControl* TopScreenControl()
{
    return gScreenControls.Count() > 0 ? gScreenControls.data[gScreenControls.Count() - 1] : nullptr;
}

const D3DXMATRIX& Identity()
{
    static const D3DXMATRIX identity = [] {
        D3DXMATRIX m;
        D3DXMatrixIdentity(&m);
        return m;
    }();
    return identity;
}

// The flags of the game layout that show the tooltip and the cursor.
bool InterfaceShown(const cTarvelGraphics& graphics)
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const uint32_t flags = gameplay.mStateFlags;
    return (flags & cTarvelGameplay::kInterfaceEnabled) &&
           !(flags & (cTarvelGameplay::kBlocked | cTarvelGameplay::kWalkingToObject)) && gCinematics.Count() == 0 &&
           gameplay.mFadeState == 0 && !graphics.mMovieOverlay;
}

} // namespace

int cTarvelGraphics::RenderFrame()
{
    mMovieOverlay = false;
    cTarvelVideo* movie = gTarvel.mMovie;
    if (movie && !movie->mInScene) {
        RenderMovieLayout();
        return 0;
    }
    if (movie)
        mMovieOverlay = true;
    if (gTarvel.mMenu.mOpen && gTarvel.mMenu.mFade >= 1.0f)
        RenderMenuLayout();
    else
        RenderGameLayout();
    return 0;
}

void cTarvelGraphics::RenderMovieLayout()
{
    BeginSceneTarget();
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    gTarvel.mMovie->Draw();
    ApplyPostEffects();
    if (mBlackScreen) {
        // The letterbox bands above and below the scene area.
        mBlackScreen->mBlended = 0;
        mBlackScreen->SetAlpha(255);
        mBlackScreen->SetRect(-2.0f, -2.0f, float(mWidth + 4), float(mSceneTop + 2));
        mBlackScreen->Draw(true, true);
        mBlackScreen->SetRect(-2.0f, float(mSceneBottom - 2), float(mWidth + 4), float(mHeight - mSceneBottom + 4));
        mBlackScreen->Draw(true, true);
    }
    cTarvelScreenControl* top = TopScreenControl();
    if (top && top->mTypeId == cTarvelScreenControl::kCancelRequest)
        top->Render();
    gTarvel.mFonts.RenderTexts(0);
    mDevice->EndScene();
    PresentFrame();
}

void cTarvelGraphics::RenderMenuLayout()
{
    mDevice->SetRenderTarget(0, mBackBuffer);
    mDevice->SetDepthStencilSurface(mDepthStencil);
    mDevice->BeginScene();
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    gTarvel.mMenu.Render();
    DrawTooltip();
    gTarvel.mFonts.RenderTexts(1);
    DrawCursorImage(mCursorKind);
    mDevice->EndScene();
    PresentFrame();
}

void cTarvelGraphics::RenderGameLayout()
{
    cTarvel& engine = gTarvel;
    cTarvelScene* scene = engine.mScene;
    cTarvelGameplay& gameplay = engine.mGameplay;

    BeginSceneTarget();
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000u, 1.0f, 0);
    engine.mCamera.UpdateMatrices();
    engine.mCamera.Apply();
    const DWORD colour = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_BLUE;
    if (mDepthOfField)
        mDevice->SetRenderState(D3DRS_COLORWRITEENABLE, colour);
    if (mAntialiasing != 0)
        mDevice->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    if (mMovieOverlay)
        engine.mMovie->Draw();

    tArray<sRenderItem> list;
    if (scene)
        scene->CollectRenderItems(list, 0);
    for (cTarvelControl* control : gActiveControls)
        if (control)
            control->CollectRenderItems(list, 0);
    SortRenderItems(list);
    DispatchRenderItems(list, scene ? scene->mView : nullptr);

    if (scene && scene->mSecondView) {
        engine.mCamera2.UpdateMatrices();
        engine.mCamera2.Apply();
        list.Clear();
        for (cTarvelControl* control : gActiveControls)
            if (control)
                control->CollectRenderItems(list, 1);
        scene->CollectRenderItems(list, 1);
        SortRenderItems(list);
        DispatchRenderItems(list, scene->mSecondView);
    }

    if (mDepthOfField) {
        // Mobiles again, writing their depth into alpha for the blur.
        mDevice->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_ALPHA);
        float focal = mFocalPlane;
        if (mFocalTransition) {
            const float t = mFocalTransitionDuration > 0.0f
                                ? (engine.mTimer.mGameSeconds - mFocalTransitionStart) / mFocalTransitionDuration
                                : 2.0f;
            if (t > 1.0f) {
                mFocalTransition = false;
                mFocalPlane = mFocalTarget;
                focal = mFocalPlane;
            } else {
                const float s = 3.0f * t * t - 2.0f * t * t * t;
                focal = mFocalPlane + (mFocalTarget - mFocalPlane) * s;
            }
        }
        engine.mShaders.SetFloat4(&mDepthOfFieldBinding, "focalplane", 0.0f, 0.0f, 1.0f, -focal);
        for (const sRenderItem& item : list)
            if (item.kind == 2 && item.object)
                static_cast<cTarvelMobile*>(item.object)->Draw(&Identity(), 1, &mDepthOfFieldBinding, 3, 6, 0);
        mDevice->SetRenderState(D3DRS_COLORWRITEENABLE, colour);
    }

    D3DVIEWPORT9 viewport{0, 0, DWORD(mWidth), DWORD(mHeight), 0.0f, 1.0f};
    mDevice->SetViewport(&viewport);
    if (gameplay.mFadeState != 0)
        DrawScreenEffects();
    for (int32_t i = 0; i < gScreenControls.Count(); ++i)
        if (cTarvelScreenControl* control = gScreenControls.data[i])
            control->RenderBack();
    if (!ApplyPostEffects())
        return;

    if (mTopBand) {
        mTopBand->SetRect(0.0f, 0.0f, -1.0f, -1.0f);
        mTopBand->Draw(true, true);
    }
    if (gameplay.mStateFlags & cTarvelGameplay::kInventoryShown)
        engine.mInventory.Render();
    for (int32_t i = 0; i < gScreenControls.Count(); ++i)
        if (cTarvelScreenControl* control = gScreenControls.data[i])
            control->Render();
    engine.mHints.Draw();

    const bool interfaceShown = InterfaceShown(*this);
    if (interfaceShown)
        DrawTooltip();
    else
        ClearText();

    engine.mFonts.RenderTexts(0);
    if (engine.mMenu.mOpen)
        engine.mMenu.Render();
    engine.mFonts.RenderTexts(1);

    if (interfaceShown && !engine.mPendingScene && mCursorKind != kNoCursor && !engine.mThumbnailRequest) {
        if (mCursorKind == kWalkArrowCursor)
            DrawWalkArrowCursor();
        else
            DrawCursorImage(mCursorKind);
    }
    if (mBusy && (engine.mPendingScene || engine.mThumbnailRequest || engine.mLoadRequest))
        mBusy->Draw(true, true);

    mDevice->EndScene();
    if (!mSkipPresent)
        PresentFrame();
    mSkipPresent = false;
}

void cTarvelGraphics::DispatchRenderItems(const tArray<sRenderItem>& list, cTarvelView* view)
{
    const bool noActors = view && view->mNoActors;
    for (const sRenderItem& item : list) {
        if (!item.object)
            continue;
        switch (item.kind) {
        case 1:
            static_cast<cTarvelImage*>(item.object)->Draw(true, true);
            break;
        case 2:
            if (!noActors)
                static_cast<cTarvelMobile*>(item.object)->Draw(&Identity(), 1, nullptr, 3, 6, 0);
            break;
        case 4:
            if (view)
                view->Render(item.object);
            break;
        default:
            break;
        }
    }
    // Particles blend without writing depth, and scenery meshes sort by a
    // key their script gives (0 unless set): drawn in their place among the
    // items, a sparkle or the rain would be painted over by the scenery
    // drawn after it. They come last, far to near among themselves, and the
    // depth the others wrote hides what is behind them.
    for (const sRenderItem& item : list)
        if (item.object && item.kind == 3)
            static_cast<cTarvelParticle*>(item.object)->Render();
}

void cTarvelGraphics::DrawCursorImage(int32_t kind)
{
    // Kinds without an image (11, anything out of range) draw nothing.
    if (kind < 0 || kind >= kCursorCount || !mCursors[kind])
        return;
    cTarvelImage* cursor = mCursors[kind];
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    cursor->SetRect(float(gameplay.mMouseX - cursor->mHeader.x), float(gameplay.mMouseY - cursor->mHeader.y), -1.0f,
                    -1.0f);
    cursor->Draw(true, true);
}

void cTarvelGraphics::PresentFrame()
{
    const HRESULT result = mDevice->Present(nullptr, nullptr, nullptr, nullptr);
    if (result == D3DERR_DEVICELOST) {
        if (mDevice->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
            Reset();
        return;
    }
    if (SUCCEEDED(result) && ++mFramesDrawn % 100 == 0)
        std::fprintf(stderr, "%u frames drawn\n", mFramesDrawn);
}

void cTarvelGraphics::DrawLightPass(sLightPass* record, void* target)
{
    if (!record || !record->object)
        return;
    switch (record->kind) {
    case 1:
        static_cast<cTarvelShadow*>(record->object)->DrawSceneryPass(record, target);
        break;
    case 2:
        static_cast<cTarvelShadow*>(record->object)->DrawMobilePass(record, target);
        break;
    case 3:
        static_cast<cTarvelFlashlight*>(record->object)->DrawSceneryPass(record, target);
        break;
    case 4:
        static_cast<cTarvelFlashlight*>(record->object)->DrawMobilePass(record, target);
        break;
    default:
        break;
    }
}

void cTarvelGraphics::RemoveLightPass(sLightPass* record, void* target)
{
    if (!record || !record->object)
        return;
    switch (record->kind) {
    case 1:
        static_cast<cTarvelShadow*>(record->object)->RemoveSceneryReceiver(target);
        break;
    case 2:
        static_cast<cTarvelShadow*>(record->object)->RemoveMobileReceiver(target);
        break;
    case 3:
        static_cast<cTarvelFlashlight*>(record->object)->RemoveSceneryReceiver(target);
        break;
    case 4:
        // A destroyed mobile leaves the flashlight's receivers too, or the
        // flashlight would draw it after it is freed.
        static_cast<cTarvelFlashlight*>(record->object)->RemoveMobileReceiver(target);
        break;
    default:
        break;
    }
}

void cTarvelGraphics::ClearText()
{
    if (mTooltipText)
        gTarvel.mFonts.DeleteText(mTooltipText);
    mTooltipText = nullptr;
    mTooltipString = "";
    mTooltipState = 0;
}

void cTarvelGraphics::DrawTooltip()
{
    cTarvel& engine = gTarvel;
    const cTarvelGameplay& gameplay = engine.mGameplay;
    cTarvelScreenControl* top = TopScreenControl();
    cTarvelBar* verbBar = &engine.mVerbBar;
    cTarvelBar* dialogueBar = &engine.mDialogueBar;
    if (engine.mPendingScene) {
        ClearText();
        return;
    }
    if (engine.mMenu.mOpen || (top && top != verbBar && top != dialogueBar))
        return;

    auto hoveredEntry = [](const cTarvelBar* bar) -> bool {
        return (bar->mState == 0 || bar->mState == 1) && bar->mHovered >= 0;
    };
    // The source (1 dialogue entry, 2 verb, 3 object, 4 item in hand) and
    // the text it names.
    int32_t source = 0;
    cTarvelString text;
    // The item in hand is the inventory's selected item, named by its display
    // name when its script gave it one.
    const sInventoryItem* inHand = engine.mInventory.mSelected;
    const bool itemInHand = inHand != nullptr;
    if (top == dialogueBar && hoveredEntry(dialogueBar)) {
        source = 1;
        text = dialogueBar->EntryText(dialogueBar->mHovered);
    } else if (!itemInHand) {
        if (engine.mScene && engine.mScene->mObjectUnderCursor) {
            if (top == verbBar && hoveredEntry(verbBar)) {
                source = 2;
                text = verbBar->EntryText(verbBar->mHovered);
            } else {
                source = 3;
                text = engine.mScene->mObjectName;
            }
        }
    } else if (top == verbBar && hoveredEntry(verbBar)) {
        source = 2;
        text = verbBar->EntryText(verbBar->mHovered);
    } else {
        source = 4;
        text = inHand->displayName.Length() > 0 ? inHand->displayName : inHand->name;
    }
    if (source == 0 || text.Length() == 0) {
        ClearText();
        return;
    }
    // Rebuilt only when the source or what it names changed.
    if (!mTooltipText || source != mTooltipState || std::strcmp(text.c_str(), mTooltipString.c_str()) != 0) {
        if (mTooltipText)
            engine.mFonts.DeleteText(mTooltipText);
        mTooltipText = engine.mFonts.CreateText(0, text, gameplay.mMouseX, gameplay.mMouseY - 24, 0xFFFFFFFFu,
                                                cTarvelFont::kCentre, 0);
        // Drawn over the tooltip box below, not with the text layers.
        mTooltipText->mLayer = kTooltipLayer;
        mTooltipString = text;
        mTooltipState = source;
        mTooltipTextFlag = 1;
    }

    // The box behind the text: a screen quad of four coloured vertices.
    const cTarvelText& label = *mTooltipText;
    const float left = float(label.mX - 6) * mScaleX;
    const float right = float(label.mX + label.mWidth + 6) * mScaleX;
    const float topEdge = float(label.mY - label.mHeight) * mScaleY;
    const float bottom = float(label.mY + 6) * mScaleY;
    const sTextVertex box[4] = {
        {left, bottom, 0.0f, 1.0f, 0xB0000000u, 0.0f, 1.0f},
        {left, topEdge, 0.0f, 1.0f, 0xB0000000u, 0.0f, 0.0f},
        {right, bottom, 0.0f, 1.0f, 0xB0000000u, 1.0f, 1.0f},
        {right, topEdge, 0.0f, 1.0f, 0xB0000000u, 1.0f, 0.0f},
    };
    static_assert(sizeof box <= 120, "the tooltip block holds the box");
    std::memcpy(mTooltipVertices, box, sizeof box);
    cTarvelShaderLib& shaders = engine.mShaders;
    mDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    shaders.Use(&mTooltipBinding);
    shaders.Begin();
    while (shaders.NextPass())
        mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, mTooltipVertices, sizeof(sTextVertex));
    shaders.End();
    engine.mFonts.RenderTexts(kTooltipLayer);
}
