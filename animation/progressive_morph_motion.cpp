#include "animation/progressive_morph_motion.h"

#include "animation/memory_categories.h"
#include "animation/motion_instance.h"

namespace Anim {

ProgressiveMorphMotion::ProgressiveMorphMotion(const char* name)
    : Motion(name), mSubMotions(MEMCATEGORY_PROGRESSIVEMORPHMOTION) {}

ProgressiveMorphMotion::~ProgressiveMorphMotion() { mSubMotions.ClearAndDelete(); }

bool ProgressiveMorphMotion::AddSubMotion(MorphSubMotion* subMotion) {
  if (subMotion == nullptr) return false;
  if (!mSubMotions.Add(subMotion)) {
    AnimCore::Delete(subMotion);
    return false;
  }
  return true;
}

int32_t ProgressiveMorphMotion::FindSubMotionByID(uint32_t morphTargetID) const {
  for (uint32_t i = 0; i < mSubMotions.GetLength(); ++i) {
    if (mSubMotions[i]->GetMorphTargetID() == morphTargetID) return static_cast<int32_t>(i);
  }
  return -1;
}

void ProgressiveMorphMotion::UpdateMaxTime() {
  for (const MorphSubMotion* subMotion : mSubMotions) {
    const FloatKeyTrack& track = subMotion->GetKeyTrack();
    const float last = track.GetNumKeys() > 0 ? track.GetLastKey().time : 0.0f;
    if (last > mMaxTime) mMaxTime = last;
  }
}

void ProgressiveMorphMotion::MakeLoopable(float fadeTime) {
  for (MorphSubMotion* subMotion : mSubMotions) subMotion->GetKeyTrack().MakeLoopable(fadeTime);
  UpdateMaxTime();
}

void ProgressiveMorphMotion::UpdatePhonemeFlag() {
  mHasPhonemes = false;
  for (const MorphSubMotion* subMotion : mSubMotions) {
    if (subMotion->phonemeSet != 0) mHasPhonemes = true;
  }
}

}  // namespace Anim

namespace Anim {

void ProgressiveMorphMotion::Update(const AnimCore::Array<Transform>& inPose,
                                    AnimCore::Array<Transform>& outPose,
                                    MotionInstance* /*instance*/) {
  if (&inPose != &outPose) outPose = inPose;
}

}  // namespace Anim
