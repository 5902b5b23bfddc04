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
    // Linear blend: the weighted sum of the bone matrices' upper 4x3 part,
    // then one transform per attribute (the same sum as transforming by each
    // bone and adding, in a third of the work).
    float b[12] = {};
    const uint32_t count = org < numRows ? (skin->GetNumInfluences(org) & 0xFF) : 0;
    for (uint32_t i = 0; i < count; ++i) {
      const SkinInfluence& influence = skin->GetInfluence(org, i);
      if (influence.boneNumber >= numBones) continue;
      const float* m = mBones[influence.boneNumber].matrix.m16;
      const float w = influence.weight;
      for (int r = 0; r < 4; ++r) {
        b[3 * r] += m[4 * r] * w;
        b[3 * r + 1] += m[4 * r + 1] * w;
        b[3 * r + 2] += m[4 * r + 2] * w;
      }
    }
    float* p = positions + 3 * v;
    const float px = p[0], py = p[1], pz = p[2];
    p[0] = px * b[0] + py * b[3] + pz * b[6] + b[9];
    p[1] = px * b[1] + py * b[4] + pz * b[7] + b[10];
    p[2] = px * b[2] + py * b[5] + pz * b[8] + b[11];
    if (normals != nullptr) {
      float* n = normals + 3 * v;
      const float nx = n[0], ny = n[1], nz = n[2];
      n[0] = nx * b[0] + ny * b[3] + nz * b[6];
      n[1] = nx * b[1] + ny * b[4] + nz * b[7];
      n[2] = nx * b[2] + ny * b[5] + nz * b[8];
    }
    if (tangents != nullptr) {
      float* t = tangents + 4 * v;
      const float tx = t[0], ty = t[1], tz = t[2];
      t[0] = tx * b[0] + ty * b[3] + tz * b[6];
      t[1] = tx * b[1] + ty * b[4] + tz * b[7];
      t[2] = tx * b[2] + ty * b[5] + tz * b[8];
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
