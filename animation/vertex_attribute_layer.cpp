#include "animation/vertex_attribute_layer.h"

#include <cstring>
#include <limits>
#include <utility>

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {

const char* GetLayerTypeName(uint32_t type) {
  switch (type) {
    case LAYERTYPE_POSITIONS: return "Positions";
    case LAYERTYPE_NORMALS: return "Normals";
    case LAYERTYPE_TANGENTS: return "Tangents";
    case LAYERTYPE_UVCOORDS: return "UV Coordinates";
    case LAYERTYPE_COLORS32: return "32-bit Colors";
    case LAYERTYPE_ORGVTXNUMBERS: return "Original Vertex Numbers";
    case LAYERTYPE_COLORS128: return "128-bit Colors";
    default: return "<Unknown>";
  }
}

VertexAttributeLayerAbstractData::VertexAttributeLayerAbstractData(uint32_t numAttributes,
                                                                   uint32_t typeID,
                                                                   uint32_t attributeSize,
                                                                   bool keepOriginals)
    : VertexAttributeLayer(numAttributes, keepOriginals),
      mAttributeSize(attributeSize),
      mTypeID(typeID) {
  const uint64_t bytes =
      uint64_t{numAttributes} * attributeSize * (keepOriginals ? 2u : 1u);
  if (bytes > 0 && bytes <= std::numeric_limits<uint32_t>::max()) {
    mData = static_cast<uint8_t*>(AnimCore::MemoryManager::Allocate(
        static_cast<uint32_t>(bytes), MEMCATEGORY_VERTEXATTRIBUTELAYER, 16));
  }
  if (mData == nullptr) mNumAttributes = 0;
}

VertexAttributeLayerAbstractData::~VertexAttributeLayerAbstractData() {
  AnimCore::MemoryManager::Free(std::exchange(mData, nullptr));
  AnimCore::MemoryManager::Free(std::exchange(mSwapBuffer, nullptr));
}

uint32_t VertexAttributeLayerAbstractData::CalcTotalDataSizeInBytes(bool includeOriginals) const {
  const uint32_t size = mAttributeSize * mNumAttributes;
  return includeOriginals && mKeepOriginals ? size * 2 : size;
}

void* VertexAttributeLayerAbstractData::GetOriginalData() {
  if (mData == nullptr || !mKeepOriginals) return mData;
  return mData + size_t{mAttributeSize} * mNumAttributes;
}

void VertexAttributeLayerAbstractData::ResetToOriginalData() {
  if (!mKeepOriginals || mData == nullptr) return;
  const size_t size = size_t{mAttributeSize} * mNumAttributes;
  std::memcpy(mData, mData + size, size);
}

void VertexAttributeLayerAbstractData::SwapAttributes(uint32_t a, uint32_t b) {
  if (a >= mNumAttributes || b >= mNumAttributes || a == b || mAttributeSize == 0) return;
  if (mSwapBuffer == nullptr) {
    mSwapBuffer = static_cast<uint8_t*>(AnimCore::MemoryManager::Allocate(
        mAttributeSize, MEMCATEGORY_VERTEXATTRIBUTELAYER));
    if (mSwapBuffer == nullptr) return;
  }
  const size_t size = mAttributeSize;
  const size_t block = size * mNumAttributes;
  const int copies = mKeepOriginals ? 2 : 1;
  for (int c = 0; c < copies; ++c) {
    uint8_t* base = mData + c * block;
    std::memcpy(mSwapBuffer, base + a * size, size);
    std::memcpy(base + a * size, base + b * size, size);
    std::memcpy(base + b * size, mSwapBuffer, size);
  }
}

void VertexAttributeLayerAbstractData::RemoveAttributes(uint32_t first, uint32_t last) {
  if (first > last) std::swap(first, last);
  if (first >= mNumAttributes || mData == nullptr) return;
  if (last >= mNumAttributes) last = mNumAttributes - 1;

  const size_t size = mAttributeSize;
  const size_t oldCount = mNumAttributes;
  const size_t removed = size_t{last} - first + 1;
  const size_t newCount = oldCount - removed;
  const size_t tail = (oldCount - last - 1) * size;

  std::memmove(mData + first * size, mData + (size_t{last} + 1) * size, tail);
  if (mKeepOriginals) {
    uint8_t* originals = mData + oldCount * size;
    std::memmove(originals + first * size, originals + (size_t{last} + 1) * size, tail);
    std::memmove(mData + newCount * size, originals, newCount * size);
  }
  mNumAttributes = static_cast<uint32_t>(newCount);

  const size_t bytes = newCount * size * (mKeepOriginals ? 2 : 1);
  if (bytes == 0) {
    AnimCore::MemoryManager::Free(std::exchange(mData, nullptr));
    return;
  }
  // Shrinking in place keeps the data even when the allocator cannot move it.
  void* block = AnimCore::MemoryManager::Realloc(mData, static_cast<uint32_t>(bytes),
                                                 MEMCATEGORY_VERTEXATTRIBUTELAYER, 16);
  if (block != nullptr) mData = static_cast<uint8_t*>(block);
}

VertexAttributeLayer* VertexAttributeLayerAbstractData::Clone(Actor*, Node*, Mesh*) const {
  auto* clone = AnimCore::New<VertexAttributeLayerAbstractData>(
      MEMCATEGORY_VERTEXATTRIBUTELAYER, mNumAttributes, mTypeID, mAttributeSize, mKeepOriginals);
  if (clone == nullptr) return nullptr;
  if (mData != nullptr) {
    if (clone->mData == nullptr) {
      AnimCore::Delete(clone);
      return nullptr;
    }
    std::memcpy(clone->mData, mData, CalcTotalDataSizeInBytes(true));
  }
  return clone;
}

}  // namespace Anim
