#include "animation/fx_material.h"

#include "animation/core/memory_manager.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"

namespace Anim {

FXMaterial::FXMaterial(const char* name)
    : Material(name),
      mStringParameters(MEMCATEGORY_MATERIAL),
      mColorParameters(MEMCATEGORY_MATERIAL),
      mFloatParameters(MEMCATEGORY_MATERIAL),
      mIntParameters(MEMCATEGORY_MATERIAL),
      mEffectFileID(kInvalidIndex) {}

FXMaterial::FXMaterial(CopyTag tag, const FXMaterial& other)
    : Material(tag, other.GetNameID()),
      mStringParameters(other.mStringParameters),
      mColorParameters(other.mColorParameters),
      mFloatParameters(other.mFloatParameters),
      mIntParameters(other.mIntParameters),
      mEffectFileID(other.mEffectFileID) {}

Material* FXMaterial::Clone() const {
  FXMaterial* copy = AnimCore::New<FXMaterial>(MEMCATEGORY_MATERIAL, CopyTag{}, *this);
  if (copy == nullptr) return nullptr;
  // Array copies come back empty when memory runs out.
  bool complete = copy->mStringParameters.GetLength() == mStringParameters.GetLength() &&
                  copy->mColorParameters.GetLength() == mColorParameters.GetLength() &&
                  copy->mFloatParameters.GetLength() == mFloatParameters.GetLength() &&
                  copy->mIntParameters.GetLength() == mIntParameters.GetLength();
  for (uint32_t i = 0; complete && i < mStringParameters.GetLength(); ++i) {
    complete = copy->mStringParameters[i].value.GetLength() == mStringParameters[i].value.GetLength();
  }
  if (!complete) {
    AnimCore::Delete(copy);
    return nullptr;
  }
  return copy;
}

bool FXMaterial::AddStringParameter(const char* name, const char* value) {
  StringParameter parameter;
  parameter.value = value;
  parameter.nameID = GetStringID(name);
  return mStringParameters.Add(parameter);
}

bool FXMaterial::AddColorParameter(const char* name, float r, float g, float b, float a) {
  return mColorParameters.Add({r, g, b, a, GetStringID(name)});
}

bool FXMaterial::AddFloatParameter(const char* name, float value) {
  return mFloatParameters.Add({value, GetStringID(name)});
}

bool FXMaterial::AddIntParameter(const char* name, int32_t value) {
  return mIntParameters.Add({GetStringID(name), value});
}

void FXMaterial::SetEffectFile(const char* fileName) { mEffectFileID = GetStringID(fileName); }

const char* FXMaterial::GetEffectFile() const {
  return mEffectFileID == kInvalidIndex ? "" : GetStringForID(mEffectFileID).AsChar();
}

}  // namespace Anim
