#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/memory_categories.h"

namespace Anim {

// Holder of the level-of-detail generation state; created and destroyed with the
// library, not otherwise used by the runtime.
class LODGenerator {
 public:
  LODGenerator() = default;
  LODGenerator(const LODGenerator&) = delete;
  LODGenerator& operator=(const LODGenerator&) = delete;

 private:
  AnimCore::Array<uint32_t> mFirst{MEMCATEGORY_LODGENERATOR};
  AnimCore::Array<uint32_t> mSecond{MEMCATEGORY_LODGENERATOR};
};

}  // namespace Anim
