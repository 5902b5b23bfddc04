#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "engine/render/light_pass.h"
#include "engine/render/shader_lib.h"
#include "platform/d3d9/d3d9.h"

class cTarvelImage;
class cTarvelMobile;
class cTarvelText;
class cTarvelView;

// The renderer and its one Direct3D 9 device: the back buffer and depth
// surface, the post-processing targets, the gamma ramp, the screen geometry
// of the 1024 x 768 reference layout, and the lost-device reset.
class cTarvelGraphics {
public:
    static constexpr int kCursorCount = 12;

    cTarvelGraphics();
    ~cTarvelGraphics();
    cTarvelGraphics(const cTarvelGraphics&) = delete;
    cTarvelGraphics& operator=(const cTarvelGraphics&) = delete;

    // Creates the device; 0. Every failure is fatal.
    int Initialize();
    void SetDeviceParams();
    void CreateBuffers();
    void ApplyGamma();
    void CreateVertexDeclaration();
    void SetVertexDeclaration(int index);
    // Rebuilds the default-pool objects after the device reported "not reset".
    void Reset();
    void BeginSceneTarget();
    void ShowStartScreen();
    // Draws and presents one frame; always 0.
    int RenderFrame();
    // Draws a light pass of a receiver while the receiver is drawn.
    void DrawLightPass(sLightPass* record, void* target);
    // Takes a receiver that is being destroyed off the pass object's lists.
    void RemoveLightPass(sLightPass* record, void* target);
    void DrawTooltip();
    // Deletes the tooltip text.
    void ClearText();

    // Screen fades, the cross-fade and the post effect over the scene.
    void DrawScreenEffects();
    // False when the frame must not be presented.
    bool ApplyPostEffects();
    void InitCrossFade();
    void ApplyFOD(float blur);
    void DrawFullScreenQuad(IDirect3DBaseTexture9* texture);
    void DrawDepthOfFieldQuad(IDirect3DBaseTexture9* texture);

    // Interface images, cursors and their effects; 0.
    int InitInterface();
    void DrawWalkArrowCursor();
    // Saves the front buffer as a bitmap file of that name.
    void SaveScreenshot(const char* fileName);
    void Shutdown();

    D3DGAMMARAMP mSavedGamma;
    IDirect3D9* mD3D;
    IDirect3DDevice9* mDevice;
    D3DSURFACE_DESC mBackBufferDesc;
    IDirect3DSurface9* mBackBuffer;
    IDirect3DSurface9* mDepthStencil;
    D3DPRESENT_PARAMETERS mPresentParameters;
    D3DCAPS9 mCaps;
    IDirect3DTexture9* mCrossFadeTexture;
    IDirect3DSurface9* mCrossFadeSurface;
    IDirect3DVertexBuffer9* mCrossFadeBuffer;
    IDirect3DTexture9* mPostTexture;
    IDirect3DSurface9* mPostSurface;
    IDirect3DSurface9* mTempTarget;
    IDirect3DVertexBuffer9* mFullScreenQuad;
    bool mTimedPostEffect;
    float mPostEffectStart;
    float mPostEffectDuration;
    int32_t mPostWidth;
    int32_t mPostHeight;
    cTarvelShaderBinding mPostEffect;
    bool mDepthOfField;
    bool mFocalTransition;
    float mFocalTransitionStart;
    float mFocalTransitionDuration;
    float mBlurParameter;
    cTarvelShaderBinding mDepthOfFieldBinding;
    float mFocalPlane;
    float mFocalTarget;
    IDirect3DVertexBuffer9* mDepthOfFieldBuffer;
    int32_t mSceneLeft;
    int32_t mSceneTop;
    int32_t mSceneRight;
    int32_t mSceneBottom;
    bool mExact1024;
    // Reference units to screen pixels.
    float mScaleX;
    float mScaleY;
    int32_t mWidth;
    int32_t mHeight;
    int32_t mScenePixelWidth;
    int32_t mScenePixelHeight;
    float mTexelOffsetX;
    float mTexelOffsetY;
    int32_t mDepthBits;
    int32_t mStencilBits;
    int32_t mAntialiasing;
    bool mDXT1Supported;
    bool mMipmapsSupported;
    bool mMovieOverlay;
    cTarvelImage* mCursors[kCursorCount];
    cTarvelShaderBinding mWalkArrowBinding;
    cTarvelMobile* mWalkArrow;
    int32_t mCursorKind;
    uint8_t* mTooltipVertices;
    cTarvelText* mTooltipText;
    int32_t mTooltipTextFlag;
    int32_t mTooltipState;
    cTarvelString mTooltipString;
    cTarvelShaderBinding mTooltipBinding;
    cTarvelImage* mBlackScreen;
    cTarvelImage* mGreyScreen;
    cTarvelImage* mWhiteScreen;
    cTarvelImage* mBusy;
    cTarvelImage* mSpare;
    cTarvelImage* mTopBand;
    IDirect3DVertexDeclaration9** mDeclarations;
    bool mSkipPresent;
    // A one-shot view-change flag and the record it guards: selecting a view
    // clears both. Nothing sets the flag yet; the double click across a view
    // change keeps its own stamps in the gameplay controller.
    uint8_t mViewChanged = 0;
    int32_t mViewChangeRecord[4] = {};
    // Frames presented; reported on standard error, never in the log.
    uint32_t mFramesDrawn = 0;

private:
    void ReleaseDefaultPool();
    void RenderMovieLayout();
    void RenderMenuLayout();
    void RenderGameLayout();
    void DispatchRenderItems(const tArray<sRenderItem>& list, cTarvelView* view);
    void DrawCursorImage(int32_t kind);
    void PresentFrame();
};
