#include "engine/world/actor.h"

#include <cstdio>
#include <memory>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/node.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_motion_event_handler.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/scene.h"
#include "platform/win32/crt.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_actor";
constexpr float kPi = 3.14159265358979f;
constexpr int kActorResourceType = 2;
constexpr int kMotionResourceType = 8;
constexpr int kFacialResourceType = 14;

float NextIdleFrom(float now, float from, float to)
{
    return now + from + (to - from) * float(crt::rand()) / 32767.0f;
}

void StopAndDelete(cTarvelMobileAnimation*& animation, float fade = 0.3f)
{
    if (!animation)
        return;
    if (animation->mPlaying)
        animation->Stop(fade);
    delete animation;
    animation = nullptr;
}

// The whole motion, or the part from..to.
void PlayWholeOrRange(cTarvelMobileAnimation* animation, float from, float to, float blend)
{
    if (from == 0.0f && to == 0.0f)
        animation->Play(blend, 1.0f);
    else
        animation->PlayRange(blend, from, to);
}

bool CinematicSkipping()
{
    if (gCinematics.count <= 0)
        return false;
    const cTarvelCinematic* top = gCinematics.data[gCinematics.count - 1];
    return top && top->mInCall && top->mSkipping;
}

cTarvelScript* SceneScript()
{
    return gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
}

AnimCore::Matrix RotY(float a)
{
    AnimCore::Matrix m;
    m.SetRotationMatrixY(a);
    return m;
}

AnimCore::Matrix RotZ(float a)
{
    AnimCore::Matrix m;
    m.SetRotationMatrixZ(a);
    return m;
}

struct sLookAtSetup {
    int32_t slot;
    const char* bone;
    const char* otherBone;
    float speed;
    float factor;
    int rotations;   // 0 none, 1 head, 2 eye
    AnimCore::Vector3 min;
    AnimCore::Vector3 max;
};

// In the order they are added to the instance: spine first, the eyes last.
const sLookAtSetup kLookAtSetups[5] = {
    {cTarvelActor::kLookAtSpine1, "Bip01 Spine1", nullptr, 0.25f, 0.25f, 0, {-0.4f, -0.1f, -0.07f}, {0.4f, 0.1f, 0.07f}},
    {cTarvelActor::kLookAtSpine2, "Bip01 Spine2", nullptr, 0.5f, 0.5f, 0, {-0.4f, -0.1f, -0.05f}, {0.4f, 0.1f, 0.05f}},
    {cTarvelActor::kLookAtHead, "Bip01 Head", nullptr, 0.8f, 0.8f, 1, {-1.2f, -0.3f, 0.0f}, {1.2f, 1.2f, 0.0f}},
    {cTarvelActor::kLookAtEyeR, "Bone01_eyeR", "Bone_eyeR", 5.0f, 3.0f, 2, {-0.7f, 0.0f, -0.25f}, {0.7f, 0.0f, 0.5f}},
    {cTarvelActor::kLookAtEyeL, "Bone01_eyeL", "Bone_eyeL", 5.0f, 3.0f, 2, {-0.7f, 0.0f, -0.25f}, {0.7f, 0.0f, 0.5f}},
};

} // namespace

cTarvelActor::cTarvelActor(cTarvelString name, cTarvelString stateSuffix, bool noControl)
    : mName(name)
{
    mIdleNext = NextIdleFrom(gTarvel.mTimer.GetSeconds(), mIdleFrom, mIdleTo);
    if (stateSuffix.Length() == 0)
        stateSuffix = gTarvel.mGameState;
    if (mName != "OFF") {
        const cTarvelString resource = mName + "." + stateSuffix;
        cTarvelResource& resources = gTarvel.mResources;
        if (!resources.Exists(resource.c_str(), kActorResourceType))
            gTarvel.FatalError(0, kSourceFile, 75, "cTarvelActor::cTarvelActor",
                               "Actor file " + resource + " can not be loaded.", 0);
        // The script is read before anything is made, so that a fatal error
        // that returns to a guard leaves nothing behind.
        const int slot = resources.OpenResource(resource.c_str(), kActorResourceType);
        if (slot < 0)
            gTarvel.FatalError(0, kSourceFile, 64, "cTarvelActor::cTarvelActor",
                               "Actor file " + resource + " can not be found.", 0);
        auto script = std::make_unique<cTarvelScript>();
        script->ReadSymbolTable(slot, mName);
        resources.CloseResource(slot);
        mScript = script.release();
        mMobile = new cTarvelMobile();
        mMobile->mOwner = this;
        if (!noControl)
            mControl = new cTarvelActorControlDefault(this);
        mSymbol = mScript->FindSymbol(mName.c_str(), "cActor");
        if (mSymbol)
            mSymbol->object = gScriptHandles.Bind(this, eScriptObjectType::Actor);
    }
    if (!noControl && mSymbol && mScript)
        mScript->CallEvent(mSymbol, "OnLoad");
    CreateLookAtControllers();
}

cTarvelActor::~cTarvelActor()
{
    // Scripts holding this actor see it unbound.
    gScriptHandles.Release(this);
    delete mFacialAnimation;
    delete mAnimation;
    delete mLinkedAnimation;
    delete mTalkAnimation;
    delete mControl;
    delete mLinkedMobile;
    delete mMobile;
    delete mScript;
}

// ---- Per frame ---------------------------------------------------------------

int cTarvelActor::Update()
{
    if (!mVisible)
        return 0;
    const float frameTime = gTarvel.mTimer.mFrameSeconds;
    if (mControl) {
        mControl->Update();
        if (!mControl->mStanding)
            return 0;   // the control advanced the mobiles by the distance walked
        if (mTrigAnim) {
            if (mAnimation && !mAnimation->mPlaying) {
                delete mAnimation;
                mAnimation = nullptr;
            }
            mTrigAnim = false;
        }
    }
    // An actor without a control stands: its mobiles still advance.
    if (mMobile)
        mMobile->Update(frameTime);
    if (mLinkedMobile)
        mLinkedMobile->Update(frameTime);
    return 0;
}

void cTarvelActor::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (!mVisible)
        return;
    if (mMobile)
        mMobile->CollectRenderItems(list, stage);
    if (mLinkedMobile && !mLinkedHidden)
        mLinkedMobile->CollectRenderItems(list, stage);
}

// ---- Script-facing -------------------------------------------------------------

cTarvelWalkArea* cTarvelActor::SetWalkLayer(cTarvelWalkArea* layer)
{
    auto* control = dynamic_cast<cTarvelActorControlDefault*>(mControl);
    if (!control || control->mControlClass != 1)
        return nullptr;
    return control->SetWalkLayer(layer);
}

int32_t cTarvelActor::AddIdleAnimation(const sActorIdleAnimation& idle)
{
    mIdleAnimations.Add(idle);
    return mIdleAnimations.count - 1;
}

// ---- The player's actions --------------------------------------------------------

void cTarvelActor::StartPlayerWalk(cTarvelActor* player)
{
    cTarvelActorControl* control = player->mControl;
    const float x = mPathfinderDest[0];
    const float z = mPathfinderDest[1];
    const float height = control->GetFloorHeight(x, z, cTarvelActorControl::kNoFallback);
    control->WalkTo(x, height, z, mPathfinderDest[2], nullptr, nullptr);
}

void cTarvelActor::DoAction()
{
    cTarvelScript* script = SceneScript();
    if (!mSceneSymbol || !script)
        return;
    cTarvelActor* player = gTarvel.mPlayer;
    // Without a destination, or a player who cannot walk, the action runs
    // at once.
    if ((mPathfinderDest[0] == 0.0f && mPathfinderDest[1] == 0.0f) || !player || !player->mControl) {
        script->CallEvent(mSceneSymbol, "Do");
        return;
    }
    StartPlayerWalk(player);
    player->mControl->SetCallback(script, "Do", mSceneSymbol);
    gTarvel.mGameplay.mStateFlags |= cTarvelGameplay::kWalkingToObject;
}

void cTarvelActor::RunVerbEvent(const cTarvelString& eventName)
{
    cTarvelScript* script = SceneScript();
    if (!script)
        return;
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    cTarvelActor* player = gTarvel.mPlayer;
    cTarvelActorControl* control = player ? player->mControl : nullptr;
    if (!(gameplay.mStateFlags & cTarvelGameplay::kNoWalkToObjects) && control) {
        if (mPathfinderDest[0] != 0.0f || mPathfinderDest[1] != 0.0f)
            StartPlayerWalk(player);
        if (control->mWalking) {
            control->SetCallback(script, eventName, mSymbol);
            gameplay.mStateFlags |= cTarvelGameplay::kWalkingToObject;
            return;
        }
    }
    // Without its object the event is not sent; a bare call would run a
    // function of the same name.
    if (mSymbol)
        script->CallEvent(mSymbol, eventName.c_str());
}

void cTarvelActor::RunPlayerApproach()
{
    const cTarvelActor* player = gTarvel.mPlayer;
    cTarvelActorControl* control = player ? player->mControl : nullptr;
    // An actor without a scene object must not turn every plain walk (whose
    // symbol is none as well) into a run.
    if (control && mSceneSymbol && control->mWalking && control->GetCallbackSymbol() == mSceneSymbol)
        control->SetRun(true);
}

// ---- Animations ------------------------------------------------------------------

int cTarvelActor::PlayAnimation(const cTarvelString& name, int32_t flags, float from, float to)
{
    const bool skipping = CinematicSkipping();
    cTarvelResource& resources = gTarvel.mResources;
    if (flags & cTarvelMobileAnimation::kMorph) {
        if (skipping || !resources.Exists(name.c_str(), kFacialResourceType))
            return 0;
        StopAndDelete(mFacialAnimation);
        mFacialAnimation = new cTarvelMobileAnimation(mMobile, flags);
        mFacialAnimation->Load(name);
        PlayWholeOrRange(mFacialAnimation, from, to, 0.5f);
        return 0;
    }
    if (!resources.Exists(name.c_str(), kMotionResourceType))
        return 0;
    if (mControl)
        mControl->Stop();
    StopAndDelete(mAnimation);
    mAnimation = new cTarvelMobileAnimation(mMobile, flags);
    mAnimation->Load(name);
    if (skipping) {
        // A skipped cinematic still gets what the motion's events do, once
        // the animation is gone: a handler may play another on this actor.
        MotionEventHold hold;
        mAnimation->ProcessEvents();
        delete mAnimation;
        mAnimation = nullptr;
        return 0;
    }
    PlayWholeOrRange(mAnimation, from, to, 0.5f);
    mTrigAnim = true;
    return 0;
}

int cTarvelActor::PlaySpeechAnimation(const cTarvelString& name)
{
    if (CinematicSkipping() || !gTarvel.mResources.Exists(name.c_str(), kFacialResourceType))
        return 0;
    StopAndDelete(mTalkAnimation);
    mTalkAnimation = new cTarvelMobileAnimation(mMobile, cTarvelMobileAnimation::kMorph);
    mTalkAnimation->Load(name);
    mTalkAnimation->Play(0.1f, 1.0f);
    return 0;
}

void cTarvelActor::SetPose(const cTarvelString& poseName)
{
    if (mControl)
        mControl->ReleaseAnimations();
    mIdleAnimations.Clear();
    if (mScript && mSymbol)
        mScript->CallEvent(mSymbol, ("Pose" + poseName).c_str());
    mPose = poseName;
}

// ---- Look-at -------------------------------------------------------------------

MobileLookAtController* cTarvelActor::GetLookAtController(int32_t slot) const
{
    if (slot < 0 || slot >= 5 || !mLookAt[slot])
        return nullptr;
    // A mesh loaded again took the controllers with the old instance.
    Anim::ActorInstance* instance = mMobile ? mMobile->mInstance : nullptr;
    if (!instance || instance != mLookAtInstance)
        return nullptr;
    for (uint32_t i = 0; i < instance->GetNumWorldSpaceControllers(); ++i)
        if (instance->GetWorldSpaceController(i) == mLookAt[slot])
            return mLookAt[slot];
    return nullptr;
}

void cTarvelActor::DeleteLookAtControllers()
{
    for (int32_t slot = 0; slot < 5; ++slot) {
        if (MobileLookAtController* controller = GetLookAtController(slot))
            mLookAtInstance->RemoveWorldSpaceController(controller, true);
        mLookAt[slot] = nullptr;
    }
    Anim::ActorInstance* instance = mMobile ? mMobile->mInstance : nullptr;
    // Look-at controllers that someone else put on the instance go too;
    // the others (physics) stay.
    for (uint32_t i = instance ? instance->GetNumWorldSpaceControllers() : 0; i-- > 0;)
        if (instance->GetWorldSpaceController(i)->GetType() == Anim::LookAtController::TYPE_ID)
            instance->RemoveWorldSpaceController(i, true);
    mLookAtInstance = nullptr;
}

void cTarvelActor::CreateLookAtControllers()
{
    if (!mMobile || !mMobile->mActor || !mMobile->mInstance) {
        mLookAtID = -1;
        return;
    }
    DeleteLookAtControllers();
    Anim::Actor* actor = mMobile->mActor;
    Anim::ActorInstance* instance = mMobile->mInstance;
    mLookAtInstance = instance;
    for (const sLookAtSetup& setup : kLookAtSetups) {
        Anim::Node* node = actor->FindNodeByName(setup.bone);
        if (!node && setup.otherBone)
            node = actor->FindNodeByName(setup.otherBone);
        if (!node)
            continue;
        auto* controller = AnimCore::New<MobileLookAtController>(Anim::MEMCATEGORY_WORLDSPACECONTROLLER, instance,
                                                                 node->GetIndex());
        if (!controller)
            continue;
        controller->SetSpeed(setup.speed);
        mLookAtFactors[setup.slot] = setup.factor;
        if (setup.rotations == 1) {
            controller->SetPostRotation(RotY(-0.25f));
        } else if (setup.rotations == 2) {
            controller->SetPreRotation(RotY(kPi / 2) * RotZ(kPi / 2));
            controller->SetPostRotation(RotY(-kPi / 2) * RotZ(-kPi / 2));
        }
        controller->SetLimits(setup.min, setup.max);
        controller->SetConstraintType(Anim::LookAtController::CONSTRAINT_ELLIPSE);
        if (instance->AddWorldSpaceController(controller))
            mLookAt[setup.slot] = controller;
    }
    mLookAtID = -1;
}

namespace {

void LookAtOne(MobileLookAtController* controller, float factor, float x, float y, float z, float time)
{
    if (!controller)
        return;
    if (controller->GetWeight() < 0.001f)
        controller->InitRotationFromNode();
    controller->SetSpeed(factor / time);
    controller->SetGoal(x, y, z);
    controller->SetWeight(1.0f, time);
}

} // namespace

void cTarvelActor::SetLookAt(float x, float y, float z, int32_t id, float time)
{
    if (time == 0.0f)
        time = 1e-8f;
    for (int32_t slot = 0; slot < 5; ++slot)
        LookAtOne(GetLookAtController(slot), mLookAtFactors[slot], x, y, z, time);
    mLookAtID = id;
}

void cTarvelActor::SetLookAt2(float x, float y, float z, int32_t id, float time, bool eyeFlag, bool headFlag,
                              bool spineFlag)
{
    if (time == 0.0f)
        time = 1e-8f;
    if (headFlag)
        LookAtOne(GetLookAtController(kLookAtHead), mLookAtFactors[kLookAtHead], x, y, z, time);
    if (spineFlag)
        LookAtOne(GetLookAtController(kLookAtSpine1), mLookAtFactors[kLookAtSpine1], x, y, z, time);
    if (eyeFlag)
        LookAtOne(GetLookAtController(kLookAtEyeR), mLookAtFactors[kLookAtEyeR], x, y, z, time);
    mLookAtID = id;
}

void cTarvelActor::RemoveLookAt(int32_t id, float time)
{
    if (id != mLookAtID)
        return;
    for (int32_t slot = 0; slot < 5; ++slot)
        if (MobileLookAtController* controller = GetLookAtController(slot))
            controller->SetWeight(0.0f, time);
    mLookAtID = -1;
}

// ---- Linked object -----------------------------------------------------------------

void cTarvelActor::LinkObject(const cTarvelString& mobileName, const cTarvelString& boneName)
{
    UnlinkObject();
    mLinkedMobile = new cTarvelMobile();
    mLinkedMobile->mAttachedTo = mMobile;
    mLinkedMobile->Load(mobileName);
    mBone = boneName;
    Anim::Node* node = mMobile && mMobile->mActor ? mMobile->mActor->FindNodeByName(boneName.c_str()) : nullptr;
    if (node && mMobile->mInstance && mLinkedMobile->mInstance)
        mMobile->mInstance->AddAttachment(node->GetIndex(), mLinkedMobile->mInstance);
    else
        std::fprintf(stderr, "Actor %s: %s is not linked, it has no bone %s.\n", mName.c_str(), mobileName.c_str(),
                     boneName.c_str());
    mLinkedHidden = false;
}

void cTarvelActor::UnlinkObject()
{
    StopAndDelete(mLinkedAnimation);
    // The instance leaves the actor's attachments as it goes.
    delete mLinkedMobile;
    mLinkedMobile = nullptr;
}

int cTarvelActor::PlayLinkedAnimation(const cTarvelString& name, int32_t flags, float from, float to)
{
    if (!gTarvel.mResources.Exists(name.c_str(), kMotionResourceType))
        return 0;
    StopAndDelete(mLinkedAnimation);
    mLinkedAnimation = new cTarvelMobileAnimation(mLinkedMobile, flags | cTarvelMobileAnimation::kInPlace);
    mLinkedAnimation->Load(name);
    PlayWholeOrRange(mLinkedAnimation, from, to, 0.5f);
    return 0;
}

// ---- Savegame ------------------------------------------------------------------------

void cTarvelActor::Save(cTarvelSavegame& savegame)
{
    savegame.SetAttributeString("name", mName);
    savegame.WriteString("Caption", mCaption);
    savegame.WriteString("Pose", mPose);
    savegame.WriteInt("Enabled", mEnabled ? 1 : 0);
    savegame.WriteInt("Visible", mVisible ? 1 : 0);
    savegame.WriteInt("SpeechColor", int32_t(mSpeechColor));
    savegame.WriteVec3("PathfinderDest", mPathfinderDest);
    if (mSymbol)
        savegame.WriteString("Symbol", mSymbol->name);
    if (mSceneSymbol)
        savegame.WriteString("SceneSymbol", mSceneSymbol->name);
    savegame.WriteInt("LookatID", mLookAtID);
    if (mLookAtID != -1) {
        if (MobileLookAtController* head = GetLookAtController(kLookAtHead)) {
            const AnimCore::Vector3* goal = head->GetGoal();
            const float values[3] = {goal->x, goal->y, goal->z};
            savegame.WriteVec3("LookatGoal", values);
        }
    }
    savegame.WriteInt("TrigAnim", mTrigAnim ? 1 : 0);
    savegame.WriteFloat("IdleFrom", mIdleFrom);
    savegame.WriteFloat("IdleTo", mIdleTo);
    savegame.WriteTime("IdleNext", mIdleNext);
    for (const sActorIdleAnimation& idle : mIdleAnimations) {
        savegame.AddElement("Idle");
        savegame.WriteString("File", idle.name);
        savegame.WriteFloat("Weight", float(idle.weight));
        savegame.LeaveElement();
    }
    if (mMobile) {
        savegame.AddElement("Mobile");
        mMobile->Save(savegame);
        savegame.LeaveElement();
    }
    if (mAnimation) {
        savegame.AddElement("Animation");
        mAnimation->Save(savegame);
        savegame.LeaveElement();
    }
    if (mFacialAnimation) {
        savegame.AddElement("FacialAnimation");
        mFacialAnimation->Save(savegame);
        savegame.LeaveElement();
    }
    if (mControl) {
        savegame.AddElement("Control");
        mControl->Save(savegame);
        savegame.LeaveElement();
    }
    if (mLinkedMobile) {
        savegame.AddElement("LinkedMobile");
        savegame.SetAttributeInt("Prepare", mLinkedHidden ? 1 : 0);
        savegame.SetAttributeString("Bone", mBone);
        mLinkedMobile->Save(savegame);
        savegame.LeaveElement();
    }
    savegame.AddElement("Script");
    if (mScript)
        mScript->SaveState(savegame);
    savegame.LeaveElement();
}

void cTarvelActor::Load(cTarvelSavegame& savegame)
{
    mCaption = savegame.ReadString("Caption", mCaption);
    mPose = savegame.ReadString("Pose", mPose);
    if (mMobile && savegame.EnterElement("Mobile")) {
        // The mesh is read again: the old instance takes its controllers.
        DeleteLookAtControllers();
        mMobile->LoadState(savegame);
        savegame.LeaveElement();
    }
    if (mMobile && savegame.EnterElement("LinkedMobile")) {
        UnlinkObject();
        mLinkedMobile = new cTarvelMobile();
        mLinkedMobile->mAttachedTo = mMobile;
        mLinkedMobile->LoadState(savegame);
        mBone = savegame.GetAttributeString("Bone", "");
        Anim::Node* node = mMobile->mActor ? mMobile->mActor->FindNodeByName(mBone.c_str()) : nullptr;
        if (node && mMobile->mInstance && mLinkedMobile->mInstance)
            mMobile->mInstance->AddAttachment(node->GetIndex(), mLinkedMobile->mInstance);
        mLinkedHidden = savegame.GetAttributeInt("Prepare", 1) != 0;
        savegame.LeaveElement();
    }
    mEnabled = savegame.ReadInt("Enabled", 0) != 0;
    mVisible = savegame.ReadInt("Visible", 0) != 0;
    mSpeechColor = uint32_t(savegame.ReadInt("SpeechColor", 0));
    savegame.ReadVec3("PathfinderDest", mPathfinderDest);
    const cTarvelString sceneSymbol = savegame.ReadString("SceneSymbol", "");
    if (sceneSymbol.Length() > 0) {
        if (cTarvelScript* script = SceneScript()) {
            mSceneSymbol = script->FindSymbol(sceneSymbol.c_str(), "cNPC");
            if (mSceneSymbol)
                mSceneSymbol->object = gScriptHandles.Bind(this, eScriptObjectType::Actor);
        }
    }
    mTrigAnim = savegame.ReadInt("TrigAnim", 0) != 0;
    mIdleAnimations.Clear();
    mIdleFrom = savegame.ReadFloat("IdleFrom", mIdleFrom);
    mIdleTo = savegame.ReadFloat("IdleTo", mIdleTo);
    mIdleNext = savegame.ReadTime("IdleNext", 20.0f);
    if (savegame.EnterElement("Idle")) {
        do {
            const float weight = savegame.ReadFloat("Weight", 1.0f);
            // Out-of-range weights would not convert.
            const int32_t clamped = !(weight >= -2.0e9f) ? 0 : weight > 2.0e9f ? 2000000000 : int32_t(weight);
            mIdleAnimations.Add(sActorIdleAnimation{savegame.ReadString("File", ""), clamped});
        } while (savegame.NextElement("Idle"));
        savegame.LeaveElement();
    }
    const char* const animationElements[2] = {"Animation", "FacialAnimation"};
    cTarvelMobileAnimation** animations[2] = {&mAnimation, &mFacialAnimation};
    for (int i = 0; i < 2; ++i) {
        if (!savegame.EnterElement(animationElements[i]))
            continue;
        StopAndDelete(*animations[i], 0.0f);
        *animations[i] = new cTarvelMobileAnimation(mMobile, 0);
        (*animations[i])->LoadState(savegame);
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Control")) {
        delete mControl;
        mControl = nullptr;
        if (savegame.GetAttributeInt("class", 0) == 1) {
            mControl = new cTarvelActorControlDefault(this);
            mControl->Load(savegame);
        }
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Script")) {
        if (mScript)
            mScript->LoadState(savegame);
        savegame.LeaveElement();
    }
    CreateLookAtControllers();
    const int32_t id = savegame.ReadInt("LookatID", -1);
    if (id != -1) {
        float goal[3] = {};
        savegame.ReadVec3("LookatGoal", goal);
        SetLookAt(goal[0], goal[1], goal[2], id, 0.0f);
    }
}
