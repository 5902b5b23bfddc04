#include "animation/motion_layer_system.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/matrix_decomposition.h"
#include "animation/core/memory_manager.h"
#include "animation/layer_pass.h"
#include "animation/memory_categories.h"
#include "animation/morph_weight_layer_pass.h"
#include "animation/motion.h"
#include "animation/motion_event_handler.h"
#include "animation/motion_instance.h"
#include "animation/node.h"

namespace Anim {

namespace {

AnimCore::Quaternion BlendRotation(const AnimCore::Quaternion& a, const AnimCore::Quaternion& b, float w) {
  const float wb = a.Dot(b) < 0.0f ? -w : w;
  const float wa = 1.0f - w;
  AnimCore::Quaternion q(a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb, a.w * wa + b.w * wb);
  return q.Normalize();
}

AnimCore::Vector3 Lerp(const AnimCore::Vector3& a, const AnimCore::Vector3& b, float w) {
  return a * (1.0f - w) + b * w;
}

// The rotation from d to b at w, relative to d, applied on top of a.
AnimCore::Quaternion AddRotation(const AnimCore::Quaternion& a, const AnimCore::Quaternion& b,
                                 const AnimCore::Quaternion& d, float w) {
  const AnimCore::Quaternion toward = w < 1.0f ? BlendRotation(d, b, w) : b;
  AnimCore::Quaternion q = (toward * d.Inversed()) * a;
  return q.Normalize();
}

}  // namespace

void BlendTransforms(const Transform& a, const Transform& b, float w, Transform& out) {
  out.position = Lerp(a.position, b.position, w);
  out.scale = Lerp(a.scale, b.scale, w);
  out.rotation = BlendRotation(a.rotation, b.rotation, w);
  out.scaleRotation = BlendRotation(a.scaleRotation, b.scaleRotation, w);
}

void BlendTransformsAdditive(const Transform& a, const Transform& b, const Transform& d, float w,
                             Transform& out) {
  if (w <= 0.0f) {
    out = a;
    return;
  }
  out.position = a.position + (b.position - d.position) * w;
  out.scale = a.scale + (b.scale - d.scale) * w;
  out.rotation = AddRotation(a.rotation, b.rotation, d.rotation, w);
  out.scaleRotation = AddRotation(a.scaleRotation, b.scaleRotation, d.scaleRotation, w);
}

namespace {

// m relative to its parent's matrix, decomposed into a local transform.
void RelativeTransform(const AnimCore::Matrix& m, const AnimCore::Matrix* parent, Transform& out) {
  const AnimCore::MatrixDecomposition d(parent != nullptr ? m * parent->Inversed() : m);
  out.position = d.translation;
  out.rotation = d.rotation;
  out.scale = d.scale;
  out.scaleRotation = d.scaleRotation;
}

}  // namespace

void BlendWorldSpace(ActorInstance& instance, const AnimCore::Matrix* target, const uint8_t* mask,
                     float w) {
  if (!(w > 0.0001f) || target == nullptr || mask == nullptr) return;
  const Actor* actor = instance.GetActor();
  const uint32_t numNodes = instance.GetNumNodes();
  const AnimCore::Matrix* world = instance.GetTransformData().GetWorldMatrices();
  Transform current;
  Transform goal;
  Transform out;
  for (uint32_t i = 0; i < numNodes; ++i) {
    if (mask[i] == 0) continue;
    const uint32_t parent = actor->GetNode(i)->GetParentIndex();
    const bool hasParent = parent < numNodes;
    // Each side against its own parent, so a subtree moved whole keeps its locals.
    RelativeTransform(target[i], hasParent ? &target[parent] : nullptr, goal);
    if (w >= 1.0f) {
      instance.SetLocalTransform(i, goal);
      continue;
    }
    RelativeTransform(world[i], hasParent ? &world[parent] : nullptr, current);
    BlendTransforms(current, goal, w, out);
    instance.SetLocalTransform(i, out);
  }
}

MotionLayerSystem::MotionLayerSystem(ActorInstance* actorInstance)
    : MotionSystem(actorInstance), mLayerPasses(MEMCATEGORY_MOTIONSYSTEM) {
  AddLayerPass(AnimCore::New<MorphWeightLayerPass>(MEMCATEGORY_MOTIONSYSTEM, this));
  mRepositioningPass = AnimCore::New<RepositioningLayerPass>(MEMCATEGORY_MOTIONSYSTEM, this);
}

MotionLayerSystem::~MotionLayerSystem() {
  for (LayerPass* pass : mLayerPasses) AnimCore::Delete(pass);
  mLayerPasses.Clear();
  AnimCore::Delete(mRepositioningPass);
}

bool MotionLayerSystem::AddLayerPass(LayerPass* pass) {
  if (pass == nullptr) return false;
  if (!mLayerPasses.Add(pass)) {
    AnimCore::Delete(pass);
    return false;
  }
  return true;
}

void MotionLayerSystem::SetRepositioningPass(RepositioningLayerPass* pass) {
  AnimCore::Delete(mRepositioningPass);
  mRepositioningPass = pass;
}

MotionInstance* MotionLayerSystem::GetPrimaryInstance() const {
  for (MotionInstance* instance : mMotionInstances) {
    if (!instance->IsMixing()) return instance;
  }
  return nullptr;
}

bool MotionLayerSystem::StartMotion(MotionInstance* instance, const sMotionPlayInfo* playInfo) {
  if (instance == nullptr) return false;
  instance->GetMotion()->CreateMotionLinks(mActorInstance->GetActor(), instance);
  uint32_t at = 0;
  while (at < mMotionInstances.GetLength() &&
         mMotionInstances[at]->GetPriorityLevel() > instance->GetPriorityLevel()) {
    ++at;
  }
  if (!mMotionInstances.Insert(at, instance)) return false;
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnStartMotion(instance, playInfo);
  }
  instance->Unpause();
  instance->SetActive(true);
  const sMotionPlayInfo defaults;
  const sMotionPlayInfo& info = playInfo != nullptr ? *playInfo : defaults;
  instance->SetWeight(info.targetWeight, info.blendInTime);
  return true;
}

void MotionLayerSystem::RemoveFinishedInstances() {
  MotionEventHandler* handler = GetMotionEventHandler();
  for (uint32_t i = 0; i < mMotionInstances.GetLength();) {
    MotionInstance* instance = mMotionInstances[i];
    if (!instance->IsStopping()) {
      if (instance->HasEnded() && !instance->HasFlag(MotionInstance::FLAG_FREEZEATLASTFRAME)) {
        if (handler != nullptr) handler->OnHasReachedMaxNumLoops(instance);
        instance->Stop();
      }
      if (instance->GetMaxPlayTime() > 0.0f && instance->GetTotalPlayTime() >= instance->GetMaxPlayTime()) {
        if (handler != nullptr) handler->OnHasReachedMaxPlayTime(instance);
        instance->Stop();
      }
    }
    if (!instance->IsBlending()) {
      if (instance->GetWeight() <= 0.0f && instance->HasFlag(MotionInstance::FLAG_DELETEONZEROWEIGHT)) {
        mMotionInstances.Remove(i);
        DeleteInstance(instance);
        continue;
      }
      if (instance->GetWeight() >= 1.0f && !instance->IsMixing() &&
          instance->GetBlendMode() != MotionInstance::BLENDMODE_ADDITIVE &&
          instance->HasFlag(MotionInstance::FLAG_REMOVEUNDER)) {
        const bool hidesAll = instance->GetMotion()->HidesAllMotionsBelow();
        const uint32_t type = instance->GetMotion()->GetType();
        // Only those below it: the instance itself stays.
        for (uint32_t j = mMotionInstances.GetLength(); j-- > i + 1;) {
          MotionInstance* under = mMotionInstances[j];
          if (hidesAll || under->GetMotion()->GetType() == type) {
            mMotionInstances.Remove(j);
            DeleteInstance(under);
          }
        }
      }
    }
    ++i;
  }
}

void MotionLayerSystem::BlendInstance(const MotionInstance& instance, AnimCore::Array<Transform>& current,
                                      const AnimCore::Array<Transform>& motionPose) const {
  const float w = instance.GetWeight();
  const uint32_t numNodes = current.GetLength() < motionPose.GetLength() ? current.GetLength()
                                                                          : motionPose.GetLength();
  const Transform* bind = mActorInstance->GetTransformData().GetBindTransforms();
  const bool additive = instance.GetBlendMode() == MotionInstance::BLENDMODE_ADDITIVE;
  Transform* a = current.GetPtr();
  const Transform* b = motionPose.GetPtr();

  if (instance.IsMixing()) {
    for (uint32_t n = 0; n < numNodes; ++n) {
      if (instance.GetLink(n) == MotionInstance::kNoLink) continue;
      const float nw = w * instance.GetNodeWeight(n);
      if (additive) {
        BlendTransformsAdditive(a[n], b[n], bind[n], nw, a[n]);
      } else if (nw >= 1.0f) {
        a[n] = b[n];
      } else if (nw > 0.0f) {
        BlendTransforms(a[n], b[n], nw, a[n]);
      }
    }
    return;
  }
  const bool hasNodeWeights = instance.GetNumNodeWeights() != 0;
  if (additive) {
    for (uint32_t n = 0; n < numNodes; ++n) {
      const float nodeWeight = instance.GetLink(n) == MotionInstance::kNoLink ? 1.0f : instance.GetNodeWeight(n);
      BlendTransformsAdditive(a[n], b[n], bind[n], w * nodeWeight, a[n]);
    }
    return;
  }
  if (!hasNodeWeights) {
    if (w >= 1.0f) {
      for (uint32_t n = 0; n < numNodes; ++n) a[n] = b[n];
    } else if (w > 0.0f) {
      for (uint32_t n = 0; n < numNodes; ++n) BlendTransforms(a[n], b[n], w, a[n]);
    }
    return;
  }
  for (uint32_t n = 0; n < numNodes; ++n) {
    const float nw = w * (instance.GetLink(n) == MotionInstance::kNoLink ? 1.0f : instance.GetNodeWeight(n));
    if (nw >= 1.0f) {
      a[n] = b[n];
    } else if (nw > 0.0f) {
      BlendTransforms(a[n], b[n], nw, a[n]);
    }
  }
}

void MotionLayerSystem::HandPoseToActorInstance(const AnimCore::Array<Transform>& current) {
  TransformData& data = mActorInstance->GetTransformData();
  const Actor* actor = mActorInstance->GetActor();
  const uint32_t numNodes = data.GetNumNodes() < current.GetLength() ? data.GetNumNodes() : current.GetLength();
  const bool ownsLocals = (data.GetOwnershipFlags() & TransformData::OWN_LOCALTRANSFORMS) != 0;
  const int32_t reposNode = actor->GetRepositioningNode();
  const bool keepReposNode = (actor->GetRepositioningMask() & Actor::REPOSITION_ROTATION) != 0;
  const Transform* locals = data.GetLocalTransforms();
  const Transform* bind = data.GetBindTransforms();
  const uint32_t lod = mActorInstance->GetLODLevel();
  for (uint32_t n = 0; n < numNodes; ++n) {
    if (!ownsLocals && keepReposNode && static_cast<int32_t>(n) == reposNode) {
      Transform t = locals[n];
      t.scale = current[n].scale;
      t.scaleRotation = current[n].scaleRotation;
      mActorInstance->SetLocalTransform(n, t);
      continue;
    }
    // A mask has no bit for levels from 32 on: such a level enables no node.
    const Node* node = actor->GetNode(n);
    const bool enabled = node == nullptr || (lod < 32 && ((node->GetLODMask() >> lod) & 1u) != 0);
    if (enabled) {
      mActorInstance->SetLocalTransform(n, current[n]);
    } else if (!ownsLocals) {
      mActorInstance->SetLocalTransform(n, bind[n]);
    } else {
      const Transform kept = locals[n];
      mActorInstance->SetLocalTransform(n, kept);
    }
  }
}

void MotionLayerSystem::Update(float timeDelta, bool updateNodes) {
  for (MotionInstance* instance : mMotionInstances) instance->Update(timeDelta);
  RemoveFinishedInstances();
  if (mMotionQueue != nullptr) mMotionQueue->Update();

  if (updateNodes) {
    Actor* actor = mActorInstance->GetActor();
    const TransformData& data = mActorInstance->GetTransformData();
    const uint32_t numNodes = data.GetNumNodes();
    AnimCore::Array<Transform>& current = actor->GetCurrentPose();
    AnimCore::Array<Transform>& motionPose = actor->GetMotionPose();
    if (current.GetLength() != numNodes && !current.Resize(numNodes)) return;
    if (motionPose.GetLength() != numNodes && !motionPose.Resize(numNodes)) return;
    const Transform* bind = data.GetBindTransforms();
    for (uint32_t n = 0; n < numNodes; ++n) current[n] = bind[n];
    for (uint32_t i = mMotionInstances.GetLength(); i-- > 0;) {
      MotionInstance* instance = mMotionInstances[i];
      if (!instance->IsActive() || instance->GetWeight() < 0.001f) continue;
      instance->GetMotion()->Update(current, motionPose, instance);
      BlendInstance(*instance, current, motionPose);
    }
    HandPoseToActorInstance(current);
    for (LayerPass* pass : mLayerPasses) pass->Process();
  }
  if (mRepositioningPass != nullptr) mRepositioningPass->Process();
}

}  // namespace Anim
