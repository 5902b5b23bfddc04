#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/string.h"
#include "animation/material.h"

namespace Anim {

// A material that names an effect file and carries typed, named parameters for it.
class FXMaterial final : public Material {
 public:
  enum : uint32_t { TYPE_ID = 2 };
  struct StringParameter {
    AnimCore::String value;
    uint32_t nameID = 0;
  };
  struct ColorParameter {
    float r = 0, g = 0, b = 0, a = 0;
    uint32_t nameID = 0;
  };
  struct FloatParameter {
    float value = 0;
    uint32_t nameID = 0;
  };
  struct IntParameter {
    uint32_t nameID = 0;
    int32_t value = 0;
  };

  explicit FXMaterial(const char* name);
  // For Clone.
  FXMaterial(CopyTag tag, const FXMaterial& other);

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "FXMaterial"; }
  Material* Clone() const override;

  // Each looks the name up in the string registry (adding it when new).
  bool AddStringParameter(const char* name, const char* value);
  bool AddColorParameter(const char* name, float r, float g, float b, float a);
  bool AddFloatParameter(const char* name, float value);
  bool AddIntParameter(const char* name, int32_t value);

  const AnimCore::Array<StringParameter>& GetStringParameters() const { return mStringParameters; }
  const AnimCore::Array<ColorParameter>& GetColorParameters() const { return mColorParameters; }
  const AnimCore::Array<FloatParameter>& GetFloatParameters() const { return mFloatParameters; }
  const AnimCore::Array<IntParameter>& GetIntParameters() const { return mIntParameters; }

  void SetEffectFile(const char* fileName);
  // kInvalidIndex until set.
  uint32_t GetEffectFileID() const { return mEffectFileID; }
  const char* GetEffectFile() const;

 private:
  AnimCore::Array<StringParameter> mStringParameters;
  AnimCore::Array<ColorParameter> mColorParameters;
  AnimCore::Array<FloatParameter> mFloatParameters;
  AnimCore::Array<IntParameter> mIntParameters;
  uint32_t mEffectFileID;
};

}  // namespace Anim
