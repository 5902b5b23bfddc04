#include "animation/morph_mesh_deformer.h"

#include <bit>
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
    : MeshDeformer(mesh), mLOD(lod), mPasses(MEMCATEGORY_MESHDEFORMER), mPassPlans(MEMCATEGORY_MESHDEFORMER) {}

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
  if (mPassPlans.GetLength() != mPasses.GetLength() && !mPassPlans.Resize(mPasses.GetLength())) {
    mPassPlans.Clear();
  }
  for (uint32_t p = 0; p < mPasses.GetLength(); ++p) {
    DeformPass& pass = mPasses[p];
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
    if (p >= mPassPlans.GetLength()) {
      DeformKernels::MorphReference(job);  // out of memory: the same result, slower
      continue;
    }
    PassPlan& cached = mPassPlans[p];
    const uint32_t minBits = std::bit_cast<uint32_t>(data->minValue);
    const uint32_t maxBits = std::bit_cast<uint32_t>(data->maxValue);
    if (cached.deformData != data || cached.deltas != job.deltas || cached.numDeltas != job.numDeltas ||
        cached.minBits != minBits || cached.maxBits != maxBits || cached.numVertices != numVertices ||
        !DeformKernels::MorphPlanCovers(cached.plan, job)) {
      cached.deformData = nullptr;
      cached.plan.runs.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
      cached.plan.positions.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
      cached.plan.normals.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
      cached.plan.tangents.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
      if (!DeformKernels::PrepareMorph(job, cached.plan)) {
        DeformKernels::MorphReference(job);
        continue;
      }
      cached.deformData = data;
      cached.deltas = job.deltas;
      cached.numDeltas = job.numDeltas;
      cached.minBits = minBits;
      cached.maxBits = maxBits;
      cached.numVertices = numVertices;
    }
    DeformKernels::Morph(cached.plan, job);
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
