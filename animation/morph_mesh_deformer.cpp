#include "animation/morph_mesh_deformer.h"

#include <cmath>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/deform_kernels.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/node.h"
#include "animation/morph_setup.h"
#include "animation/morph_target.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {

MorphMeshDeformer::MorphMeshDeformer(Mesh* mesh, uint32_t lod)
    : MeshDeformer(mesh), mLOD(lod), mPasses(MEMCATEGORY_MESHDEFORMER) {}

MorphMeshDeformer* MorphMeshDeformer::FindOrCreate(Node* node, uint32_t lod, Mesh* mesh) {
  MeshDeformerStack* stack = node->GetMeshDeformerStack(lod);
  if (stack == nullptr) {
    stack = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, mesh);
    if (stack == nullptr || !node->SetMeshDeformerStack(lod, stack)) return nullptr;
  }
  for (uint32_t i = 0; i < stack->GetNumDeformers(); ++i) {
    if (stack->GetDeformer(i)->GetType() == MorphSetup::MORPH_DEFORMER_TYPE) {
      return static_cast<MorphMeshDeformer*>(stack->GetDeformer(i));
    }
  }
  auto* deformer = AnimCore::New<MorphMeshDeformer>(MEMCATEGORY_MESHDEFORMER, mesh, lod);
  return stack->InsertDeformer(0, deformer) ? deformer : nullptr;
}

void MorphMeshDeformer::Update(ActorInstance* actorInstance, Node*, float) {
  if (mMesh == nullptr || actorInstance == nullptr) return;
  const MorphSetup* setup = actorInstance->GetActor()->GetMorphSetup(actorInstance->GetLODLevel());
  if (setup == nullptr) return;
  auto* positions = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  auto* normals = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  auto* tangents = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_TANGENTS));
  const uint32_t numVertices = mMesh->GetNumVertices();
  MorphSetupInstance& weights = actorInstance->GetMorphSetupInstance();
  for (DeformPass& pass : mPasses) {
    const MorphTarget* found = setup->FindMorphTargetByID(pass.morphTarget->nameId);
    if (found == nullptr || found->GetType() != ProgressiveMorphTarget::TYPE_ID) continue;
    const auto* target = static_cast<const ProgressiveMorphTarget*>(found);
    const ProgressiveMorphTarget::DeformData* data = target->GetDeformData(pass.deformDataNr);
    if (data == nullptr || data->numVertices > numVertices) continue;
    const MorphSetupInstance::MorphTarget* entry = weights.FindMorphTargetByID(target->nameId);
    if (entry == nullptr) continue;
    const float w = target->ClampWeight(entry->weight);
    if (std::fabs(w) >= 0.0001f) {
      pass.lastNearZero = false;
    } else if (pass.lastNearZero) {
      continue;
    } else {
      pass.lastNearZero = true;
    }
    DeformKernels::MorphJob job;
    job.deltas = data->deltas.GetPtr();
    job.numDeltas = data->numVertices < data->deltas.GetLength() ? data->numVertices : data->deltas.GetLength();
    job.minValue = data->minValue;
    job.maxValue = data->maxValue;
    job.weight = w;
    job.numVertices = numVertices;
    job.positions = positions;
    job.normals = normals;
    job.tangents = tangents;
    DeformKernels::Morph(job);
  }
}

MeshDeformer* MorphMeshDeformer::Clone(Mesh* newMesh, Actor* actor) const {
  auto* clone = AnimCore::New<MorphMeshDeformer>(MEMCATEGORY_MESHDEFORMER, newMesh, mLOD);
  if (clone == nullptr) return nullptr;
  // The passes follow the new actor's own targets (found by name id in its setup
  // of this level); a pass whose target it lacks is dropped rather than left
  // pointing at the source actor's.
  MorphSetup* setup = actor != nullptr ? actor->GetMorphSetup(mLOD) : nullptr;
  for (const DeformPass& pass : mPasses) {
    MorphTarget* target =
        setup != nullptr && pass.morphTarget != nullptr ? setup->FindMorphTargetByID(pass.morphTarget->GetID()) : nullptr;
    if (target == nullptr) continue;
    DeformPass copy = pass;
    copy.morphTarget = target;
    if (!clone->mPasses.Add(copy)) {
      AnimCore::Delete(clone);
      return nullptr;
    }
  }
  clone->SetEnabled(IsEnabled());
  return clone;
}

}  // namespace Anim
