#include "animation/node_limit_attribute.h"

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {

NodeLimitAttribute* NodeLimitAttribute::Clone() const {
  NodeLimitAttribute* clone = AnimCore::New<NodeLimitAttribute>(MEMCATEGORY_NODEATTRIBUTE);
  if (clone == nullptr) return nullptr;
  clone->translationMin = translationMin;
  clone->translationMax = translationMax;
  clone->rotationMin = rotationMin;
  clone->rotationMax = rotationMax;
  clone->scaleMin = scaleMin;
  clone->scaleMax = scaleMax;
  clone->limitFlags = limitFlags;
  return clone;
}

}  // namespace Anim
