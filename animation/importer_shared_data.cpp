#include "animation/importer_shared_data.h"

#include <utility>

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {

ImporterSharedData* ImporterSharedData::Find(const AnimCore::Array<ImporterSharedData*>& shared,
                                             uint32_t type) {
  for (ImporterSharedData* data : shared) {
    if (data != nullptr && data->GetType() == type) return data;
  }
  return nullptr;
}

SharedStringBuffer::SharedStringBuffer() { Reserve(kInitialCapacity); }

SharedStringBuffer::~SharedStringBuffer() {
  AnimCore::MemoryManager::Free(std::exchange(mBuffer, nullptr));
}

void SharedStringBuffer::Reset() {}

bool SharedStringBuffer::Reserve(uint32_t numBytes) {
  if (numBytes <= mCapacity) return true;
  void* grown = AnimCore::MemoryManager::Realloc(mBuffer, numBytes, MEMCATEGORY_IMPORTER);
  if (grown == nullptr) return false;
  mBuffer = static_cast<char*>(grown);
  mCapacity = numBytes;
  return true;
}

}  // namespace Anim
