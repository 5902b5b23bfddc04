#include "animation/morph_setup.h"

#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"

namespace Anim {

MorphSetup::MorphSetup() : mMorphTargets(MEMCATEGORY_PROGRESSIVEMORPHMOTION) {}

MorphSetup::~MorphSetup() {
  for (MorphTarget* target : mMorphTargets) AnimCore::Delete(target);
  mMorphTargets.Clear();
}

bool MorphSetup::AddMorphTarget(MorphTarget* target) {
  if (target == nullptr) return false;
  if (!mMorphTargets.Add(target)) {
    AnimCore::Delete(target);
    return false;
  }
  return true;
}

MorphTarget* MorphSetup::FindMorphTargetByID(uint32_t id) const {
  for (MorphTarget* target : mMorphTargets) {
    if (target->nameId == id) return target;
  }
  return nullptr;
}

MorphSetup* MorphSetup::Clone() const {
  auto* clone = AnimCore::New<MorphSetup>(MEMCATEGORY_PROGRESSIVEMORPHMOTION);
  if (clone == nullptr) return nullptr;
  for (const MorphTarget* target : mMorphTargets) {
    if (!clone->AddMorphTarget(target->Clone())) {
      AnimCore::Delete(clone);
      return nullptr;
    }
  }
  return clone;
}

MorphSetupInstance::MorphSetupInstance() : mMorphTargets(MEMCATEGORY_PROGRESSIVEMORPHMOTION) {}

bool MorphSetupInstance::Init(const MorphSetup* setup) {
  mMorphTargets.Clear();
  if (setup == nullptr) return true;
  if (!mMorphTargets.Resize(setup->GetNumMorphTargets())) return false;
  for (uint32_t i = 0; i < setup->GetNumMorphTargets(); ++i) {
    mMorphTargets[i] = MorphTarget{};
    mMorphTargets[i].id = setup->GetMorphTarget(i)->nameId;
  }
  return true;
}

int32_t MorphSetupInstance::FindMorphTargetNumberByID(uint32_t id) const {
  for (uint32_t i = 0; i < mMorphTargets.GetLength(); ++i) {
    if (mMorphTargets[i].id == id) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace Anim
