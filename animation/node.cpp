#include "animation/node.h"

#include "animation/actor.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

template <class T>
void ReleaseFromLast(AnimCore::Array<AnimCore::Pointer<T>>& slots) {
  for (uint32_t i = slots.GetLength(); i-- > 0;) slots[i].Reset();
  slots.Clear();
}

}  // namespace

Node::Node(const char* name, Actor* actor)
    : mID(GetStringID(name != nullptr ? name : "")),
      mActor(actor),
      mMeshes(MEMCATEGORY_NODE),
      mMeshDeformerStacks(MEMCATEGORY_NODE),
      mCollisionMeshes(MEMCATEGORY_NODE),
      mCollisionMeshDeformerStacks(MEMCATEGORY_NODE),
      mAttributes(MEMCATEGORY_NODE),
      mChildIndices(MEMCATEGORY_NODE) {
  (void)mReservedIndex;
  mMeshes.Resize(1);
  mMeshDeformerStacks.Resize(1);
  mCollisionMeshes.Resize(1);
  mCollisionMeshDeformerStacks.Resize(1);
}

Node::~Node() {
  RemoveAllAttributes();
  ReleaseFromLast(mMeshes);
  ReleaseFromLast(mMeshDeformerStacks);
  ReleaseFromLast(mCollisionMeshes);
  ReleaseFromLast(mCollisionMeshDeformerStacks);
  mChildIndices.Clear();
}

Node* Node::GetParent() const {
  if (mParentIndex == kNoNode || mActor == nullptr) return nullptr;
  return mActor->GetNode(mParentIndex);
}

const char* Node::GetName() const { return GetStringForID(mID).AsChar(); }

uint32_t Node::CalcNumDescendants() const {
  if (mActor == nullptr) return 0;
  // Depth-first over an explicit stack; a malformed hierarchy with a cycle stops
  // once more nodes were counted than the actor has.
  const uint32_t numNodes = mActor->GetNumNodes();
  AnimCore::Array<uint32_t> pending(MEMCATEGORY_NODESMISC);
  for (uint32_t i = 0; i < mChildIndices.GetLength(); ++i) pending.Add(mChildIndices[i]);
  uint32_t count = 0;
  while (!pending.IsEmpty() && count <= numNodes) {
    const uint32_t index = pending.GetLast();
    pending.Remove(pending.GetLength() - 1);
    const Node* child = mActor->GetNode(index);
    if (child == nullptr) continue;
    ++count;
    for (uint32_t i = 0; i < child->mChildIndices.GetLength(); ++i) {
      pending.Add(child->mChildIndices[i]);
    }
  }
  return count;
}

bool Node::HasMeshDeformers(uint32_t lod) const {
  const MeshDeformerStack* stack = GetMeshDeformerStack(lod);
  return GetMesh(lod) != nullptr && stack != nullptr && stack->GetNumDeformers() > 0;
}

bool Node::HasCollisionMeshDeformers(uint32_t lod) const {
  const MeshDeformerStack* stack = GetCollisionMeshDeformerStack(lod);
  return GetCollisionMesh(lod) != nullptr && stack != nullptr && stack->GetNumDeformers() > 0;
}

bool Node::HasAnyMesh() const { return GetMesh(0) != nullptr || GetCollisionMesh(0) != nullptr; }

bool Node::AddAttribute(NodeAttribute* attribute) {
  if (attribute == nullptr) return false;
  if (mAttributes.Add(attribute)) return true;
  AnimCore::Delete(attribute);
  return false;
}

void Node::RemoveAllAttributes() {
  for (uint32_t i = mAttributes.GetLength(); i-- > 0;) AnimCore::Delete(mAttributes[i]);
  mAttributes.Clear();
}

NodeAttribute* Node::FindAttributeByType(uint32_t type) const {
  for (NodeAttribute* attribute : mAttributes) {
    if (attribute->GetType() == type) return attribute;
  }
  return nullptr;
}

}  // namespace Anim
