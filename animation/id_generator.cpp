#include "animation/id_generator.h"

#include <cstring>

#include "animation/anim_manager.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {
const AnimCore::String kEmptyString;
}

IDGenerator::IDGenerator() : mStrings(MEMCATEGORY_IDGENERATOR) { GenerateIDForString(""); }

IDGenerator::~IDGenerator() { mStrings.Clear(); }

uint32_t IDGenerator::GenerateIDForString(const char* name) {
  if (name == nullptr) name = "";
  const size_t length = std::strlen(name);
  for (uint32_t i = 0; i < mStrings.GetLength(); ++i) {
    const AnimCore::String& entry = mStrings[i];
    if (entry.GetLength() == length &&
        (length == 0 || std::memcmp(entry.AsChar(), name, length) == 0)) {
      return i;
    }
  }
  if (length > 0xFFFFFFFEu) return kInvalidIndex;
  AnimCore::String copy(name, static_cast<uint32_t>(length));
  if (length > 0 && copy.GetData() == nullptr) return kInvalidIndex;
  if (!mStrings.Add(copy)) return kInvalidIndex;
  return mStrings.GetLength() - 1;
}

const AnimCore::String& IDGenerator::GetStringForID(uint32_t id) const {
  return id < mStrings.GetLength() ? mStrings[id] : kEmptyString;
}

uint32_t GetStringID(const char* name) {
  AnimManager* manager = GetAnimManager();
  if (manager == nullptr || manager->GetIDGenerator() == nullptr) return kInvalidIndex;
  return manager->GetIDGenerator()->GenerateIDForString(name);
}

const AnimCore::String& GetStringForID(uint32_t id) {
  AnimManager* manager = GetAnimManager();
  if (manager == nullptr || manager->GetIDGenerator() == nullptr) return kEmptyString;
  return manager->GetIDGenerator()->GetStringForID(id);
}

}  // namespace Anim
