#include "animation/core/core_globals.h"

#include <cstdlib>

namespace AnimCore::detail {

MemoryManagerState::~MemoryManagerState() {
  for (uint32_t i = 0; i < numCategories; ++i) std::free(categories[i].name);
  std::free(categories);
  categories = nullptr;
  numCategories = 0;
  // The allocator reports leaks as it goes; later frees find no allocator.
  MemoryAllocator* old = allocator;
  allocator = nullptr;
  delete old;
}

namespace {
// Outlives the log state it describes (no destructor of its own).
constinit bool gLogManagerAlive = true;
}  // namespace

LogManagerState::~LogManagerState() {
  callbacks.ClearAndDelete();
  gLogManagerAlive = false;
}

namespace {
// Declared in this order on purpose: the log is destroyed first (its receivers go
// back to the manager), then the manager, whose allocator may still report leaks.
constinit MemoryManagerState gMemoryManager;
constinit LogManagerState gLogManager;
}  // namespace

MemoryManagerState& GetMemoryManagerState() { return gMemoryManager; }

LogManagerState* GetLogManagerState() { return gLogManagerAlive ? &gLogManager : nullptr; }

}  // namespace AnimCore::detail
