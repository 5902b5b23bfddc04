#pragma once

#include <cstdint>

#include "animation/controller.h"
#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace Anim {

// Turns one node (a head, an eye) towards a goal in world space at a set speed,
// optionally kept inside swing and twist limits.
class LookAtController : public WorldSpaceController {
 public:
  static constexpr uint32_t TYPE_ID = 0x10001;
  enum : uint32_t { CONSTRAINT_NONE = 0, CONSTRAINT_ELLIPSE = 1, CONSTRAINT_RECTANGLE = 2 };

  // Starts at the node's current world rotation and takes the node's rotation limits
  // when it has a limit attribute; selects the node and its subtree.
  LookAtController(ActorInstance* actorInstance, uint32_t nodeIndex);

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "LookAtController"; }
  Controller* Clone() override;
  void Update(WorldPose& pose, float timeDelta) override;

  // currentRotation from the node's world matrix in the instance, scale removed.
  void InitRotationFromNode();

  AnimCore::Vector3* GetGoal() { return &mGoal; }
  void SetGoal(float x, float y, float z) { mGoal = {x, y, z}; }
  void SetSpeed(float speed) { mSpeed = speed; }
  void SetConstraintType(uint32_t type) { mConstraintType = type; }
  uint32_t GetConstraintType() const { return mConstraintType; }
  void SetPreRotation(const AnimCore::Matrix& m) { mPreRotation = m; }
  void SetPostRotation(const AnimCore::Matrix& m) { mPostRotation = m; }
  // Turns the limit frame by -pi/2 about Z (the swing axes trade places); taken
  // into the limit rotation by the next SetLimits.
  void SetFlipAxis(bool flip) { mFlipAxis = flip; }
  // Rotation limits in radians: x and y bound the swing, z the twist.
  void SetLimits(const AnimCore::Vector3& min, const AnimCore::Vector3& max);

  const AnimCore::Quaternion& GetCurrentRotation() const { return mCurrentRotation; }
  uint32_t GetNodeIndex() const { return mNodeIndex; }
  float GetSwingLimitX() const { return mSwingLimitX; }
  float GetSwingLimitY() const { return mSwingLimitY; }
  float GetTwistMin() const { return mTwistMin; }
  float GetTwistMax() const { return mTwistMax; }
  const AnimCore::Matrix& GetLimitRotation() const { return mLimitRotation; }

  // Shorter-way spherical interpolation; linear (then normalised) when the two are
  // within 0.00001 of each other.
  static AnimCore::Quaternion Slerp(const AnimCore::Quaternion& from, AnimCore::Quaternion to,
                                    float t);

 private:
  AnimCore::Matrix mPreRotation;
  AnimCore::Matrix mPostRotation;
  AnimCore::Matrix mLimitRotation;
  AnimCore::Quaternion mCurrentRotation;
  AnimCore::Vector3 mGoal;
  float mSwingLimitX = 1.0f;
  float mSwingLimitY = 1.0f;
  float mTwistMin = 0.0f;
  float mTwistMax = 0.0f;
  float mSpeed = 1.0f;
  uint32_t mNodeIndex;
  uint32_t mConstraintType = CONSTRAINT_NONE;
  bool mFlipAxis = false;
};

}  // namespace Anim
