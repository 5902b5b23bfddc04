#include "engine/render/graphics.h"

#include <filesystem>
#include <string>

#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "platform/win32/win32.h"

namespace fs = std::filesystem;
namespace pt = platform::testing;

namespace {

class GraphicsTest : public RenderTest {
protected:
    static cTarvelGraphics& Graphics() { return gTarvel.mGraphics; }

    // The graphics step alone, on the configuration as the test set it
    // (1024 x 768 when it set no screen mode).
    void InitializeGraphics()
    {
        if (gTarvel.mConfig.ScreenRes == 0)
            gTarvel.mConfig.ScreenRes = 0x04000300;
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        gTarvel.mWindow = gMainWindow;
        ASSERT_EQ(Graphics().Initialize(), 0);
    }

    static DWORD RenderState(D3DRENDERSTATETYPE state)
    {
        DWORD value = 0xDEADBEEF;
        Graphics().mDevice->GetRenderState(state, &value);
        return value;
    }

    static void ExpectFixedStates()
    {
        EXPECT_EQ(RenderState(D3DRS_LIGHTING), 0u);
        EXPECT_EQ(RenderState(D3DRS_ZENABLE), 1u);
        EXPECT_EQ(RenderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESS));
        EXPECT_EQ(RenderState(D3DRS_ALPHATESTENABLE), 1u);
        EXPECT_EQ(RenderState(D3DRS_ALPHAFUNC), DWORD(D3DCMP_GREATER));
        EXPECT_EQ(RenderState(D3DRS_ALPHAREF), 4u);
        EXPECT_EQ(RenderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
        EXPECT_EQ(RenderState(D3DRS_AMBIENT), 0xFFFFFFFFu);
        DWORD op = 0;
        Graphics().mDevice->GetTextureStageState(0, D3DTSS_COLOROP, &op);
        EXPECT_EQ(op, DWORD(D3DTOP_MODULATE));
        DWORD filter = 0;
        Graphics().mDevice->GetSamplerState(0, D3DSAMP_MINFILTER, &filter);
        EXPECT_EQ(filter, DWORD(D3DTEXF_LINEAR));
        IDirect3DSurface9* depth = nullptr;
        ASSERT_EQ(Graphics().mDevice->GetDepthStencilSurface(&depth), D3D_OK);
        EXPECT_EQ(depth, Graphics().mDepthStencil);
        depth->Release();
    }
};

TEST_F(GraphicsTest, DeviceFollowsTheConfiguration)
{
    struct Case {
        uint32_t screenRes;
        uint32_t antialiasing;
        bool refuseFour;           // the profile offers no 4x, but 3 non-maskable levels
        int width, height;
        float scaleX, scaleY;
        int sceneWidth, sceneHeight;
        bool exact;
        int level;
        D3DMULTISAMPLE_TYPE type;
        DWORD quality;
        D3DSWAPEFFECT swap;
    };
    const Case cases[] = {
        {0x04000300, 0, false, 1024, 768, 1.0f, 1.0f, 1024, 512, true, 0, D3DMULTISAMPLE_NONE, 0,
         D3DSWAPEFFECT_COPY},
        {0x05000400, 2, false, 1280, 1024, 1.25f, 1024.0f / 768.0f, 1280, 682, false, 2,
         D3DMULTISAMPLE_2_SAMPLES, 0, D3DSWAPEFFECT_DISCARD},
        {0x04000300, 4, true, 1024, 768, 1.0f, 1.0f, 1024, 512, true, 3, D3DMULTISAMPLE_NONMASKABLE, 2,
         D3DSWAPEFFECT_DISCARD},
        {0x04000300, 4, false, 1024, 768, 1.0f, 1.0f, 1024, 512, true, 4, D3DMULTISAMPLE_4_SAMPLES, 0,
         D3DSWAPEFFECT_DISCARD},
    };
    for (const Case& c : cases) {
        RebuildEngine();
        pt::AdapterProfile profile = pt::DefaultAdapterProfile();
        if (c.refuseFour)
            profile.multiSample = {{D3DMULTISAMPLE_2_SAMPLES, 1}, {D3DMULTISAMPLE_NONMASKABLE, 3}};
        pt::SetAdapterProfile(profile);
        gTarvel.mConfig.ScreenRes = c.screenRes;
        gTarvel.mConfig.Antialiasing = c.antialiasing;
        const size_t before = Log().size();
        InitializeGraphics();
        const cTarvelGraphics& g = Graphics();
        EXPECT_EQ(g.mWidth, c.width);
        EXPECT_EQ(g.mHeight, c.height);
        EXPECT_FLOAT_EQ(g.mScaleX, c.scaleX);
        EXPECT_FLOAT_EQ(g.mScaleY, c.scaleY);
        EXPECT_EQ(g.mScenePixelWidth, c.sceneWidth);
        EXPECT_EQ(g.mScenePixelHeight, c.sceneHeight);
        EXPECT_EQ(g.mExact1024, c.exact);
        EXPECT_EQ(g.mAntialiasing, c.level);
        EXPECT_EQ(g.mPresentParameters.MultiSampleType, c.type);
        EXPECT_EQ(g.mPresentParameters.MultiSampleQuality, c.quality);
        EXPECT_EQ(g.mPresentParameters.SwapEffect, c.swap);
        EXPECT_EQ(g.mPresentParameters.BackBufferFormat, D3DFMT_A8R8G8B8);
        EXPECT_EQ(g.mPresentParameters.PresentationInterval, D3DPRESENT_INTERVAL_ONE);
        EXPECT_FLOAT_EQ(g.mTexelOffsetX, -0.5f / float(c.width));
        const std::string expected = "Initializing graphics...\nScreen resolution is " + std::to_string(c.width) +
                                     " x " + std::to_string(c.height) + ".\nDepth/Stencil Buffer is D24S8.\n" +
                                     "AntiAliasing is " + std::to_string(c.level) + ".\n";
        EXPECT_EQ(Log().substr(before, expected.size()), expected);
        RECT window{};
        GetWindowRect(gMainWindow, &window);
        EXPECT_EQ(window.right - window.left, c.width + 6);
        EXPECT_EQ(window.bottom - window.top, c.height + 44);
        ExpectFixedStates();
    }
}

TEST_F(GraphicsTest, PostEffectsDecideTheRenderTargets)
{
    for (uint32_t post : {1u, 0u}) {
        RebuildEngine();
        gTarvel.mConfig.ScreenRes = 0x05000400;
        gTarvel.mConfig.PostEffects = post;
        const size_t before = Log().size();
        InitializeGraphics();
        const cTarvelGraphics& g = Graphics();
        EXPECT_EQ(g.mTempTarget != nullptr, post != 0);
        EXPECT_EQ(g.mPostTexture != nullptr, post != 0);
        const int w = post ? 2048 : 1280, h = post ? 1024 : 1024;
        EXPECT_EQ(g.mPostWidth, w);
        EXPECT_EQ(g.mPostHeight, h);
        const std::string line = "PostProcess Surface is " + std::to_string(w) + " x " + std::to_string(h) + ".\n";
        EXPECT_NE(Log().find(line, before), std::string::npos);
    }
}

TEST_F(GraphicsTest, GammaRampFromTheSetting)
{
    struct Case {
        uint32_t gamma;
        int index;
        WORD entry;
    };
    const Case cases[] = {
        {0, 255, 127 * 256},   // factor 0.5
        {255, 170, 255 * 256}, // factor 1.5: 255 from 170 on
        {255, 169, 253 * 256},
        {127, 255, 254 * 256}, // factor 0.998...
        {127, 1, 0},
    };
    InitializeGraphics();
    for (const Case& c : cases) {
        gTarvel.mConfig.Gamma = c.gamma;
        Graphics().ApplyGamma();
        D3DGAMMARAMP ramp{};
        Graphics().mDevice->GetGammaRamp(0, &ramp);
        EXPECT_EQ(ramp.red[c.index], c.entry) << c.gamma << " " << c.index;
        EXPECT_EQ(ramp.blue[c.index], c.entry);
    }
}

TEST_F(GraphicsTest, FailuresAreFatalWithTheirTexts)
{
    struct Case {
        const char* name;
        void (*setUp)();
        const char* message;
    };
    const Case cases[] = {
        {"creation", [] { pt::FailCreateDevice(D3DERR_NOTAVAILABLE); }, "Direct3D initialization failed."},
        {"depth format",
         [] {
             pt::AdapterProfile profile = pt::DefaultAdapterProfile();
             profile.depthFormats = {D3DFMT_D16};
             pt::SetAdapterProfile(profile);
         },
         "Direct3D initialization failed. No appropriate Depth/Stencil-Buffer-Format found."},
        {"no such mode", [] { gTarvel.mConfig.ScreenRes = 0x01230045; }, "Direct3D initialization failed."},
    };
    for (const Case& c : cases) {
        RebuildEngine();
        pt::ResetD3D9();
        c.setUp();
        const std::string text = CatchFatalError([&] { InitializeGraphics(); });
        EXPECT_NE(text.find(c.message), std::string::npos) << c.name << ": " << text;
        EXPECT_NE(text.find("cTarvelGraphics::cTarvelGraphics"), std::string::npos) << text;
    }
}

TEST_F(GraphicsTest, LostDeviceIsResetWithEveryDefaultPoolObjectRebuilt)
{
    StartWith(nullptr);
    // The effect and the device's bindings hold the splash picture's
    // texture and quad until told otherwise; a reset drops the bindings.
    IDirect3DDevice9* device = Graphics().mDevice;
    gTarvel.mShaders.SetTexture(&gTarvel.mShaders.mNamed[0], "tex", nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    for (DWORD stage = 0; stage < 8; ++stage)
        device->SetTexture(stage, nullptr);
    const int live = pt::LiveD3D9Objects();
    // The states go back to their defaults on reset; ours must be set again.
    device->SetRenderState(D3DRS_ALPHAREF, 99);

    pt::SetCooperativeLevel(D3DERR_DEVICELOST);
    gTarvel.RunPass();
    EXPECT_EQ(pt::DeviceResetCount(), 0);
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    gTarvel.RunPass();
    EXPECT_EQ(pt::DeviceResetCount(), 1);
    // The reset succeeded only because nothing of the default pool was kept.
    EXPECT_EQ(pt::CooperativeLevel(), D3D_OK);
    EXPECT_NE(Graphics().mTempTarget, nullptr);
    EXPECT_NE(Graphics().mPostSurface, nullptr);
    EXPECT_NE(Graphics().mBackBuffer, nullptr);
    ExpectFixedStates();
    EXPECT_EQ(pt::LiveD3D9Objects(), live);
    ID3DXEffect* effect = gTarvel.mShaders.mNamed[0].shader->mEffect;
    EXPECT_EQ(pt::EffectState(effect).lostCount, 0);

    // A reset that fails leaves the objects released until a later pass.
    IDirect3DSurface9* held = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &held, nullptr),
              D3D_OK);
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    gTarvel.RunPass();
    EXPECT_EQ(Graphics().mTempTarget, nullptr);
    EXPECT_EQ(pt::CooperativeLevel(), D3DERR_DEVICENOTRESET);
    held->Release();
    gTarvel.RunPass();
    EXPECT_EQ(pt::CooperativeLevel(), D3D_OK);
    EXPECT_NE(Graphics().mTempTarget, nullptr);
    EXPECT_EQ(pt::LiveD3D9Objects(), live);
}

TEST_F(GraphicsTest, StartScreenIsDrawnOnceAndShutdownLeavesNothing)
{
    pt::RecordDraws(true);
    StartWith(nullptr);
    const std::vector<pt::DrawRecord> draws = pt::RecordedDraws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].technique, "image_basic");
    EXPECT_EQ(draws[0].primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draws[0].renderTarget, Graphics().mBackBuffer);
    EXPECT_EQ(pt::PresentCount(), 1);

    gTarvel.Shutdown();
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    EXPECT_EQ(pt::LiveD3DX9Objects(), 0);
}

// The screenshot is the front buffer as a bitmap of the screen's size.
// Until the device draws for real, what it can be known to hold is what a
// clear put there: the whole frame in one colour and a band at the top in
// another, so a picture stored upside down shows too.
TEST_F(GraphicsTest, ScreenshotIsThePresentedFrameAtTheScreenSize)
{
    const struct {
        DWORD screenRes;
        int32_t width, height;
    } cases[] = {{0x04000300, 1024, 768}, {0x05000400, 1280, 1024}};
    constexpr D3DCOLOR kFrame = 0xFF336699u;
    constexpr D3DCOLOR kBand = 0xFFCC2211u;
    constexpr LONG kBandRows = 16;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        RebuildEngine();
        gTarvel.mConfig.ScreenRes = c.screenRes;
        InitializeGraphics();
        IDirect3DDevice9* device = Graphics().mDevice;
        device->SetRenderTarget(0, Graphics().mBackBuffer);
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kFrame, 1.0f, 0);
        const D3DRECT band{0, 0, c.width, kBandRows};
        device->Clear(1, &band, D3DCLEAR_TARGET, kBand, 1.0f, 0);
        device->EndScene();
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        // What is drawn after the present is not in the picture.
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        device->EndScene();

        Graphics().SaveScreenshot("shot.bmp");
        const std::string file = ReadFileText(WorkDir() / "shot.bmp");
        ASSERT_GE(file.size(), 54u);
        auto u32 = [&](size_t at) {
            return uint32_t(uint8_t(file[at])) | uint32_t(uint8_t(file[at + 1])) << 8 |
                   uint32_t(uint8_t(file[at + 2])) << 16 | uint32_t(uint8_t(file[at + 3])) << 24;
        };
        ASSERT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(u32(18), uint32_t(c.width));
        EXPECT_EQ(u32(22), uint32_t(c.height)) << "bottom-up rows";
        const uint32_t bits = u32(28) & 0xFFFF;
        ASSERT_TRUE(bits == 24 || bits == 32) << bits;
        const size_t bytes = bits / 8;
        const size_t stride = (size_t(c.width) * bytes + 3) & ~size_t(3);
        const size_t offset = u32(10);
        ASSERT_EQ(file.size(), offset + stride * size_t(c.height));
        int wrong = 0;
        for (int32_t y = 0; y < c.height; ++y) {
            const size_t row = offset + stride * size_t(c.height - 1 - y);
            const D3DCOLOR expected = y < kBandRows ? kBand : kFrame;
            for (int32_t x = 0; x < c.width; ++x) {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(file.data()) + row + size_t(x) * bytes;
                const D3DCOLOR rgb = D3DCOLOR(p[0]) | D3DCOLOR(p[1]) << 8 | D3DCOLOR(p[2]) << 16;
                if (rgb != (expected & 0xFFFFFFu) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << rgb;
            }
        }
        EXPECT_EQ(wrong, 0);
        Graphics().Shutdown();
    }
}

} // namespace
