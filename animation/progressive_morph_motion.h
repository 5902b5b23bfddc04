#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/key_track.h"
#include "animation/motion.h"

namespace Anim {

// The weight animation of one progressive morph target, matched to the target by
// the id of its name.
class MorphSubMotion {
 public:
  explicit MorphSubMotion(uint32_t morphTargetID) : mMorphTargetID(morphTargetID) {}
  MorphSubMotion(const MorphSubMotion&) = delete;
  MorphSubMotion& operator=(const MorphSubMotion&) = delete;

  FloatKeyTrack& GetKeyTrack() { return mKeyTrack; }
  const FloatKeyTrack& GetKeyTrack() const { return mKeyTrack; }
  uint32_t GetMorphTargetID() const { return mMorphTargetID; }

  float poseWeight = 0.0f;
  float minWeight = 0.0f;
  float maxWeight = 1.0f;
  uint32_t phonemeSet = 0;

 private:
  FloatKeyTrack mKeyTrack;
  uint32_t mMorphTargetID;
};

// A motion of morph target weights; it moves no node.
class ProgressiveMorphMotion final : public Motion {
 public:
  static constexpr uint32_t TYPE_ID = TYPE_PROGRESSIVEMORPH;

  explicit ProgressiveMorphMotion(const char* name);
  ~ProgressiveMorphMotion() override;

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "PMorphMotion"; }
  // Grows the maximum time to the last key of every track; never lowers it.
  void UpdateMaxTime() override;
  void MakeLoopable(float fadeTime) override;
  // Morph motions link no node.
  void CreateMotionLinks(Actor* /*actor*/, MotionInstance* /*instance*/) override {}
  // Moves no node: the output is the input pose.
  void Update(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
              MotionInstance* instance) override;

  // Takes ownership (made with AnimCore::New); on failure it is deleted.
  bool AddSubMotion(MorphSubMotion* subMotion);
  uint32_t GetNumSubMotions() const { return mSubMotions.GetLength(); }
  MorphSubMotion* GetSubMotion(uint32_t index) const {
    return index < mSubMotions.GetLength() ? mSubMotions[index] : nullptr;
  }
  // Index of the first submotion driving the morph target id, or -1.
  int32_t FindSubMotionByID(uint32_t morphTargetID) const;

  // Records whether any submotion has a phoneme set.
  void UpdatePhonemeFlag();
  bool HasPhonemes() const { return mHasPhonemes; }

 private:
  AnimCore::Array<MorphSubMotion*> mSubMotions;
  bool mHasPhonemes = false;
};

}  // namespace Anim
