#include "animation/chunk_motion.h"

#include <emmintrin.h>

#include "animation/anim_manager.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/import_settings.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/skeletal_motion.h"
#include "animation/skeletal_sub_motion.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// Reads count keys of valueBytes + a time into an empty track; readValue decodes the
// value at the start of a key. The keys are decoded in place in the file's memory
// once their bytes are known to be there.
template <class Track, class ReadValue>
bool ReadKeys(AnimCore::MemoryFile* file, Track* track, uint32_t count, uint32_t valueBytes,
              uint32_t endianType, ReadValue readValue) {
  const uint32_t stride = valueBytes + 4;
  if (!Fits(file, count, stride)) return false;
  auto* keys = track->AppendKeys(count);
  if (keys == nullptr) return false;
  const uint8_t* key = file->GetMemoryStart() + file->GetPos();
  for (uint32_t i = 0; i < count; ++i, key += stride) {
    keys[i].time = F32At(key + valueBytes, endianType);
    keys[i].SetValue(readValue(key));
  }
  return Skip(file, uint64_t{count} * stride);
}

// Rotation keys, four at a time when the file is little-endian and no axes are
// converted: each normalised as Quaternion::Normalize does (the same sums in the same
// order, a zero quaternion made the identity) and compressed as
// Compressed16BitQuaternion::Compress does; the rest key by key.
bool ReadRotationKeys(AnimCore::MemoryFile* file, QuaternionKeyTrack* track, uint32_t count,
                      uint32_t endianType) {
  constexpr uint32_t kStride = 20;
  if (!Fits(file, count, kStride)) return false;
  QuaternionKeyTrack::Key* keys = track->AppendKeys(count);
  if (keys == nullptr) return false;
  const uint8_t* key = file->GetMemoryStart() + file->GetPos();
  uint32_t i = 0;
  if (endianType != ENDIAN_BIG && AnimCore::GetCoordSystemConverter().IsIdentity()) {
    const __m128 limit = _mm_set1_ps(32767.0f);
    const __m128 lowest = _mm_set1_ps(-32767.0f);
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f);
    for (; i + 4 <= count; i += 4, key += 4 * kStride) {
      // Four keys as x, y, z, w across the lanes.
      const __m128 k0 = _mm_loadu_ps(reinterpret_cast<const float*>(key));
      const __m128 k1 = _mm_loadu_ps(reinterpret_cast<const float*>(key + kStride));
      const __m128 k2 = _mm_loadu_ps(reinterpret_cast<const float*>(key + 2 * kStride));
      const __m128 k3 = _mm_loadu_ps(reinterpret_cast<const float*>(key + 3 * kStride));
      const __m128 t0 = _mm_unpacklo_ps(k0, k1), t1 = _mm_unpacklo_ps(k2, k3);
      const __m128 t2 = _mm_unpackhi_ps(k0, k1), t3 = _mm_unpackhi_ps(k2, k3);
      __m128 x = _mm_movelh_ps(t0, t1), y = _mm_movehl_ps(t1, t0);
      __m128 z = _mm_movelh_ps(t2, t3), w = _mm_movehl_ps(t3, t2);
      const __m128 squared = _mm_add_ps(
          _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z)), _mm_mul_ps(w, w));
      const __m128 length = _mm_sqrt_ps(squared);
      const __m128 inverse = _mm_div_ps(one, length);
      const __m128 nonzero = _mm_cmpgt_ps(length, zero);
      x = _mm_and_ps(nonzero, _mm_mul_ps(x, inverse));
      y = _mm_and_ps(nonzero, _mm_mul_ps(y, inverse));
      z = _mm_and_ps(nonzero, _mm_mul_ps(z, inverse));
      w = _mm_or_ps(_mm_and_ps(nonzero, _mm_mul_ps(w, inverse)), _mm_andnot_ps(nonzero, one));
      const auto compress = [&](__m128 c) {
        __m128 scaled = _mm_mul_ps(c, limit);
        scaled = _mm_andnot_ps(_mm_cmpunord_ps(scaled, scaled), scaled);
        return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(scaled, lowest), limit));
      };
      // Back to x, y, z, w per key, 8 bytes each.
      const __m128i xy = _mm_packs_epi32(compress(x), compress(y));
      const __m128i zw = _mm_packs_epi32(compress(z), compress(w));
      const __m128i xz = _mm_unpacklo_epi16(xy, zw), yw = _mm_unpackhi_epi16(xy, zw);
      const __m128i first = _mm_unpacklo_epi16(xz, yw), second = _mm_unpackhi_epi16(xz, yw);
      int16_t words[16];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(words), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 8), second);
      for (uint32_t j = 0; j < 4; ++j) {
        QuaternionKeyTrack::Key& out = keys[i + j];
        out.value = Compressed16BitQuaternion(words[4 * j], words[4 * j + 1], words[4 * j + 2], words[4 * j + 3]);
        out.time = F32At(key + j * kStride + 16, endianType);
      }
    }
  }
  for (; i < count; ++i, key += kStride) {
    keys[i].time = F32At(key + 16, endianType);
    keys[i].SetValue(QuaternionAt(key, endianType).Normalized());
  }
  return Skip(file, uint64_t{count} * kStride);
}

// A new linear interpolator, then the keys moved to start at 0 and the interpolator
// prepared.
template <class Track>
bool PrepareTrack(Track* track) {
  if (track == nullptr) return true;
  if (!track->CreateLinearInterpolator()) return false;
  track->Init();
  return true;
}

}  // namespace

bool ChunkProcessorSkeletalSubMotion::Process(AnimCore::MemoryFile* file,
                                              AnimCore::Array<ImporterSharedData*>* sharedData,
                                              Actor*, Motion* motion, uint32_t endianType,
                                              ActorSettings*, SkeletalMotionSettings*,
                                              PMorphMotionSettings*) {
  // Only a skeletal motion holds skeletal submotions (a morph motion file may carry
  // this chunk too).
  if (motion == nullptr || motion->GetType() != SkeletalMotion::TYPE_ID) {
    AnimCore::Log("ChunkProcessorSkeletalSubMotion::Process: Not a skeletal motion.");
    return false;
  }
  auto* skeletalMotion = static_cast<SkeletalMotion*>(motion);
  uint8_t body[128];
  if (!Bytes(file, body, 128)) return false;
  AnimCore::String name;
  if (!Importer::ReadString(file, sharedData, endianType, name)) return false;

  const AnimCore::Quaternion poseRotation = QuaternionAt(body, endianType);
  const AnimCore::Quaternion bindRotation = QuaternionAt(body + 16, endianType);
  const AnimCore::Quaternion poseScaleRotation = QuaternionAt(body + 32, endianType);
  const AnimCore::Quaternion bindScaleRotation = QuaternionAt(body + 48, endianType);
  const AnimCore::Vector3 posePosition = VectorAt(body + 64, endianType);
  const AnimCore::Vector3 poseScale = ScaleAt(body + 76, endianType);
  const AnimCore::Vector3 bindPosition = VectorAt(body + 88, endianType);
  const AnimCore::Vector3 bindScale = ScaleAt(body + 100, endianType);
  const uint32_t numPositionKeys = U32At(body + 112, endianType);
  const uint32_t numRotationKeys = U32At(body + 116, endianType);
  const uint32_t numScaleKeys = U32At(body + 120, endianType);
  const uint32_t numScaleRotationKeys = U32At(body + 124, endianType);

  if (GetLogDetails()) {
    const auto logVector = [](const char* format, const AnimCore::Vector3& v) {
      AnimCore::Log(format, v.x, v.y, v.z);
    };
    const auto logQuaternion = [](const char* format, const AnimCore::Quaternion& q) {
      AnimCore::Log(format, q.x, q.y, q.z, q.w);
    };
    AnimCore::Log("- Skeletal SubMotion = '%s'", name.AsChar());
    logVector("    + Pose Position:         x=%f, y=%f, z=%f", posePosition);
    logQuaternion("    + Pose Rotation:         x=%f, y=%f, z=%f, w=%f", poseRotation);
    logVector("    + Pose Scale:            x=%f, y=%f, z=%f", poseScale);
    logQuaternion("    + Pose Scale Rot:        x=%f, y=%f, z=%f w=%f", poseScaleRotation);
    logVector("    + Bind Pose Position:    x=%f, y=%f, z=%f", bindPosition);
    logQuaternion("    + Bind Pose Rotation:    x=%f, y=%f, z=%f, w=%f", bindRotation);
    logVector("    + Bind Pose Scale:       x=%f, y=%f, z=%f", bindScale);
    logQuaternion("    + Bind Pose Scale Rot:   x=%f, y=%f, z=%f w=%f", bindScaleRotation);
    AnimCore::Log("    + Num Pos Keys:          %d", numPositionKeys);
    AnimCore::Log("    + Num Rot Keys:          %d", numRotationKeys);
    AnimCore::Log("    + Num Scale Keys:        %d", numScaleKeys);
    AnimCore::Log("    + Num ScaleRot Keys:     %d", numScaleRotationKeys);
  }

  // The key counts must fit in the data before any track is sized by them.
  const uint64_t keyBytes = uint64_t{numPositionKeys} * 16 + uint64_t{numRotationKeys} * 20 +
                            uint64_t{numScaleKeys} * 16 + uint64_t{numScaleRotationKeys} * 20;
  if (!Fits(file, keyBytes, 1)) {
    AnimCore::Log("ChunkProcessorSkeletalSubMotion::Process: Keys of '%s' exceed the data.",
                  name.AsChar());
    return false;
  }

  auto* subMotion = AnimCore::New<SkeletalSubMotion>(MEMCATEGORY_SKELETALMOTION, name.AsChar());
  if (subMotion == nullptr) return false;
  subMotion->poseRotation = Compressed16BitQuaternion(poseRotation.Normalized());
  subMotion->bindRotation = Compressed16BitQuaternion(bindRotation.Normalized());
  subMotion->poseScaleRotation = Compressed16BitQuaternion(poseScaleRotation.Normalized());
  subMotion->bindScaleRotation = Compressed16BitQuaternion(bindScaleRotation.Normalized());
  subMotion->posePosition = posePosition;
  subMotion->poseScale = poseScale;
  subMotion->bindPosition = bindPosition;
  subMotion->bindScale = bindScale;
  if (!skeletalMotion->AddSubMotion(subMotion)) return false;

  const auto vectorValue = [endianType](const uint8_t* p) { return VectorAt(p, endianType); };
  const auto scaleValue = [endianType](const uint8_t* p) { return ScaleAt(p, endianType); };
  if (numPositionKeys != 0 &&
      !(subMotion->CreatePositionTrack() &&
        ReadKeys(file, subMotion->GetPositionTrack(), numPositionKeys, 12, endianType,
                 vectorValue))) {
    return false;
  }
  if (numRotationKeys != 0 &&
      !(subMotion->CreateRotationTrack() &&
        ReadRotationKeys(file, subMotion->GetRotationTrack(), numRotationKeys, endianType))) {
    return false;
  }
  if (numScaleKeys != 0 &&
      !(subMotion->CreateScaleTrack() &&
        ReadKeys(file, subMotion->GetScaleTrack(), numScaleKeys, 12, endianType, scaleValue))) {
    return false;
  }
  if (numScaleRotationKeys != 0 &&
      !(subMotion->CreateScaleRotationTrack() &&
        ReadRotationKeys(file, subMotion->GetScaleRotationTrack(), numScaleRotationKeys, endianType))) {
    return false;
  }
  return PrepareTrack(subMotion->GetPositionTrack()) &&
         PrepareTrack(subMotion->GetRotationTrack()) &&
         PrepareTrack(subMotion->GetScaleTrack()) &&
         PrepareTrack(subMotion->GetScaleRotationTrack());
}

bool ChunkProcessorMotionEventTable::Process(AnimCore::MemoryFile* file,
                                             AnimCore::Array<ImporterSharedData*>* sharedData,
                                             Actor*, Motion* motion, uint32_t endianType,
                                             ActorSettings*,
                                             SkeletalMotionSettings* skeletalMotionSettings,
                                             PMorphMotionSettings* morphMotionSettings) {
  if (motion == nullptr) {
    AnimCore::Log("ChunkProcessorMotionEventTable::Process: No motion to add the events to.");
    return false;
  }
  uint8_t header[12];
  if (!Bytes(file, header, 12)) return false;
  const uint32_t numEvents = U32At(header, endianType);
  const uint32_t numTypes = U32At(header + 4, endianType);
  const uint32_t numParams = U32At(header + 8, endianType);
  // Each string takes at least its 4-byte length and each event 12 bytes: counts
  // beyond the data are refused before the lists are sized by them.
  if (!Fits(file, (uint64_t{numTypes} + numParams) * 4 + uint64_t{numEvents} * 12, 1)) {
    AnimCore::Log("ChunkProcessorMotionEventTable::Process: Counts exceed the data.");
    return false;
  }
  const bool logDetails = GetLogDetails();
  if (logDetails) {
    AnimCore::Log("- Motion Event Table:");
    AnimCore::Log("   + Num events = %d", numEvents);
    AnimCore::Log("   + Num types  = %d", numTypes);
    AnimCore::Log("   + Num params = %d", numParams);
  }

  AnimCore::Array<AnimCore::String> types(MEMCATEGORY_IMPORTER);
  AnimCore::Array<AnimCore::String> params(MEMCATEGORY_IMPORTER);
  const auto readStrings = [&](AnimCore::Array<AnimCore::String>& strings, uint32_t count,
                               const char* title) {
    if (logDetails) AnimCore::Log("%s", title);
    if (!strings.Resize(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      if (!Importer::ReadString(file, sharedData, endianType, strings[i])) return false;
      if (logDetails) AnimCore::Log("     [%d] = '%s'", i, strings[i].AsChar());
    }
    return true;
  };
  if (!readStrings(types, numTypes, "   + Event types:") ||
      !readStrings(params, numParams, "   + Parameters:")) {
    return false;
  }

  const MotionSettings* settings = skeletalMotionSettings != nullptr
                                       ? static_cast<const MotionSettings*>(skeletalMotionSettings)
                                       : morphMotionSettings;
  const bool autoRegister = settings == nullptr || settings->autoRegisterEvents;
  EventManager* eventManager = GetEventManager();
  MotionEventTable& table = motion->GetEventTable();

  if (logDetails) AnimCore::Log("   + Motion Events:");
  for (uint32_t i = 0; i < numEvents; ++i) {
    uint8_t record[12];
    if (!Bytes(file, record, 12)) return false;
    const float time = F32At(record, endianType);
    const uint32_t typeIndex = U32At(record + 4, endianType);
    const uint32_t paramIndex = U32At(record + 8, endianType);
    if (typeIndex >= numTypes || paramIndex >= numParams) {
      AnimCore::Log("ChunkProcessorMotionEventTable::Process: Event %u names type %u and "
                    "parameter %u of %u and %u.",
                    i, typeIndex, paramIndex, numTypes, numParams);
      return false;
    }
    const char* typeName = types[typeIndex].AsChar();
    const char* param = params[paramIndex].AsChar();
    if (logDetails) {
      AnimCore::Log("     [%d] Time = %f  -  Type = '%s'  -  Param = '%s'", i, time, typeName,
                    param);
    }
    if (autoRegister && eventManager != nullptr && !eventManager->HasEventType(typeName)) {
      const uint32_t id = eventManager->RegisterEventType(typeName, kInvalidIndex);
      if (logDetails && id != kInvalidIndex) {
        AnimCore::Log("     Event '%s' has been automatically registered with ID %d", typeName,
                      id);
      }
    }
    table.AddEvent(time, typeName, param);
  }
  return true;
}

}  // namespace Anim
