#include "animation/skeletal_motion.h"

#include "animation/actor.h"
#include "animation/id_generator.h"
#include "animation/memory_categories.h"
#include "animation/node.h"
#include "animation/transform_data.h"

namespace Anim {

SkeletalMotion::SkeletalMotion(const char* name)
    : Motion(name), mSubMotions(MEMCATEGORY_SKELETALMOTION) {}

SkeletalMotion::~SkeletalMotion() { mSubMotions.ClearAndDelete(); }

bool SkeletalMotion::AddSubMotion(SkeletalSubMotion* subMotion) {
  if (subMotion == nullptr) return false;
  if (!mSubMotions.Add(subMotion)) {
    AnimCore::Delete(subMotion);
    return false;
  }
  return true;
}

int32_t SkeletalMotion::FindSubMotionByNodeID(uint32_t nodeID) const {
  for (uint32_t i = 0; i < mSubMotions.GetLength(); ++i) {
    if (mSubMotions[i]->GetNameID() == nodeID) return static_cast<int32_t>(i);
  }
  return -1;
}

void SkeletalMotion::UpdateMaxTime() {
  mMaxTime = 0.0f;
  for (const SkeletalSubMotion* subMotion : mSubMotions) {
    const float subMaxTime = subMotion->CalcMaxTime();
    if (subMaxTime > mMaxTime) mMaxTime = subMaxTime;
  }
}

void SkeletalMotion::MakeLoopable(float fadeTime) {
  for (SkeletalSubMotion* subMotion : mSubMotions) subMotion->MakeLoopable(fadeTime);
  UpdateMaxTime();
}

void SkeletalMotion::SetBindPoseFromActor(Actor* actor) {
  if (actor == nullptr) return;
  const Transform* bind = actor->GetTransformData().GetBindTransforms();
  for (SkeletalSubMotion* subMotion : mSubMotions) {
    const Node* node = actor->FindNodeByID(subMotion->GetNameID());
    if (node == nullptr || bind == nullptr) continue;
    const Transform& transform = bind[node->GetIndex()];
    subMotion->bindRotation.FromQuaternion(transform.rotation);
    subMotion->bindScaleRotation.FromQuaternion(transform.scaleRotation);
    subMotion->bindPosition = transform.position;
    subMotion->bindScale = transform.scale;
  }
}

void SkeletalMotion::LinkSubTree(const Actor& actor, uint32_t nodeIndex, uint16_t* links,
                                 uint32_t numLinks, uint32_t depth) const {
  const Node* node = actor.GetNode(nodeIndex);
  // A hierarchy deeper than the node count has a cycle in it.
  if (node == nullptr || depth > actor.GetNumNodes()) return;
  const int32_t subMotion = FindSubMotionByNodeID(node->GetID());
  if (subMotion >= 0 && nodeIndex < numLinks && subMotion < kNoSubMotion) {
    links[nodeIndex] = static_cast<uint16_t>(subMotion);
  }
  for (uint32_t i = 0; i < node->GetNumChildNodes(); ++i) {
    LinkSubTree(actor, node->GetChildIndex(i), links, numLinks, depth + 1);
  }
}

void SkeletalMotion::FillMotionLinks(const Actor& actor, int32_t startNodeIndex, uint16_t* links,
                                     uint32_t numLinks) const {
  if (startNodeIndex >= 0) {
    LinkSubTree(actor, static_cast<uint32_t>(startNodeIndex), links, numLinks, 0);
    return;
  }
  const uint32_t numNodes = actor.GetNumNodes();
  for (uint32_t i = 0; i < numNodes && i < numLinks; ++i) {
    const int32_t subMotion = FindSubMotionByNodeID(actor.GetNode(i)->GetID());
    if (subMotion >= 0 && subMotion < kNoSubMotion) links[i] = static_cast<uint16_t>(subMotion);
  }
}

}  // namespace Anim
