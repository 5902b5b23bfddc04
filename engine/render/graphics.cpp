#include "engine/render/graphics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "engine/world/light_set.h"
#include "engine/world/mobile.h"
#include "engine/world/particle.h"
#include "engine/world/scene.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_graphics";

template <class T>
void SafeRelease(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

void DestroyImage(cTarvelImage*& image)
{
    delete image;
    image = nullptr;
}

// The full-screen quad: x, y, z, u, v per vertex, as a triangle strip.
constexpr float kFullScreenQuad[4][5] = {
    {-1.0f, -1.0f, 1.0f, 0.0001f, 1.0001f},
    {-1.0f, 1.0f, 1.0f, 0.0001f, 0.0001f},
    {1.0f, -1.0f, 1.0f, 1.0001f, 1.0001f},
    {1.0f, 1.0f, 1.0f, 1.0001f, 0.0001f},
};

// The per-pixel-lighting layout of mobiles: position, normal and texture
// coordinates in stream 0, tangent and binormal in stream 1.
constexpr D3DVERTEXELEMENT9 kDeclaration0[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    {1, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0},
    D3DDECL_END(),
};

} // namespace

cTarvelGraphics::cTarvelGraphics()
    : mSavedGamma{}, mD3D(nullptr), mDevice(nullptr), mBackBufferDesc{}, mBackBuffer(nullptr),
      mDepthStencil(nullptr), mPresentParameters{}, mCaps{}, mCrossFadeTexture(nullptr),
      mCrossFadeSurface(nullptr), mCrossFadeBuffer(nullptr), mPostTexture(nullptr), mPostSurface(nullptr),
      mTempTarget(nullptr), mFullScreenQuad(nullptr), mTimedPostEffect(false), mPostEffectStart(0.0f),
      mPostEffectDuration(0.0f), mPostWidth(0), mPostHeight(0), mPostEffect{}, mDepthOfField(false),
      mFocalTransition(false), mFocalTransitionStart(0.0f), mFocalTransitionDuration(0.0f), mBlurParameter(0.0f),
      mDepthOfFieldBinding{}, mFocalPlane(0.0f), mFocalTarget(0.0f), mDepthOfFieldBuffer(nullptr), mSceneLeft(0),
      mSceneTop(128), mSceneRight(1024), mSceneBottom(640), mExact1024(false), mScaleX(1.0f), mScaleY(1.0f),
      mWidth(0), mHeight(0), mScenePixelWidth(0), mScenePixelHeight(0), mTexelOffsetX(0.0f), mTexelOffsetY(0.0f),
      mDepthBits(0), mStencilBits(0), mAntialiasing(0), mDXT1Supported(true), mMipmapsSupported(false),
      mMovieOverlay(false), mCursors{}, mWalkArrowBinding{}, mWalkArrow(nullptr), mCursorKind(0),
      mTooltipVertices(nullptr), mTooltipText(nullptr), mTooltipTextFlag(0), mTooltipState(0), mTooltipBinding{},
      mBlackScreen(nullptr), mGreyScreen(nullptr), mWhiteScreen(nullptr), mBusy(nullptr), mSpare(nullptr),
      mTopBand(nullptr), mDeclarations(nullptr), mSkipPresent(false)
{
}

cTarvelGraphics::~cTarvelGraphics()
{
    Shutdown();
}

int cTarvelGraphics::Initialize()
{
    std::printf("Initializing graphics...\n");
    const tTarvelConfig& config = gTarvel.mConfig;

    mBackBuffer = mDepthStencil = nullptr;
    mCrossFadeTexture = nullptr;
    mCrossFadeSurface = nullptr;
    mCrossFadeBuffer = nullptr;
    mPostTexture = nullptr;
    mPostSurface = nullptr;
    mTempTarget = nullptr;
    mFullScreenQuad = nullptr;
    mDepthOfFieldBuffer = nullptr;
    mMovieOverlay = false;
    mSkipPresent = false;
    mAntialiasing = 0;
    mTimedPostEffect = false;
    mPostEffectStart = mPostEffectDuration = 0.0f;
    mDXT1Supported = true;

    mD3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!mD3D)
        gTarvel.FatalError(1, kSourceFile, 205, "cTarvelGraphics::cTarvelGraphics", "Direct3D initialization failed.",
                           uint32_t(D3DERR_NOTAVAILABLE));
    D3DDISPLAYMODE display{};
    HRESULT result = mD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &display);
    if (FAILED(result))
        gTarvel.FatalError(1, kSourceFile, 205, "cTarvelGraphics::cTarvelGraphics", "Direct3D initialization failed.",
                           uint32_t(result));
    mD3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &mCaps);

    mPresentParameters = D3DPRESENT_PARAMETERS{};
    mPresentParameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    mPresentParameters.BackBufferCount = 1;
    mPresentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    mPresentParameters.hDeviceWindow = gTarvel.mWindow;
    mPresentParameters.Windowed = FALSE;
    mPresentParameters.EnableAutoDepthStencil = FALSE;
    mPresentParameters.Flags = 0;

    mWidth = int32_t(config.ScreenRes >> 16);
    mHeight = int32_t(config.ScreenRes & 0xFFFF);
    mExact1024 = config.ScreenRes == 0x04000300u;
    std::printf("Screen resolution is %d x %d.\n", mWidth, mHeight);
    mPresentParameters.BackBufferWidth = UINT(mWidth);
    mPresentParameters.BackBufferHeight = UINT(mHeight);
    mScaleX = float(mWidth) / 1024.0f;
    mScaleY = float(mHeight) / 768.0f;
    mScenePixelWidth = int32_t(mScaleX * 1024.0f);
    mScenePixelHeight = int32_t(mScaleY * 512.0f);
    mSceneLeft = 0;
    mSceneTop = 128;
    mSceneRight = 1024;
    mSceneBottom = 640;

    MoveWindow(gTarvel.mWindow, 0, 0, mWidth + 6, mHeight + 44, TRUE);

    result = mD3D->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display.Format, D3DFMT_A8R8G8B8,
                                          D3DFMT_D24S8);
    if (FAILED(result))
        gTarvel.FatalError(1, kSourceFile, 118, "cTarvelGraphics::cTarvelGraphics",
                           "Direct3D initialization failed. No appropriate Depth/Stencil-Buffer-Format found.",
                           uint32_t(result));
    mDepthBits = 24;
    mStencilBits = 8;
    // The depth surface is made by CreateBuffers, not by the device; the
    // field keeps its format.
    mPresentParameters.AutoDepthStencilFormat = D3DFMT_D24S8;
    std::printf("Depth/Stencil Buffer is D24S8.\n");
    mPresentParameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    const uint32_t setting = config.Antialiasing;
    auto offers = [&](D3DMULTISAMPLE_TYPE type, DWORD* quality) {
        return SUCCEEDED(mD3D->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE,
                                                          type, quality));
    };
    DWORD qualityLevels = 0;
    if (setting == 4 && offers(D3DMULTISAMPLE_4_SAMPLES, nullptr)) {
        mPresentParameters.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
        mAntialiasing = 4;
    } else if (setting == 2 && offers(D3DMULTISAMPLE_2_SAMPLES, nullptr)) {
        mPresentParameters.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
        mAntialiasing = 2;
    } else if (setting != 0 && offers(D3DMULTISAMPLE_NONMASKABLE, &qualityLevels) && qualityLevels > 0) {
        const uint32_t level = setting < qualityLevels ? setting : qualityLevels;
        mPresentParameters.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
        mPresentParameters.MultiSampleQuality = level - 1;
        mAntialiasing = int32_t(level);
    }
    std::printf("AntiAliasing is %d.\n", mAntialiasing);

    mDXT1Supported = SUCCEEDED(mD3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display.Format, 0,
                                                       D3DRTYPE_TEXTURE, D3DFMT_DXT1));
    mMipmapsSupported = (mCaps.TextureCaps & D3DPTEXTURECAPS_MIPMAP) != 0;
    mPresentParameters.SwapEffect = mAntialiasing == 0 ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;

    result = mD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, gTarvel.mWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &mPresentParameters, &mDevice);
    if (FAILED(result)) {
        mDevice = nullptr;
        gTarvel.FatalError(1, kSourceFile, 205, "cTarvelGraphics::cTarvelGraphics", "Direct3D initialization failed.",
                           uint32_t(result));
    }

    if (config.PostEffects != 0 &&
        (mCaps.TextureCaps & (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) != 0) {
        mPostWidth = int32_t(NextTextureSize(mWidth));
        mPostHeight = int32_t(NextTextureSize(mHeight));
    } else {
        mPostWidth = mWidth;
        mPostHeight = mHeight;
    }
    std::printf("PostProcess Surface is %d x %d.\n", mPostWidth, mPostHeight);

    mDevice->GetGammaRamp(0, &mSavedGamma);
    CreateBuffers();
    SetDeviceParams();

    mTooltipVertices = static_cast<uint8_t*>(std::calloc(1, 120));
    mTooltipText = nullptr;
    mTexelOffsetX = -0.5f / float(mWidth);
    mTexelOffsetY = -0.5f / float(mHeight);
    CreateVertexDeclaration();

    result = mDevice->CreateVertexBuffer(sizeof kFullScreenQuad, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_TEX1,
                                         D3DPOOL_MANAGED, &mFullScreenQuad, nullptr);
    if (FAILED(result)) {
        mFullScreenQuad = nullptr;
        gTarvel.FatalError(1, kSourceFile, 205, "cTarvelGraphics::cTarvelGraphics", "Direct3D initialization failed.",
                           uint32_t(result));
    }
    void* data = nullptr;
    if (SUCCEEDED(mFullScreenQuad->Lock(0, 0, &data, 0))) {
        std::memcpy(data, kFullScreenQuad, sizeof kFullScreenQuad);
        mFullScreenQuad->Unlock();
    }
    return 0;
}

void cTarvelGraphics::SetDeviceParams()
{
    SafeRelease(mBackBuffer);
    HRESULT result = mDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &mBackBuffer);
    if (SUCCEEDED(result))
        result = mBackBuffer->GetDesc(&mBackBufferDesc);
    if (SUCCEEDED(result))
        result = mDevice->SetDepthStencilSurface(mDepthStencil);
    if (FAILED(result))
        gTarvel.FatalError(1, kSourceFile, 372, "cTarvelGraphics::SetDeviceParams", "Setting device params failed.",
                           uint32_t(result));

    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    mDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    mDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);

    mDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    mDevice->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    mDevice->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    mDevice->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    mDevice->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    mDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    mDevice->SetRenderState(D3DRS_ALPHAREF, 4);
    mDevice->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);

    D3DMATERIAL9 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 0.0f};
    mDevice->SetMaterial(&material);
}

void cTarvelGraphics::CreateBuffers()
{
    const tTarvelConfig& config = gTarvel.mConfig;
    HRESULT result = mDevice->CreateDepthStencilSurface(
        UINT(mWidth), UINT(mHeight), mPresentParameters.AutoDepthStencilFormat, mPresentParameters.MultiSampleType,
        mPresentParameters.MultiSampleQuality, TRUE, &mDepthStencil, nullptr);
    if (result != D3D_OK) {
        mDepthStencil = nullptr;
        gTarvel.FatalError(1, kSourceFile, 223, "cTarvelGraphics::CreateBuffers",
                           "Depth/Stencil surface creation failed.", uint32_t(result));
    }
    if (config.PostEffects != 0) {
        result = mDevice->CreateRenderTarget(UINT(mWidth), UINT(mHeight), D3DFMT_A8R8G8B8,
                                             mPresentParameters.MultiSampleType, mPresentParameters.MultiSampleQuality,
                                             FALSE, &mTempTarget, nullptr);
        if (FAILED(result)) {
            mTempTarget = nullptr;
            gTarvel.FatalError(1, kSourceFile, 227, "cTarvelGraphics::CreateBuffers",
                               "Temporary render target buffer creation failed.", uint32_t(result));
        }
        result = D3DXCreateTexture(mDevice, UINT(mPostWidth), UINT(mPostHeight), 1, D3DUSAGE_RENDERTARGET,
                                   D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &mPostTexture);
        if (FAILED(result)) {
            mPostTexture = nullptr;
            gTarvel.FatalError(1, kSourceFile, 230, "cTarvelGraphics::CreateBuffers",
                               "Post processing texture creation failed.", uint32_t(result));
        }
        mPostTexture->GetSurfaceLevel(0, &mPostSurface);
    }
    ApplyGamma();
}

void cTarvelGraphics::ApplyGamma()
{
    const float factor = float(gTarvel.mConfig.Gamma) / 255.0f + 0.5f;
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i) {
        uint32_t v = uint32_t(float(i) * factor);
        if (v > 255)
            v = 255;
        const WORD entry = WORD(v << 8);
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = entry;
    }
    if (mDevice)
        mDevice->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
}

void cTarvelGraphics::CreateVertexDeclaration()
{
    if (mDeclarations) {
        SafeRelease(mDeclarations[0]);
        std::free(mDeclarations);
        mDeclarations = nullptr;
    }
    mDeclarations = static_cast<IDirect3DVertexDeclaration9**>(std::calloc(1, sizeof(IDirect3DVertexDeclaration9*)));
    if (mDeclarations)
        mDevice->CreateVertexDeclaration(kDeclaration0, &mDeclarations[0]);
}

void cTarvelGraphics::SetVertexDeclaration(int index)
{
    // Only entry 0 exists.
    if (mDeclarations && index == 0)
        mDevice->SetVertexDeclaration(mDeclarations[index]);
}

void cTarvelGraphics::ReleaseDefaultPool()
{
    SafeRelease(mBackBuffer);
    SafeRelease(mTempTarget);
    SafeRelease(mPostSurface);
    SafeRelease(mPostTexture);
    SafeRelease(mCrossFadeSurface);
    SafeRelease(mCrossFadeTexture);
    SafeRelease(mCrossFadeBuffer);
    SafeRelease(mDepthStencil);
}

void cTarvelGraphics::Reset()
{
    if (!mDevice)
        return;
    ReleaseDefaultPool();
    // Particle buffers live in the default pool too.
    if (gTarvel.mScene)
        for (cTarvelParticle* particle : gTarvel.mScene->mParticles)
            particle->ReleaseDeviceObjects();
    gTarvel.mLights.ReleaseDeviceObjects();
    gTarvel.mShaders.OnLostDevice();
    if (mDevice->Reset(&mPresentParameters) != D3D_OK)
        return;
    CreateBuffers();
    SetDeviceParams();
    if (gTarvel.mScene)
        for (cTarvelParticle* particle : gTarvel.mScene->mParticles)
            particle->RestoreDeviceObjects();
    gTarvel.mShaders.OnResetDevice();
    gTarvel.mLights.InvalidateShadows();
}

void cTarvelGraphics::BeginSceneTarget()
{
    IDirect3DSurface9* target =
        mPostEffect.technique && gTarvel.mConfig.PostEffects != 0 && mTempTarget ? mTempTarget : mBackBuffer;
    mDevice->SetRenderTarget(0, target);
    mDevice->SetDepthStencilSurface(mDepthStencil);
    mDevice->BeginScene();
}

void cTarvelGraphics::ShowStartScreen()
{
    auto* image = new cTarvelImage(false);
    if (image->ReadFile("start") == 0) {
        image->SetColormap(1.1f);
        image->mDepthOff = 1;
        mDevice->SetRenderTarget(0, mBackBuffer);
        mDevice->SetDepthStencilSurface(mDepthStencil);
        mDevice->BeginScene();
        mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        image->Draw(false, true);
        mDevice->EndScene();
        mDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }
    delete image;
}

void cTarvelGraphics::SaveScreenshot(const char* fileName)
{
    if (!mDevice)
        return;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(mDevice->CreateOffscreenPlainSurface(UINT(mWidth), UINT(mHeight), D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                    &surface, nullptr)))
        return;
    if (SUCCEEDED(mDevice->GetFrontBufferData(0, surface)))
        D3DXSaveSurfaceToFileA(fileName, D3DXIFF_BMP, surface, nullptr, nullptr);
    surface->Release();
}

void cTarvelGraphics::Shutdown()
{
    if (mDevice)
        mDevice->SetGammaRamp(0, D3DSGR_CALIBRATE, &mSavedGamma);
    if (mDeclarations) {
        SafeRelease(mDeclarations[0]);
        std::free(mDeclarations);
        mDeclarations = nullptr;
    }
    for (int i = 0; i < kCursorCount - 1; ++i)
        DestroyImage(mCursors[i]);
    DestroyImage(mTopBand);
    DestroyImage(mBlackScreen);
    DestroyImage(mGreyScreen);
    DestroyImage(mWhiteScreen);
    DestroyImage(mBusy);
    DestroyImage(mSpare);
    std::free(mTooltipVertices);
    mTooltipVertices = nullptr;
    // The text object itself belongs to the font manager.
    mTooltipText = nullptr;
    delete mWalkArrow;
    mWalkArrow = nullptr;
    if (mFramesDrawn > 0) {
        std::fprintf(stderr, "%u frames drawn\n", mFramesDrawn);
        mFramesDrawn = 0;
    }
    SafeRelease(mDepthOfFieldBuffer);
    SafeRelease(mCrossFadeSurface);
    SafeRelease(mCrossFadeTexture);
    SafeRelease(mCrossFadeBuffer);
    SafeRelease(mTempTarget);
    SafeRelease(mPostSurface);
    SafeRelease(mPostTexture);
    SafeRelease(mFullScreenQuad);
    SafeRelease(mDepthStencil);
    SafeRelease(mBackBuffer);
    SafeRelease(mDevice);
    SafeRelease(mD3D);
}
