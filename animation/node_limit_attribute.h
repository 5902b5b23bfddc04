#pragma once

#include <cstdint>

#include "animation/core/vector3.h"
#include "animation/node_attribute.h"

namespace Anim {

// Translation, rotation and scale limits of a node. Bits 0 to 8 of the flag word:
// translation x, y, z, rotation x, y, z, scale x, y, z limited.
class NodeLimitAttribute final : public NodeAttribute {
 public:
  static constexpr uint32_t TYPE_ID = 0x07000002;
  enum : uint16_t {
    TRANSLATIONX = 1 << 0, TRANSLATIONY = 1 << 1, TRANSLATIONZ = 1 << 2,
    ROTATIONX = 1 << 3, ROTATIONY = 1 << 4, ROTATIONZ = 1 << 5,
    SCALEX = 1 << 6, SCALEY = 1 << 7, SCALEZ = 1 << 8,
  };

  NodeLimitAttribute() = default;

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "NodeLimitAttribute"; }
  // A new attribute with the same limits and flags; null when memory runs out.
  NodeLimitAttribute* Clone() const override;

  AnimCore::Vector3 translationMin;
  AnimCore::Vector3 translationMax;
  AnimCore::Vector3 rotationMin;
  AnimCore::Vector3 rotationMax;
  AnimCore::Vector3 scaleMin;
  AnimCore::Vector3 scaleMax{1.0f, 1.0f, 1.0f};
  uint16_t limitFlags = 0;
};

}  // namespace Anim
