#include "animation/motion.h"

#include "animation/id_generator.h"
#include "animation/memory_categories.h"
#include "animation/motion_event_handler.h"

namespace Anim {

Motion::Motion(const char* name) : mNameID(name != nullptr ? GetStringID(name) : kInvalidIndex) {}

Motion::~Motion() {
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnDeleteMotion(this);
  }
}

const char* Motion::GetName() const {
  return mNameID == kInvalidIndex ? "" : GetStringForID(mNameID).AsChar();
}

void Motion::SetName(const char* name) {
  mNameID = name != nullptr ? GetStringID(name) : kInvalidIndex;
}

}  // namespace Anim
