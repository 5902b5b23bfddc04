#include "animation/standard_material.h"

#include "animation/core/memory_manager.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"

namespace Anim {

StandardMaterialLayer::StandardMaterialLayer(uint32_t mapType, const char* textureName,
                                             float amount)
    : mTextureNameID(GetStringID(textureName)), mMapType(mapType), mAmount(amount) {}

StandardMaterialLayer* StandardMaterialLayer::Clone() const {
  StandardMaterialLayer* copy = AnimCore::New<StandardMaterialLayer>(
      MEMCATEGORY_MATERIAL, mMapType, GetStringForID(mTextureNameID).AsChar(), mAmount);
  if (copy == nullptr) return nullptr;
  copy->mTextureNameID = mTextureNameID;
  copy->mUOffset = mUOffset;
  copy->mVOffset = mVOffset;
  copy->mUTiling = mUTiling;
  copy->mVTiling = mVTiling;
  copy->mRotation = mRotation;
  return copy;
}

const char* StandardMaterialLayer::GetTextureName() const {
  return GetStringForID(mTextureNameID).AsChar();
}

StandardMaterial::StandardMaterial(const char* name)
    : Material(name), mLayers(MEMCATEGORY_MATERIAL) {}

StandardMaterial::StandardMaterial(CopyTag tag, const StandardMaterial& other)
    : Material(tag, other.GetNameID()),
      mLayers(MEMCATEGORY_MATERIAL),
      mAmbient(other.mAmbient),
      mDiffuse(other.mDiffuse),
      mSpecular(other.mSpecular),
      mEmissive(other.mEmissive),
      mShine(other.mShine),
      mShineStrength(other.mShineStrength),
      mOpacity(other.mOpacity),
      mIOR(other.mIOR),
      mDoubleSided(other.mDoubleSided),
      mWireFrame(other.mWireFrame) {}

Material* StandardMaterial::Clone() const {
  StandardMaterial* copy =
      AnimCore::New<StandardMaterial>(MEMCATEGORY_MATERIAL, CopyTag{}, *this);
  if (copy == nullptr) return nullptr;
  for (const AnimCore::Pointer<StandardMaterialLayer>& layer : mLayers) {
    // Each clone gets a holder of its own: the copy never shares a layer.
    AnimCore::Pointer<StandardMaterialLayer> cloned;
    StandardMaterialLayer* source = layer.Get();
    if (source == nullptr || !cloned.Set(source->Clone()) || cloned.IsEmpty() ||
        !copy->AddLayer(cloned)) {
      AnimCore::Delete(copy);
      return nullptr;
    }
  }
  return copy;
}

bool StandardMaterial::AddLayer(AnimCore::Pointer<StandardMaterialLayer>& layer) {
  const bool added = mLayers.Add(layer);
  layer.Reset();
  return added;
}

}  // namespace Anim
