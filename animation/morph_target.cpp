#include "animation/morph_target.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/morph_mesh_deformer.h"
#include "animation/node.h"
#include "animation/transform.h"
#include "animation/transform_data.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {

namespace MorphQuant {
namespace {
uint32_t Encode(float value, float minValue, float maxValue, uint32_t steps) {
  const float range = maxValue - minValue;
  if (!(range > 0.0f)) return 0;
  // Float scale: an integer one truncates (127 for [-1, 1]) and can reach 0 when
  // the range is small.
  const double q = std::nearbyint((double{value} - minValue) * (static_cast<double>(steps) / range));
  if (!(q > 0.0)) return 0;  // also NaN
  return q >= steps ? steps : static_cast<uint32_t>(q);
}
}  // namespace

uint16_t Encode16(float value, float minValue, float maxValue) {
  return static_cast<uint16_t>(Encode(value, minValue, maxValue, 65535));
}
uint8_t Encode8(float value, float minValue, float maxValue) {
  return static_cast<uint8_t>(Encode(value, minValue, maxValue, 255));
}
}  // namespace MorphQuant

MorphTarget::MorphTarget(const char* name) : nameId(GetStringID(name != nullptr ? name : "")) {}

float MorphTarget::CalcRangedWeight(float weight) const {
  const float range = rangeMax - rangeMin;
  if (std::fabs(range) == 0.0f) return 0.0f;
  return (weight - rangeMin) / range;
}

float MorphTarget::ClampWeight(float weight) const {
  if (weight < rangeMin) return rangeMin;
  if (weight > rangeMax) return rangeMax;
  return weight;
}

void MorphTarget::CopyBaseClassMemberValues(const MorphTarget& target) {
  nameId = target.nameId;
  rangeMin = target.rangeMin;
  rangeMax = target.rangeMax;
  phonemeSets = target.phonemeSets;
}

AnimCore::String MorphTarget::PhonemeSetsToString(uint32_t phonemeSets) {
  static const char* const kNames[12] = {"NEUTRAL_POSE", "M_B_P_X", "AA_AO_OW",
                                         "IH_AE_AH_EY_AY_H", "AW",
                                         "N_NG_CH_J_DH_D_G_T_K_Z_ZH_TH_S_SH", "IY_EH_Y",
                                         "UW_UH_OY", "F_V", "L_EL", "W", "R_ER"};
  AnimCore::String text;
  for (uint32_t bit = 0; bit < 12; ++bit) {
    if ((phonemeSets & (1u << bit)) == 0) continue;
    text += ",";
    text += kNames[bit];
  }
  text.Trim(',');
  return text;
}

ProgressiveMorphTarget::DeformData::DeformData(uint32_t node, uint32_t count)
    : deltas(MEMCATEGORY_PROGRESSIVEMORPHMOTION), numVertices(count), nodeIndex(node) {
  if (!deltas.Resize(count)) numVertices = 0;
}

ProgressiveMorphTarget::ProgressiveMorphTarget(const char* name)
    : MorphTarget(name),
      mTransformations(MEMCATEGORY_PROGRESSIVEMORPHMOTION),
      mDeformDatas(MEMCATEGORY_PROGRESSIVEMORPHMOTION) {}

ProgressiveMorphTarget::~ProgressiveMorphTarget() {
  for (DeformData* data : mDeformDatas) AnimCore::Delete(data);
  mDeformDatas.Clear();
  mTransformations.Clear();
}

bool ProgressiveMorphTarget::AddDeformData(DeformData* deformData) {
  if (deformData == nullptr) return false;
  if (!mDeformDatas.Add(deformData)) {
    AnimCore::Delete(deformData);
    return false;
  }
  return true;
}

bool ProgressiveMorphTarget::Influences(uint32_t nodeIndex) const {
  for (const DeformData* data : mDeformDatas) {
    if (data->nodeIndex == nodeIndex) return true;
  }
  for (const Transformation& t : mTransformations) {
    if (t.nodeIndex == nodeIndex) return true;
  }
  return false;
}

namespace {
AnimCore::Quaternion Slerp(const AnimCore::Quaternion& a, AnimCore::Quaternion b, float t) {
  float cosOmega = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (cosOmega < 0.0f) {
    cosOmega = -cosOmega;
    b = AnimCore::Quaternion(-b.x, -b.y, -b.z, -b.w);
  }
  float k0 = 1.0f - t;
  float k1 = t;
  if (1.0f - cosOmega > 0.001f) {
    const float omega = std::acos(cosOmega);
    const float sinOmega = std::sin(omega);
    k0 = std::sin((1.0f - t) * omega) / sinOmega;
    k1 = std::sin(t * omega) / sinOmega;
  }
  return AnimCore::Quaternion(k0 * a.x + k1 * b.x, k0 * a.y + k1 * b.y, k0 * a.z + k1 * b.z,
                              k0 * a.w + k1 * b.w);
}

const Transform* BindTransform(ActorInstance* actorInstance, uint32_t nodeIndex) {
  const TransformData& data = actorInstance->GetTransformData();
  if (data.GetBindTransforms() == nullptr || nodeIndex >= data.GetNumNodes()) return nullptr;
  return &data.GetBindTransforms()[nodeIndex];
}
}  // namespace

AnimCore::Quaternion ProgressiveMorphTarget::RotationDelta(const AnimCore::Quaternion& bind,
                                                           const Transformation& t, float r) {
  const AnimCore::Quaternion target = Slerp(bind, t.rotation, r).Normalized();
  return bind.Inversed() * target;
}

void ProgressiveMorphTarget::ApplyTransformation(ActorInstance* actorInstance, uint32_t nodeIndex,
                                                 AnimCore::Vector3& position,
                                                 AnimCore::Quaternion& rotation,
                                                 AnimCore::Vector3& scale, float weight) {
  const float w = ClampWeight(weight);
  const float r = CalcRangedWeight(w);
  const Transformation* found = nullptr;
  for (const Transformation& t : mTransformations) {
    if (t.nodeIndex == nodeIndex) {
      found = &t;
      break;
    }
  }
  if (found == nullptr) return;
  const Transform* bind = BindTransform(actorInstance, nodeIndex);
  if (bind == nullptr) return;
  position += found->position * w;
  scale += found->scale * w;
  rotation = (rotation * RotationDelta(bind->rotation, *found, r)).Normalized();
}

void ProgressiveMorphTarget::Apply(ActorInstance* actorInstance, float weight) {
  const float w = ClampWeight(weight);
  const float r = CalcRangedWeight(w);
  Transform* local = actorInstance->GetTransformData().GetLocalTransforms();
  if (local == nullptr) return;
  for (const Transformation& t : mTransformations) {
    const Transform* bind = BindTransform(actorInstance, t.nodeIndex);
    if (bind == nullptr) continue;
    Transform transform = local[t.nodeIndex];
    transform.position += t.position * w;
    transform.scale += t.scale * w;
    transform.rotation = (transform.rotation * RotationDelta(bind->rotation, t, r)).Normalized();
    actorInstance->SetLocalTransform(t.nodeIndex, transform);
  }
}

namespace {
// Original values of a layer of mesh with at least minSize bytes per vertex, or null.
const uint8_t* OriginalLayer(const Mesh* mesh, uint32_t type, uint32_t minSize, uint32_t* stride) {
  VertexAttributeLayer* layer = mesh->FindVertexAttributeLayer(type);
  if (layer == nullptr || !layer->IsAbstractDataClass()) return nullptr;
  auto* flat = static_cast<VertexAttributeLayerAbstractData*>(layer);
  if (flat->GetAttributeSize() < minSize || flat->GetNumAttributes() < mesh->GetNumVertices()) {
    return nullptr;
  }
  *stride = flat->GetAttributeSize();
  return static_cast<const uint8_t*>(flat->GetOriginalData());
}

AnimCore::Vector3 ReadVector(const uint8_t* data, uint32_t stride, uint32_t index) {
  AnimCore::Vector3 v;
  std::memcpy(&v.x, data + static_cast<size_t>(index) * stride, sizeof(float));
  std::memcpy(&v.y, data + static_cast<size_t>(index) * stride + 4, sizeof(float));
  std::memcpy(&v.z, data + static_cast<size_t>(index) * stride + 8, sizeof(float));
  return v;
}

bool Differs(float a, float b) { return std::fabs(a - b) > 0.0001f; }
bool Differs(const AnimCore::Vector3& a, const AnimCore::Vector3& b) {
  return Differs(a.x, b.x) || Differs(a.y, b.y) || Differs(a.z, b.z);
}
bool Differs(const AnimCore::Quaternion& a, const AnimCore::Quaternion& b) {
  return Differs(a.x, b.x) || Differs(a.y, b.y) || Differs(a.z, b.z) || Differs(a.w, b.w);
}
}  // namespace

bool ProgressiveMorphTarget::InitFromPose(bool captureTransformations, bool captureMeshDeforms,
                                          Actor* neutralPose, Actor* targetPose,
                                          bool deleteTargetPose) {
  bool ok = neutralPose != nullptr && targetPose != nullptr;
  if (ok && captureMeshDeforms) {
    for (uint32_t n = 0; ok && n < targetPose->GetNumNodes(); ++n) {
      const Node* targetNode = targetPose->GetNode(n);
      Node* neutralNode = neutralPose->FindNodeByID(targetNode->GetID());
      if (neutralNode == nullptr) continue;
      const Mesh* targetMesh = targetNode->GetMesh(0);
      Mesh* neutralMesh = neutralNode->GetMesh(0);
      if (targetMesh == nullptr || neutralMesh == nullptr ||
          targetMesh->GetNumVertices() != neutralMesh->GetNumVertices()) {
        continue;
      }
      uint32_t tps = 0, nps = 0, tns = 0, nns = 0, tts = 0, nts = 0;
      const uint8_t* tPos = OriginalLayer(targetMesh, LAYERTYPE_POSITIONS, 12, &tps);
      const uint8_t* nPos = OriginalLayer(neutralMesh, LAYERTYPE_POSITIONS, 12, &nps);
      if (tPos == nullptr || nPos == nullptr) continue;
      const uint8_t* tNrm = OriginalLayer(targetMesh, LAYERTYPE_NORMALS, 12, &tns);
      const uint8_t* nNrm = OriginalLayer(neutralMesh, LAYERTYPE_NORMALS, 12, &nns);
      const uint8_t* tTan = OriginalLayer(targetMesh, LAYERTYPE_TANGENTS, 12, &tts);
      const uint8_t* nTan = OriginalLayer(neutralMesh, LAYERTYPE_TANGENTS, 12, &nts);
      const bool tangents = tTan != nullptr && nTan != nullptr;
      const bool normals = tNrm != nullptr && nNrm != nullptr;

      const uint32_t numVertices = neutralMesh->GetNumVertices();
      uint32_t count = 0;
      float lo = 0.0f, hi = 0.0f;
      for (uint32_t v = 0; v < numVertices; ++v) {
        const AnimCore::Vector3 d = ReadVector(tPos, tps, v) - ReadVector(nPos, nps, v);
        if (!(d.SquareLength() > 0.00001f * 0.00001f)) continue;
        const float m = std::min(d.x, std::min(d.y, d.z));
        const float M = std::max(d.x, std::max(d.y, d.z));
        lo = count == 0 ? m : std::min(lo, m);
        hi = count == 0 ? M : std::max(hi, M);
        ++count;
      }
      if (count == 0) continue;
      if (hi - lo < 1.0f) {
        if (lo > -1.0f && lo < 0.0f) lo = -1.0f;
        if (hi > 0.0f && hi < 1.0f) hi = 1.0f;
      }
      auto* data = AnimCore::New<DeformData>(MEMCATEGORY_PROGRESSIVEMORPHMOTION,
                                             neutralNode->GetIndex(), count);
      ok = data != nullptr && data->numVertices == count;
      if (!ok) {
        if (data != nullptr) AnimCore::Delete(data);
        break;
      }
      data->minValue = lo;
      data->maxValue = hi;
      uint32_t r = 0;
      for (uint32_t v = 0; v < numVertices; ++v) {
        const AnimCore::Vector3 d = ReadVector(tPos, tps, v) - ReadVector(nPos, nps, v);
        if (!(d.SquareLength() > 0.00001f * 0.00001f)) continue;
        VertexDelta& rec = data->deltas[r++];
        const float pos[3] = {d.x, d.y, d.z};
        AnimCore::Vector3 dn, dt;
        if (normals) dn = ReadVector(tNrm, tns, v) - ReadVector(nNrm, nns, v);
        if (tangents) dt = ReadVector(tTan, tts, v) - ReadVector(nTan, nts, v);
        const float nrm[3] = {dn.x, dn.y, dn.z};
        const float tan[3] = {dt.x, dt.y, dt.z};
        for (int c = 0; c < 3; ++c) {
          rec.position[c] = MorphQuant::Encode16(pos[c], lo, hi);
          rec.normal[c] = MorphQuant::Encode8(nrm[c], -1.0f, 1.0f);
          rec.tangent[c] = MorphQuant::Encode8(tan[c], -1.0f, 1.0f);
        }
        rec.vertexNumber = v;
      }
      ok = AddDeformData(data);
      if (!ok) break;
      MorphMeshDeformer* deformer = MorphMeshDeformer::FindOrCreate(neutralNode, 0, neutralMesh);
      ok = deformer != nullptr && deformer->AddDeformPass({this, GetNumDeformDatas() - 1, false});
    }
  }
  if (ok && captureTransformations) {
    const Transform* targetBind = targetPose->GetTransformData().GetBindTransforms();
    const Transform* neutralBind = neutralPose->GetTransformData().GetBindTransforms();
    const uint32_t numTarget = targetPose->GetTransformData().GetNumNodes();
    const uint32_t numNeutral = neutralPose->GetTransformData().GetNumNodes();
    for (uint32_t n = 0; ok && targetBind != nullptr && neutralBind != nullptr && n < numTarget &&
                         n < targetPose->GetNumNodes();
         ++n) {
      const Node* neutralNode = neutralPose->FindNodeByID(targetPose->GetNode(n)->GetID());
      if (neutralNode == nullptr || neutralNode->GetIndex() >= numNeutral) continue;
      const Transform& t = targetBind[n];
      const Transform& b = neutralBind[neutralNode->GetIndex()];
      if (!Differs(t.position, b.position) && !Differs(t.rotation, b.rotation) &&
          !Differs(t.scale, b.scale) && !Differs(t.scaleRotation, b.scaleRotation)) {
        continue;
      }
      Transformation change;
      change.rotation = t.rotation;
      change.scaleRotation = t.scaleRotation;
      change.position = t.position - b.position;
      change.scale = t.scale - b.scale;
      change.nodeIndex = neutralNode->GetIndex();
      ok = AddTransformation(change);
    }
  }
  if (deleteTargetPose && targetPose != nullptr) AnimCore::Delete(targetPose);
  return ok;
}

MorphTarget* ProgressiveMorphTarget::Clone() const {
  auto* clone = AnimCore::New<ProgressiveMorphTarget>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, "");
  if (clone == nullptr) return nullptr;
  clone->CopyBaseClassMemberValues(*this);
  bool ok = clone->mTransformations.Resize(mTransformations.GetLength());
  for (uint32_t i = 0; ok && i < mTransformations.GetLength(); ++i) {
    clone->mTransformations[i] = mTransformations[i];
  }
  for (uint32_t i = 0; ok && i < mDeformDatas.GetLength(); ++i) {
    const DeformData* src = mDeformDatas[i];
    auto* copy = AnimCore::New<DeformData>(MEMCATEGORY_PROGRESSIVEMORPHMOTION, src->nodeIndex,
                                           src->numVertices);
    ok = copy != nullptr && copy->numVertices == src->numVertices;
    if (ok) {
      for (uint32_t v = 0; v < src->numVertices; ++v) copy->deltas[v] = src->deltas[v];
      copy->minValue = src->minValue;
      copy->maxValue = src->maxValue;
    } else if (copy != nullptr) {
      AnimCore::Delete(copy);
      break;
    }
    ok = clone->AddDeformData(copy);
  }
  if (!ok) {
    AnimCore::Delete(clone);
    return nullptr;
  }
  return clone;
}

}  // namespace Anim
