#include <gtest/gtest.h>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/anim_test_support.h"
#include "animation/material.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/node_limit_attribute.h"

namespace Anim {
namespace {

using testing::MakeActor;

class CloneTest : public testing::AnimTest {
 protected:
  // root -> arm, arm with a mesh, a collision mesh, a stack and a limit attribute;
  // one material at LOD 0.
  Actor* MakeSource() {
    Actor* actor = MakeActor({{"root", -1}, {"arm", 0}}, "source");
    Node* arm = actor->GetNode(1);
    arm->SetMesh(0, AnimCore::New<Mesh>(MEMCATEGORY_MESH, 3u, 1u, 3u));
    arm->SetCollisionMesh(0, AnimCore::New<Mesh>(MEMCATEGORY_MESH, 3u, 1u, 3u));
    arm->SetMeshDeformerStack(
        0, AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, arm->GetMesh(0)));
    auto* limit = AnimCore::New<NodeLimitAttribute>(MEMCATEGORY_NODEATTRIBUTE);
    limit->rotationMax = {0.5f, 0.25f, 0.125f};
    arm->AddAttribute(limit);
    actor->AddMaterial(0, AnimCore::New<Material>(MEMCATEGORY_MATERIAL, "skin"));
    actor->GetTransformData().GetBindTransforms()[1].position = {0.0f, 2.0f, 0.0f};
    return actor;
  }
};

TEST_F(CloneTest, FlagsZeroSharesMeshesAndMaterialsAndDependsOnTheSource) {
  Actor* source = MakeSource();
  Node* arm = source->GetNode(1);
  Actor* clone = source->Clone(0);
  ASSERT_NE(clone, nullptr);

  ASSERT_EQ(clone->GetNumNodes(), 2u);
  Node* cloneArm = clone->GetNode(1);
  EXPECT_EQ(cloneArm->GetActor(), clone);
  EXPECT_EQ(cloneArm->GetID(), arm->GetID());
  EXPECT_EQ(cloneArm->GetIndex(), 1u);
  EXPECT_EQ(cloneArm->GetParentIndex(), 0u);
  ASSERT_EQ(clone->GetNode(0)->GetNumChildNodes(), 1u);
  EXPECT_EQ(clone->GetNode(0)->GetChildIndex(0), 1u);
  EXPECT_EQ(clone->GetNumRootNodes(), 1u);
  EXPECT_EQ(clone->GetTransformData().GetBindTransforms()[1].position.y, 2.0f);
  EXPECT_STREQ(clone->GetName(), "source");

  EXPECT_EQ(cloneArm->GetMesh(0), arm->GetMesh(0));
  EXPECT_EQ(cloneArm->GetCollisionMesh(0), arm->GetCollisionMesh(0));
  EXPECT_EQ(arm->GetMeshPointers()[0].GetReferenceCount(), 2u);
  EXPECT_EQ(clone->GetMaterial(0, 0), source->GetMaterial(0, 0));
  EXPECT_EQ(source->GetMaterialPointers(0)->operator[](0).GetReferenceCount(), 2u);
  EXPECT_EQ(cloneArm->GetNumAttributes(), 0u);
  EXPECT_EQ(cloneArm->GetMeshDeformerStack(0), nullptr);

  ASSERT_EQ(clone->GetNumDependencies(), 1u);
  EXPECT_EQ(clone->GetDependency(0).actor, source);
  EXPECT_EQ(clone->GetDependency(0).kind, 1u);

  // A clone of the clone shares the same objects and inherits the dependency.
  Actor* second = clone->Clone(0);
  EXPECT_EQ(arm->GetMeshPointers()[0].GetReferenceCount(), 3u);
  ASSERT_EQ(second->GetNumDependencies(), 2u);
  EXPECT_EQ(second->GetDependency(0).actor, clone);
  EXPECT_EQ(second->GetDependency(1).actor, source);

  AnimCore::Delete(second);
  AnimCore::Delete(clone);
  EXPECT_EQ(arm->GetMeshPointers()[0].GetReferenceCount(), 1u);
  EXPECT_EQ(source->GetMaterialPointers(0)->operator[](0).GetReferenceCount(), 1u);
  AnimCore::Delete(source);
}

TEST_F(CloneTest, AllFlagsOwnEverythingAndOutliveTheSource) {
  Actor* source = MakeSource();
  Node* arm = source->GetNode(1);
  Actor* clone = source->Clone(Actor::CLONE_ALL);
  ASSERT_NE(clone, nullptr);
  Node* cloneArm = clone->GetNode(1);

  EXPECT_EQ(clone->GetNumDependencies(), 0u);
  ASSERT_NE(cloneArm->GetMesh(0), nullptr);
  EXPECT_NE(cloneArm->GetMesh(0), arm->GetMesh(0));
  EXPECT_EQ(cloneArm->GetMesh(0)->GetNumVertices(), 3u);
  ASSERT_NE(cloneArm->GetCollisionMesh(0), nullptr);
  EXPECT_NE(cloneArm->GetCollisionMesh(0), arm->GetCollisionMesh(0));
  ASSERT_NE(cloneArm->GetMeshDeformerStack(0), nullptr);
  EXPECT_NE(cloneArm->GetMeshDeformerStack(0), arm->GetMeshDeformerStack(0));
  ASSERT_NE(clone->GetMaterial(0, 0), nullptr);
  EXPECT_NE(clone->GetMaterial(0, 0), source->GetMaterial(0, 0));
  EXPECT_EQ(arm->GetMeshPointers()[0].GetReferenceCount(), 1u);
  ASSERT_EQ(cloneArm->GetNumAttributes(), 1u);
  EXPECT_NE(cloneArm->GetAttribute(0), arm->GetAttribute(0));
  const auto* limit = static_cast<const NodeLimitAttribute*>(
      cloneArm->FindAttributeByType(NodeLimitAttribute::TYPE_ID));
  ASSERT_NE(limit, nullptr);
  EXPECT_EQ(limit->rotationMax.y, 0.25f);

  AnimCore::Delete(source);
  // Still complete: everything reads from the clone's own objects.
  EXPECT_EQ(cloneArm->GetMesh(0)->GetNumVertices(), 3u);
  EXPECT_EQ(cloneArm->GetMeshDeformerStack(0)->GetMesh(), cloneArm->GetMesh(0));
  EXPECT_EQ(cloneArm->GetMeshPointers()[0].GetReferenceCount(), 1u);
  AnimCore::Delete(clone);
}

TEST_F(CloneTest, ActorWithoutMeshesRecordsNoDependency) {
  Actor* source = MakeActor({{"root", -1}});
  Actor* clone = source->Clone(0);
  EXPECT_EQ(clone->GetNumDependencies(), 0u);
  AnimCore::Delete(clone);
  AnimCore::Delete(source);
}

TEST_F(CloneTest, ManagerMakesClonesAndSpreadsInstancesOverThem) {
  ActorManager* manager = GetActorManager();
  Actor* source = MakeSource();
  ASSERT_TRUE(manager->RegisterActor(source, 2));
  ASSERT_EQ(manager->GetNumRegisteredActors(), 1u);

  // A scripted generator: 0, 1, 2, 3 pick the actor, clone 1, clone 2, the actor.
  static int next = 0;
  next = 0;
  manager->SetRandomFunction([] { return next++; });
  ActorInstance* instances[4];
  for (ActorInstance*& instance : instances) instance = manager->CreateActorInstance(source, 0);
  EXPECT_EQ(instances[0]->GetActor(), source);
  EXPECT_NE(instances[1]->GetActor(), source);
  EXPECT_NE(instances[2]->GetActor(), source);
  EXPECT_NE(instances[1]->GetActor(), instances[2]->GetActor());
  EXPECT_EQ(instances[3]->GetActor(), source);
  // Clones own their meshes (all clone flags).
  EXPECT_NE(instances[1]->GetActor()->GetNode(1)->GetMesh(0), source->GetNode(1)->GetMesh(0));
  EXPECT_EQ(next, 4);

  // An actor never registered: no instance, and no draw.
  Actor* stranger = MakeActor({{"root", -1}});
  EXPECT_EQ(manager->CreateActorInstance(stranger, 0), nullptr);
  EXPECT_EQ(next, 4);

  // Deleting a clone does not touch the entry.
  for (ActorInstance* instance : instances) AnimCore::Delete(instance);
  manager->SetRandomFunction(nullptr);
  AnimCore::Delete(stranger);
  // Deleting the registered actor takes its entry and clones with it; the leak
  // check of the fixture sees that no clone is left.
  AnimCore::Delete(source);
  EXPECT_EQ(manager->GetNumRegisteredActors(), 0u);
}

TEST_F(CloneTest, WithoutClonesEveryInstanceUsesTheActor) {
  ActorManager* manager = GetActorManager();
  Actor* actor = MakeActor({{"root", -1}});
  ASSERT_TRUE(manager->RegisterActor(actor, 0));
  for (int i = 0; i < 5; ++i) {
    ActorInstance* instance = manager->CreateActorInstance(actor, 0);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetActor(), actor);
    AnimCore::Delete(instance);
  }
  AnimCore::Delete(actor);
}

}  // namespace
}  // namespace Anim
