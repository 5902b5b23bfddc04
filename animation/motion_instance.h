#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

class ActorInstance;
class Motion;

// How a motion is started. PlayMotion uses these defaults when given no record.
struct sMotionPlayInfo {
  float blendInTime = 0.3f;
  float blendOutTime = 0.3f;
  float playSpeed = 1.0f;
  float targetWeight = 1.0f;
  float eventWeightThreshold = 0.0f;
  float maxPlayTime = 0.0f;  // > 0: the instance ends when its time or total play time reaches it
  float retargetRootOffset = 0.0f;
  uint32_t numLoops = 0xFFFFFFFFu;  // for ever
  uint32_t priorityLevel = 0;
  int32_t startNodeIndex = -1;
  int32_t retargetRootIndex = -1;
  uint32_t blendMode = 0;  // 0 normal, 1 additive relative to the bind pose
  uint32_t playMode = 0;   // 0 forward, 1 backward
  uint8_t mix = 0;
  uint8_t playNow = 1;
  uint8_t noRepositioningAcrossLoops = 0;
  uint8_t retarget = 0;
  uint8_t freezeAtLastFrame = 0;
  uint8_t enableMotionEvents = 1;
};

// One playing of a motion on an actor instance: clock, loops, weight fades and the
// node-to-submotion links. Owned by the motion system (or its queue while waiting).
class MotionInstance {
 public:
  enum : uint16_t {
    FLAG_PAUSED = 0x0001,
    FLAG_STOPPING = 0x0002,
    FLAG_BLENDING = 0x0004,
    FLAG_MIX = 0x0008,
    FLAG_NOREPOSITIONLOOPS = 0x0010,
    FLAG_REMOVEUNDER = 0x0020,
    FLAG_DELETEONZEROWEIGHT = 0x0040,
    FLAG_RETARGET = 0x0080,
    FLAG_FREEZEATLASTFRAME = 0x0100,
    FLAG_ENABLEMOTIONEVENTS = 0x0200,
    FLAG_ACTIVE = 0x0400,
    FLAG_CREATED = 0x0800,
    FLAG_FROZEN = 0x1000,
  };
  enum : uint32_t { BLENDMODE_NORMAL = 0, BLENDMODE_ADDITIVE = 1 };
  enum : uint32_t { PLAYMODE_FORWARD = 0, PLAYMODE_BACKWARD = 1 };
  static constexpr uint32_t kLoopForever = 0xFFFFFFFFu;
  static constexpr uint16_t kNoLink = 0xFFFF;

  // One link per node of the actor instance's actor, each kNoLink.
  MotionInstance(Motion* motion, ActorInstance* actorInstance, int32_t startNodeIndex);
  MotionInstance(const MotionInstance&) = delete;
  MotionInstance& operator=(const MotionInstance&) = delete;
  // Tells the motion event handler first.
  ~MotionInstance();

  void SetPlayInfo(const sMotionPlayInfo& info);
  // Target clamped to [0, 1]; blendTime <= 0 sets it at once.
  void SetWeight(float targetWeight, float blendTime);
  void Stop(float fadeTime);
  void Stop() { Stop(mBlendOutTime); }
  void Pause();
  void Unpause();
  void SetActive(bool active);
  // Advances weight, clock and loops and fires the events passed; only when active.
  void Update(float timeDelta);
  bool HasEnded() const;

  // Grows the links to n, new entries kNoLink; shrinking only lowers the length.
  bool ResizeLinks(uint32_t n);
  uint16_t GetLink(uint32_t nodeIndex) const {
    return nodeIndex < mLinks.GetLength() ? mLinks[nodeIndex] : kNoLink;
  }
  AnimCore::Array<uint16_t>& GetLinks() { return mLinks; }
  // Empty unless set; byte b weighs b / 255.
  AnimCore::Array<uint8_t>& GetNodeWeights() { return mNodeWeights; }
  uint32_t GetNumNodeWeights() const { return mNodeWeights.GetLength(); }
  float GetNodeWeight(uint32_t nodeIndex) const {
    return nodeIndex < mNodeWeights.GetLength() ? mNodeWeights[nodeIndex] * 0.003921569f : 1.0f;
  }

  // Four entries a node (the key intervals its submotion's tracks were last sampled
  // in, -1 = none), grown to numNodes on demand; null when memory runs out.
  int32_t* GetKeyCache(uint32_t numNodes);

  float GetCurrentTime() const { return mCurrentTime; }
  void SetCurrentTime(float time) { mCurrentTime = time; }
  float GetPreviousTime() const { return mPreviousTime; }
  float GetTimeDelta() const { return mTimeDelta; }
  float GetWeight() const { return mWeight; }
  float GetTargetWeight() const { return mTargetWeight; }
  float GetWeightDelta() const { return mWeightDelta; }
  float GetBlendOutTime() const { return mBlendOutTime; }
  void SetBlendOutTime(float time) { mBlendOutTime = time; }
  float GetPlaySpeed() const { return mPlaySpeed; }
  void SetPlaySpeed(float speed) { mPlaySpeed = speed; }
  float GetTotalPlayTime() const { return mTotalPlayTime; }
  float GetMaxPlayTime() const { return mMaxPlayTime; }
  void SetMaxPlayTime(float time) { mMaxPlayTime = time; }
  float GetRetargetRootOffset() const { return mRetargetRootOffset; }
  uint32_t GetCurrentLoop() const { return mCurrentLoop; }
  uint32_t GetPreviousLoop() const { return mPreviousLoop; }
  uint32_t GetMaxLoops() const { return mMaxLoops; }
  uint32_t GetPriorityLevel() const { return mPriorityLevel; }
  int32_t GetStartNodeIndex() const { return mStartNodeIndex; }
  int32_t GetRetargetRootIndex() const { return mRetargetRootIndex; }
  uint32_t GetBlendMode() const { return mBlendMode; }
  uint32_t GetPlayMode() const { return mPlayMode; }
  Motion* GetMotion() const { return mMotion; }
  ActorInstance* GetActorInstance() const { return mActorInstance; }
  // Left to the game (its instance factor); 1.0 at creation.
  float GetInstanceFactor() const { return mInstanceFactor; }
  void SetInstanceFactor(float factor) { mInstanceFactor = factor; }

  uint16_t GetFlags() const { return mFlags; }
  bool HasFlag(uint16_t flag) const { return (mFlags & flag) != 0; }
  void SetFlag(uint16_t flag, bool on) {
    mFlags = on ? static_cast<uint16_t>(mFlags | flag) : static_cast<uint16_t>(mFlags & ~flag);
  }
  bool IsPaused() const { return HasFlag(FLAG_PAUSED); }
  bool IsActive() const { return HasFlag(FLAG_ACTIVE); }
  bool IsBlending() const { return HasFlag(FLAG_BLENDING); }
  bool IsStopping() const { return HasFlag(FLAG_STOPPING); }
  bool IsMixing() const { return HasFlag(FLAG_MIX); }
  bool GetRetargeting() const { return HasFlag(FLAG_RETARGET); }

 private:
  void AdvanceTime(float timeDelta);
  void FireEvents();

  float mInstanceFactor = 1.0f;
  AnimCore::Array<uint16_t> mLinks;
  AnimCore::Array<uint8_t> mNodeWeights;
  AnimCore::Array<int32_t> mKeyCache;
  float mCurrentTime = 0.0f;
  float mTimeDelta = 0.0f;
  float mBlendOutTime = 0.3f;
  float mPlaySpeed = 1.0f;
  float mTargetWeight = 1.0f;
  float mWeight = 0.0f;
  float mWeightDelta = 0.0f;
  float mPreviousTime = 0.0f;
  float mTotalPlayTime = 0.0f;
  float mMaxPlayTime = 0.0f;
  float mRetargetRootOffset = 0.0f;
  float mEventWeightThreshold = 0.0f;
  uint32_t mCurrentLoop = 0;
  uint32_t mMaxLoops = kLoopForever;
  uint32_t mPreviousLoop = 0;
  uint32_t mPriorityLevel = 0;
  int32_t mStartNodeIndex;
  int32_t mRetargetRootIndex = -1;
  Motion* mMotion;
  ActorInstance* mActorInstance;
  uint32_t mBlendMode = BLENDMODE_NORMAL;
  uint16_t mFlags = 0x0E60;
  uint32_t mPlayMode = PLAYMODE_FORWARD;
};

}  // namespace Anim
