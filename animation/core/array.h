#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "animation/core/memory_manager.h"

namespace AnimCore {

// Dynamic array whose storage comes from the memory manager under the array's own
// category. Add and Insert grow to exactly one spare slot; Resize and copies grow to
// exactly the length asked for. A failed allocation leaves the array unchanged and
// the call returns false.
template <class T>
class Array {
 public:
  constexpr Array() = default;
  explicit constexpr Array(uint32_t memCategory) : mMemCategory(memCategory) {}
  Array(const Array& other) : mMemCategory(other.mMemCategory) { CopyFrom(other); }
  Array(Array&& other) noexcept
      : mData(std::exchange(other.mData, nullptr)),
        mLength(std::exchange(other.mLength, 0u)),
        mMaxLength(std::exchange(other.mMaxLength, 0u)),
        mMemCategory(other.mMemCategory) {}
  Array& operator=(const Array& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  Array& operator=(Array&& other) noexcept {
    if (this != &other) {
      Clear();
      mData = std::exchange(other.mData, nullptr);
      mLength = std::exchange(other.mLength, 0u);
      mMaxLength = std::exchange(other.mMaxLength, 0u);
      mMemCategory = other.mMemCategory;
    }
    return *this;
  }
  ~Array() { Clear(); }

  uint32_t GetLength() const { return mLength; }
  uint32_t GetMaxLength() const { return mMaxLength; }
  bool IsEmpty() const { return mLength == 0; }
  uint32_t GetMemoryCategory() const { return mMemCategory; }
  void SetMemoryCategory(uint32_t memCategory) { mMemCategory = memCategory; }

  T* GetPtr() { return mData; }
  const T* GetPtr() const { return mData; }
  T* begin() { return mData; }
  T* end() { return mData + mLength; }
  const T* begin() const { return mData; }
  const T* end() const { return mData + mLength; }

  // Unchecked in release builds, as every hot loop of the library indexes arrays.
  T& operator[](uint32_t index) {
    assert(index < mLength);
    return mData[index];
  }
  const T& operator[](uint32_t index) const {
    assert(index < mLength);
    return mData[index];
  }
  T& GetLast() {
    assert(mLength > 0);
    return mData[mLength - 1];
  }

  bool Add(const T& element) { return Insert(mLength, element); }

  // Inserts before index (index == length appends); later elements move up, order kept.
  bool Insert(uint32_t index, const T& element) {
    if (index > mLength || mLength == std::numeric_limits<uint32_t>::max()) return false;
    const uint32_t newLength = mLength + 1;
    if (mMaxLength < newLength) {
      if (newLength == std::numeric_limits<uint32_t>::max()) return false;
      if constexpr (std::is_trivially_copyable_v<T>) {
        const T copy(element);  // element may live in the storage about to move
        if (!Reallocate(newLength + 1)) return false;
        std::memmove(static_cast<void*>(mData + index + 1), mData + index,
                     sizeof(T) * (mLength - index));
        ::new (mData + index) T(copy);
      } else {
        // Build the new element while element (maybe in the old storage) is valid.
        T* storage = AllocateStorage(newLength + 1);
        if (storage == nullptr) return false;
        ::new (storage + index) T(element);
        Relocate(mData, index, storage);
        Relocate(mData + index, mLength - index, storage + index + 1);
        ReleaseStorage(mData);
        mData = storage;
        mMaxLength = newLength + 1;
      }
      mLength = newLength;
      return true;
    }
    if (index == mLength) {
      ::new (mData + mLength) T(element);
    } else {
      T copy(element);  // element may be one of the slots about to move
      ::new (mData + mLength) T(std::move(mData[mLength - 1]));
      for (uint32_t i = mLength - 1; i > index; --i) mData[i] = std::move(mData[i - 1]);
      mData[index] = std::move(copy);
    }
    mLength = newLength;
    return true;
  }

  // Removes one element; later elements move down, order kept. Out of range does nothing.
  void Remove(uint32_t index) {
    if (index >= mLength) return;
    for (uint32_t i = index; i + 1 < mLength; ++i) mData[i] = std::move(mData[i + 1]);
    --mLength;
    mData[mLength].~T();
  }

  // Removes the first element equal to value; false when there is none.
  bool RemoveByValue(const T& value) {
    const int32_t index = Find(value);
    if (index < 0) return false;
    Remove(static_cast<uint32_t>(index));
    return true;
  }

  // Index of the first element equal to value, or -1.
  int32_t Find(const T& value) const {
    for (uint32_t i = 0; i < mLength; ++i) {
      if (mData[i] == value) return static_cast<int32_t>(i);
    }
    return -1;
  }

  // New elements are value-initialised (null pointers, zeros); dropped ones destroyed.
  bool Resize(uint32_t newLength) {
    if (newLength > mMaxLength && !Reallocate(newLength)) return false;
    for (uint32_t i = mLength; i < newLength; ++i) ::new (mData + i) T();
    for (uint32_t i = newLength; i < mLength; ++i) mData[i].~T();
    mLength = newLength;
    return true;
  }

  // Makes room for at least numElements without changing the length.
  bool Reserve(uint32_t numElements) {
    return numElements <= mMaxLength || Reallocate(numElements);
  }

  void Swap(uint32_t a, uint32_t b) {
    assert(a < mLength && b < mLength);
    std::swap(mData[a], mData[b]);
  }

  // Destroys every element and frees the storage.
  void Clear() {
    for (uint32_t i = 0; i < mLength; ++i) mData[i].~T();
    ReleaseStorage(mData);
    mData = nullptr;
    mLength = 0;
    mMaxLength = 0;
  }

  // For arrays of owned pointers made with AnimCore::New: deletes every non-null
  // element through its virtual destructor, then clears.
  void ClearAndDelete()
    requires std::is_pointer_v<T>
  {
    for (uint32_t i = 0; i < mLength; ++i) Delete(mData[i]);
    Clear();
  }

 private:
  T* AllocateStorage(uint32_t numElements) const {
    const uint64_t bytes = uint64_t{numElements} * sizeof(T);
    if (bytes > std::numeric_limits<uint32_t>::max()) return nullptr;
    return static_cast<T*>(MemoryManager::Allocate(static_cast<uint32_t>(bytes), mMemCategory,
                                                   alignof(T) > 4 ? alignof(T) : 4,
                                                   MEMBLOCK_ARRAY));
  }

  static void ReleaseStorage(T* storage) { MemoryManager::Free(storage); }

  // Moves count elements from src into raw storage at dst and ends the old ones.
  static void Relocate(T* src, uint32_t count, T* dst) {
    if constexpr (std::is_trivially_copyable_v<T>) {
      if (count > 0) std::memcpy(static_cast<void*>(dst), src, sizeof(T) * count);
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        ::new (dst + i) T(std::move(src[i]));
        src[i].~T();
      }
    }
  }

  // Storage for exactly numElements (numElements >= length).
  bool Reallocate(uint32_t numElements) {
    assert(numElements >= mLength);
    if constexpr (std::is_trivially_copyable_v<T>) {
      const uint64_t bytes = uint64_t{numElements} * sizeof(T);
      if (bytes > std::numeric_limits<uint32_t>::max()) return false;
      void* storage = MemoryManager::Realloc(mData, static_cast<uint32_t>(bytes), mMemCategory,
                                             alignof(T) > 4 ? alignof(T) : 4, MEMBLOCK_ARRAY);
      if (storage == nullptr) return false;
      mData = static_cast<T*>(storage);
    } else {
      T* storage = AllocateStorage(numElements);
      if (storage == nullptr) return false;
      Relocate(mData, mLength, storage);
      ReleaseStorage(mData);
      mData = storage;
    }
    mMaxLength = numElements;
    return true;
  }

  // A failed allocation leaves the array empty.
  void CopyFrom(const Array& other) {
    for (uint32_t i = 0; i < mLength; ++i) mData[i].~T();
    mLength = 0;
    if (other.mLength > mMaxLength && !Reallocate(other.mLength)) return;
    for (uint32_t i = 0; i < other.mLength; ++i) ::new (mData + i) T(other.mData[i]);
    mLength = other.mLength;
  }

  T* mData = nullptr;
  uint32_t mLength = 0;
  uint32_t mMaxLength = 0;
  uint32_t mMemCategory = MEMCATEGORY_ARRAY;
};

}  // namespace AnimCore
