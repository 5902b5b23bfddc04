#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/string.h"
#include "animation/motion_event_table.h"
#include "animation/transform.h"

namespace Anim {

class Actor;
class MotionInstance;

// Shared, read-only animation data that motion instances play on actor instances.
class Motion {
 public:
  enum : uint32_t {
    TYPE_SKELETAL = 1,
    TYPE_PROGRESSIVEMORPH = 2,
    TYPE_CONTROLLED = 5,
  };

  Motion(const Motion&) = delete;
  Motion& operator=(const Motion&) = delete;
  // Tells the motion event handler first.
  virtual ~Motion();

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  // One node's local transform at time (nothing in this base).
  virtual void CalcNodeTransform(MotionInstance* /*instance*/, Transform& /*out*/, Actor* /*actor*/,
                                 uint32_t /*nodeIndex*/, float /*time*/, bool /*enableRetargeting*/) {}
  // Fills the instance's node-to-submotion links.
  virtual void CreateMotionLinks(Actor* actor, MotionInstance* instance) = 0;
  // Writes the whole actor's pose at the instance's current time into outPose;
  // inPose stands in for the nodes the motion does not animate.
  virtual void Update(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
                      MotionInstance* instance) = 0;
  // Recomputes the maximum time from the tracks.
  virtual void UpdateMaxTime() = 0;
  // True when a fully blended instance of this motion hides every motion below it
  // (skeletal and controlled motions); otherwise only those of its own type.
  virtual bool HidesAllMotionsBelow() const { return false; }
  virtual bool IsSkeletal() const { return false; }
  // Makes every track end on its first key fadeTime after its last one.
  virtual void MakeLoopable(float /*fadeTime*/) {}
  // Takes the bind pose of the actor's nodes as the skeleton the motion was made for.
  virtual void SetBindPoseFromActor(Actor* /*actor*/) {}

  float GetMaxTime() const { return mMaxTime; }
  void SetMaxTime(float maxTime) { mMaxTime = maxTime; }
  float GetFPS() const { return mFPS; }
  void SetFPS(float fps) { mFPS = fps; }
  uint32_t GetNameID() const { return mNameID; }
  // The name through the library's id generator; "" for a motion without name.
  const char* GetName() const;
  void SetName(const char* name);
  MotionEventTable& GetEventTable() { return mEventTable; }
  const MotionEventTable& GetEventTable() const { return mEventTable; }

 protected:
  // A null name leaves the motion without name (id kInvalidIndex).
  explicit Motion(const char* name);

  float mMaxTime = 0.0f;

 private:
  MotionEventTable mEventTable;
  float mFPS = 24.0f;
  uint32_t mNameID;
};

}  // namespace Anim
