#pragma once

#include <cstdint>

namespace Anim {

class Actor;
class ActorInstance;
class Motion;
class MotionInstance;
struct sMotionPlayInfo;

// Receives the motion events of playing motions and the life events of motions and
// motion instances. The event manager holds one; the game installs its own.
class MotionEventHandler {
 public:
  MotionEventHandler() = default;
  MotionEventHandler(const MotionEventHandler&) = delete;
  MotionEventHandler& operator=(const MotionEventHandler&) = delete;
  virtual ~MotionEventHandler() = default;

  // An event of a motion fired. The default logs it.
  virtual void OnEvent(float time, uint32_t eventTypeID, const char* parameters,
                       ActorInstance* actorInstance, MotionInstance* motionInstance);
  virtual void OnPlayMotion(Motion* /*motion*/, const sMotionPlayInfo* /*playInfo*/) {}
  virtual void OnStartMotion(MotionInstance* /*instance*/, const sMotionPlayInfo* /*playInfo*/) {}
  virtual void OnDeleteMotionInstance(MotionInstance* /*instance*/) {}
  virtual void OnDeleteMotion(Motion* /*motion*/) {}
  virtual void OnStop(MotionInstance* /*instance*/) {}
  virtual void OnHasLooped(MotionInstance* /*instance*/) {}
  virtual void OnHasReachedMaxNumLoops(MotionInstance* /*instance*/) {}
  virtual void OnHasReachedMaxPlayTime(MotionInstance* /*instance*/) {}
  virtual void OnIsFrozenAtLastFrame(MotionInstance* /*instance*/) {}
  virtual void OnChangedPauseState(MotionInstance* /*instance*/) {}
  virtual void OnChangedActiveState(MotionInstance* /*instance*/) {}
  virtual void OnStartBlending(MotionInstance* /*instance*/) {}
  virtual void OnStopBlending(MotionInstance* /*instance*/) {}
  virtual void OnQueueMotionInstance(MotionInstance* /*instance*/,
                                     const sMotionPlayInfo* /*playInfo*/) {}
  virtual void OnDeleteActor(Actor* /*actor*/) {}
  virtual void OnDeleteActorInstance(ActorInstance* /*actorInstance*/) {}

 protected:
  // The default event line, with the names of the actor and the motion ("" when
  // there is none).
  static void LogEvent(float time, uint32_t eventTypeID, const char* parameters,
                       const char* actorName, const char* motionName);
};

// The installed handler, or null when the library is not started.
MotionEventHandler* GetMotionEventHandler();

}  // namespace Anim
