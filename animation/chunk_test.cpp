#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/actor.h"
#include "animation/anim_test_support.h"
#include "animation/chunk_processors.h"
#include "animation/importer.h"
#include "animation/actor_instance.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/skinning_info_vertex_attribute.h"
#include "animation/soft_skin_deformer.h"
#include "animation/node_limit_attribute.h"
#include "animation/sub_mesh.h"
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

AnimNodeChunk NodeChunk(const char* name, uint32_t parent) {
  AnimNodeChunk node;
  node.name = name;
  node.parentIndex = parent;
  return node;
}

class ChunkTest : public AnimTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    AnimTest::SetUp();
    importer = AnimCore::New<Importer>(MEMCATEGORY_IMPORTER);
    ASSERT_NE(importer, nullptr);
    ASSERT_TRUE(RegisterStandardChunkProcessors(*importer));
  }
  void TearDown() override {
    AnimCore::Delete(importer);
    AnimTest::TearDown();
  }
  Actor* Load(const AnimBytes& bytes, const ActorSettings* settings = nullptr) {
    return importer->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()), settings);
  }
  AnimFileWriter Writer() const { return AnimFileWriter(AnimFileKind::Actor, GetParam()); }

  Importer* importer = nullptr;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, ChunkTest, ::testing::Bool());

TEST_P(ChunkTest, NodesBuildTheHierarchyAndBindPose) {
  AnimFileWriter writer = Writer();
  AnimNodeChunk root = NodeChunk("root", 0xFFFFFFFFu);
  root.rotation[0] = 0.0f;  // length 2: stored normalised
  root.rotation[3] = 2.0f;
  root.scaleRotation[2] = 3.0f;  // (0, 0, 3, 1) scaled to length 1
  root.position[0] = 1.5f;
  root.position[2] = -2.0f;
  root.scale[1] = 4.0f;
  root.unused[0] = 99.0f;  // never read
  root.lodMask = 0x5;
  writer.AddNode(root, 1);
  AnimNodeChunk child = NodeChunk("child", 0);
  child.flags = 0;
  writer.AddNode(child, 2);
  writer.AddNode(NodeChunk("second root", 0xFFFFFFFFu), 2);
  writer.AddNode(NodeChunk("child 2", 0), 2);
  Actor* actor = Load(writer.Finish());
  ASSERT_NE(actor, nullptr);
  ASSERT_EQ(actor->GetNumNodes(), 4u);
  ASSERT_EQ(actor->GetNumRootNodes(), 2u);
  EXPECT_EQ(actor->GetRootNodeIndex(0), 0u);
  EXPECT_EQ(actor->GetRootNodeIndex(1), 2u);
  Node* rootNode = actor->GetNode(0);
  ASSERT_EQ(rootNode->GetNumChildNodes(), 2u);
  EXPECT_EQ(rootNode->GetChildIndex(0), 1u);
  EXPECT_EQ(rootNode->GetChildIndex(1), 3u);
  EXPECT_EQ(actor->GetNode(1)->GetParentIndex(), 0u);
  EXPECT_STREQ(actor->GetNode(1)->GetName(), "child");
  EXPECT_EQ(rootNode->GetLODMask(), 0x5u);
  EXPECT_TRUE(rootNode->GetIncludeInBoundsCalc());  // version 1 keeps the default
  EXPECT_FALSE(actor->GetNode(1)->GetIncludeInBoundsCalc());
  EXPECT_TRUE(actor->GetNode(2)->GetIncludeInBoundsCalc());

  const Transform& bind = actor->GetTransformData().GetBindTransforms()[0];
  EXPECT_EQ(bind.rotation, AnimCore::Quaternion(0, 0, 0, 1));
  const float inv = 1.0f / std::sqrt(10.0f);
  EXPECT_NEAR(bind.scaleRotation.z, 3.0f * inv, 1e-6f);
  EXPECT_NEAR(bind.scaleRotation.w, inv, 1e-6f);
  EXPECT_EQ(bind.position, AnimCore::Vector3(1.5f, 0.0f, -2.0f));
  EXPECT_EQ(bind.scale, AnimCore::Vector3(1.0f, 4.0f, 1.0f));
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, NodeLODMasksAreIgnoredWhenSettingsSaySo) {
  AnimFileWriter writer = Writer();
  AnimNodeChunk node = NodeChunk("root", 0xFFFFFFFFu);
  node.lodMask = 0x2;
  writer.AddNode(node);
  ActorSettings settings;
  settings.loadNodeLODMasks = false;
  Actor* actor = Load(writer.Finish(), &settings);
  ASSERT_EQ(actor->GetNumNodes(), 1u);
  EXPECT_EQ(actor->GetNode(0)->GetLODMask(), 0xFFFFFFFFu);
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, BadParentStopsTheLoadWithTheNodesSoFar) {
  for (uint32_t parent : {1u, 7u, 0xFFFFFFFEu}) {
    AnimFileWriter writer = Writer();
    writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
    writer.AddNode(NodeChunk("bad", parent));
    writer.AddNode(NodeChunk("after", 0));
    Actor* actor = Load(writer.Finish());
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(actor->GetNumNodes(), 1u) << parent;
    AnimCore::Delete(actor);
  }
}

TEST_P(ChunkTest, LimitsAttachToTheNamedNode) {
  AnimFileWriter writer = Writer();
  writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
  writer.AddNode(NodeChunk("arm", 0));
  testkit::AnimLimitChunk limit;
  limit.nodeIndex = 1;  // count - 1
  limit.translationMin[0] = -1.0f;
  limit.rotationMax[2] = 1.25f;
  limit.scaleMax[1] = 2.0f;
  limit.flags[0] = 1;
  limit.flags[4] = 7;
  limit.flags[8] = 1;
  writer.AddLimit(limit);
  testkit::AnimLimitChunk zero;
  zero.nodeIndex = 0;
  writer.AddLimit(zero);
  zero.nodeIndex = 2;  // the node count: refused, and the load stops
  writer.AddLimit(zero);
  writer.AddNode(NodeChunk("never", 0));
  Actor* actor = Load(writer.Finish());
  ASSERT_EQ(actor->GetNumNodes(), 2u);
  EXPECT_TRUE(Logged("ChunkProcessorActorLimit::Process: Could not get node by index."));
  auto* arm = static_cast<NodeLimitAttribute*>(
      actor->GetNode(1)->FindAttributeByType(NodeLimitAttribute::TYPE_ID));
  ASSERT_NE(arm, nullptr);
  EXPECT_STREQ(arm->GetTypeString(), "NodeLimitAttribute");
  EXPECT_EQ(arm->translationMin, AnimCore::Vector3(-1.0f, 0.0f, 0.0f));
  EXPECT_EQ(arm->rotationMax, AnimCore::Vector3(0.0f, 0.0f, 1.25f));
  EXPECT_EQ(arm->scaleMax, AnimCore::Vector3(0.0f, 2.0f, 0.0f));
  EXPECT_EQ(arm->limitFlags, (1u << 0) | (1u << 4) | (1u << 8));
  auto* rootLimit = static_cast<NodeLimitAttribute*>(
      actor->GetNode(0)->FindAttributeByType(NodeLimitAttribute::TYPE_ID));
  ASSERT_NE(rootLimit, nullptr);
  EXPECT_EQ(rootLimit->limitFlags, 0u);
  NodeLimitAttribute* clone = arm->Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->rotationMax, arm->rotationMax);
  EXPECT_EQ(clone->limitFlags, arm->limitFlags);
  AnimCore::Delete(clone);
  AnimCore::Delete(actor);
}

// Two submeshes of 4 and 6 vertices, positions and an unknown 8-byte layer.
AnimMeshChunk TwoSubMeshMesh() {
  AnimMeshChunk mesh;
  mesh.numOrgVertices = 8;
  mesh.numVertices = 10;
  mesh.numIndices = 10;  // 3 triangles; the submeshes still read 3 + 6 indices
  AnimMeshChunk::Layer positions;
  positions.type = LAYERTYPE_POSITIONS;
  for (int v = 0; v < 10; ++v) {
    for (float f : {float(v), float(2 * v), -1.0f}) positions.words.push_back(Bits(f));
  }
  mesh.layers.push_back(positions);
  AnimMeshChunk::Layer odd;
  odd.type = 77;
  odd.attributeSize = 4;
  odd.words.assign(10, 0x01020304u);
  mesh.layers.push_back(odd);
  mesh.subMeshes.push_back({4, 2, {0, 1, 3}, {0, 1}});
  mesh.subMeshes.push_back({6, 0, {0, 2, 5, 1, 1, 1}, {}});
  return mesh;
}

TEST_P(ChunkTest, MeshLayersAndSubMeshes) {
  AnimFileWriter writer = Writer();
  writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
  AnimMeshChunk mesh = TwoSubMeshMesh();
  mesh.subMeshes[1].indices.resize(3);  // 6 indices would not fit 9 slots
  writer.AddMesh(mesh);
  Actor* actor = Load(writer.Finish());
  ASSERT_EQ(actor->GetNumNodes(), 1u);
  Mesh* loaded = actor->GetNode(0)->GetMesh(0);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(actor->GetNode(0)->GetCollisionMesh(0), nullptr);
  EXPECT_EQ(loaded->GetNumVertices(), 10u);
  EXPECT_EQ(loaded->GetNumOrgVertices(), 8u);
  EXPECT_EQ(loaded->GetNumTriangles(), 3u);
  ASSERT_EQ(loaded->GetNumVertexAttributeLayers(), 2u);
  const auto* p = static_cast<const float*>(loaded->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[3 * 7 + 1], 14.0f);
  EXPECT_EQ(p[3 * 7 + 2], -1.0f);
  // The unknown layer is kept as read (with the warning): raw words in host order
  // only for a little-endian file.
  const auto* odd = static_cast<const uint32_t*>(loaded->FindVertexAttributeLayerData(77));
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd[0], GetParam() ? 0x04030201u : 0x01020304u);
  ASSERT_EQ(loaded->GetNumSubMeshes(), 2u);
  SubMesh* second = loaded->GetSubMesh(1);
  EXPECT_EQ(second->GetStartVertex(), 4u);
  EXPECT_EQ(second->GetStartIndex(), 3u);
  EXPECT_EQ(loaded->GetSubMesh(0)->GetMaterialIndex(), 2u);
  ASSERT_EQ(loaded->GetSubMesh(0)->GetNumBones(), 2u);
  EXPECT_EQ(loaded->GetSubMesh(0)->GetBone(1), 1u);
  const std::vector<uint32_t> expected{0, 1, 3, 4, 6, 9};
  EXPECT_EQ(std::vector<uint32_t>(loaded->GetIndices(), loaded->GetIndices() + 6), expected);
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, MeshDetailLogNamesEachSubMeshesMaterial) {
  importer->FindChunkProcessor(CHUNK_MESH, 1)->SetLogDetails(true);
  AnimFileWriter writer = Writer();
  writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
  for (const char* name : {"skin", "cloth", "eyes"}) {
    testkit::AnimMaterialChunk material;
    material.name = name;
    writer.AddMaterial(material);
  }
  AnimMeshChunk mesh = TwoSubMeshMesh();
  mesh.subMeshes[1].indices.resize(3);
  mesh.subMeshes[1].materialIndex = 7;  // no such material
  writer.AddMesh(mesh);
  Actor* actor = Load(writer.Finish());
  ASSERT_NE(actor->GetNode(0)->GetMesh(0), nullptr);
  EXPECT_TRUE(Logged("     + Material:       2 (eyes)"));
  EXPECT_TRUE(Logged("     + Material:       7 ()"));
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, MeshSettingsSkipWholeChunksAndLayers) {
  AnimFileWriter writer = Writer();
  writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
  AnimMeshChunk mesh = TwoSubMeshMesh();
  mesh.subMeshes[1].indices.resize(3);
  AnimMeshChunk collision = mesh;
  collision.isCollisionMesh = 1;
  writer.AddMesh(collision);
  writer.AddMesh(mesh);
  writer.AddNode(NodeChunk("after", 0));
  ActorSettings settings;
  settings.loadCollisionMeshes = false;
  settings.layerTypesToIgnore.Add(77);
  Actor* actor = Load(writer.Finish(), &settings);
  ASSERT_EQ(actor->GetNumNodes(), 2u);  // the stream went on behind both chunks
  EXPECT_EQ(actor->GetNode(0)->GetCollisionMesh(0), nullptr);
  ASSERT_NE(actor->GetNode(0)->GetMesh(0), nullptr);
  EXPECT_EQ(actor->GetNode(0)->GetMesh(0)->GetNumVertexAttributeLayers(), 1u);
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, MeshOutOfRangeDataStopsTheLoad) {
  struct Case {
    const char* what;
    void (*spoil)(AnimMeshChunk&);
  };
  const Case cases[] = {
      {"node index", [](AnimMeshChunk& m) { m.nodeIndex = 1; }},
      {"index count beyond data", [](AnimMeshChunk& m) { m.numIndices = 0x40000000u; }},
      {"submesh vertices beyond mesh", [](AnimMeshChunk& m) { m.subMeshes[1].numVertices = 7; }},
      {"submesh indices beyond mesh", [](AnimMeshChunk& m) { m.subMeshes[1].indices.resize(7); }},
      {"index beyond submesh", [](AnimMeshChunk& m) { m.subMeshes[0].indices[2] = 4; }},
      {"position size", [](AnimMeshChunk& m) { m.layers[0].attributeSize = 16; }},
      {"layer overflowing", [](AnimMeshChunk& m) { m.layers[1].attributeSize = 0x80000000u; }},
      {"org vertices", [](AnimMeshChunk& m) { m.numOrgVertices = 11; }},
  };
  for (const Case& c : cases) {
    AnimFileWriter writer = Writer();
    writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
    AnimMeshChunk mesh = TwoSubMeshMesh();
    mesh.subMeshes[1].indices.resize(3);
    c.spoil(mesh);
    writer.AddMesh(mesh);
    writer.AddNode(NodeChunk("after", 0));
    Actor* actor = Load(writer.Finish());
    ASSERT_NE(actor, nullptr) << c.what;
    EXPECT_EQ(actor->GetNumNodes(), 1u) << c.what;
    AnimCore::Delete(actor);
  }
}

TEST_P(ChunkTest, EveryIndexIsCheckedWhereverItLies) {
  // One submesh of 6 vertices (after one of 4) and 12 indices, read four at a time
  // with a tail: a bad index at the start, inside either group or in the tail stops
  // the load with the indices before it stored; none bad stores them all.
  for (int bad : {-1, 0, 3, 5, 8, 11}) {
    AnimFileWriter writer = Writer();
    writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
    AnimMeshChunk mesh = TwoSubMeshMesh();
    mesh.numIndices = 15;
    mesh.subMeshes[1].indices.clear();
    for (uint32_t i = 0; i < 12; ++i) mesh.subMeshes[1].indices.push_back(static_cast<int>(i) == bad ? 6 : (i * 5) % 6);
    writer.AddMesh(mesh);
    writer.AddNode(NodeChunk("after", 0));
    Actor* actor = Load(writer.Finish());
    ASSERT_NE(actor, nullptr) << bad;
    EXPECT_EQ(actor->GetNumNodes(), bad < 0 ? 2u : 1u) << bad;
    const uint32_t* indices = actor->GetNode(0)->GetMesh(0)->GetIndices();
    const uint32_t stored = bad < 0 ? 12 : static_cast<uint32_t>(bad);
    for (uint32_t i = 0; i < stored; ++i) EXPECT_EQ(indices[3 + i], 4 + (i * 5) % 6) << bad << " at " << i;
    AnimCore::Delete(actor);
  }
}

// Root at the origin, "bone" bound at (0, 1, 0); one vertex at (1, 0, 0) on the
// root's mesh, weighted 0.5 to the bone and 0.25 to the root.
AnimBytes SkinnedActor(bool bigEndian, uint32_t skinVersion, testkit::AnimSkinningChunk skin,
                       bool meshAgain = false) {
  AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
  writer.AddNode(NodeChunk("root", 0xFFFFFFFFu));
  AnimNodeChunk bone = NodeChunk("bone", 0);
  bone.position[1] = 1.0f;
  writer.AddNode(bone);
  AnimMeshChunk mesh;
  mesh.numOrgVertices = 1;
  mesh.numVertices = 1;
  AnimMeshChunk::Layer positions;
  positions.words = {Bits(1.0f), Bits(0.0f), Bits(0.0f)};
  AnimMeshChunk::Layer normals;
  normals.type = LAYERTYPE_NORMALS;
  normals.words = {Bits(0.0f), Bits(0.0f), Bits(1.0f)};
  AnimMeshChunk::Layer org;
  org.type = LAYERTYPE_ORGVTXNUMBERS;
  org.attributeSize = 4;
  org.words = {0};
  mesh.layers = {positions, normals, org};
  writer.AddMesh(mesh);
  writer.AddSkinning(skin, skinVersion);
  if (meshAgain) writer.AddMesh(mesh);
  writer.AddNode(NodeChunk("after", 0));
  return writer.Finish();
}

testkit::AnimSkinningChunk OneVertexSkin() {
  testkit::AnimSkinningChunk skin;
  skin.vertices = {{{0.5f, 1}, {0.25f, 0}}};
  return skin;
}

TEST_P(ChunkTest, ASecondMeshReplacesTheFirstWithItsDeformers) {
  // The skin deformer was built for the first mesh and points into it.
  Actor* actor = Load(SkinnedActor(GetParam(), 2, OneVertexSkin(), true));
  ASSERT_EQ(actor->GetNumNodes(), 3u);
  EXPECT_NE(actor->GetNode(0)->GetMesh(0), nullptr);
  EXPECT_EQ(actor->GetNode(0)->GetMeshDeformerStack(0), nullptr);
  AnimCore::Delete(actor);
}

TEST_P(ChunkTest, SkinningVersionsDeformAlike) {
  for (uint32_t version : {1u, 2u}) {
    Actor* actor = Load(SkinnedActor(GetParam(), version, OneVertexSkin()));
    ASSERT_EQ(actor->GetNumNodes(), 3u) << version;
    Node* root = actor->GetNode(0);
    MeshDeformerStack* stack = root->GetMeshDeformerStack(0);
    ASSERT_NE(stack, nullptr);
    ASSERT_EQ(stack->GetNumDeformers(), 1u);
    auto* skinner = static_cast<SoftSkinDeformer*>(stack->GetDeformer(0));
    EXPECT_EQ(skinner->GetType(), 1u);
    // Reinitialised by the load: bones in first-use order.
    ASSERT_EQ(skinner->GetNumBones(), 2u);
    EXPECT_EQ(skinner->GetBone(0).nodeNumber, 1u);
    EXPECT_EQ(skinner->GetBone(1).nodeNumber, 0u);

    ActorInstance* instance = AnimCore::New<ActorInstance>(MEMCATEGORY_ACTORINSTANCE, actor);
    ASSERT_NE(instance, nullptr);
    TransformData& data = instance->GetTransformData();
    // Bone moved from its bind place (0, 1, 0) to (0, 3, 0); root stays put.
    data.GetWorldMatrices()[0] = AnimCore::Matrix();
    data.GetInverseBindMatrices()[0] = AnimCore::Matrix();
    data.GetWorldMatrices()[1] = AnimCore::Matrix();
    data.GetWorldMatrices()[1](3, 1) = 3.0f;
    data.GetInverseBindMatrices()[1] = AnimCore::Matrix();
    data.GetInverseBindMatrices()[1](3, 1) = -1.0f;
    stack->Update(instance, root, 0.0f);
    // 0.5 * (1, 2, 0) + 0.25 * (1, 0, 0); the normal only turns (it does not), scaled by 0.75.
    const auto* p = static_cast<const float*>(
        root->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
    const auto* n = static_cast<const float*>(
        root->GetMesh(0)->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
    EXPECT_FLOAT_EQ(p[0], 0.75f) << version;
    EXPECT_FLOAT_EQ(p[1], 1.0f) << version;
    EXPECT_FLOAT_EQ(p[2], 0.0f) << version;
    EXPECT_FLOAT_EQ(n[2], 0.75f) << version;
    // A changed weight is followed on the next frame: 1 * (1, 2, 0) + 0.25 * (1, 0, 0).
    auto* skin = static_cast<SkinningInfoVertexAttribute*>(
        root->GetMesh(0)->FindSharedVertexAttributeLayer(SkinningInfoVertexAttribute::TYPE_ID));
    ASSERT_NE(skin, nullptr);
    skin->GetInfluence(0, 0).weight = 1.0f;
    stack->Update(instance, root, 0.0f);
    EXPECT_FLOAT_EQ(p[0], 1.25f) << version;
    EXPECT_FLOAT_EQ(p[1], 2.0f) << version;
    // The stack skins straight from the original values: whatever the current ones
    // hold, it gives what a reset and the deformer's own update give.
    auto* current = const_cast<float*>(p);
    current[0] = current[1] = current[2] = 99.0f;
    const_cast<float*>(n)[2] = -7.0f;
    stack->Update(instance, root, 0.0f);
    const float fused[6] = {p[0], p[1], p[2], n[0], n[1], n[2]};
    root->GetMesh(0)->ResetToOriginalData();
    skinner->Update(instance, root, 0.0f);
    const float plain[6] = {p[0], p[1], p[2], n[0], n[1], n[2]};
    EXPECT_EQ(std::memcmp(fused, plain, sizeof(fused)), 0) << version;
    EXPECT_FLOAT_EQ(fused[0], 1.25f) << version;
    AnimCore::Delete(instance);
    AnimCore::Delete(actor);
  }
}

TEST_P(ChunkTest, BadSkinningStopsTheLoad) {
  struct Case {
    const char* what;
    uint32_t version;
    void (*spoil)(testkit::AnimSkinningChunk&);
  };
  const Case cases[] = {
      {"missing node v1", 1, [](testkit::AnimSkinningChunk& s) { s.vertices[0][0].nodeNumber = 3; }},
      {"missing node v2", 2, [](testkit::AnimSkinningChunk& s) { s.vertices[0][0].nodeNumber = 3; }},
      {"no mesh on node", 1, [](testkit::AnimSkinningChunk& s) { s.nodeIndex = 1; }},
      {"no collision mesh", 2, [](testkit::AnimSkinningChunk& s) { s.forCollisionMesh = 1; }},
      {"node out of range", 2, [](testkit::AnimSkinningChunk& s) { s.nodeIndex = 9; }},
  };
  for (const Case& c : cases) {
    testkit::AnimSkinningChunk skin = OneVertexSkin();
    c.spoil(skin);
    Actor* actor = Load(SkinnedActor(GetParam(), c.version, skin));
    ASSERT_NE(actor, nullptr) << c.what;
    EXPECT_EQ(actor->GetNumNodes(), 2u) << c.what;
    EXPECT_EQ(actor->GetNode(0)->GetMeshDeformerStack(0), nullptr) << c.what;
    AnimCore::Delete(actor);
  }
}

// Loads through an allocator that records its largest request and refuses any
// above 1 MB, so that sizing from a count the data cannot hold shows without
// taking the memory.
class SkinningLoadTest : public ChunkTest {
 protected:
  AnimCore::MemoryAllocator* NewAllocator() override {
    allocator = new AnimCore::testing::TestAllocator();
    allocator->refuseAbove = 1u << 20;
    return allocator;
  }
  AnimCore::testing::TestAllocator* allocator = nullptr;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, SkinningLoadTest, ::testing::Bool());

// A mesh of n vertices carrying only its original vertex numbers, skinned in
// version 1 with the given influence lists.
AnimBytes NumberedMeshActor(bool bigEndian, uint32_t numVertices, uint32_t numOrgVertices,
                            bool withLayer, const testkit::AnimSkinningChunk& skin) {
  AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
  writer.AddNode(NodeChunk("n", 0xFFFFFFFFu));
  AnimMeshChunk mesh;
  mesh.numVertices = numVertices;
  mesh.numOrgVertices = numOrgVertices;
  if (withLayer) {
    AnimMeshChunk::Layer org;
    org.type = LAYERTYPE_ORGVTXNUMBERS;
    org.attributeSize = 4;
    org.keepOriginals = 0;
    for (uint32_t v = 0; v < numVertices; ++v) org.words.push_back(v);
    mesh.layers = {org};
  }
  writer.AddMesh(mesh);
  writer.AddSkinning(skin, 1);
  return writer.Finish();
}

TEST_P(SkinningLoadTest, CountsTheDataCannotHoldAreRefusedBeforeAnythingIsSized) {
  // 20,000,000 vertices without a layer to hold them, and a skin of no rows: a
  // 165-byte file.
  {
    const AnimBytes bytes = NumberedMeshActor(GetParam(), 20000000, 20000000, false, {});
    EXPECT_EQ(bytes.size(), 165u);
    Actor* actor = Load(bytes);
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(actor->GetNode(0)->GetMesh(0), nullptr);
    AnimCore::Delete(actor);
  }
  // 10,000 vertices held by their layer (40 kB), skinned by three rows: rows sized
  // from the mesh would take 80 kB, their reserved influences 160 kB.
  {
    testkit::AnimSkinningChunk threeEmptyRows;
    threeEmptyRows.vertices.resize(3);
    Actor* actor = Load(NumberedMeshActor(GetParam(), 10000, 10000, true, threeEmptyRows));
    ASSERT_NE(actor, nullptr);
    ASSERT_NE(actor->GetNode(0)->GetMesh(0), nullptr);
    EXPECT_EQ(actor->GetNode(0)->GetMeshDeformerStack(0), nullptr);
    AnimCore::Delete(actor);
  }
  EXPECT_LT(allocator->largestRequest, 64000u);
}

TEST_P(SkinningLoadTest, InfluencesAreCountedFirstAndThePoolIsSizedOnce) {
  // Four influences a vertex, twice the two reserved a row: growing the pool entry
  // by entry would ask for memory thousands of times.
  constexpr uint32_t kVertices = 1000;
  testkit::AnimSkinningChunk skin;
  for (uint32_t v = 0; v < kVertices; ++v) {
    skin.vertices.push_back({{0.1f, 0}, {0.2f, 0}, {0.3f, 0}, {static_cast<float>(v), 0}});
  }
  skin.vertices[7].clear();
  const AnimBytes bytes = NumberedMeshActor(GetParam(), kVertices, kVertices, true, skin);
  allocator->watchedCategory = MEMCATEGORY_VERTEXATTRIBUTELAYER;
  Actor* actor = Load(bytes);
  ASSERT_NE(actor, nullptr);
  EXPECT_LT(allocator->watchedRequests, 10u);
  const Mesh* mesh = actor->GetNode(0)->GetMesh(0);
  ASSERT_NE(mesh, nullptr);
  auto* info = static_cast<SkinningInfoVertexAttribute*>(
      mesh->FindSharedVertexAttributeLayer(SkinningInfoVertexAttribute::TYPE_ID));
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->GetRows().GetLength(), kVertices);
  EXPECT_EQ(info->GetInfluences().GetLength(), (kVertices - 1) * 4);
  EXPECT_EQ(info->GetNumInfluences(7), 0u);
  for (uint32_t v : {0u, 8u, kVertices - 1}) {
    ASSERT_EQ(info->GetNumInfluences(v), 4u) << v;
    EXPECT_EQ(info->GetInfluence(v, 0).weight, 0.1f) << v;
    EXPECT_EQ(info->GetInfluence(v, 2).weight, 0.3f) << v;
    EXPECT_EQ(info->GetInfluence(v, 3).weight, static_cast<float>(v)) << v;
  }
  // Rows lie one behind the other in the pool.
  EXPECT_EQ(info->GetRows()[8].start, 7u * 4u);
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
