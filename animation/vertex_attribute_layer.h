#pragma once

#include <cstdint>

namespace Anim {

class Actor;
class Mesh;
class Node;

// Type ids of vertex attribute layers, shared with the actor file format.
enum : uint32_t {
  LAYERTYPE_POSITIONS = 0,
  LAYERTYPE_NORMALS = 1,
  LAYERTYPE_TANGENTS = 2,
  LAYERTYPE_UVCOORDS = 3,
  LAYERTYPE_COLORS32 = 4,
  LAYERTYPE_ORGVTXNUMBERS = 5,
  LAYERTYPE_COLORS128 = 6,
};

// "Positions", "Normals", ... for types 0 to 6, "<Unknown>" for any other.
const char* GetLayerTypeName(uint32_t type);

// Per-vertex (or per-original-vertex) data of a mesh. Layers that keep originals
// hold the bind-pose values beside the current ones, which the deformers rebuild.
class VertexAttributeLayer {
 public:
  VertexAttributeLayer(uint32_t numAttributes, bool keepOriginals)
      : mNumAttributes(numAttributes), mKeepOriginals(keepOriginals) {}
  VertexAttributeLayer(const VertexAttributeLayer&) = delete;
  VertexAttributeLayer& operator=(const VertexAttributeLayer&) = delete;
  virtual ~VertexAttributeLayer() = default;

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  virtual VertexAttributeLayer* Clone(Actor* actor, Node* node, Mesh* newMesh) const = 0;
  virtual void* GetData() { return nullptr; }
  virtual void* GetOriginalData() { return nullptr; }
  virtual void ResetToOriginalData() {}
  virtual void SwapAttributes(uint32_t a, uint32_t b) = 0;
  virtual void RemoveAttributes(uint32_t first, uint32_t last) = 0;
  // True for VertexAttributeLayerAbstractData, whose data is a flat block of
  // fixed-size attributes.
  virtual bool IsAbstractDataClass() const { return false; }

  uint32_t GetNumAttributes() const { return mNumAttributes; }
  bool GetKeepOriginals() const { return mKeepOriginals; }

 protected:
  uint32_t mNumAttributes;
  bool mKeepOriginals;
};

// The one per-vertex layer class: numAttributes attributes of attributeSize bytes,
// current values first, then (with originals) the original values, in one block.
class VertexAttributeLayerAbstractData final : public VertexAttributeLayer {
 public:
  // The contents are undefined until filled. When the block cannot be allocated
  // (or its size does not fit 32 bits) the layer has no data and no attributes.
  VertexAttributeLayerAbstractData(uint32_t numAttributes, uint32_t typeID, uint32_t attributeSize,
                                   bool keepOriginals);
  ~VertexAttributeLayerAbstractData() override;

  uint32_t GetType() const override { return mTypeID; }
  const char* GetTypeString() const override { return "VertexAttributeLayerAbstractData"; }
  VertexAttributeLayer* Clone(Actor* actor, Node* node, Mesh* newMesh) const override;
  void* GetData() override { return mData; }
  void* GetOriginalData() override;
  void ResetToOriginalData() override;
  // Out-of-range indices do nothing.
  void SwapAttributes(uint32_t a, uint32_t b) override;
  // Removes the inclusive range (ordered first); the range is clipped to the layer.
  void RemoveAttributes(uint32_t first, uint32_t last) override;
  bool IsAbstractDataClass() const override { return true; }

  uint32_t GetAttributeSize() const { return mAttributeSize; }
  uint32_t CalcTotalDataSizeInBytes(bool includeOriginals) const;

 private:
  uint8_t* mData = nullptr;
  uint8_t* mSwapBuffer = nullptr;
  uint32_t mAttributeSize;
  uint32_t mTypeID;
};

}  // namespace Anim
