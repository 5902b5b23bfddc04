#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"

namespace {

cTarvelCinematic* BoundCinematic(const tScriptFrame* frame)
{
    return ScriptBound<cTarvelCinematic>(frame, eScriptObjectType::Cinematic);
}

cTarvelActor* ActorArgument(const tScriptFrame* frame, int32_t position)
{
    return gScriptHandles.Get<cTarvelActor>(ScriptArgObject(frame, position), eScriptObjectType::Actor);
}

// The layer of that name in the current view: one it holds, or one the
// archive has (loaded now); null otherwise.
cTarvelImage* FindLayer(const cTarvelString& name)
{
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelView* view = scene ? scene->mView : nullptr;
    return view ? view->FindImageLayer(name, false) : nullptr;
}

// The plain waits: the bound cinematic, or -1.
template <void (cTarvelCinematic::*Wait)()>
int32_t PlainWait(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic)
        return -1;
    (cinematic->*Wait)();
    return 0;
}

template <void (cTarvelCinematic::*Wait)(cTarvelActor*, const char*)>
int32_t AnimationWait(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    cTarvelActor* actor = ActorArgument(frame, 0);
    if (!cinematic || !actor)
        return -1;
    (cinematic->*Wait)(actor, ScriptArgString(frame, 1));
    return 0;
}

} // namespace

int32_t cCinematic__run(tScriptFrame* frame)
{
    const char* name = frame->thisValue ? frame->thisValue->name.c_str() : "";
    new cTarvelCinematic(frame->machine, name, nullptr, "OnRun");
    gTarvel.mGraphics.ClearText();
    return 0;
}

int32_t cCinematic__exit(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic)
        return -1;
    cinematic->Exit();
    return 0;
}

int32_t cCinematic__putUnskipable(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic || !ScriptHasArguments(frame))
        return -1;
    cinematic->mUnskippable = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cCinematic__waitTime(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic || !ScriptHasArguments(frame))
        return -1;
    cinematic->WaitTime(ScriptArgFloat(frame, 0));
    return 0;
}

int32_t cCinematic__waitForFade(tScriptFrame* frame)
{
    return PlainWait<&cTarvelCinematic::WaitForFade>(frame);
}

int32_t cCinematic__waitForCMV(tScriptFrame* frame)
{
    return PlainWait<&cTarvelCinematic::WaitForCMV>(frame);
}

int32_t cCinematic__waitForCameraMove(tScriptFrame* frame)
{
    return PlainWait<&cTarvelCinematic::WaitForCameraMove>(frame);
}

int32_t cCinematic__waitForPostFX(tScriptFrame* frame)
{
    return PlainWait<&cTarvelCinematic::WaitForPostFX>(frame);
}

int32_t cCinematic__waitForImage(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic || !ScriptHasArguments(frame))
        return -1;
    cTarvelImage* layer = FindLayer(ScriptArgString(frame, 0));
    if (!layer)
        return -1;
    cinematic->WaitForImage(layer, ScriptArgInt(frame, 1));
    return 0;
}

int32_t cCinematic__waitForActorPlace(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    cTarvelActor* actor = ActorArgument(frame, 0);
    if (!cinematic || !actor)
        return -1;
    cinematic->WaitForActorPlace(actor);
    return 0;
}

int32_t cCinematic__waitForActorAnim(tScriptFrame* frame)
{
    return AnimationWait<&cTarvelCinematic::WaitForActorAnim>(frame);
}

int32_t cCinematic__waitForActorLinkedAnim(tScriptFrame* frame)
{
    return AnimationWait<&cTarvelCinematic::WaitForActorLinkedAnim>(frame);
}

int32_t cCinematic__waitForActorSay(tScriptFrame* frame)
{
    cTarvelCinematic* cinematic = BoundCinematic(frame);
    if (!cinematic)
        return -1;
    cTarvelActor* actor = ActorArgument(frame, 0);
    // A playing dictaphone clip speaks with the off-screen voice.
    const cTarvelPDA& pda = gTarvel.mPDA;
    const sPDAAudioNode* clip = pda.mPlayingClip;
    if (clip && frame->machine && frame->machine == pda.ClipScript())
        actor = gTarvel.mSpeech.mOffVoice;
    if (!actor)
        return -1;
    const cTarvelScriptValue* current = frame->machine ? frame->machine->mThis : nullptr;
    if (clip && current && current->name == clip->symbol)
        cinematic->WaitForSpeechLine();
    else
        cinematic->WaitForActorSay(actor);
    return 0;
}
