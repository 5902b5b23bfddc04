#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/motion.h"
#include "animation/skeletal_sub_motion.h"

namespace Anim {

class Actor;
class Node;

// A motion that animates nodes through one submotion per animated node.
class SkeletalMotion final : public Motion {
 public:
  static constexpr uint32_t TYPE_ID = TYPE_SKELETAL;
  // Link of a node that this motion does not animate.
  static constexpr uint16_t kNoSubMotion = 0xFFFF;

  explicit SkeletalMotion(const char* name);
  ~SkeletalMotion() override;

  uint32_t GetType() const override { return TYPE_ID; }
  const char* GetTypeString() const override { return "SkeletalMotion"; }
  void UpdateMaxTime() override;
  bool HidesAllMotionsBelow() const override { return true; }
  bool IsSkeletal() const override { return true; }
  void MakeLoopable(float fadeTime) override;
  void SetBindPoseFromActor(Actor* actor) override;
  void CalcNodeTransform(MotionInstance* instance, Transform& out, Actor* actor, uint32_t nodeIndex,
                         float time, bool enableRetargeting) override;
  void CreateMotionLinks(Actor* actor, MotionInstance* instance) override;
  void Update(const AnimCore::Array<Transform>& inPose, AnimCore::Array<Transform>& outPose,
              MotionInstance* instance) override;

  // Takes ownership (made with AnimCore::New); false when memory runs out, and the
  // submotion is deleted then.
  bool AddSubMotion(SkeletalSubMotion* subMotion);
  uint32_t GetNumSubMotions() const { return mSubMotions.GetLength(); }
  SkeletalSubMotion* GetSubMotion(uint32_t index) const {
    return index < mSubMotions.GetLength() ? mSubMotions[index] : nullptr;
  }
  // Index of the first submotion for the node name id, or -1.
  int32_t FindSubMotionByNodeID(uint32_t nodeID) const;

  // Fills a motion instance's link table (one entry per actor node): each node of
  // the start node's subtree, or of the whole actor when startNodeIndex is -1, gets
  // the index of its submotion; other entries are left as they are. Entries beyond
  // the table and node indices beyond the actor are never touched.
  void FillMotionLinks(const Actor& actor, int32_t startNodeIndex, uint16_t* links,
                       uint32_t numLinks) const;

 private:
  void LinkSubTree(const Actor& actor, uint32_t nodeIndex, uint16_t* links, uint32_t numLinks,
                   uint32_t depth) const;

  // Adds the retargeting offsets of node to a sampled transform.
  void Retarget(const MotionInstance& instance, const SkeletalSubMotion& subMotion,
                const Transform& bind, uint32_t nodeIndex, Transform& out) const;

  AnimCore::Array<SkeletalSubMotion*> mSubMotions;
};

}  // namespace Anim
