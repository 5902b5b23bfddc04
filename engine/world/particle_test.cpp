#include "engine/world/particle.h"

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/image.h"
#include "engine/script/script_handles.h"
#include "engine/world/particle_dust.h"
#include "engine/world/particle_sparkle.h"
#include "engine/world/particle_weather_rain.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/crt.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace pt = platform::testing;

namespace {

constexpr float kRandMax = 32767.0f;

// The runtime generator's first values for seed 1.
constexpr int kRand[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

float R(int i)
{
    return float(kRand[i]) / kRandMax;
}

std::string SaveText(cTarvelScene* scene)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Demogame");
    document.LinkEndChild(root);
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = root;
    cursor.AddElement("Scene");
    scene->SaveState(cursor);
    cursor.LeaveElement();
    cursor.mRoot = cursor.mCurrent = nullptr;
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.CStr();
}

void LoadText(cTarvelScene* scene, const std::string& text)
{
    TiXmlDocument document;
    document.Parse(text.c_str());
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = document.RootElement();
    if (cursor.mRoot && cursor.EnterElement("Scene"))
        scene->LoadState(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
}

// A system that draws a list of its own through the sparkle technique.
class ListParticle : public cTarvelParticle {
public:
    ListParticle(uint32_t bufferSize, uint32_t batchSize, int count) : mRecords(size_t(count))
    {
        gTarvel.mShaders.LoadShader("particles", "sparkle", &mBinding, true);
        for (int i = 0; i < count; ++i) {
            mRecords[size_t(i)] = {{float(i), 2.0f * float(i), -float(i)}, {}, 0xFF000000u | uint32_t(i), 0.0f,
                                   i + 1 < count ? &mRecords[size_t(i) + 1] : nullptr};
        }
        InitParticleSystem(bufferSize, batchSize);
    }
    int Render() override
    {
        gTarvel.mShaders.Use(&mBinding);
        return RenderParticleGroup(mRecords.empty() ? nullptr : &mRecords[0]);
    }
    std::vector<sParticle> mRecords;
    cTarvelShaderBinding mBinding{};
};

// The yard: a walk area "Pad" from (0, 0) to (100, 100) on the x/z plane,
// the particles effect of the sample game and three small textures.
class ParticleTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        testkit::SceneFile file;
        file.name = "Yard";
        testkit::SceneWalkArea pad;
        pad.name = "Pad";
        pad.polygons = {{false, {{0, 0, 0}, {100, 0, 0}, {100, 0, 100}, {0, 0, 100}}}};
        file.walkAreas = {pad};
        file.script = AssembleScriptOrThrow("ret\n");
        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        writer.AddVolume(1);
        AddStartupEntries(writer);
        writer.AddShared(1, "Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file), false);
        const std::string effect =
            ReadFileText(std::filesystem::path(TARVEL_SOURCE_DIR) / "demo" / "shaders" / "particles.fx");
        ASSERT_FALSE(effect.empty());
        writer.AddShared(1, "particles.fx", 0, testkit::Bytes(effect.begin(), effect.end()), true);
        const testkit::Bytes tga = testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions());
        for (const char* name : {"spark", "particle_raindrop", "particle_rainspark"})
            writer.AddShared(1, name, 5, tga, true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        crt::srand(1);
        pt::RecordDraws(true);
    }

    void TearDown() override
    {
        pt::RecordDraws(false);
        EngineTest::TearDown();
    }

    static void Frame(cTarvelParticle& particle)
    {
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        device->BeginScene();
        particle.Render();
        device->EndScene();
    }

    static void SetClock(float now, float frame)
    {
        gTarvel.mTimer.mGameSeconds = now;
        gTarvel.mTimer.mFrameSeconds = frame;
    }

    // Locks and draws of one system in order: "L<first vertex>:<count>d" for a
    // lock (d discard, n no-overwrite), "D<first>+<count>" for a draw.
    static std::vector<std::string> Trace(const cTarvelParticle& particle)
    {
        std::vector<std::string> out;
        const auto draws = pt::RecordedDraws();
        const auto locks = pt::RecordedLocks();
        size_t next = 0;
        auto drawsUpTo = [&](size_t end) {
            for (; next < end && next < draws.size(); ++next)
                if (draws[next].stream0 == particle.mVertexBuffer)
                    out.push_back("D" + std::to_string(draws[next].startVertex) + "+" +
                                  std::to_string(draws[next].primitiveCount));
        };
        for (const pt::LockRecord& lock : locks) {
            if (lock.buffer != particle.mVertexBuffer)
                continue;
            drawsUpTo(size_t(lock.drawsBefore));
            out.push_back("L" + std::to_string(lock.offset / 16) + ":" + std::to_string(lock.size / 16) +
                          (lock.flags == D3DLOCK_DISCARD       ? "d"
                           : lock.flags == D3DLOCK_NOOVERWRITE ? "n"
                                                               : "?"));
        }
        drawsUpTo(draws.size());
        return out;
    }

    static int Count(const sParticle* first)
    {
        int n = 0;
        for (; first; first = first->next)
            ++n;
        return n;
    }

    cTarvelScene* mScene = nullptr;
};

using Steps = std::vector<std::string>;

TEST_F(ParticleTest, ListsAreDrawnInBatchesThatStayInsideTheBuffer)
{
    struct Case {
        uint32_t buffer, batch;
        int count;
        Steps firstFrame, secondFrame;
    };
    const Case cases[] = {
        // Several batches; the last partial batch is drawn.
        {12, 4, 10, {"L0:4d", "D0+4", "L4:4n", "D4+4", "L8:4n", "D8+2"}, {"L0:4d", "D0+4", "L4:4n", "D4+4",
                                                                          "L8:4n", "D8+2"}},
        // A multiple of the batch size: the next range is locked, nothing
        // empty is drawn.
        {12, 4, 8, {"L0:4d", "D0+4", "L4:4n", "D4+4", "L8:4n"}, {"L0:4d", "D0+4", "L4:4n", "D4+4", "L8:4n"}},
        // A buffer that is no multiple of the batch wraps before its end.
        {10, 4, 5, {"L0:4d", "D0+4", "L4:4n", "D4+1"}, {"L0:4d", "D0+4", "L4:4n", "D4+1"}},
        {10, 4, 3, {"L0:4d", "D0+3"}, {"L4:4n", "D4+3"}},
        // A batch of 0 holds one point; a batch past the buffer is the buffer.
        {3, 0, 2, {"L0:1d", "D0+1", "L1:1n", "D1+1", "L2:1n"}, {"L0:1d", "D0+1", "L1:1n", "D1+1", "L2:1n"}},
        {4, 9, 2, {"L0:4d", "D0+2"}, {"L0:4d", "D0+2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.buffer) + "/" + std::to_string(c.batch) + " x" + std::to_string(c.count));
        ListParticle particle(c.buffer, c.batch, c.count);
        pt::ClearRecordedDraws();
        Frame(particle);
        EXPECT_EQ(Trace(particle), c.firstFrame);
        for (const pt::DrawRecord& draw : pt::RecordedDraws()) {
            EXPECT_EQ(draw.primitiveType, D3DPT_POINTLIST);
            EXPECT_EQ(draw.fvf, 0x42u);
            EXPECT_EQ(draw.stream0Stride, 16u);
            EXPECT_EQ(draw.technique, "sparkle");
        }
        pt::ClearRecordedDraws();
        Frame(particle);
        EXPECT_EQ(Trace(particle), c.secondFrame);
        EXPECT_EQ(gTarvel.mShaders.mCurrent, nullptr) << "the effect is ended";
    }
}

TEST_F(ParticleTest, PointsCarryPositionAndColour)
{
    ListParticle particle(8, 8, 3);
    Frame(particle);
    void* data = nullptr;
    ASSERT_EQ(particle.mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const auto* vertex = static_cast<const sParticleVertex*>(data);
    EXPECT_EQ(vertex[2].x, 2.0f);
    EXPECT_EQ(vertex[2].y, 4.0f);
    EXPECT_EQ(vertex[2].z, -2.0f);
    EXPECT_EQ(vertex[2].color, 0xFF000002u);
    particle.mVertexBuffer->Unlock();
}

TEST_F(ParticleTest, BuffersAreMadeAgainAfterADeviceReset)
{
    auto* rain = new cTarvelParticleWeatherRain();
    rain->Create(50, 50, 10, 10, 100, 0, 10, 20, 0, 0);
    mScene->mParticles.Add(rain);
    const int resets = pt::DeviceResetCount();
    gTarvel.mGraphics.Reset();
    EXPECT_EQ(pt::DeviceResetCount(), resets + 1);
    // A default-pool buffer alive through the reset would make it fail.
    ASSERT_NE(gTarvel.mGraphics.mBackBuffer, nullptr);
    ASSERT_NE(rain->mVertexBuffer, nullptr);
    pt::ClearRecordedDraws();
    Frame(*rain);
    EXPECT_EQ(Trace(*rain), (Steps{"L0:2d", "D0+2", "L2:2n", "D2+2", "L4:2n", "D4+2", "L6:2n", "D6+2", "L8:2n",
                                   "D8+2", "L10:2n", "D10+2", "L12:2n", "D12+2", "L14:2n", "D14+2", "L16:2n",
                                   "D16+2", "L18:2n", "D18+2", "L0:2d"}));
}

TEST_F(ParticleTest, SparkleSpawnsMovesAndFades)
{
    cTarvelParticleSparkle sparkle;
    sparkle.Init(3, "spark");
    EXPECT_EQ(sparkle.mClass, 2);
    EXPECT_EQ(sparkle.mGlowOutTime, 0.15f);
    EXPECT_EQ(Count(sparkle.mFirst), 3);
    EXPECT_EQ(sparkle.mFirst->color, 0x00FFFFFFu);

    SetClock(10.0f, 0.0f);
    // More than there are: every record is set.
    sparkle.Spawn(1, 2, 3, 1, 0, -1, 2, 3, 5);
    EXPECT_EQ(sparkle.mLastEmit, 10.0f);
    const float d[3] = {1, 0, -1};
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_FLOAT_EQ(sparkle.mFirst->velocity[axis], ((R(axis) * 2.0f + d[axis]) - 1.0f) * 3.0f);
    for (const sParticle* p = sparkle.mFirst; p; p = p->next)
        EXPECT_EQ(p->color, 0xFFFFFFFFu);

    // LifeTime 0: halfway through the glow-out the alpha is half.
    SetClock(10.075f, 0.5f);
    sparkle.Update();
    EXPECT_FLOAT_EQ(sparkle.mFirst->position[0], 1.0f + 0.5f * ((R(0) * 2.0f + 1.0f) - 1.0f) * 3.0f);
    const uint32_t half = uint32_t(255.0f * (1.0f - (10.075f - 10.0f) / 0.15f));
    EXPECT_EQ(sparkle.mFirst->color, half << 24 | 0xFFFFFFu);
    EXPECT_GT(half, 120u);
    EXPECT_LT(half, 135u);
    tArray<sRenderItem> items;
    sparkle.CollectRenderItems(items, 0);
    ASSERT_EQ(items.Count(), 1);
    EXPECT_EQ(items[0].object, &sparkle);
    EXPECT_EQ(items[0].kind, 3);
    pt::ClearRecordedDraws();
    Frame(sparkle);
    EXPECT_EQ(Trace(sparkle), (Steps{"L0:3d", "D0+3", "L0:3d"}));

    // Past the glow-out: nothing moves, nothing is listed or drawn.
    SetClock(10.16f, 0.5f);
    const float x = sparkle.mFirst->position[0];
    sparkle.Update();
    EXPECT_EQ(sparkle.mFirst->position[0], x);
    items.Clear();
    sparkle.CollectRenderItems(items, 0);
    EXPECT_EQ(items.Count(), 0);
    pt::ClearRecordedDraws();
    Frame(sparkle);
    EXPECT_TRUE(pt::RecordedDraws().empty());

    // Count 0 only restarts the timing.
    sparkle.Spawn(9, 9, 9, 0, 0, 0, 1, 1, 0);
    EXPECT_EQ(sparkle.mFirst->position[0], x);
    EXPECT_TRUE(sparkle.IsAlive());
}

TEST_F(ParticleTest, MaximumCountsBelowOneHoldOneParticle)
{
    for (int32_t count : {0, -7}) {
        cTarvelParticleSparkle sparkle;
        sparkle.Init(count, "spark");
        EXPECT_EQ(sparkle.mMaxCount, 1);
        EXPECT_EQ(Count(sparkle.mFirst), 1);
        cTarvelParticleDust dust;
        dust.Init(count, "spark");
        EXPECT_EQ(dust.mMaxCount, 1);
        EXPECT_EQ(Count(dust.mFirst), 1);
    }
}

TEST_F(ParticleTest, SparkleEmitterReleasesItsScriptHandle)
{
    auto* sparkle = new cTarvelParticleSparkle();
    sparkle->Init(2, "spark");
    const uint32_t handle = gScriptHandles.Bind(sparkle, eScriptObjectType::Sparkle);
    ASSERT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::Sparkle), sparkle);
    mScene->mParticles.Add(sparkle);
    mScene->DeleteParticles();
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::Sparkle), nullptr);
}

TEST_F(ParticleTest, DustFadesParticleByParticle)
{
    cTarvelParticleDust dust;
    dust.Init(3, "spark");
    EXPECT_EQ(dust.mClass, 3);
    EXPECT_EQ(dust.mLifeTime, 1.0f);
    EXPECT_EQ(dust.mGlowOutTime, 3.0f);
    SetClock(20.0f, 0.0f);
    dust.Spawn(100, 0, 0, 1, 2, 3, 0.5f, 4.0f, 2);
    const sParticle* first = dust.mFirst;
    const sParticle* second = first->next;
    EXPECT_EQ(first->color, 0x30FFFFFFu);
    EXPECT_FLOAT_EQ(first->position[0], (R(0) * 0.5f - 0.25f) * 10.0f + 100.0f);
    EXPECT_FLOAT_EQ(first->velocity[1], ((R(4) * 4.0f - 2.0f) + 2.0f) * 10.0f);
    EXPECT_FLOAT_EQ(first->life, 3.0f + R(6) * 3.0f / 5.0f);

    // Within LifeTime every record counts and keeps its colour.
    SetClock(20.5f, 0.5f);
    EXPECT_EQ(dust.Update(), 3);
    EXPECT_EQ(first->color, 0x30FFFFFFu);
    EXPECT_FLOAT_EQ(first->life, 3.0f + R(6) * 0.6f);

    // Afterwards each fades on its own life; the unspawned one is gone.
    SetClock(22.0f, 1.0f);
    EXPECT_EQ(dust.Update(), 2);
    const float life = 2.0f + R(6) * 0.6f;
    EXPECT_EQ(first->color, uint32_t(48.0f * (life / 3.0f)) << 24 | 0xFFFFFFu);
    EXPECT_EQ(second->next->color, 0x00FFFFFFu);
    // The one drawn with the shorter life goes first.
    const sParticle* shorter = first->life < second->life ? first : second;
    const sParticle* longer = shorter == first ? second : first;
    SetClock(22.0f + shorter->life + 0.001f, shorter->life + 0.001f);
    EXPECT_EQ(dust.Update(), 1);
    EXPECT_EQ(shorter->color, 0x00FFFFFFu);
    EXPECT_NE(longer->color >> 24, 0u);

    // Dust is listed and drawn also when nothing is visible.
    tArray<sRenderItem> items;
    dust.CollectRenderItems(items, 1);
    EXPECT_EQ(items.Count(), 1);
    pt::ClearRecordedDraws();
    Frame(dust);
    EXPECT_EQ(pt::RecordedDraws().size(), 1u);
    EXPECT_EQ(pt::RecordedDraws()[0].technique, "dust");

    // A glow-out time of 0 shows nothing rather than dividing by it.
    dust.mGlowOutTime = 0.0f;
    SetClock(30.0f, 0.0f);
    dust.Spawn(0, 0, 0, 0, 0, 0, 0, 0, 3);
    for (sParticle* p = dust.mFirst; p; p = p->next)
        p->life = 1.0f;
    SetClock(31.5f, 0.1f);
    EXPECT_EQ(dust.Update(), 3);
    EXPECT_EQ(dust.mFirst->color, 0x00FFFFFFu);
}

TEST_F(ParticleTest, RainFillsItsBoxAndDrawsInTenthBatches)
{
    cTarvelParticleWeatherRain rain;
    rain.Create(50, 60, 10, 20, 100, 5, 40, 250, 2, -1);
    EXPECT_EQ(rain.mClass, 1);
    EXPECT_EQ(rain.mBufferSize, 250u);
    EXPECT_EQ(rain.mBatchSize, 25u);
    EXPECT_EQ(Count(rain.mDrops), 250);
    EXPECT_EQ(Count(rain.mFreeSparks), 250);
    EXPECT_EQ(rain.mActiveSparks, nullptr);
    // Record i goes to the front: the list starts with the last one made,
    // and the first one made drew the first random values.
    const sParticle& firstMade = rain.mRecords[0];
    const float a = R(0);
    EXPECT_FLOAT_EQ(firstMade.position[0], 50.0f - 10.0f + 20.0f * R(1) + a * 2.0f);
    EXPECT_FLOAT_EQ(firstMade.position[1], 100.0f - 95.0f * a);
    EXPECT_FLOAT_EQ(firstMade.position[2], 60.0f - 20.0f + 40.0f * R(2) - a);
    EXPECT_FLOAT_EQ(firstMade.velocity[0], 2.0f + R(3) * 2.0f);
    EXPECT_FLOAT_EQ(firstMade.velocity[1], 36.0f + 8.0f * R(4));
    EXPECT_FLOAT_EQ(firstMade.velocity[2], -1.0f - R(5));
    EXPECT_EQ(firstMade.color, 0xA0A0A0A0u);
    EXPECT_EQ(rain.mDrops, &rain.mRecords[249]);
    EXPECT_EQ(rain.mFreeSparks->color, 0x20202020u);

    SetClock(1.0f, 0.01f);
    pt::ClearRecordedDraws();
    Frame(rain);
    Steps expected;
    for (int i = 0; i < 10; ++i) {
        expected.push_back("L" + std::to_string(25 * i) + ":25" + (i == 0 ? "d" : "n"));
        expected.push_back("D" + std::to_string(25 * i) + "+25");
    }
    expected.push_back("L0:25d");
    EXPECT_EQ(Trace(rain), expected);
    for (const pt::DrawRecord& draw : pt::RecordedDraws())
        EXPECT_EQ(draw.technique, "rain_rain");
}

TEST_F(ParticleTest, RainFrameTimeIsClamped)
{
    struct Case {
        float frame, used;
    };
    for (const Case c : {Case{0.2f, 0.1f}, Case{0.15f, 0.15f}, Case{0.05f, 0.05f}}) {
        cTarvelParticleWeatherRain rain;
        rain.Create(50, 50, 10, 10, 1000, 0, 40, 10, 1, 0);
        sParticle& drop = rain.mRecords[0];
        drop.position[1] = 500.0f;
        const float x = drop.position[0], vx = drop.velocity[0], vy = drop.velocity[1];
        SetClock(1.0f, c.frame);
        Frame(rain);
        EXPECT_FLOAT_EQ(drop.position[1], 500.0f - vy * c.used) << c.frame;
        EXPECT_FLOAT_EQ(drop.position[0], x + vx * c.used) << c.frame;
    }
}

TEST_F(ParticleTest, DropsSplashOnlyInsideTheWeatherLayer)
{
    struct Case {
        const char* name;
        float centerX;
        bool layer;
        int sparks;
    };
    // 20 drops land at once; 20 sparks are all there are.
    const Case cases[] = {{"inside", 50, true, 20}, {"outside", 500, true, 0}, {"no layer", 500, false, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cTarvelParticleWeatherRain rain;
        rain.Create(c.centerX, 50, 10, 10, 1, 0, 100, 20, 0, 0);
        if (c.layer)
            rain.SetWeatherLayer(mScene->FindWalkArea("Pad"));
        SetClock(1.0f, 0.1f);
        Frame(rain);   // every drop falls below the bottom
        pt::ClearRecordedDraws();
        Frame(rain);   // and splashes
        EXPECT_EQ(Count(rain.mActiveSparks), c.sparks);
        EXPECT_EQ(Count(rain.mFreeSparks), 20 - c.sparks);
        // Every drop started again at the top, splashing or not.
        for (const sParticle* drop = rain.mDrops; drop; drop = drop->next)
            EXPECT_GE(drop->position[1], 1.0f - 0.1f * 110.0f);
        int sparkDraws = 0;
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            sparkDraws += draw.technique == "rain_sparkle";
        EXPECT_EQ(sparkDraws > 0, c.sparks > 0);
        if (c.sparks > 0) {
            // Sparks rise first, at a twentieth of the speed.
            const sParticle* spark = rain.mActiveSparks;
            EXPECT_FLOAT_EQ(spark->velocity[1], -5.0f + 0.5f * 100.0f * 0.1f);
            EXPECT_GT(spark->position[1], 0.0f);
        }
    }
}

TEST_F(ParticleTest, SceneSavesAndRestoresEveryClass)
{
    SetClock(50.0f, 0.0f);
    auto* rain = new cTarvelParticleWeatherRain();
    rain->Create(1, 2, 3, 4, 90, 10, 30, 40, 0.5f, -0.25f);
    rain->SetWeatherLayer(mScene->FindWalkArea("Pad"));
    auto* bare = new cTarvelParticleWeatherRain();
    bare->Create(0, 0, 1, 1, 10, 0, 5, 20, 0, 0);
    auto* sparkle = new cTarvelParticleSparkle();
    sparkle->Init(7, "spark");
    sparkle->mLifeTime = 0.5f;
    sparkle->mAutoRespawn = 1;
    sparkle->Spawn(0, 0, 0, 0, 0, 0, 1, 1, 3);
    auto* dust = new cTarvelParticleDust();
    dust->Init(5, "spark");
    mScene->mParticles.Add(rain);
    mScene->mParticles.Add(bare);
    mScene->mParticles.Add(sparkle);
    mScene->mParticles.Add(dust);
    const std::string text = SaveText(mScene);
    EXPECT_NE(text.find("<SparkleArea>Pad</SparkleArea>"), std::string::npos) << text;
    // Only the rain with a layer names one.
    EXPECT_EQ(text.find("<SparkleArea>"), text.rfind("<SparkleArea>"));

    mScene->mWalkAreas[0]->mEnabled = 0;
    mScene->DeleteParticles();
    SetClock(80.0f, 0.0f);
    LoadText(mScene, text);
    ASSERT_EQ(mScene->mParticles.Count(), 4);
    auto* r = dynamic_cast<cTarvelParticleWeatherRain*>(mScene->mParticles[0]);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->mCenter[0], 1.0f);
    EXPECT_EQ(r->mCenter[1], 2.0f);
    EXPECT_EQ(r->mWidth[1], 4.0f);
    EXPECT_EQ(r->mTop, 90.0f);
    EXPECT_EQ(r->mBottom, 10.0f);
    EXPECT_EQ(r->mSpeed, 30.0f);
    EXPECT_EQ(r->mWind[1], -0.25f);
    EXPECT_EQ(r->mDensity, 40);
    EXPECT_EQ(r->mBatchSize, 4u);
    EXPECT_EQ(r->mSortKey, 0.1f);
    EXPECT_EQ(r->mWeatherLayer, mScene->FindWalkArea("Pad"));
    EXPECT_EQ(mScene->mWalkAreas[0]->mEnabled, 1) << "the layer is marked again";
    auto* b = dynamic_cast<cTarvelParticleWeatherRain*>(mScene->mParticles[1]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->mWeatherLayer, nullptr);
    auto* s = dynamic_cast<cTarvelParticleSparkle*>(mScene->mParticles[2]);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->mLifeTime, 0.5f);
    EXPECT_EQ(s->mGlowOutTime, 0.15f);
    EXPECT_EQ(s->mMaxCount, 7);
    EXPECT_EQ(s->mAutoRespawn, 1);
    EXPECT_EQ(s->mTextureName, cTarvelString("spark"));
    // The emit time keeps its distance to the clock.
    EXPECT_FLOAT_EQ(s->mLastEmit, 80.0f);
    auto* d = dynamic_cast<cTarvelParticleDust*>(mScene->mParticles[3]);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->mLifeTime, 1.0f);
    EXPECT_EQ(d->mGlowOutTime, 3.0f);
    EXPECT_EQ(d->mMaxCount, 5);
    EXPECT_FLOAT_EQ(d->mLastEmit, 30.0f);
}

TEST_F(ParticleTest, SavegameCountsAreBoundedAndUnknownClassesSkipped)
{
    const std::string text =
        "<Demogame><Scene name=\"Yard\">"
        "<Particle class=\"2\"><MaxCount>2000000000</MaxCount><Texture>spark</Texture></Particle>"
        "<Particle class=\"3\"><MaxCount>-4</MaxCount><Texture>spark</Texture></Particle>"
        "<Particle class=\"1\"><Density>-30</Density><SparkleArea>Nowhere</SparkleArea></Particle>"
        "<Particle class=\"1\"><Density>999999999</Density></Particle>"
        "<Particle class=\"7\"/><Particle/>"
        "</Scene></Demogame>";
    LoadText(mScene, text);
    ASSERT_EQ(mScene->mParticles.Count(), 4);
    EXPECT_EQ(static_cast<cTarvelParticleSparkle*>(mScene->mParticles[0])->mMaxCount,
              cTarvelParticle::kMaxParticles);
    EXPECT_EQ(static_cast<cTarvelParticleDust*>(mScene->mParticles[1])->mMaxCount, 1);
    auto* empty = static_cast<cTarvelParticleWeatherRain*>(mScene->mParticles[2]);
    EXPECT_EQ(empty->mDensity, 0);
    EXPECT_EQ(empty->mWeatherLayer, nullptr);
    EXPECT_EQ(static_cast<cTarvelParticleWeatherRain*>(mScene->mParticles[3])->mDensity,
              cTarvelParticle::kMaxParticles);
    // An empty rain draws nothing and stays inside its one-point buffer.
    SetClock(1.0f, 0.1f);
    pt::ClearRecordedDraws();
    Frame(*empty);
    EXPECT_EQ(Trace(*empty), (Steps{"L0:1d"}));
}

TEST_F(ParticleTest, SceneUpdatesListsAndLeavesItsSystems)
{
    auto* sparkle = new cTarvelParticleSparkle();
    sparkle->Init(2, "spark");
    auto* rain = new cTarvelParticleWeatherRain();
    rain->Create(0, 0, 1, 1, 10, 0, 5, 20, 0, 0);
    mScene->mParticles.Add(sparkle);
    mScene->mParticles.Add(rain);
    SetClock(5.0f, 0.0f);
    sparkle->Spawn(0, 0, 0, 1, 0, 0, 0, 1, 2);
    gTarvel.mTimer.mFrameSeconds = 0.5f;
    mScene->Update();
    EXPECT_FLOAT_EQ(sparkle->mFirst->position[0], 0.5f);
    tArray<sRenderItem> items;
    mScene->CollectRenderItems(items, 0);
    int particles = 0;
    for (const sRenderItem& item : items)
        if (item.kind == 3) {
            ++particles;
            if (item.object == rain)
                EXPECT_EQ(item.key, 0.1f);
        }
    EXPECT_EQ(particles, 2);
    mScene->Leave(1);
    EXPECT_EQ(mScene->mParticles.Count(), 0);
}

} // namespace
