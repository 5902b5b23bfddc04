#pragma once

#include <cstdint>

namespace Anim {

// Data attached to exactly one node, which owns and deletes it.
class NodeAttribute {
 public:
  NodeAttribute() = default;
  NodeAttribute(const NodeAttribute&) = delete;
  NodeAttribute& operator=(const NodeAttribute&) = delete;
  virtual ~NodeAttribute() = default;

  virtual uint32_t GetType() const = 0;
  virtual const char* GetTypeString() const = 0;
  // A copy for another node; null when memory runs out.
  virtual NodeAttribute* Clone() const = 0;
};

}  // namespace Anim
