#pragma once

#include <cstdint>

namespace Anim {

// Base of the materials an actor holds per level of detail, shared through
// AnimCore::Pointer handles and deleted through this destructor.
class Material {
 public:
  Material() = default;
  Material(const Material&) = delete;
  Material& operator=(const Material&) = delete;
  virtual ~Material() = default;
};

}  // namespace Anim
