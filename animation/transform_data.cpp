#include "animation/transform_data.h"

#include <cstring>
#include <limits>
#include <utility>

#include "animation/actor.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

// The five optional arrays in the block's order, with their ownership bits.
struct Slot {
  void** pointer;
  uint32_t bit;
  uint32_t elementSize;
};

template <class T>
void** AsSlot(T*& pointer) {
  return reinterpret_cast<void**>(&pointer);
}

void* Reallocate(void* block, uint32_t count, uint32_t elementSize) {
  const uint64_t bytes = uint64_t{count} * elementSize;
  if (bytes == 0 || bytes > std::numeric_limits<uint32_t>::max()) return nullptr;
  return AnimCore::MemoryManager::Realloc(block, static_cast<uint32_t>(bytes),
                                          MEMCATEGORY_TRANSFORMDATA, 16,
                                          AnimCore::MEMBLOCK_PLAIN);
}

}  // namespace

#define ANIM_TRANSFORMDATA_SLOTS                                                      \
  Slot slots[5] = {                                                                   \
      {AsSlot(mWorldMatrices), OWN_WORLDMATRICES, sizeof(AnimCore::Matrix)},          \
      {AsSlot(mLocalMatrices), OWN_LOCALMATRICES, sizeof(AnimCore::Matrix)},          \
      {AsSlot(mInverseBindMatrices), OWN_INVBINDMATRICES, sizeof(AnimCore::Matrix)},  \
      {AsSlot(mLocalTransforms), OWN_LOCALTRANSFORMS, sizeof(Transform)},             \
      {AsSlot(mBindTransforms), OWN_BINDTRANSFORMS, sizeof(Transform)},               \
  }

void TransformData::Release() {
  ANIM_TRANSFORMDATA_SLOTS;
  mNumNodes = 0;
  mMaxNumNodes = 0;
  for (Slot& slot : slots) {
    if ((mOwnershipFlags & slot.bit) != 0) {
      AnimCore::MemoryManager::Free(*slot.pointer);
      *slot.pointer = nullptr;
    }
  }
  AnimCore::MemoryManager::Free(std::exchange(mNodeFlags, nullptr));
}

bool TransformData::Reserve(uint32_t n) {
  if (mMaxNumNodes > n || n == mMaxNumNodes) return true;
  ANIM_TRANSFORMDATA_SLOTS;
  // Grow every array first, then commit, so that a failure changes nothing that
  // is visible: a grown block keeps its contents and is only larger.
  for (Slot& slot : slots) {
    if ((mOwnershipFlags & slot.bit) == 0) continue;
    void* grown = Reallocate(*slot.pointer, n, slot.elementSize);
    if (grown == nullptr) return false;
    *slot.pointer = grown;
  }
  void* flags = Reallocate(mNodeFlags, n, sizeof(uint32_t));
  if (flags == nullptr) return false;
  mNodeFlags = static_cast<uint32_t*>(flags);
  mMaxNumNodes = n;
  return true;
}

bool TransformData::AddNode() {
  if (mNumNodes == std::numeric_limits<uint32_t>::max() - 10) return false;
  if (mNumNodes + 1 > mMaxNumNodes && !Reserve(mNumNodes + 1 + 10)) return false;
  const uint32_t index = mNumNodes++;
  // The node reader writes the bind transform; nothing is left uninitialised before.
  if (mBindTransforms != nullptr && (mOwnershipFlags & OWN_BINDTRANSFORMS) != 0) {
    mBindTransforms[index] = Transform();
  }
  if (mLocalTransforms != nullptr && (mOwnershipFlags & OWN_LOCALTRANSFORMS) != 0) {
    mLocalTransforms[index] = Transform();
  }
  if (mWorldMatrices != nullptr && (mOwnershipFlags & OWN_WORLDMATRICES) != 0) {
    mWorldMatrices[index].SetIdentity();
  }
  if (mLocalMatrices != nullptr && (mOwnershipFlags & OWN_LOCALMATRICES) != 0) {
    mLocalMatrices[index].SetIdentity();
  }
  if (mInverseBindMatrices != nullptr && (mOwnershipFlags & OWN_INVBINDMATRICES) != 0) {
    mInverseBindMatrices[index].SetIdentity();
  }
  mNodeFlags[index] = NODEFLAG_CHANGED | NODEFLAG_SCALED | NODEFLAG_WRITTEN;
  return true;
}

bool TransformData::Shrink() {
  if (mNumNodes == 0 || mNumNodes >= mMaxNumNodes) return true;
  ANIM_TRANSFORMDATA_SLOTS;
  for (Slot& slot : slots) {
    if ((mOwnershipFlags & slot.bit) == 0) continue;
    void* shrunk = Reallocate(*slot.pointer, mNumNodes, slot.elementSize);
    if (shrunk == nullptr) return false;
    *slot.pointer = shrunk;
  }
  void* flags = Reallocate(mNodeFlags, mNumNodes, sizeof(uint32_t));
  if (flags == nullptr) return false;
  mNodeFlags = static_cast<uint32_t*>(flags);
  mMaxNumNodes = mNumNodes;
  return true;
}

bool TransformData::InitForActor(Actor* actor, uint32_t flags) {
  const uint32_t previousFlags = mOwnershipFlags;
  const uint32_t n = actor != nullptr ? actor->GetNumNodes() : 0;
  TransformData* source = actor != nullptr ? &actor->GetTransformData() : nullptr;
  if (n == 0 || source == this || source->GetNumNodes() < n) {
    mOwnershipFlags = flags;
    Release();
    return n == 0;
  }

  ANIM_TRANSFORMDATA_SLOTS;
  void* sourcePointers[5] = {source->mWorldMatrices, source->mLocalMatrices,
                             source->mInverseBindMatrices, source->mLocalTransforms,
                             source->mBindTransforms};
  bool ok = true;
  for (int i = 0; i < 5; ++i) {
    Slot& slot = slots[i];
    const bool ownedBefore = (previousFlags & slot.bit) != 0;
    if ((flags & slot.bit) != 0) {
      // Never grow a borrowed array: start a block of our own instead.
      void* grown = Reallocate(ownedBefore ? *slot.pointer : nullptr, n, slot.elementSize);
      if (grown == nullptr) {
        if (!ownedBefore) *slot.pointer = nullptr;
        ok = false;
        continue;
      }
      *slot.pointer = grown;
    } else {
      if (ownedBefore) AnimCore::MemoryManager::Free(*slot.pointer);
      *slot.pointer = sourcePointers[i];
    }
  }
  mOwnershipFlags = flags;
  void* nodeFlags = ok ? Reallocate(mNodeFlags, n, sizeof(uint32_t)) : nullptr;
  if (nodeFlags == nullptr) {
    Release();
    return false;
  }
  mNodeFlags = static_cast<uint32_t*>(nodeFlags);
  mNumNodes = n;

  const size_t transformBytes = size_t{n} * sizeof(Transform);
  if (mBindTransforms != source->mBindTransforms) {
    std::memcpy(mBindTransforms, source->mBindTransforms, transformBytes);
  }
  std::memmove(mLocalTransforms, source->mBindTransforms, transformBytes);
  for (uint32_t i = 0; i < n; ++i) {
    mWorldMatrices[i].SetIdentity();
    mLocalMatrices[i].SetIdentity();
    mInverseBindMatrices[i].SetIdentity();
    mNodeFlags[i] = NODEFLAG_CHANGED | NODEFLAG_SCALED | NODEFLAG_WRITTEN;
  }
  mMaxNumNodes = n;
  return true;
}

#undef ANIM_TRANSFORMDATA_SLOTS

}  // namespace Anim
