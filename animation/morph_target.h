#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/quaternion.h"
#include "animation/core/string.h"
#include "animation/core/vector3.h"

namespace Anim {

class Actor;
class ActorInstance;

// Quantisation of morph offsets into 16-bit (positions) and 8-bit (normals,
// tangents) steps of [min, max]. Encoding rounds to the nearest step and clamps, so
// the ends of the range survive a round trip (1.0 in [-1, 1] is 255, not 254).
namespace MorphQuant {
uint16_t Encode16(float value, float minValue, float maxValue);
uint8_t Encode8(float value, float minValue, float maxValue);
// Inline: the morph deformer decodes every component of every vertex.
inline float Decode16(uint16_t q, float minValue, float maxValue) {
  return minValue + q * (maxValue - minValue) / 65535.0f;
}
inline float Decode8(uint8_t q, float minValue, float maxValue) {
  return minValue + q * (maxValue - minValue) / 255.0f;
}
}  // namespace MorphQuant

// Phoneme set bits of morph targets and morph submotions.
enum : uint32_t {
  PHONEME_NEUTRAL_POSE = 0x1,
  PHONEME_M_B_P_X = 0x2,
  PHONEME_AA_AO_OW = 0x4,
  PHONEME_IH_AE_AH_EY_AY_H = 0x8,
  PHONEME_AW = 0x10,
  PHONEME_N_NG_CH_J_DH_D_G_T_K_Z_ZH_TH_S_SH = 0x20,
  PHONEME_IY_EH_Y = 0x40,
  PHONEME_UW_UH_OY = 0x80,
  PHONEME_F_V = 0x100,
  PHONEME_L_EL = 0x200,
  PHONEME_W = 0x400,
  PHONEME_R_ER = 0x800,
};

// A named pose blended in by a weight.
class MorphTarget {
 public:
  explicit MorphTarget(const char* name);
  MorphTarget(const MorphTarget&) = delete;
  MorphTarget& operator=(const MorphTarget&) = delete;
  virtual ~MorphTarget() = default;

  virtual void ApplyTransformation(ActorInstance* actorInstance, uint32_t nodeIndex,
                                   AnimCore::Vector3& position, AnimCore::Quaternion& rotation,
                                   AnimCore::Vector3& scale, float weight) = 0;
  virtual uint32_t GetType() const = 0;
  virtual bool Influences(uint32_t nodeIndex) const = 0;
  virtual void Apply(ActorInstance* actorInstance, float weight) = 0;
  // Null when memory runs out.
  virtual MorphTarget* Clone() const = 0;

  // (weight - rangeMin) / (rangeMax - rangeMin), unclamped; 0 for an empty range.
  float CalcRangedWeight(float weight) const;
  float ClampWeight(float weight) const;
  void CopyBaseClassMemberValues(const MorphTarget& target);
  static AnimCore::String PhonemeSetsToString(uint32_t phonemeSets);

  uint32_t GetID() const { return nameId; }

  uint32_t nameId;
  float rangeMin = 0.0f;
  float rangeMax = 1.0f;
  uint32_t phonemeSets = 0;
};

class ProgressiveMorphTarget final : public MorphTarget {
 public:
  static constexpr uint32_t TYPE_ID = 1;

  struct Transformation {
    AnimCore::Quaternion rotation;
    AnimCore::Quaternion scaleRotation;
    AnimCore::Vector3 position;
    AnimCore::Vector3 scale;
    uint32_t nodeIndex = 0;
  };
  // 16 bytes a vertex: quantised offsets and the vertex they move.
  struct VertexDelta {
    uint16_t position[3];
    uint8_t normal[3];
    uint8_t tangent[3];
    uint32_t vertexNumber;
  };
  struct DeformData {
    DeformData(uint32_t nodeIndex, uint32_t numVertices);
    AnimCore::Array<VertexDelta> deltas;
    uint32_t numVertices;
    uint32_t nodeIndex;
    float minValue = 0.0f;
    float maxValue = 0.0f;
  };

  explicit ProgressiveMorphTarget(const char* name);
  ~ProgressiveMorphTarget() override;

  void ApplyTransformation(ActorInstance* actorInstance, uint32_t nodeIndex,
                           AnimCore::Vector3& position, AnimCore::Quaternion& rotation,
                           AnimCore::Vector3& scale, float weight) override;
  uint32_t GetType() const override { return TYPE_ID; }
  bool Influences(uint32_t nodeIndex) const override;
  void Apply(ActorInstance* actorInstance, float weight) override;
  MorphTarget* Clone() const override;
  // Builds the target from the difference of targetPose to neutralPose, two actors of
  // one skeleton: per-vertex offsets of the level-0 meshes (with a morph deformer
  // pass on each neutral mesh) and per-node transform changes. False when memory
  // runs out. With deleteTargetPose the target pose actor is deleted.
  bool InitFromPose(bool captureTransformations, bool captureMeshDeforms, Actor* neutralPose,
                    Actor* targetPose, bool deleteTargetPose);

  bool AddTransformation(const Transformation& transformation) {
    return mTransformations.Add(transformation);
  }
  // Takes ownership (made with AnimCore::New); on failure it is deleted.
  bool AddDeformData(DeformData* deformData);
  uint32_t GetNumDeformDatas() const { return mDeformDatas.GetLength(); }
  DeformData* GetDeformData(uint32_t index) const {
    return index < mDeformDatas.GetLength() ? mDeformDatas[index] : nullptr;
  }
  uint32_t GetNumTransformations() const { return mTransformations.GetLength(); }
  const Transformation& GetTransformation(uint32_t index) const { return mTransformations[index]; }

 private:
  // Rotation change of the transformation t at weight r around the bind rotation.
  static AnimCore::Quaternion RotationDelta(const AnimCore::Quaternion& bind,
                                            const Transformation& t, float r);

  AnimCore::Array<Transformation> mTransformations;
  AnimCore::Array<DeformData*> mDeformDatas;
};

}  // namespace Anim
