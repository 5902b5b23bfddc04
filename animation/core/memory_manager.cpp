#include "animation/core/memory_manager.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "animation/core/array.h"
#include "animation/core/core_globals.h"
#include "animation/core/log.h"
#include "animation/core/string.h"

namespace AnimCore {
namespace {

struct CoreCategory {
  uint32_t id;
  const char* name;
};

// Registered in this order by SetMemoryAllocator.
constexpr CoreCategory kCoreCategories[] = {
    {MEMCATEGORY_UNKNOWN, "Unknown"},
    {MEMCATEGORY_STRING, "AnimCore::String"},
    {MEMCATEGORY_ARRAY, "AnimCore::Array"},
    {MEMCATEGORY_DISKFILE, "AnimCore::DiskFile"},
    {MEMCATEGORY_MEMORYFILE, "AnimCore::MemoryFile"},
    {MEMCATEGORY_NMATRIX, "AnimCore::NMatrix"},
    {MEMCATEGORY_POINTER, "AnimCore::Pointer"},
    {MEMCATEGORY_HASHTABLE, "AnimCore::HashTable"},
    {MEMCATEGORY_TRIANGLELISTOPTIMIZER, "AnimCore::TriangleListOptimizer"},
    {MEMCATEGORY_EXCEPTION, "AnimCore::Exception"},
    {MEMCATEGORY_LOGMANAGER, "AnimCore::LogManager"},
    {MEMCATEGORY_COMMANDLINE, "AnimCore::CommandLine"},
    {MEMCATEGORY_TIMER, "AnimCore::Timer"},
    {MEMCATEGORY_PAIR, "AnimCore::Pair"},
    {MEMCATEGORY_LOGFILECALLBACK, "AnimCore::LogFileCallback"},
    {MEMCATEGORY_HALTONSEQUENCE, "AnimCore::Random::HaltonSequence"},
    {MEMCATEGORY_MISC, "AnimCore - Misc allocations"},
};

constexpr const char* kLeakLine = "******* THERE ARE %d MEMORY LEAKS *******";

void RegisterCoreCategories() {
  for (const CoreCategory& category : kCoreCategories) {
    MemoryManager::RegisterCategory(category.id, category.name);
  }
}

// Columns of the statistics table.
constexpr uint32_t kColumnCount = 38;
constexpr uint32_t kColumnBytes = 50;
constexpr uint32_t kColumnKilobytes = 60;
constexpr uint32_t kColumnAverage = 72;
constexpr uint32_t kRuleWidth = 90;

void AppendNumber(String& line, uint32_t column, int value) {
  char number[16];
  std::snprintf(number, sizeof(number), "%d", value);
  line.PadRight(column, ' ');
  line.Append(number);
}

void LogRule() {
  String rule;
  rule.PadRight(kRuleWidth, '-');
  Log("%s", rule.AsChar());
}

}  // namespace

// --- MemoryAllocator ------------------------------------------------------------

void MemoryAllocator::LogLeaks(bool report) const {
  if (mNumAllocations == 0) {
    Log("There are no memory leaks!");
  } else if (report) {
    Log(kLeakLine, static_cast<int>(mNumAllocations));
  }
}

void MemoryAllocator::LogStatistics(bool includeEmptyCategories) const {
  LogRule();
  String line("CATEGORY NAME");
  line.PadRight(kColumnCount, ' ').Append("NUM ALLOCS");
  line.PadRight(kColumnBytes, ' ').Append("BYTES");
  line.PadRight(kColumnKilobytes, ' ').Append("KILOBYTES");
  line.PadRight(kColumnAverage, ' ').Append("AVG ALLOC SIZE");
  Log("%s", line.AsChar());
  LogRule();

  uint32_t totalAllocs = 0;
  uint32_t totalBytes = 0;
  uint32_t totalAverages = 0;
  uint32_t numPrinted = 0;
  const uint32_t numCategories = MemoryManager::GetNumCategories();
  for (uint32_t i = 0; i < numCategories; ++i) {
    CategoryStats stats;
    GetCategoryStats(stats, MemoryManager::GetCategoryID(i));
    if (stats.numAllocs == 0 && !includeEmptyCategories) continue;
    line = MemoryManager::GetCategoryName(i);
    AppendNumber(line, kColumnCount, static_cast<int>(stats.numAllocs));
    AppendNumber(line, kColumnBytes, static_cast<int>(stats.numBytes));
    AppendNumber(line, kColumnKilobytes, static_cast<int>(stats.numBytes / 1024));
    AppendNumber(line, kColumnAverage, static_cast<int>(stats.avgAllocSize));
    Log("%s", line.AsChar());
    totalAllocs += stats.numAllocs;
    totalBytes += stats.numBytes;
    totalAverages += stats.avgAllocSize;
    ++numPrinted;
  }

  LogRule();
  line = "TOTAL";
  AppendNumber(line, kColumnCount, static_cast<int>(totalAllocs));
  AppendNumber(line, kColumnBytes, static_cast<int>(totalBytes));
  AppendNumber(line, kColumnKilobytes, static_cast<int>(totalBytes / 1024));
  AppendNumber(line, kColumnAverage,
               numPrinted > 0 ? static_cast<int>(totalAverages / numPrinted) : 0);
  Log("%s", line.AsChar());
  LogRule();
}

// --- MemoryAllocatorStandard ----------------------------------------------------

MemoryAllocatorStandard::~MemoryAllocatorStandard() {
  if (HasAllocations()) Log(kLeakLine, static_cast<int>(mNumAllocations));
}

void* MemoryAllocatorStandard::Allocate(uint32_t numBytes, uint32_t, uint32_t, uint32_t) {
  // A zero-byte request still gets a live block of its own.
  void* block = std::malloc(numBytes != 0 ? numBytes : 1);
  if (block != nullptr) ++mNumAllocations;
  return block;
}

void* MemoryAllocatorStandard::Realloc(void* block, uint32_t numBytes, uint32_t, uint32_t,
                                       uint32_t) {
  // realloc to zero bytes would free the block behind the count's back.
  void* result = std::realloc(block, numBytes != 0 ? numBytes : 1);
  if (block == nullptr && result != nullptr) ++mNumAllocations;
  return result;
}

void MemoryAllocatorStandard::Free(void* block) {
  if (block == nullptr) return;
  --mNumAllocations;
  std::free(block);
}

void MemoryAllocatorStandard::GetCategoryStats(CategoryStats& stats, uint32_t) const {
  stats = CategoryStats{};
}

// --- MemoryManager --------------------------------------------------------------

bool MemoryManager::SetMemoryAllocator(MemoryAllocator* allocator) {
  detail::MemoryManagerState& state = detail::GetMemoryManagerState();
  const bool createdHere = allocator == nullptr;
  if (createdHere) allocator = new MemoryAllocatorStandard();

  bool installed = false;
  if (state.allocator != nullptr && state.allocator != allocator &&
      state.allocator->HasAllocations()) {
    Log("MemoryManager::SetMemoryAllocator - Cannot change memory allocator as the current "
        "allocator still has allocations that haven't been deleted!");
    if (createdHere) delete allocator;
  } else {
    if (state.allocator != allocator) delete state.allocator;
    state.allocator = allocator;
    installed = true;
  }
  RegisterCoreCategories();
  return installed;
}

MemoryAllocator* MemoryManager::GetMemoryAllocator() {
  return detail::GetMemoryManagerState().allocator;
}

void MemoryManager::RegisterCategory(uint32_t id, const char* name) {
  detail::MemoryManagerState& state = detail::GetMemoryManagerState();
  if (name == nullptr) return;
  for (uint32_t i = 0; i < state.numCategories; ++i) {
    if (state.categories[i].id == id && state.categories[i].name != nullptr) return;
  }
  const size_t nameLength = std::strlen(name);
  char* copy = static_cast<char*>(std::malloc(nameLength + 1));
  if (copy == nullptr) return;
  auto* records = static_cast<detail::CategoryRecord*>(std::realloc(
      state.categories, sizeof(detail::CategoryRecord) * (size_t{state.numCategories} + 1)));
  if (records == nullptr) {
    std::free(copy);
    return;
  }
  std::memcpy(copy, name, nameLength + 1);
  state.categories = records;
  state.categories[state.numCategories] = {id, copy};
  ++state.numCategories;
}

uint32_t MemoryManager::GetNumCategories() {
  return detail::GetMemoryManagerState().numCategories;
}

uint32_t MemoryManager::GetCategoryID(uint32_t index) {
  const detail::MemoryManagerState& state = detail::GetMemoryManagerState();
  return index < state.numCategories ? state.categories[index].id : 0;
}

const char* MemoryManager::GetCategoryName(uint32_t index) {
  const detail::MemoryManagerState& state = detail::GetMemoryManagerState();
  return index < state.numCategories ? state.categories[index].name : nullptr;
}

const char* MemoryManager::FindCategoryName(uint32_t id) {
  const detail::MemoryManagerState& state = detail::GetMemoryManagerState();
  for (uint32_t i = 0; i < state.numCategories; ++i) {
    if (state.categories[i].id == id) return state.categories[i].name;
  }
  return nullptr;
}

void* MemoryManager::Allocate(uint32_t numBytes, uint32_t categoryID, uint32_t alignment,
                              uint32_t blockID) {
  MemoryAllocator* allocator = detail::GetMemoryManagerState().allocator;
  if (allocator == nullptr) return nullptr;
  return allocator->Allocate(numBytes, categoryID, alignment, blockID);
}

void* MemoryManager::Realloc(void* block, uint32_t numBytes, uint32_t categoryID,
                             uint32_t alignment, uint32_t blockID) {
  MemoryAllocator* allocator = detail::GetMemoryManagerState().allocator;
  if (allocator == nullptr) return nullptr;
  return allocator->Realloc(block, numBytes, categoryID, alignment, blockID);
}

void MemoryManager::Free(void* block) {
  MemoryAllocator* allocator = detail::GetMemoryManagerState().allocator;
  if (block == nullptr || allocator == nullptr) return;
  allocator->Free(block);
}

bool SetMemoryAllocator(MemoryAllocator* allocator) {
  if (!MemoryManager::SetMemoryAllocator(allocator)) delete allocator;
  return true;
}

// --- Shutdown list --------------------------------------------------------------

namespace {
Array<ShutdownObject*>& GetShutdownList() {
  static Array<ShutdownObject*> list;
  return list;
}
}  // namespace

bool AddShutdownObject(ShutdownObject* object) {
  return object != nullptr && GetShutdownList().Add(object);
}

void Shutdown() {
  Array<ShutdownObject*>& list = GetShutdownList();
  // Stable, so equal priorities keep the order they were added in.
  for (uint32_t i = 1; i < list.GetLength(); ++i) {
    ShutdownObject* object = list[i];
    uint32_t j = i;
    for (; j > 0 && list[j - 1]->GetPriority() > object->GetPriority(); --j) list[j] = list[j - 1];
    list[j] = object;
  }
  for (ShutdownObject* object : list) object->Shutdown();
  list.ClearAndDelete();
}

}  // namespace AnimCore
