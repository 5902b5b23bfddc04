#include "animation/skeletal_sub_motion.h"

#include <utility>

#include "animation/id_generator.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

template <class Track>
bool CreateTrack(Track*& slot) {
  if (slot == nullptr) slot = AnimCore::New<Track>(MEMCATEGORY_KEYTRACK);
  return slot != nullptr;
}

template <class Track>
bool HasKeys(const Track* track) {
  return track != nullptr && track->GetNumKeys() > 0;
}

}  // namespace

SkeletalSubMotion::SkeletalSubMotion(const char* name)
    : mNameID(GetStringID(name != nullptr ? name : "")) {}

SkeletalSubMotion::~SkeletalSubMotion() {
  AnimCore::Delete(std::exchange(mPositionTrack, nullptr));
  AnimCore::Delete(std::exchange(mRotationTrack, nullptr));
  AnimCore::Delete(std::exchange(mScaleRotationTrack, nullptr));
  AnimCore::Delete(std::exchange(mScaleTrack, nullptr));
}

bool SkeletalSubMotion::CreatePositionTrack() { return CreateTrack(mPositionTrack); }
bool SkeletalSubMotion::CreateRotationTrack() { return CreateTrack(mRotationTrack); }
bool SkeletalSubMotion::CreateScaleRotationTrack() { return CreateTrack(mScaleRotationTrack); }
bool SkeletalSubMotion::CreateScaleTrack() { return CreateTrack(mScaleTrack); }

const char* SkeletalSubMotion::GetName() const { return GetStringForID(mNameID).AsChar(); }

void SkeletalSubMotion::CalcTransform(float time, Transform& out) const {
  int32_t keyCache[4] = {-1, -1, -1, -1};
  CalcTransform(time, out, keyCache);
}

void SkeletalSubMotion::CalcTransform(float time, Transform& out, int32_t* keyCache) const {
  out.position = HasKeys(mPositionTrack) ? mPositionTrack->GetValueAtTime(time, &keyCache[0]) : posePosition;
  // Normalize turns a zero quaternion into the identity, never into NaNs.
  out.rotation = HasKeys(mRotationTrack) ? mRotationTrack->GetValueAtTime(time, &keyCache[1]).Normalize()
                                         : poseRotation.ToQuaternion();
  out.scale = HasKeys(mScaleTrack) ? mScaleTrack->GetValueAtTime(time, &keyCache[2]) : poseScale;
  out.scaleRotation = HasKeys(mScaleRotationTrack)
                          ? mScaleRotationTrack->GetValueAtTime(time, &keyCache[3]).Normalize()
                          : poseScaleRotation.ToQuaternion();
}

float SkeletalSubMotion::CalcMaxTime() const {
  float maxTime = 0.0f;
  auto include = [&maxTime](const auto* track) {
    if (HasKeys(track) && track->GetLastKey().time > maxTime) maxTime = track->GetLastKey().time;
  };
  include(mRotationTrack);
  include(mScaleRotationTrack);
  include(mPositionTrack);
  include(mScaleTrack);
  return maxTime;
}

void SkeletalSubMotion::MakeLoopable(float fadeTime) {
  if (mPositionTrack != nullptr) mPositionTrack->MakeLoopable(fadeTime);
  if (mScaleTrack != nullptr) mScaleTrack->MakeLoopable(fadeTime);
  if (mRotationTrack != nullptr) mRotationTrack->MakeLoopable(fadeTime);
  if (mScaleRotationTrack != nullptr) mScaleRotationTrack->MakeLoopable(fadeTime);
}

}  // namespace Anim
