#include "engine/script/script_api.h"

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/motion.h"
#include "animation/node.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/dialogue_bar.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/pda.h"
#include "engine/gameplay/speech.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"

namespace {

cTarvelActor* BoundActor(const tScriptFrame* frame)
{
    return ScriptBound<cTarvelActor>(frame, eScriptObjectType::Actor);
}

// The bound actor of a function that reads arguments: none without them.
cTarvelActor* BoundActorWithArguments(const tScriptFrame* frame)
{
    return ScriptHasArguments(frame) ? BoundActor(frame) : nullptr;
}

// The default control when it is the actor's; walk cycles, speeds and
// rotation moves belong to it alone.
cTarvelActorControlDefault* DefaultControl(cTarvelActor* actor)
{
    auto* control = dynamic_cast<cTarvelActorControlDefault*>(actor->mControl);
    return control && control->mControlClass == 1 ? control : nullptr;
}

// Free mobiles of the current scene by name; the first one wins.
cTarvelMobile* FindFreeMobile(const char* name)
{
    cTarvelScene* scene = gTarvel.mScene;
    if (!scene)
        return nullptr;
    for (cTarvelMobile* mobile : scene->mMobiles)
        if (mobile && mobile->mFreeID == name)
            return mobile;
    return nullptr;
}

// The actor's node a free object hangs on: a node of its body's skeleton.
const Anim::Node* FindLinkedObject(const cTarvelActor* actor, const char* node)
{
    const cTarvelMobile* mobile = actor->mMobile;
    if (!mobile || !mobile->mActor || !mobile->mInstance)
        return nullptr;
    return mobile->mActor->FindNodeByName(node);
}

// Whether the call comes from the script of the dictaphone clip the PDA is
// playing: the calling machine's current object bears the clip's name.
bool CalledFromPlayingClip(const tScriptFrame* frame)
{
    const cTarvelPDA& pda = gTarvel.mPDA;
    if (!pda.mPlayingClip || !pda.mClipCinematic || !pda.mClipCinematic->mScriptObject)
        return false;
    const cTarvelScript* machine = frame->machine;
    return machine && machine->mThis && machine->mThis->name == pda.mClipCinematic->mScriptObject->name;
}

// The object a back link may keep: the call object when it is one of the
// calling machine's globals, else that machine's global of its name and
// class. A this popped off the stack is a temporary the next call reuses.
cTarvelScriptValue* LastingCallObject(const tScriptFrame* frame)
{
    cTarvelScriptValue* self = frame->thisValue;
    cTarvelScript* machine = frame->machine;
    if (!self || !machine)
        return self;
    for (cTarvelScriptValue& global : machine->mGlobals)
        if (&global == self)
            return self;
    return machine->FindSymbol(self->name.c_str(), self->className.c_str());
}

int32_t Speak(tScriptFrame* frame, bool thought)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelActor* speaker = BoundActor(frame);
    const bool fromClip = CalledFromPlayingClip(frame);
    // A clip's lines are heard off screen; a thought stays its thinker's.
    if (fromClip && !thought)
        speaker = gTarvel.mSpeech.mOffVoice;
    if (!speaker)
        return -1;
    if (ScriptCinematicSkipping())
        return 0;
    const cTarvelString soundName =
        (frame->machine ? frame->machine->mName : cTarvelString()) + "-" + ScriptArgString(frame, 1);
    const char* text = ScriptArgString(frame, 0);
    if (thought)
        gTarvel.mSpeech.Think(text, soundName.c_str(), speaker, 0);
    else
        gTarvel.mSpeech.Say(text, soundName.c_str(), speaker, 1);
    if (!ScriptArgBool(frame, 2) || !frame->machine)
        return 0;
    cTarvelCinematic* cinematic = ScriptWaitCinematic(frame, eScriptWaitRule::TopWhenRunning, true);
    if (fromClip)
        cinematic->WaitForSpeechLine();
    else
        cinematic->WaitForActorSay(speaker);
    return 0;
}

// Body or linked-object animation, whole or a time range, with its wait.
int32_t PlayOn(tScriptFrame* frame, bool linked, bool part)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    const bool skipping = ScriptCinematicSkipping();
    if (linked && (!actor->mLinkedMobile || skipping))
        return 0;
    const cTarvelString name = ScriptArgString(frame, 0);
    const int32_t parameter = ScriptArgInt(frame, 1);
    const float from = part ? ScriptArgFloat(frame, 2) : 0.0f;
    const float to = part ? ScriptArgFloat(frame, 3) : 0.0f;
    const bool wait = ScriptArgBool(frame, part ? 4 : 2);
    if (linked)
        actor->PlayLinkedAnimation(name, parameter, from, to);
    else
        actor->PlayAnimation(name, parameter, from, to);
    if (wait && !skipping && frame->machine) {
        cTarvelCinematic* cinematic = ScriptWaitCinematic(frame, eScriptWaitRule::AlwaysNew);
        if (linked)
            cinematic->WaitForActorLinkedAnim(actor, name.c_str());
        else
            cinematic->WaitForActorAnim(actor, name.c_str());
    }
    return 0;
}

// Walks to the script's point; a skipped cinematic finds the actor there.
int32_t Walk(tScriptFrame* frame, bool run)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    cTarvelActorControl* control = actor->mControl;
    if (!control)
        return 0;
    control->FinishWalk(false);
    control->WalkTo(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2), 0.0f, nullptr,
                    nullptr);
    if (run)
        control->SetRun(true);
    if (ScriptCinematicSkipping())
        control->FinishWalk(true);
    return 0;
}

} // namespace

// ---- Moving ----------------------------------------------------------------

int32_t cActor__walkTo(tScriptFrame* frame)
{
    return Walk(frame, false);
}

int32_t cActor__runTo(tScriptFrame* frame)
{
    return Walk(frame, true);
}

int32_t cActor__place(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    cTarvelActorControl* control = actor->mControl;
    if (!control)
        return 0;
    const float x = ScriptArgFloat(frame, 0);
    const float y = ScriptArgFloat(frame, 1);
    const float z = ScriptArgFloat(frame, 2);
    control->FinishWalk(false);
    control->SetPosition(x, y, z);
    control->SetPosition(x, control->GetFloorHeight(x, z, y), z);
    control->SetRotationAngles(0.0f, ScriptArgFloat(frame, 3), 0.0f);
    return 0;
}

int32_t cActor__getPosition(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    float position[3] = {};
    if (actor->mControl)
        actor->mControl->GetPosition(position);
    else if (actor->mMobile)
        position[0] = actor->mMobile->mPosition.x, position[1] = actor->mMobile->mPosition.y,
        position[2] = actor->mMobile->mPosition.z;
    const int32_t axis = ScriptArgInt(frame, 0);
    frame->result.kind = kScriptFloat;
    if (axis >= 0 && axis <= 2)
        ScriptSetResultFloat(frame, position[axis]);
    return 0;
}

int32_t cActor__setWalkspeed(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    if (cTarvelActorControlDefault* control = DefaultControl(actor))
        control->SetWalkSpeed(ScriptArgFloat(frame, 0));
    return 0;
}

int32_t cActor__setWalkNRunCycle(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    cTarvelActorControlDefault* control = DefaultControl(actor);
    if (!control)
        return 0;
    control->SetWalkNRunCycle(ScriptArgString(frame, 0), ScriptArgString(frame, 2));
    // A cycle speed of 0 would never move the legs.
    const float walk = ScriptArgFloat(frame, 1);
    const float run = ScriptArgFloat(frame, 3);
    control->mWalkCycles = walk == 0.0f ? 1.0f : walk;
    control->mRunCycles = run == 0.0f ? 1.0f : run;
    return 0;
}

int32_t cActor__setRotationMove(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    if (cTarvelActorControlDefault* control = DefaultControl(actor))
        control->SetRotationMove(ScriptArgInt(frame, 0), ScriptArgString(frame, 1));
    return 0;
}

int32_t cActor__setWalklayer(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    if (const cTarvelWalkArea* before = actor->SetWalkLayer(nullptr))
        ScriptSetResultString(frame, before->Name());
    const char* name = ScriptArgString(frame, 0);
    if (name[0] != '\0' && gTarvel.mScene)
        if (cTarvelWalkArea* area = gTarvel.mScene->FindWalkArea(name))
            actor->SetWalkLayer(area);
    return 0;
}

int32_t cActor__waitForPathfinder(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActor(frame);
    if (!actor)
        return -1;
    cTarvelScript* machine = frame->machine;
    // Without legs no walk would ever resume the script.
    if (!actor->mControl || !machine)
        return 0;
    // Inside a cinematic the cinematic waits for the walk, so a skip or its
    // stack step resumes it where it was; no walk callback and no input lock
    // (the cinematic holds the input).
    if (cTarvelCinematic* cinematic = ScriptCallingCinematic(frame)) {
        cinematic->WaitForActorPlace(actor);
        return 0;
    }
    actor->mControl->SetCallback(machine, machine->MakeTempName(), nullptr);
    gTarvel.mGameplay.mStateFlags |= cTarvelGameplay::kWalkingToObject;
    machine->Suspend(true);
    return 0;
}

int32_t cActor__setMovementCallback(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    const char* event = ScriptArgString(frame, 0);
    if (ScriptCinematicSkipping()) {
        if (frame->machine)
            frame->machine->CallFunction(event, nullptr);
    } else if (actor->mControl) {
        actor->mControl->SetCallback(frame->machine, event, nullptr);
    }
    return 0;
}

// ---- Poses and animations --------------------------------------------------

int32_t cActor__putPose(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    const char* pose = ScriptArgString(frame, 0);
    if (!actor || pose[0] == '\0')
        return -1;
    actor->SetPose(pose);
    return 0;
}

int32_t cActor__setPose(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    const cTarvelString pose = ScriptArgString(frame, 0);
    if (!actor || pose.Length() == 0)
        return -1;
    const cTarvelString transition = ScriptArgString(frame, 1);
    if (ScriptCinematicSkipping()) {
        if (transition.Length() > 0)
            actor->PlayAnimation(transition, 0, 0.0f, 0.0f);
        actor->SetPose(pose);
        return 0;
    }
    if (transition.Length() == 0) {
        actor->SetPose(pose);
        return 0;
    }
    actor->PlayAnimation(transition, 0, 0.0f, 0.0f);
    // The transition's own event sets the pose. A transition that did not
    // start would leave the pose unset, or hang it on an older animation.
    cTarvelMobileAnimation* animation = actor->mAnimation;
    if (animation && animation->mMotion && animation->mName == transition)
        animation->mMotion->GetEventTable().AddEvent(0.5f * animation->GetCurrentTime(), "setpose", pose.c_str());
    else
        actor->SetPose(pose);
    if (ScriptArgBool(frame, 2) && frame->machine)
        ScriptWaitCinematic(frame, eScriptWaitRule::AlwaysNew)->WaitForActorAnim(actor, transition.c_str());
    return 0;
}

int32_t cActor__playAnimation(tScriptFrame* frame)
{
    return PlayOn(frame, false, false);
}

int32_t cActor__playAnimationPart(tScriptFrame* frame)
{
    return PlayOn(frame, false, true);
}

int32_t cActor__playLinkedAnimation(tScriptFrame* frame)
{
    return PlayOn(frame, true, false);
}

int32_t cActor__playLinkedAnimationPart(tScriptFrame* frame)
{
    return PlayOn(frame, true, true);
}

int32_t cActor__addIdleAnimation(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->AddIdleAnimation({ScriptArgString(frame, 0), ScriptArgInt(frame, 1)});
    return 0;
}

// ---- Linking ---------------------------------------------------------------

int32_t cActor__linkObject(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->LinkObject(ScriptArgString(frame, 0), ScriptArgString(frame, 2));
    const char* base = ScriptArgString(frame, 1);
    if (actor->mLinkedMobile && base[0] != '\0')
        actor->mLinkedMobile->SetBaseAnimation(base);
    actor->mLinkedHidden = ScriptArgBool(frame, 3);
    return 0;
}

int32_t cActor__unlinkObject(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActor(frame);
    if (!actor)
        return -1;
    actor->UnlinkObject();
    return 0;
}

int32_t cActor__linkFreeObject(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    cTarvelMobile* free = FindFreeMobile(ScriptArgString(frame, 0));
    if (!free || !free->mInstance || free == actor->mMobile)
        return 0;
    const Anim::Node* node = FindLinkedObject(actor, ScriptArgString(frame, 1));
    if (!node)
        return 0;
    // An instance that already hangs somewhere stays where it is.
    if (!actor->mMobile->mInstance->AddAttachment(node->GetIndex(), free->mInstance))
        return 0;
    free->mAttachedTo = actor->mMobile;
    free->mInstance->SetPosition(AnimCore::Vector3(0.0f, 0.0f, 0.0f));
    free->mInstance->SetRotation(AnimCore::Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
    return 0;
}

int32_t cActor__unlinkFreeObject(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    cTarvelMobile* free = FindFreeMobile(ScriptArgString(frame, 0));
    // One hanging on another mobile is not this actor's to let go.
    if (!free || (free->mAttachedTo && free->mAttachedTo != actor->mMobile))
        return 0;
    free->mAttachedTo = nullptr;
    // The instance stays the free mobile's; its attachment record goes.
    if (free->mInstance && actor->mMobile && actor->mMobile->mInstance)
        actor->mMobile->mInstance->RemoveAttachmentByInstance(free->mInstance, true);
    return 0;
}

// ---- Speech, look-at and the rest --------------------------------------------

int32_t cActor__say(tScriptFrame* frame)
{
    return Speak(frame, false);
}

int32_t cActor__think(tScriptFrame* frame)
{
    return Speak(frame, true);
}

int32_t cActor__setLookat(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    if (!ScriptCinematicSkipping())
        actor->SetLookAt(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2),
                         ScriptArgInt(frame, 3), ScriptArgFloat(frame, 4));
    return 0;
}

int32_t cActor__setLookat2(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    if (!ScriptCinematicSkipping())
        actor->SetLookAt2(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2),
                          ScriptArgInt(frame, 3), ScriptArgFloat(frame, 4), ScriptArgBool(frame, 5),
                          ScriptArgBool(frame, 6), ScriptArgBool(frame, 7));
    return 0;
}

int32_t cActor__removeLookat(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    // Scripts give no time: the head turns back over a second.
    constexpr float kRemoveLookAtSeconds = 1.0f;
    actor->RemoveLookAt(ScriptArgInt(frame, 0), kRemoveLookAtSeconds);
    return 0;
}

int32_t cActor__setSpeechColor(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->mSpeechColor = uint32_t(ScriptArgInt(frame, 0)) | 0xFF000000u;
    return 0;
}

int32_t cActor__setFootstepSound(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->mFootstepSound = ScriptArgString(frame, 0);
    actor->mFootstepVolume = ScriptArgFloat(frame, 1);
    gTarvel.mSound.LoadSound(actor->mFootstepSound.c_str());
    return 0;
}

// ---- cNPC ------------------------------------------------------------------

int32_t cNPC__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // The character belongs to a scene and to the object that holds it.
    cTarvelScene* scene = gTarvel.mScene;
    if (!frame->thisValue || !scene)
        return 0;
    auto* actor = new cTarvelActor(ScriptArgString(frame, 0), "", false);
    cTarvelScriptValue* self = frame->thisValue;
    const cTarvelString pose = ScriptArgString(frame, 1);
    if (pose.Length() > 0) {
        if (actor->mScript)
            actor->mScript->CallEvent(self, ("Pose" + pose).c_str());
        actor->mPose = pose;
    }
    actor->mCaption = ScriptArgString(frame, 2);
    const uint32_t handle = gScriptHandles.Bind(actor, eScriptObjectType::Actor);
    actor->mSceneSymbol = LastingCallObject(frame);
    if (actor->mSceneSymbol)
        actor->mSceneSymbol->object = handle;
    self->object = handle;
    scene->mActors.Add(actor);
    return 0;
}

int32_t cNPC__getEnabled(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActor(frame);
    if (!actor)
        return -1;
    ScriptSetResultBool(frame, actor->mEnabled);
    return 0;
}

int32_t cNPC__getVisible(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActor(frame);
    if (!actor)
        return -1;
    ScriptSetResultBool(frame, actor->mVisible);
    return 0;
}

int32_t cNPC__putEnabled(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->mEnabled = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cNPC__putVisible(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    actor->mVisible = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cNPC__setPathfinderDestination(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    // Copied in order: the player's approach reads x, z and the facing.
    for (int32_t i = 0; i < 3; ++i)
        actor->mPathfinderDest[i] = ScriptArgFloat(frame, i);
    return 0;
}

int32_t cNPC__addVerb(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActorWithArguments(frame);
    if (!actor)
        return -1;
    // The choice runs in the scene's script, under the character's object.
    const cTarvelString function = frame->thisValue->name + "::" + ScriptArgString(frame, 2);
    gTarvel.mDialogueBar.AddLine(ScriptArgString(frame, 0), ScriptArgString(frame, 1), function);
    return 0;
}

int32_t cNPC__showVerbBar(tScriptFrame* frame)
{
    cTarvelActor* actor = BoundActor(frame);
    if (!actor)
        return -1;
    cTarvelScriptValue* object = LastingCallObject(frame);
    gTarvel.mDialogueBar.Show(frame->machine, object ? object : frame->thisValue);
    return 0;
}
