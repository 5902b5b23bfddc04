#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_manager.h"
#include "animation/anim_test_support.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/morph_mesh_deformer.h"
#include "animation/morph_setup.h"
#include "animation/morph_target.h"
#include "animation/morph_weight_layer_pass.h"
#include "animation/motion_instance.h"
#include "animation/motion_layer_system.h"
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
using testkit::AnimMeshChunk;
using testkit::AnimMorphSubMotionChunk;
using testkit::AnimMorphTargetChunk;
using testkit::AnimNodeChunk;

TEST(MorphQuant, EncodesToNearestStepAndClamps) {
  struct Case {
    float value, min, max;
    bool wide;
    uint32_t expected;
  };
  const Case cases[] = {
      {1.0f, -1.0f, 1.0f, false, 255},  // the old integer scale 127 gave 254
      {-1.0f, -1.0f, 1.0f, false, 0},
      {0.0f, -1.0f, 1.0f, false, 128},  // 127.5 rounds to even
      {2.0f, -1.0f, 1.0f, false, 255},
      {0.5f, 0.0f, 1.0f, true, 32768},  // 32767.5
      {0.001f, 0.0f, 0.002f, true, 32768},  // a range below 1 no longer wraps the scale
      {3.0f, 0.0f, 1.0f, true, 65535},
      {-3.0f, 0.0f, 1.0f, true, 0},
      {0.25f, 0.25f, 0.25f, true, 0},  // empty range
  };
  for (const Case& c : cases) {
    const uint32_t q = c.wide ? MorphQuant::Encode16(c.value, c.min, c.max)
                              : MorphQuant::Encode8(c.value, c.min, c.max);
    EXPECT_EQ(q, c.expected) << c.value << " in [" << c.min << ", " << c.max << "]";
  }
  EXPECT_FLOAT_EQ(MorphQuant::Decode8(255, -1.0f, 1.0f), 1.0f);
  EXPECT_NEAR(MorphQuant::Decode8(128, -1.0f, 1.0f), -1.0 + 256.0 / 255.0, 1e-6);
  EXPECT_FLOAT_EQ(MorphQuant::Decode16(65535, -2.0f, 2.0f), 2.0f);
  EXPECT_FLOAT_EQ(MorphQuant::Decode16(16384, -2.0f, 2.0f),
                  static_cast<float>(-2.0 + 16384.0 * 4.0 / 65535.0));
}

class MorphTest : public AnimTest, public ::testing::WithParamInterface<bool> {
 protected:
  AnimFileWriter Writer(AnimFileKind kind = AnimFileKind::Actor) const {
    return AnimFileWriter(kind, GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, MorphTest, ::testing::Bool());

TEST_F(AnimTest, PhonemeSetsAndRangedWeight) {
  EXPECT_STREQ(MorphTarget::PhonemeSetsToString(0x102).AsChar(), "M_B_P_X,F_V");
  EXPECT_STREQ(MorphTarget::PhonemeSetsToString(0).AsChar(), "");
  EXPECT_STREQ(MorphTarget::PhonemeSetsToString(0x800).AsChar(), "R_ER");
  ProgressiveMorphTarget target("smile");
  target.rangeMin = -1.0f;
  target.rangeMax = 3.0f;
  EXPECT_FLOAT_EQ(target.CalcRangedWeight(0.0f), 0.25f);
  EXPECT_FLOAT_EQ(target.CalcRangedWeight(5.0f), 1.5f);  // not clamped
  target.rangeMax = -1.0f;
  EXPECT_EQ(target.CalcRangedWeight(0.5f), 0.0f);
}

// Node 0 carries a three-vertex mesh with positions and normals, skinned fully to
// itself, and one morph target moving vertex 1.
AnimBytes MorphedActor(bool bigEndian, uint32_t badVertex) {
  AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
  AnimNodeChunk node;
  node.name = "head";
  writer.AddNode(node);
  AnimMeshChunk mesh;
  mesh.numOrgVertices = 3;
  mesh.numVertices = 3;
  mesh.numIndices = 3;
  AnimMeshChunk::Layer positions;
  positions.type = LAYERTYPE_POSITIONS;
  AnimMeshChunk::Layer normals;
  normals.type = LAYERTYPE_NORMALS;
  for (int v = 0; v < 3; ++v) {
    for (float f : {float(v), 1.0f, 0.0f}) positions.words.push_back(Bits(f));
    for (float f : {0.0f, 0.0f, 1.0f}) normals.words.push_back(Bits(f));
  }
  mesh.layers = {positions, normals};
  mesh.subMeshes.push_back({3, 0, {0, 1, 2}, {}});
  writer.AddMesh(mesh);
  testkit::AnimSkinningChunk skin;
  skin.vertices.assign(3, {testkit::AnimInfluence{1.0f, 0}});
  writer.AddSkinning(skin, 1);

  AnimMorphTargetChunk target;
  target.name = "smile";
  target.phonemeSets = 0x102;
  AnimMorphTargetChunk::DeformData data;
  data.minValue = -2.0f;
  data.maxValue = 2.0f;
  // Offset (2, -2, 0) on position, (0, 0, -1) on the normal.
  data.vertices.push_back({{65535, 0, 32768}, {128, 128, 0}, {128, 128, 128}, 1});
  data.vertices.push_back({{65535, 65535, 65535}, {255, 255, 255}, {}, badVertex});
  target.deformDatas.push_back(data);
  AnimMorphTargetChunk::DeformData missing;  // node without a mesh: skipped by its size
  missing.nodeIndex = 5;
  missing.vertices.resize(2);
  target.deformDatas.push_back(missing);
  AnimMorphTargetChunk::Transformation t;
  t.position[0] = 4.0f;
  target.transformations.push_back(t);
  writer.AddMorphTarget(target);
  return writer.Finish();
}

TEST_P(MorphTest, TargetChunkBuildsTargetAndDeformerBeforeSkin) {
  const AnimBytes bytes = MorphedActor(GetParam(), 3);
  Actor* actor = GetImporter()->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_NE(actor, nullptr);
  MorphSetup* setup = actor->GetMorphSetup(0);
  ASSERT_NE(setup, nullptr);
  ASSERT_EQ(setup->GetNumMorphTargets(), 1u);
  auto* target = static_cast<ProgressiveMorphTarget*>(setup->GetMorphTarget(0));
  EXPECT_EQ(target->phonemeSets, 0x102u);
  ASSERT_EQ(target->GetNumDeformDatas(), 1u);
  const ProgressiveMorphTarget::DeformData* data = target->GetDeformData(0);
  ASSERT_EQ(data->numVertices, 1u);  // the record naming vertex 3 of 3 is dropped
  EXPECT_EQ(data->deltas[0].vertexNumber, 1u);
  ASSERT_EQ(target->GetNumTransformations(), 1u);
  EXPECT_TRUE(target->Influences(0));
  EXPECT_FALSE(target->Influences(5));

  MeshDeformerStack* stack = actor->GetNode(0)->GetMeshDeformerStack(0);
  ASSERT_NE(stack, nullptr);
  ASSERT_EQ(stack->GetNumDeformers(), 2u);
  EXPECT_EQ(stack->GetDeformer(0)->GetType(), MorphMeshDeformer::TYPE_ID);
  EXPECT_EQ(stack->GetDeformer(1)->GetType(), 1u);

  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  ASSERT_EQ(instance->GetMorphSetupInstance().GetNumMorphTargets(), 1u);
  MorphSetupInstance::MorphTarget* entry =
      instance->GetMorphSetupInstance().FindMorphTargetByID(target->nameId);
  ASSERT_NE(entry, nullptr);
  Mesh* mesh = actor->GetNode(0)->GetMesh(0);
  const auto* positions =
      static_cast<const AnimCore::Vector3*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  const auto* normals =
      static_cast<const AnimCore::Vector3*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  const double z16 = -2.0 + 32768.0 * 4.0 / 65535.0;
  const double z8 = -1.0 + 128.0 * 2.0 / 255.0;
  struct Case {
    float weight, applied;
  };
  for (const Case c : {Case{0.5f, 0.5f}, Case{2.0f, 1.0f}, Case{-0.5f, 0.0f}}) {
    entry->weight = c.weight;
    stack->Update(instance, actor->GetNode(0), 0.0f);
    EXPECT_NEAR(positions[1].x, 1.0 + c.applied * 2.0, 1e-5) << c.weight;
    EXPECT_NEAR(positions[1].y, 1.0 - c.applied * 2.0, 1e-5);
    EXPECT_NEAR(positions[1].z, c.applied * z16, 1e-5);
    EXPECT_NEAR(normals[1].x, c.applied * z8, 1e-6);
    EXPECT_NEAR(normals[1].z, 1.0 - c.applied, 1e-6);
    EXPECT_NEAR(positions[2].x, 2.0, 1e-6);  // untouched vertex
  }
  // A new range for the deltas is followed on the next frame (the decoded deltas are
  // not kept past a change).
  target->GetDeformData(0)->minValue = -4.0f;
  target->GetDeformData(0)->maxValue = 4.0f;
  entry->weight = 1.0f;
  stack->Update(instance, actor->GetNode(0), 0.0f);
  EXPECT_NEAR(positions[1].z, -4.0 + 32768.0 * 8.0 / 65535.0, 1e-5);
  AnimCore::Delete(instance);
  AnimCore::Delete(actor);
}

TEST_P(MorphTest, ClonesMorphThroughTheirOwnTargetsAfterTheSourceIsGone) {
  const AnimBytes bytes = MorphedActor(GetParam(), 3);
  for (uint32_t flags : {uint32_t{Actor::CLONE_ALL}, uint32_t{Actor::CLONE_MESHES}}) {
    Actor* source = GetImporter()->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_NE(source, nullptr);
    Actor* clone = source->Clone(flags);
    ASSERT_NE(clone, nullptr);
    AnimCore::Delete(source);

    // The clone's copied morph deformer names the clone's own target, which
    // lives as long as the clone.
    auto* deformer = static_cast<MorphMeshDeformer*>(clone->GetNode(0)->GetMeshDeformerStack(0)->GetDeformer(0));
    ASSERT_EQ(deformer->GetNumDeformPasses(), 1u) << flags;
    EXPECT_EQ(deformer->GetDeformPass(0).morphTarget, clone->GetMorphSetup(0)->GetMorphTarget(0)) << flags;
    ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, clone);
    instance->GetMorphSetupInstance().FindMorphTargetByID(deformer->GetDeformPass(0).morphTarget->nameId)->weight = 1.0f;
    clone->GetNode(0)->GetMeshDeformerStack(0)->Update(instance, clone->GetNode(0), 0.0f);
    const auto* positions = static_cast<const AnimCore::Vector3*>(
        clone->GetNode(0)->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
    EXPECT_NEAR(positions[1].x, 3.0, 1e-5) << flags;
    AnimCore::Delete(instance);
    AnimCore::Delete(clone);
  }
}

TEST_F(AnimTest, ApplyTransformationMovesAndTurnsAroundTheBindPose) {
  Actor* actor = testing::MakeActor({{"jaw", -1}, {"lip", 0}});
  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  ProgressiveMorphTarget target("open");
  ProgressiveMorphTarget::Transformation t;
  t.nodeIndex = 1;
  const double half = M_PI / 4.0;  // 90 degrees about z
  t.rotation = AnimCore::Quaternion(0.0f, 0.0f, static_cast<float>(std::sin(half)),
                                    static_cast<float>(std::cos(half)));
  t.position = AnimCore::Vector3(1.0f, 2.0f, 3.0f);
  t.scale = AnimCore::Vector3(0.5f, 0.0f, 0.0f);
  ASSERT_TRUE(target.AddTransformation(t));
  struct Case {
    float weight, applied;
  };
  for (const Case c : {Case{0.5f, 0.5f}, Case{2.0f, 1.0f}, Case{-0.5f, 0.0f}}) {
    AnimCore::Vector3 position(10.0f, 0.0f, 0.0f);
    AnimCore::Quaternion rotation;
    AnimCore::Vector3 scale(1.0f, 1.0f, 1.0f);
    target.ApplyTransformation(instance, 1, position, rotation, scale, c.weight);
    EXPECT_NEAR(position.x, 10.0 + c.applied, 1e-6) << c.weight;
    EXPECT_NEAR(position.z, 3.0 * c.applied, 1e-6);
    EXPECT_NEAR(scale.x, 1.0 + 0.5 * c.applied, 1e-6);
    const double angle = half * c.applied;  // slerp from the identity bind rotation
    EXPECT_NEAR(rotation.z, std::sin(angle), 1e-5);
    EXPECT_NEAR(rotation.w, std::cos(angle), 1e-5);
  }
  AnimCore::Vector3 position(7.0f, 0.0f, 0.0f);
  AnimCore::Quaternion rotation;
  AnimCore::Vector3 scale(1.0f, 1.0f, 1.0f);
  target.ApplyTransformation(instance, 0, position, rotation, scale, 1.0f);  // not its node
  EXPECT_EQ(position.x, 7.0f);
  EXPECT_EQ(rotation.w, 1.0f);

  MorphTarget* clone = target.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->nameId, target.nameId);
  EXPECT_TRUE(clone->Influences(1));
  AnimCore::Delete(clone);
  AnimCore::Delete(instance);
  AnimCore::Delete(actor);
}

TEST_P(MorphTest, SubMotionChunkQuantisesShiftsAndExtendsTracks) {
  AnimFileWriter writer = Writer(AnimFileKind::PMorphMotion);
  AnimMorphSubMotionChunk first;
  first.name = "smile";
  first.poseWeight = 0.25f;
  first.phonemeSet = 0x4;
  first.keys = {{0.5f, 65535}, {0.75f, 0}, {1.0f, 32768}, {1.5f, 1}};
  writer.AddMorphSubMotion(first);
  AnimMorphSubMotionChunk second;
  second.name = "frown";
  second.minWeight = 0.5f;
  second.keys = {{0.0f, 0}, {2.0f, 65535}};
  writer.AddMorphSubMotion(second);
  AnimMorphSubMotionChunk empty;
  empty.name = "blink";
  writer.AddMorphSubMotion(empty);
  const AnimBytes bytes = writer.Finish();
  ProgressiveMorphMotion* motion =
      GetImporter()->LoadPMorphMotion(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_NE(motion, nullptr);
  ASSERT_EQ(motion->GetNumSubMotions(), 3u);
  const FloatKeyTrack& a = motion->GetSubMotion(0)->GetKeyTrack();
  // Shifted to start at 0, then extended with {0, 2.0} to the second track's end.
  const struct {
    float time;
    uint16_t stored;
  } expectA[] = {{0.0f, 65535}, {0.25f, 0}, {0.5f, 32767}, {1.0f, 0}, {2.0f, 0}};
  ASSERT_EQ(a.GetNumKeys(), 5u);
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_FLOAT_EQ(a.GetKey(i).time, expectA[i].time) << i;
    EXPECT_EQ(a.GetKey(i).GetStorageValue().value, expectA[i].stored) << i;
  }
  const FloatKeyTrack& b = motion->GetSubMotion(1)->GetKeyTrack();
  ASSERT_EQ(b.GetNumKeys(), 2u);
  EXPECT_EQ(b.GetKey(0).GetStorageValue().value, 32767);  // 0.5 of [0.5, 1]
  EXPECT_EQ(motion->GetSubMotion(2)->GetKeyTrack().GetNumKeys(), 0u);
  EXPECT_FLOAT_EQ(motion->GetSubMotion(0)->poseWeight, 0.25f);
  EXPECT_EQ(motion->GetSubMotion(0)->phonemeSet, 0x4u);
  EXPECT_TRUE(motion->HasPhonemes());
  EXPECT_EQ(motion->FindSubMotionByID(GetStringID("frown")), 1);
  EXPECT_FLOAT_EQ(motion->GetMaxTime(), 2.0f);
  AnimCore::Delete(motion);
}

TEST_P(MorphTest, CountsBeyondTheBodyAreRefused) {
  for (const uint32_t chunkID : {9u, 100u}) {
    AnimFileWriter writer = Writer(chunkID == 9 ? AnimFileKind::Actor : AnimFileKind::PMorphMotion);
    writer.BeginChunk(chunkID, 1);
    if (chunkID == 9) {
      writer.PutF32(0.0f);
      writer.PutF32(1.0f);
      writer.PutU32(0);
      writer.PutU32(0x40000000u);  // deform datas
      writer.PutU32(0);
      writer.PutU32(0);
      writer.PutString("smile");
    } else {
      for (int i = 0; i < 4; ++i) writer.PutU32(0);
      writer.PutU32(0x20000000u);  // keys
      writer.PutString("smile");
    }
    writer.EndChunk();
    const AnimBytes bytes = writer.Finish();
    const auto size = static_cast<uint32_t>(bytes.size());
    // The importer goes on past a refused chunk; the refusal leaves nothing behind.
    if (chunkID == 9) {
      Actor* actor = GetImporter()->LoadActor(bytes.data(), size);
      ASSERT_NE(actor, nullptr);
      EXPECT_EQ(actor->GetMorphSetup(0), nullptr);
      EXPECT_TRUE(Logged(
          "ChunkProcessorActorProgMorphTarget::Process: Level or counts exceed the data."));
      AnimCore::Delete(actor);
    } else {
      ProgressiveMorphMotion* motion = GetImporter()->LoadPMorphMotion(bytes.data(), size);
      ASSERT_NE(motion, nullptr);
      EXPECT_EQ(motion->GetNumSubMotions(), 0u);
      EXPECT_TRUE(Logged("ChunkProcessorPMorphSubMotion::Process: Keys of 'smile' exceed the data."));
      AnimCore::Delete(motion);
    }
  }
}

MorphSubMotion* KeyedSubMotion(const char* name, uint32_t phonemeSet, float value) {
  auto* sub = AnimCore::New<MorphSubMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, GetStringID(name));
  sub->phonemeSet = phonemeSet;
  if (value >= 0.0f) {
    sub->GetKeyTrack().AddKey(0.0f, value);
    sub->GetKeyTrack().AddKey(1.0f, value);
    sub->GetKeyTrack().CreateLinearInterpolator();
    sub->GetKeyTrack().Init();
  }
  return sub;
}

TEST_F(AnimTest, WeightPassBlendsMorphMotionsAndIsFadedBySkeletalOnesAbove) {
  Actor* actor = testing::MakeActor({{"head", -1}});
  auto* setup = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
  setup->AddMorphTarget(AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "smile"));
  auto* talk = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "talk");
  talk->phonemeSets = 0x102;
  setup->AddMorphTarget(talk);
  setup->AddMorphTarget(AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "held"));
  setup->AddMorphTarget(AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "posed"));
  ASSERT_TRUE(actor->SetMorphSetup(0, setup));
  ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
  MorphSetupInstance& weights = instance->GetMorphSetupInstance();
  ASSERT_EQ(weights.GetNumMorphTargets(), 4u);
  weights.GetMorphTarget(2)->manualMode = true;
  weights.GetMorphTarget(2)->weight = 0.7f;

  auto* speech = AnimCore::New<ProgressiveMorphMotion>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "speech");
  speech->AddSubMotion(KeyedSubMotion("smile", 0, 0.8f));
  speech->AddSubMotion(KeyedSubMotion("f", 0x100, 0.6f));
  speech->AddSubMotion(KeyedSubMotion("m", 0x002, 0.2f));
  speech->AddSubMotion(KeyedSubMotion("unkeyed", 0x102, -1.0f));  // not counted
  MorphSubMotion* posed = KeyedSubMotion("posed", 0, -1.0f);
  posed->poseWeight = 0.3f;
  speech->AddSubMotion(posed);
  speech->UpdatePhonemeFlag();
  speech->UpdateMaxTime();

  auto* system = static_cast<MotionLayerSystem*>(instance->GetMotionSystem());
  ASSERT_GE(system->GetNumLayerPasses(), 1u);
  MorphWeightLayerPass pass(system);
  EXPECT_EQ(pass.GetType(), 1u);
  pass.Process();  // nothing listed: the reset alone
  EXPECT_EQ(weights.GetMorphTarget(0)->weight, 0.0f);

  sMotionPlayInfo info;
  info.blendInTime = 0.0f;
  info.targetWeight = 0.5f;
  MotionInstance* morph = system->PlayMotion(speech, &info);
  ASSERT_NE(morph, nullptr);
  ASSERT_FLOAT_EQ(morph->GetWeight(), 0.5f);
  morph->SetCurrentTime(0.5f);
  pass.Process();
  const double stored = std::floor(0.8 * 65535.0) / 65535.0;  // the track keeps 16 bits
  EXPECT_NEAR(weights.GetMorphTarget(0)->weight, 0.5 * stored, 1e-6);
  EXPECT_NEAR(weights.GetMorphTarget(1)->weight, 0.5 * (0.6 + 0.2) / 2.0, 1e-4);
  EXPECT_EQ(weights.GetMorphTarget(2)->weight, 0.7f);
  EXPECT_NEAR(weights.GetMorphTarget(3)->weight, 0.5 * 0.3, 1e-6);

  auto* walk = AnimCore::New<SkeletalMotion>(MEMCATEGORY_SKELETALMOTION, "walk");
  sMotionPlayInfo above;
  above.blendInTime = 0.0f;
  above.priorityLevel = 5;
  ASSERT_NE(system->PlayMotion(walk, &above), nullptr);
  pass.Process();
  EXPECT_EQ(weights.GetMorphTarget(0)->weight, 0.0f);
  EXPECT_EQ(weights.GetMorphTarget(1)->weight, 0.0f);
  EXPECT_EQ(weights.GetMorphTarget(2)->weight, 0.7f);

  AnimCore::Delete(instance);
  AnimCore::Delete(walk);
  AnimCore::Delete(speech);
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
