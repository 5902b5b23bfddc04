#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/core/string.h"

namespace Anim {

// Turns names into small ids: the index of the name in one list. Node and motion
// names are stored as these ids, so equal names in different actors share an id.
class IDGenerator {
 public:
  // Registers the empty name, so it has id 0.
  IDGenerator();
  IDGenerator(const IDGenerator&) = delete;
  IDGenerator& operator=(const IDGenerator&) = delete;
  ~IDGenerator();

  // Exact, case-sensitive match; a new name is appended. Null counts as "".
  // kInvalidIndex when a new name cannot be stored.
  uint32_t GenerateIDForString(const char* name);
  // The name of id, or the empty string for an id that was never given out.
  const AnimCore::String& GetStringForID(uint32_t id) const;
  uint32_t GetNumStrings() const { return mStrings.GetLength(); }

 private:
  AnimCore::Array<AnimCore::String> mStrings;
};

// The id of name through the library's generator; kInvalidIndex before start-up.
uint32_t GetStringID(const char* name);
// The name of an id through the library's generator; "" when unknown.
const AnimCore::String& GetStringForID(uint32_t id);

}  // namespace Anim
