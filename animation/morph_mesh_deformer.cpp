#include "animation/morph_mesh_deformer.h"

#include <cmath>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
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
  auto* positions = static_cast<AnimCore::Vector3*>(
      mMesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  auto* normals = static_cast<AnimCore::Vector3*>(
      mMesh->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
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
    for (uint32_t i = 0; i < data->numVertices; ++i) {
      const ProgressiveMorphTarget::VertexDelta& d = data->deltas[i];
      const uint32_t v = d.vertexNumber;
      if (v >= numVertices) continue;  // dropped at load; kept safe for hand-made data
      const float lo = data->minValue, hi = data->maxValue;
      if (positions != nullptr) {
        positions[v] += w * AnimCore::Vector3(MorphQuant::Decode16(d.position[0], lo, hi),
                                              MorphQuant::Decode16(d.position[1], lo, hi),
                                              MorphQuant::Decode16(d.position[2], lo, hi));
      }
      if (normals != nullptr) {
        normals[v] += w * AnimCore::Vector3(MorphQuant::Decode8(d.normal[0], -1.0f, 1.0f),
                                            MorphQuant::Decode8(d.normal[1], -1.0f, 1.0f),
                                            MorphQuant::Decode8(d.normal[2], -1.0f, 1.0f));
      }
      if (tangents != nullptr) {
        for (uint32_t c = 0; c < 3; ++c) {
          tangents[v * 4 + c] += w * MorphQuant::Decode8(d.tangent[c], -1.0f, 1.0f);
        }
      }
    }
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
