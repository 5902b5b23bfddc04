#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/anim_test_support.h"
#include "animation/importer.h"
#include "animation/look_at_controller.h"
#include "animation/mesh.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/node.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/vertex_attribute_layer.h"
#include "tools/anim_file_writer.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testing::Bits;
using testkit::AnimBytes;
using testkit::AnimFileKind;
using testkit::AnimFileWriter;

// "root" at the origin carries the mesh; "bone" sits at (0, 1, 0) below it. Vertex 0
// (1, 1, 0) follows the bone, vertex 1 (0, 2, 0) half the root and half the bone.
// Target "smile" moves vertex 0 by +1 in x and vertex 1 by +1 in z.
AnimBytes ActorFile(bool bigEndian) {
  AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
  testkit::AnimNodeChunk root;
  root.name = "root";
  writer.AddNode(root);
  testkit::AnimNodeChunk bone;
  bone.name = "bone";
  bone.parentIndex = 0;
  bone.position[1] = 1.0f;
  writer.AddNode(bone);

  testkit::AnimMeshChunk mesh;
  mesh.numOrgVertices = 2;
  mesh.numVertices = 2;
  mesh.numIndices = 3;
  testkit::AnimMeshChunk::Layer positions;
  positions.type = LAYERTYPE_POSITIONS;
  testkit::AnimMeshChunk::Layer normals;
  normals.type = LAYERTYPE_NORMALS;
  for (float f : {1.0f, 1.0f, 0.0f, 0.0f, 2.0f, 0.0f}) positions.words.push_back(Bits(f));
  for (float f : {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f}) normals.words.push_back(Bits(f));
  testkit::AnimMeshChunk::Layer original;
  original.type = LAYERTYPE_ORGVTXNUMBERS;
  original.attributeSize = 4;
  original.words = {0, 1};
  mesh.layers = {positions, normals, original};
  mesh.subMeshes.push_back({2, 0, {0, 1, 1}, {0, 1}});
  writer.AddMesh(mesh);
  testkit::AnimSkinningChunk skin;
  skin.vertices = {{testkit::AnimInfluence{1.0f, 1}},
                   {testkit::AnimInfluence{0.5f, 0}, testkit::AnimInfluence{0.5f, 1}}};
  writer.AddSkinning(skin, 1);

  testkit::AnimMorphTargetChunk target;
  target.name = "smile";
  testkit::AnimMorphTargetChunk::DeformData data;
  data.minValue = 0.0f;
  data.maxValue = 1.0f;
  data.vertices.push_back({{65535, 0, 0}, {128, 128, 128}, {128, 128, 128}, 0});
  data.vertices.push_back({{0, 0, 65535}, {128, 128, 128}, {128, 128, 128}, 1});
  target.deformDatas.push_back(data);
  writer.AddMorphTarget(target);
  return writer.Finish();
}

// The bone turned 90 degrees about z, held.
AnimBytes SkeletalFile(bool bigEndian) {
  AnimFileWriter writer(AnimFileKind::SkeletalMotion, bigEndian);
  testkit::AnimSkeletalSubMotionChunk sub;
  sub.name = "bone";
  const float s = static_cast<float>(std::sqrt(0.5));
  const float turned[4] = {0.0f, 0.0f, s, s};
  std::memcpy(sub.poseRotation, turned, sizeof turned);
  sub.posePosition[1] = 1.0f;
  sub.bindPosition[1] = 1.0f;
  for (float time : {0.0f, 2.0f}) {
    testkit::AnimKey<4> rotation;
    std::memcpy(rotation.value, turned, sizeof turned);
    rotation.time = time;
    sub.rotationKeys.push_back(rotation);
    testkit::AnimKey<3> position;
    position.value[1] = 1.0f;
    position.time = time;
    sub.positionKeys.push_back(position);
  }
  writer.AddSkeletalSubMotion(sub);
  return writer.Finish();
}

// "smile" held at half weight.
AnimBytes MorphFile(bool bigEndian) {
  AnimFileWriter writer(AnimFileKind::PMorphMotion, bigEndian);
  testkit::AnimMorphSubMotionChunk sub;
  sub.name = "smile";
  sub.keys = {{0.0f, 32768}, {2.0f, 32768}};
  writer.AddMorphSubMotion(sub);
  return writer.Finish();
}

class EndToEndTest : public AnimTest, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(ByteOrders, EndToEndTest, ::testing::Bool());

TEST_P(EndToEndTest, LoadedActorIsPlayedBlendedMorphedAndSkinned) {
  const AnimBytes actorBytes = ActorFile(GetParam());
  const AnimBytes skeletalBytes = SkeletalFile(GetParam());
  const AnimBytes morphBytes = MorphFile(GetParam());
  Actor* actor = GetImporter()->LoadActor(actorBytes.data(), static_cast<uint32_t>(actorBytes.size()));
  SkeletalMotion* turn = GetImporter()->LoadSkeletalMotion(
      skeletalBytes.data(), static_cast<uint32_t>(skeletalBytes.size()));
  ProgressiveMorphMotion* smile = GetImporter()->LoadPMorphMotion(
      morphBytes.data(), static_cast<uint32_t>(morphBytes.size()));
  ASSERT_NE(actor, nullptr);
  ASSERT_NE(turn, nullptr);
  ASSERT_NE(smile, nullptr);
  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);

  // The turn blended half-way with the bind pose; the morph motion on top so that
  // it is not faded by the skeletal one.
  sMotionPlayInfo half;
  half.blendInTime = 0.0f;
  half.targetWeight = 0.5f;
  ASSERT_NE(instance->GetMotionSystem()->PlayMotion(turn, &half), nullptr);
  sMotionPlayInfo above;
  above.blendInTime = 0.0f;
  above.priorityLevel = 1;
  ASSERT_NE(instance->GetMotionSystem()->PlayMotion(smile, &above), nullptr);

  const auto* positions = static_cast<const AnimCore::Vector3*>(
      actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  ASSERT_NE(positions, nullptr);
  // Worked by hand: the half-weight blend of identity and a 90-degree turn is a
  // 45-degree turn; the morph weight is the stored key 32768 as the 16-bit step
  // below 0.5 (values in [0, 1] keep floor(0.5 * 65535) = 32767).
  const double c = std::sqrt(0.5), s = std::sqrt(0.5);
  const double w = 32767.0 / 65535.0;
  for (int frame = 0; frame < 3; ++frame) {  // the mesh is rebuilt, not accumulated
    instance->Update(0.25f, true);
    instance->UpdateTransformations(0.25f);
    // Vertex 0: morphed to (1 + w, 1, 0), then around the bone at (0, 1, 0).
    EXPECT_NEAR(positions[0].x, (1.0 + w) * c, 1e-4) << frame;
    EXPECT_NEAR(positions[0].y, 1.0 + (1.0 + w) * s, 1e-4) << frame;
    EXPECT_NEAR(positions[0].z, 0.0, 1e-5) << frame;
    // Vertex 1: morphed to (0, 2, w); the root keeps it, the bone turns (0, 1, w)
    // to (-s, 1 + c, w); half of each.
    EXPECT_NEAR(positions[1].x, -0.5 * s, 1e-4) << frame;
    EXPECT_NEAR(positions[1].y, 0.5 * 2.0 + 0.5 * (1.0 + c), 1e-4) << frame;
    EXPECT_NEAR(positions[1].z, w, 1e-4) << frame;
  }
  AnimCore::Delete(instance);
  AnimCore::Delete(turn);
  AnimCore::Delete(smile);
  AnimCore::Delete(actor);
}


// "hips" at the origin carries the mesh; "spine" sits at (0, 5, 0) below it.
// Vertex 0 (1, 5, 0) follows the spine, vertex 1 (0, 0, 2) the hips, vertex 2
// (0, 6, 0) half of each.
AnimBytes SpineActorFile() {
  AnimFileWriter writer(AnimFileKind::Actor, false);
  testkit::AnimNodeChunk hips;
  hips.name = "hips";
  writer.AddNode(hips);
  testkit::AnimNodeChunk spine;
  spine.name = "spine";
  spine.parentIndex = 0;
  spine.position[1] = 5.0f;
  writer.AddNode(spine);
  testkit::AnimMeshChunk mesh;
  mesh.numOrgVertices = 3;
  mesh.numVertices = 3;
  mesh.numIndices = 3;
  testkit::AnimMeshChunk::Layer positions;
  positions.type = LAYERTYPE_POSITIONS;
  for (float f : {1.0f, 5.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f, 6.0f, 0.0f}) positions.words.push_back(Bits(f));
  testkit::AnimMeshChunk::Layer normals;
  normals.type = LAYERTYPE_NORMALS;
  for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) normals.words.push_back(Bits(f));
  testkit::AnimMeshChunk::Layer original;
  original.type = LAYERTYPE_ORGVTXNUMBERS;
  original.attributeSize = 4;
  original.words = {0, 1, 2};
  mesh.layers = {positions, normals, original};
  mesh.subMeshes.push_back({3, 0, {0, 1, 2}, {0, 1}});
  writer.AddMesh(mesh);
  testkit::AnimSkinningChunk skin;
  skin.vertices = {{testkit::AnimInfluence{1.0f, 1}},
                   {testkit::AnimInfluence{1.0f, 0}},
                   {testkit::AnimInfluence{0.5f, 0}, testkit::AnimInfluence{0.5f, 1}}};
  writer.AddSkinning(skin, 1);
  return writer.Finish();
}

// The spine turned 90 degrees about z, held.
AnimBytes SpineTurnFile() {
  AnimFileWriter writer(AnimFileKind::SkeletalMotion, false);
  testkit::AnimSkeletalSubMotionChunk sub;
  sub.name = "spine";
  const float s = static_cast<float>(std::sqrt(0.5));
  const float turned[4] = {0.0f, 0.0f, s, s};
  std::memcpy(sub.poseRotation, turned, sizeof turned);
  sub.posePosition[1] = 5.0f;
  sub.bindPosition[1] = 5.0f;
  for (float time : {0.0f, 2.0f}) {
    testkit::AnimKey<4> rotation;
    std::memcpy(rotation.value, turned, sizeof turned);
    rotation.time = time;
    sub.rotationKeys.push_back(rotation);
    testkit::AnimKey<3> position;
    position.value[1] = 5.0f;
    position.time = time;
    sub.positionKeys.push_back(position);
  }
  writer.AddSkeletalSubMotion(sub);
  return writer.Finish();
}

// The game creates its instances with transform-data flags 0: they borrow the
// actor's arrays, the inverse bind matrices included, which must still hold the
// bind pose's inverse.
TEST_F(AnimTest, GameInstancesSkinRelativeToTheBindPose) {
  const AnimBytes actorBytes = SpineActorFile();
  const AnimBytes motionBytes = SpineTurnFile();
  Actor* actor = GetImporter()->LoadActor(actorBytes.data(), static_cast<uint32_t>(actorBytes.size()));
  SkeletalMotion* turn = GetImporter()->LoadSkeletalMotion(
      motionBytes.data(), static_cast<uint32_t>(motionBytes.size()));
  ASSERT_NE(actor, nullptr);
  ASSERT_NE(turn, nullptr);
  ASSERT_TRUE(GetActorManager()->RegisterActor(actor));
  ActorInstance* instance = GetActorManager()->CreateActorInstance(actor, 0);
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(instance->GetTransformData().GetInverseBindMatrices(),
            actor->GetTransformData().GetInverseBindMatrices());
  const auto* positions = static_cast<const AnimCore::Vector3*>(
      actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  const auto* normals = static_cast<const AnimCore::Vector3*>(
      actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  ASSERT_NE(positions, nullptr);
  ASSERT_NE(normals, nullptr);
  const auto expectVertex = [&](uint32_t v, AnimCore::Vector3 p, AnimCore::Vector3 n) {
    SCOPED_TRACE(v);
    EXPECT_NEAR(positions[v].x, p.x, 1e-4);
    EXPECT_NEAR(positions[v].y, p.y, 1e-4);
    EXPECT_NEAR(positions[v].z, p.z, 1e-4);
    EXPECT_NEAR(normals[v].x, n.x, 1e-4);
    EXPECT_NEAR(normals[v].y, n.y, 1e-4);
    EXPECT_NEAR(normals[v].z, n.z, 1e-4);
  };

  // The spine's inverse bind matrix moves by (0, -5, 0).
  const AnimCore::Matrix& spineInverseBind = instance->GetTransformData().GetInverseBindMatrices()[1];
  EXPECT_NEAR(spineInverseBind(3, 1), -5.0f, 1e-6);
  // At rest, and moved as a whole, the mesh stays as it was made: skinning works in
  // the space of the node that owns the mesh.
  instance->SetPosition({10.0f, 0.0f, 0.0f});
  instance->Update(0.1f, true);
  instance->UpdateTransformations(0.1f);
  expectVertex(0, {1, 5, 0}, {1, 0, 0});
  expectVertex(1, {0, 0, 2}, {1, 0, 0});
  expectVertex(2, {0, 6, 0}, {1, 0, 0});

  // Turned 90 degrees about z at the spine: (1, 0, 0) from the spine becomes
  // (0, 1, 0); vertex 2 is half (0, 6, 0) and half (-1, 5, 0).
  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  ASSERT_NE(instance->GetMotionSystem()->PlayMotion(turn, &info), nullptr);
  instance->Update(0.1f, true);
  instance->UpdateTransformations(0.1f);
  expectVertex(0, {0, 6, 0}, {0, 1, 0});
  expectVertex(1, {0, 0, 2}, {1, 0, 0});
  expectVertex(2, {-0.5f, 5.5f, 0}, {0.5f, 0.5f, 0});

  // A second instance made while the first is posed shares the arrays and still
  // finds the bind pose.
  ActorInstance* second = GetActorManager()->CreateActorInstance(actor, 0);
  ASSERT_NE(second, nullptr);
  EXPECT_NEAR(second->GetTransformData().GetInverseBindMatrices()[1](3, 1), -5.0f, 1e-6);
  EXPECT_NEAR(second->GetTransformData().GetInverseBindMatrices()[1](3, 0), 0.0f, 1e-6);
  AnimCore::Delete(second);
  AnimCore::Delete(instance);
  GetActorManager()->UnregisterActor(actor);
  AnimCore::Delete(turn);
  AnimCore::Delete(actor);
}

// A look-at controller turning the spine reaches the drawn pose in the same update:
// the skinned vertices and an object hanging on the spine follow it.
TEST_F(AnimTest, LookAtTurnReachesSkinAndAttachments) {
  const AnimBytes actorBytes = SpineActorFile();
  Actor* actor = GetImporter()->LoadActor(actorBytes.data(), static_cast<uint32_t>(actorBytes.size()));
  ASSERT_NE(actor, nullptr);
  ASSERT_TRUE(GetActorManager()->RegisterActor(actor));
  ActorInstance* instance = GetActorManager()->CreateActorInstance(actor, 0);
  Actor* propActor = testing::MakeActor({{"prop", -1}}, "prop");
  auto* prop = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, propActor);
  ASSERT_NE(instance, nullptr);
  ASSERT_TRUE(instance->AddAttachment(1, prop));
  auto* lookAt = AnimCore::New<LookAtController>(MEMCATEGORY_WORLDSPACECONTROLLER, instance, 1u);
  lookAt->SetGoal(10.0f, 5.0f, 0.0f);
  lookAt->Activate(0.0f);
  ASSERT_TRUE(instance->AddWorldSpaceController(lookAt));

  // Looking along +X is a quarter turn about Y: the spine's (1, 0, 0) becomes
  // (0, 0, -1).
  instance->Update(1.0f, true);
  instance->UpdateTransformations(1.0f);
  const auto* positions = static_cast<const AnimCore::Vector3*>(
      actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  const auto* normals = static_cast<const AnimCore::Vector3*>(
      actor->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  ASSERT_NE(positions, nullptr);
  ASSERT_NE(normals, nullptr);
  EXPECT_NEAR(positions[0].x, 0.0f, 1e-4);
  EXPECT_NEAR(positions[0].y, 5.0f, 1e-4);
  EXPECT_NEAR(positions[0].z, -1.0f, 1e-4);
  EXPECT_NEAR(normals[0].z, -1.0f, 1e-4);
  EXPECT_NEAR(positions[1].z, 2.0f, 1e-4);  // on the hips: unmoved
  const AnimCore::Matrix& hung = prop->GetParentTransform();
  EXPECT_NEAR(hung(0, 2), -1.0f, 1e-5);
  EXPECT_NEAR(hung(2, 0), 1.0f, 1e-5);
  EXPECT_NEAR(hung(3, 1), 5.0f, 1e-5);

  AnimCore::Delete(prop);
  AnimCore::Delete(propActor);
  AnimCore::Delete(instance);
  GetActorManager()->UnregisterActor(actor);
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
