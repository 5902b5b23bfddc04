#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/control_bunker_wall.h"
#include "engine/gameplay/control_flashlight.h"
#include "engine/gameplay/control_mirror.h"
#include "engine/gameplay/control_split_screen.h"
#include "engine/gameplay/control_ticker.h"
#include "engine/gameplay/screen_control_bunker_wall.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/view.h"

namespace {

constexpr int32_t kStageBottom = 640;

cTarvelString CallObjectName(const tScriptFrame* frame)
{
    return frame->thisValue ? frame->thisValue->name : cTarvelString();
}

cTarvelView* ArgView(const tScriptFrame* frame, int32_t position)
{
    return gScriptHandles.Get<cTarvelView>(ScriptArgObject(frame, position), eScriptObjectType::View);
}

cTarvelMobile* ArgMobile(const tScriptFrame* frame, int32_t position)
{
    return ScriptMobileOf<cTarvelActor, cTarvelMobile>(ScriptArgument(frame, position));
}

}  // namespace

// ---- cCtrlBunkerWall --------------------------------------------------------

int32_t cCtrlBunkerWall__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    auto* wall = new cTarvelControlBunkerWall(ScriptArgString(frame, 0), ScriptArgFloat(frame, 1),
                                              ScriptArgFloat(frame, 2), ScriptArgFloat(frame, 3),
                                              ScriptArgFloat(frame, 4), ScriptArgString(frame, 5),
                                              ScriptArgString(frame, 6), ScriptArgString(frame, 7),
                                              CallObjectName(frame));
    ScriptAddControl(frame, wall, eScriptObjectType::CtrlBunkerWall);
    return 0;
}

int32_t cCtrlBunkerWall__execute(tScriptFrame* frame)
{
    auto* wall = ScriptBound<cTarvelControlBunkerWall>(frame, eScriptObjectType::CtrlBunkerWall);
    if (!wall || !ScriptHasArguments(frame))
        return -1;
    // Scripts pass the rectangle's left, top and right; its bottom is a
    // fourth argument when one is given, else the bottom of the stage.
    const int32_t bottom = frame->arguments.count > 3 ? ScriptArgInt(frame, 3) : kStageBottom;
    wall->Execute(ScriptArgInt(frame, 0), ScriptArgInt(frame, 1), ScriptArgInt(frame, 2), bottom);
    return 0;
}

int32_t cCtrlBunkerWall__isFinished(tScriptFrame* frame)
{
    auto* wall = ScriptBound<cTarvelControlBunkerWall>(frame, eScriptObjectType::CtrlBunkerWall);
    if (!wall)
        return -1;
    ScriptSetResultBool(frame, wall->IsFinished());
    return 0;
}

int32_t cCtrlBunkerWall__shootNow(tScriptFrame*)
{
    const int32_t count = gScreenControls.Count();
    cTarvelScreenControl* top = count > 0 ? gScreenControls[count - 1] : nullptr;
    if (top && top->mTypeId == cTarvelScreenControl::kBunkerWall)
        static_cast<cTarvelScreenControlBunkerWall*>(top)->ShootNow();
    return 0;
}

// ---- cCtrlFlashlight --------------------------------------------------------

int32_t cCtrlFlashlight__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    auto* flashlight = new cTarvelControlFlashlight(CallObjectName(frame), ScriptArgString(frame, 0),
                                                    ScriptArgString(frame, 1), ScriptArgString(frame, 2));
    ScriptAddControl(frame, flashlight, eScriptObjectType::CtrlFlashlight);
    return 0;
}

int32_t cCtrlFlashlight__addView(tScriptFrame* frame)
{
    auto* flashlight = ScriptBound<cTarvelControlFlashlight>(frame, eScriptObjectType::CtrlFlashlight);
    cTarvelView* view = flashlight ? ArgView(frame, 0) : nullptr;
    if (!view)
        return -1;
    flashlight->AddView(view);
    return 0;
}

int32_t cCtrlFlashlight__addMobile(tScriptFrame* frame)
{
    auto* flashlight = ScriptBound<cTarvelControlFlashlight>(frame, eScriptObjectType::CtrlFlashlight);
    cTarvelMobile* mobile = flashlight ? ArgMobile(frame, 0) : nullptr;
    if (!mobile)
        return -1;
    flashlight->AddMobile(mobile, ScriptArgument(frame, 0)->name);
    return 0;
}

int32_t cCtrlFlashlight__end(tScriptFrame* frame)
{
    auto* flashlight = ScriptBound<cTarvelControlFlashlight>(frame, eScriptObjectType::CtrlFlashlight);
    if (!flashlight)
        return -1;
    flashlight->End();
    frame->thisValue->object = 0;
    return 0;
}

// ---- cCtrlMirror ------------------------------------------------------------

int32_t cCtrlMirror__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // The object's earlier mirror goes first: one mirror per script object.
    if (auto* old = ScriptBound<cTarvelControlMirror>(frame, eScriptObjectType::CtrlMirror)) {
        for (int32_t i = 0; i < gActiveControls.Count(); ++i)
            if (gActiveControls[i] == old) {
                gActiveControls.RemoveAt(i);
                delete old;
                break;
            }
    }
    // Position 0 carries the view the mirror acts in; a value that is no
    // view gives a mirror that never draws.
    auto* mirror = new cTarvelControlMirror(CallObjectName(frame), ArgView(frame, 0), ScriptArgString(frame, 1));
    ScriptAddControl(frame, mirror, eScriptObjectType::CtrlMirror);
    return 0;
}

int32_t cCtrlMirror__addMirrorFloor(tScriptFrame* frame)
{
    auto* mirror = ScriptBound<cTarvelControlMirror>(frame, eScriptObjectType::CtrlMirror);
    if (!mirror)
        return -1;
    mirror->AddMirrorFloor();
    return 0;
}

int32_t cCtrlMirror__addMirrorPlane(tScriptFrame* frame)
{
    auto* mirror = ScriptBound<cTarvelControlMirror>(frame, eScriptObjectType::CtrlMirror);
    if (!mirror || !ScriptHasArguments(frame))
        return -1;
    mirror->AddMirrorPlane(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2),
                           ScriptArgFloat(frame, 3));
    return 0;
}

int32_t cCtrlMirror__setMeshMode(tScriptFrame* frame)
{
    auto* mirror = ScriptBound<cTarvelControlMirror>(frame, eScriptObjectType::CtrlMirror);
    if (!mirror || !ScriptHasArguments(frame))
        return -1;
    mirror->mMeshMode = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cCtrlMirror__excludeMobile(tScriptFrame* frame)
{
    auto* mirror = ScriptBound<cTarvelControlMirror>(frame, eScriptObjectType::CtrlMirror);
    cTarvelMobile* mobile = mirror ? ArgMobile(frame, 0) : nullptr;
    if (!mobile)
        return -1;
    mirror->mExcluded.Add(mobile);
    return 0;
}

// ---- cCtrlSplitScreen -------------------------------------------------------

int32_t cCtrlSplitScreen__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // Scripts pass two views and the aspect; the divider's lower bound is a
    // fourth argument when one is given, else none (0).
    const float minSize = frame->arguments.count > 3 ? ScriptArgFloat(frame, 3) : 0.0f;
    auto* split = new cTarvelControlSplitScreen(ArgView(frame, 0), ArgView(frame, 1), minSize,
                                                ScriptArgFloat(frame, 2), CallObjectName(frame));
    ScriptAddControl(frame, split, eScriptObjectType::CtrlSplitScreen);
    return 0;
}

// ---- cCtrlTicker ------------------------------------------------------------

int32_t cCtrlTicker__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    ScriptAddControl(frame, new cTarvelControlTicker(ScriptArgFloat(frame, 0)), eScriptObjectType::CtrlTicker);
    return 0;
}

int32_t cCtrlTicker__addLine(tScriptFrame* frame)
{
    auto* ticker = ScriptBound<cTarvelControlTicker>(frame, eScriptObjectType::CtrlTicker);
    if (!ticker || !ScriptHasArguments(frame))
        return -1;
    ticker->AddLine(ScriptArgString(frame, 0));
    return 0;
}
