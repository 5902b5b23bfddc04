#pragma once

#include <cstdint>
#include <utility>

#include "animation/core/array.h"
#include "animation/core/memory_manager.h"
#include "animation/interpolator.h"
#include "animation/key_frame.h"
#include "animation/memory_categories.h"

namespace Anim {

// Keys of one value type sorted by ascending time, with the interpolator that blends
// neighbouring keys. Owns the interpolator.
template <class ReturnType, class StorageType>
class KeyTrack {
 public:
  using Key = KeyFrame<ReturnType, StorageType>;

  KeyTrack() : mKeys(MEMCATEGORY_KEYTRACK) {}
  KeyTrack(const KeyTrack&) = delete;
  KeyTrack& operator=(const KeyTrack&) = delete;
  ~KeyTrack() {
    mKeys.Clear();
    AnimCore::Delete(std::exchange(mInterpolator, nullptr));
  }

  // The last key whose time is strictly below time; 0 when time is at or before the
  // first key; -1 past the last key or without keys.
  int32_t FindKey(float time) const;
  // The value at time. cachedKey, when given, keeps the key interval between calls
  // (-1 = none); it is taken only when time lies strictly inside it, where FindKey
  // could answer nothing else, so a cache never changes a value. Outside the keys the
  // last key's value; without keys a default value.
  ReturnType GetValueAtTime(float time, int32_t* cachedKey = nullptr) const;

  // The caller appends in time order.
  bool AddKey(const Key& key) { return mKeys.Add(key); }
  bool AddKey(float time, const ReturnType& value) { return mKeys.Add(Key(time, value)); }
  bool ReserveKeys(uint32_t numKeys) { return mKeys.Reserve(numKeys); }
  // Appends n default keys for the caller to fill in time order; null when memory
  // runs out (the track is then unchanged).
  Key* AppendKeys(uint32_t n) {
    const uint32_t old = mKeys.GetLength();
    if (n > UINT32_MAX - old || !mKeys.Resize(old + n)) return nullptr;
    return mKeys.GetPtr() + old;
  }
  // Shifts the keys so that the first one is at 0 (when it is later), then prepares
  // the interpolator.
  void Init();
  // Appends a copy of the first key fadeTime after the last, then Init.
  void MakeLoopable(float fadeTime);

  uint32_t GetNumKeys() const { return mKeys.GetLength(); }
  const Key& GetKey(uint32_t index) const { return mKeys[index]; }
  Key& GetKey(uint32_t index) { return mKeys[index]; }
  const Key& GetFirstKey() const { return mKeys[0]; }
  const Key& GetLastKey() const { return mKeys[mKeys.GetLength() - 1]; }

  Interpolator<ReturnType, StorageType>* GetInterpolator() const { return mInterpolator; }
  // Takes ownership (made with AnimCore::New) and deletes the previous one.
  void SetInterpolator(Interpolator<ReturnType, StorageType>* interpolator) {
    if (interpolator == mInterpolator) return;
    AnimCore::Delete(std::exchange(mInterpolator, interpolator));
    mLinear = dynamic_cast<LinearInterpolator<ReturnType, StorageType>*>(interpolator) != nullptr &&
              interpolator->GetKeyTrack() == this;
  }
  // Gives the track a new linear interpolator; false when memory runs out.
  bool CreateLinearInterpolator() {
    auto* interpolator =
        AnimCore::New<LinearInterpolator<ReturnType, StorageType>>(MEMCATEGORY_INTERPOLATOR, this);
    if (interpolator == nullptr) return false;
    SetInterpolator(interpolator);
    return true;
  }

 private:
  AnimCore::Array<Key> mKeys;
  Interpolator<ReturnType, StorageType>* mInterpolator = nullptr;
  // The interpolator is the linear one, whose blend GetValueAtTime makes itself
  // rather than through a virtual call per key.
  bool mLinear = false;
};

template <class R, class S>
int32_t KeyTrack<R, S>::FindKey(float time) const {
  const uint32_t numKeys = mKeys.GetLength();
  if (numKeys == 0) return -1;
  const Key* keys = mKeys.GetPtr();
  uint32_t low = 0;
  uint32_t high = numKeys - 1;
  uint32_t mid = (numKeys - 1) / 2;
  if (numKeys > 5) {
    for (;;) {
      uint32_t span;
      if (!(keys[mid].time <= time)) {
        high = mid;
        mid = (mid + low) / 2;
        span = mid - low;
      } else {
        span = high - mid;
        low = mid;
        mid = (mid + high) / 2;
      }
      if (span <= 5) break;
    }
  }
  for (uint32_t i = low; i <= high; ++i) {
    if (keys[i].time >= time) return i > 0 ? static_cast<int32_t>(i - 1) : 0;
  }
  return -1;
}

// Inlined into the samplers, which call it for every track of every node each frame.
template <class R, class S>
[[gnu::always_inline]] inline R KeyTrack<R, S>::GetValueAtTime(float time, int32_t* cachedKey) const {
  const uint32_t numKeys = mKeys.GetLength();
  if (numKeys == 0) return R{};
  const Key* keys = mKeys.GetPtr();

  int32_t k = -1;
  const int32_t cached = cachedKey != nullptr ? *cachedKey : -1;
  if (cached >= 0 && static_cast<uint32_t>(cached) + 1 < numKeys &&
      keys[cached].time < time && time < keys[cached + 1].time) {
    k = cached;
  } else {
    k = FindKey(time);
    if (cachedKey != nullptr) *cachedKey = k;
  }

  if (k >= 0 && static_cast<uint32_t>(k) + 1 < numKeys) {
    const float width = keys[k + 1].time - keys[k].time;
    // Two keys at one time: take the later one instead of dividing by zero.
    const float t = (width > 0.0f || width < 0.0f) ? (time - keys[k].time) / width : 1.0f;
    if (mInterpolator != nullptr && !mLinear) return mInterpolator->Interpolate(static_cast<uint32_t>(k), t);
    // What the linear interpolator gives for k, as k + 1 is a key.
    return LinearBlend(keys[k].GetValue(), keys[k + 1].GetValue(), t);
  }
  return keys[numKeys - 1].GetValue();
}

template <class R, class S>
void KeyTrack<R, S>::Init() {
  const uint32_t numKeys = mKeys.GetLength();
  if (numKeys > 0) {
    const float first = mKeys[0].time;
    if (first > 0.0f) {
      for (uint32_t i = 0; i < numKeys; ++i) mKeys[i].time -= first;
    }
  }
  if (mInterpolator != nullptr) mInterpolator->Init();
}

template <class R, class S>
void KeyTrack<R, S>::MakeLoopable(float fadeTime) {
  if (mKeys.IsEmpty()) return;
  const Key loopKey(GetLastKey().time + fadeTime, mKeys[0].GetValue());
  mKeys.Add(loopKey);
  Init();
}

template <class R, class S>
R LinearInterpolator<R, S>::Interpolate(uint32_t keyIndex, float t) const {
  const KeyTrack<R, S>& track = *this->mTrack;
  const uint32_t numKeys = track.GetNumKeys();
  if (numKeys == 0) return R{};
  if (keyIndex + 1 >= numKeys) return track.GetKey(numKeys - 1).GetValue();
  return LinearBlend(track.GetKey(keyIndex).GetValue(), track.GetKey(keyIndex + 1).GetValue(), t);
}

using Vector3KeyTrack = KeyTrack<AnimCore::Vector3, AnimCore::Vector3>;
using QuaternionKeyTrack = KeyTrack<AnimCore::Quaternion, Compressed16BitQuaternion>;
using FloatKeyTrack = KeyTrack<float, Compressed16BitFloat>;

}  // namespace Anim
