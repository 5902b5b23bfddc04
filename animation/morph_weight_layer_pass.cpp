#include "animation/morph_weight_layer_pass.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/morph_setup.h"
#include "animation/motion_instance.h"
#include "animation/motion_layer_system.h"
#include "animation/progressive_morph_motion.h"

namespace Anim {

namespace {

float SampleTarget(const MorphTarget& target, const ProgressiveMorphMotion& motion,
                   const MotionInstance& instance, float current) {
  const float time = instance.GetCurrentTime();
  if (target.phonemeSets == 0) {
    const int32_t index = motion.FindSubMotionByID(target.nameId);
    if (index < 0) return instance.IsMixing() ? current : 0.0f;
    const MorphSubMotion* sub = motion.GetSubMotion(static_cast<uint32_t>(index));
    const FloatKeyTrack& track = sub->GetKeyTrack();
    return track.GetNumKeys() > 0 ? track.GetValueAtTime(time) : sub->poseWeight;
  }
  if (!motion.HasPhonemes()) return 0.0f;
  float sum = 0.0f;
  uint32_t count = 0;
  for (uint32_t i = 0; i < motion.GetNumSubMotions(); ++i) {
    const MorphSubMotion* sub = motion.GetSubMotion(i);
    if ((sub->phonemeSet & target.phonemeSets) == 0 || sub->GetKeyTrack().GetNumKeys() == 0) continue;
    sum += sub->GetKeyTrack().GetValueAtTime(time);
    ++count;
  }
  return count > 0 ? sum / static_cast<float>(count) : 0.0f;
}

}  // namespace

void MorphWeightLayerPass::Process() {
  ActorInstance* actorInstance = mLayerSystem->GetActorInstance();
  if (actorInstance == nullptr) return;
  const MorphSetup* setup = actorInstance->GetActor()->GetMorphSetup(actorInstance->GetLODLevel());
  if (setup == nullptr) return;
  MorphSetupInstance& weights = actorInstance->GetMorphSetupInstance();
  const uint32_t numTargets = setup->GetNumMorphTargets();
  for (uint32_t t = 0; t < numTargets; ++t) {
    MorphSetupInstance::MorphTarget* entry = weights.FindMorphTargetByID(setup->GetMorphTarget(t)->nameId);
    if (entry != nullptr && !entry->manualMode) entry->weight = 0.0f;
  }
  // Lowest priority first, so higher priorities are applied later.
  for (uint32_t i = mLayerSystem->GetNumMotionInstances(); i-- > 0;) {
    const MotionInstance* instance = mLayerSystem->GetMotionInstance(i);
    const float w = instance->GetWeight();
    const Motion* motion = instance->GetMotion();
    const bool isMorph = motion != nullptr && motion->GetType() == ProgressiveMorphMotion::TYPE_ID;
    for (uint32_t t = 0; t < numTargets; ++t) {
      const MorphTarget* target = setup->GetMorphTarget(t);
      MorphSetupInstance::MorphTarget* entry = weights.FindMorphTargetByID(target->nameId);
      if (entry == nullptr || entry->manualMode) continue;
      if (!isMorph) {
        // A skeletal motion above fades what the morph motions below produced.
        entry->weight = (1.0f - w) * entry->weight;
        continue;
      }
      const float c = entry->weight;
      const float v = SampleTarget(*target, *static_cast<const ProgressiveMorphMotion*>(motion),
                                   *instance, c);
      entry->weight = instance->GetBlendMode() == MotionInstance::BLENDMODE_ADDITIVE
                          ? c + w * v
                          : (1.0f - w) * c + w * v;
    }
  }
}

}  // namespace Anim
