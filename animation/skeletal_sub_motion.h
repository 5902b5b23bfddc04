#pragma once

#include <cstdint>

#include "animation/compressed.h"
#include "animation/core/vector3.h"
#include "animation/key_track.h"
#include "animation/transform.h"

namespace Anim {

// The animation of one node in a skeletal motion: up to four key tracks, the pose
// that stands in for a missing track, and the bind pose the motion was made for.
// Matched to an actor's node by the id of the node's name.
class SkeletalSubMotion {
 public:
  // A null name counts as "".
  explicit SkeletalSubMotion(const char* name);
  SkeletalSubMotion(const SkeletalSubMotion&) = delete;
  SkeletalSubMotion& operator=(const SkeletalSubMotion&) = delete;
  ~SkeletalSubMotion();

  // Each creates an empty track (no interpolator) unless the slot holds one; false
  // when memory runs out.
  bool CreatePositionTrack();
  bool CreateRotationTrack();
  bool CreateScaleRotationTrack();
  bool CreateScaleTrack();

  QuaternionKeyTrack* GetRotationTrack() const { return mRotationTrack; }
  QuaternionKeyTrack* GetScaleRotationTrack() const { return mScaleRotationTrack; }
  Vector3KeyTrack* GetPositionTrack() const { return mPositionTrack; }
  Vector3KeyTrack* GetScaleTrack() const { return mScaleTrack; }

  // The node's transform at time: each part from its track when that has keys, else
  // from the pose; rotations normalised.
  void CalcTransform(float time, Transform& out) const;
  // The same, keeping each track's key interval in keyCache[0..3] between calls
  // (position, rotation, scale, scale rotation; -1 = none).
  void CalcTransform(float time, Transform& out, int32_t* keyCache) const;
  // The latest last-key time over the four tracks (0 without keys).
  float CalcMaxTime() const;
  void MakeLoopable(float fadeTime);

  uint32_t GetNameID() const { return mNameID; }
  const char* GetName() const;

  Compressed16BitQuaternion poseRotation;
  Compressed16BitQuaternion bindRotation;
  Compressed16BitQuaternion poseScaleRotation;
  Compressed16BitQuaternion bindScaleRotation;
  AnimCore::Vector3 posePosition;
  AnimCore::Vector3 bindPosition;
  AnimCore::Vector3 poseScale{1.0f, 1.0f, 1.0f};
  AnimCore::Vector3 bindScale{1.0f, 1.0f, 1.0f};

 private:
  QuaternionKeyTrack* mRotationTrack = nullptr;
  QuaternionKeyTrack* mScaleRotationTrack = nullptr;
  Vector3KeyTrack* mPositionTrack = nullptr;
  Vector3KeyTrack* mScaleTrack = nullptr;
  uint32_t mNameID;
};

}  // namespace Anim
