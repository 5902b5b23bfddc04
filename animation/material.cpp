#include "animation/material.h"

#include "animation/core/memory_manager.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"

namespace Anim {

Material::Material(const char* name) : mNameID(GetStringID(name)) {}

Material* Material::Clone() const {
  return AnimCore::New<Material>(MEMCATEGORY_MATERIAL, CopyTag{}, mNameID);
}

const char* Material::GetName() const { return GetStringForID(mNameID).AsChar(); }

}  // namespace Anim
