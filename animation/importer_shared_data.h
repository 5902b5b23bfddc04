#pragma once

#include <cstdint>

#include "animation/core/array.h"

namespace Anim {

// State that the chunk processors of one load share; made at the start of a load
// and destroyed at its end.
class ImporterSharedData {
 public:
  ImporterSharedData() = default;
  ImporterSharedData(const ImporterSharedData&) = delete;
  ImporterSharedData& operator=(const ImporterSharedData&) = delete;
  virtual ~ImporterSharedData() = default;

  virtual uint32_t GetType() const = 0;
  virtual void Reset() = 0;

  // The first object of type in shared, or null.
  static ImporterSharedData* Find(const AnimCore::Array<ImporterSharedData*>& shared,
                                  uint32_t type);
};

// The buffer strings are read into.
class SharedStringBuffer final : public ImporterSharedData {
 public:
  static constexpr uint32_t TYPE_ID = 1;
  static constexpr uint32_t kInitialCapacity = 128;

  SharedStringBuffer();
  ~SharedStringBuffer() override;

  uint32_t GetType() const override { return TYPE_ID; }
  void Reset() override;

  // Makes room for at least numBytes; false when memory runs out.
  bool Reserve(uint32_t numBytes);
  char* GetBuffer() const { return mBuffer; }
  uint32_t GetCapacity() const { return mCapacity; }

 private:
  char* mBuffer = nullptr;
  uint32_t mCapacity = 0;
};

}  // namespace Anim
