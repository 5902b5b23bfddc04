#include <cstring>

#include "animation/actor.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"
#include "animation/node.h"

namespace Anim {
namespace {

// Per-LOD mesh handles of a node clone: shared copies, or clones made for the new
// node, with an empty entry wherever the source has none.
bool CloneMeshes(const AnimCore::Array<AnimCore::Pointer<Mesh>>& source,
                 AnimCore::Array<AnimCore::Pointer<Mesh>>& target, bool deep, Actor* newActor,
                 Node* newNode) {
  if (!deep) {
    target = source;
    return target.GetLength() == source.GetLength();
  }
  if (!target.Resize(source.GetLength())) return false;
  for (uint32_t lod = 0; lod < source.GetLength(); ++lod) {
    target[lod].Reset();
    if (const Mesh* mesh = source[lod].Get(); mesh != nullptr) {
      target[lod].Set(mesh->Clone(newActor, newNode));
    }
  }
  return true;
}

// Per-LOD deformer stacks cloned onto the new node's meshes of the same level.
void CloneStacks(const AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& source,
                 AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& target,
                 const AnimCore::Array<AnimCore::Pointer<Mesh>>& meshes, Actor* newActor) {
  if (!target.Resize(source.GetLength())) return;
  for (uint32_t lod = 0; lod < source.GetLength(); ++lod) {
    target[lod].Reset();
    const MeshDeformerStack* stack = source[lod].Get();
    Mesh* mesh = lod < meshes.GetLength() ? meshes[lod].Get() : nullptr;
    if (stack != nullptr && mesh != nullptr) target[lod].Set(stack->Clone(mesh, newActor));
  }
}

}  // namespace

Node* Node::Clone(Actor* newActor, uint32_t flags) const {
  Node* clone = AnimCore::New<Node>(MEMCATEGORY_NODE, GetStringForID(mID).AsChar(), newActor);
  if (clone == nullptr) return nullptr;
  clone->mIndex = mIndex;
  clone->mParentIndex = mParentIndex;
  clone->mReservedIndex = mReservedIndex;
  clone->mID = mID;
  clone->mLODMask = mLODMask;
  clone->mIncludeInBoundsCalc = mIncludeInBoundsCalc;
  clone->mChildIndices = mChildIndices;

  CloneMeshes(mMeshes, clone->mMeshes, (flags & CLONE_MESHES) != 0, newActor, clone);
  CloneMeshes(mCollisionMeshes, clone->mCollisionMeshes, (flags & CLONE_COLLISIONMESHES) != 0,
              newActor, clone);

  if ((flags & CLONE_ATTRIBUTES) != 0) {
    for (NodeAttribute* attribute : mAttributes) {
      if (NodeAttribute* copy = attribute->Clone(); copy != nullptr) clone->AddAttribute(copy);
    }
  }

  if ((flags & (CLONE_MESHDEFORMERS | CLONE_MESHES)) != 0) {
    CloneStacks(mMeshDeformerStacks, clone->mMeshDeformerStacks, clone->mMeshes, newActor);
  }
  if ((flags & (CLONE_COLLISIONMESHDEFORMERS | CLONE_COLLISIONMESHES)) != 0) {
    CloneStacks(mCollisionMeshDeformerStacks, clone->mCollisionMeshDeformerStacks,
                clone->mCollisionMeshes, newActor);
  }
  return clone;
}

namespace {

// A morph setup of the clone's own, where the setup type can copy itself; shared
// otherwise.
template <class T>
void CloneMorphSetup(const AnimCore::Pointer<T>& source, AnimCore::Pointer<T>& target) {
  if constexpr (requires(const T& setup) { setup.Clone(); }) {
    if (source.Get() != nullptr) target.Set(source.Get()->Clone());
  } else {
    target = source;
  }
}

}  // namespace

Actor* Actor::Clone(uint32_t flags) const {
  Actor* clone = AnimCore::New<Actor>(MEMCATEGORY_ACTOR, mName.AsChar());
  if (clone == nullptr) return nullptr;
  clone->mNumLODLevels = mNumLODLevels;
  clone->mRepositioningMask = mRepositioningMask;
  clone->mRepositioningEnabled = mRepositioningEnabled;
  clone->mMultiplyOrder = mMultiplyOrder;
  clone->mRootNodes = mRootNodes;
  clone->mRepositioningNode = mRepositioningNode;
  clone->mRetargetRootOffset = mRetargetRootOffset;

  bool hasMesh = false;
  for (const Node* node : mNodes) hasMesh = hasMesh || node->HasAnyMesh();
  if (hasMesh && (flags & CLONE_MESHES) == 0) clone->AddDependency(const_cast<Actor*>(this), 1);
  for (const Dependency& dependency : mDependencies) {
    clone->AddDependency(dependency.actor, dependency.kind);
  }

  if (clone->mMaterials.Resize(mMaterials.GetLength())) {
    for (uint32_t lod = 0; lod < mMaterials.GetLength(); ++lod) {
      clone->mMaterials[lod].SetMemoryCategory(MEMCATEGORY_ACTOR);
      for (const AnimCore::Pointer<Material>& material : mMaterials[lod]) {
        if ((flags & CLONE_MATERIALS) == 0 || material.Get() == nullptr) {
          clone->mMaterials[lod].Add(material);
        } else if (Material* copy = material.Get()->Clone(); copy != nullptr) {
          clone->AddMaterial(lod, copy);
        }
      }
    }
  }

  // Before the nodes: the cloned deformer stacks look the new actor's morph setups
  // up, and must find the clone's own rather than the source's.
  if (clone->mMorphSetups.Resize(mMorphSetups.GetLength())) {
    for (uint32_t lod = 0; lod < mMorphSetups.GetLength(); ++lod) {
      CloneMorphSetup(mMorphSetups[lod], clone->mMorphSetups[lod]);
    }
  }

  uint32_t nodeFlags = 0;
  if ((flags & CLONE_NODEATTRIBUTES) != 0) nodeFlags |= Node::CLONE_ATTRIBUTES;
  if ((flags & CLONE_MESHES) != 0) nodeFlags |= Node::CLONE_MESHES;
  if ((flags & CLONE_COLLISIONMESHES) != 0) nodeFlags |= Node::CLONE_COLLISIONMESHES;
  for (const Node* node : mNodes) {
    Node* copy = node->Clone(clone, nodeFlags);
    if (copy == nullptr || !clone->AddNode(copy)) break;
  }

  // Bind pose and current matrices as the source has them.
  const uint32_t n = clone->GetNumNodes();
  const TransformData& from = mTransformData;
  TransformData& to = clone->mTransformData;
  if (n == mNodes.GetLength() && from.GetNumNodes() >= n && to.GetNumNodes() >= n) {
    std::memcpy(to.GetBindTransforms(), from.GetBindTransforms(), n * sizeof(Transform));
    std::memcpy(to.GetLocalTransforms(), from.GetLocalTransforms(), n * sizeof(Transform));
    std::memcpy(to.GetLocalMatrices(), from.GetLocalMatrices(), n * sizeof(AnimCore::Matrix));
    std::memcpy(to.GetWorldMatrices(), from.GetWorldMatrices(), n * sizeof(AnimCore::Matrix));
    std::memcpy(to.GetInverseBindMatrices(), from.GetInverseBindMatrices(),
                n * sizeof(AnimCore::Matrix));
  }
  clone->mCurrentPose.Resize(n);
  clone->mMotionPose.Resize(n);
  return clone;
}

}  // namespace Anim
