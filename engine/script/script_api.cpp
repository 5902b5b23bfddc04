#include "engine/script/script_api.h"

#include <bit>
#include <charconv>
#include <cstdio>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/script/script.h"
#include "engine/world/view.h"

namespace {

// The argument at position p without its text made (see tScriptFrame).
const cTarvelScriptValue* ArgumentAt(const tScriptFrame* frame, int32_t position)
{
    const tScriptValueArray& args = frame->arguments;
    if (args.count <= 0 || position < 0)
        return nullptr;
    return &args.data[position < args.count ? position : args.count - 1];
}

} // namespace

void ScriptCompleteArguments(const tScriptFrame* frame)
{
    uint32_t pending = frame->pendingTexts;
    frame->pendingTexts = 0;
    // The frame is the caller's own, only handed on as const.
    tScriptValueArray& args = const_cast<tScriptFrame*>(frame)->arguments;
    for (; pending != 0; pending &= pending - 1) {
        const int32_t i = std::countr_zero(pending);
        if (i < args.count) {
            char text[16];
            char* end = std::to_chars(text, text + sizeof text, args.data[i].integer).ptr;
            args.data[i].string.Assign(text, uint32_t(end - text));
        }
    }
}

const cTarvelScriptValue* ScriptArgument(const tScriptFrame* frame, int32_t position)
{
    if (frame->pendingTexts != 0)
        ScriptCompleteArguments(frame);
    return ArgumentAt(frame, position);
}

const char* ScriptArgString(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->string.c_str() : "";
}

int32_t ScriptArgInt(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ArgumentAt(frame, position);
    return v ? v->integer : 0;
}

float ScriptArgFloat(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ArgumentAt(frame, position);
    return v ? v->floatValue : 0.0f;
}

bool ScriptArgBool(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ArgumentAt(frame, position);
    return v && v->boolean != 0;
}

uint32_t ScriptArgObject(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ArgumentAt(frame, position);
    return v ? v->object : 0;
}

const char* ScriptArgClass(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->className.c_str() : "";
}

void ScriptSetResultObject(tScriptFrame* frame, const char* className, uint32_t handle,
                           bool keepOnNull)
{
    frame->result.kind = kScriptResultObject;
    if (className)
        frame->result.className = className;
    if (handle != 0 || !keepOnNull)
        frame->result.object = handle;
}

namespace {

cTarvelCinematic* TopCinematic()
{
    return gCinematics.count > 0 ? gCinematics.data[gCinematics.count - 1] : nullptr;
}

} // namespace

bool ScriptCinematicSkipping()
{
    const cTarvelCinematic* top = TopCinematic();
    return top && top->mInCall && top->mSkipping;
}

cTarvelCinematic* ScriptWaitCinematic(tScriptFrame* frame, eScriptWaitRule rule, bool speechLine)
{
    cTarvelCinematic* top = TopCinematic();
    if (rule == eScriptWaitRule::TopWhenRunning && top && top->mInCall)
        return top;
    auto* cinematic = new cTarvelCinematic(nullptr, "", frame->machine, "OnRun");
    cinematic->mSpeechLine = speechLine;
    return cinematic;
}

cTarvelCinematic* ScriptCallingCinematic(const tScriptFrame* frame)
{
    cTarvelCinematic* top = TopCinematic();
    return top && top->mInCall && frame && top->mScript == frame->machine ? top : nullptr;
}

void ScriptSuspendInto(tScriptFrame* frame, cTarvelScript*& waiter, uint64_t& serial, cTarvelString& label,
                       bool saveState)
{
    cTarvelScript* machine = frame->machine;
    // The same machine waiting again has left its older wait behind.
    if (waiter && !(waiter == machine && machine->mSerial == serial))
        ScriptResumeDisplaced(waiter, serial, label);
    waiter = machine;
    serial = machine ? machine->mSerial : 0;
    label = machine ? machine->MakeTempName() : cTarvelString();
    if (machine)
        machine->Suspend(saveState);
}

void ScriptResumeDisplaced(cTarvelScript* waiter, uint64_t serial, const cTarvelString& label)
{
    if (!waiter || !gTarvel.IsScriptLive(waiter, serial))
        return;
    std::fprintf(stderr, "Script %s: a newer wait took the place of its wait; it goes on at %s.\n",
                 waiter->mName.c_str(), label.c_str());
    gTarvel.mTimer.SetTimer(label, waiter, 0.0f);
}

uint32_t ScriptAddControl(tScriptFrame* frame, cTarvelControl* control, eScriptObjectType type)
{
    uint32_t handle = 0;
    if (frame->thisValue) {
        handle = gScriptHandles.Bind(control, type);
        frame->thisValue->object = handle;
    }
    gActiveControls.Add(control);
    return handle;
}

cTarvelImage* ScriptViewImage(cTarvelView* view, const char* name, const char* function)
{
    if (!view || !name || name[0] == '\0')
        return nullptr;
    cTarvelImage* image = view->FindImageLayer(cTarvelString(name), true);
    if (!image)
        std::fprintf(stderr, "%s: view %s has no image %s; the call does nothing.\n", function, view->Name(), name);
    return image;
}
