#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"

namespace Anim {
class ActorInstance;
} // namespace Anim

class cTarvelActorControl;
class cTarvelMobile;
class cTarvelMobileAnimation;
class cTarvelSavegame;
class cTarvelScript;
class cTarvelScriptValue;
class cTarvelWalkArea;
class MobileLookAtController;

// An idle animation the scripts list for an actor, with its weight.
struct sActorIdleAnimation {
    cTarvelString name;
    int32_t weight = 0;
};

// A character: its mobile, the control that walks it, its own script, an
// object linked to one of its bones, look-at controllers on its spine, head
// and eyes, and its body, facial, talk and linked-object animations.
class cTarvelActor {
public:
    // Look-at controller slots.
    enum : int32_t { kLookAtHead = 0, kLookAtSpine1 = 1, kLookAtSpine2 = 2, kLookAtEyeR = 3, kLookAtEyeL = 4 };

    // Reads the actor script name + "." + stateSuffix (the game state when
    // the suffix is empty); "OFF", the off-screen voice, has no resource.
    cTarvelActor(cTarvelString name, cTarvelString stateSuffix, bool noControl);
    ~cTarvelActor();
    cTarvelActor(const cTarvelActor&) = delete;
    cTarvelActor& operator=(const cTarvelActor&) = delete;

    // Per frame.
    int Update();
    void CollectRenderItems(tArray<sRenderItem>& list, int stage);

    // Script-facing.
    cTarvelWalkArea* SetWalkLayer(cTarvelWalkArea* layer);
    int32_t AddIdleAnimation(const sActorIdleAnimation& idle);

    // The player's actions on this actor.
    void DoAction();
    void RunVerbEvent(const cTarvelString& eventName);
    void RunPlayerApproach();

    // Animations. Flag 0x80 picks the facial animation; from = to = 0 plays
    // the whole motion.
    int PlayAnimation(const cTarvelString& name, int32_t flags, float from, float to);
    int PlaySpeechAnimation(const cTarvelString& name);
    void SetPose(const cTarvelString& poseName);

    // Look-at; times in seconds.
    void CreateLookAtControllers();
    void SetLookAt(float x, float y, float z, int32_t id, float time);
    void SetLookAt2(float x, float y, float z, int32_t id, float time, bool eyeFlag, bool headFlag, bool spineFlag);
    void RemoveLookAt(int32_t id, float time);
    // The controller of a slot while the mobile's instance still holds it.
    MobileLookAtController* GetLookAtController(int32_t slot) const;

    // Linked object.
    void LinkObject(const cTarvelString& mobileName, const cTarvelString& boneName);
    void UnlinkObject();
    int PlayLinkedAnimation(const cTarvelString& name, int32_t flags, float from, float to);

    void Save(cTarvelSavegame& savegame);
    void Load(cTarvelSavegame& savegame);

    float mLookAtFactors[5] = {};
    cTarvelMobile* mMobile = nullptr;         // owned
    cTarvelMobile* mLinkedMobile = nullptr;   // owned
    // The linked mobile is loaded but not drawn until its "link" event;
    // saved as "Prepare".
    bool mLinkedHidden = false;
    cTarvelActorControl* mControl = nullptr;   // owned; null when it has none
    // Owned by the mobile's actor instance; see GetLookAtController.
    MobileLookAtController* mLookAt[5] = {};
    Anim::ActorInstance* mLookAtInstance = nullptr;   // the instance they were made for
    cTarvelScript* mScript = nullptr;                 // owned
    cTarvelScriptValue* mSymbol = nullptr;            // "cActor" object of its own script
    cTarvelScriptValue* mSceneSymbol = nullptr;       // "cNPC" object of the scene's script
    int32_t mLookAtID = -1;
    cTarvelMobileAnimation* mAnimation = nullptr;         // body; owned
    cTarvelMobileAnimation* mFacialAnimation = nullptr;   // owned
    cTarvelMobileAnimation* mLinkedAnimation = nullptr;   // owned
    cTarvelMobileAnimation* mTalkAnimation = nullptr;     // owned
    bool mEnabled = false;
    bool mVisible = false;
    // x, z and the arrival direction of the player's walk before an action;
    // (0, 0) is none.
    float mPathfinderDest[3] = {};
    tArray<sActorIdleAnimation> mIdleAnimations;
    float mIdleFrom = 10.0f;
    float mIdleTo = 20.0f;
    float mIdleNext = 0.0f;
    // A body animation was started; the first idle update drops it once it
    // has ended.
    bool mTrigAnim = false;
    uint32_t mSpeechColor = 0xFFFFFF40u;
    cTarvelString mFootstepSound;
    float mFootstepVolume = 0.0f;
    float mLastFootstep = 0.0f;
    cTarvelString mName;
    cTarvelString mCaption;
    cTarvelString mPose;
    cTarvelString mBone;
    // Set by the scene change for the player's actor.
    bool mIsPlayer = false;

private:
    void StartPlayerWalk(cTarvelActor* player);
    void DeleteLookAtControllers();
};
