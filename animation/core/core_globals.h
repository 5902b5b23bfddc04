#pragma once

// Internal: the global state of the core layer, defined in one source file so that
// the order of destruction at process exit is fixed.

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"

namespace AnimCore::detail {

struct CategoryRecord {
  uint32_t id;
  char* name;
};

struct MemoryManagerState {
  MemoryAllocator* allocator = nullptr;
  // Kept on the general heap, not in the installed allocator: the manager's own
  // bookkeeping must neither block nor outlive a change of allocator.
  CategoryRecord* categories = nullptr;
  uint32_t numCategories = 0;

  constexpr MemoryManagerState() = default;
  ~MemoryManagerState();
};

struct LogManagerState {
  Array<LogCallback*> callbacks;

  constexpr LogManagerState() = default;
  ~LogManagerState();
};

MemoryManagerState& GetMemoryManagerState();
// Null once the log has been torn down at exit.
LogManagerState* GetLogManagerState();

}  // namespace AnimCore::detail
