#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/shared_data.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/node_attribute.h"

namespace Anim {

class Actor;

// One element of an actor's hierarchy. It stores the id of its name, not the name,
// and its meshes per level of detail through shared handles.
class Node {
 public:
  // Takes the id of name; LOD 0 starts with empty mesh and stack handles.
  Node(const char* name, Actor* actor);
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();

  // Bits of Clone's flags.
  enum : uint32_t {
    CLONE_ATTRIBUTES = 0x01,
    CLONE_MESHDEFORMERS = 0x02,
    CLONE_COLLISIONMESHDEFORMERS = 0x04,
    CLONE_MESHES = 0x08,
    CLONE_COLLISIONMESHES = 0x10,
  };
  // A node of newActor with the same id, indices and children. Meshes and collision
  // meshes are shared unless their clone bit is set; deformer stacks are cloned for
  // the new node's meshes when their bit or their mesh bit is set. Null when memory
  // runs out.
  Node* Clone(Actor* newActor, uint32_t flags) const;

  uint32_t GetIndex() const { return mIndex; }
  void SetIndex(uint32_t index) { mIndex = index; }
  uint32_t GetParentIndex() const { return mParentIndex; }
  void SetParentIndex(uint32_t index) { mParentIndex = index; }
  bool IsRootNode() const { return mParentIndex == kNoNode; }
  // The parent through the actor, or null for a root (or a parent index the actor
  // does not have).
  Node* GetParent() const;
  uint32_t GetID() const { return mID; }
  const char* GetName() const;
  Actor* GetActor() const { return mActor; }

  uint32_t GetNumChildNodes() const { return mChildIndices.GetLength(); }
  uint32_t GetChildIndex(uint32_t i) const { return mChildIndices[i]; }
  bool AddChild(uint32_t nodeIndex) { return mChildIndices.Add(nodeIndex); }
  // Nodes below this one, itself excluded; 0 for a leaf.
  uint32_t CalcNumDescendants() const;

  // Bit n set: the node takes its animated transform at level of detail n.
  uint32_t GetLODMask() const { return mLODMask; }
  void SetLODMask(uint32_t mask) { mLODMask = mask; }
  bool GetIncludeInBoundsCalc() const { return mIncludeInBoundsCalc; }
  void SetIncludeInBoundsCalc(bool include) { mIncludeInBoundsCalc = include; }

  // Per-LOD slots. Out-of-range levels read as empty; the setters grow the arrays
  // with empty entries as needed and take ownership of what they are given.
  uint32_t GetNumLODLevels() const { return mMeshes.GetLength(); }
  Mesh* GetMesh(uint32_t lod) const { return Get(mMeshes, lod); }
  Mesh* GetCollisionMesh(uint32_t lod) const { return Get(mCollisionMeshes, lod); }
  MeshDeformerStack* GetMeshDeformerStack(uint32_t lod) const { return Get(mMeshDeformerStacks, lod); }
  MeshDeformerStack* GetCollisionMeshDeformerStack(uint32_t lod) const {
    return Get(mCollisionMeshDeformerStacks, lod);
  }
  bool SetMesh(uint32_t lod, Mesh* mesh) { return Set(mMeshes, lod, mesh); }
  bool SetCollisionMesh(uint32_t lod, Mesh* mesh) { return Set(mCollisionMeshes, lod, mesh); }
  bool SetMeshDeformerStack(uint32_t lod, MeshDeformerStack* stack) {
    return Set(mMeshDeformerStacks, lod, stack);
  }
  bool SetCollisionMeshDeformerStack(uint32_t lod, MeshDeformerStack* stack) {
    return Set(mCollisionMeshDeformerStacks, lod, stack);
  }
  // The shared handles themselves, for sharing a mesh with another node.
  AnimCore::Array<AnimCore::Pointer<Mesh>>& GetMeshPointers() { return mMeshes; }
  AnimCore::Array<AnimCore::Pointer<Mesh>>& GetCollisionMeshPointers() { return mCollisionMeshes; }
  AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& GetMeshDeformerStackPointers() {
    return mMeshDeformerStacks;
  }
  AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>>& GetCollisionMeshDeformerStackPointers() {
    return mCollisionMeshDeformerStacks;
  }

  // Mesh and deformer stack present at lod, and the stack holds a deformer.
  bool HasMeshDeformers(uint32_t lod) const;
  bool HasCollisionMeshDeformers(uint32_t lod) const;
  // LOD 0 has a mesh or a collision mesh.
  bool HasAnyMesh() const;

  // Takes ownership (made with AnimCore::New); on failure it is deleted.
  bool AddAttribute(NodeAttribute* attribute);
  void RemoveAllAttributes();
  NodeAttribute* FindAttributeByType(uint32_t type) const;
  uint32_t GetNumAttributes() const { return mAttributes.GetLength(); }
  NodeAttribute* GetAttribute(uint32_t index) const { return mAttributes[index]; }

  static constexpr uint32_t kNoNode = 0xFFFFFFFFu;

 private:
  template <class T>
  static T* Get(const AnimCore::Array<AnimCore::Pointer<T>>& slots, uint32_t lod) {
    return lod < slots.GetLength() ? slots[lod].Get() : nullptr;
  }
  template <class T>
  static bool Set(AnimCore::Array<AnimCore::Pointer<T>>& slots, uint32_t lod, T* object) {
    if (lod >= slots.GetLength() && (lod == kNoNode || !slots.Resize(lod + 1))) {
      AnimCore::Delete(object);
      return false;
    }
    return slots[lod].Set(object);
  }

  uint32_t mIndex = kNoNode;
  uint32_t mParentIndex = kNoNode;
  uint32_t mReservedIndex = kNoNode;
  uint32_t mID;
  Actor* mActor;
  AnimCore::Array<AnimCore::Pointer<Mesh>> mMeshes;
  AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>> mMeshDeformerStacks;
  AnimCore::Array<AnimCore::Pointer<Mesh>> mCollisionMeshes;
  AnimCore::Array<AnimCore::Pointer<MeshDeformerStack>> mCollisionMeshDeformerStacks;
  AnimCore::Array<NodeAttribute*> mAttributes;
  AnimCore::Array<uint32_t> mChildIndices;
  uint32_t mLODMask = 0xFFFFFFFFu;
  bool mIncludeInBoundsCalc = true;
};

}  // namespace Anim
