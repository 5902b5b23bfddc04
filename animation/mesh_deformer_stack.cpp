#include "animation/mesh_deformer_stack.h"

#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/soft_skin_deformer.h"

namespace Anim {

MeshDeformerStack::MeshDeformerStack(Mesh* mesh)
    : mDeformers(MEMCATEGORY_MESHDEFORMER), mMesh(mesh) {}

MeshDeformerStack::~MeshDeformerStack() {
  for (uint32_t i = mDeformers.GetLength(); i-- > 0;) AnimCore::Delete(mDeformers[i]);
  mDeformers.Clear();
}

void MeshDeformerStack::Update(ActorInstance* actorInstance, Node* node, float timeDelta) {
  if (mDeformers.IsEmpty()) return;
  uint32_t next = 0;
  while (next < mDeformers.GetLength() && !mDeformers[next]->IsEnabled()) ++next;
  // A skin deformer that runs first reads the original positions, normals and
  // tangents itself, so the reset need not copy those back before it overwrites them.
  auto* skin = next < mDeformers.GetLength() ? dynamic_cast<SoftSkinDeformer*>(mDeformers[next]) : nullptr;
  if (skin != nullptr && mMesh != nullptr && skin->GetMesh() == mMesh) {
    skin->UpdateFromOriginals(actorInstance, node, timeDelta);
    ++next;
  } else {
    if (mMesh != nullptr) mMesh->ResetToOriginalData();
  }
  for (; next < mDeformers.GetLength(); ++next) {
    MeshDeformer* deformer = mDeformers[next];
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
