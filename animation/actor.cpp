#include "animation/actor.h"

#include <cstring>

#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion_event_handler.h"

namespace Anim {
namespace {

// Grows a list of per-LOD material lists, giving the new lists the actor's category.
bool ResizeMaterialLists(AnimCore::Array<AnimCore::Array<AnimCore::Pointer<Material>>>& lists,
                         uint32_t numLevels) {
  const uint32_t old = lists.GetLength();
  if (!lists.Resize(numLevels)) return false;
  for (uint32_t i = old; i < numLevels; ++i) lists[i].SetMemoryCategory(MEMCATEGORY_ACTOR);
  return true;
}

}  // namespace

Actor::Actor(const char* name)
    : mCurrentPose(MEMCATEGORY_LOCALPOSE),
      mMotionPose(MEMCATEGORY_LOCALPOSE),
      mNodes(MEMCATEGORY_ACTOR),
      mDependencies(MEMCATEGORY_ACTOR),
      mName(name),
      mRootNodes(MEMCATEGORY_ACTOR),
      mMaterials(MEMCATEGORY_ACTOR),
      mMorphSetups(MEMCATEGORY_ACTOR) {
  (void)mReserved;
  ResizeMaterialLists(mMaterials, 1);
  mMorphSetups.Resize(1);
}

Actor::~Actor() {
  RemoveAllMaterials();
  for (uint32_t i = 0; i < mNodes.GetLength(); ++i) AnimCore::Delete(mNodes[i]);
  mNodes.Clear();
  RemoveAllMorphSetups(true);
  if (ActorManager* manager = GetActorManager(); manager != nullptr) {
    manager->UnregisterActor(this);
  }
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnDeleteActor(this);
  }
  mDependencies.Clear();
  mRootNodes.Clear();
  mMaterials.Clear();
  mMorphSetups.Clear();
  mCurrentPose.Clear();
  mMotionPose.Clear();
  mTransformData.Release();
}

bool Actor::AddNode(Node* node) {
  if (node == nullptr) return false;
  if (!mNodes.Reserve(mNodes.GetLength() + 1) || !mTransformData.AddNode()) {
    AnimCore::Delete(node);
    return false;
  }
  node->SetIndex(mNodes.GetLength());
  mNodes.Add(node);
  return true;
}

Node* Actor::FindNodeByID(uint32_t id) const {
  for (Node* node : mNodes) {
    if (node->GetID() == id) return node;
  }
  return nullptr;
}

Node* Actor::FindNodeByName(const char* name) const {
  if (name == nullptr) return nullptr;
  for (Node* node : mNodes) {
    if (std::strcmp(node->GetName(), name) == 0) return node;
  }
  return nullptr;
}

uint32_t Actor::GetNumMaterials(uint32_t lod) const {
  return lod < mMaterials.GetLength() ? mMaterials[lod].GetLength() : 0;
}

Material* Actor::GetMaterial(uint32_t lod, uint32_t index) const {
  if (lod >= mMaterials.GetLength() || index >= mMaterials[lod].GetLength()) return nullptr;
  return mMaterials[lod][index].Get();
}

AnimCore::Array<AnimCore::Pointer<Material>>* Actor::GetMaterialPointers(uint32_t lod) {
  return lod < mMaterials.GetLength() ? &mMaterials[lod] : nullptr;
}

bool Actor::AddMaterial(uint32_t lod, Material* material) {
  if (material == nullptr) return false;
  if (lod >= mMaterials.GetLength() || !mMaterials[lod].Add(AnimCore::Pointer<Material>())) {
    AnimCore::Delete(material);
    return false;
  }
  return mMaterials[lod].GetLast().Set(material);
}

void Actor::RemoveAllMaterials() {
  for (uint32_t lod = 0; lod < mMaterials.GetLength(); ++lod) {
    AnimCore::Array<AnimCore::Pointer<Material>>& list = mMaterials[lod];
    for (uint32_t i = list.GetLength(); i-- > 0;) list[i].Reset();
    list.Clear();
  }
}

MorphSetup* Actor::GetMorphSetup(uint32_t lod) const {
  return lod < mMorphSetups.GetLength() ? mMorphSetups[lod].Get() : nullptr;
}

bool Actor::SetMorphSetup(uint32_t lod, MorphSetup* setup) {
  if (lod >= mMorphSetups.GetLength()) {
    AnimCore::Delete(setup);
    return false;
  }
  return mMorphSetups[lod].Set(setup);
}

void Actor::RemoveAllMorphSetups(bool removeMorphDeformers) {
  for (uint32_t lod = 0; lod < mMorphSetups.GetLength(); ++lod) mMorphSetups[lod].Reset();
  if (!removeMorphDeformers) return;
  for (Node* node : mNodes) {
    for (uint32_t lod = 0; lod < mNumLODLevels; ++lod) {
      MeshDeformerStack* stack = node->GetMeshDeformerStack(lod);
      if (stack == nullptr) continue;
      stack->RemoveAllDeformersByType(MorphSetup::MORPH_DEFORMER_TYPE);
      if (stack->GetNumDeformers() == 0) node->GetMeshDeformerStackPointers()[lod].Reset();
    }
  }
}

bool Actor::AddLODLevel(Actor* lodActor, bool deleteLodActor) {
  if (lodActor == nullptr || lodActor == this) return false;
  const uint32_t newLevel = mNumLODLevels;
  for (Node* node : mNodes) {
    // Every per-LOD list gets exactly one entry for the new level.
    AnimCore::Array<AnimCore::Pointer<Mesh>>& meshes = node->GetMeshPointers();
    AnimCore::Array<AnimCore::Pointer<Mesh>>& collisionMeshes = node->GetCollisionMeshPointers();
    AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& stacks =
        node->GetMeshDeformerStackPointers();
    AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& collisionStacks =
        node->GetCollisionMeshDeformerStackPointers();
    if (!meshes.Resize(newLevel + 1) || !collisionMeshes.Resize(newLevel + 1) ||
        !stacks.Resize(newLevel + 1) || !collisionStacks.Resize(newLevel + 1)) {
      continue;
    }
    Node* source = lodActor->FindNodeByID(node->GetID());
    if (source == nullptr) continue;
    if (source->GetNumLODLevels() > 0) {
      meshes[newLevel] = source->GetMeshPointers()[0];
      collisionMeshes[newLevel] = source->GetCollisionMeshPointers()[0];
    }
    if (const MeshDeformerStack* stack = source->GetMeshDeformerStack(0); stack != nullptr) {
      stacks[newLevel].Set(stack->Clone(meshes[newLevel].Get(), this));
    }
    if (const MeshDeformerStack* stack = source->GetCollisionMeshDeformerStack(0);
        stack != nullptr) {
      collisionStacks[newLevel].Set(stack->Clone(collisionMeshes[newLevel].Get(), this));
    }
  }

  if (ResizeMaterialLists(mMaterials, newLevel + 1)) {
    AnimCore::Array<AnimCore::Pointer<Material>>* sourceMaterials = lodActor->GetMaterialPointers(0);
    if (sourceMaterials != nullptr) mMaterials[newLevel] = *sourceMaterials;
  }
  if (mMorphSetups.Resize(newLevel + 1) && !lodActor->mMorphSetups.IsEmpty()) {
    mMorphSetups[newLevel] = lodActor->mMorphSetups[0];
  }
  ++mNumLODLevels;
  if (deleteLodActor) AnimCore::Delete(lodActor);
  return true;
}

Node* Actor::FindBestRepositioningNode() const {
  Node* best = nullptr;
  uint32_t bestCount = 0;
  for (uint32_t i = 0; i < mRootNodes.GetLength(); ++i) {
    Node* root = GetNode(mRootNodes[i]);
    if (root == nullptr) continue;
    const uint32_t count = root->CalcNumDescendants();
    if (count > bestCount) {
      bestCount = count;
      best = root;
    }
  }
  return best;
}

void Actor::AutoSetRepositioningNode() {
  const Node* best = FindBestRepositioningNode();
  mRepositioningNode = best != nullptr ? static_cast<int32_t>(best->GetIndex()) : -1;
}

void Actor::ReinitializeMeshDeformers() {
  for (Node* node : mNodes) {
    if (MeshDeformerStack* stack = node->GetMeshDeformerStack(0); stack != nullptr) {
      stack->ReinitializeDeformers(this);
    }
    if (MeshDeformerStack* stack = node->GetCollisionMeshDeformerStack(0); stack != nullptr) {
      stack->ReinitializeDeformers(this);
    }
  }
}

}  // namespace Anim
