#include "animation/mesh_deformer_stack.h"

#include "animation/memory_categories.h"
#include "animation/mesh.h"

namespace Anim {

MeshDeformerStack::MeshDeformerStack(Mesh* mesh)
    : mDeformers(MEMCATEGORY_MESHDEFORMER), mMesh(mesh) {}

MeshDeformerStack::~MeshDeformerStack() {
  for (uint32_t i = mDeformers.GetLength(); i-- > 0;) AnimCore::Delete(mDeformers[i]);
  mDeformers.Clear();
}

void MeshDeformerStack::Update(ActorInstance* actorInstance, Node* node, float timeDelta) {
  if (mDeformers.IsEmpty()) return;
  if (mMesh != nullptr) mMesh->ResetToOriginalData();
  for (MeshDeformer* deformer : mDeformers) {
    if (deformer->IsEnabled()) deformer->Update(actorInstance, node, timeDelta);
  }
}

bool MeshDeformerStack::AddDeformer(MeshDeformer* deformer) {
  return InsertDeformer(mDeformers.GetLength(), deformer);
}

bool MeshDeformerStack::InsertDeformer(uint32_t index, MeshDeformer* deformer) {
  if (deformer == nullptr) return false;
  if (index > mDeformers.GetLength()) index = mDeformers.GetLength();
  if (mDeformers.Insert(index, deformer)) return true;
  AnimCore::Delete(deformer);
  return false;
}

bool MeshDeformerStack::RemoveDeformer(MeshDeformer* deformer) {
  return mDeformers.RemoveByValue(deformer);
}

uint32_t MeshDeformerStack::RemoveAllDeformersByType(uint32_t type) {
  uint32_t removed = 0;
  for (uint32_t i = 0; i < mDeformers.GetLength();) {
    if (mDeformers[i]->GetType() == type) {
      AnimCore::Delete(mDeformers[i]);
      mDeformers.Remove(i);
      ++removed;
    } else {
      ++i;
    }
  }
  return removed;
}

MeshDeformer* MeshDeformerStack::FindDeformerByMesh(const Mesh* mesh) const {
  for (MeshDeformer* deformer : mDeformers) {
    if (deformer->GetMesh() == mesh) return deformer;
  }
  return nullptr;
}

void MeshDeformerStack::ReinitializeDeformers(Actor* actor) {
  for (MeshDeformer* deformer : mDeformers) deformer->Reinitialize(actor);
}

MeshDeformerStack* MeshDeformerStack::Clone(Mesh* mesh, Actor* actor) const {
  MeshDeformerStack* clone = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, mesh);
  if (clone == nullptr) return nullptr;
  for (const MeshDeformer* deformer : mDeformers) {
    if (!clone->AddDeformer(deformer->Clone(mesh, actor))) {
      AnimCore::Delete(clone);
      return nullptr;
    }
  }
  return clone;
}

}  // namespace Anim
