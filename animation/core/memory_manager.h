#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace AnimCore {

// Memory categories of the core layer. The rest of the library registers 100 and up.
enum : uint32_t {
  MEMCATEGORY_UNKNOWN = 0,
  MEMCATEGORY_ARRAY = 1,
  MEMCATEGORY_STRING = 2,
  MEMCATEGORY_DISKFILE = 3,
  MEMCATEGORY_MEMORYFILE = 4,
  MEMCATEGORY_NMATRIX = 5,
  MEMCATEGORY_POINTER = 6,
  MEMCATEGORY_HASHTABLE = 7,
  MEMCATEGORY_TRIANGLELISTOPTIMIZER = 8,
  MEMCATEGORY_EXCEPTION = 9,
  MEMCATEGORY_LOGMANAGER = 10,
  MEMCATEGORY_COMMANDLINE = 11,
  MEMCATEGORY_TIMER = 12,
  MEMCATEGORY_PAIR = 13,
  MEMCATEGORY_LOGFILECALLBACK = 14,
  MEMCATEGORY_HALTONSEQUENCE = 15,
  MEMCATEGORY_MISC = 99,
};

// Block ids passed along with a request; only a custom allocator looks at them.
enum : uint32_t {
  MEMBLOCK_PLAIN = 0,
  MEMBLOCK_STRING = 1,
  MEMBLOCK_ARRAY = 2,
};

struct CategoryStats {
  uint32_t reserved = 0;  // not shown in the statistics table
  uint32_t numAllocs = 0;
  uint32_t numBytes = 0;
  uint32_t avgAllocSize = 0;
};

// Where the manager gets its memory from. The base keeps the live-block count;
// an implementation that wants HasAllocations to work keeps it up to date.
class MemoryAllocator {
 public:
  MemoryAllocator() = default;
  MemoryAllocator(const MemoryAllocator&) = delete;
  MemoryAllocator& operator=(const MemoryAllocator&) = delete;
  virtual ~MemoryAllocator() = default;

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  virtual void* Allocate(uint32_t numBytes, uint32_t categoryID, uint32_t alignment,
                         uint32_t blockID) = 0;
  virtual void* Realloc(void* block, uint32_t numBytes, uint32_t categoryID, uint32_t alignment,
                        uint32_t blockID) = 0;
  virtual void Free(void* block) = 0;
  virtual void GetCategoryStats(CategoryStats& stats, uint32_t categoryID) const = 0;
  // Logs the leak line when blocks are live and report is set, the all-clear when none are.
  virtual void LogLeaks(bool report) const;
  // Logs the per-category table of the registered categories.
  virtual void LogStatistics(bool includeEmptyCategories) const;
  virtual bool HasAllocations() const { return mNumAllocations > 0; }

  uint32_t GetNumAllocations() const { return mNumAllocations; }

 protected:
  uint32_t mNumAllocations = 0;
};

// The runtime heap, counting live blocks.
class MemoryAllocatorStandard final : public MemoryAllocator {
 public:
  ~MemoryAllocatorStandard() override;

  uint32_t GetType() const override { return 1; }
  const char* GetTypeString() const override { return "MemoryAllocatorStandard"; }
  void* Allocate(uint32_t numBytes, uint32_t categoryID, uint32_t alignment,
                 uint32_t blockID) override;
  void* Realloc(void* block, uint32_t numBytes, uint32_t categoryID, uint32_t alignment,
                uint32_t blockID) override;
  void Free(void* block) override;
  void GetCategoryStats(CategoryStats& stats, uint32_t categoryID) const override;
};

// The one manager all library memory flows through. Its state is global; these are
// the entry points. Nothing may be allocated before an allocator is installed: such
// a request gets null (and Free of it does nothing).
class MemoryManager {
 public:
  MemoryManager() = delete;

  // Installs allocator (the manager takes ownership), or a new standard allocator
  // when it is null, then registers the core categories. Refused (false) while the
  // installed allocator still has live blocks; a refused allocator stays the caller's.
  static bool SetMemoryAllocator(MemoryAllocator* allocator);
  static MemoryAllocator* GetMemoryAllocator();

  // The first name registered for an id wins.
  static void RegisterCategory(uint32_t id, const char* name);
  static uint32_t GetNumCategories();
  static uint32_t GetCategoryID(uint32_t index);
  static const char* GetCategoryName(uint32_t index);
  // Name of a registered id, or null.
  static const char* FindCategoryName(uint32_t id);

  static void* Allocate(uint32_t numBytes, uint32_t categoryID, uint32_t alignment = 4,
                        uint32_t blockID = MEMBLOCK_PLAIN);
  static void* Realloc(void* block, uint32_t numBytes, uint32_t categoryID,
                       uint32_t alignment = 4, uint32_t blockID = MEMBLOCK_PLAIN);
  static void Free(void* block);
};

// Start-up entry of the core layer. Takes ownership of allocator in every case;
// never fails.
bool SetMemoryAllocator(MemoryAllocator* allocator);

// Objects that want to be told when the core layer shuts down, lowest priority first.
class ShutdownObject {
 public:
  explicit ShutdownObject(uint32_t priority) : mPriority(priority) {}
  virtual ~ShutdownObject() = default;
  virtual void Shutdown() = 0;
  uint32_t GetPriority() const { return mPriority; }

 private:
  uint32_t mPriority;
};

// Hands an object (made with AnimCore::New) to the shutdown list, which owns it.
bool AddShutdownObject(ShutdownObject* object);
// Shuts down and frees every object on the shutdown list, ordered by priority
// (equal priorities in the order they were added), and empties the list.
void Shutdown();

// Constructs a T in a block of the manager. Null when the manager has no memory.
template <class T, class... Args>
T* New(uint32_t categoryID, Args&&... args) {
  static_assert(alignof(T) <= 16, "the standard allocator aligns to 16 bytes at most");
  void* block = MemoryManager::Allocate(static_cast<uint32_t>(sizeof(T)), categoryID,
                                        alignof(T) > 4 ? alignof(T) : 4, MEMBLOCK_PLAIN);
  if (block == nullptr) return nullptr;
  return ::new (block) T(std::forward<Args>(args)...);
}

// Destroys an object made with New (through its virtual destructor) and returns its block.
template <class T>
void Delete(T* object) {
  if (object == nullptr) return;
  void* block;
  if constexpr (std::is_polymorphic_v<T>) {
    block = dynamic_cast<void*>(object);
  } else {
    block = object;
  }
  object->~T();
  MemoryManager::Free(block);
}

}  // namespace AnimCore
