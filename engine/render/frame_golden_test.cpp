// Whole engine frames drawn on OpenGL (llvmpipe, headless) with the sample
// game's effects, compared with golden pictures in platform/d3d9/golden:
// the start screen, the interface with a cursor and a tooltip, a video
// frame, a screen fade half way and a shadow on scenery.
// TARVEL_UPDATE_GOLDEN=1 writes them anew (look at them before committing).
// A frame matches when no channel is off by more than 2 and at most 0.1 %
// of pixels are off.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/render/render_test_support.h"
#include "engine/render/shadow.h"
#include "engine/render/video.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/particle.h"
#include "engine/world/scene.h"
#include "engine/world/scene_mesh.h"
#include "engine/world/view.h"
#include "platform/d3d9/golden_test_support.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"
#include "tools/mobile_actor_writer.h"
#include "tools/project_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/video_writer.h"

namespace pt = platform::testing;
namespace fs = std::filesystem;

namespace {

testkit::Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return testkit::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A picture with detail in both directions, so that a shift or a flip of
// half a pixel shows: colour bands across, a checker down the middle.
testkit::Picture Pattern(int width, int height)
{
    testkit::Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool checker = ((x / 4) + (y / 4)) % 2 == 0 && x > width / 3 && x < 2 * width / 3;
            picture.Set(x, y, uint8_t(y * 255 / (height - 1)), checker ? 255 : 40, uint8_t(x * 255 / (width - 1)),
                        255);
        }
    return picture;
}

// A scene whose stage 0 holds fixed render items.
class ItemsScene : public cTarvelScene {
public:
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override
    {
        if (stage == 0)
            for (const sRenderItem& item : mItems)
                list.Add(item);
    }
    tArray<sRenderItem> mItems;
};

class FrameGoldenTest : public RenderTest {
protected:
    void TearDown() override
    {
        gTarvel.mLights.Reset();
        gTarvel.mScene = nullptr;
        delete gTarvel.mMovie;
        gTarvel.mMovie = nullptr;
        RenderTest::TearDown();
    }

    // The engine started on the sample game's effects, splash and first
    // font, drawing for real; `add` brings what a test needs beside them.
    void StartDemo(const AddEntries& add = nullptr)
    {
        const fs::path shared = fs::path(TARVEL_GAME_STAGING_DIR) / "shared";
        pt::ExecuteDraws(true);
        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        writer.AddVolume(1);
        // The sample game's interface pictures and cursors, as its assets
        // tool writes them.
        for (const testkit::NamedResource& resource : testkit::BuildInterfaceResources(true))
            writer.AddShared(1, resource.name, resource.type, resource.data, true);
        writer.AddShared(1, "shaderlib", 0, ReadAll(shared / "shaderlib"), true);
        writer.AddShared(1, "start", 5, ReadAll(shared / "start.tga"), true);
        writer.AddShared(1, "font1", 0, ReadAll(shared / "font1"), true);
        // A "Main" that does nothing, so the frames show the engine alone
        // whatever the game's own script does.
        writer.AddShared(1, "project", 0,
                         testkit::BuildProject("Kestrelmoor sample", "1",
                                               AssembleScriptOrThrow("function Main::Init\nret\nfunction Main::Start\nret\n")),
                         true);
        writer.AddShared(1, "backdrop", 5, testkit::BuildTga(Pattern(128, 64), testkit::TgaOptions()), true);
        if (add)
            add(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
    }

    static cTarvelGraphics& Graphics() { return gTarvel.mGraphics; }

    // Begins a full-screen scene seen from a camera at position looking
    // along +z, cleared to a colour; returns the device.
    static IDirect3DDevice9* BeginScene(const float position[3], D3DCOLOR clear)
    {
        cTarvelCamera& camera = gTarvel.mCamera;
        const float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        camera.Set(position, rotation, 0.785f);
        camera.SetViewport(0, 0, 1024, 768);
        camera.UpdateMatrices();
        IDirect3DDevice9* device = Graphics().mDevice;
        device->SetRenderTarget(0, Graphics().mBackBuffer);
        device->SetDepthStencilSurface(Graphics().mDepthStencil);
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
        camera.Apply();
        return device;
    }

    // A rectangle of the presented frame as RGBA, top row first.
    static std::vector<uint8_t> Presented(UINT left, UINT top, UINT width, UINT height)
    {
        std::vector<uint8_t> rgba;
        IDirect3DDevice9* device = Graphics().mDevice;
        D3DDISPLAYMODE mode{};
        device->GetDisplayMode(0, &mode);
        IDirect3DSurface9* copy = nullptr;
        if (device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                nullptr) != D3D_OK)
            return rgba;
        D3DLOCKED_RECT locked{};
        if (device->GetFrontBufferData(0, copy) == D3D_OK && copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            rgba.resize(size_t(width) * height * 4);
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x) {
                    const uint8_t* p =
                        static_cast<const uint8_t*>(locked.pBits) + size_t(top + y) * locked.Pitch + (left + x) * 4;
                    uint8_t* o = &rgba[(size_t(y) * width + x) * 4];
                    o[0] = p[2];
                    o[1] = p[1];
                    o[2] = p[0];
                    o[3] = p[3];
                }
            copy->UnlockRect();
        }
        copy->Release();
        return rgba;
    }

    static void ExpectGolden(UINT left, UINT top, UINT width, UINT height, const char* name)
    {
        const std::vector<uint8_t> rgba = Presented(left, top, width, height);
        ASSERT_EQ(rgba.size(), size_t(width) * height * 4);
        pt::ExpectMatchesGolden(rgba, width, height,
                                fs::path(TARVEL_DEMO_DIR).parent_path() / "platform" / "d3d9" / "golden" / name);
    }
};

TEST_F(FrameGoldenTest, StartScreen)
{
    StartDemo();
    // Start-up presented the splash alone; nothing else has drawn since.
    ExpectGolden(0, 0, 1024, 768, "start_screen.png");
}

TEST_F(FrameGoldenTest, InterfaceWithCursorAndTooltip)
{
    StartDemo();
    gTarvel.mFonts.LoadFonts();
    ASSERT_GT(gTarvel.mFonts.mFonts[0].glyphCount, 0);
    cTarvelImage backdrop(false);
    ASSERT_EQ(backdrop.ReadFile("backdrop"), 0);
    ASSERT_EQ(backdrop.SetRect(256.0f, 200.0f, 384.0f, 160.0f), 0);
    ItemsScene scene;
    scene.mItems.Add({10.0f, &backdrop, 1});
    scene.mObjectUnderCursor = true;
    scene.mObjectName = "Brass lantern";
    gTarvel.mScene = &scene;
    gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled;
    gTarvel.mGameplay.mMouseX = 412;
    gTarvel.mGameplay.mMouseY = 300;
    Graphics().mCursorKind = 3;
    ASSERT_NE(Graphics().mCursors[3], nullptr);
    Graphics().RenderFrame();
    ASSERT_NE(Graphics().mTooltipText, nullptr);
    // The top band and the area around the pointer and its tooltip.
    ExpectGolden(0, 0, 1024, 384, "interface_cursor_tooltip.png");
    gTarvel.mScene = nullptr;
}

TEST_F(FrameGoldenTest, ScreenFadeHalfWay)
{
    StartDemo();
    cTarvelImage backdrop(false);
    ASSERT_EQ(backdrop.ReadFile("backdrop"), 0);
    ASSERT_EQ(backdrop.SetRect(64.0f, 160.0f, 512.0f, 256.0f), 0);
    ItemsScene scene;
    scene.mItems.Add({10.0f, &backdrop, 1});
    gTarvel.mScene = &scene;
    // Fading out at half the rate: one second in, half way.
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gameplay.mFadeState = 1;
    gameplay.mFadeRate = 0.5f;
    gameplay.mFadeStart = gTarvel.mTimer.mGameTime - 1000;
    Graphics().mCursorKind = 12;
    Graphics().RenderFrame();
    ExpectGolden(0, 0, 640, 448, "screen_fade_half.png");
    gameplay.mFadeState = 0;
    gTarvel.mScene = nullptr;
}

TEST_F(FrameGoldenTest, VideoFrame)
{
    testkit::VideoSpec recipe;
    recipe.width = 128;
    recipe.height = 64;
    recipe.frames = 4;
    recipe.paint = [](int frame, testkit::Picture& picture) {
        picture = Pattern(128, 64);
        for (int x = 0; x < 8; ++x)
            picture.Set(x + frame * 8, 0, 255, 255, 255, 255);
    };
    StartDemo([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "intro", 12, testkit::BuildVideo(recipe), false);
    });
    auto* movie = new cTarvelVideo;
    ASSERT_EQ(movie->Play("intro", false), 0);
    gTarvel.mMovie = movie;
    gTarvel.mCutSceneMovie = nullptr;
    ASSERT_EQ(movie->mImage->mCurrentFrame, 0);
    Graphics().RenderFrame();
    // The full-screen movie layout: the picture between its black bands.
    ExpectGolden(0, 96, 1024, 576, "video_frame.png");
}

// A scene whose wall carries a dusky picture through its colour map (drawn
// with its script's depth 0, as the sample game draws its scenery), seen
// from (0, 150, -500) along +z; `events` is the scene script's own code
// after its globals.
testkit::SceneFile WeatherScene(const std::string& events)
{
    testkit::SceneFile scene;
    scene.name = "Storm";
    testkit::SceneMesh wall;
    wall.name = "wall";
    // Upright before the camera, so the picture projected at its corners is
    // straight all over it.
    wall.vertices = {{-1500, -800, 400, 0, 0, -1}, {1500, -800, 400, 0, 0, -1}, {1500, 1100, 400, 0, 0, -1},
                     {-1500, 1100, 400, 0, 0, -1}};
    wall.indices = {0, 2, 1, 0, 3, 2};
    scene.meshes = {wall};
    scene.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}};
    // The left half of the floor before the wall: splashes make sparks only
    // there.
    testkit::SceneWalkArea floor;
    floor.name = "Floor";
    floor.polygons = {{false, {{-700, 0, -300}, {0, 0, -300}, {0, 0, 400}, {-700, 0, 400}}}};
    floor.triangles = {{testkit::WalkRef(0, 0), testkit::WalkRef(0, 1), testkit::WalkRef(0, 2)},
                       {testkit::WalkRef(0, 0), testkit::WalkRef(0, 2), testkit::WalkRef(0, 3)}};
    scene.walkAreas = {floor};
    scene.script = AssembleScriptOrThrow(std::string(R"(
global Storm object class=cScene
global Main object class=cView
global wall object class=cMesh
global Glint object class=cParticleSparkle
import cMesh__assignColormap 2 none
import cMesh__setRenderMethod 3 none
import cScene__createWeather 12 none
import cScene__setWeatherLayer 3 none
import cParticleSparkle__init 3 none
import cParticleSparkle__spawn 9 none
ret
function Storm::InitView_Main
push object Main
push string "bg"
callg wall cMesh__assignColormap
push object Main
push int 1
push float 0
callg wall cMesh__setRenderMethod
ret
)") + events);
    return scene;
}

// A raindrop: a thin bright streak down the middle of the sprite.
testkit::Picture Streak(int size)
{
    testkit::Picture picture(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int d = std::abs(2 * x - (size - 1));
            picture.Set(x, y, 255, 230, 220, uint8_t(d <= 1 ? 255 : d <= 3 ? 90 : 0));   // b, g, r
        }
    return picture;
}

// A soft round spot of `size` pixels, white, its alpha falling to the rim.
testkit::Picture Spot(int size)
{
    testkit::Picture picture(size, size);
    const float centre = float(size - 1) / 2.0f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = (float(x) - centre) / (centre + 0.5f), dy = (float(y) - centre) / (centre + 0.5f);
            const float d = std::sqrt(dx * dx + dy * dy);
            picture.Set(x, y, 255, 255, 255, uint8_t(d < 1.0f ? 255.0f * (1.0f - d) : 0.0f));
        }
    return picture;
}

// Slate blue, lighter downwards, with a faint checker that shows where the
// picture lies on the wall.
testkit::Picture Dusk(int width, int height)
{
    testkit::Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int shade = 20 + y * 60 / height + ((x / 32 + y / 32) % 2) * 8;
            picture.Set(x, y, uint8_t(shade + 30), uint8_t(shade + 10), uint8_t(shade), 255);   // b, g, r
        }
    return picture;
}

class WeatherGoldenTest : public FrameGoldenTest {
protected:
    void TearDown() override
    {
        delete gTarvel.mScene;
        gTarvel.mScene = nullptr;
        FrameGoldenTest::TearDown();
    }

    // The engine on the weather scene, entered as a scene change enters it,
    // with the random numbers from seed 1.
    void Enter(const std::string& events)
    {
        StartDemo([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "Storm", testkit::kSceneResourceType, testkit::BuildSceneFile(WeatherScene(events)),
                             false);
            writer.AddShared(1, "Storm_Main_bg", 5, testkit::BuildTga(Dusk(1024, 512), testkit::TgaOptions()), false);
            writer.AddShared(1, "particle_raindrop", 5, testkit::BuildTga(Streak(8), testkit::TgaOptions()), false);
            writer.AddShared(1, "particle_rainspark", 5, testkit::BuildTga(Spot(4), testkit::TgaOptions()), false);
            writer.AddShared(1, "particle_star", 5, testkit::BuildTga(Spot(16), testkit::TgaOptions()), false);
        });
        auto* scene = new cTarvelScene();
        scene->mSlot = gTarvel.mResources.OpenResource("Storm", testkit::kSceneResourceType);
        crt::srand(1);
        ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
        ASSERT_EQ(gTarvel.mScene, scene);
        Graphics().mCursorKind = 12;
    }

    // Frames of 40 ms: the scene's update and its particles drawn (the rain
    // moves as it draws), unseen; then the whole frame of the last one.
    static void Frames(int count)
    {
        cTarvelTimer& timer = gTarvel.mTimer;
        for (int i = 0; i < count; ++i) {
            timer.mFrameSeconds = 0.04f;
            timer.mGameSeconds += 0.04f;
            gTarvel.mScene->Update();
            if (i == count - 1)
                break;
            pt::ExecuteDraws(false);
            Graphics().mDevice->BeginScene();
            for (cTarvelParticle* particle : gTarvel.mScene->mParticles)
                particle->Render();
            Graphics().mDevice->EndScene();
            pt::ExecuteDraws(true);
        }
        Graphics().RenderFrame();
    }
};

// Rain sorted by the script's depth 0.1, behind the scenery's 0: the drops
// fall in front of the wall, and splashes on the left half of the floor
// throw up sparks.
TEST_F(WeatherGoldenTest, RainOverAScene)
{
    Enter(R"(
function Storm::OnEnter
push int 0
push float 0
push float 0
push float 600
push float 300
push float 500
push float 0
push float 400
push int 600
push float 0.05
push float 0
push float 0.1
callg Storm cScene__createWeather
push int 0
push int 0
push string "Floor"
callg Storm cScene__setWeatherLayer
ret
)");
    ASSERT_EQ(gTarvel.mScene->mParticles.Count(), 1);
    Frames(12);
    ExpectGolden(0, 128, 1024, 512, "rain_scene.png");
}

// A burst of sparkles before the wall, half a second into its one second of
// shine.
TEST_F(WeatherGoldenTest, SparkleBurst)
{
    Enter(R"(
function Storm::OnEnter
push int 48
push string "particle_star"
push float 1
callg Glint cParticleSparkle__init
push float 0
push float 140
push float 0
push float 0
push float 0.2
push float 0
push float 1
push float 120
push int 48
callg Glint cParticleSparkle__spawn
ret
)");
    ASSERT_EQ(gTarvel.mScene->mParticles.Count(), 1);
    Frames(12);
    ExpectGolden(256, 192, 512, 384, "sparkle_burst.png");
}

TEST_F(FrameGoldenTest, ShadowOnScenery)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
    const DWORD off = 0;
    ASSERT_EQ(RegSetValueExA(key, "ShadowFilter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    StartDemo();
    gTarvel.mConfig.Shadows = 1;
    cTarvelScene scene;
    cTarvelView view;
    scene.mView = &view;
    gTarvel.mScene = &scene;

    // A floor across the view 60 units before the camera, lit from behind
    // the camera; the caster stands between them.
    std::vector<D3DXVECTOR3> positions = {{-20, -15, 20}, {20, -15, 20}, {20, 15, 20}, {-20, 15, 20}};
    std::vector<D3DXVECTOR2> uvs = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    std::vector<uint16_t> indices = {0, 1, 2, 0, 2, 3};
    sSceneMesh floor;
    floor.view = &view;
    floor.positions = positions.data();
    floor.texCoords = uvs.data();
    floor.vertexCount = 4;
    floor.indices = indices.data();
    floor.indexCount = 6;

    cTarvelLight light;
    light.mKind = cTarvelLight::kNoFalloff;
    light.mPosition = D3DXVECTOR3(0.0f, 0.0f, -100.0f);
    gTarvel.mLights.mShadowStrength = 0.75f;
    // A mobile from an actor file whose only mesh is a collision triangle:
    // the silhouette the shadow pass casts.
    testkit::MobileActor actor;
    actor.meshes[0].collision = true;
    actor.meshes[0].subMeshes = {testkit::MobileSubMesh{3, 0}};
    actor.meshes[0].points = {{-4, -4, 0}, {4, -4, 0}, {-4, 4, 0}};
    const testkit::AnimBytes file = testkit::BuildMobileActor(actor);
    cTarvelMobile caster;
    caster.ReadFromMemory(file.data(), uint32_t(file.size()));
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&light, &caster);
    ASSERT_NE(shadow, nullptr);
    shadow->AddSceneryCaster(&floor);
    gTarvel.mLights.Update();
    ASSERT_NE(shadow->mTexture, nullptr);

    const float position[3] = {0.0f, 0.0f, -40.0f};
    IDirect3DDevice9* device = BeginScene(position, 0xFFB0A890u);
    ASSERT_EQ(floor.passes.Count(), 1);
    Graphics().DrawLightPass(&floor.passes[0], &floor);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ExpectGolden(256, 192, 512, 384, "shadow_scenery.png");
    gTarvel.mLights.Reset();
    gTarvel.mScene = nullptr;
}

// The sample game's player actor as the build makes it, half a step into its
// walk cycle, facing the camera half turned, lit from the front left.
TEST_F(FrameGoldenTest, PlayerWalking)
{
    const fs::path shared = fs::path(TARVEL_GAME_STAGING_DIR) / "shared";
    StartDemo([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "PC", 7, ReadAll(shared / "PC.act"), true);
        writer.AddShared(1, "PC_walk", 8, ReadAll(shared / "PC_walk.skm"), true);
        writer.AddShared(1, "PC_body", 5, ReadAll(shared / "PC_body.tga"), true);
    });
    cTarvelLight key;
    key.mPosition = D3DXVECTOR3(-300.0f, 300.0f, -300.0f);
    key.mAmbient = D3DCOLORVALUE{0.35f, 0.35f, 0.4f, 1.0f};
    gTarvel.mLights.mLights.Add(&key);

    cTarvelMobile pc;
    ASSERT_EQ(pc.Load("PC"), 0);
    cTarvelMobileAnimation walk(&pc, cTarvelMobileAnimation::kInPlace);
    ASSERT_EQ(walk.Load("PC_walk"), 0);
    walk.Play(0.0f, 1.0f);
    pc.SetRotationXYZ(0.0f, -0.54f, 0.0f); // three-quarters towards the camera: the model faces -z
    pc.Update(0.125f);

    const float position[3] = {0.0f, 95.0f, -400.0f};
    IDirect3DDevice9* device = BeginScene(position, 0xFF8090A0u);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    pc.Draw(&identity, true, nullptr, 3, 6, false);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ExpectGolden(256, 64, 512, 640, "player_walking.png");
    gTarvel.mLights.mLights.Clear();
}

// A view layer's image keeps inside the viewport its view gave it, and
// leaves the device's viewport as it was.
TEST_F(FrameGoldenTest, ImageDrawStaysInsideItsViewport)
{
    StartDemo();
    cTarvelImage backdrop(false);
    ASSERT_EQ(backdrop.ReadFile("backdrop"), 0);
    ASSERT_EQ(backdrop.SetRect(0.0f, 128.0f, 1024.0f, 512.0f), 0);
    backdrop.mViewport = {512, 128, 512, 512, 0.0f, 1.0f};
    IDirect3DDevice9* device = Graphics().mDevice;
    device->SetRenderTarget(0, Graphics().mBackBuffer);
    const D3DVIEWPORT9 screen{0, 0, 1024, 768, 0.0f, 1.0f};
    device->SetViewport(&screen);
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    backdrop.Draw(false, true);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    D3DVIEWPORT9 after{};
    device->GetViewport(&after);
    EXPECT_EQ(after.X, 0u);
    EXPECT_EQ(after.Width, 1024u);

    const std::vector<uint8_t> rgba = Presented(0, 0, 1024, 768);
    ASSERT_EQ(rgba.size(), 1024u * 768u * 4u);
    auto lit = [&](int x, int y) {
        const uint8_t* p = &rgba[(size_t(y) * 1024 + size_t(x)) * 4];
        return p[0] + p[1] + p[2] > 0;
    };
    int outside = 0, inside = 0;
    for (int y = 130; y < 638; y += 7)
        for (int x = 2; x < 1022; x += 5)
            (x < 512 ? outside : inside) += lit(x, y) ? 1 : 0;
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 0);
}

} // namespace
