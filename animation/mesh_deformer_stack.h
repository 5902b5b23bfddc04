#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/mesh_deformer.h"

namespace Anim {

// The deformers of one mesh, applied in order each frame after the mesh is reset to
// its original values. Owns the deformers.
class MeshDeformerStack {
 public:
  explicit MeshDeformerStack(Mesh* mesh);
  MeshDeformerStack(const MeshDeformerStack&) = delete;
  MeshDeformerStack& operator=(const MeshDeformerStack&) = delete;
  // Deletes the deformers from the last to the first.
  ~MeshDeformerStack();

  // With at least one deformer: resets the mesh, then updates every enabled deformer
  // in order. An empty stack leaves the mesh untouched. When the first enabled
  // deformer is a skin deformer of this mesh, it reads the original positions,
  // normals and tangents itself instead of their reset copies (the same result).
  void Update(ActorInstance* actorInstance, Node* node, float timeDelta);
  // Each takes ownership; on failure the deformer is deleted and the result is false.
  bool AddDeformer(MeshDeformer* deformer);
  // An index past the end appends.
  bool InsertDeformer(uint32_t index, MeshDeformer* deformer);
  // Removes (without deleting) the deformer; false when it is not in the stack.
  bool RemoveDeformer(MeshDeformer* deformer);
  // Deletes every deformer of type, keeping the order of the rest; returns how many.
  uint32_t RemoveAllDeformersByType(uint32_t type);
  MeshDeformer* FindDeformerByMesh(const Mesh* mesh) const;
  void ReinitializeDeformers(Actor* actor);
  // A stack for mesh (a clone of this stack's mesh) with a clone of every deformer;
  // null when memory runs out.
  MeshDeformerStack* Clone(Mesh* mesh, Actor* actor) const;

  Mesh* GetMesh() const { return mMesh; }
  uint32_t GetNumDeformers() const { return mDeformers.GetLength(); }
  MeshDeformer* GetDeformer(uint32_t index) const { return mDeformers[index]; }

 private:
  AnimCore::Array<MeshDeformer*> mDeformers;
  Mesh* mMesh;
};

}  // namespace Anim
