// The sample game's player actor "PC", made from its sources in demo/game
// by the build's own text front ends, loaded through the normal actor path
// (its script's OnLoad loads the body and sets the cycles) and walked,
// run and made to talk on a walk area.

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/mesh.h"
#include "animation/node.h"
#include "animation/vertex_attribute_layer.h"
#include "engine/gameplay/speech.h"
#include "engine/resource/resource.h"
#include "engine/world/mobile_test_support.h"
#include "engine/world/pathfinder.h"
#include "engine/world/scene.h"
#include "platform/fmod/test_audio.h"
#include "platform/win32/testing.h"
#include "tools/anim_build.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/sound_assets.h"
#include "tools/text_form.h"
#include "tools/video_build.h"

namespace {

const std::string kGame = std::string(TARVEL_SOURCE_DIR) + "/demo/game/";

testkit::Bytes Anim(const std::string& path)
{
    return testkit::BuildAnimFromText(testkit::ReadTextFile(kGame + path), testkit::FolderOf(kGame + path));
}

// The files of a description of sounds, by their path.
testkit::Bytes Sound(const std::string& description, const std::string& path)
{
    for (const testkit::SoundSource& sound : testkit::ReadSoundText(testkit::ReadTextFile(kGame + description)))
        if (sound.path == path)
            return testkit::EncodeSound(sound);
    ADD_FAILURE() << description << " makes no " << path;
    return {};
}

class PlayerActorTest : public MobileTest {
protected:
    void SetUp() override
    {
        MobileTest::SetUp();
        testkit::SceneFile file;
        file.name = "Yard";
        testkit::SceneWalkArea floor;
        floor.name = "Floor";
        floor.polygons = {{false, {{-600, 0, -600}, {600, 0, -600}, {600, 0, 600}, {-600, 0, 600}}}};
        file.walkAreas = {floor};
        file.script = AssembleScriptOrThrow("ret\n");
        const std::string body = testkit::ReadTextFile(kGame + "shared/PC_body.tga.picture");
        Start({{"PC", 7, Anim("shared/PC.act.anim")},
               {"PC_walk", 8, Anim("shared/PC_walk.skm.anim")},
               {"PC_run", 8, Anim("shared/PC_run.skm.anim")},
               {"PC_idle", 8, Anim("shared/PC_idle.skm.anim")},
               {"PC_body", 5, testkit::BuildPictureTga(testkit::ReadVideoText(body))},
               {"PC.day", 2, AssembleScriptOrThrow(testkit::ReadTextFile(kGame + "shared/PC.day.actor.script"))},
               {"project-pc_intro", 14, Anim("language/9/project-pc_intro.pmm.anim")},
               {"project-pc_intro", kResourceOgg, Sound("language/9/speech.sounds", "project-pc_intro.ogg")},
               {"Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file)}});
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        mPC = std::make_unique<cTarvelActor>("PC", "day", false);
        mPC->mVisible = true;
        gTarvel.mPlayer = mPC.get();
        ASSERT_NE(mPC->mMobile->mActor, nullptr) << "OnLoad loads the body";
        mControl = static_cast<cTarvelActorControlDefault*>(mPC->mControl);
        mControl->SetWalkLayer(mScene->FindWalkArea("Floor"));
    }

    void TearDown() override
    {
        // The line in progress ends with its speaker.
        gTarvel.mSpeech.mSkipRequested = true;
        gTarvel.mSpeech.Update();
        gTarvel.mPlayer = nullptr;
        mPC.reset();
        MobileTest::TearDown();
    }

    int Node(const char* name) const
    {
        const Anim::Node* node = mPC->mMobile->mActor->FindNodeByName(name);
        return node ? int(node->GetIndex()) : -1;
    }

    void Frame(uint32_t ms)
    {
        pt::AdvanceClock(ms);
        gTarvel.mTimer.Update();
        mPC->Update();
    }

    // The body's vertices as the last update deformed them, in its own space.
    std::vector<D3DXVECTOR3> Vertices() const
    {
        const Anim::Mesh* mesh = mPC->mMobile->mActor->GetNode(uint32_t(Node("root")))->GetMesh(0);
        const auto* positions =
            static_cast<const AnimCore::Vector3*>(mesh->FindVertexAttributeLayerData(Anim::LAYERTYPE_POSITIONS));
        std::vector<D3DXVECTOR3> out;
        for (uint32_t i = 0; positions && i < mesh->GetNumVertices(); ++i)
            out.emplace_back(positions[i].x, positions[i].y, positions[i].z);
        return out;
    }

    // The body's vertices as a draw of this frame takes them: drawn, then read
    // back from the mobile's buffer of deformed vertices.
    std::vector<D3DXVECTOR3> Drawn()
    {
        const cTarvelMobile& mobile = *mPC->mMobile;
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->BeginScene();
        mPC->mMobile->Draw(&identity, true, nullptr, 3, 6, false);
        device->EndScene();
        const std::vector<float> raw =
            Read<float>(mobile.mDynamicVertexBuffer, 0, size_t(mobile.mDynamicVertexCount) * 8);
        std::vector<D3DXVECTOR3> out;
        for (size_t v = 0; v + 8 <= raw.size(); v += 8)
            out.emplace_back(raw[v], raw[v + 1], raw[v + 2]);
        return out;
    }

    static float Farthest(const std::vector<D3DXVECTOR3>& a, const std::vector<D3DXVECTOR3>& b)
    {
        float far = a.size() == b.size() ? 0.0f : 1e9f;
        for (size_t v = 0; v < a.size() && v < b.size(); ++v) {
            const D3DXVECTOR3 d = a[v] - b[v];
            far = std::max(far, D3DXVec3Length(&d));
        }
        return far;
    }

    static float Lowest(const std::vector<D3DXVECTOR3>& vertices)
    {
        float low = 1e9f;
        for (const D3DXVECTOR3& v : vertices)
            low = std::min(low, v.y);
        return low;
    }

    cTarvelScene* mScene = nullptr;
    std::unique_ptr<cTarvelActor> mPC;
    cTarvelActorControlDefault* mControl = nullptr;
};

TEST_F(PlayerActorTest, TheActorScriptLoadsTheBodyAndTheCycles)
{
    Anim::Actor& actor = *mPC->mMobile->mActor;
    EXPECT_EQ(actor.GetNumNodes(), 8u);
    for (const char* bone : {"root", "hips", "spine", "head", "leg_l", "leg_r", "arm_l", "arm_r"})
        EXPECT_GE(Node(bone), 0) << bone;
    ASSERT_EQ(mPC->mMobile->mMeshes.Count(), 1);
    EXPECT_TRUE(mPC->mMobile->mMeshes[0]->dynamic);
    EXPECT_NE(mPC->mMobile->mMeshes[0]->texture, nullptr);
    ASSERT_NE(mControl->mWalkAnim, nullptr);
    ASSERT_NE(mControl->mRunAnim, nullptr);
    EXPECT_STREQ(mControl->mWalkAnim->mName.c_str(), "PC_walk");
    EXPECT_STREQ(mControl->mRunAnim->mName.c_str(), "PC_run");
    EXPECT_FLOAT_EQ(mControl->mWalkCycles, 1.2f);
    EXPECT_FLOAT_EQ(mControl->mRunCycles, 1.25f);

    // Standing in the bind pose: the feet on the floor, the head 183 up.
    Frame(40);
    const std::vector<D3DXVECTOR3> still = Vertices();
    EXPECT_NEAR(Lowest(still), 0.0f, 1e-3f);
    float top = -1e9f;
    for (const D3DXVECTOR3& v : still)
        top = std::max(top, v.y);
    EXPECT_NEAR(top, 183.0f, 1e-3f);
}

// Walking and running, the legs swing through their cycle, the feet stay
// near the floor and no part of the body leaves the cycle's place (the
// control moves the actor).
TEST_F(PlayerActorTest, WalksAndRunsWithTheFeetOnTheFloor)
{
    struct Leg {
        const char* name;
        D3DXVECTOR3 target;
        bool run;
    };
    const Leg legs[] = {{"walk towards +z", {0, 0, 500}, false},
                        {"walk towards -x", {-500, 0, 500}, false},
                        {"run towards +x", {500, 0, 500}, true}};
    for (const Leg& leg : legs) {
        SCOPED_TRACE(leg.name);
        mControl->WalkTo(leg.target.x, 0.0f, leg.target.z, 0.0f, nullptr, nullptr);
        ASSERT_TRUE(mControl->mWalking);
        if (leg.run)
            mControl->SetRun(true);
        cTarvelMobileAnimation* cycle = leg.run ? mControl->mRunAnim : mControl->mWalkAnim;
        float lowest = 1e9f, highest = -1e9f, swingMin = 1e9f, swingMax = -1e9f;
        int frames = 0;
        for (; frames < 400 && mControl->mWalking; ++frames) {
            Frame(40);
            if (frames < 10)
                continue;   // the turn towards the target
            if (!mControl->mWalking)
                break;
            EXPECT_TRUE(cycle->mPlaying);
            const std::vector<D3DXVECTOR3> vertices = Vertices();
            const float low = Lowest(vertices);
            lowest = std::min(lowest, low);
            highest = std::max(highest, low);
            // The left leg's swing: its foot ahead of or behind the hips.
            D3DXMATRIX legMatrix;
            mPC->mMobile->GetNodeWorldMatrix(Node("leg_l"), &legMatrix);
            const float swing = legMatrix._22;   // cos of the leg's angle from straight down
            swingMin = std::min(swingMin, swing);
            swingMax = std::max(swingMax, swing);
            for (const D3DXVECTOR3& v : vertices)
                ASSERT_LT(std::fabs(v.z), 80.0f) << "a body part left the cycle's place";
        }
        EXPECT_FALSE(mControl->mWalking) << "arrives";
        EXPECT_NEAR(mPC->mMobile->mPosition.x, leg.target.x, 1.0f);
        EXPECT_NEAR(mPC->mMobile->mPosition.z, leg.target.z, 1.0f);
        // A run of 1000 units takes about 2.9 s, a walk of 500 about 3.3 s.
        EXPECT_LT(frames, leg.run ? 100 : 110);
        EXPECT_GT(lowest, -4.0f);
        EXPECT_LT(highest, 4.0f);
        // The leg swings well away from straight down and back through it.
        EXPECT_GT(swingMax, 0.99f);
        EXPECT_LT(swingMin, leg.run ? 0.85f : 0.92f);
    }
}

// Skinning and morphing change the body's vertices every frame; each draw
// must take this frame's, not the ones of the first draw.
TEST_F(PlayerActorTest, EachDrawTakesThisFramesSkinnedAndMorphedVertices)
{
    Frame(40);
    const std::vector<D3DXVECTOR3> still = Drawn();
    ASSERT_EQ(still.size(), Vertices().size());
    EXPECT_LT(Farthest(still, Vertices()), 1e-4f);

    mControl->WalkTo(0.0f, 0.0f, 500.0f, 0.0f, nullptr, nullptr);
    std::vector<D3DXVECTOR3> previous = still;
    for (int i = 0; i < 20; ++i) {
        Frame(40);
        const std::vector<D3DXVECTOR3> drawn = Drawn();
        EXPECT_LT(Farthest(drawn, Vertices()), 1e-4f) << i;
        if (i >= 10)   // after the turn, the legs swing from frame to frame
            EXPECT_GT(Farthest(drawn, previous), 0.5f) << i;
        previous = drawn;
    }
    mControl->Stop();
    for (int i = 0; i < 30; ++i)
        Frame(40);

    // Talking: the morph moves the mouth, and the draw shows it.
    const std::vector<D3DXVECTOR3> shut = Drawn();
    gTarvel.mSpeech.Say("Somebody left the shed open.", "project-pc_intro", mPC.get(), 1);
    float widest = 0.0f;
    for (int i = 0; i < 20; ++i) {
        Frame(40);
        const std::vector<D3DXVECTOR3> drawn = Drawn();
        EXPECT_LT(Farthest(drawn, Vertices()), 1e-4f) << i;
        widest = std::max(widest, Farthest(drawn, shut));
    }
    EXPECT_GT(widest, 2.0f);
}

TEST_F(PlayerActorTest, TheIntroLineMovesTheMouth)
{
    const std::vector<D3DXVECTOR3> shut = Vertices();
    // The mouth's lower edge: the lowest vertices of the dark cell at the front of
    // the head (the model faces -z).
    gTarvel.mConfig.Subtitle = 1;
    gTarvel.mSpeech.Say("Somebody left the shed open.", "project-pc_intro", mPC.get(), 1);
    ASSERT_TRUE(gTarvel.mSpeech.mWithSound);
    ASSERT_NE(mPC->mTalkAnimation, nullptr);
    float widest = 0.0f;
    for (int i = 0; i < 40; ++i) {
        Frame(40);
        const std::vector<D3DXVECTOR3> now = Vertices();
        ASSERT_EQ(now.size(), shut.size());
        float open = 0.0f;
        for (size_t v = 0; v < now.size(); ++v)
            if (shut[v].z < -9.0f && shut[v].y > 158.0f && shut[v].y < 162.0f)
                open = std::max(open, shut[v].y - now[v].y);
        widest = std::max(widest, open);
    }
    // The target drops the lower lip by 3.5 at full weight.
    EXPECT_GT(widest, 2.5f);
    EXPECT_LT(widest, 3.6f);
}

}  // namespace
