#include "engine/world/mobile_motion_event_handler.h"

#include <iterator>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/node.h"
#include "engine/core/string.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"

namespace {

enum : uint32_t {
    kEventLink = 0,
    kEventUnlink = 1,
    kEventFootstep = 2,
    kEventScriptScene = 3,
    kEventScriptSceneDirect = 4,
    kEventLinkFree = 5,
    kEventUnlinkFree = 6,
    kEventSetPose = 7,
    kEventRotationEnd = 8,
    kEventSound = 9,
    kEventSound3D = 10,
};

// Sounds are not played while the newest cinematic is being skipped.
bool Skipping()
{
    if (gCinematics.count == 0)
        return false;
    const cTarvelCinematic* top = gCinematics.data[gCinematics.count - 1];
    return top && top->mSkipping;
}

cTarvelMobile* FindFreeMobile(const cTarvelString& freeId)
{
    cTarvelScene* scene = gTarvel.mScene;
    if (!scene)
        return nullptr;
    for (int32_t i = 0; i < scene->mMobiles.Count(); ++i) {
        cTarvelMobile* mobile = scene->mMobiles[i];
        if (mobile && mobile->mFreeID == freeId)
            return mobile;
    }
    return nullptr;
}

void LinkFree(cTarvelMobile* mobile, const tStringArray& pieces)
{
    cTarvelMobile* free = FindFreeMobile(pieces[0]);
    const Anim::Node* node = mobile->mActor ? mobile->mActor->FindNodeByName(pieces[1].c_str()) : nullptr;
    if (!free || !node || !free->mInstance)
        return;
    // Attached first: an instance that already hangs somewhere stays where it is.
    if (!mobile->mInstance->AddAttachment(node->GetIndex(), free->mInstance))
        return;
    free->mAttachedTo = mobile;
    free->mInstance->SetPosition(AnimCore::Vector3(0.0f, 0.0f, 0.0f));
    free->mInstance->SetRotation(AnimCore::Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
}

void UnlinkFree(cTarvelMobile* mobile, const tStringArray& pieces)
{
    cTarvelMobile* free = FindFreeMobile(pieces[0]);
    // One hanging on another mobile is not this one's to let go.
    if (!free || (free->mAttachedTo && free->mAttachedTo != mobile))
        return;
    free->mAttachedTo = nullptr;
    if (free->mInstance)
        mobile->mInstance->RemoveAttachmentByInstance(free->mInstance, true);
    free->Update(0.01f);
}

struct sHeldEvent {
    cTarvelMobile* mobile;
    uint32_t id;
    cTarvelString text;
};

int gHoldDepth = 0;

std::vector<sHeldEvent>& HeldEvents()
{
    static std::vector<sHeldEvent> events;
    return events;
}

void Dispatch(cTarvelMobile* mobile, uint32_t eventTypeID, const cTarvelString& text);

} // namespace

MotionEventHold::MotionEventHold() : mFirst(HeldEvents().size())
{
    ++gHoldDepth;
}

MotionEventHold::~MotionEventHold()
{
    --gHoldDepth;
    std::vector<sHeldEvent>& held = HeldEvents();
    if (held.size() == mFirst)
        return;
    std::vector<sHeldEvent> mine(std::make_move_iterator(held.begin() + std::ptrdiff_t(mFirst)),
                                 std::make_move_iterator(held.end()));
    held.resize(mFirst);
    for (const sHeldEvent& event : mine)
        Dispatch(event.mobile, event.id, event.text);
}

void MobileMotionEventHandler::OnEvent(float, uint32_t eventTypeID, const char* parameters,
                                       Anim::ActorInstance* actorInstance, Anim::MotionInstance*)
{
    if (!actorInstance || eventTypeID > kEventSound3D)
        return;
    auto* mobile = static_cast<cTarvelMobile*>(actorInstance->GetCustomData());
    if (!mobile)
        return;
    cTarvelString text(parameters ? parameters : "");
    if (gHoldDepth > 0)
        HeldEvents().push_back({mobile, eventTypeID, std::move(text)});
    else
        Dispatch(mobile, eventTypeID, text);
}

namespace {

void Dispatch(cTarvelMobile* mobile, uint32_t eventTypeID, const cTarvelString& text)
{
    tStringArray pieces;
    SplitString(text, pieces, ';');
    cTarvelActor* actor = mobile->mOwner;

    switch (eventTypeID) {
    case kEventLink:
        if (actor)
            actor->mLinkedHidden = false;
        break;
    case kEventUnlink:
        if (actor)
            actor->UnlinkObject();
        break;
    case kEventFootstep:
        if (actor && !Skipping()) {
            const float now = gTarvel.mTimer.GetSeconds();
            if (actor->mLastFootstep < now - 0.2f) {
                const float position[3] = {mobile->mPosition.x, mobile->mPosition.y, mobile->mPosition.z};
                gTarvel.mSound.PlaySound3D(actor->mFootstepSound.c_str(), position, actor->mFootstepVolume, 0);
                actor->mLastFootstep = now;
            }
        }
        break;
    case kEventScriptScene:
        if (cTarvelScene* scene = gTarvel.mScene; scene && scene->mScript)
            scene->mScript->CallEvent(scene->mScriptObject, text.c_str());
        break;
    case kEventScriptSceneDirect:
        if (cTarvelScene* scene = gTarvel.mScene; scene && scene->mScript)
            scene->mScript->CallFunction(text.c_str(), nullptr);
        break;
    case kEventLinkFree:
        if (actor && pieces.Count() >= 2)
            LinkFree(mobile, pieces);
        break;
    case kEventUnlinkFree:
        if (actor && pieces.Count() >= 1)
            UnlinkFree(mobile, pieces);
        break;
    case kEventSetPose:
        if (actor)
            actor->SetPose(text);
        break;
    case kEventRotationEnd:
        mobile->mRotationEnd = true;
        break;
    case kEventSound:
        if (!Skipping() && pieces.Count() >= 3)
            gTarvel.mSound.PlaySound(pieces[0].c_str(), pieces[1].ToFloat(), "", uint32_t(pieces[2].ToInt()), 0);
        break;
    case kEventSound3D:
        if (!Skipping() && pieces.Count() >= 3) {
            const float position[3] = {mobile->mPosition.x, mobile->mPosition.y, mobile->mPosition.z};
            gTarvel.mSound.PlaySound3D(pieces[0].c_str(), position, pieces[1].ToFloat(),
                                       uint32_t(pieces[2].ToInt()));
        }
        break;
    default:
        break;
    }
}

} // namespace
