#pragma once

#include <cstdint>

#include "animation/core/string.h"

namespace Anim {

class ActorManager;
class EventManager;
class IDGenerator;
class Importer;
class LODGenerator;

// The library's one global object: owns its singletons. Reached through
// GetAnimManager between Initialize and Shutdown.
class AnimManager {
 public:
  AnimManager();
  AnimManager(const AnimManager&) = delete;
  AnimManager& operator=(const AnimManager&) = delete;
  ~AnimManager();

  const AnimCore::String& GetVersionString() const { return mVersionString; }
  const AnimCore::String& GetCompilationDate() const { return mCompilationDate; }
  uint32_t GetHighVersion() const { return mHighVersion; }
  uint32_t GetLowVersion() const { return mLowVersion; }
  // The low version as printed: hundredths without leading zeros, point or
  // trailing zeros (10 gives "1").
  AnimCore::String GetLowVersionText() const;

  Importer* GetImporter() const { return mImporter; }
  ActorManager* GetActorManager() const { return mActorManager; }
  IDGenerator* GetIDGenerator() const { return mIDGenerator; }
  LODGenerator* GetLODGenerator() const { return mLODGenerator; }
  EventManager* GetEventManager() const { return mEventManager; }

  // Creates the singletons; false when any of them cannot be allocated.
  bool CreateSingletons();
  void LogInfo() const;

 private:
  AnimCore::String mVersionString;
  AnimCore::String mCompilationDate;
  uint32_t mHighVersion = 3;
  uint32_t mLowVersion = 10;
  Importer* mImporter = nullptr;
  ActorManager* mActorManager = nullptr;
  IDGenerator* mIDGenerator = nullptr;
  LODGenerator* mLODGenerator = nullptr;
  EventManager* mEventManager = nullptr;
  void* mPlaceholder = nullptr;
};

// Starts the library: the manager, its memory categories and singletons, and the
// information block in the library log. The core layer's memory manager must be
// set up first. A second call does nothing and returns true. False when memory
// runs out; nothing is left started then.
bool Initialize();
// Destroys the manager; harmless when nothing is started.
void Shutdown();
// Null before Initialize and after Shutdown.
AnimManager* GetAnimManager();

// Shortcuts to the singletons; null when the library is not started.
Importer* GetImporter();
ActorManager* GetActorManager();
EventManager* GetEventManager();

}  // namespace Anim
