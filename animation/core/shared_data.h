#pragma once

#include <cstdint>
#include <utility>

#include "animation/core/memory_manager.h"

namespace AnimCore {

// Reference-counted holder of an object shared by actors, their clones and their
// instances. The holder owns the object; the last Release destroys both.
class SharedData {
 public:
  SharedData() = default;
  SharedData(const SharedData&) = delete;
  SharedData& operator=(const SharedData&) = delete;
  virtual ~SharedData() = default;

  virtual void AddRef() { ++mReferenceCount; }
  virtual void Release() {
    if (mReferenceCount > 0) --mReferenceCount;
    if (mReferenceCount == 0) Destroy();
  }
  virtual uint32_t GetReferenceCount() const { return mReferenceCount; }
  virtual void* GetPointer() const = 0;

 protected:
  // Deletes what GetPointer returns (and, for SharedObject, the holder itself).
  virtual void Destroy() = 0;

 private:
  uint32_t mReferenceCount = 0;
};

template <class T>
class SharedObject final : public SharedData {
 public:
  explicit SharedObject(T* object) : mObject(object) {}
  ~SharedObject() override { Delete(mObject); }

  void* GetPointer() const override { return mObject; }

 protected:
  void Destroy() override { Delete(this); }

 private:
  T* mObject;
};

// Handle to a shared object. Copies share; Set always starts a fresh holder, so it
// is never the way to share an object between two handles.
template <class T>
class Pointer {
 public:
  Pointer() = default;
  Pointer(const Pointer& other) : mData(other.mData) {
    if (mData != nullptr) mData->AddRef();
  }
  Pointer(Pointer&& other) noexcept : mData(std::exchange(other.mData, nullptr)) {}
  Pointer& operator=(const Pointer& other) {
    if (mData != other.mData) {
      SharedData* old = std::exchange(mData, other.mData);
      if (mData != nullptr) mData->AddRef();
      if (old != nullptr) old->Release();
    }
    return *this;
  }
  Pointer& operator=(Pointer&& other) noexcept {
    if (this != &other) {
      SharedData* old = std::exchange(mData, std::exchange(other.mData, nullptr));
      if (old != nullptr) old->Release();
    }
    return *this;
  }
  ~Pointer() { Reset(); }

  // Takes ownership of object (made with AnimCore::New). Null empties the handle.
  // When the holder cannot be allocated the object is deleted, the handle left
  // empty, and the result is false.
  bool Set(T* object) {
    if (object == nullptr) {
      Reset();
      return true;
    }
    SharedObject<T>* data = New<SharedObject<T>>(MEMCATEGORY_POINTER, object);
    if (data == nullptr) {
      Delete(object);
      Reset();
      return false;
    }
    data->AddRef();
    SharedData* old = std::exchange(mData, data);
    if (old != nullptr) old->Release();
    return true;
  }

  T* Get() const { return mData != nullptr ? static_cast<T*>(mData->GetPointer()) : nullptr; }
  SharedData* GetData() const { return mData; }
  uint32_t GetReferenceCount() const { return mData != nullptr ? mData->GetReferenceCount() : 0; }
  bool IsEmpty() const { return mData == nullptr; }

  void Reset() {
    SharedData* old = std::exchange(mData, nullptr);
    if (old != nullptr) old->Release();
  }

 private:
  SharedData* mData = nullptr;
};

}  // namespace AnimCore
