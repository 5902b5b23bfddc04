#pragma once

#include <cstdint>

namespace Anim {

// The progressive morph targets of an actor at one level of detail, shared through
// AnimCore::Pointer handles.
class MorphSetup {
 public:
  // Type id of the mesh deformer that applies morph targets.
  static constexpr uint32_t MORPH_DEFORMER_TYPE = 2;

  MorphSetup() = default;
  MorphSetup(const MorphSetup&) = delete;
  MorphSetup& operator=(const MorphSetup&) = delete;
  ~MorphSetup() = default;
};

}  // namespace Anim
