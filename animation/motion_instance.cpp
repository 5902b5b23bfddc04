#include "animation/motion_instance.h"

#include <cmath>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_event_handler.h"

namespace Anim {

namespace {

// Wraps t into [0, maxTime]; a motion without length stays at 0 rather than giving
// NaN or never leaving the loop.
float WrapTime(float t, float maxTime) {
  if (!(maxTime > 0.0f)) return 0.0f;
  t = std::fmod(t, maxTime);
  if (t < 0.0f) t += maxTime;
  return t;
}

}  // namespace

MotionInstance::MotionInstance(Motion* motion, ActorInstance* actorInstance,
                               int32_t startNodeIndex)
    : mLinks(MEMCATEGORY_MOTIONLINK),
      mNodeWeights(MEMCATEGORY_MOTIONINSTANCE),
      mKeyCache(MEMCATEGORY_MOTIONINSTANCE),
      mStartNodeIndex(startNodeIndex),
      mMotion(motion),
      mActorInstance(actorInstance) {
  if (actorInstance != nullptr) ResizeLinks(actorInstance->GetActor()->GetNumNodes());
}

MotionInstance::~MotionInstance() {
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnDeleteMotionInstance(this);
  }
}

bool MotionInstance::ResizeLinks(uint32_t n) {
  const uint32_t oldLength = mLinks.GetLength();
  if (n > mLinks.GetMaxLength() && !mLinks.Reserve(n)) return false;
  if (!mLinks.Resize(n)) return false;
  for (uint32_t i = oldLength; i < n; ++i) mLinks[i] = kNoLink;
  return true;
}

int32_t* MotionInstance::GetKeyCache(uint32_t numNodes) {
  if (numNodes > UINT32_MAX / 4) return nullptr;
  const uint32_t oldLength = mKeyCache.GetLength();
  if (oldLength < 4 * numNodes) {
    if (!mKeyCache.Resize(4 * numNodes)) return nullptr;
    for (uint32_t i = oldLength; i < 4 * numNodes; ++i) mKeyCache[i] = -1;
  }
  return mKeyCache.GetPtr();
}

void MotionInstance::SetPlayInfo(const sMotionPlayInfo& info) {
  mBlendOutTime = info.blendOutTime;
  SetFlag(FLAG_MIX, info.mix != 0);
  mMaxLoops = info.numLoops;
  mBlendMode = info.blendMode;
  mPlaySpeed = info.playSpeed;
  mPriorityLevel = info.priorityLevel;
  mPlayMode = info.playMode;
  SetFlag(FLAG_RETARGET, info.retarget != 0);
  SetFlag(FLAG_NOREPOSITIONLOOPS, info.noRepositioningAcrossLoops != 0);
  SetFlag(FLAG_FREEZEATLASTFRAME, info.freezeAtLastFrame != 0);
  SetFlag(FLAG_ENABLEMOTIONEVENTS, info.enableMotionEvents != 0);
  mMaxPlayTime = info.maxPlayTime;
  mRetargetRootIndex = info.retargetRootIndex;
  mRetargetRootOffset = info.retargetRootOffset;
  mEventWeightThreshold = info.eventWeightThreshold;
  SetWeight(info.targetWeight, info.blendInTime);
  if (mPlayMode == PLAYMODE_BACKWARD && mMotion != nullptr) {
    mCurrentTime = mMotion->GetMaxTime();
    mPreviousTime = mCurrentTime;
  }
}

void MotionInstance::SetWeight(float targetWeight, float blendTime) {
  if (!(targetWeight > 0.0f)) targetWeight = 0.0f;
  if (targetWeight > 1.0f) targetWeight = 1.0f;
  mTargetWeight = targetWeight;
  MotionEventHandler* handler = GetMotionEventHandler();
  if (!(blendTime > 0.0f)) {
    mWeight = targetWeight;
    mWeightDelta = 0.0f;
    if (IsBlending()) {
      SetFlag(FLAG_BLENDING, false);
      if (handler != nullptr) handler->OnStopBlending(this);
    }
    return;
  }
  mWeightDelta = (targetWeight - mWeight) / blendTime;
  if (!IsBlending()) {
    SetFlag(FLAG_BLENDING, true);
    if (handler != nullptr) handler->OnStartBlending(this);
  }
}

void MotionInstance::Stop(float fadeTime) {
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnStop(this);
  }
  mBlendOutTime = fadeTime;
  SetWeight(0.0f, fadeTime);
  if (fadeTime > 0.0f) SetFlag(FLAG_STOPPING, true);
}

void MotionInstance::Pause() {
  if (IsPaused()) return;
  SetFlag(FLAG_PAUSED, true);
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnChangedPauseState(this);
  }
}

void MotionInstance::Unpause() {
  if (!IsPaused()) return;
  SetFlag(FLAG_PAUSED, false);
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnChangedPauseState(this);
  }
}

void MotionInstance::SetActive(bool active) {
  if (IsActive() == active) return;
  SetFlag(FLAG_ACTIVE, active);
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnChangedActiveState(this);
  }
}

bool MotionInstance::HasEnded() const {
  if (mMaxLoops != kLoopForever && mCurrentLoop >= mMaxLoops) return true;
  return mMaxPlayTime > 0.0f && mCurrentTime >= mMaxPlayTime;
}

void MotionInstance::Update(float timeDelta) {
  if (!IsActive()) return;
  mPreviousLoop = mCurrentLoop;
  mPreviousTime = mCurrentTime;

  if (IsBlending()) {
    mWeight += mWeightDelta * timeDelta;
    const bool reached = mWeightDelta > 0.0f ? mWeight >= mTargetWeight : mWeight <= mTargetWeight;
    if (reached) {
      mWeight = mTargetWeight;
      SetFlag(FLAG_BLENDING, false);
      if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
        handler->OnStopBlending(this);
      }
    }
  }

  if (IsPaused()) return;
  AdvanceTime(timeDelta);
  if (HasFlag(FLAG_ENABLEMOTIONEVENTS) && mCurrentTime != mPreviousTime &&
      mWeight >= mEventWeightThreshold) {
    FireEvents();
  }
}

void MotionInstance::AdvanceTime(float timeDelta) {
  const float maxTime = mMotion != nullptr ? mMotion->GetMaxTime() : 0.0f;
  const float d = timeDelta * mPlaySpeed;
  const bool forEver = mMaxLoops == kLoopForever;
  bool reachedEnd = false;
  float t;
  if (mPlayMode != PLAYMODE_BACKWARD) {
    t = mCurrentTime + d;
    mTimeDelta = d;
    mTotalPlayTime += std::fabs(timeDelta);
    if (forEver) {
      if (t > maxTime) ++mCurrentLoop;
      if (t > maxTime || t < 0.0f) t = WrapTime(t, maxTime);
    } else if (t > maxTime) {
      ++mCurrentLoop;
      if (mCurrentLoop < mMaxLoops) {
        SetFlag(FLAG_FROZEN, false);
        t = WrapTime(t, maxTime);
      } else if (HasFlag(FLAG_FREEZEATLASTFRAME)) {
        mCurrentLoop = mMaxLoops - 1;
        mTimeDelta = 0.0f;
        t = maxTime;
        reachedEnd = true;
      } else {
        t = WrapTime(t, maxTime);
      }
    }
  } else {
    t = mCurrentTime - d;
    mTimeDelta = -d;
    mTotalPlayTime += std::fabs(timeDelta);
    if (forEver) {
      if (t < 0.0f) {
        ++mCurrentLoop;
        t = maxTime + t;
      }
      // Mirrors back into range; 2*maxTime - t < t whenever t > maxTime, so this ends.
      while (t > maxTime) t = 2.0f * maxTime - t;
    } else if (t < 0.0f) {
      ++mCurrentLoop;
      if (mCurrentLoop < mMaxLoops) {
        SetFlag(FLAG_FROZEN, false);
        t = t + maxTime;
      } else if (HasFlag(FLAG_FREEZEATLASTFRAME)) {
        mCurrentLoop = mMaxLoops - 1;
        mTimeDelta = 0.0f;
        t = 0.0f;
        reachedEnd = true;
      } else {
        t = t + maxTime;
      }
    }
  }
  if (!(t >= 0.0f)) t = 0.0f;
  mCurrentTime = t;

  MotionEventHandler* handler = GetMotionEventHandler();
  if (reachedEnd && !HasFlag(FLAG_FROZEN)) {
    SetFlag(FLAG_FROZEN, true);
    if (handler != nullptr) handler->OnIsFrozenAtLastFrame(this);
  }
  if (mCurrentLoop != mPreviousLoop && handler != nullptr) handler->OnHasLooped(this);
}

void MotionInstance::FireEvents() {
  if (mMotion == nullptr) return;
  const MotionEventTable& table = mMotion->GetEventTable();
  const float maxTime = mMotion->GetMaxTime();
  float from = mPreviousTime;
  if (mCurrentLoop != mPreviousLoop) {
    if (mPlayMode != PLAYMODE_BACKWARD) {
      table.ProcessEvents(mPreviousTime, maxTime + 0.00001f, mActorInstance, this);
      from = 0.0f;
    } else {
      table.ProcessEvents(-0.00001f, mPreviousTime, mActorInstance, this);
      from = maxTime;
    }
  }
  if (!HasEnded()) table.ProcessEvents(from, mCurrentTime, mActorInstance, this);
}

}  // namespace Anim
