#include "animation/skeletal_motion.h"

#include <cmath>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/motion_instance.h"
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

namespace Anim {

void SkeletalMotion::CreateMotionLinks(Actor* actor, MotionInstance* instance) {
  if (actor == nullptr || instance == nullptr) return;
  AnimCore::Array<uint16_t>& links = instance->GetLinks();
  FillMotionLinks(*actor, instance->GetStartNodeIndex(), links.GetPtr(), links.GetLength());
}

void SkeletalMotion::Retarget(const MotionInstance& instance, const SkeletalSubMotion& subMotion,
                              const Transform& bind, uint32_t nodeIndex, Transform& out) const {
  AnimCore::Vector3 offset;
  if (static_cast<int32_t>(nodeIndex) == instance.GetRetargetRootIndex()) {
    const float by = bind.position.y;
    const float rootOffset = instance.GetRetargetRootOffset();
    offset = std::fabs(by) > 0.0001f ? AnimCore::Vector3(0.0f, out.position.y / by * rootOffset, 0.0f)
                                     : AnimCore::Vector3(0.0f, rootOffset, 0.0f);
  } else {
    offset = bind.position - subMotion.bindPosition;
  }
  out.position += offset;
  out.scale += bind.scale - subMotion.bindScale;
}

void SkeletalMotion::CalcNodeTransform(MotionInstance* instance, Transform& out, Actor* actor,
                                       uint32_t nodeIndex, float time, bool enableRetargeting) {
  if (instance == nullptr || actor == nullptr) return;
  const ActorInstance* actorInstance = instance->GetActorInstance();
  const TransformData& data = actorInstance->GetTransformData();
  if (nodeIndex >= data.GetNumNodes()) return;
  const uint16_t link = instance->GetLink(nodeIndex);
  if (link == kNoSubMotion || link >= mSubMotions.GetLength()) {
    out = data.GetLocalTransforms()[nodeIndex];
    return;
  }
  const SkeletalSubMotion& subMotion = *mSubMotions[link];
  subMotion.CalcTransform(time, out);
  if (enableRetargeting) Retarget(*instance, subMotion, data.GetBindTransforms()[nodeIndex], nodeIndex, out);
}

void SkeletalMotion::Update(const AnimCore::Array<Transform>& inPose,
                            AnimCore::Array<Transform>& outPose, MotionInstance* instance) {
  if (instance == nullptr) return;
  const TransformData& data = instance->GetActorInstance()->GetTransformData();
  const uint32_t numNodes = data.GetNumNodes();
  if (outPose.GetLength() != numNodes && !outPose.Resize(numNodes)) return;
  const Transform* bind = data.GetBindTransforms();
  const float time = instance->GetCurrentTime();
  const bool retarget = instance->GetRetargeting();
  const uint32_t numInput = inPose.GetLength();
  const uint32_t numSubMotions = mSubMotions.GetLength();
  // Consecutive frames mostly sample the key intervals of the frame before.
  int32_t* keyCache = instance->GetKeyCache(numNodes);
  for (uint32_t i = 0; i < numNodes; ++i) {
    const uint16_t link = instance->GetLink(i);
    if (link == kNoSubMotion || link >= numSubMotions) {
      if (i < numInput) outPose[i] = inPose[i];
      continue;
    }
    const SkeletalSubMotion& subMotion = *mSubMotions[link];
    if (keyCache != nullptr) {
      subMotion.CalcTransform(time, outPose[i], keyCache + 4 * size_t{i});
    } else {
      subMotion.CalcTransform(time, outPose[i]);
    }
    if (retarget) Retarget(*instance, subMotion, bind[i], i, outPose[i]);
  }
}

}  // namespace Anim
