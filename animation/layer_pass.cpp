#include "animation/layer_pass.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_instance.h"
#include "animation/motion_layer_system.h"
#include "animation/node.h"

namespace Anim {

RepositioningLayerPass::RepositioningLayerPass(MotionLayerSystem* layerSystem)
    : LayerPass(layerSystem), mAncestors(MEMCATEGORY_MOTIONSYSTEM) {}

AnimCore::Vector3 RepositioningLayerPass::CalcMovement(MotionInstance& instance, uint32_t node, float from,
                                                       float to) {
  Motion* motion = instance.GetMotion();
  if (!motion->IsSkeletal()) return {};
  Actor* actor = instance.GetActorInstance()->GetActor();
  Transform a;
  Transform b;
  motion->CalcNodeTransform(&instance, a, actor, node, from, instance.GetRetargeting());
  motion->CalcNodeTransform(&instance, b, actor, node, to, instance.GetRetargeting());
  return b.position - a.position;
}

void RepositioningLayerPass::Process() {
  ActorInstance* actorInstance = mLayerSystem->GetActorInstance();
  Actor* actor = actorInstance->GetActor();
  const int32_t reposNode = actor->GetRepositioningNode();
  if (reposNode < 0 || static_cast<uint32_t>(reposNode) >= actorInstance->GetNumNodes() ||
      actor->GetRepositioningMask() == 0 || mLayerSystem->GetNumMotionInstances() == 0) {
    return;
  }
  const uint32_t node = static_cast<uint32_t>(reposNode);
  if (reposNode != mAncestorsOf) {
    mAncestors.Clear();
    // Walk up, bounded by the node count in case the hierarchy has a cycle.
    uint32_t up = actor->GetNode(node)->GetParentIndex();
    for (uint32_t guard = 0; up < actor->GetNumNodes() && guard < actor->GetNumNodes(); ++guard) {
      mAncestors.Insert(0, up);
      up = actor->GetNode(up)->GetParentIndex();
    }
    mAncestorsOf = reposNode;
  }

  AnimCore::Vector3 delta;
  bool first = true;
  for (uint32_t i = mLayerSystem->GetNumMotionInstances(); i-- > 0;) {
    MotionInstance& instance = *mLayerSystem->GetMotionInstance(i);
    if (instance.GetLink(node) == MotionInstance::kNoLink) continue;
    AnimCore::Vector3 d;
    const float w = instance.GetWeight();
    if (!instance.IsPaused()) {
      float from = instance.GetPreviousTime();
      if (!instance.HasFlag(MotionInstance::FLAG_NOREPOSITIONLOOPS) &&
          instance.GetCurrentLoop() != instance.GetPreviousLoop()) {
        const float maxTime = instance.GetMotion()->GetMaxTime();
        const bool forward = instance.GetTimeDelta() > 0.0f;
        d += CalcMovement(instance, node, from, forward ? maxTime : 0.0f);
        from = forward ? 0.0f : maxTime;
      }
      d += CalcMovement(instance, node, from, instance.GetCurrentTime());
    }
    if (first) {
      delta = d * w;
      first = false;
    } else if (instance.GetBlendMode() == MotionInstance::BLENDMODE_ADDITIVE) {
      delta += d * w;
    } else {
      delta = delta * (1.0f - w) + d * w;
    }
  }
  const AnimCore::Vector3& scale = actorInstance->GetScale();
  delta = {delta.x * scale.x, delta.y * scale.y, delta.z * scale.z};

  if ((actor->GetRepositioningMask() & Actor::REPOSITION_POSITION) != 0) {
    const Transform* locals = actorInstance->GetTransformData().GetLocalTransforms();
    AnimCore::Quaternion rotation;
    for (uint32_t ancestor : mAncestors) rotation = rotation * locals[ancestor].rotation;
    rotation = actorInstance->GetRotation() * rotation;
    actorInstance->SetPosition(actorInstance->GetPosition() + rotation.Rotate(delta));
    actorInstance->SetLocalPosition(node, actorInstance->GetTransformData().GetBindTransforms()[node].position);
  }
}

}  // namespace Anim
