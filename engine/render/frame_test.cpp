// The frame as the recording device sees it: the render list in depth order
// and each kind at its drawer, the stages, depth of field, the fades, the
// cross-fade, the timed post effect, the layouts and the light passes.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/gameplay/control.h"
#include "engine/render/flashlight.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "engine/render/shadow.h"
#include "engine/render/video.h"
#include "engine/world/mobile.h"
#include "engine/world/particle.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/win32/win32.h"
#include "tools/shaderlib_writer.h"

namespace pt = platform::testing;

namespace {

void SetSetting(const char* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

// Stand-in world objects draw a point list whose primitive count is their
// id, so the recording shows which object was drawn when.
float gPoints[64][4];
struct sDrawn {
    int id;
    const cTarvelShaderBinding* extra;
};
std::vector<sDrawn> gDrawn;

void Mark(int id)
{
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    device->SetFVF(D3DFVF_XYZRHW);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, UINT(id), gPoints, 16);
}

class TestMobile : public cTarvelMobile {
public:
    explicit TestMobile(int id) : mId(id) {}
    int Draw(const D3DXMATRIX*, bool, const cTarvelShaderBinding* extra, int, int, bool) override
    {
        gDrawn.push_back({mId, extra});
        Mark(mId);
        return 0;
    }
    int mId;
};

class TestParticle : public cTarvelParticle {
public:
    explicit TestParticle(int id) : mId(id) {}
    int Render() override
    {
        Mark(mId);
        return 0;
    }
    int mId;
};

// Draws the id held by the item it is handed.
class TestView : public cTarvelView {
public:
    void Render(void* item) override { Mark(*static_cast<int*>(item)); }
};

class TestControl : public cTarvelControl {
public:
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override
    {
        for (const sRenderItem& item : mItems[stage])
            list.Add(item);
    }
    tArray<sRenderItem> mItems[2];
};

const std::vector<std::string> kImageTechniques = {"image_basic", "image_blended", "image_blended_nozwrite",
                                                   "image_blended_noalpha"};

// A scene that hands out fixed render items per stage, so the frame's
// ordering is tested without scene content.
class StandInScene : public cTarvelScene {
public:
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override
    {
        for (const sRenderItem& item : mStandInItems[stage == 0 ? 0 : 1])
            list.Add(item);
    }
    tArray<sRenderItem> mStandInItems[2];
};

class FrameTest : public RenderTest {
protected:
    void TearDown() override
    {
        gTarvel.mScene = nullptr;
        gActiveControls.Clear();
        delete gTarvel.mMovie;
        gTarvel.mMovie = nullptr;
        gDrawn.clear();
        pt::RecordDraws(false);
        RenderTest::TearDown();
    }

    // Starts the engine at a resolution, with effects that declare the
    // parameters the frame sets.
    void Start(DWORD screenRes = 0x04000300, DWORD postEffects = 1)
    {
        SetSetting("ScreenRes", screenRes);
        SetSetting("PostEffects", postEffects);
        StartWith([](testkit::ArchiveWriter& writer) {
            auto text = [](const std::string& declarations, const std::vector<std::string>& techniques) {
                const std::string source = declarations + testkit::MinimalEffectSource(techniques);
                return testkit::Bytes(source.begin(), source.end());
            };
            writer.AddShared(1, "image_basic.fx", 0, text("float blendv = 0;\n", kImageTechniques), true);
            writer.AddShared(1, "post_dof.fx", 0,
                             text("float4 focalplane;\nfloat2 texaspect;\nfloat time = -1;\nfloat invtime = -1;\n"
                                  "texture screen;\n",
                                  {"dof_world", "post_dof"}),
                             true);
            writer.AddShared(1, "interface.fx", 0,
                             text("float4x4 walkarrowmat;\nfloat2 pixsize;\n", {"ui_walkarrow", "ui_tooltip"}),
                             true);
        });
        gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled;
        gTarvel.mGameplay.mMouseX = 300;
        gTarvel.mGameplay.mMouseY = 200;
        gTarvel.mScene = &mScene;
        pt::RecordDraws(true);
    }

    static cTarvelGraphics& Graphics() { return gTarvel.mGraphics; }

    // The draws of the next frame.
    std::vector<pt::DrawRecord> Frame()
    {
        pt::ClearRecordedDraws();
        Graphics().RenderFrame();
        return pt::RecordedDraws();
    }

    // The ids of the marker draws and "I<n>" for images (their frame
    // texture matched against the given images), in order.
    static std::vector<std::string> Sequence(const std::vector<pt::DrawRecord>& draws,
                                             const std::vector<std::pair<std::string, cTarvelImage*>>& images)
    {
        std::vector<std::string> out;
        for (const pt::DrawRecord& d : draws) {
            if (d.primitiveType == D3DPT_POINTLIST) {
                out.push_back(std::to_string(d.primitiveCount));
                continue;
            }
            std::string name = "?";
            for (const auto& [label, image] : images)
                if (image && d.textures[0] == image->GetCurrentFrame())
                    name = label;
            out.push_back(name);
        }
        return out;
    }

    static uint32_t AlphaOf(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        uint32_t color = 0;
        std::memcpy(&color, static_cast<uint8_t*>(data) + 16, 4);
        image->mVertexBuffer->Unlock();
        return color >> 24;
    }

    StandInScene mScene;
};

TEST_F(FrameTest, GameLayoutDrawsTheListFarToNearThenTheInterface)
{
    Start();
    TestMobile mobileA(1);
    TestMobile mobileB(4);
    TestParticle particle(2);
    TestView view;
    int viewItem = 3;
    mScene.mView = &view;
    cTarvelImage picture(false);
    ASSERT_EQ(picture.ReadFile("grey80"), 0);
    TestControl control;
    mScene.mStandInItems[0].Add({5.0f, &mobileA, 2});
    mScene.mStandInItems[0].Add({9.0f, &particle, 3});
    mScene.mStandInItems[0].Add({5.0f, &viewItem, 4});
    mScene.mStandInItems[0].Add({7.0f, &picture, 1});
    mScene.mStandInItems[0].Add({3.0f, &mobileA, 5});   // unknown kind: skipped
    control.mItems[0].Add({8.0f, &mobileB, 2});
    gActiveControls.Add(&control);

    // Far to near, the particle system (key 9) after the others: it blends
    // over what they drew.
    const int presents = pt::PresentCount();
    const auto draws = Frame();
    EXPECT_EQ(Sequence(draws, {{"picture", &picture}, {"band", Graphics().mTopBand},
                               {"cursor", Graphics().mCursors[0]}}),
              (std::vector<std::string>{"4", "picture", "1", "3", "2", "band", "cursor"}));
    EXPECT_EQ(pt::PresentCount(), presents + 1);
    for (const sDrawn& d : gDrawn)
        EXPECT_EQ(d.extra, nullptr);

    // The cursor's corner sits on the mouse less its pointer offset; a
    // cursor kind without an image draws nothing, kind 12 no cursor.
    cTarvelImage* ring = Graphics().mCursors[3];
    Graphics().mCursorKind = 3;
    auto withRing = Sequence(Frame(), {{"ring", ring}});
    EXPECT_EQ(withRing.back(), "ring");
    void* data = nullptr;
    ASSERT_EQ(ring->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const float* topLeft = reinterpret_cast<const float*>(static_cast<uint8_t*>(data) + ring->VertexStride());
    EXPECT_FLOAT_EQ(topLeft[0], float(300 - ring->mHeader.x) - 0.5f / 1024.0f);
    EXPECT_FLOAT_EQ(topLeft[1], float(200 - ring->mHeader.y) - 0.5f / 768.0f);
    ring->mVertexBuffer->Unlock();
    for (int kind : {11, 12, 40}) {
        Graphics().mCursorKind = kind;
        EXPECT_EQ(Sequence(Frame(), {{"band", Graphics().mTopBand}}).back(), "band") << kind;
    }
    // The walk arrow without a player mobile draws nothing.
    Graphics().mCursorKind = 1;
    EXPECT_EQ(Sequence(Frame(), {{"band", Graphics().mTopBand}}).back(), "band");

    // A blocked interface hides the cursor; a pending load shows the busy image.
    Graphics().mCursorKind = 0;
    gTarvel.mGameplay.mStateFlags |= cTarvelGameplay::kWalkingToObject;
    gTarvel.mLoadRequest = 1;
    EXPECT_EQ(Sequence(Frame(), {{"busy", Graphics().mBusy}}).back(), "busy");
    gTarvel.mLoadRequest = 0;
}

TEST_F(FrameTest, NoActorsViewsAndTheDepthOfFieldPass)
{
    Start();
    TestView noActors;
    noActors.mNoActors = true;
    TestMobile first(1);
    mScene.mView = &noActors;
    mScene.mStandInItems[0].Add({4.0f, &first, 2});
    Graphics().ApplyFOD(2.0f);
    ASSERT_NE(Graphics().mDepthOfFieldBinding.technique, nullptr);
    // A focal transition from 10 to 20 over 2 s, half-way.
    Graphics().mFocalPlane = 10.0f;
    Graphics().mFocalTarget = 20.0f;
    Graphics().mFocalTransition = true;
    Graphics().mFocalTransitionStart = gTarvel.mTimer.mGameSeconds - 1.0f;
    Graphics().mFocalTransitionDuration = 2.0f;

    Frame();
    // Not drawn in its stage, but drawn again through the blur binding.
    ASSERT_EQ(gDrawn.size(), 1u);
    EXPECT_EQ(gDrawn[0].id, 1);
    EXPECT_EQ(gDrawn[0].extra, &Graphics().mDepthOfFieldBinding);
    EXPECT_EQ(Floats(Graphics().mDepthOfFieldBinding.shader->mEffect, "focalplane"),
              (std::vector<float>{0.0f, 0.0f, 1.0f, -15.0f}));
    DWORD writes = 0;
    Graphics().mDevice->GetRenderState(D3DRS_COLORWRITEENABLE, &writes);
    EXPECT_EQ(writes, DWORD(D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_BLUE));

    // Past the end of the transition the plane takes the target.
    gTarvel.mTimer.mGameSeconds += 1.5f;
    Frame();
    EXPECT_FALSE(Graphics().mFocalTransition);
    EXPECT_FLOAT_EQ(Graphics().mFocalPlane, 20.0f);

    // With a second stage, stage 0's items are dropped and only stage 1's
    // mobiles get the depth-of-field pass; the control's items come first.
    TestView second;
    TestMobile sceneMobile(2);
    TestMobile controlMobile(3);
    TestControl control;
    mScene.mSecondView = &second;
    mScene.mStandInItems[1].Add({1.0f, &sceneMobile, 2});
    control.mItems[1].Add({1.0f, &controlMobile, 2});
    gActiveControls.Add(&control);
    gDrawn.clear();
    Frame();
    std::vector<std::pair<int, bool>> seen;
    for (const sDrawn& d : gDrawn)
        seen.push_back({d.id, d.extra != nullptr});
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{3, false}, {2, false}, {3, true}, {2, true}}));
}

TEST_F(FrameTest, FadesFollowTheClockAtEveryResolution)
{
    struct Case {
        int32_t mode;
        DWORD elapsedMs;
        float rate;
        uint32_t alpha;
        bool white;
        bool blended;
    };
    const Case cases[] = {
        {1, 1000, 0.5f, 127, false, true}, {1, 2000, 0.5f, 255, false, true}, {1, 9000, 0.5f, 255, false, true},
        {2, 1000, 0.5f, 127, false, true}, {2, 3000, 0.5f, 0, false, true},   {3, 0, 1.0f, 255, false, false},
        {4, 250, 1.0f, 63, true, true},    {5, 250, 1.0f, 191, true, true},   {6, 5000, 1.0f, 255, true, false},
    };
    for (DWORD screenRes : {DWORD(0x04000300), DWORD(0x05000400)}) {
        Start(screenRes);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(screenRes) + " mode " + std::to_string(c.mode));
            cTarvelGameplay& gameplay = gTarvel.mGameplay;
            gameplay.mFadeState = c.mode;
            gameplay.mFadeRate = c.rate;
            gameplay.mFadeStart = gTarvel.mTimer.mGameTime - c.elapsedMs;
            cTarvelImage* image = c.white ? Graphics().mWhiteScreen : Graphics().mBlackScreen;
            const auto draws = Frame();
            bool found = false;
            for (const pt::DrawRecord& d : draws)
                if (d.textures[0] == image->GetCurrentFrame()) {
                    found = true;
                    EXPECT_EQ(d.technique, c.blended ? "image_blended" : "image_basic");
                }
            EXPECT_TRUE(found);
            EXPECT_EQ(AlphaOf(image), c.alpha);
            EXPECT_EQ(image->mBlended, 0);
        }
        gTarvel.mGameplay.mFadeState = 0;
        gTarvel.mScene = nullptr;
        RebuildEngine();
    }
}

TEST_F(FrameTest, CrossFadeCapturesWithoutPresentingThenBlends)
{
    for (DWORD screenRes : {DWORD(0x04000300), DWORD(0x05000400)}) {
        SCOPED_TRACE(screenRes);
        Start(screenRes);
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        gameplay.mFadeState = 7;
        gameplay.mFadeRate = 0.5f;
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime - 5000;
        const int presents = pt::PresentCount();
        Frame();
        EXPECT_EQ(pt::PresentCount(), presents);
        EXPECT_EQ(gameplay.mFadeState, 8);
        ASSERT_NE(Graphics().mCrossFadeTexture, nullptr);
        D3DSURFACE_DESC desc{};
        Graphics().mCrossFadeTexture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, 1024u);
        EXPECT_EQ(desc.Height, 512u);
        // The strip covers the scene band of the real screen.
        void* data = nullptr;
        ASSERT_EQ(Graphics().mCrossFadeBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        const float* v = static_cast<const float*>(data);
        const float scaleY = Graphics().mScaleY;
        EXPECT_FLOAT_EQ(v[1], 640.0f * scaleY);
        EXPECT_FLOAT_EQ(v[6 + 1], 128.0f * scaleY);
        EXPECT_FLOAT_EQ(v[12], float(Graphics().mWidth));
        EXPECT_FLOAT_EQ(v[2], 0.99f);
        Graphics().mCrossFadeBuffer->Unlock();

        // One second into the blend: "blendv" = 1 - 0.5.
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime - 1000;
        const auto draws = Frame();
        EXPECT_EQ(pt::PresentCount(), presents + 1);
        bool blended = false;
        for (const pt::DrawRecord& d : draws)
            if (d.textures[0] == Graphics().mCrossFadeTexture) {
                blended = true;
                EXPECT_EQ(d.technique, "image_blended_noalpha");
                EXPECT_EQ(d.stream0Stride, 24u);
            }
        EXPECT_TRUE(blended);
        EXPECT_EQ(Floats(gTarvel.mShaders.mNamed[3].shader->mEffect, "blendv"), std::vector<float>{0.5f});

        // A reset releases the capture; the next cross-fade makes it again.
        Graphics().Reset();
        EXPECT_EQ(Graphics().mCrossFadeTexture, nullptr);
        gameplay.mFadeState = 7;
        Frame();
        EXPECT_NE(Graphics().mCrossFadeTexture, nullptr);
        EXPECT_NE(Graphics().mCrossFadeBuffer, nullptr);
        gameplay.mFadeState = 0;
        gTarvel.mScene = nullptr;
        RebuildEngine();
    }
}

// A capture texture the device cannot stretch into (managed, say) is filled
// by the slower copy: at 1024 x 768 the rectangle {0, 128, 1024, 640}, at
// other sizes the scaled scene band, never the rows around it.
TEST_F(FrameTest, CrossFadeCopyFallsBackToTheSceneBand)
{
    constexpr D3DCOLOR kScene = 0xFF20A040u;
    constexpr D3DCOLOR kAround = 0xFFF00000u;
    for (DWORD screenRes : {DWORD(0x04000300), DWORD(0x05000400)}) {
        SCOPED_TRACE(screenRes);
        Start(screenRes);
        IDirect3DDevice9* device = Graphics().mDevice;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device->CreateTexture(1024, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        Graphics().mCrossFadeTexture = texture;
        texture->GetSurfaceLevel(0, &Graphics().mCrossFadeSurface);

        const int32_t top = screenRes == 0x04000300 ? 128 : 170;   // 128 x 4/3, 640 x 4/3
        const int32_t bottom = screenRes == 0x04000300 ? 640 : 853;
        device->SetRenderTarget(0, Graphics().mBackBuffer);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kAround, 1.0f, 0);
        const D3DRECT band{0, top, Graphics().mWidth, bottom};
        device->Clear(1, &band, D3DCLEAR_TARGET, kScene, 1.0f, 0);

        gTarvel.mGameplay.mFadeState = 7;
        Graphics().InitCrossFade();
        EXPECT_EQ(gTarvel.mGameplay.mFadeState, 8);
        const std::vector<uint32_t> pixels = Pixels(texture);
        ASSERT_EQ(pixels.size(), 1024u * 512u);
        int wrong = 0;
        // The outermost rows may take a share of their neighbours when scaled.
        for (size_t y = 1; y + 1 < 512; ++y)
            for (size_t x = 0; x < 1024; ++x)
                if ((pixels[y * 1024 + x] & 0xFFFFFFu) != (kScene & 0xFFFFFFu) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << pixels[y * 1024 + x];
        EXPECT_EQ(wrong, 0);
        gTarvel.mGameplay.mFadeState = 0;
        gTarvel.mScene = nullptr;
        RebuildEngine();
    }
}

TEST_F(FrameTest, TimedPostEffectRunsItsTimeAndEnds)
{
    for (DWORD postEffects : {DWORD(1), DWORD(0)}) {
        SCOPED_TRACE(postEffects);
        Start(0x04000300, postEffects);
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        ASSERT_TRUE(shaders.LoadShader("post_dof", "post_dof", &Graphics().mPostEffect, false));
        ID3DXEffect* effect = Graphics().mPostEffect.shader->mEffect;
        Graphics().mTimedPostEffect = true;
        Graphics().mPostEffectStart = gTarvel.mTimer.mGameSeconds;
        Graphics().mPostEffectDuration = 0.5f;

        gTarvel.mTimer.mGameSeconds += 0.25f;
        auto quads = [](const std::vector<pt::DrawRecord>& draws) {
            int n = 0;
            for (const pt::DrawRecord& d : draws)
                n += d.fvf == DWORD(D3DFVF_XYZ | D3DFVF_TEX1) && d.stream0Stride == 20;
            return n;
        };
        EXPECT_EQ(quads(Frame()), postEffects ? 1 : 0);
        if (postEffects) {
            EXPECT_EQ(Floats(effect, "time"), std::vector<float>{0.5f});
            EXPECT_EQ(Floats(effect, "invtime"), std::vector<float>{0.5f});
            EXPECT_EQ(Floats(effect, "texaspect"), (std::vector<float>{1.0f, 0.75f}));
        }
        gTarvel.mTimer.mGameSeconds += 0.25f;
        Frame();
        EXPECT_TRUE(Graphics().mTimedPostEffect);
        gTarvel.mTimer.mGameSeconds += 0.01f;
        Frame();
        EXPECT_FALSE(Graphics().mTimedPostEffect);
        EXPECT_EQ(Graphics().mPostEffect.technique, nullptr);
        gTarvel.mScene = nullptr;
        RebuildEngine();
    }
}

TEST_F(FrameTest, TooltipNamesTheObjectOrTheItemInHand)
{
    Start();
    mScene.mObjectUnderCursor = true;
    mScene.mObjectName = "Door";
    auto boxes = [](const std::vector<pt::DrawRecord>& draws) {
        int n = 0;
        for (const pt::DrawRecord& d : draws)
            n += d.technique == "ui_tooltip";
        return n;
    };
    EXPECT_EQ(boxes(Frame()), 1);
    ASSERT_NE(Graphics().mTooltipText, nullptr);
    EXPECT_STREQ(Graphics().mTooltipString.c_str(), "Door");
    // The same source and name keep the text object.
    cTarvelText* first = Graphics().mTooltipText;
    Frame();
    EXPECT_EQ(Graphics().mTooltipText, first);

    // An item in use names itself, even over an object: by its display name
    // once its script gave it one.
    auto* key = new sInventoryItem;
    key->name = "key";
    gTarvel.mInventory.mTemporary = key;
    gTarvel.mInventory.SelectItem(key);
    Frame();
    EXPECT_STREQ(Graphics().mTooltipString.c_str(), "key");
    key->displayName = "Brass key";
    Frame();
    EXPECT_STREQ(Graphics().mTooltipString.c_str(), "Brass key");

    // A running fade hides it and deletes the text.
    gTarvel.mGameplay.mFadeState = 3;
    EXPECT_EQ(boxes(Frame()), 0);
    EXPECT_EQ(Graphics().mTooltipText, nullptr);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 0);
    gTarvel.mGameplay.mFadeState = 0;
}

TEST_F(FrameTest, MenuAndMovieLayouts)
{
    Start();
    TestMobile mobile(1);
    mScene.mStandInItems[0].Add({1.0f, &mobile, 2});

    gTarvel.mMenu.mOpen = true;
    gTarvel.mMenu.mFade = 1.0f;
    // The menu's two background halves, then the cursor over them.
    const cTarvelMenu& menu = gTarvel.mMenu;
    EXPECT_EQ(Sequence(Frame(), {{"cursor", Graphics().mCursors[0]}, {"top", menu.mBackTop}, {"bottom", menu.mBackBottom}}),
              (std::vector<std::string>{"top", "bottom", "cursor"}));
    gTarvel.mMenu.mFade = 0.5f;   // still fading in: the game shows through
    EXPECT_EQ(Sequence(Frame(), {}).front(), "1");
    gTarvel.mMenu.mOpen = false;

    // A full-screen movie: two letterbox bands, nothing of the scene.
    gTarvel.mMovie = new cTarvelVideo();
    const auto movie = Sequence(Frame(), {{"black", Graphics().mBlackScreen}});
    EXPECT_EQ(std::count(movie.begin(), movie.end(), "black"), 2);
    EXPECT_EQ(std::count(movie.begin(), movie.end(), "1"), 0);
    // In a view, the movie is an overlay of the game layout.
    gTarvel.mMovie->mInScene = true;
    const auto overlay = Sequence(Frame(), {});
    EXPECT_EQ(std::count(overlay.begin(), overlay.end(), "1"), 1);
    EXPECT_TRUE(Graphics().mMovieOverlay);
}

TEST_F(FrameTest, LostDeviceAtPresentIsResetAtOnce)
{
    Start();
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    const int resets = pt::DeviceResetCount();
    Frame();
    EXPECT_EQ(pt::DeviceResetCount(), resets + 1);
}

// Fills a receiver list with fake receivers a, b, a; checks that removing
// an unlisted one changes nothing and that removing a takes the first a
// only; empties the list again so that no destructor touches the fakes.
template <class List>
void CheckRemoval(List& list, sLightPass& record, void* a, void* b, void* unlisted)
{
    using Entry = std::remove_reference_t<decltype(list.data[0])>;
    list.Clear();
    for (void* target : {a, b, a})
        list.Add(static_cast<Entry>(target));
    gTarvel.mGraphics.RemoveLightPass(&record, unlisted);
    ASSERT_EQ(list.Count(), 3);
    gTarvel.mGraphics.RemoveLightPass(&record, a);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(static_cast<void*>(list.data[0]), b);
    EXPECT_EQ(static_cast<void*>(list.data[1]), a);
    list.Clear();
}

// A pass object made by whichever constructor its class has: none, or the
// shadow's (light, caster, extra) with none of them.
template <class T>
std::unique_ptr<T> MakePassObject()
{
    if constexpr (std::is_default_constructible_v<T>)
        return std::make_unique<T>();
    else
        return std::make_unique<T>(nullptr, nullptr, 0);
}

TEST_F(FrameTest, RemovedReceiversLeaveTheListOfTheirPassKind)
{
    Start();
    const std::unique_ptr<cTarvelShadow> shadowObject = MakePassObject<cTarvelShadow>();
    const std::unique_ptr<cTarvelFlashlight> flashlightObject = MakePassObject<cTarvelFlashlight>();
    cTarvelShadow& shadow = *shadowObject;
    cTarvelFlashlight& flashlight = *flashlightObject;
    alignas(16) uint8_t a[64] = {};
    alignas(16) uint8_t b[64] = {};
    alignas(16) uint8_t c[64] = {};
    sLightPass scenery{1, &shadow, nullptr, 0, 0, 0, 0};
    CheckRemoval(shadow.mSceneryReceivers, scenery, a, b, c);
    sLightPass mobile{2, &shadow, nullptr, 0, 0, 0, 0};
    CheckRemoval(shadow.mMobileReceivers, mobile, a, b, c);
    sLightPass cone{3, &flashlight, nullptr, 0, 0, 0, 0};
    CheckRemoval(flashlight.mSceneryReceivers, cone, a, b, c);
    // A destroyed mobile leaves the flashlight's receivers as well.
    sLightPass coneOnMobile{4, &flashlight, nullptr, 0, 0, 0, 0};
    CheckRemoval(flashlight.mMobileReceivers, coneOnMobile, a, b, c);
    // Other kinds touch nothing.
    using MobileEntry = std::remove_reference_t<decltype(flashlight.mMobileReceivers.data[0])>;
    flashlight.mMobileReceivers.Add(static_cast<MobileEntry>(static_cast<void*>(a)));
    sLightPass other{5, &flashlight, nullptr, 0, 0, 0, 0};
    Graphics().RemoveLightPass(&other, a);
    EXPECT_EQ(flashlight.mMobileReceivers.Count(), 1);
    flashlight.mMobileReceivers.Clear();
}

TEST_F(FrameTest, HintFadeOutStatesAndStartTimes)
{
    struct Case {
        int32_t state;
        int32_t stateAfter;
        bool startIsNow;
    };
    for (const Case c : {Case{0, 0, false}, Case{1, 3, true}, Case{2, 3, false}, Case{3, 3, false}}) {
        cTarvelHints hints;
        hints.mState = c.state;
        hints.mStart = 1.0f;
        gTarvel.mTimer.mGameSeconds = 42.0f;
        hints.FadeOut();
        EXPECT_EQ(hints.mState, c.stateAfter) << c.state;
        EXPECT_FLOAT_EQ(hints.mStart, c.startIsNow ? 42.0f : 1.0f) << c.state;
    }
}

} // namespace
