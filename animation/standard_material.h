#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/shared_data.h"
#include "animation/material.h"

namespace Anim {

// One texture layer of a standard material. The map type is the layer's role as the
// file gives it, kept unchanged: the engine decides what each value means.
class StandardMaterialLayer {
 public:
  StandardMaterialLayer(uint32_t mapType, const char* textureName, float amount);
  StandardMaterialLayer(const StandardMaterialLayer&) = delete;
  StandardMaterialLayer& operator=(const StandardMaterialLayer&) = delete;
  virtual ~StandardMaterialLayer() = default;

  virtual StandardMaterialLayer* Clone() const;

  uint32_t GetTextureNameID() const { return mTextureNameID; }
  const char* GetTextureName() const;
  uint32_t GetMapType() const { return mMapType; }
  float GetAmount() const { return mAmount; }
  float GetUOffset() const { return mUOffset; }
  float GetVOffset() const { return mVOffset; }
  float GetUTiling() const { return mUTiling; }
  float GetVTiling() const { return mVTiling; }
  float GetRotationRadians() const { return mRotation; }

  void SetAmount(float amount) { mAmount = amount; }
  void SetUOffset(float offset) { mUOffset = offset; }
  void SetVOffset(float offset) { mVOffset = offset; }
  void SetUTiling(float tiling) { mUTiling = tiling; }
  void SetVTiling(float tiling) { mVTiling = tiling; }
  void SetRotationRadians(float rotation) { mRotation = rotation; }

 private:
  uint32_t mTextureNameID;
  uint32_t mMapType;
  float mAmount;
  float mUOffset = 0.0f;
  float mVOffset = 0.0f;
  float mUTiling = 1.0f;
  float mVTiling = 1.0f;
  float mRotation = 0.0f;
};

// A classic lit material: colours, shininess, opacity and its texture layers in
// drawing order.
class StandardMaterial final : public Material {
 public:
  enum : uint32_t { TYPE_ID = 1 };
  struct RGBA {
    float r, g, b, a;
  };

  explicit StandardMaterial(const char* name);
  // For Clone: copies every field but the layers/parameters that Clone fills.
  StandardMaterial(CopyTag tag, const StandardMaterial& other);

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "StandardMaterial"; }
  // Clones every layer into the new material, in order.
  Material* Clone() const override;

  // Appends a copy of the handle and releases the one passed in.
  bool AddLayer(AnimCore::Pointer<StandardMaterialLayer>& layer);
  uint32_t GetNumLayers() const { return mLayers.GetLength(); }
  StandardMaterialLayer* GetLayer(uint32_t index) const {
    return index < mLayers.GetLength() ? mLayers[index].Get() : nullptr;
  }

  const RGBA& GetAmbient() const { return mAmbient; }
  const RGBA& GetDiffuse() const { return mDiffuse; }
  const RGBA& GetSpecular() const { return mSpecular; }
  const RGBA& GetEmissive() const { return mEmissive; }
  float GetShine() const { return mShine; }
  float GetShineStrength() const { return mShineStrength; }
  float GetOpacity() const { return mOpacity; }
  float GetIOR() const { return mIOR; }
  bool GetDoubleSided() const { return mDoubleSided; }
  bool GetWireFrame() const { return mWireFrame; }

  void SetAmbient(const RGBA& colour) { mAmbient = colour; }
  void SetDiffuse(const RGBA& colour) { mDiffuse = colour; }
  void SetSpecular(const RGBA& colour) { mSpecular = colour; }
  void SetEmissive(const RGBA& colour) { mEmissive = colour; }
  void SetShine(float shine) { mShine = shine; }
  void SetShineStrength(float strength) { mShineStrength = strength; }
  void SetOpacity(float opacity) { mOpacity = opacity; }
  void SetIOR(float ior) { mIOR = ior; }
  void SetDoubleSided(bool doubleSided) { mDoubleSided = doubleSided; }
  void SetWireFrame(bool wireFrame) { mWireFrame = wireFrame; }

 private:
  AnimCore::Array<AnimCore::Pointer<StandardMaterialLayer>> mLayers;
  RGBA mAmbient{0.2f, 0.2f, 0.2f, 1.0f};
  RGBA mDiffuse{1.0f, 0.0f, 0.0f, 1.0f};
  RGBA mSpecular{1.0f, 1.0f, 1.0f, 1.0f};
  RGBA mEmissive{1.0f, 0.0f, 0.0f, 1.0f};
  float mShine = 1.0f;
  float mShineStrength = 1.0f;
  float mOpacity = 1.0f;
  float mIOR = 1.5f;
  bool mDoubleSided = true;
  bool mWireFrame = false;
};

}  // namespace Anim
