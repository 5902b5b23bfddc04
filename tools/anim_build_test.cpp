#include "tools/anim_build.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_test_support.h"
#include "animation/importer.h"
#include "animation/mesh.h"
#include "animation/morph_setup.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/node.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/standard_material.h"
#include "animation/vertex_attribute_layer.h"
#include "engine/world/mobile_test_support.h"
#include "tools/text_form.h"
#include "tools/text_form_test_support.h"

namespace {

using testkit::AnimBytes;
using testkit::BuildAnimFromText;
using testkit::TextFormError;

// "hips" carries the mesh; "spine" sits at (0, 1, 0) above it. Vertex 0
// follows the spine, vertex 1 half the hips and half the spine, vertex 2 no
// bone (so the hips). Target "mouth" moves vertex 0 by +1 in x.
const char* kActor = R"(# a test actor
actor PC
node hips
node spine parent hips at 0 1 0
material skin texture tex_a colour 0.8 0.6 0.5
mesh hips material skin
  vertex 1 1 0 normal 0 0 1 uv 0 0 bone spine 1
  vertex 0 2 0 normal 0 0 1 uv 1 0 bone hips 0.5 bone spine 0.5
  vertex 0 0 1 normal 0 0 1 uv 0 1
  triangle 0 1 2
  target mouth
    move 0 1 0 0
)";

// The spine turned 90 degrees about z, held.
const char* kTurn = R"(skeletal turn
fps 25
track spine
  key 0 position 0 1 0 turn 0 0 1 90
  key 2 position 0 1 0 turn 0 0 2 90   # the axis need not be of unit length
)";

const char* kTalk = R"(morph talk
track mouth
  key 0 weight 0.5
  key 2 weight 0.5
)";

class AnimBuildTest : public Anim::testing::AnimTest {};

TEST_F(AnimBuildTest, BuiltActorAndMotionsLoadAndPlaySkinnedAndMorphed)
{
    const AnimBytes actorBytes = BuildAnimFromText(kActor);
    const AnimBytes turnBytes = BuildAnimFromText(kTurn);
    const AnimBytes talkBytes = BuildAnimFromText(kTalk);
    Anim::Actor* actor = Anim::GetImporter()->LoadActor(actorBytes.data(), uint32_t(actorBytes.size()));
    Anim::SkeletalMotion* turn = Anim::GetImporter()->LoadSkeletalMotion(turnBytes.data(), uint32_t(turnBytes.size()));
    Anim::ProgressiveMorphMotion* talk =
        Anim::GetImporter()->LoadPMorphMotion(talkBytes.data(), uint32_t(talkBytes.size()));
    ASSERT_NE(actor, nullptr);
    ASSERT_NE(turn, nullptr);
    ASSERT_NE(talk, nullptr);
    EXPECT_EQ(std::memcmp(actorBytes.data(), "ACT ", 4), 0);
    EXPECT_EQ(std::memcmp(turnBytes.data(), "SKM ", 4), 0);
    EXPECT_EQ(std::memcmp(talkBytes.data(), "PMM ", 4), 0);

    ASSERT_EQ(actor->GetNumNodes(), 2u);
    EXPECT_STREQ(actor->GetNode(1)->GetName(), "spine");
    EXPECT_EQ(actor->GetNode(1)->GetParentIndex(), 0u);
    ASSERT_EQ(actor->GetNumMaterials(0), 1u);
    auto* skin = static_cast<Anim::StandardMaterial*>(actor->GetMaterial(0, 0));
    ASSERT_EQ(skin->GetNumLayers(), 1u);
    EXPECT_STREQ(skin->GetLayer(0)->GetTextureName(), "tex_a");
    ASSERT_NE(actor->GetMorphSetup(0), nullptr);
    EXPECT_EQ(actor->GetMorphSetup(0)->GetNumMorphTargets(), 1u);
    ASSERT_EQ(turn->GetNumSubMotions(), 1u);
    EXPECT_STREQ(turn->GetSubMotion(0)->GetName(), "spine");
    EXPECT_EQ(talk->GetNumSubMotions(), 1u);

    Anim::ActorInstance* instance = AnimCore::New<Anim::ActorInstance>(Anim::MEMCATEGORY_ACTORINSTANCE, actor);
    Anim::sMotionPlayInfo full;
    full.blendInTime = 0.0f;
    ASSERT_NE(instance->GetMotionSystem()->PlayMotion(turn, &full), nullptr);
    Anim::sMotionPlayInfo above;
    above.blendInTime = 0.0f;
    above.priorityLevel = 1;
    ASSERT_NE(instance->GetMotionSystem()->PlayMotion(talk, &above), nullptr);
    instance->Update(0.25f, true);
    instance->UpdateTransformations(0.25f);

    const auto* positions = static_cast<const AnimCore::Vector3*>(
        actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(Anim::LAYERTYPE_POSITIONS));
    ASSERT_NE(positions, nullptr);
    // Worked by hand. The weight 0.5 is kept in 16 bits (within 1e-4).
    // Vertex 0: morphed to (1.5, 1, 0); the spine turns its (1.5, 0, 0) to (0, 1.5, 0).
    EXPECT_NEAR(positions[0].x, 0.0, 1e-3);
    EXPECT_NEAR(positions[0].y, 2.5, 1e-3);
    // Vertex 1: the hips keep (0, 2, 0); the spine turns (0, 1, 0) to (-1, 0, 0), so (-1, 1, 0).
    EXPECT_NEAR(positions[1].x, -0.5, 1e-4);
    EXPECT_NEAR(positions[1].y, 1.5, 1e-4);
    // Vertex 2 follows the hips, which do not move.
    EXPECT_NEAR(positions[2].z, 1.0, 1e-5);
    EXPECT_NEAR(positions[2].y, 0.0, 1e-5);
    AnimCore::Delete(instance);
    AnimCore::Delete(turn);
    AnimCore::Delete(talk);
    AnimCore::Delete(actor);
}

class AnimBuildMobileTest : public MobileTest {};

TEST_F(AnimBuildMobileTest, TheEnginesMobileTakesTheBuiltActor)
{
    Start({{"pc", 7, BuildAnimFromText(kActor)}});  // the fixture brings the picture "tex_a"
    cTarvelMobile* mobile = Loaded("pc");
    ASSERT_NE(mobile->mInstance, nullptr);
    ASSERT_EQ(mobile->mMeshes.Count(), 1);
    const sMobileMesh& mesh = *mobile->mMeshes[0];
    EXPECT_TRUE(mesh.dynamic);  // skinned: deformed every frame
    EXPECT_EQ(mesh.vertexCount, 3);
    EXPECT_EQ(mesh.indexCount, 3);
}

struct Refusal {
    const char* text;
    int line;
    const char* reason;
};

TEST(AnimBuildRefusalTest, BadLinesAreRefusedWithTheirLineAndReason)
{
    const Refusal cases[] = {
        {"actor A\nnode root\nmesh root\nvertex 0 0 0 bone neck 1\n", 4, "influence on missing bone \"neck\""},
        {"actor A\nnode root\nnode arm parent leg\n", 3, "parent \"leg\" is not a node above this line"},
        {"actor A\nnode root\nnode root\n", 3, "node \"root\" is named twice"},
        {"actor A\nnode root\nmesh root\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\ntriangle 0 1 3\n", 7,
         "the triangle names vertex 3 of a mesh with 3 vertices"},
        {"actor A\nnode root\nnode b\nmesh root\nvertex 0 0 0 bone root 0.5 bone b 0.4\n", 5,
         "the vertex's bone weights add up to 0.9"},
        {"actor A\nnode root\nmesh root\nvertex 0 0 0\nvertex 1 0 0\n", 3, "the mesh has no triangle"},
        {"actor A\nnode root\nmesh root material cloth\n", 3, "material \"cloth\" is not a material above this line"},
        {"actor A\nnode root\nmesh root\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\ntriangle 0 1 2\ntarget t\nmove 5 1 0 0\n",
         9, "the target moves vertex 5 of a mesh with 3 vertices"},
        {"actor A\nnode root at 0 1.x 0\n", 2, "\"1.x\" is not a number"},
        {"actor A\nnode root turn 0 0 0 90\n", 2, "a turn needs an axis that is not zero"},
        {"actor A\n", 1, "the actor has no node"},
        {"\n# nothing\n", 1, "the file is empty"},
        {"mesh A\n", 1, "the file starts with \"actor\", \"skeletal\" or \"morph\""},
        {"skeletal walk\ntrack hips\nkey 1 position 0 0 0\nkey 0.5 position 0 0 1\n", 4, "key times of a track must rise"},
        {"skeletal walk\nkey 0 position 0 0 0\n", 2, "\"key\" comes before any track"},
        {"skeletal walk\ntrack hips\nvertex 0 0 0\n", 3, "\"vertex\" is not a statement of a skeletal motion"},
        {"skeletal walk\ntrack hips\nkey 0 weight 1\n", 3, "\"weight\" is not a part of a skeletal key"},
        {"skeletal walk\ntrack hips\ntrack legs\nkey 0 position 0 0 0\n", 2, "track \"hips\" has no key"},
        {"morph talk\ntrack mouth\nkey 0 weight 1.5\n", 3, "a weight is from 0 to 1"},
        {"morph talk\n", 1, "the motion has no track"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            BuildAnimFromText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const TextFormError& error) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
}

TEST(AnimBuildRefusalTest, TracksMustNameTheActorsNodesOrTargets)
{
    testkit::testing::ScratchFolder scratch;
    scratch.Write("pc.txt", kActor);
    const std::string folder = scratch.path + "/";
    EXPECT_EQ(BuildAnimFromText(std::string("skeletal walk\nactor pc.txt\n") + "track spine\nkey 0 position 0 1 0\n", folder),
              BuildAnimFromText("skeletal walk\ntrack spine\nkey 0 position 0 1 0\n"));
    const Refusal cases[] = {
        {"skeletal walk\nactor pc.txt\ntrack neck\nkey 0 position 0 0 0\n", 3,
         "track \"neck\" names no node of the actor "},
        {"skeletal walk\nactor pc.txt\ntrack mouth\nkey 0 position 0 0 0\n", 3, "names no node"},
        {"morph talk\nactor pc.txt\ntrack spine\nkey 0 weight 1\n", 3, "names no morph target"},
        {"morph talk\ntrack mouth\nkey 0 weight 1\nactor pc.txt\n", 4, "\"actor\" comes once, before the tracks"},
        {"morph talk\nactor nobody.txt\n", 2, "cannot read the actor"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            BuildAnimFromText(c.text, folder);
            ADD_FAILURE() << "accepted";
        } catch (const TextFormError& error) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
    EXPECT_NO_THROW(BuildAnimFromText("morph talk\nactor pc.txt\ntrack mouth\nkey 0 weight 1\n", folder));

    // A refused line of the actor is told in the actor's file.
    scratch.Write("bad.txt", "actor B\nnode root parent root\n");
    try {
        BuildAnimFromText("skeletal walk\nactor bad.txt\n", folder);
        ADD_FAILURE() << "accepted";
    } catch (const TextFormError& error) {
        EXPECT_EQ(error.file, folder + "bad.txt");
        EXPECT_EQ(error.line, 2);
    }
}

TEST(AnimBuildToolTest, WritesTheFileOrStopsWithFileLineAndReason)
{
    testkit::testing::ScratchFolder scratch;
    const std::string good = scratch.Write("pc.txt", kActor);
    ASSERT_EQ(testkit::testing::RunTool(scratch, "anim_build", good + " " + scratch.path + "/out/pc.act").exitCode, 0);
    const std::string written = scratch.Read("out/pc.act");
    const AnimBytes expected = BuildAnimFromText(kActor);
    EXPECT_EQ(written, std::string(expected.begin(), expected.end()));

    const std::string bad = scratch.Write("bad.txt", "actor A\nnode root\nmesh root\nvertex 0 0 0 bone neck 1\n");
    const testkit::testing::ToolRun run = testkit::testing::RunTool(scratch, "anim_build", bad + " " + scratch.path + "/bad.act");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error, bad + ":4: influence on missing bone \"neck\"\n");
    EXPECT_FALSE(std::filesystem::exists(scratch.path + "/bad.act"));
}

}  // namespace
