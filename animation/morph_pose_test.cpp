#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_manager.h"
#include "animation/anim_test_support.h"
#include "animation/importer.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/morph_mesh_deformer.h"
#include "animation/morph_setup.h"
#include "animation/morph_target.h"
#include "animation/node.h"
#include "animation/vertex_attribute_layer.h"
#include "tools/anim_file_writer.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testing::Bits;
using testkit::AnimBytes;
using testkit::AnimFileKind;
using testkit::AnimFileWriter;
using testkit::AnimMeshChunk;
using testkit::AnimNodeChunk;

struct Vertex {
  float position[3];
  float normal[3];
};

// Nodes "head" (with a mesh of the given vertices, at headZ) and "jaw"; with extra, a
// third node "hat" only this pose has.
Actor* LoadPose(const std::vector<Vertex>& vertices, float headZ, bool extra) {
  AnimFileWriter writer(AnimFileKind::Actor);
  AnimNodeChunk head;
  head.name = "head";
  head.position[2] = headZ;
  writer.AddNode(head);
  AnimNodeChunk jaw;
  jaw.name = "jaw";
  jaw.parentIndex = 0;
  jaw.position[1] = -1.0f;
  writer.AddNode(jaw);
  if (extra) {
    AnimNodeChunk hat;
    hat.name = "hat";
    hat.position[1] = 5.0f;
    writer.AddNode(hat);
  }
  AnimMeshChunk mesh;
  const auto n = static_cast<uint32_t>(vertices.size());
  mesh.numOrgVertices = n;
  mesh.numVertices = n;
  mesh.numIndices = n;
  AnimMeshChunk::Layer positions;
  positions.type = LAYERTYPE_POSITIONS;
  AnimMeshChunk::Layer normals;
  normals.type = LAYERTYPE_NORMALS;
  std::vector<uint32_t> indices;
  for (uint32_t v = 0; v < n; ++v) {
    for (float f : vertices[v].position) positions.words.push_back(Bits(f));
    for (float f : vertices[v].normal) normals.words.push_back(Bits(f));
    indices.push_back(v);
  }
  mesh.layers = {positions, normals};
  mesh.subMeshes.push_back({n, 0, indices, {}});
  writer.AddMesh(mesh);
  const AnimBytes bytes = writer.Finish();
  return GetImporter()->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

TEST_F(AnimTest, InitFromPoseCapturesVertexAndNodeOffsets) {
  Actor* neutral = LoadPose({{{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 0, 1}}, {{2, 0, 0}, {0, 0, 1}}},
                            0.0f, false);
  // Vertex 1 moves by (0.25, -0.5, 0) and turns its normal; vertex 2 moves by less
  // than the capture threshold.
  Actor* pose = LoadPose({{{0, 0, 0}, {0, 0, 1}}, {{1.25f, -0.5f, 0}, {0, 0.6f, 0.8f}},
                          {{2.000001f, 0, 0}, {0, 0, 1}}},
                         2.0f, true);
  ASSERT_NE(neutral, nullptr);
  ASSERT_NE(pose, nullptr);
  auto* target = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "smile");
  ASSERT_TRUE(target->InitFromPose(true, true, neutral, pose, true));

  ASSERT_EQ(target->GetNumDeformDatas(), 1u);
  const ProgressiveMorphTarget::DeformData* data = target->GetDeformData(0);
  EXPECT_EQ(data->nodeIndex, 0u);
  ASSERT_EQ(data->numVertices, 1u);
  // Box [-0.5, 0.25] is narrower than 1 and widened to [-1, 1]; steps of 2/65535 and
  // 2/255, rounded to nearest (ties to even).
  EXPECT_EQ(data->minValue, -1.0f);
  EXPECT_EQ(data->maxValue, 1.0f);
  const ProgressiveMorphTarget::VertexDelta& d = data->deltas[0];
  EXPECT_EQ(d.vertexNumber, 1u);
  EXPECT_EQ(d.position[0], 40959);  // 1.25 * 32767.5 = 40959.375
  EXPECT_EQ(d.position[1], 16384);  // 0.5 * 32767.5 = 16383.75
  EXPECT_EQ(d.position[2], 32768);  // 32767.5
  EXPECT_EQ(d.normal[0], 128);      // 127.5
  EXPECT_EQ(d.normal[1], 204);      // 1.6 * 127.5
  EXPECT_EQ(d.normal[2], 102);      // 0.8 * 127.5
  EXPECT_EQ(d.tangent[0], 128);     // no tangents: a zero offset

  // Only the head moved; the hat has no neutral node.
  ASSERT_EQ(target->GetNumTransformations(), 1u);
  const ProgressiveMorphTarget::Transformation& t = target->GetTransformation(0);
  EXPECT_EQ(t.nodeIndex, 0u);
  EXPECT_FLOAT_EQ(t.position.z, 2.0f);
  EXPECT_FLOAT_EQ(t.position.x, 0.0f);
  EXPECT_FLOAT_EQ(t.scale.x, 0.0f);
  EXPECT_FLOAT_EQ(t.rotation.w, 1.0f);

  // The neutral mesh got a morph deformer whose pass plays the captured offset back.
  auto* setup = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
  ASSERT_TRUE(setup->AddMorphTarget(target));
  ASSERT_TRUE(neutral->SetMorphSetup(0, setup));
  MeshDeformerStack* stack = neutral->GetNode(0)->GetMeshDeformerStack(0);
  ASSERT_NE(stack, nullptr);
  ASSERT_EQ(stack->GetNumDeformers(), 1u);
  auto* deformer = static_cast<MorphMeshDeformer*>(stack->GetDeformer(0));
  ASSERT_EQ(deformer->GetType(), MorphMeshDeformer::TYPE_ID);
  ASSERT_EQ(deformer->GetNumDeformPasses(), 1u);
  EXPECT_EQ(deformer->GetDeformPass(0).morphTarget, target);

  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, neutral);
  instance->GetMorphSetupInstance().FindMorphTargetByID(target->nameId)->weight = 1.0f;
  stack->Update(instance, neutral->GetNode(0), 0.0f);
  const auto* positions = static_cast<const AnimCore::Vector3*>(
      neutral->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  EXPECT_NEAR(positions[1].x, -1.0 + 1.0 + 40959.0 * 2.0 / 65535.0, 1e-6);
  EXPECT_NEAR(positions[1].y, -1.0 + 16384.0 * 2.0 / 65535.0, 1e-6);
  EXPECT_FLOAT_EQ(positions[2].x, 2.0f);
  AnimCore::Delete(instance);
  AnimCore::Delete(neutral);
}

TEST_F(AnimTest, InitFromPoseSkipsMeshesOfAnotherSizeAndCanSkipEachPart) {
  Actor* neutral = LoadPose({{{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 0, 1}}}, 0.0f, false);
  Actor* fewer = LoadPose({{{3, 0, 0}, {0, 0, 1}}}, 1.0f, false);
  ProgressiveMorphTarget target("x");
  ASSERT_TRUE(target.InitFromPose(false, true, neutral, fewer, false));
  EXPECT_EQ(target.GetNumDeformDatas(), 0u);
  EXPECT_EQ(target.GetNumTransformations(), 0u);  // not asked for
  EXPECT_EQ(neutral->GetNode(0)->GetMeshDeformerStack(0), nullptr);
  ASSERT_TRUE(target.InitFromPose(true, false, neutral, fewer, false));
  EXPECT_EQ(target.GetNumTransformations(), 1u);
  EXPECT_EQ(target.GetNumDeformDatas(), 0u);
  AnimCore::Delete(fewer);
  AnimCore::Delete(neutral);
}

// A target turning and moving "jaw", applied by the instance's update with the
// weight of its entry.
TEST_F(AnimTest, InstanceUpdateAppliesWeightedNodeOffsets) {
  Actor* actor = testing::MakeActor({{"head", -1}, {"jaw", 0}});
  auto* setup = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
  auto* target = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "open");
  ProgressiveMorphTarget::Transformation t;
  t.nodeIndex = 1;
  t.position = AnimCore::Vector3(0.0f, -2.0f, 0.0f);
  const double half = M_PI / 4.0;  // 90 degrees about x
  t.rotation = AnimCore::Quaternion(static_cast<float>(std::sin(half)), 0.0f, 0.0f,
                                    static_cast<float>(std::cos(half)));
  ASSERT_TRUE(target->AddTransformation(t));
  ASSERT_TRUE(setup->AddMorphTarget(target));
  ASSERT_TRUE(actor->SetMorphSetup(0, setup));
  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  MorphSetupInstance::MorphTarget* entry = instance->GetMorphSetupInstance().GetMorphTarget(0);
  ASSERT_NE(entry, nullptr);
  for (const float weight : {0.5f, 0.5f, 0.00005f, 1.0f}) {  // repeated: no accumulation
    entry->weight = weight;
    entry->manualMode = true;
    instance->Update(0.0f, true);
    const float applied = std::fabs(weight) > 0.0001f ? weight : 0.0f;
    const Transform& local = instance->GetTransformData().GetLocalTransforms()[1];
    EXPECT_NEAR(local.position.y, -2.0 * applied, 1e-5) << weight;
    EXPECT_NEAR(local.rotation.x, std::sin(half * applied), 1e-5) << weight;
    EXPECT_NEAR(local.rotation.w, std::cos(half * applied), 1e-5) << weight;
    // World matrix row 1 of the jaw: y axis turned about x by the applied angle.
    const AnimCore::Matrix& world = instance->GetTransformData().GetWorldMatrices()[1];
    EXPECT_NEAR(world(1, 2), std::sin(2.0 * half * applied), 1e-5) << weight;
    EXPECT_NEAR(world(3, 1), -2.0 * applied, 1e-5) << weight;
    EXPECT_NEAR(instance->GetTransformData().GetLocalTransforms()[0].position.y, 0.0, 1e-6);
  }
  AnimCore::Delete(instance);
  AnimCore::Delete(actor);
}

// Vertex 0 of a one-vertex mesh moved by +1 in x at weight 1.
TEST_F(AnimTest, NearZeroWeightIsAppliedOnceThenSkipped) {
  Actor* actor = LoadPose({{{0, 0, 0}, {0, 0, 1}}}, 0.0f, false);
  ASSERT_NE(actor, nullptr);
  auto* setup = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
  auto* target = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "push");
  auto* data = AnimCore::New<ProgressiveMorphTarget::DeformData>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, 0u, 1u);
  data->minValue = 0.0f;
  data->maxValue = 1.0f;
  data->deltas[0] = {{65535, 0, 0}, {127, 127, 127}, {127, 127, 127}, 0};
  ASSERT_TRUE(target->AddDeformData(data));
  ASSERT_TRUE(setup->AddMorphTarget(target));
  ASSERT_TRUE(actor->SetMorphSetup(0, setup));
  Mesh* mesh = actor->GetNode(0)->GetMesh(0);
  auto* deformer = MorphMeshDeformer::FindOrCreate(actor->GetNode(0), 0, mesh);
  ASSERT_NE(deformer, nullptr);
  ASSERT_TRUE(deformer->AddDeformPass({target, 0, false}));
  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  MorphSetupInstance::MorphTarget* entry = instance->GetMorphSetupInstance().GetMorphTarget(0);
  auto* positions = static_cast<AnimCore::Vector3*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));

  // The pass alone, without the stack's reset: each applied frame adds w to x.
  struct Step {
    float weight;
    bool applied;
  };
  const Step steps[] = {{0.5f, true}, {0.00005f, true}, {0.00005f, false}, {0.0f, false},
                        {0.0001f, true}, {0.00005f, true}, {-0.3f, true}};  // -0.3 clamps to 0
  float x = 0.0f;
  for (const Step& s : steps) {
    entry->weight = s.weight;
    deformer->Update(instance, actor->GetNode(0), 0.0f);
    if (s.applied) x += std::max(s.weight, 0.0f);
    EXPECT_FLOAT_EQ(positions[0].x, x) << s.weight;
  }
  AnimCore::Delete(instance);
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
