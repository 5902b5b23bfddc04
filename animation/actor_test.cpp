#include "animation/actor.h"

#include <gtest/gtest.h>

#include "animation/actor_manager.h"
#include "animation/anim_test_support.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/motion_event_handler.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testing::MakeActor;

TEST_F(AnimTest, NewNodeDefaults) {
  Actor* actor = MakeActor({{"Bip01", -1}});
  Node* node = actor->GetNode(0);
  EXPECT_EQ(node->GetIndex(), 0u);
  EXPECT_EQ(node->GetParentIndex(), Node::kNoNode);
  EXPECT_EQ(node->GetParent(), nullptr);
  EXPECT_STREQ(node->GetName(), "Bip01");
  EXPECT_EQ(node->GetID(), GetStringID("Bip01"));
  EXPECT_EQ(node->GetNumLODLevels(), 1u);
  EXPECT_EQ(node->GetMesh(0), nullptr);
  EXPECT_EQ(node->GetMesh(5), nullptr);
  EXPECT_FALSE(node->HasAnyMesh());
  EXPECT_FALSE(node->HasMeshDeformers(0));
  EXPECT_TRUE(node->GetIncludeInBoundsCalc());
  EXPECT_EQ(actor->GetMultiplyOrder(), 1u);
  EXPECT_EQ(actor->GetNumLODLevels(), 1u);
  EXPECT_EQ(actor->GetRepositioningMask(), 1u);
  EXPECT_EQ(actor->GetRepositioningNode(), -1);
  // Equal names in different actors share one id.
  Actor* other = MakeActor({{"Bip01", -1}});
  EXPECT_EQ(other->GetNode(0)->GetID(), node->GetID());
  AnimCore::Delete(other);
  AnimCore::Delete(actor);
}

TEST_F(AnimTest, HierarchyDescendantsAndRepositioningNode) {
  // Two roots: "a" with two descendants, "b" with two; the first wins the tie.
  Actor* actor = MakeActor({{"a", -1}, {"a1", 0}, {"a2", 1}, {"b", -1}, {"b1", 3}, {"b2", 3}});
  EXPECT_EQ(actor->GetNode(0)->CalcNumDescendants(), 2u);
  EXPECT_EQ(actor->GetNode(3)->CalcNumDescendants(), 2u);
  EXPECT_EQ(actor->GetNode(5)->CalcNumDescendants(), 0u);
  EXPECT_EQ(actor->GetNode(2)->GetParent(), actor->GetNode(1));
  EXPECT_EQ(actor->FindBestRepositioningNode(), actor->GetNode(0));
  actor->AutoSetRepositioningNode();
  EXPECT_EQ(actor->GetRepositioningNode(), 0);
  EXPECT_EQ(actor->FindNodeByID(GetStringID("b1")), actor->GetNode(4));
  // By name: exact and case-sensitive, the first match in node order.
  EXPECT_EQ(actor->FindNodeByName("b1"), actor->GetNode(4));
  EXPECT_EQ(actor->FindNodeByName("B1"), nullptr);
  EXPECT_EQ(actor->FindNodeByName("b"), actor->GetNode(3));
  EXPECT_EQ(actor->FindNodeByName("never-registered"), nullptr);
  EXPECT_EQ(actor->FindNodeByName(nullptr), nullptr);
  // The repositioning switch is on by default, kept apart from the mask, and
  // goes with a clone.
  EXPECT_TRUE(actor->GetRepositioningEnabled());
  actor->SetRepositioningEnabled(false);
  EXPECT_EQ(actor->GetRepositioningMask(), 1u);
  Actor* clone = actor->Clone(Actor::CLONE_ALL);
  ASSERT_NE(clone, nullptr);
  EXPECT_FALSE(clone->GetRepositioningEnabled());
  AnimCore::Delete(clone);
  AnimCore::Delete(actor);

  Actor* single = MakeActor({{"only", -1}});
  single->SetRepositioningNode(0);
  single->AutoSetRepositioningNode();
  EXPECT_EQ(single->GetRepositioningNode(), -1);
  AnimCore::Delete(single);
}

TEST_F(AnimTest, CyclicHierarchyStopsCounting) {
  Actor* actor = MakeActor({{"a", -1}, {"b", 0}});
  actor->GetNode(1)->AddChild(0);  // a malformed file could say this
  EXPECT_LE(actor->GetNode(0)->CalcNumDescendants(), 3u);
  AnimCore::Delete(actor);
}

class ActorHookCounter : public MotionEventHandler {
 public:
  explicit ActorHookCounter(int* count) : mCount(count) {}
  void OnDeleteActor(Actor*) override { ++*mCount; }

 private:
  int* mCount;
};

TEST_F(AnimTest, DeletingAnActorUnregistersItAndTellsTheHandler) {
  int deleted = 0;
  GetEventManager()->SetEventHandler(
      AnimCore::New<ActorHookCounter>(MEMCATEGORY_MOTIONEVENT, &deleted));
  Actor* first = MakeActor({{"a", -1}});
  Actor* second = MakeActor({{"b", -1}});
  ActorManager* manager = GetActorManager();
  ASSERT_TRUE(manager->RegisterActor(first));
  ASSERT_TRUE(manager->RegisterActor(second));
  AnimCore::Delete(first);
  EXPECT_EQ(deleted, 1);
  ASSERT_EQ(manager->GetNumRegisteredActors(), 1u);
  EXPECT_EQ(manager->GetRegisteredActor(0), second);
  AnimCore::Delete(second);
  EXPECT_EQ(manager->GetNumRegisteredActors(), 0u);
}

// A deformer that only says what type it is.
class TypedDeformer : public MeshDeformer {
 public:
  TypedDeformer(Mesh* mesh, uint32_t type) : MeshDeformer(mesh), mType(type) {}
  void Update(ActorInstance*, Node*, float) override {}
  MeshDeformer* Clone(Mesh* newMesh, Actor*) const override {
    return AnimCore::New<TypedDeformer>(MEMCATEGORY_MESHDEFORMER, newMesh, mType);
  }
  uint32_t GetType() const override { return mType; }
  uint32_t GetSubType() const override { return 1; }

 private:
  uint32_t mType;
};

Mesh* NewMesh() { return AnimCore::New<Mesh>(MEMCATEGORY_MESH, 3u, 1u, 3u); }

TEST_F(AnimTest, RemovingMorphSetupsDropsMorphDeformersAndEmptyStacks) {
  Actor* actor = MakeActor({{"head", -1}, {"body", -1}});
  for (uint32_t i = 0; i < 2; ++i) {
    Node* node = actor->GetNode(i);
    node->SetMesh(0, NewMesh());
    auto* stack = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, node->GetMesh(0));
    stack->AddDeformer(AnimCore::New<TypedDeformer>(MEMCATEGORY_MESHDEFORMER, node->GetMesh(0),
                                                    MorphSetup::MORPH_DEFORMER_TYPE));
    if (i == 1) {
      stack->AddDeformer(
          AnimCore::New<TypedDeformer>(MEMCATEGORY_MESHDEFORMER, node->GetMesh(0), 1u));
    }
    node->SetMeshDeformerStack(0, stack);
  }
  actor->SetMorphSetup(0, AnimCore::New<MorphSetup>(MEMCATEGORY_MESHDEFORMER));
  EXPECT_TRUE(actor->GetNode(0)->HasMeshDeformers(0));
  EXPECT_TRUE(actor->GetNode(0)->HasAnyMesh());

  actor->RemoveAllMorphSetups(true);
  EXPECT_EQ(actor->GetMorphSetup(0), nullptr);
  EXPECT_EQ(actor->GetNode(0)->GetMeshDeformerStack(0), nullptr);  // left empty: released
  ASSERT_NE(actor->GetNode(1)->GetMeshDeformerStack(0), nullptr);
  EXPECT_EQ(actor->GetNode(1)->GetMeshDeformerStack(0)->GetNumDeformers(), 1u);
  AnimCore::Delete(actor);
}

TEST_F(AnimTest, AddLODLevelSharesMeshesAndClonesStacks) {
  Actor* actor = MakeActor({{"root", -1}, {"arm", 0}});
  actor->AddMaterial(0, AnimCore::New<Material>(MEMCATEGORY_MATERIAL));
  Actor* lod = MakeActor({{"arm", -1}, {"extra", -1}});
  Node* lodArm = lod->GetNode(0);
  lodArm->SetMesh(0, NewMesh());
  lodArm->SetCollisionMesh(0, NewMesh());
  auto* stack = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, lodArm->GetMesh(0));
  stack->AddDeformer(AnimCore::New<TypedDeformer>(MEMCATEGORY_MESHDEFORMER, lodArm->GetMesh(0), 1u));
  lodArm->SetMeshDeformerStack(0, stack);
  Mesh* lodMesh = lodArm->GetMesh(0);
  Material* lodMaterial = AnimCore::New<Material>(MEMCATEGORY_MATERIAL);
  lod->AddMaterial(0, lodMaterial);

  ASSERT_TRUE(actor->AddLODLevel(lod, true));  // lod is destroyed; what it shared lives on
  EXPECT_EQ(actor->GetNumLODLevels(), 2u);
  Node* arm = actor->GetNode(1);
  EXPECT_EQ(arm->GetNumLODLevels(), 2u);
  EXPECT_EQ(arm->GetMesh(1), lodMesh);
  EXPECT_NE(arm->GetCollisionMesh(1), nullptr);
  ASSERT_NE(arm->GetMeshDeformerStack(1), nullptr);
  EXPECT_NE(arm->GetMeshDeformerStack(1), stack);
  EXPECT_EQ(arm->GetMeshDeformerStack(1)->GetDeformer(0)->GetMesh(), lodMesh);
  EXPECT_TRUE(arm->HasMeshDeformers(1));
  EXPECT_EQ(actor->GetNode(0)->GetNumLODLevels(), 2u);  // no counterpart: empty entries
  EXPECT_EQ(actor->GetNode(0)->GetMesh(1), nullptr);
  EXPECT_EQ(actor->GetNumMaterials(1), 1u);
  EXPECT_EQ(actor->GetMaterial(1, 0), lodMaterial);
  EXPECT_EQ(actor->GetNumMaterials(0), 1u);
  EXPECT_FALSE(actor->AddLODLevel(actor, false));
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
