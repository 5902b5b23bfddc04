// What is drawn over the finished scene: screen fades, the cross-fade from a
// captured frame, the timed post effect and depth of field.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_graphics";

// Screen-fade modes of the gameplay controller.
enum : int32_t {
    kFadeNone = 0,
    kFadeToBlack = 1,
    kFadeFromBlack = 2,
    kBlack = 3,
    kFadeToWhite = 4,
    kFadeFromWhite = 5,
    kWhite = 6,
    kCrossFadeRequested = 7,
    kCrossFadeRunning = 8,
};

struct sCrossFadeVertex {
    float x, y, z, rhw;
    float u, v;
};

struct sDepthOfFieldVertex {
    float x, y, z, rhw;
    float uv[4][2];
};

// Alpha from a fraction that is not limited to 1: clamped before the
// conversion, as the image would clamp the integer.
int32_t AlphaOf(float value)
{
    if (!(value > 0.0f))
        return 0;
    return value >= 255.0f ? 255 : int32_t(value);
}

} // namespace

void cTarvelGraphics::DrawScreenEffects()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const int32_t mode = gameplay.mFadeState;
    const float fraction = gTarvel.mTimer.SecondsSince(gameplay.mFadeStart, gameplay.mFadeRate);
    if (mode >= kFadeToBlack && mode <= kWhite) {
        cTarvelImage* image = mode <= kBlack ? mBlackScreen : mWhiteScreen;
        if (!image)
            return;
        float alpha = 255.0f;
        bool blended = true;
        switch (mode) {
        case kFadeToBlack:
        case kFadeToWhite:
            alpha = fraction * 255.0f;
            break;
        case kFadeFromBlack:
        case kFadeFromWhite:
            alpha = (1.0f - fraction) * 255.0f;
            break;
        case kBlack:
            blended = false;
            break;
        default:   // held white
            alpha = fraction * 255.0f;
            blended = false;
            break;
        }
        image->SetRect(0.0f, 0.0f, float(mWidth), float(mHeight));
        image->SetAlpha(AlphaOf(alpha));
        image->mBlended = blended;
        image->Draw(true, true);
        image->mBlended = 0;
        return;
    }
    if (mode == kCrossFadeRunning && mCrossFadeTexture) {
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        shaders.UseNamed(3);
        shaders.SetBool(nullptr, "depth", false);
        shaders.SetInt(nullptr, "filter", 1);
        shaders.SetTextureRaw(nullptr, "tex", mCrossFadeTexture);
        shaders.SetFloat(nullptr, "blendv", 1.0f - fraction);
        shaders.Begin();
        mDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        mDevice->SetStreamSource(0, mCrossFadeBuffer, 0, sizeof(sCrossFadeVertex));
        while (shaders.NextPass())
            mDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        shaders.End();
    }
}

bool cTarvelGraphics::ApplyPostEffects()
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    if (mPostEffect.technique) {
        float t = 0.0f;
        if (mTimedPostEffect)
            t = mPostEffectDuration > 0.0f ? (gTarvel.mTimer.mGameSeconds - mPostEffectStart) / mPostEffectDuration
                                           : 2.0f;
        if (gTarvel.mConfig.PostEffects != 0 && mTempTarget && mPostSurface) {
            mDevice->EndScene();
            mDevice->SetRenderTarget(0, mBackBuffer);
            const RECT rect{0, 0, mWidth, mHeight};
            mDevice->StretchRect(mTempTarget, nullptr, mPostSurface, &rect, D3DTEXF_NONE);
            mDevice->BeginScene();
            shaders.Use(&mPostEffect);
            shaders.SetFloat2(&mPostEffect, "texaspect", float(mWidth) / float(mPostWidth),
                              float(mHeight) / float(mPostHeight));
            if (mTimedPostEffect) {
                shaders.SetFloat(&mPostEffect, "time", std::min(t, 1.0f));
                shaders.SetFloat(&mPostEffect, "invtime", std::max(1.0f - t, 0.0f));
            }
            if (mDepthOfField)
                DrawDepthOfFieldQuad(mPostTexture);
            else
                DrawFullScreenQuad(mPostTexture);
        }
        if (mTimedPostEffect && t > 1.0f) {
            mTimedPostEffect = false;
            shaders.ClearBinding(&mPostEffect);
        }
    }
    if (gTarvel.mGameplay.mFadeState == kCrossFadeRequested) {
        mDevice->EndScene();
        InitCrossFade();
        return false;
    }
    return true;
}

void cTarvelGraphics::InitCrossFade()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gameplay.mFadeState = kCrossFadeRunning;
    // A device reset releases the capture texture and its buffer; they are
    // made again on the next cross-fade.
    if (!mCrossFadeTexture) {
        const UINT width = NextTextureSize(1024);
        const UINT height = NextTextureSize(512);
        HRESULT result = D3DXCreateTexture(mDevice, width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                           D3DPOOL_DEFAULT, &mCrossFadeTexture);
        if (FAILED(result))
            result = D3DXCreateTexture(mDevice, width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                       &mCrossFadeTexture);
        if (FAILED(result)) {
            mCrossFadeTexture = nullptr;
            gTarvel.FatalError(1, kSourceFile, 771, "cTarvelGraphics::InitCrossFade",
                               "Temporary render target buffer creation failed.", uint32_t(result));
        }
        if (mCrossFadeSurface)
            mCrossFadeSurface->Release();
        mCrossFadeSurface = nullptr;
        mCrossFadeTexture->GetSurfaceLevel(0, &mCrossFadeSurface);
    }
    if (!mCrossFadeBuffer) {
        const HRESULT result = mDevice->CreateVertexBuffer(4 * sizeof(sCrossFadeVertex), D3DUSAGE_WRITEONLY,
                                                           D3DFVF_XYZRHW | D3DFVF_TEX1, D3DPOOL_MANAGED,
                                                           &mCrossFadeBuffer, nullptr);
        if (FAILED(result)) {
            mCrossFadeBuffer = nullptr;
            gTarvel.FatalError(1, kSourceFile, 777, "cTarvelGraphics::InitCrossFade", "Vertex buffer creation failed.",
                               uint32_t(result));
        }
        const float tx = -mTexelOffsetX;
        const float ty = -mTexelOffsetY;
        const float top = 128.0f * mScaleY;
        const float bottom = 640.0f * mScaleY;
        const float width = float(mWidth);
        const sCrossFadeVertex vertices[4] = {
            {0.0f, bottom, 0.99f, 1.0f, tx, 1.0f + ty},
            {0.0f, top, 0.99f, 1.0f, tx, ty},
            {width, bottom, 0.99f, 1.0f, 1.0f + tx, 1.0f + ty},
            {width, top, 0.99f, 1.0f, 1.0f + tx, ty},
        };
        void* data = nullptr;
        if (SUCCEEDED(mCrossFadeBuffer->Lock(0, 0, &data, 0))) {
            std::memcpy(data, vertices, sizeof vertices);
            mCrossFadeBuffer->Unlock();
        }
    }

    // The scene band of the frame just drawn, at the real resolution.
    const RECT band{0, int32_t(128.0f * mScaleY), mWidth, int32_t(640.0f * mScaleY)};
    // The slower copy takes the band's reference rectangle. That is the
    // band itself only at 1024 x 768; at any other size it would capture
    // another part of the screen, so there the scaled band is kept.
    const RECT reference{mSceneLeft, mSceneTop, mSceneRight, mSceneBottom};
    const RECT& fallback = mExact1024 ? reference : band;
    if (FAILED(mDevice->StretchRect(mBackBuffer, &band, mCrossFadeSurface, nullptr, D3DTEXF_LINEAR)) &&
        FAILED(D3DXLoadSurfaceFromSurface(mCrossFadeSurface, nullptr, nullptr, mBackBuffer, nullptr, &fallback,
                                          D3DX_FILTER_LINEAR, 0)))
        gameplay.mFadeState = kFadeNone;

    if (cTarvelScript* waiter = gameplay.mFadeWaiter) {
        gameplay.mFadeWaiter = nullptr;
        const cTarvelString label = gameplay.mFadeLabel;
        if (gTarvel.IsScriptLive(waiter, gameplay.mFadeWaiterSerial))
            waiter->CallFunction(label.c_str(), nullptr);
        // The blend starts once the new view is set up.
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime;
    }
}

void cTarvelGraphics::ApplyFOD(float blur)
{
    if (!mDepthOfFieldBuffer) {
        const HRESULT result = mDevice->CreateVertexBuffer(4 * sizeof(sDepthOfFieldVertex), D3DUSAGE_WRITEONLY,
                                                           D3DFVF_XYZRHW | D3DFVF_TEX4, D3DPOOL_MANAGED,
                                                           &mDepthOfFieldBuffer, nullptr);
        if (FAILED(result)) {
            mDepthOfFieldBuffer = nullptr;
            gTarvel.FatalError(1, kSourceFile, 818, "cTarvelGraphics::ApplyFOD", "Vertex buffer creation failed.",
                               uint32_t(result));
        }
        // Four samples around each pixel, on the corners of a square whose
        // half-diagonal is the radius.
        const float radius = blur * 0.5f * std::sqrt(3.0f);
        const float du = radius / float(NextTextureSize(1024));
        const float dv = radius / float(NextTextureSize(768));
        const float offsets[4][2] = {{-du, -dv}, {du, -dv}, {-du, dv}, {du, dv}};
        const float corners[4][4] = {
            {0.0f, float(mHeight), 0.0f, 1.0f},
            {0.0f, 0.0f, 0.0f, 0.0f},
            {float(mWidth), float(mHeight), 1.0f, 1.0f},
            {float(mWidth), 0.0f, 1.0f, 0.0f},
        };
        sDepthOfFieldVertex vertices[4];
        for (int i = 0; i < 4; ++i) {
            vertices[i] = sDepthOfFieldVertex{corners[i][0], corners[i][1], 0.0f, 1.0f, {}};
            for (int set = 0; set < 4; ++set) {
                vertices[i].uv[set][0] = corners[i][2] + offsets[set][0];
                vertices[i].uv[set][1] = corners[i][3] + offsets[set][1];
            }
        }
        void* data = nullptr;
        if (SUCCEEDED(mDepthOfFieldBuffer->Lock(0, 0, &data, 0))) {
            std::memcpy(data, vertices, sizeof vertices);
            mDepthOfFieldBuffer->Unlock();
        }
    }
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("post_dof", "dof_world", &mDepthOfFieldBinding, false);
    shaders.LoadShader("post_dof", "post_dof", &mPostEffect, false);
    mTimedPostEffect = false;
    mBlurParameter = blur;
    mDepthOfField = true;
    mFocalTransition = false;
}

void cTarvelGraphics::DrawFullScreenQuad(IDirect3DBaseTexture9* texture)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.SetTextureRaw(nullptr, "screen", texture);
    shaders.Begin();
    mDevice->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    mDevice->SetStreamSource(0, mFullScreenQuad, 0, 20);
    while (shaders.NextPass())
        mDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    shaders.End();
}

void cTarvelGraphics::DrawDepthOfFieldQuad(IDirect3DBaseTexture9* texture)
{
    if (!mDepthOfFieldBuffer)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.SetTextureRaw(nullptr, "screen", texture);
    shaders.Begin();
    mDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX4);
    mDevice->SetStreamSource(0, mDepthOfFieldBuffer, 0, sizeof(sDepthOfFieldVertex));
    while (shaders.NextPass())
        mDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    shaders.End();
}
