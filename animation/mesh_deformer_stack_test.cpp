#include "animation/mesh_deformer_stack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "animation/anim_test_support.h"
#include "animation/mesh.h"

namespace Anim {
namespace {

using testing::AnimTest;

// Adds its mark to the first position's x and records its name in the trace.
class MarkDeformer : public MeshDeformer {
 public:
  MarkDeformer(Mesh* mesh, uint32_t type, char name, float mark, std::string* trace)
      : MeshDeformer(mesh), mType(type), mName(name), mMark(mark), mTrace(trace) {}
  void Update(ActorInstance*, Node*, float) override {
    auto* x = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS, 0));
    *x += mMark;
    *mTrace += mName;
  }
  void Reinitialize(Actor*) override { *mTrace += 'r'; }
  MeshDeformer* Clone(Mesh* newMesh, Actor*) const override {
    return AnimCore::New<MarkDeformer>(MEMCATEGORY_MESHDEFORMER, newMesh, mType, mName, mMark,
                                       mTrace);
  }
  uint32_t GetType() const override { return mType; }
  uint32_t GetSubType() const override { return 0; }

 private:
  uint32_t mType;
  char mName;
  float mMark;
  std::string* mTrace;
};

class StackTest : public AnimTest {
 protected:
  void SetUp() override {
    AnimTest::SetUp();
    mesh = AnimCore::New<Mesh>(MEMCATEGORY_MESH, 1u, 0u, 1u);
    auto* positions = AnimCore::New<VertexAttributeLayerAbstractData>(
        MEMCATEGORY_VERTEXATTRIBUTELAYER, 1u, LAYERTYPE_POSITIONS, 12u, true);
    const float original[3] = {1, 0, 0};
    std::memcpy(positions->GetOriginalData(), original, 12);
    positions->ResetToOriginalData();
    mesh->AddVertexAttributeLayer(positions);
    stack = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, mesh);
  }
  void TearDown() override {
    AnimCore::Delete(stack);
    AnimCore::Delete(mesh);
    AnimTest::TearDown();
  }
  MarkDeformer* Make(uint32_t type, char name, float mark) {
    return AnimCore::New<MarkDeformer>(MEMCATEGORY_MESHDEFORMER, mesh, type, name, mark, &trace);
  }
  float X() const {
    return *static_cast<float*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS, 0));
  }

  Mesh* mesh = nullptr;
  MeshDeformerStack* stack = nullptr;
  std::string trace;
};

TEST_F(StackTest, EmptyStackLeavesTheMeshAlone) {
  *static_cast<float*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS, 0)) = 7;
  stack->Update(nullptr, nullptr, 0.1f);
  EXPECT_EQ(X(), 7.0f);
}

TEST_F(StackTest, ResetsThenUpdatesEnabledDeformersInOrder) {
  stack->AddDeformer(Make(1, 'a', 10));
  stack->AddDeformer(Make(2, 'c', 100));
  MarkDeformer* b = Make(1, 'b', 1000);
  stack->InsertDeformer(1, b);
  *static_cast<float*>(mesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS, 0)) = 7;
  stack->Update(nullptr, nullptr, 0.1f);
  EXPECT_EQ(trace, "abc");
  EXPECT_EQ(X(), 1111.0f);  // 1 restored from the originals, plus the marks

  b->SetEnabled(false);
  trace.clear();
  stack->Update(nullptr, nullptr, 0.1f);
  EXPECT_EQ(trace, "ac");
  EXPECT_EQ(X(), 111.0f);
  EXPECT_EQ(stack->GetDeformer(1), b);  // keeps its place

  trace.clear();
  stack->ReinitializeDeformers(nullptr);
  EXPECT_EQ(trace, "rrr");
  EXPECT_EQ(stack->FindDeformerByMesh(mesh), stack->GetDeformer(0));
  EXPECT_EQ(stack->FindDeformerByMesh(nullptr), nullptr);
}

TEST_F(StackTest, RemovalByTypeAndByPointerKeepsTheOrder) {
  stack->AddDeformer(Make(2, 'm', 0));
  MarkDeformer* skin = Make(1, 's', 0);
  stack->AddDeformer(skin);
  stack->AddDeformer(Make(2, 'n', 0));
  EXPECT_EQ(stack->RemoveAllDeformersByType(2), 2u);
  EXPECT_EQ(stack->RemoveAllDeformersByType(2), 0u);
  ASSERT_EQ(stack->GetNumDeformers(), 1u);
  EXPECT_EQ(stack->GetDeformer(0), skin);

  EXPECT_TRUE(stack->RemoveDeformer(skin));
  EXPECT_FALSE(stack->RemoveDeformer(skin));
  AnimCore::Delete(skin);
}

TEST_F(StackTest, CloneCopiesEveryDeformerForTheNewMesh) {
  stack->AddDeformer(Make(1, 'a', 1));
  stack->AddDeformer(Make(2, 'b', 2));
  Mesh* copy = mesh->Clone(nullptr, nullptr);
  MeshDeformerStack* clone = stack->Clone(copy, nullptr);
  ASSERT_NE(clone, nullptr);
  ASSERT_EQ(clone->GetNumDeformers(), 2u);
  EXPECT_EQ(clone->GetMesh(), copy);
  EXPECT_EQ(clone->GetDeformer(1)->GetMesh(), copy);
  EXPECT_EQ(clone->GetDeformer(1)->GetType(), 2u);
  AnimCore::Delete(clone);
  AnimCore::Delete(copy);
}

}  // namespace
}  // namespace Anim
