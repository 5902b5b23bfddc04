#include "engine/gameplay/cinematic.h"

#include <cstdio>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cancel_request.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/pda.h"
#include "engine/gameplay/screen_control.h"
#include "engine/gameplay/speech.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_motion_event_handler.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

// The fade that follows a skip: from black over two seconds.
constexpr int32_t kFadeFromBlack = 2;
constexpr float kSkipFadeSeconds = 2.0f;
// The fade state of a cross-fade whose old picture is not captured yet.
constexpr int32_t kCrossFadeRequested = 7;

bool AnimationOver(const cTarvelMobileAnimation* animation, const cTarvelString& name)
{
    return !animation || animation->mName != name || !animation->mPlaying;
}

// What a skip does to one actor: its animation ends where it is with its
// motion events fired, its look-at goes at once and its walk ends at the
// path's end.
void SkipActor(cTarvelActor* actor)
{
    if (!actor)
        return;
    if (cTarvelMobileAnimation* animation = actor->mAnimation; animation && animation->mPlaying) {
        // The events act once the animation is stopped: a handler may play
        // another on this actor and free this one.
        MotionEventHold hold;
        animation->ProcessEvents();
        animation->Stop(0.0f);
    }
    actor->RemoveLookAt(actor->mLookAtID, 0.0f);
    if (actor->mControl)
        actor->mControl->FinishWalk(true);
}

void StopSpeechForSkip()
{
    gTarvel.mSound.StopSpeech();
    gTarvel.mSpeech.mSkipRequested = true;
}

} // namespace

cTarvelCinematic::cTarvelCinematic(cTarvelScript* script, const char* objectName, cTarvelScript* ownerScript,
                                   const char* eventName)
    : mOwnerScript(ownerScript),
      mWaitKind(kWaitNone),
      mWaitImage(nullptr),
      mWaitActor(nullptr),
      mWaitFlag(0),
      mWaitUntil(0.0f),
      mScript(nullptr),
      mScriptObject(nullptr),
      mEnded(false),
      mInCall(false),
      mSkipping(false),
      mUnskippable(false),
      mSpeechLine(false)
{
    if (gCinematics.count > 0) {
        const cTarvelCinematic* top = gCinematics.data[gCinematics.count - 1];
        if (top && top->mSkipping && !top->mSpeechLine)
            mSkipping = true;
    }
    gCinematics.Add(this);
    SetScript(script);
    if (script) {
        const char* name = objectName ? objectName : "";
        cTarvelScriptValue* symbol = script->FindSymbol(name, "cCinematic");
        if (!symbol)
            gTarvel.FatalError(0, TARVEL_SOURCE_CINEMATIC, 39, "cTarvelCinematic::cTarvelCinematic",
                               cTarvelString("Script object <cCinematic> ") + name + " not found.", 0);
        symbol->object = gScriptHandles.Bind(this, eScriptObjectType::Cinematic);
        mScriptObject = symbol;
        mInCall = true;
        script->CallEvent(symbol, eventName ? eventName : "");
        mInCall = false;
    }
    if (ownerScript)
        SetScript(ownerScript);
}

cTarvelCinematic::~cTarvelCinematic()
{
    gScriptHandles.Release(this);
}

void cTarvelCinematic::SetScript(cTarvelScript* script)
{
    mScript = script;
    mScriptSerial = script ? script->mSerial : 0;
}

void cTarvelCinematic::Suspend(int32_t kind)
{
    mWaitKind = kind;
    if (mScript && gTarvel.IsScriptLive(mScript, mScriptSerial)) {
        mContinuation = mScript->MakeTempName();
        mScript->Suspend(false);
    }
}

void cTarvelCinematic::WaitTime(float seconds)
{
    if (mSkipping)
        return;
    mWaitUntil = gTarvel.mTimer.GetSeconds() + seconds;
    Suspend(kWaitTime);
}

void cTarvelCinematic::WaitForImage(cTarvelImage* image, int32_t flag)
{
    if (mSkipping)
        return;
    mWaitImage = image;
    mWaitFlag = flag;
    Suspend(kWaitImage);
}

void cTarvelCinematic::WaitForActorSay(cTarvelActor* actor)
{
    if (mSkipping)
        return;
    mWaitActor = actor;
    Suspend(kWaitActorSay);
}

void cTarvelCinematic::WaitForActorPlace(cTarvelActor* actor)
{
    if (mSkipping)
        return;
    mWaitActor = actor;
    Suspend(kWaitActorPlace);
}

void cTarvelCinematic::WaitForActorAnim(cTarvelActor* actor, const char* name)
{
    if (mSkipping)
        return;
    mWaitActor = actor;
    mWaitAnimName = name ? name : "";
    Suspend(kWaitActorAnim);
}

void cTarvelCinematic::WaitForActorLinkedAnim(cTarvelActor* actor, const char* name)
{
    if (mSkipping)
        return;
    mWaitActor = actor;
    mWaitAnimName = name ? name : "";
    Suspend(kWaitActorLinkedAnim);
}

void cTarvelCinematic::WaitForFade()
{
    if (mSkipping)
        return;
    mWaitFlag = 0;
    Suspend(kWaitFade);
}

void cTarvelCinematic::WaitForCrossFade()
{
    if (mSkipping)
        return;
    mWaitFlag = 1;
    Suspend(kWaitFade);
}

void cTarvelCinematic::WaitForCMV()
{
    if (mSkipping)
        return;
    Suspend(kWaitCMV);
}

void cTarvelCinematic::WaitForCameraMove()
{
    if (mSkipping || !gTarvel.mCamera.mMoving)
        return;
    Suspend(kWaitCameraMove);
}

void cTarvelCinematic::WaitForPostFX()
{
    if (mSkipping || !gTarvel.mGraphics.mTimedPostEffect)
        return;
    Suspend(kWaitPostFX);
}

void cTarvelCinematic::WaitForSpeechLine()
{
    if (mSkipping)
        return;
    Suspend(kWaitSpeechLine);
}

bool cTarvelCinematic::WaitOver() const
{
    switch (mWaitKind) {
    case kWaitTime:
        return mWaitUntil < gTarvel.mTimer.GetSeconds();
    case kWaitImage:
        return mWaitFlag != 0 || !mWaitImage || mWaitImage->mFinished;
    case kWaitActorSay:
        return gTarvel.mSpeech.mSpeaker != mWaitActor;
    case kWaitActorPlace:
        return !mWaitActor || !mWaitActor->mControl || !mWaitActor->mControl->mWalking;
    case kWaitActorAnim:
        return AnimationOver(mWaitActor ? mWaitActor->mAnimation : nullptr, mWaitAnimName);
    case kWaitActorLinkedAnim:
        return AnimationOver(mWaitActor ? mWaitActor->mLinkedAnimation : nullptr, mWaitAnimName);
    case kWaitFade: {
        const int32_t state = gTarvel.mGameplay.mFadeState;
        if (mWaitFlag != 0)
            return state != kCrossFadeRequested;
        return state == 0 || state == 3 || state == 6;
    }
    case kWaitCMV:
        return !gTarvel.mMovie && !gTarvel.mCutSceneMovie;
    case kWaitCameraMove:
        return !gTarvel.mCamera.mMoving;
    case kWaitPostFX:
        return !gTarvel.mGraphics.mTimedPostEffect;
    case kWaitSpeechLine:
        return gTarvel.mSpeech.mWithSound ? gTarvel.mSound.IsSpeechFinished() : gTarvel.mSpeech.mState == 0;
    default:
        return true;
    }
}

void cTarvelCinematic::Resume(cTarvelScriptValue* thisValue)
{
    cTarvelScript* script = mScript;
    // The call may set a new wait, which replaces the label.
    const cTarvelString label = mContinuation;
    // No label means the script never suspended here (a wait set while
    // skipping stores none): entering at an empty name would run the code
    // from its start.
    const bool call = script && label.Length() > 0 && gTarvel.IsScriptLive(script, mScriptSerial);
    if (script == mOwnerScript) {
        mEnded = true;
        if (call)
            script->CallFunction(label.c_str(), thisValue);
        return;
    }
    mInCall = true;
    if (call)
        script->CallFunction(label.c_str(), thisValue);
    mInCall = false;
}

void cTarvelCinematic::CheckWait()
{
    if (!WaitOver())
        return;
    if (mWaitKind == kWaitNone && mScript != mOwnerScript) {
        // The script went back without a new wait and without its exit: its
        // last label has been run already, so it ends here rather than run
        // that label again every frame with the input locked.
        std::fprintf(stderr, "Cinematic %s returned without a wait or an exit; it ends.\n",
                     mScriptObject ? mScriptObject->name.c_str() : "");
        Exit();
        return;
    }
    mWaitKind = kWaitNone;
    Resume(mScriptObject);
}

void cTarvelCinematic::Exit()
{
    RemoveSkipPrompt();
    mEnded = true;
}

void cTarvelCinematic::RequestSkip(bool force)
{
    // A cinematic that skips or has ended has resumed its script at its
    // label already; a second skip would run that code again.
    if (mUnskippable || mSkipping || mEnded)
        return;
    if (!mSpeechLine && !RemoveSkipPrompt() && !force) {
        gScreenControls.Add(new cTarvelCancelRequest());
        return;
    }

    mSkipping = true;
    mWaitKind = kWaitNone;
    StopSpeechForSkip();

    SkipActor(gTarvel.mPlayer);
    if (cTarvelScene* scene = gTarvel.mScene) {
        for (int32_t i = 0; i < scene->mActors.count; ++i)
            SkipActor(scene->mActors.data[i]);
    }
    StopSpeechForSkip();

    if (cTarvelVideo* movie = gTarvel.mMovie) {
        // The movie ends as if it had played out, silenced: its view comes
        // back, a script waiting for it goes on and a queued movie takes its
        // place (deleting it alone would strand both).
        if (movie->mChannel)
            movie->mChannel->stop();
        if (movie->mImage)
            movie->mImage->mFinished = 1;
        movie->Update();
    }

    gTarvel.mCamera.FinishMove();
    gTarvel.mCamera2.FinishMove();

    if (!mSpeechLine) {
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        gameplay.mFadeState = kFadeFromBlack;
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime;
        gameplay.mFadeRate = 1.0f / kSkipFadeSeconds;
    }

    Resume(nullptr);
}

void cTarvelCinematic::Finish()
{
    cTarvelPDA& pda = gTarvel.mPDA;
    if (pda.mClipCinematic == this) {
        delete mScript;
        if (mOwnerScript == mScript)
            mOwnerScript = nullptr;
        mScript = nullptr;
        pda.mClipCinematic = nullptr;
        const cTarvelString function = pda.mPlayingClip ? pda.mPlayingClip->function : cTarvelString();
        int result = -10;
        if (cTarvelScene* scene = gTarvel.mScene; scene && scene->mScript)
            result = scene->mScript->CallEvent(scene->mScriptObject, function.c_str());
        if (result == -10) {
            if (cTarvelScript* main = gTarvel.mGameplay.mMainScript)
                main->CallEvent(main->FindGlobal("Main"), function.c_str());
        }
        pda.mPlayingClip = nullptr;
    }
    for (int32_t i = 0; i < gCinematics.count; ++i) {
        if (gCinematics.data[i] == this) {
            gCinematics.RemoveAt(i);
            break;
        }
    }
    mWaitAnimName = "";
    mContinuation = "";
}

void cTarvelCinematic::UpdateStack()
{
    tArray<cTarvelCinematic*>& stack = gCinematics;
    auto top = []() { return gCinematics.count > 0 ? gCinematics.data[gCinematics.count - 1] : nullptr; };
    if (stack.count == 0)
        return;
    const bool skipping = top() && top()->mSkipping;
    while (stack.count > 0) {
        cTarvelCinematic* cinematic = top();
        if (!cinematic) {
            stack.RemoveAt(stack.count - 1);
            continue;
        }
        if (skipping && !cinematic->mSkipping)
            cinematic->RequestSkip(true);
        // Read again after each call: a resumed script may push a cinematic.
        cinematic = top();
        if (cinematic && !cinematic->mEnded)
            cinematic->CheckWait();
        cinematic = top();
        if (!cinematic)
            continue;
        if (!cinematic->mEnded)
            return;
        cinematic->Finish();
        delete cinematic;
    }
}
