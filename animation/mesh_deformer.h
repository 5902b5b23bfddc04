#pragma once

#include <cstdint>

namespace Anim {

class Actor;
class ActorInstance;
class Mesh;
class Node;

// Changes a mesh's current vertex values every frame (skinning, morph targets).
class MeshDeformer {
 public:
  explicit MeshDeformer(Mesh* mesh) : mMesh(mesh) {}
  MeshDeformer(const MeshDeformer&) = delete;
  MeshDeformer& operator=(const MeshDeformer&) = delete;
  virtual ~MeshDeformer() = default;

  virtual void Update(ActorInstance* actorInstance, Node* node, float timeDelta) = 0;
  // Prepares the deformer once the actor's nodes are in place.
  virtual void Reinitialize(Actor* /*actor*/) {}
  // A copy for newMesh (a clone of this deformer's mesh) in actor.
  virtual MeshDeformer* Clone(Mesh* newMesh, Actor* actor) const = 0;
  virtual uint32_t GetType() const = 0;
  virtual uint32_t GetSubType() const = 0;

  bool IsEnabled() const { return mEnabled; }
  void SetEnabled(bool enabled) { mEnabled = enabled; }
  Mesh* GetMesh() const { return mMesh; }

 protected:
  Mesh* mMesh;
  bool mEnabled = true;
};

}  // namespace Anim
