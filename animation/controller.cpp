#include "animation/controller.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/memory_categories.h"
#include "animation/node.h"

namespace Anim {

Controller::Controller(ActorInstance* actorInstance)
    : mNodeMask(MEMCATEGORY_WORLDSPACECONTROLLER), mActorInstance(actorInstance) {
  mNodeMask.Resize(actorInstance->GetActor()->GetNumNodes());
}

void Controller::SetWeight(float target, float time) {
  mTargetWeight = target;
  if (time == 0.0f) {
    mWeight = target;
    mWeightDelta = 0.0f;
    mBlending = false;
    return;
  }
  mBlending = true;
  mWeightDelta = (target - mWeight) / time;
}

void Controller::UpdateWeight(float timeDelta) {
  if (!mBlending) return;
  mWeight += timeDelta * mWeightDelta;
  if ((mWeightDelta > 0.0f && mWeight >= mTargetWeight) ||
      (mWeightDelta <= 0.0f && mWeight <= mTargetWeight)) {
    mWeight = mTargetWeight;
    mBlending = false;
  }
}

void Controller::CopyWeight(const Controller& other) {
  mWeight = other.mWeight;
  mTargetWeight = other.mTargetWeight;
  mBlending = other.mBlending;
  mWeightDelta = other.mWeightDelta;
}

void Controller::SetNodeMaskRecursive(uint32_t nodeIndex, uint8_t value) {
  SetMaskSubTree(nodeIndex, value, 0);
}

void Controller::SetMaskSubTree(uint32_t nodeIndex, uint8_t value, uint32_t depth) {
  const Actor* actor = mActorInstance->GetActor();
  // A hierarchy deeper than its node count has a cycle.
  if (nodeIndex >= mNodeMask.GetLength() || depth > actor->GetNumNodes()) return;
  mNodeMask[nodeIndex] = value;
  const Node* node = actor->GetNode(nodeIndex);
  for (uint32_t c = 0; c < node->GetNumChildNodes(); ++c) {
    SetMaskSubTree(node->GetChildIndex(c), value, depth + 1);
  }
}

}  // namespace Anim
