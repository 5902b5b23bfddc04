#include "animation/anim_manager.h"

#include <cstdio>
#include <utility>

#include "animation/actor_manager.h"
#include "animation/chunk_processors.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/lod_generator.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

AnimManager* gAnimManager = nullptr;

struct CategoryName {
  uint32_t id;
  const char* name;
};

constexpr CategoryName kCategories[] = {
    {MEMCATEGORY_LOCALSPACECONTROLLER, "Anim::LocalSpaceController"},
    {MEMCATEGORY_WORLDSPACECONTROLLER, "Anim::WorldSpaceController"},
    {MEMCATEGORY_HWSHADERBUFFER, "Anim::HwShaderBuffer"},
    {MEMCATEGORY_MATERIAL, "Anim::Material"},
    {MEMCATEGORY_MESH, "Anim::Mesh"},
    {MEMCATEGORY_MESHDEFORMER, "Anim::MeshDeformer"},
    {MEMCATEGORY_VERTEXATTRIBUTELAYER, "Anim::VertexAttributeLayer"},
    {MEMCATEGORY_MOTIONINSTANCE, "Anim::MotionInstance"},
    {MEMCATEGORY_MOTIONSYSTEM, "Anim::MotionSystem"},
    {MEMCATEGORY_PROGRESSIVEMORPHMOTION, "Anim::ProgressiveMorphMotion"},
    {MEMCATEGORY_SKELETALMOTION, "Anim::SkeletalMotion"},
    {MEMCATEGORY_CONTROLLEDMOTION, "Anim::ControlledMotion"},
    {MEMCATEGORY_INTERPOLATOR, "Anim::Interpolator"},
    {MEMCATEGORY_KEYTRACK, "Anim::KeyTrack"},
    {MEMCATEGORY_MOTIONLINK, "Anim::MotionLink"},
    {MEMCATEGORY_MOTIONEVENT, "Anim::MotionEvent"},
    {MEMCATEGORY_MOTIONMISC, "Anim::MotionMisc"},
    {MEMCATEGORY_NODE, "Anim::Node"},
    {MEMCATEGORY_ACTOR, "Anim::Actor"},
    {MEMCATEGORY_ACTORINSTANCE, "Anim::ActorInstance"},
    {MEMCATEGORY_NODEATTRIBUTE, "Anim::NodeAttribute"},
    {MEMCATEGORY_NODESMISC, "Anim::NodesMisc"},
    {MEMCATEGORY_TRANSFORMDATA, "Anim::TransformData"},
    {MEMCATEGORY_LOCALPOSE, "Anim::LocalPose"},
    {MEMCATEGORY_WORLDPOSE, "Anim::WorldPose"},
    {MEMCATEGORY_IMPORTER, "Anim::Importer"},
    {MEMCATEGORY_IDGENERATOR, "Anim::IDGenerator"},
    {MEMCATEGORY_LODGENERATOR, "Anim::LODGenerator"},
    {MEMCATEGORY_ACTORMANAGER, "Anim::ActorManager"},
    {MEMCATEGORY_UPDATESCHEDULER, "Anim::UpdateScheduler"},
    {MEMCATEGORY_ATTACHMENT, "Anim::Attachment"},
    {MEMCATEGORY_ANIMMANAGER, "Anim::AnimManager"},
};

// The one-byte object the manager keeps beside its singletons.
struct Placeholder {
  uint8_t unused = 0;
};

constexpr const char* kDashLine = "-----------------------------------------------";

}  // namespace

void RegisterMemoryCategories() {
  for (const CategoryName& category : kCategories) {
    AnimCore::MemoryManager::RegisterCategory(category.id, category.name);
  }
}

AnimManager::AnimManager() : mVersionString("Anim v3.1"), mCompilationDate("Mar 02 2007") {}

namespace {
// Cleared before the delete so that nothing reaches a singleton while it goes.
template <class T>
void DeleteMember(T*& member) {
  AnimCore::Delete(std::exchange(member, nullptr));
}
}  // namespace

AnimManager::~AnimManager() {
  DeleteMember(mImporter);
  DeleteMember(mActorManager);
  DeleteMember(mLODGenerator);
  DeleteMember(mIDGenerator);
  DeleteMember(mEventManager);
  AnimCore::MemoryManager::Free(std::exchange(mPlaceholder, nullptr));
}

bool AnimManager::CreateSingletons() {
  mImporter = AnimCore::New<Importer>(MEMCATEGORY_IMPORTER);
  if (mImporter != nullptr && !RegisterStandardChunkProcessors(*mImporter)) return false;
  mActorManager = AnimCore::New<ActorManager>(MEMCATEGORY_ACTORMANAGER);
  mIDGenerator = AnimCore::New<IDGenerator>(MEMCATEGORY_IDGENERATOR);
  mLODGenerator = AnimCore::New<LODGenerator>(MEMCATEGORY_LODGENERATOR);
  mEventManager = AnimCore::New<EventManager>(MEMCATEGORY_MOTIONEVENT);
  mPlaceholder = AnimCore::New<Placeholder>(MEMCATEGORY_MESHDEFORMER);
  return mImporter != nullptr && mActorManager != nullptr &&
         mActorManager->GetCallBack() != nullptr && mActorManager->GetScheduler() != nullptr && mIDGenerator != nullptr &&
         mIDGenerator->GetNumStrings() == 1 && mLODGenerator != nullptr &&
         mEventManager != nullptr && mEventManager->GetEventHandler() != nullptr &&
         mPlaceholder != nullptr;
}

AnimCore::String AnimManager::GetLowVersionText() const {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f", static_cast<double>(mLowVersion) / 100.0);
  AnimCore::String result(text);
  result.TrimLeft('0').TrimLeft('.').TrimRight('0');
  return result;
}

void AnimManager::LogInfo() const {
  const AnimCore::String lowVersion = GetLowVersionText();
  AnimCore::Log("%s", kDashLine);
  AnimCore::Log("Anim - Information");
  AnimCore::Log("%s", kDashLine);
  AnimCore::Log("Version:          v%d.%s", static_cast<int>(mHighVersion), lowVersion.AsChar());
  AnimCore::Log("Version string:   %s", mVersionString.AsChar());
  AnimCore::Log("Compilation date: %s", mCompilationDate.AsChar());
  AnimCore::Log("OpenMP supported: No");
  AnimCore::Log("%s", kDashLine);
}

bool Initialize() {
  if (gAnimManager != nullptr) return true;
  AnimManager* manager = AnimCore::New<AnimManager>(MEMCATEGORY_ANIMMANAGER);
  if (manager == nullptr) return false;
  gAnimManager = manager;
  RegisterMemoryCategories();
  if (!manager->CreateSingletons()) {
    // A half-built library is of no use to anyone: take it down again.
    Shutdown();
    return false;
  }
  manager->LogInfo();
  return true;
}

void Shutdown() {
  AnimManager* manager = gAnimManager;
  if (manager == nullptr) return;
  // The singletons' destructors still reach the manager (the actor manager, the
  // event handler), so the pointer is cleared only once they are gone.
  AnimCore::Delete(manager);
  gAnimManager = nullptr;
}

AnimManager* GetAnimManager() { return gAnimManager; }

Importer* GetImporter() { return gAnimManager != nullptr ? gAnimManager->GetImporter() : nullptr; }

ActorManager* GetActorManager() {
  return gAnimManager != nullptr ? gAnimManager->GetActorManager() : nullptr;
}

EventManager* GetEventManager() {
  return gAnimManager != nullptr ? gAnimManager->GetEventManager() : nullptr;
}

}  // namespace Anim
