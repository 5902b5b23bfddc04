#include "animation/mesh.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

using AnimCore::Vector3;

int32_t FindLayer(const AnimCore::Array<VertexAttributeLayer*>& layers, uint32_t type,
                  uint32_t occurrence) {
  uint32_t count = 0;
  for (uint32_t i = 0; i < layers.GetLength(); ++i) {
    if (layers[i]->GetType() != type) continue;
    if (count == occurrence) return static_cast<int32_t>(i);
    ++count;
  }
  return -1;
}

Vector3 LoadVector(const uint8_t* data) {
  Vector3 v;
  std::memcpy(&v.x, data, 4);
  std::memcpy(&v.y, data + 4, 4);
  std::memcpy(&v.z, data + 8, 4);
  return v;
}

void StoreVector(uint8_t* data, const Vector3& v) {
  std::memcpy(data, &v.x, 4);
  std::memcpy(data + 4, &v.y, 4);
  std::memcpy(data + 8, &v.z, 4);
}

// Normalised copy; a vector of zero length stays as it is instead of becoming NaN.
Vector3 SafeNormalized(const Vector3& v) {
  const float length = v.Length();
  return length > 0.0f ? v / length : v;
}

}  // namespace

Mesh::Mesh(uint32_t numVertices, uint32_t numTriangles, uint32_t numOrgVertices)
    : mSubMeshes(MEMCATEGORY_MESH),
      mNumOrgVertices(numOrgVertices),
      mNumVertices(numVertices),
      mSharedVertexAttributes(MEMCATEGORY_MESH),
      mVertexAttributes(MEMCATEGORY_MESH) {
  const uint64_t numIndices = uint64_t{numTriangles} * 3;
  if (numIndices > 0 && numIndices * 4 <= std::numeric_limits<uint32_t>::max()) {
    mIndices = static_cast<uint32_t*>(AnimCore::MemoryManager::Allocate(
        static_cast<uint32_t>(numIndices * 4), MEMCATEGORY_MESH, 16));
    if (mIndices != nullptr) mNumIndices = static_cast<uint32_t>(numIndices);
  }
}

Mesh::~Mesh() {
  ReleaseData();
  mSubMeshes.Clear();
  mSharedVertexAttributes.Clear();
  mVertexAttributes.Clear();
}

void Mesh::ReleaseData() {
  for (uint32_t i = mSharedVertexAttributes.GetLength(); i-- > 0;) {
    AnimCore::Delete(mSharedVertexAttributes[i]);
  }
  mSharedVertexAttributes.Resize(0);
  for (uint32_t i = mVertexAttributes.GetLength(); i-- > 0;) {
    AnimCore::Delete(mVertexAttributes[i]);
  }
  mVertexAttributes.Resize(0);
  mSubMeshes.ClearAndDelete();
  AnimCore::MemoryManager::Free(std::exchange(mIndices, nullptr));
  mNumOrgVertices = 0;
  mNumVertices = 0;
  mNumIndices = 0;
}

bool Mesh::AddVertexAttributeLayer(VertexAttributeLayer* layer) {
  if (layer == nullptr) return false;
  if (mVertexAttributes.Add(layer)) return true;
  AnimCore::Delete(layer);
  return false;
}

bool Mesh::AddSharedVertexAttributeLayer(VertexAttributeLayer* layer) {
  if (layer == nullptr) return false;
  if (mSharedVertexAttributes.Add(layer)) return true;
  AnimCore::Delete(layer);
  return false;
}

bool Mesh::AddSubMesh(SubMesh* subMesh) {
  if (subMesh == nullptr) return false;
  if (mSubMeshes.Add(subMesh)) return true;
  AnimCore::Delete(subMesh);
  return false;
}

int32_t Mesh::FindVertexAttributeLayerNumber(uint32_t type, uint32_t occurrence) const {
  return FindLayer(mVertexAttributes, type, occurrence);
}

VertexAttributeLayer* Mesh::FindVertexAttributeLayer(uint32_t type, uint32_t occurrence) const {
  const int32_t index = FindLayer(mVertexAttributes, type, occurrence);
  return index < 0 ? nullptr : mVertexAttributes[static_cast<uint32_t>(index)];
}

void* Mesh::FindVertexAttributeLayerData(uint32_t type, uint32_t occurrence) const {
  VertexAttributeLayer* layer = FindVertexAttributeLayer(type, occurrence);
  return layer != nullptr ? layer->GetData() : nullptr;
}

void* Mesh::FindOriginalVertexAttributeLayerData(uint32_t type, uint32_t occurrence) const {
  VertexAttributeLayer* layer = FindVertexAttributeLayer(type, occurrence);
  return layer != nullptr ? layer->GetOriginalData() : nullptr;
}

int32_t Mesh::FindSharedVertexAttributeLayerNumber(uint32_t type, uint32_t occurrence) const {
  return FindLayer(mSharedVertexAttributes, type, occurrence);
}

VertexAttributeLayer* Mesh::FindSharedVertexAttributeLayer(uint32_t type,
                                                           uint32_t occurrence) const {
  const int32_t index = FindLayer(mSharedVertexAttributes, type, occurrence);
  return index < 0 ? nullptr : mSharedVertexAttributes[static_cast<uint32_t>(index)];
}

void Mesh::ResetToOriginalData() {
  for (VertexAttributeLayer* layer : mVertexAttributes) layer->ResetToOriginalData();
}

const uint8_t* Mesh::FindFlatLayerData(uint32_t type, uint32_t occurrence, uint32_t minSize,
                                       bool original, uint32_t* stride) const {
  VertexAttributeLayer* layer = FindVertexAttributeLayer(type, occurrence);
  if (layer == nullptr || !layer->IsAbstractDataClass()) return nullptr;
  auto* flat = static_cast<VertexAttributeLayerAbstractData*>(layer);
  if (flat->GetAttributeSize() < minSize || flat->GetNumAttributes() < mNumVertices) return nullptr;
  *stride = flat->GetAttributeSize();
  return static_cast<const uint8_t*>(original ? flat->GetOriginalData() : flat->GetData());
}

void Mesh::CalcBounds(AnimCore::AABB& box, const AnimCore::Matrix& matrix, uint32_t step) const {
  box.Init();
  uint32_t stride = 0;
  const uint8_t* positions = FindFlatLayerData(LAYERTYPE_POSITIONS, 0, 12, false, &stride);
  if (positions == nullptr) return;
  if (step == 0) step = 1;
  for (uint64_t i = 0; i < mNumVertices; i += step) {
    box.Encapsulate(matrix.TransformPoint(LoadVector(positions + i * stride)));
  }
}

bool Mesh::Intersects(const AnimCore::Matrix& matrix, const AnimCore::Ray& ray) const {
  uint32_t stride = 0;
  const uint8_t* positions = FindFlatLayerData(LAYERTYPE_POSITIONS, 0, 12, false, &stride);
  if (positions == nullptr || mIndices == nullptr) return false;
  const AnimCore::Matrix inverse = matrix.Inversed();
  const AnimCore::Ray local(inverse.TransformPoint(ray.GetOrigin()),
                            inverse.TransformPoint(ray.GetDestination()));
  for (uint32_t i = 0; i + 2 < mNumIndices; i += 3) {
    const uint32_t a = mIndices[i];
    const uint32_t b = mIndices[i + 1];
    const uint32_t c = mIndices[i + 2];
    if (a >= mNumVertices || b >= mNumVertices || c >= mNumVertices) continue;
    if (local.Intersects(LoadVector(positions + size_t{a} * stride),
                         LoadVector(positions + size_t{b} * stride),
                         LoadVector(positions + size_t{c} * stride))) {
      return true;
    }
  }
  return false;
}

void Mesh::CalcTangentAndBinormal(const Vector3& p0, const Vector3& p1, const Vector3& p2,
                                  const float* uv0, const float* uv1, const float* uv2,
                                  Vector3* tangent, Vector3* binormal) {
  Vector3 t;
  Vector3 b;
  const float du1 = uv1[0] - uv0[0];
  const float dv1 = uv1[1] - uv0[1];
  const float du2 = uv2[0] - uv0[0];
  const float dv2 = uv2[1] - uv0[1];
  const float a = du1 * dv2 - dv1 * du2;
  const Vector3 e1 = p1 - p0;
  const Vector3 e2 = p2 - p0;
  const float bx = dv1 * e2.x - e1.x * dv2;
  const float gx = e1.x * du2 - du1 * e2.x;
  if (std::fabs(a) > 0.00001f) {
    t = Vector3(-bx / a, -(dv1 * e2.y - e1.y * dv2) / a, -(dv1 * e2.z - e1.z * dv2) / a);
    b = Vector3(-gx / a, -(e1.y * du2 - du1 * e2.y) / a, -(e1.z * du2 - du1 * e2.z) / a);
  }
  const float tangentLength = t.Length();
  t = tangentLength > 0.00001f ? t / tangentLength : Vector3(0.0f, 0.0f, 1.0f);
  if (tangent != nullptr) *tangent = t;
  if (binormal != nullptr) {
    const float binormalLength = b.Length();
    *binormal = binormalLength > 0.00001f ? b / binormalLength : t.Cross(Vector3(a, bx, gx));
  }
}

void Mesh::CalcTangents(uint32_t uvSet) {
  uint32_t uvStride = 0;
  uint32_t positionStride = 0;
  uint32_t normalStride = 0;
  const uint8_t* uvs = FindFlatLayerData(LAYERTYPE_UVCOORDS, uvSet, 8, false, &uvStride);
  const uint8_t* positions =
      FindFlatLayerData(LAYERTYPE_POSITIONS, 0, 12, true, &positionStride);
  VertexAttributeLayer* normalLayer = FindVertexAttributeLayer(LAYERTYPE_NORMALS, 0);
  uint8_t* normals =
      const_cast<uint8_t*>(FindFlatLayerData(LAYERTYPE_NORMALS, 0, 12, true, &normalStride));
  if (uvs == nullptr || positions == nullptr || normals == nullptr || normalLayer == nullptr) {
    return;
  }

  VertexAttributeLayer* tangentLayer = FindVertexAttributeLayer(LAYERTYPE_TANGENTS, 0);
  if (tangentLayer == nullptr) {
    tangentLayer = AnimCore::New<VertexAttributeLayerAbstractData>(
        MEMCATEGORY_VERTEXATTRIBUTELAYER, mNumVertices, LAYERTYPE_TANGENTS, 16u, true);
    if (!AddVertexAttributeLayer(tangentLayer)) return;
  }
  // Only a flat layer of four floats per vertex can take the result.
  if (!tangentLayer->IsAbstractDataClass() ||
      static_cast<VertexAttributeLayerAbstractData*>(tangentLayer)->GetAttributeSize() != 16 ||
      tangentLayer->GetNumAttributes() < mNumVertices || tangentLayer->GetData() == nullptr) {
    return;
  }
  uint8_t* tangentsCurrent = static_cast<uint8_t*>(tangentLayer->GetData());
  uint8_t* tangentsOriginal = static_cast<uint8_t*>(tangentLayer->GetOriginalData());

  // Per-vertex sums of the triangles' tangents and binormals, gathered in one pass over
  // the triangles in index order: the same sums, in the same order, as collecting the
  // triangles of each vertex by scanning the whole index buffer.
  struct Sum {
    Vector3 tangent;
    Vector3 binormal;
    uint32_t count = 0;
  };
  AnimCore::Array<Sum> sums(MEMCATEGORY_MESH);
  if (!sums.Resize(mNumVertices)) return;
  for (uint32_t i = 0; mIndices != nullptr && i + 2 < mNumIndices; i += 3) {
    const uint32_t corner[3] = {mIndices[i], mIndices[i + 1], mIndices[i + 2]};
    if (corner[0] >= mNumVertices || corner[1] >= mNumVertices || corner[2] >= mNumVertices) {
      continue;
    }
    Vector3 t;
    Vector3 b;
    CalcTangentAndBinormal(LoadVector(positions + size_t{corner[0]} * positionStride),
                           LoadVector(positions + size_t{corner[1]} * positionStride),
                           LoadVector(positions + size_t{corner[2]} * positionStride),
                           reinterpret_cast<const float*>(uvs + size_t{corner[0]} * uvStride),
                           reinterpret_cast<const float*>(uvs + size_t{corner[1]} * uvStride),
                           reinterpret_cast<const float*>(uvs + size_t{corner[2]} * uvStride), &t,
                           &b);
    for (int c = 0; c < 3; ++c) {
      // A triangle that names a vertex twice counts once for it.
      if ((c > 0 && corner[c] == corner[0]) || (c > 1 && corner[c] == corner[1])) continue;
      Sum& sum = sums[corner[c]];
      sum.tangent += t;
      sum.binormal += b;
      ++sum.count;
    }
  }

  for (uint32_t v = 0; v < mNumVertices; ++v) {
    Sum& sum = sums[v];
    if (sum.count > 0) {
      const float inverse = 1.0f / static_cast<float>(sum.count);
      sum.tangent *= inverse;
      sum.binormal *= inverse;
    }
    uint8_t* normalData = normals + size_t{v} * normalStride;
    const Vector3 n = SafeNormalized(LoadVector(normalData));
    StoreVector(normalData, n);
    const Vector3 t = SafeNormalized(sum.tangent);
    const Vector3 b = SafeNormalized(sum.binormal);
    const float w = t.Cross(b).Dot(n) >= 0.0f ? 1.0f : -1.0f;
    Vector3 orthogonal = t - n * n.Dot(t);
    if (orthogonal.SquareLength() > 0.0f) orthogonal = SafeNormalized(orthogonal);
    float out[4] = {orthogonal.x, orthogonal.y, orthogonal.z, w};
    std::memcpy(tangentsCurrent + size_t{v} * 16, out, 16);
    std::memcpy(tangentsOriginal + size_t{v} * 16, out, 16);
  }
}

Mesh* Mesh::Clone(Actor* actor, Node* node) const {
  Mesh* clone = AnimCore::New<Mesh>(MEMCATEGORY_MESH, mNumVertices, mNumIndices / 3, mNumOrgVertices);
  if (clone == nullptr) return nullptr;
  bool ok = clone->mNumIndices == mNumIndices;
  if (ok && mIndices != nullptr) std::memcpy(clone->mIndices, mIndices, size_t{mNumIndices} * 4);
  for (uint32_t i = 0; ok && i < mSubMeshes.GetLength(); ++i) {
    ok = clone->AddSubMesh(mSubMeshes[i]->Clone(clone));
  }
  for (uint32_t i = 0; ok && i < mSharedVertexAttributes.GetLength(); ++i) {
    ok = clone->AddSharedVertexAttributeLayer(mSharedVertexAttributes[i]->Clone(actor, node, clone));
  }
  for (uint32_t i = 0; ok && i < mVertexAttributes.GetLength(); ++i) {
    ok = clone->AddVertexAttributeLayer(mVertexAttributes[i]->Clone(actor, node, clone));
  }
  if (!ok) {
    AnimCore::Delete(clone);
    return nullptr;
  }
  return clone;
}

}  // namespace Anim
