#include "engine/gameplay/control_flashlight.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/node.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/control_binding.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/flashlight.h"
#include "engine/script/script_api.h"
#include "engine/script/script_value.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

const bool kRegistered = RegisterControlClass(cTarvelControlFlashlight::kClassId, cTarvelControlFlashlight::Load);

constexpr float kPi = 3.14159265f;
constexpr const char* kArmNode = "Bip01 R Forearm";

// The mobile a saved name stands for: the name is the script object the
// mobile was added through, so a shared script value of that name ("PC"
// for the player, whatever the player's actor is called) is looked up
// first; then the player, a scene actor or a free mobile by its own name.
cTarvelMobile* FindMobile(const cTarvelString& name)
{
    if (name.Length() == 0)
        return nullptr;
    if (const cTarvelScriptValue* value = cTarvelGameplay::FindValue(name.c_str()))
        if (cTarvelMobile* mobile = ScriptMobileOf<cTarvelActor, cTarvelMobile>(value))
            return mobile;
    const cTarvelActor* player = gTarvel.mPlayer;
    if (player && player->mMobile && player->mName == name)
        return player->mMobile;
    const cTarvelScene* scene = gTarvel.mScene;
    if (!scene)
        return nullptr;
    for (const cTarvelActor* actor : scene->mActors)
        if (actor && actor->mMobile &&
            (actor->mName == name || (actor->mSceneSymbol && actor->mSceneSymbol->name == name)))
            return actor->mMobile;
    for (cTarvelMobile* mobile : scene->mMobiles)
        if (mobile && (mobile->mSymbol == name || mobile->mFreeID == name))
            return mobile;
    return nullptr;
}

bool HoldsController(const cTarvelMobile* mobile, const Anim::Controller* controller)
{
    if (!mobile || !mobile->mInstance || !controller)
        return false;
    const Anim::ActorInstance* instance = mobile->mInstance;
    for (uint32_t i = 0; i < instance->GetNumWorldSpaceControllers(); ++i)
        if (instance->GetWorldSpaceController(i) == controller)
            return true;
    return false;
}

}  // namespace

cTarvelControlFlashlight::cTarvelControlFlashlight(const cTarvelString& symbol, const cTarvelString& imageIndex,
                                                   const cTarvelString& animName, const cTarvelString& startBone)
    : cTarvelControl(kClassId), mSymbolName(symbol)
{
    Init(imageIndex, animName, startBone);
}

cTarvelControlFlashlight::cTarvelControlFlashlight(cTarvelSavegame& savegame) : cTarvelControl(kClassId)
{
    (void)kRegistered;
    mSymbolName = savegame.ReadString("Symbol", "");
    BindControlSymbol(this, mSymbolName, eScriptObjectType::CtrlFlashlight);
    const cTarvelString startBone = savegame.ReadString("StartBone", "");
    const cTarvelString anim = savegame.ReadString("Anim", "");
    const cTarvelString imageIndex = savegame.ReadString("ImageIndex", "");
    Init(imageIndex, anim, startBone);
    cTarvelScene* scene = gTarvel.mScene;
    if (savegame.EnterElement("View")) {
        do {
            const cTarvelString name = savegame.GetAttributeString("name", "");
            if (cTarvelView* view = scene && name.Length() > 0 ? scene->FindView(name.c_str()) : nullptr)
                AddView(view);
        } while (savegame.NextElement("View"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Mobile")) {
        do {
            const cTarvelString name = savegame.GetAttributeString("name", "");
            if (cTarvelMobile* mobile = FindMobile(name))
                AddMobile(mobile, name);
        } while (savegame.NextElement("Mobile"));
        savegame.LeaveElement();
    }
}

cTarvelControl* cTarvelControlFlashlight::Load(cTarvelSavegame& savegame)
{
    return new cTarvelControlFlashlight(savegame);
}

cTarvelMobile* cTarvelControlFlashlight::PlayerMobile()
{
    const cTarvelActor* player = gTarvel.mPlayer;
    return player ? player->mMobile : nullptr;
}

void cTarvelControlFlashlight::Init(const cTarvelString& imageIndex, const cTarvelString& animName,
                                    const cTarvelString& startBone)
{
    mFinished = false;
    mImageIndex = imageIndex;
    mStartBone = startBone;
    mAnimName = animName;
    gTarvel.mLights.SetFlashlight(true);

    cTarvelActor* player = gTarvel.mPlayer;
    cTarvelMobile* mobile = PlayerMobile();
    if (!mobile || !mobile->mInstance || !mobile->mActor)
        return;
    Anim::ActorInstance* instance = mobile->mInstance;

    // The holding animation plays on the player's mobile without joining its
    // list: the mobile's update must not advance or end it.
    if (animName.Length() > 0) {
        mHoldAnim = new cTarvelMobileAnimation(nullptr, 0);
        mHoldAnim->mOwner = mobile;
        mHoldMobile = mobile;
        Anim::MotionSystem* motions = instance->GetMotionSystem();
        if (mHoldAnim->Load(animName) == 0 && mHoldAnim->mMotion && motions) {
            Anim::sMotionPlayInfo info;
            info.blendInTime = 0.75f;
            info.blendOutTime = 0.0f;
            info.playSpeed = 1.0f;
            info.targetWeight = 1.0f;
            info.numLoops = Anim::MotionInstance::kLoopForever;
            info.priorityLevel = 20;
            const Anim::Node* start = mobile->mActor->FindNodeByName(startBone.c_str());
            info.startNodeIndex = start ? int32_t(start->GetIndex()) : -1;
            info.mix = 1;
            if (Anim::MotionInstance* motion = motions->PlayMotion(mHoldAnim->mMotion, &info)) {
                motion->SetFlag(cTarvelMobileAnimation::kRepositioningFlag, false);
                motion->SetFlag(Anim::MotionInstance::FLAG_DELETEONZEROWEIGHT, false);
                motion->SetFlag(Anim::MotionInstance::FLAG_REMOVEUNDER, true);
                mHoldAnim->mInstance = motion;
                mHoldAnim->mPlaying = true;
            }
        }
    }

    if (player && player->mLinkedMobile && player->mLinkedMobile->mInstance) {
        mCone = new cTarvelMobile;
        mCone->Load("Flashlight_Lightcone");
        if (gTarvel.mShaders.LoadShader("flashlight", "lightcone", &mConeShader, false))
            mCone->mOverrideShader = &mConeShader;
        if (mCone->mInstance && player->mLinkedMobile->mInstance->AddAttachment(0, mCone->mInstance))
            mConeHolder = player->mLinkedMobile;
    }

    if (const Anim::Node* arm = mobile->mActor->FindNodeByName(kArmNode)) {
        mArmLookAt = AnimCore::New<MobileLookAtController>(Anim::MEMCATEGORY_WORLDSPACECONTROLLER, instance,
                                                           arm->GetIndex());
        if (mArmLookAt) {
            mArmLookAt->SetSpeed(0.8f);
            AnimCore::Matrix pre;
            pre.SetRotationMatrixY(kPi / 2.0f);
            mArmLookAt->SetPreRotation(pre);
            AnimCore::Matrix turn, tilt;
            turn.SetRotationMatrixY(-kPi / 2.0f - 0.15f);
            tilt.SetRotationMatrixAxisAngle(AnimCore::Vector3(1.0f, 0.0f, 0.0f), -0.05f);
            mArmLookAt->SetPostRotation(turn * tilt);
            mArmLookAt->SetLimits(AnimCore::Vector3(1.57f, -0.2f, 0.0f), AnimCore::Vector3(3.64f, 1.5f, 0.0f));
            mArmLookAt->Activate(0.0f);
            if (instance->AddWorldSpaceController(mArmLookAt))
                mArmMobile = mobile;
            else
                mArmLookAt = nullptr;
        }
    }
}

cTarvelControlFlashlight::~cTarvelControlFlashlight()
{
    gTarvel.mLights.SetFlashlight(false);
    const cTarvelActor* player = gTarvel.mPlayer;
    const bool holderLive = player && mConeHolder && player->mLinkedMobile == mConeHolder;
    if (mCone && holderLive && mConeHolder->mInstance)
        mConeHolder->mInstance->RemoveAttachmentByInstance(mCone->mInstance, true);
    if (mHoldAnim) {
        // A mobile that went away took the motion's instances with it.
        if (mHoldMobile != PlayerMobile())
            mHoldAnim->mOwner = nullptr;
        if (mHoldAnim->IsListed()) {
            mHoldAnim->mInstance->SetFlag(Anim::MotionInstance::FLAG_DELETEONZEROWEIGHT, false);
            mHoldAnim->Stop(0.3f);
        }
        delete mHoldAnim;
    }
    // The arm controller leaves with the control; another flashlight makes
    // its own.
    if (mArmLookAt && mArmMobile == PlayerMobile() && HoldsController(mArmMobile, mArmLookAt))
        mArmMobile->mInstance->RemoveWorldSpaceController(mArmLookAt, true);
    delete mCone;
}

void cTarvelControlFlashlight::AddView(cTarvelView* view)
{
    cTarvelFlashlight* light = gTarvel.mLights.mFlashlight;
    if (!view)
        return;
    const uint32_t meshes = gTarvel.mScene ? uint32_t(gTarvel.mScene->mMeshes.size()) : 0;
    const uint32_t count = view->mMeshSettingCount < meshes ? view->mMeshSettingCount : meshes;
    for (uint32_t i = 0; light && i < count; ++i) {
        sSceneMesh& entry = view->mMeshSettings[i];
        if (entry.renderMethod != 1 || !entry.mesh)
            continue;
        cTarvelString name(entry.mesh->name);
        name += mImageIndex;
        // Looked up: a mesh without a lit picture stays dark.
        if (cTarvelImage* layer = view->FindImageLayer(name, false))
            light->AddViewReceiver(&entry, layer);
    }
    mViews.Add(view);
}

void cTarvelControlFlashlight::AddMobile(cTarvelMobile* mobile, const cTarvelString& name)
{
    if (cTarvelFlashlight* light = gTarvel.mLights.mFlashlight)
        if (mobile)
            light->AddMobileReceiver(mobile);
    mMobiles.Add(name);
}

void cTarvelControlFlashlight::End()
{
    if (cTarvelActor* player = gTarvel.mPlayer)
        player->RemoveLookAt(kLookAtId, 1.0f);
    gTarvel.mLights.SetFlashlight(false);
    if (mArmLookAt && mArmMobile == PlayerMobile() && HoldsController(mArmMobile, mArmLookAt))
        mArmLookAt->Deactivate(0.3f);
    mFinished = true;
}

void cTarvelControlFlashlight::Update()
{
    cTarvelFlashlight* light = gTarvel.mLights.mFlashlight;
    if (!light) {
        mFinished = true;
        return;
    }
    cTarvelActor* player = gTarvel.mPlayer;
    cTarvelMobile* mobile = PlayerMobile();
    cTarvelScene* scene = gTarvel.mScene;
    D3DXVECTOR3 point;
    if (scene && player && scene->Pick(&point, gTarvel.mGameplay.mMouseX, gTarvel.mGameplay.mMouseY)) {
        player->SetLookAt(point.x, point.y, point.z, kLookAtId, 1.0f);
        if (mArmLookAt && mArmMobile == mobile && HoldsController(mobile, mArmLookAt)) {
            mArmLookAt->SetSpeed(0.8f);
            mArmLookAt->SetGoal(point.x, point.y, point.z);
            mArmLookAt->Activate(2.0f);
        }
    }
    if (mobile)
        light->mPosition = D3DXVECTOR3(mobile->mPosition.x, mobile->mPosition.y + 110.0f, mobile->mPosition.z);
    if (mCone) {
        mCone->Update(gTarvel.mTimer.mFrameSeconds);
        D3DXMATRIX node;
        mCone->GetNodeWorldMatrix(0, &node);
        const D3DXVECTOR3 ahead(0.0f, 0.0f, 100.0f);
        D3DXVec3TransformCoord(&light->mTarget, &ahead, &node);
    }
}

void cTarvelControlFlashlight::CollectRenderItems(tArray<sRenderItem>& list, int)
{
    if (mCone)
        list.Add({0.1f, mCone, 2});
}

void cTarvelControlFlashlight::Save(cTarvelSavegame& savegame)
{
    SaveClass(savegame);
    savegame.WriteString("Symbol", mSymbolName);
    savegame.WriteString("ImageIndex", mImageIndex);
    savegame.WriteString("Anim", mAnimName);
    savegame.WriteString("StartBone", mStartBone);
    for (const cTarvelView* view : mViews) {
        savegame.AddElement("View");
        savegame.SetAttributeString("name", view ? view->Name() : "");
        savegame.LeaveElement();
    }
    for (const cTarvelString& name : mMobiles) {
        savegame.AddElement("Mobile");
        savegame.SetAttributeString("name", name);
        savegame.LeaveElement();
    }
}
