#pragma once

#include <cstdint>

#include "engine/core/string.h"
#include "engine/script/script_handles.h"
#include "engine/script/script_value.h"

class cTarvelCinematic;
class cTarvelControl;
class cTarvelImage;
class cTarvelScript;
class cTarvelView;

// What every exported script function shares: reading arguments, writing
// results and finding the bound engine object.

// The argument at position p: element min(p, count - 1), so a script that
// passes fewer arguments than a function reads repeats its last one. Null
// when the call has no arguments; a function that reads arguments returns
// -1 without effect then (ScriptHasArguments).
const cTarvelScriptValue* ScriptArgument(const tScriptFrame* frame, int32_t position);
// Gives every argument its every field (the text of an integer argument is
// made on first need); for code that reads frame->arguments directly.
void ScriptCompleteArguments(const tScriptFrame* frame);
inline bool ScriptHasArguments(const tScriptFrame* frame)
{
    return frame->arguments.count > 0;
}

// Each position is read from one fixed field whatever kind the script
// passed; nothing is converted. With no arguments they give "", 0, 0.0,
// false and 0.
const char* ScriptArgString(const tScriptFrame* frame, int32_t position);
int32_t ScriptArgInt(const tScriptFrame* frame, int32_t position);
float ScriptArgFloat(const tScriptFrame* frame, int32_t position);
bool ScriptArgBool(const tScriptFrame* frame, int32_t position);
uint32_t ScriptArgObject(const tScriptFrame* frame, int32_t position);
const char* ScriptArgClass(const tScriptFrame* frame, int32_t position);

// Results: the result's kind is preset from the import; a function writes
// only the field of its result (a boolean getter writes only the boolean).
inline void ScriptSetResultInt(tScriptFrame* frame, int32_t value) { frame->result.integer = value; }
inline void ScriptSetResultFloat(tScriptFrame* frame, float value) { frame->result.floatValue = value; }
inline void ScriptSetResultBool(tScriptFrame* frame, bool value) { frame->result.boolean = value ? 1 : 0; }
inline void ScriptSetResultString(tScriptFrame* frame, const char* value) { frame->result.string = value; }
// Object results are kind 7 with the script class ("cView", "cMesh", ...);
// a handle of 0 leaves the object field as it was (a lookup that found
// nothing), unless keepOnNull is false.
void ScriptSetResultObject(tScriptFrame* frame, const char* className, uint32_t handle,
                           bool keepOnNull = true);

// The engine object the call object is bound to, when it is live and of
// that type; null when unbound (the function then fails with -1).
template <class T>
T* ScriptBound(const tScriptFrame* frame, eScriptObjectType type)
{
    return frame->thisValue ? gScriptHandles.Get<T>(frame->thisValue->object, type) : nullptr;
}
// The inventory index an inventory item's value holds (0 to count - 1, or
// -10 for the temporary item).
inline int32_t ScriptInventoryIndex(const tScriptFrame* frame)
{
    return frame->thisValue ? static_cast<int32_t>(frame->thisValue->object) : -1;
}

// The mobile of a value: class "cMobile" names the mobile itself, "cActor"
// and "cNPC" an actor whose mobile (member mMobile) is taken; compared in
// that order, a later match overriding an earlier one. Null for any other
// class, an unbound or stale object, or an actor without a mobile.
template <class tActor, class tMobile>
tMobile* ScriptMobileOf(const cTarvelScriptValue* value)
{
    if (!value)
        return nullptr;
    tMobile* mobile = nullptr;
    if (value->className == "cMobile")
        mobile = gScriptHandles.Get<tMobile>(value->object, eScriptObjectType::Mobile);
    if (value->className == "cActor" || value->className == "cNPC") {
        tActor* actor = gScriptHandles.Get<tActor>(value->object, eScriptObjectType::Actor);
        mobile = actor ? actor->mMobile : nullptr;
    }
    return mobile;
}

// An image of the view by the name a script gives, with the view's suffix
// replacement and its scene and view prefix. A picture the view does not
// hold and the archive does not have gives null and a line on standard
// error naming the function, so the call does nothing rather than end the
// game; an empty name gives null quietly.
cTarvelImage* ScriptViewImage(cTarvelView* view, const char* name, const char* function);

// The skip test: a cinematic is being skipped when the top of gCinematics
// is in a call into its own script and skips. Functions that test it only
// bring their effect to its end state.
bool ScriptCinematicSkipping();

// The cinematic that a wait of the calling machine goes to. A new wait
// cinematic has no script and no name and resumes the calling machine; one
// made for a said or thought line is marked as a speech line.
enum class eScriptWaitRule {
    // Animations, poses and the plain wait.
    AlwaysNew,
    // Speech, image and post-effect waits: the top cinematic when it is in a
    // call into its own script, else a new one.
    TopWhenRunning,
};
cTarvelCinematic* ScriptWaitCinematic(tScriptFrame* frame, eScriptWaitRule rule, bool speechLine = false);
// The script cinematic whose own script makes this call (the top one, in
// a call into that machine), or null. Its waits resume it where it was.
cTarvelCinematic* ScriptCallingCinematic(const tScriptFrame* frame);

// Hands the calling machine, at its continuation label, to the waiter slot
// of the engine object that resumes it (a fade, a video, a walk) and
// suspends it, saving its state or not. A waiter of another machine that
// the slot holds is not dropped: it goes on (ScriptResumeDisplaced). The
// slot keeps the machine's serial too: a later machine may take its address.
void ScriptSuspendInto(tScriptFrame* frame, cTarvelScript*& waiter, uint64_t& serial, cTarvelString& label,
                       bool saveState);
// A waiter whose wait a newer one replaced goes on at its label at the next
// frame (a script timer of no delay), not inside the call that displaced
// it; a line on standard error says so.
void ScriptResumeDisplaced(cTarvelScript* waiter, uint64_t serial, const cTarvelString& label);

// A control made by a script: bound to the call object under its own type
// and appended to gActiveControls, which owns it. Returns the handle (0
// without a call object).
uint32_t ScriptAddControl(tScriptFrame* frame, cTarvelControl* control, eScriptObjectType type);

// The program's exported script functions by name, exact and case-sensitive
// as the module's export table is searched; null when there is none.
using tScriptExportFunction = int32_t (*)(tScriptFrame* frame);
tScriptExportFunction FindScriptExport(const char* name);

struct tScriptExport {
    const char* name;
    tScriptExportFunction function;
};
// The 192 names, sorted by name.
extern const tScriptExport gScriptExports[];
extern const int32_t gScriptExportCount;

// The entry points, by script class.
// cActor
int32_t cActor__addIdleAnimation(tScriptFrame* frame);
int32_t cActor__getPosition(tScriptFrame* frame);
int32_t cActor__linkFreeObject(tScriptFrame* frame);
int32_t cActor__linkObject(tScriptFrame* frame);
int32_t cActor__place(tScriptFrame* frame);
int32_t cActor__playAnimation(tScriptFrame* frame);
int32_t cActor__playAnimationPart(tScriptFrame* frame);
int32_t cActor__playLinkedAnimation(tScriptFrame* frame);
int32_t cActor__playLinkedAnimationPart(tScriptFrame* frame);
int32_t cActor__putPose(tScriptFrame* frame);
int32_t cActor__removeLookat(tScriptFrame* frame);
int32_t cActor__runTo(tScriptFrame* frame);
int32_t cActor__say(tScriptFrame* frame);
int32_t cActor__setFootstepSound(tScriptFrame* frame);
int32_t cActor__setLookat(tScriptFrame* frame);
int32_t cActor__setLookat2(tScriptFrame* frame);
int32_t cActor__setMovementCallback(tScriptFrame* frame);
int32_t cActor__setPose(tScriptFrame* frame);
int32_t cActor__setRotationMove(tScriptFrame* frame);
int32_t cActor__setSpeechColor(tScriptFrame* frame);
int32_t cActor__setWalkNRunCycle(tScriptFrame* frame);
int32_t cActor__setWalklayer(tScriptFrame* frame);
int32_t cActor__setWalkspeed(tScriptFrame* frame);
int32_t cActor__think(tScriptFrame* frame);
int32_t cActor__unlinkFreeObject(tScriptFrame* frame);
int32_t cActor__unlinkObject(tScriptFrame* frame);
int32_t cActor__waitForPathfinder(tScriptFrame* frame);
int32_t cActor__walkTo(tScriptFrame* frame);

// cCinematic
int32_t cCinematic__exit(tScriptFrame* frame);
int32_t cCinematic__putUnskipable(tScriptFrame* frame);
int32_t cCinematic__run(tScriptFrame* frame);
int32_t cCinematic__waitForActorAnim(tScriptFrame* frame);
int32_t cCinematic__waitForActorLinkedAnim(tScriptFrame* frame);
int32_t cCinematic__waitForActorPlace(tScriptFrame* frame);
int32_t cCinematic__waitForActorSay(tScriptFrame* frame);
int32_t cCinematic__waitForCMV(tScriptFrame* frame);
int32_t cCinematic__waitForCameraMove(tScriptFrame* frame);
int32_t cCinematic__waitForFade(tScriptFrame* frame);
int32_t cCinematic__waitForImage(tScriptFrame* frame);
int32_t cCinematic__waitForPostFX(tScriptFrame* frame);
int32_t cCinematic__waitTime(tScriptFrame* frame);

// cHotspot
int32_t cHotspot__addVerb(tScriptFrame* frame);
int32_t cHotspot__getEnabled(tScriptFrame* frame);
int32_t cHotspot__getLeaveRoom(tScriptFrame* frame);
int32_t cHotspot__getNoVerbs(tScriptFrame* frame);
int32_t cHotspot__init(tScriptFrame* frame);
int32_t cHotspot__putEnabled(tScriptFrame* frame);
int32_t cHotspot__putLeaveRoom(tScriptFrame* frame);
int32_t cHotspot__putNoVerbs(tScriptFrame* frame);
int32_t cHotspot__setLookatPoint(tScriptFrame* frame);
int32_t cHotspot__setPathfinderDestination(tScriptFrame* frame);

// cInventoryItem
int32_t cInventoryItem__addVerb(tScriptFrame* frame);
int32_t cInventoryItem__loadImages(tScriptFrame* frame);
int32_t cInventoryItem__putName(tScriptFrame* frame);
int32_t cInventoryItem__select(tScriptFrame* frame);

// cLight
int32_t cLight__castShadowMobileOnMobile(tScriptFrame* frame);
int32_t cLight__castShadowMobileOnScenery(tScriptFrame* frame);
int32_t cLight__setAmbient(tScriptFrame* frame);
int32_t cLight__setAttenuation(tScriptFrame* frame);
int32_t cLight__setColor(tScriptFrame* frame);
int32_t cLight__setRange(tScriptFrame* frame);
int32_t cLight__setRotation(tScriptFrame* frame);

// cMesh
int32_t cMesh__assignColormap(tScriptFrame* frame);
int32_t cMesh__disablePick(tScriptFrame* frame);
int32_t cMesh__enablePick(tScriptFrame* frame);
int32_t cMesh__setRenderMethod(tScriptFrame* frame);

// cMobile
int32_t cMobile__createAsFreeMobile(tScriptFrame* frame);
int32_t cMobile__imageReplaceSuffix(tScriptFrame* frame);
int32_t cMobile__loadMesh(tScriptFrame* frame);
int32_t cMobile__setBaseAnimation(tScriptFrame* frame);
int32_t cMobile__setWorldLink(tScriptFrame* frame);
int32_t cMobile__show(tScriptFrame* frame);

// cNPC
int32_t cNPC__addVerb(tScriptFrame* frame);
int32_t cNPC__getEnabled(tScriptFrame* frame);
int32_t cNPC__getVisible(tScriptFrame* frame);
int32_t cNPC__init(tScriptFrame* frame);
int32_t cNPC__putEnabled(tScriptFrame* frame);
int32_t cNPC__putVisible(tScriptFrame* frame);
int32_t cNPC__setPathfinderDestination(tScriptFrame* frame);
int32_t cNPC__showVerbBar(tScriptFrame* frame);

// cParticleSparkle
int32_t cParticleSparkle__init(tScriptFrame* frame);
int32_t cParticleSparkle__spawn(tScriptFrame* frame);

// cPath
int32_t cPath__feedPathfinder(tScriptFrame* frame);
int32_t cPath__getNoTeleport(tScriptFrame* frame);
int32_t cPath__getNoWalking(tScriptFrame* frame);
int32_t cPath__init(tScriptFrame* frame);
int32_t cPath__putNoTeleport(tScriptFrame* frame);
int32_t cPath__putNoWalking(tScriptFrame* frame);

// cScene
int32_t cScene__applyTimedPostEffect(tScriptFrame* frame);
int32_t cScene__cameraMove(tScriptFrame* frame);
int32_t cScene__cameraMoveSecond(tScriptFrame* frame);
int32_t cScene__cameraSet(tScriptFrame* frame);
int32_t cScene__cameraSetSecond(tScriptFrame* frame);
int32_t cScene__closeSecondStage(tScriptFrame* frame);
int32_t cScene__cmvShow(tScriptFrame* frame);
int32_t cScene__createFreeMobile(tScriptFrame* frame);
int32_t cScene__createLight(tScriptFrame* frame);
int32_t cScene__createWeather(tScriptFrame* frame);
int32_t cScene__destroyWeather(tScriptFrame* frame);
int32_t cScene__fade(tScriptFrame* frame);
int32_t cScene__getActualView(tScriptFrame* frame);
int32_t cScene__getFreeMobile(tScriptFrame* frame);
int32_t cScene__getLight(tScriptFrame* frame);
int32_t cScene__getMesh(tScriptFrame* frame);
int32_t cScene__getView(tScriptFrame* frame);
int32_t cScene__initDOF(tScriptFrame* frame);
int32_t cScene__leaveDetailView(tScriptFrame* frame);
int32_t cScene__openSecondStage(tScriptFrame* frame);
int32_t cScene__setAmbientLight(tScriptFrame* frame);
int32_t cScene__setDOF(tScriptFrame* frame);
int32_t cScene__setLights(tScriptFrame* frame);
int32_t cScene__setShadowFactor(tScriptFrame* frame);
int32_t cScene__setWeatherLayer(tScriptFrame* frame);

// cSystem
int32_t cSystem__addPDAAttachment(tScriptFrame* frame);
int32_t cSystem__addPDAAudioEntry(tScriptFrame* frame);
int32_t cSystem__addPDAMail(tScriptFrame* frame);
int32_t cSystem__addPDAMailTextline(tScriptFrame* frame);
int32_t cSystem__addPDAPhonebookEntry(tScriptFrame* frame);
int32_t cSystem__addSoundDSP(tScriptFrame* frame);
int32_t cSystem__addToInventory(tScriptFrame* frame);
int32_t cSystem__call(tScriptFrame* frame);
int32_t cSystem__callScene(tScriptFrame* frame);
int32_t cSystem__clearInventory(tScriptFrame* frame);
int32_t cSystem__fadeSoundstage(tScriptFrame* frame);
int32_t cSystem__getScene(tScriptFrame* frame);
int32_t cSystem__gotoScene(tScriptFrame* frame);
int32_t cSystem__irand(tScriptFrame* frame);
int32_t cSystem__isItemSelected(tScriptFrame* frame);
int32_t cSystem__isLastScene(tScriptFrame* frame);
int32_t cSystem__isScene(tScriptFrame* frame);
int32_t cSystem__isState(tScriptFrame* frame);
int32_t cSystem__loadSound(tScriptFrame* frame);
int32_t cSystem__openPDA(tScriptFrame* frame);
int32_t cSystem__playEmittedSound(tScriptFrame* frame);
int32_t cSystem__playMusic(tScriptFrame* frame);
int32_t cSystem__playSound(tScriptFrame* frame);
int32_t cSystem__popInventory(tScriptFrame* frame);
int32_t cSystem__pushInventory(tScriptFrame* frame);
int32_t cSystem__quitGame(tScriptFrame* frame);
int32_t cSystem__removeFromInventory(tScriptFrame* frame);
int32_t cSystem__restartGame(tScriptFrame* frame);
int32_t cSystem__selectTempInventory(tScriptFrame* frame);
int32_t cSystem__setInventoryImage(tScriptFrame* frame);
int32_t cSystem__setInventoryOnly(tScriptFrame* frame);
int32_t cSystem__setString(tScriptFrame* frame);
int32_t cSystem__setTimer(tScriptFrame* frame);
int32_t cSystem__setupSound(tScriptFrame* frame);
int32_t cSystem__showCasefile(tScriptFrame* frame);
int32_t cSystem__showRadio(tScriptFrame* frame);
int32_t cSystem__showVideo(tScriptFrame* frame);
int32_t cSystem__stopMusic(tScriptFrame* frame);
int32_t cSystem__stopSound(tScriptFrame* frame);
int32_t cSystem__unselectInventory(tScriptFrame* frame);
int32_t cSystem__wait(tScriptFrame* frame);

// cView
int32_t cView__addLayer(tScriptFrame* frame);
int32_t cView__attachCamLayer(tScriptFrame* frame);
int32_t cView__imagePreload(tScriptFrame* frame);
int32_t cView__imageReplaceSuffix(tScriptFrame* frame);
int32_t cView__imageRestart(tScriptFrame* frame);
int32_t cView__imageSetCallback(tScriptFrame* frame);
int32_t cView__imageSetFrame(tScriptFrame* frame);
int32_t cView__imageWait(tScriptFrame* frame);
int32_t cView__init(tScriptFrame* frame);
int32_t cView__putIsFiltered(tScriptFrame* frame);
int32_t cView__putNoActors(tScriptFrame* frame);
int32_t cView__removeLayer(tScriptFrame* frame);
int32_t cView__select(tScriptFrame* frame);
int32_t cView__selectAsDetail(tScriptFrame* frame);
int32_t cView__selectStage(tScriptFrame* frame);
int32_t cView__setLayerColormap(tScriptFrame* frame);
int32_t cView__setLayerRenderMethod(tScriptFrame* frame);
int32_t cView__showLayer(tScriptFrame* frame);

// cCtrlBunkerWall
int32_t cCtrlBunkerWall__execute(tScriptFrame* frame);
int32_t cCtrlBunkerWall__init(tScriptFrame* frame);
int32_t cCtrlBunkerWall__isFinished(tScriptFrame* frame);
int32_t cCtrlBunkerWall__shootNow(tScriptFrame* frame);

// cCtrlFlashlight
int32_t cCtrlFlashlight__addMobile(tScriptFrame* frame);
int32_t cCtrlFlashlight__addView(tScriptFrame* frame);
int32_t cCtrlFlashlight__end(tScriptFrame* frame);
int32_t cCtrlFlashlight__init(tScriptFrame* frame);

// cCtrlMirror
int32_t cCtrlMirror__addMirrorFloor(tScriptFrame* frame);
int32_t cCtrlMirror__addMirrorPlane(tScriptFrame* frame);
int32_t cCtrlMirror__excludeMobile(tScriptFrame* frame);
int32_t cCtrlMirror__init(tScriptFrame* frame);
int32_t cCtrlMirror__setMeshMode(tScriptFrame* frame);

// cCtrlSplitScreen
int32_t cCtrlSplitScreen__init(tScriptFrame* frame);

// cCtrlTicker
int32_t cCtrlTicker__addLine(tScriptFrame* frame);
int32_t cCtrlTicker__init(tScriptFrame* frame);
