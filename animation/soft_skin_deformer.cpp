#include "animation/soft_skin_deformer.h"

#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
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
    : MeshDeformer(mesh), mBones(MEMCATEGORY_MESHDEFORMER) {}

void SoftSkinDeformer::Reinitialize(Actor* actor) {
  mBones.Clear();
  SkinningInfoVertexAttribute* skin = mMesh != nullptr ? FindSkinningInfo(mMesh) : nullptr;
  if (skin == nullptr || actor == nullptr) return;
  const uint32_t numRows = skin->GetRows().GetLength();
  for (uint32_t v = 0; v < numRows; ++v) {
    const uint32_t count = skin->GetNumInfluences(v) & 0xFF;
    for (uint32_t i = 0; i < count; ++i) {
      SkinInfluence& influence = skin->GetInfluence(v, i);
      uint32_t bone = 0;
      while (bone < mBones.GetLength() && mBones[bone].nodeNumber != influence.nodeNumber) ++bone;
      if (bone == mBones.GetLength() && !mBones.Add({influence.nodeNumber, AnimCore::Matrix()})) {
        return;
      }
      influence.boneNumber = static_cast<uint16_t>(bone);
    }
  }
}

void SoftSkinDeformer::Update(ActorInstance* actorInstance, Node* node, float) {
  if (actorInstance == nullptr || node == nullptr || mMesh == nullptr) return;
  const TransformData& data = actorInstance->GetTransformData();
  const uint32_t numNodes = data.GetNumNodes();
  const AnimCore::Matrix* world = data.GetWorldMatrices();
  const AnimCore::Matrix* inverseBind = data.GetInverseBindMatrices();
  if (world == nullptr || inverseBind == nullptr || node->GetIndex() >= numNodes) return;
  SkinningInfoVertexAttribute* skin = FindSkinningInfo(mMesh);
  if (skin == nullptr) return;

  const AnimCore::Matrix inverseNode = world[node->GetIndex()].Inversed();
  for (Bone& bone : mBones) {
    // Influences naming a node the instance lacks are refused at load time; keep
    // such a bone still rather than read outside the arrays.
    if (bone.nodeNumber >= numNodes) continue;
    bone.matrix = inverseBind[bone.nodeNumber] * world[bone.nodeNumber] * inverseNode;
  }

  auto* positions = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_POSITIONS));
  auto* normals = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_NORMALS));
  auto* tangents = static_cast<float*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_TANGENTS));
  const auto* orgNumbers =
      static_cast<const uint32_t*>(mMesh->FindVertexAttributeLayerData(LAYERTYPE_ORGVTXNUMBERS));
  if (positions == nullptr || orgNumbers == nullptr) return;
  const uint32_t numRows = skin->GetRows().GetLength();
  const uint32_t numBones = mBones.GetLength();
  const uint32_t numVertices = mMesh->GetNumVertices();
  for (uint32_t v = 0; v < numVertices; ++v) {
    const uint32_t org = orgNumbers[v];
    AnimCore::Vector3 p(positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]);
    AnimCore::Vector3 n, t;
    if (normals != nullptr) n = {normals[3 * v], normals[3 * v + 1], normals[3 * v + 2]};
    if (tangents != nullptr) t = {tangents[4 * v], tangents[4 * v + 1], tangents[4 * v + 2]};
    AnimCore::Vector3 pOut, nOut, tOut;
    const uint32_t count = org < numRows ? (skin->GetNumInfluences(org) & 0xFF) : 0;
    for (uint32_t i = 0; i < count; ++i) {
      const SkinInfluence& influence = skin->GetInfluence(org, i);
      if (influence.boneNumber >= numBones) continue;
      const AnimCore::Matrix& m = mBones[influence.boneNumber].matrix;
      const float w = influence.weight;
      pOut += m.TransformPoint(p) * w;
      nOut += m.TransformVector(n) * w;
      tOut += m.TransformVector(t) * w;
    }
    positions[3 * v] = pOut.x;
    positions[3 * v + 1] = pOut.y;
    positions[3 * v + 2] = pOut.z;
    if (normals != nullptr) {
      normals[3 * v] = nOut.x;
      normals[3 * v + 1] = nOut.y;
      normals[3 * v + 2] = nOut.z;
    }
    if (tangents != nullptr) {
      tangents[4 * v] = tOut.x;
      tangents[4 * v + 1] = tOut.y;
      tangents[4 * v + 2] = tOut.z;
    }
  }
}

MeshDeformer* SoftSkinDeformer::Clone(Mesh* newMesh, Actor* actor) const {
  auto* clone = AnimCore::New<SoftSkinDeformer>(MEMCATEGORY_MESHDEFORMER, newMesh, actor);
  if (clone == nullptr) return nullptr;
  clone->mBones = mBones;
  return clone;
}

}  // namespace Anim
