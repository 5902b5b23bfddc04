#include "animation/actor_instance.h"

#include <algorithm>
#include <cmath>

#include "animation/actor.h"
#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/controller.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/local_space_controller.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/morph_setup.h"
#include "animation/motion_event_handler.h"
#include "animation/motion_layer_system.h"
#include "animation/node.h"
#include "animation/update_scheduler.h"

namespace Anim {

namespace {

// The Windows runtime's generator, so bounds timers start as they always did.
uint32_t gRandomState = 1;
uint32_t NextRandom() {
  gRandomState = gRandomState * 214013u + 2531011u;
  return (gRandomState >> 16) & 0x7FFFu;
}

UpdateScheduler* GetScheduler() {
  ActorManager* manager = GetActorManager();
  return manager != nullptr ? manager->GetScheduler() : nullptr;
}

void UpdateRegistration(ActorInstance* instance) {
  if (ActorManager* manager = GetActorManager(); manager != nullptr) {
    manager->UpdateActorInstanceRegistration(instance);
  }
}

}  // namespace

ActorInstance::ActorInstance(Actor* actor, uint32_t transformDataFlags)
    : mAttachments(MEMCATEGORY_ACTORINSTANCE),
      mDependencies(MEMCATEGORY_ACTORINSTANCE),
      mLocalSpaceControllers(MEMCATEGORY_ACTORINSTANCE),
      mWorldSpaceControllers(MEMCATEGORY_ACTORINSTANCE),
      mMaterials(MEMCATEGORY_ACTORINSTANCE),
      mActor(actor) {
  mBoundsUpdateTimer = static_cast<float>(NextRandom()) * 2.0f / 32767.0f;
  if (!mTransformData.InitForActor(actor, transformDataFlags)) {
    AnimCore::Log("ActorInstance: out of memory for the transform data of '%s'", actor->GetName());
  }
  if (!mMorphSetupInstance.Init(actor->GetMorphSetup(0))) {
    AnimCore::Log("ActorInstance: out of memory for the morph weights of '%s'", actor->GetName());
  }
  mMotionSystem = AnimCore::New<MotionLayerSystem>(MEMCATEGORY_MOTIONSYSTEM, this);
  Update(0.0f, true);
  // The pose at creation is the bind pose the skin was made in. Written whether the
  // array is ours or the actor's: an instance that borrows it (the game's flags 0)
  // skins with the actor's, which nothing else fills.
  if (AnimCore::Matrix* inverseBind = mTransformData.GetInverseBindMatrices(); inverseBind != nullptr) {
    const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
    for (uint32_t i = 0; i < mTransformData.GetNumNodes(); ++i) inverseBind[i] = world[i].Inversed();
  }
  bool complete = mDependencies.Add({actor, 2});
  for (uint32_t i = 0; complete && i < actor->GetNumDependencies(); ++i) {
    complete = mDependencies.Add(actor->GetDependency(i));
  }
  // Shared references: a material changed through one instance changes for all.
  const uint32_t numLODs = actor->GetNumLODLevels();
  if (complete && mMaterials.Resize(numLODs)) {
    for (uint32_t lod = 0; lod < numLODs; ++lod) {
      mMaterials[lod].SetMemoryCategory(MEMCATEGORY_ACTORINSTANCE);
      if (const auto* source = actor->GetMaterialPointers(lod); source != nullptr) mMaterials[lod] = *source;
    }
  } else {
    complete = false;
  }
  if (!complete) {
    AnimCore::Log("ActorInstance: out of memory for the dependencies or materials of '%s'", actor->GetName());
  }
  if (ActorManager* manager = GetActorManager(); manager != nullptr) manager->RegisterActorInstance(this);
}

ActorInstance::~ActorInstance() {
  while (!mLocalSpaceControllers.IsEmpty()) {
    LocalSpaceController* controller = mLocalSpaceControllers.GetLast();
    mLocalSpaceControllers.Remove(mLocalSpaceControllers.GetLength() - 1);
    AnimCore::Delete(controller);
  }
  RemoveAllWorldSpaceControllers(true);
  AnimCore::Delete(mMotionSystem);
  mMotionSystem = nullptr;
  for (Attachment* record : mAttachments) {
    Detach(record->attachment);
    AnimCore::Delete(record);
  }
  mAttachments.Clear();
  if (mAttachedTo != nullptr) mAttachedTo->RemoveAttachmentByInstance(this, true);
  if (ActorManager* manager = GetActorManager(); manager != nullptr) manager->UnregisterActorInstance(this);
  if (MotionEventHandler* handler = GetMotionEventHandler(); handler != nullptr) {
    handler->OnDeleteActorInstance(this);
  }
}

void ActorInstance::Detach(ActorInstance* attached) {
  attached->mSelfAttachment = nullptr;
  attached->mAttachedTo = nullptr;
  if (attached->mAttachmentDepth > 0) --attached->mAttachmentDepth;
  attached->mParentTransform.SetIdentity();
  UpdateRegistration(attached);  // a root again
}

bool ActorInstance::IsChangeDetectionOn() const {
  const uint32_t flags = mTransformData.GetOwnershipFlags();
  return (flags & TransformData::OWN_LOCALMATRICES) != 0 && (flags & TransformData::OWN_LOCALTRANSFORMS) != 0;
}

namespace {

bool PositionDiffers(const AnimCore::Vector3& a, const AnimCore::Vector3& b) {
  return (a - b).SquareLength() > 0.00001f;
}
bool RotationDiffers(const AnimCore::Quaternion& a, const AnimCore::Quaternion& b) {
  return std::fabs(a.x - b.x) > 0.00001f || std::fabs(a.y - b.y) > 0.00001f ||
         std::fabs(a.z - b.z) > 0.00001f || std::fabs(a.w - b.w) > 0.00001f;
}

}  // namespace

void ActorInstance::SetLocalTransform(uint32_t nodeIndex, const Transform& t) {
  if (nodeIndex >= mTransformData.GetNumNodes()) return;
  Transform& local = mTransformData.GetLocalTransforms()[nodeIndex];
  uint32_t& flags = mTransformData.GetNodeFlags()[nodeIndex];
  if (!IsChangeDetectionOn()) {
    local = t;
    flags |= TransformData::NODEFLAG_CHANGED;
  } else {
    if (PositionDiffers(local.position, t.position)) {
      local.position = t.position;
      flags |= TransformData::NODEFLAG_CHANGED;
    }
    if (PositionDiffers(local.scale, t.scale)) {
      local.scale = t.scale;
      flags |= TransformData::NODEFLAG_CHANGED;
    }
    if (RotationDiffers(local.rotation, t.rotation)) {
      local.rotation = t.rotation;
      flags |= TransformData::NODEFLAG_CHANGED;
    }
    if (RotationDiffers(local.scaleRotation, t.scaleRotation)) {
      local.scaleRotation = t.scaleRotation;
      flags |= TransformData::NODEFLAG_CHANGED;
    }
  }
  const bool unscaled = std::fabs(t.scale.x - 1.0f) <= 0.0001f && std::fabs(t.scale.y - 1.0f) <= 0.0001f &&
                        std::fabs(t.scale.z - 1.0f) <= 0.0001f;
  if (!unscaled) flags |= TransformData::NODEFLAG_SCALED;
  flags |= TransformData::NODEFLAG_WRITTEN;
}

void ActorInstance::SetLocalPosition(uint32_t nodeIndex, const AnimCore::Vector3& position) {
  if (nodeIndex >= mTransformData.GetNumNodes()) return;
  Transform& local = mTransformData.GetLocalTransforms()[nodeIndex];
  if (IsChangeDetectionOn() && !PositionDiffers(local.position, position)) return;
  local.position = position;
  mTransformData.GetNodeFlags()[nodeIndex] |= TransformData::NODEFLAG_CHANGED;
}

void ActorInstance::SetLocalRotation(uint32_t nodeIndex, const AnimCore::Quaternion& rotation) {
  if (nodeIndex >= mTransformData.GetNumNodes()) return;
  Transform& local = mTransformData.GetLocalTransforms()[nodeIndex];
  if (IsChangeDetectionOn() && !RotationDiffers(local.rotation, rotation)) return;
  local.rotation = rotation;
  mTransformData.GetNodeFlags()[nodeIndex] |= TransformData::NODEFLAG_CHANGED;
}

void ActorInstance::UpdateLocalTransform() {
  mLocalTransform = mRotation.ToMatrix();
  const float s[3] = {mScale.x, mScale.y, mScale.z};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) mLocalTransform(r, c) *= s[r];
  }
  mLocalTransform(3, 0) = mPosition.x;
  mLocalTransform(3, 1) = mPosition.y;
  mLocalTransform(3, 2) = mPosition.z;
}

namespace {

// One node's local matrix from its local transform (order 0 takes a scaled
// parent's scale out).
inline void CalcNodeLocalMatrix(const Actor& actor, uint32_t i, uint32_t numNodes, const Transform* locals,
                                const uint32_t* flags, uint32_t order, AnimCore::Matrix& out) {
  const Node* node = actor.GetNode(i);
  const uint32_t parent = node != nullptr ? node->GetParentIndex() : Node::kNoNode;
  const AnimCore::Vector3* parentScale = nullptr;
  if (order == 0 && parent < numNodes && (flags[parent] & TransformData::NODEFLAG_SCALED) != 0) {
    parentScale = &locals[parent].scale;
  }
  CalcLocalMatrix(locals[i], order, parentScale, out);
}

}  // namespace

void ActorInstance::UpdateLocalMatrices() {
  const uint32_t numNodes = mTransformData.GetNumNodes();
  const Transform* locals = mTransformData.GetLocalTransforms();
  const uint32_t* flags = mTransformData.GetNodeFlags();
  AnimCore::Matrix* matrices = mTransformData.GetLocalMatrices();
  const uint32_t order = mActor->GetMultiplyOrder();
  for (uint32_t i = 0; i < numNodes; ++i) CalcNodeLocalMatrix(*mActor, i, numNodes, locals, flags, order, matrices[i]);
}

void ActorInstance::UpdateLocalMatrix(uint32_t i) {
  CalcNodeLocalMatrix(*mActor, i, mTransformData.GetNumNodes(), mTransformData.GetLocalTransforms(),
                      mTransformData.GetNodeFlags(), mActor->GetMultiplyOrder(), mTransformData.GetLocalMatrices()[i]);
}

void ActorInstance::ApplyNodeMapping(uint32_t i) {
  if (mSelfAttachment == nullptr || i >= mSelfAttachment->nodeMapping.GetLength()) return;
  const Attachment::NodeMap& entry = mSelfAttachment->nodeMapping[i];
  if (entry.nodeIndex != nullptr) mTransformData.GetLocalMatrices()[i] = entry.matrix;
}

void ActorInstance::UpdateWorldMatrices() {
  mGlobalTransform = mLocalTransform * mParentTransform;
  UpdateWorldMatricesFrom(0);
}

void ActorInstance::UpdateWorldMatricesFrom(uint32_t first) {
  const uint32_t numNodes = mTransformData.GetNumNodes();
  const AnimCore::Matrix* locals = mTransformData.GetLocalMatrices();
  AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  for (uint32_t i = first; i < numNodes; ++i) {
    const Node* node = mActor->GetNode(i);
    const uint32_t parent = node != nullptr ? node->GetParentIndex() : Node::kNoNode;
    // A parent must come first; one that does not is treated as a root.
    const AnimCore::Matrix& base = parent < i ? world[parent] : mGlobalTransform;
    AnimCore::Matrix::Multiply(locals[i], base, world[i]);
  }
}

void ActorInstance::RebuildControlledMatrices(const uint8_t* mask, uint32_t maskLength) {
  const uint32_t numNodes = std::min(mTransformData.GetNumNodes(), maskLength);
  uint32_t first = numNodes;
  for (uint32_t i = 0; i < numNodes; ++i) {
    const Node* node = mActor->GetNode(i);
    const uint32_t parent = node != nullptr ? node->GetParentIndex() : Node::kNoNode;
    // A child's local matrix takes its parent's scale, so it is rebuilt with it.
    if (mask[i] == 0 && !(parent < numNodes && mask[parent] != 0)) continue;
    UpdateLocalMatrix(i);
    ApplyNodeMapping(i);
    if (i < first) first = i;
  }
  // Nodes before the first rebuilt one have neither changed nor changed parents.
  UpdateWorldMatricesFrom(first);
}

void ActorInstance::SetNodeTransformMatrix(uint32_t nodeIndex, const AnimCore::Matrix* m,
                                           AnimCore::Matrix* target) {
  const uint32_t numNodes = mTransformData.GetNumNodes();
  if (nodeIndex >= numNodes) return;
  if (target == nullptr) target = mTransformData.GetWorldMatrices();
  AnimCore::Matrix* locals = mTransformData.GetLocalMatrices();
  const Node* node = mActor->GetNode(nodeIndex);
  const uint32_t parent = node->GetParentIndex();
  const bool hasParent = parent < numNodes;
  if (m != nullptr) {
    target[nodeIndex] = *m;
    locals[nodeIndex] = hasParent ? *m * target[parent].Inversed() : *m;
  } else if (hasParent) {
    target[nodeIndex] = locals[nodeIndex] * target[parent];
  }
  for (uint32_t c = 0; c < node->GetNumChildNodes(); ++c) {
    const uint32_t child = node->GetChildIndex(c);
    if (child > nodeIndex) SetNodeTransformMatrix(child, nullptr, target);
  }
}

void ActorInstance::UpdateWorldSpaceControllers(float timeDelta) {
  bool scalesReady = false;
  WorldPose& pose = mActor->GetWorldPose();
  for (uint32_t c = 0; c < mWorldSpaceControllers.GetLength(); ++c) {
    Controller* controller = mWorldSpaceControllers[c];
    controller->UpdateWeight(timeDelta);
    if (!(controller->GetWeight() > 0.0f)) continue;
    // Each controller starts from the instance's matrices, not from the last one's pose.
    if (!pose.InitFromActorInstance(*this)) return;
    const uint32_t numNodes = pose.GetNumNodes();
    if (!scalesReady) {
      const Transform* locals = mTransformData.GetLocalTransforms();
      AnimCore::Vector3* scales = pose.GetScales().GetPtr();
      for (uint32_t i = 0; i < numNodes; ++i) {
        const uint32_t parent = mActor->GetNode(i)->GetParentIndex();
        const AnimCore::Vector3& base = parent < i ? scales[parent] : mScale;
        scales[i] = {base.x * locals[i].scale.x, base.y * locals[i].scale.y, base.z * locals[i].scale.z};
      }
      scalesReady = true;
    }
    controller->Update(pose, timeDelta);
    AnimCore::Array<uint8_t>& mask = controller->GetNodeMask();
    if (mask.GetLength() >= numNodes && pose.GetNumNodes() == numNodes) {
      BlendWorldSpace(*this, pose.GetMatrices().GetPtr(), mask.GetPtr(), controller->GetWeight());
      // The result reaches the world matrices at once: skinning, attachments and
      // bounds read them, and the next controller starts from this one's pose.
      RebuildControlledMatrices(mask.GetPtr(), mask.GetLength());
    }
  }
}

void ActorInstance::Update(float timeDelta, bool updateMatrices) {
  if (mMotionSystem != nullptr) mMotionSystem->Update(timeDelta, updateMatrices);
  if (!updateMatrices) return;
  ApplyMorphTargets();
  UpdateLocalTransform();
  UpdateLocalMatrices();
  if (mSelfAttachment != nullptr) {
    for (uint32_t i = 0; i < mSelfAttachment->nodeMapping.GetLength() && i < GetNumNodes(); ++i) ApplyNodeMapping(i);
  }
  UpdateWorldMatrices();
  UpdateWorldSpaceControllers(timeDelta);
  uint32_t* flags = mTransformData.GetNodeFlags();
  for (uint32_t i = 0; i < mTransformData.GetNumNodes(); ++i) flags[i] = 0;
  PassMatricesToAttachments();

  if (mBoundsAutoUpdate && mBoundsType == BOUNDS_NODE_BASED) {
    mBoundsUpdateTimer += timeDelta;
    if (mBoundsUpdateTimer >= mBoundsUpdateInterval) {
      CalcNodeBasedBounds(mBounds, mBoundsStep);
      mBoundsUpdateTimer = 0.0f;
    }
  }
}

void ActorInstance::ApplyMorphTargets() {
  const MorphSetup* setup = mActor->GetMorphSetup(mLODLevel);
  if (setup == nullptr) return;
  for (uint32_t i = 0; i < setup->GetNumMorphTargets(); ++i) {
    MorphTarget* target = setup->GetMorphTarget(i);
    const MorphSetupInstance::MorphTarget* entry = mMorphSetupInstance.FindMorphTargetByID(target->GetID());
    if (entry == nullptr || !(std::fabs(entry->weight) > 0.0001f)) continue;
    target->Apply(this, entry->weight);
  }
}

void ActorInstance::PassMatricesToAttachments() {
  const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  const AnimCore::Matrix* locals = mTransformData.GetLocalMatrices();
  for (Attachment* record : mAttachments) {
    if (record->nodeMapping.IsEmpty()) {
      record->attachment->mParentTransform = world[record->nodeIndex];
      continue;
    }
    record->attachment->mParentTransform = mGlobalTransform;
    for (Attachment::NodeMap& entry : record->nodeMapping) {
      if (entry.nodeIndex != nullptr && *entry.nodeIndex < GetNumNodes()) entry.matrix = locals[*entry.nodeIndex];
    }
  }
}

void ActorInstance::UpdateTransformations(float timeDelta) {
  for (uint32_t i = 0; i < mActor->GetNumNodes(); ++i) {
    Node* node = mActor->GetNode(i);
    if (MeshDeformerStack* stack = node->GetMeshDeformerStack(mLODLevel); stack != nullptr) {
      stack->Update(this, node, timeDelta);
    }
    if (MeshDeformerStack* stack = node->GetCollisionMeshDeformerStack(mLODLevel); stack != nullptr) {
      stack->Update(this, node, timeDelta);
    }
  }
  if (mBoundsAutoUpdate && mBoundsType != BOUNDS_NODE_BASED) {
    mBoundsUpdateTimer += timeDelta;
    if (mBoundsUpdateTimer >= mBoundsUpdateInterval) {
      UpdateBounds(mLODLevel, mBoundsType, mBoundsStep);
      mBoundsUpdateTimer = 0.0f;
    }
  }
}

void ActorInstance::UpdateBounds(uint32_t lod, uint32_t boundsType, uint32_t step) {
  switch (boundsType) {
    case BOUNDS_NODE_BASED: CalcNodeBasedBounds(mBounds, step); break;
    case BOUNDS_MESH_BASED: CalcMeshBasedBounds(lod, mBounds, step); break;
    case BOUNDS_COLLISIONMESH_BASED: CalcCollisionMeshBasedBounds(lod, mBounds, step); break;
    default:
      AnimCore::Log("*** ActorInstance::UpdateBounds() - Unknown boundsType specified! (%d) ***",
                         static_cast<int>(boundsType));
      break;
  }
}

void ActorInstance::CalcNodeBasedBounds(AnimCore::AABB& box, uint32_t step) const {
  box.Init();
  if (step == 0) step = 1;
  const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  for (uint32_t i = 0; i < mTransformData.GetNumNodes(); i += step) {
    if (!mActor->GetNode(i)->GetIncludeInBoundsCalc()) continue;
    box.Encapsulate(AnimCore::Vector3(world[i](3, 0), world[i](3, 1), world[i](3, 2)));
  }
}

void ActorInstance::CalcMeshBasedBounds(uint32_t lod, AnimCore::AABB& box, uint32_t step) const {
  box.Init();
  const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  for (uint32_t i = 0; i < mTransformData.GetNumNodes(); ++i) {
    const Node* node = mActor->GetNode(i);
    const Mesh* mesh = node->GetMesh(lod);
    if (mesh == nullptr || !node->GetIncludeInBoundsCalc()) continue;
    AnimCore::AABB meshBox;
    mesh->CalcBounds(meshBox, world[i], step == 0 ? 1 : step);
    box.Encapsulate(meshBox);
  }
}

void ActorInstance::CalcCollisionMeshBasedBounds(uint32_t lod, AnimCore::AABB& box, uint32_t step) const {
  box.Init();
  const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  for (uint32_t i = 0; i < mTransformData.GetNumNodes(); ++i) {
    const Node* node = mActor->GetNode(i);
    const Mesh* mesh = node->GetCollisionMesh(lod);
    if (mesh == nullptr || !node->GetIncludeInBoundsCalc()) continue;
    AnimCore::AABB meshBox;
    mesh->CalcBounds(meshBox, world[i], step == 0 ? 1 : step);
    box.Encapsulate(meshBox);
  }
}

bool ActorInstance::AddAttachment(uint32_t nodeIndex, ActorInstance* attachment) {
  if (attachment == nullptr || attachment == this || attachment->mAttachedTo != nullptr ||
      nodeIndex >= GetNumNodes()) {
    return false;
  }
  // Hanging one of our own ancestors below us would close a cycle.
  for (const ActorInstance* up = mAttachedTo; up != nullptr; up = up->mAttachedTo) {
    if (up == attachment) return false;
  }
  Attachment* record = AnimCore::New<Attachment>(MEMCATEGORY_ATTACHMENT);
  if (record == nullptr) return false;
  record->attachment = attachment;
  record->attachedTo = this;
  record->nodeIndex = nodeIndex;
  if (!mAttachments.Add(record)) {
    AnimCore::Delete(record);
    return false;
  }
  ActorInstance* root = FindAttachmentRoot();
  UpdateScheduler* scheduler = GetScheduler();
  if (scheduler != nullptr) scheduler->RemoveActorInstance(root);
  attachment->mSelfAttachment = record;
  ++attachment->mAttachmentDepth;
  attachment->mAttachedTo = this;
  UpdateRegistration(attachment);  // no longer a root
  if (scheduler != nullptr && root->IsEnabled()) scheduler->AddActorInstance(root);
  return true;
}

void ActorInstance::RemoveAttachment(uint32_t index, bool deleteRecord) {
  if (index >= mAttachments.GetLength()) return;
  ActorInstance* root = FindAttachmentRoot();
  UpdateScheduler* scheduler = GetScheduler();
  if (scheduler != nullptr) scheduler->RemoveActorInstance(root);
  Attachment* record = mAttachments[index];
  ActorInstance* detached = record->attachment;
  Detach(detached);
  if (deleteRecord) AnimCore::Delete(record);
  mAttachments.Remove(index);
  if (scheduler != nullptr) {
    scheduler->AddActorInstance(root);
    if (!deleteRecord) scheduler->AddActorInstance(detached);
  }
}

bool ActorInstance::RemoveAttachmentByInstance(ActorInstance* attachment, bool deleteRecord) {
  for (uint32_t i = 0; i < mAttachments.GetLength(); ++i) {
    if (mAttachments[i]->attachment == attachment) {
      RemoveAttachment(i, deleteRecord);
      return true;
    }
  }
  return false;
}

ActorInstance* ActorInstance::FindAttachmentRoot() {
  ActorInstance* root = this;
  while (root->mAttachedTo != nullptr) root = root->mAttachedTo;
  return root;
}

Node* ActorInstance::IntersectsMesh(uint32_t lod, const AnimCore::Ray& ray) const {
  const AnimCore::Matrix* world = mTransformData.GetWorldMatrices();
  if (world == nullptr) return nullptr;
  const uint32_t numNodes = std::min(mTransformData.GetNumNodes(), mActor->GetNumNodes());
  for (uint32_t i = 0; i < numNodes; ++i) {
    Node* node = mActor->GetNode(i);
    const Mesh* mesh = node->GetMesh(lod);
    if (mesh != nullptr && mesh->Intersects(world[i], ray)) return node;
  }
  return nullptr;
}

Material* ActorInstance::GetMaterial(uint32_t lod, uint32_t index) const {
  if (lod >= mMaterials.GetLength() || index >= mMaterials[lod].GetLength()) return nullptr;
  return mMaterials[lod][index].Get();
}

AnimCore::Pointer<Material>* ActorInstance::GetMaterialPointer(uint32_t lod, uint32_t index) {
  if (lod >= mMaterials.GetLength() || index >= mMaterials[lod].GetLength()) return nullptr;
  return &mMaterials[lod][index];
}

bool ActorInstance::SetLODMaterialCount(uint32_t lod, uint32_t count) {
  if (lod >= mMaterials.GetLength()) return false;
  return mMaterials[lod].Resize(count);
}

bool ActorInstance::AddLocalSpaceController(LocalSpaceController* controller) {
  if (controller == nullptr) return false;
  if (!mLocalSpaceControllers.Add(controller)) {
    AnimCore::Delete(controller);
    return false;
  }
  return true;
}

bool ActorInstance::AddWorldSpaceController(Controller* controller) {
  if (controller == nullptr) return false;
  if (!mWorldSpaceControllers.Add(controller)) {
    AnimCore::Delete(controller);
    return false;
  }
  return true;
}

void ActorInstance::RemoveLocalSpaceController(uint32_t index, bool deleteIt) {
  if (index >= mLocalSpaceControllers.GetLength()) return;
  LocalSpaceController* controller = mLocalSpaceControllers[index];
  mLocalSpaceControllers.Remove(index);
  if (deleteIt) AnimCore::Delete(controller);
}

void ActorInstance::RemoveWorldSpaceController(uint32_t index, bool deleteIt) {
  if (index >= mWorldSpaceControllers.GetLength()) return;
  Controller* controller = mWorldSpaceControllers[index];
  mWorldSpaceControllers.Remove(index);
  if (deleteIt) AnimCore::Delete(controller);
}

void ActorInstance::RemoveWorldSpaceController(Controller* controller, bool deleteIt) {
  const int32_t index = mWorldSpaceControllers.Find(controller);
  if (index >= 0) RemoveWorldSpaceController(static_cast<uint32_t>(index), deleteIt);
}

void ActorInstance::RemoveAllWorldSpaceControllers(bool deleteThem) {
  if (deleteThem) {
    for (Controller* controller : mWorldSpaceControllers) AnimCore::Delete(controller);
  }
  mWorldSpaceControllers.Clear();
}

}  // namespace Anim
