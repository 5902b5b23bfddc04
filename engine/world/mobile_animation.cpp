#include "engine/world/mobile_animation.h"

#include <cmath>
#include <cstdlib>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/local_space_controller.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "engine/core/tarvel.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_controllers.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_mobileanimation";
constexpr float kTwoPi = 6.2831855f;

Anim::MotionSystem* MotionsOf(const cTarvelMobile* owner)
{
    return owner && owner->mInstance ? owner->mInstance->GetMotionSystem() : nullptr;
}

// The rotation's angle about the vertical axis.
float Heading(const AnimCore::Quaternion& q)
{
    return 2.0f * std::atan2(q.y, q.w);
}

} // namespace

cTarvelMobileAnimation::cTarvelMobileAnimation(cTarvelMobile* owner, int32_t flags) : mOwner(nullptr), mFlags(flags)
{
    SetOwner(owner);
}

cTarvelMobileAnimation::~cTarvelMobileAnimation()
{
    if (mOwner) {
        for (int32_t i = 0; i < mOwner->mAnimations.Count(); ++i)
            if (mOwner->mAnimations[i] == this) {
                mOwner->mAnimations.RemoveAt(i);
                break;
            }
    }
    ReleaseMotion();
}

void cTarvelMobileAnimation::ReleaseMotion()
{
    // A stopped instance would fade out on a motion deleted here: every
    // instance of it leaves the owner's motion system at once.
    if (mMotion) {
        if (Anim::MotionSystem* motions = MotionsOf(mOwner))
            for (uint32_t i = motions->GetNumMotionInstances(); i-- > 0;)
                if (motions->GetMotionInstance(i)->GetMotion() == mMotion)
                    motions->RemoveMotionInstance(motions->GetMotionInstance(i));
        AnimCore::Delete(mMotion);
    }
    mMotion = nullptr;
    mInstance = nullptr;
    mPlaying = false;
}

void cTarvelMobileAnimation::SetOwner(cTarvelMobile* owner)
{
    if (mOwner)
        for (int32_t i = 0; i < mOwner->mAnimations.Count(); ++i)
            if (mOwner->mAnimations[i] == this) {
                mOwner->mAnimations.RemoveAt(i);
                break;
            }
    mOwner = owner;
    if (owner)
        owner->mAnimations.Add(this);
}

void cTarvelMobileAnimation::ForgetInstance()
{
    mInstance = nullptr;
    mPlaying = false;
}

void cTarvelMobileAnimation::Detach()
{
    // The owner's instance and its motions are going: nothing to stop.
    mInstance = nullptr;
    mPlaying = false;
    mOwner = nullptr;
}

bool cTarvelMobileAnimation::IsListed() const
{
    const Anim::MotionSystem* motions = MotionsOf(mOwner);
    return mInstance && motions && motions->IsListed(mInstance);
}

int cTarvelMobileAnimation::Load(const cTarvelString& name)
{
    const int type = (mFlags & kMorph) ? 14 : 8;
    cTarvelResource& resources = gTarvel.mResources;
    if (!resources.Exists(name.c_str(), type))
        return -1;
    const int slot = resources.OpenResource(name.c_str(), type);
    if (slot < 0)
        return -1;
    mName = name;
    const int result = Read(slot);
    resources.CloseResource(slot);
    return result;
}

int cTarvelMobileAnimation::Read(int slot)
{
    ReleaseMotion();
    cTarvelResource& resources = gTarvel.mResources;
    const uint32_t size = resources.GetSize(slot);
    uint8_t* block = size ? resources.ReadBlock(slot, size) : nullptr;
    Anim::Importer* importer = Anim::GetImporter();
    if (block && importer) {
        if (mFlags & kMorph)
            mMotion = importer->LoadPMorphMotion(block, size, nullptr);
        else
            mMotion = importer->LoadSkeletalMotion(block, size, nullptr);
    }
    std::free(block);
    if (!mMotion)
        gTarvel.FatalError(0, kSourceFile, 282, "cTarvelMobileAnimation::Read",
                           cTarvelString("Animation file processing failed: ") + mName + ".", 0);
    mMotion->UpdateMaxTime();
    return 0;
}

void cTarvelMobileAnimation::Play(float blend, float speed)
{
    Anim::MotionSystem* motions = MotionsOf(mOwner);
    if (!motions || !mMotion)
        return;
    if (mInstance)
        Stop(0.3f);
    Anim::sMotionPlayInfo info;
    info.blendInTime = (mFlags & kNoBlendIn) ? 0.0f : blend;
    info.blendOutTime = (mFlags & kNoFadeOut) ? 0.0f : blend;
    mFadeOutTime = info.blendOutTime;
    info.playSpeed = speed;
    info.numLoops = mLoop ? Anim::MotionInstance::kLoopForever : 1;
    info.mix = 1;
    info.freezeAtLastFrame = mLoop ? 0 : 1;
    info.priorityLevel = (mFlags & kLowPriority) ? 0 : 10;
    if (mFlags & kBackward)
        info.playMode = 1;
    if (mFlags & kMorph) {
        info.blendMode = 1;
        info.priorityLevel = 100;
    }
    mInstance = motions->PlayMotion(mMotion, &info);
    if (!mInstance)
        return;
    if (!(mFlags & kMorph)) {
        mInstance->SetFlag(kRepositioningFlag, !(mFlags & kInPlace));
        mInstance->SetInstanceFactor(mInstanceFactor);
    }
    mDuration = mMotion->GetMaxTime();
    mInstance->SetFlag(Anim::MotionInstance::FLAG_REMOVEUNDER, false);
    mPlaying = true;
}

void cTarvelMobileAnimation::PlayRange(float blend, float start, float end)
{
    Play(blend, 1.0f);
    if (IsListed()) {
        mInstance->SetCurrentTime(start);
        mInstance->SetMaxPlayTime(end);
    }
    mDuration = std::fabs(end - start);
}

void cTarvelMobileAnimation::Stop(float fade)
{
    if (fade < 0.0f)
        fade = 0.0f;
    mPlaying = false;
    if (IsListed())
        mInstance->Stop(fade);
    mInstance = nullptr;
}

void cTarvelMobileAnimation::StopIfPlaying()
{
    if (mPlaying)
        Stop(0.3f);
}

void cTarvelMobileAnimation::Update()
{
    if (!mInstance || !mMotion || !MotionsOf(mOwner))
        return;
    if (!IsListed()) {
        Stop(0.3f);
        return;
    }
    if (!mLoop) {
        const float played = mInstance->GetTotalPlayTime();
        if (!(mFlags & kNoFadeOut)) {
            // The fade-out ends with the motion.
            if (mDuration - mFadeOutTime < played) {
                Stop(mDuration - played);
                return;
            }
        } else if (mDuration < played) {
            Stop(0.3f);
            return;
        }
    }
    const Anim::MotionInstance& instance = *mInstance;
    const bool running = (instance.GetMaxLoops() == Anim::MotionInstance::kLoopForever ||
                          instance.GetCurrentLoop() < instance.GetMaxLoops()) &&
                         (instance.GetMaxPlayTime() <= 0.0f || instance.GetCurrentTime() < instance.GetMaxPlayTime()) &&
                         !instance.HasEnded();
    mPlaying = running && !instance.IsStopping();
}

void cTarvelMobileAnimation::ProcessEvents()
{
    if (!mMotion || !mOwner || !mOwner->mInstance)
        return;
    mMotion->GetEventTable().ProcessEvents(mInstance ? mInstance->GetCurrentTime() : 0.0f, 1024.0f,
                                           mOwner->mInstance, mInstance);
}

float cTarvelMobileAnimation::GetDuration() const
{
    return mMotion ? mMotion->GetMaxTime() : 0.0f;
}

float cTarvelMobileAnimation::GetCurrentTime() const
{
    return mInstance ? mInstance->GetCurrentTime() : 0.0f;
}

float cTarvelMobileAnimation::GetTurnAngle(bool positive)
{
    if (mTurnAngleComputed)
        return mTurnAngle;
    Anim::MotionSystem* motions = MotionsOf(mOwner);
    Anim::Actor* actor = mOwner ? mOwner->mActor : nullptr;
    const int32_t node = actor ? actor->GetRepositioningNode() : -1;
    if (!motions || !mMotion || node < 0 || uint32_t(node) >= actor->GetNumNodes())
        return mTurnAngle;
    // A private instance, never listed: the motion's pose at both ends.
    Anim::MotionInstance* instance = motions->CreateMotionInstance(mMotion, Anim::sMotionPlayInfo());
    if (!instance)
        return mTurnAngle;
    mMotion->CreateMotionLinks(actor, instance);
    Anim::Transform first, last;
    mMotion->CalcNodeTransform(instance, first, actor, uint32_t(node), 0.0f, false);
    mMotion->CalcNodeTransform(instance, last, actor, uint32_t(node), mMotion->GetMaxTime(), false);
    AnimCore::Delete(instance);

    const float delta = Heading(last.rotation) - Heading(first.rotation);
    const AnimCore::Quaternion turn(0.0f, std::sin(delta * 0.5f), 0.0f, std::cos(delta * 0.5f));
    AnimCore::Vector3 axis;
    float angle = 0.0f;
    turn.ToAxisAngle(axis, angle);
    if (axis.y < 0.0f)
        angle = -angle;
    if (positive) {
        while (angle >= kTwoPi)
            angle -= kTwoPi;
        while (angle < 0.0f)
            angle += kTwoPi;
    } else {
        while (angle > 0.0f)
            angle -= kTwoPi;
        while (angle < -kTwoPi)
            angle += kTwoPi;
    }
    mTurnAngle = angle;
    mTurnAngleComputed = true;
    return mTurnAngle;
}

void cTarvelMobileAnimation::Save(cTarvelSavegame& savegame)
{
    savegame.WriteString("File", mName);
    savegame.WriteFloat("Duration", mDuration);
    savegame.WriteFloat("FadeOutTime", mFadeOutTime);
    savegame.WriteInt("Flags", mFlags);
    savegame.WriteInt("Loop", mLoop ? 1 : 0);
    savegame.WriteInt("Playing", mPlaying ? 1 : 0);
    if (mInstance) {
        savegame.WriteFloat("Position", mInstance->GetPreviousTime());
        savegame.WriteFloat("MaxPlayTime", mInstance->GetMaxPlayTime());
    }
}

void cTarvelMobileAnimation::LoadState(cTarvelSavegame& savegame)
{
    const cTarvelString name = savegame.ReadString("File", "");
    if (name.Length() > 0)
        Load(name);
    mDuration = savegame.ReadFloat("Duration", 0.0f);
    mFadeOutTime = savegame.ReadFloat("FadeOutTime", 0.0f);
    mFlags = savegame.ReadInt("Flags", 0);
    mLoop = savegame.ReadInt("Loop", 0) != 0;
    mPlaying = savegame.ReadInt("Playing", 0) != 0;
    if (!mPlaying)
        return;
    Play(0.0f, 1.0f);
    if (mInstance) {
        mInstance->SetCurrentTime(savegame.ReadFloat("Position", 0.0f));
        mInstance->SetMaxPlayTime(savegame.ReadFloat("MaxPlayTime", 0.0f));
    }
}

// ---- The mobile's base animation ---------------------------------------------

void cTarvelMobile::SetBaseAnimation(const char* name)
{
    if (mBaseController && mInstance) {
        mBaseController->Deactivate(0.0f);
        for (uint32_t i = 0; i < mInstance->GetNumLocalSpaceControllers(); ++i)
            if (mInstance->GetLocalSpaceController(i) == mBaseController) {
                mInstance->RemoveLocalSpaceController(i, true);
                break;
            }
    }
    mBaseController = nullptr;
    delete mBaseAnimation;
    mBaseAnimation = nullptr;
    if (!mInstance || !name)
        return;

    auto* animation = new cTarvelMobileAnimation(this, 0);
    if (animation->Load(name) != 0 || !animation->mMotion) {
        delete animation;
        return;
    }
    mBaseAnimation = animation;
    Anim::sMotionPlayInfo info;
    info.blendInTime = 0.0f;
    info.blendOutTime = 0.0f;
    info.numLoops = 0;
    info.playNow = 0;
    Anim::MotionInstance* instance = mInstance->GetMotionSystem()->CreateMotionInstance(animation->mMotion, info);
    if (!instance)
        return;
    auto* controller = AnimCore::New<MobileBaseAnimationController>(Anim::MEMCATEGORY_LOCALSPACECONTROLLER,
                                                                     mInstance, instance);
    if (!controller) {
        AnimCore::Delete(instance);
        return;
    }
    if (!mInstance->AddLocalSpaceController(controller))
        return;
    mBaseController = controller;
    controller->Activate(0, 0.0f);
}
