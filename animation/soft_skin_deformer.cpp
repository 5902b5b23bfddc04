#include "animation/soft_skin_deformer.h"

#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/deform_kernels.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/node.h"
#include "animation/skinning_info_vertex_attribute.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {
namespace {

SkinningInfoVertexAttribute* FindSkinningInfo(const Mesh* mesh) {
  return static_cast<SkinningInfoVertexAttribute*>(
      mesh->FindSharedVertexAttributeLayer(SkinningInfoVertexAttribute::TYPE_ID));
}

}  // namespace

SoftSkinDeformer::SoftSkinDeformer(Mesh* mesh, Actor*)
    : MeshDeformer(mesh), mBones(MEMCATEGORY_MESHDEFORMER), mBoneRows(MEMCATEGORY_MESHDEFORMER) {
  mPlan.runs.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
  mPlan.entries.SetMemoryCategory(MEMCATEGORY_MESHDEFORMER);
}

void SoftSkinDeformer::Reinitialize(Actor* actor) {
  mBones.Clear();
  SkinningInfoVertexAttribute* skin = mMesh != nullptr ? FindSkinningInfo(mMesh) : nullptr;
  if (skin == nullptr || actor == nullptr) return;
  // The bone of each node number seen so far (kNone when none yet), so the table is
  // built in one pass rather than searched per influence.
  constexpr uint32_t kNone = 0xFFFFFFFFu;
  AnimCore::Array<uint32_t> boneOfNode(MEMCATEGORY_MESHDEFORMER);
  const AnimCore::Array<SkinningInfoVertexAttribute::Row>& rows = skin->GetRows();
  AnimCore::Array<SkinInfluence>& pool = skin->GetInfluences();
  const uint32_t numRows = rows.GetLength();
  for (uint32_t v = 0; v < numRows; ++v) {
    const uint32_t start = rows[v].start;
    const uint32_t count = rows[v].count & 0xFF;
    for (uint32_t i = 0; i < count; ++i) {
      // Loaded rows lie in the pool; rows built by hand might not.
      if (uint64_t{start} + i >= pool.GetLength()) break;
      SkinInfluence& influence = pool[start + i];
      const uint32_t node = influence.nodeNumber;
      if (node >= boneOfNode.GetLength()) {
        const uint32_t old = boneOfNode.GetLength();
        if (!boneOfNode.Resize(node + 1)) return;
        for (uint32_t n = old; n <= node; ++n) boneOfNode[n] = kNone;
      }
      if (boneOfNode[node] == kNone) {
        if (!mBones.Add({influence.nodeNumber, AnimCore::Matrix()})) return;
        boneOfNode[node] = mBones.GetLength() - 1;
      }
      influence.boneNumber = static_cast<uint16_t>(boneOfNode[node]);
    }
  }
}

void SoftSkinDeformer::Update(ActorInstance* actorInstance, Node* node, float) {
  Deform(actorInstance, node, false);
}

void SoftSkinDeformer::UpdateFromOriginals(ActorInstance* actorInstance, Node* node, float) {
  if (mMesh == nullptr) return;
  VertexAttributeLayer* rebuilt[3] = {mMesh->FindVertexAttributeLayer(LAYERTYPE_POSITIONS, 0),
                                      mMesh->FindVertexAttributeLayer(LAYERTYPE_NORMALS, 0),
                                      mMesh->FindVertexAttributeLayer(LAYERTYPE_TANGENTS, 0)};
  for (uint32_t i = 0; i < mMesh->GetNumVertexAttributeLayers(); ++i) {
    VertexAttributeLayer* layer = mMesh->GetVertexAttributeLayer(i);
    if (layer != rebuilt[0] && layer != rebuilt[1] && layer != rebuilt[2]) layer->ResetToOriginalData();
  }
  if (!Deform(actorInstance, node, true)) {
    for (VertexAttributeLayer* layer : rebuilt) {
      if (layer != nullptr) layer->ResetToOriginalData();
    }
  }
}

bool SoftSkinDeformer::Deform(ActorInstance* actorInstance, Node* node, bool fromOriginals) {
  if (actorInstance == nullptr || node == nullptr || mMesh == nullptr) return false;
  const TransformData& data = actorInstance->GetTransformData();
  const uint32_t numNodes = data.GetNumNodes();
  const AnimCore::Matrix* world = data.GetWorldMatrices();
  const AnimCore::Matrix* inverseBind = data.GetInverseBindMatrices();
  if (world == nullptr || inverseBind == nullptr || node->GetIndex() >= numNodes) return false;
  const SkinningInfoVertexAttribute* skin = FindSkinningInfo(mMesh);
  if (skin == nullptr) return false;

  const AnimCore::Matrix inverseNode = world[node->GetIndex()].Inversed();
  for (Bone& bone : mBones) {
    // Influences naming a node the instance lacks are refused at load time; keep
    // such a bone still rather than read outside the arrays.
    if (bone.nodeNumber >= numNodes) continue;
    bone.matrix = inverseBind[bone.nodeNumber] * world[bone.nodeNumber] * inverseNode;
  }

  auto* positions = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  const auto* orgNumbers =
      static_cast<const uint32_t*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_ORGVTXNUMBERS));
  if (positions == nullptr || orgNumbers == nullptr) return false;
  // The kernel reads the bones' 4x3 parts packed; the table keeps its size between frames.
  const uint32_t numBones = mBones.GetLength();
  if (mBoneRows.GetLength() != numBones && !mBoneRows.Resize(numBones)) return false;
  for (uint32_t i = 0; i < numBones; ++i) {
    const float* m = mBones[i].matrix.m16;
    float* rows = mBoneRows[i].m;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) rows[3 * r + c] = m[4 * r + c];
    }
  }
  DeformKernels::SkinJob job;
  job.bones = mBoneRows.GetPtr();
  job.numBones = numBones;
  job.influences = skin->GetInfluences().GetPtr();
  job.numInfluences = skin->GetInfluences().GetLength();
  job.rows = skin->GetRows().GetPtr();
  job.numRows = skin->GetRows().GetLength();
  job.orgNumbers = orgNumbers;
  job.numVertices = mMesh->GetNumVertices();
  job.positions = positions;
  job.normals = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  job.tangents = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_TANGENTS));
  if (fromOriginals) {
    job.sourcePositions = static_cast<const float*>(mMesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_POSITIONS));
    job.sourceNormals = static_cast<const float*>(mMesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_NORMALS));
    job.sourceTangents = static_cast<const float*>(mMesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_TANGENTS));
  }
  // The compact stream is rebuilt when the influences, the bone table or the mesh's
  // vertices change; original vertex numbers are fixed once the mesh is loaded.
  const PlanSource source{skin,     skin->GetChangeCount(), job.influences, job.numInfluences, job.rows,
                          job.numRows, orgNumbers,          job.numVertices, numBones};
  if (!(source == mPlanSource)) {
    mPlanSource = PlanSource();
    if (!DeformKernels::PrepareSkin(job, mPlan)) {
      // Out of memory: the same result, slower, in place.
      if (fromOriginals) {
        for (const uint32_t type : {LAYERTYPE_POSITIONS, LAYERTYPE_NORMALS, LAYERTYPE_TANGENTS}) {
          if (VertexAttributeLayer* layer = mMesh->FindVertexAttributeLayer(type, 0)) layer->ResetToOriginalData();
        }
      }
      DeformKernels::SkinReference(job);
      return true;
    }
    mPlanSource = source;
  }
  DeformKernels::Skin(mPlan, job);
  return true;
}

MeshDeformer* SoftSkinDeformer::Clone(Mesh* newMesh, Actor* actor) const {
  auto* clone = AnimCore::New<SoftSkinDeformer>(MEMCATEGORY_MESHDEFORMER, newMesh, actor);
  if (clone == nullptr) return nullptr;
  clone->mBones = mBones;
  return clone;
}

}  // namespace Anim
