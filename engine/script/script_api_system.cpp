#include "engine/script/script_api.h"

#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/screen_control_case_file.h"
#include "engine/gameplay/screen_control_inv_only.h"
#include "engine/gameplay/screen_control_radio.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "platform/win32/crt.h"

// ---- Scene change, waits and videos ----------------------------------------

namespace {

constexpr const char* kSystemSource = ".\\source\\scrlib_cSystem";
// The type of scene files in the archive.
constexpr int kSceneResource = 1;

} // namespace

int32_t cSystem__gotoScene(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvel& engine = gTarvel;
    const char* state = ScriptArgString(frame, 1);
    const char* actor = ScriptArgString(frame, 2);
    if (state[0] != '\0')
        engine.mPendingGameState = state;

    const cTarvelString resource = cTarvelString(ScriptArgString(frame, 0)) + "." + engine.mPendingGameState;
    // The archive's own report of an unknown name would hide this one.
    const int slot = engine.mResources.Exists(resource.c_str(), kSceneResource)
                         ? engine.mResources.OpenResource(resource.c_str(), kSceneResource)
                         : -1;
    if (slot < 0)
        engine.FatalError(0, kSystemSource, 108, "ScrLib::cSystem__gotoScene)",
                          "Scene file " + resource + " can not be loaded.", 0);

    // A second change before the frame switch replaces the first.
    if (cTarvelScene* pending = engine.mPendingScene; pending && pending != engine.mScene) {
        if (pending->mSlot >= 0)
            engine.mResources.CloseResource(pending->mSlot);
        pending->mSlot = -1;
        delete pending;
    }
    auto* scene = new cTarvelScene();
    scene->mSlot = slot;
    engine.mPendingScene = scene;

    if (state[0] != '\0' || actor[0] != '\0') {
        // A new state or actor brings a new player; without a player in
        // play there is no file to make it from.
        cTarvelString file(actor);
        if (file.Length() == 0 && engine.mPlayer)
            file = engine.mPlayer->mName;
        if (file.Length() > 0) {
            auto* player = new cTarvelActor(file, engine.mPendingGameState, false);
            if (player->mScript)
                if (cTarvelScriptValue* pc = player->mScript->FindSymbol("PC", "cActor"))
                    pc->object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
            delete engine.mPendingPlayer;
            engine.mPendingPlayer = player;
        }
    }
    engine.mGraphics.ClearText();
    return 0;
}

int32_t cSystem__wait(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    ScriptWaitCinematic(frame, eScriptWaitRule::AlwaysNew)->WaitTime(ScriptArgFloat(frame, 0));
    return 0;
}

int32_t cSystem__showVideo(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (ScriptCinematicSkipping())
        return 0;
    gTarvel.mHints.FadeOut();
    auto* video = new cTarvelVideo();
    if (video->Play(ScriptArgString(frame, 0), false) != 0) {
        // Nothing to show: the script goes on rather than waiting for a
        // movie that never ends.
        delete video;
        return 0;
    }
    ScriptSuspendInto(frame, video->mScript, video->mScriptSerial, video->mLabel, true);
    gTarvel.mGraphics.ClearText();
    if (!gTarvel.mMovie && gTarvel.mCutSceneMovie == video) {
        gTarvel.mMovie = video;
        gTarvel.mCutSceneMovie = nullptr;
        video->Update();
    }
    return 0;
}

// ---- Sound and music -------------------------------------------------------

int32_t cSystem__loadSound(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mSound.LoadSound(ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__stopSound(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mSound.StopSound(ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__playSound(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // The group comes from the sound's record; the loop integer is the flags.
    gTarvel.mSound.PlaySound(ScriptArgString(frame, 0), ScriptArgFloat(frame, 1), "",
                             static_cast<uint32_t>(ScriptArgInt(frame, 2)), 0);
    return 0;
}

int32_t cSystem__playEmittedSound(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const float position[3] = {ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2), ScriptArgFloat(frame, 3)};
    gTarvel.mSound.PlayEmittedSound(ScriptArgString(frame, 0), position, ScriptArgFloat(frame, 4),
                                    ScriptArgFloat(frame, 5), ScriptArgFloat(frame, 6),
                                    static_cast<uint32_t>(ScriptArgInt(frame, 7)), "", 0);
    return 0;
}

int32_t cSystem__playMusic(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const char* name = ScriptArgString(frame, 0);
    if (name[0] != '\0')
        gTarvel.mSound.PlayMusic(name, "", 0, false);
    return 0;
}

int32_t cSystem__stopMusic(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mSound.StopMusic(ScriptArgFloat(frame, 0), static_cast<uint32_t>(ScriptArgInt(frame, 1)));
    return 0;
}

int32_t cSystem__addSoundDSP(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // By position: channel group, effect kind, parameter text.
    gTarvel.mSound.AddDSP(ScriptArgInt(frame, 0), ScriptArgInt(frame, 1), ScriptArgString(frame, 2));
    return 0;
}

int32_t cSystem__setupSound(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // By position: name, file list, channel group, flags.
    gTarvel.mSound.SetupSound(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgInt(frame, 2),
                              static_cast<uint32_t>(ScriptArgInt(frame, 3)));
    return 0;
}

// ---- Random numbers, timers and calls --------------------------------------

int32_t cSystem__irand(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const float share = static_cast<float>(crt::rand()) / 32767.0f;
    ScriptSetResultInt(frame, ScriptFloatToInt(share * ScriptArgFloat(frame, 0)));
    return 0;
}

int32_t cSystem__setTimer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const float extra = static_cast<float>(crt::rand()) / 32767.0f * ScriptArgFloat(frame, 1);
    // The timer's id is not the script's.
    if (frame->machine)
        gTarvel.mTimer.SetTimer(ScriptArgString(frame, 2), frame->machine, ScriptArgFloat(frame, 0) + extra);
    return 0;
}

int32_t cSystem__call(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (frame->machine)
        frame->machine->CallFunction(ScriptArgString(frame, 0), nullptr);
    return 0;
}

int32_t cSystem__callScene(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (gTarvel.mScene && gTarvel.mScene->mScript)
        gTarvel.mScene->mScript->CallFunction(ScriptArgString(frame, 0), nullptr);
    return 0;
}

// ---- Questions and game flow -----------------------------------------------

int32_t cSystem__isScene(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const cTarvelScene* scene = gTarvel.mScene;
    ScriptSetResultBool(frame, scene && std::strcmp(scene->mHeader.name, ScriptArgString(frame, 0)) == 0);
    return 0;
}

int32_t cSystem__isLastScene(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    ScriptSetResultBool(frame, gTarvel.mPreviousSceneName == ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__isState(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    ScriptSetResultBool(frame, gTarvel.mGameState == ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__getScene(tScriptFrame* frame)
{
    // Kind 7 without a class name.
    ScriptSetResultObject(frame, nullptr, gScriptHandles.Bind(gTarvel.mScene, eScriptObjectType::Scene), false);
    return 0;
}

int32_t cSystem__quitGame(tScriptFrame*)
{
    gTarvel.mQuitRequest = 1;
    return 0;
}

int32_t cSystem__restartGame(tScriptFrame*)
{
    gTarvel.mNewGameRequest = 1;
    return 0;
}

int32_t cSystem__setString(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mGameplay.mTextLines.Add(cTarvelString(ScriptArgString(frame, 0)) + " " + ScriptArgString(frame, 1));
    return 0;
}

// ---- Screen controls -------------------------------------------------------

int32_t cSystem__setInventoryOnly(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    tArray<cTarvelScreenControl*>& stack = gScreenControls;
    for (int32_t i = stack.count - 1; i >= 0; --i)
        if (stack.data[i] && stack.data[i]->mTypeId == cTarvelScreenControl::kInvOnly)
            stack.data[i]->mDone = true;
    if (ScriptArgBool(frame, 0))
        stack.Add(new cTarvelScreenControlInvOnly());
    return 0;
}

int32_t cSystem__showCasefile(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // The page count follows the name; a call with the name alone repeats
    // it, whose integer is 0: one page.
    gScreenControls.Add(new cTarvelScreenControlCaseFile(ScriptArgString(frame, 0), ScriptArgInt(frame, 1),
                                                         frame->machine));
    return 0;
}

int32_t cSystem__showRadio(tScriptFrame*)
{
    gScreenControls.Add(new cTarvelScreenControlRadio());
    return 0;
}

// ---- Inventory -------------------------------------------------------------

// Names the scripts pass: an empty one is ignored.
int32_t cSystem__addToInventory(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const char* name = ScriptArgString(frame, 0);
    if (*name)
        gTarvel.mInventory.AddItem(name, false);
    return 0;
}

int32_t cSystem__removeFromInventory(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const char* name = ScriptArgString(frame, 0);
    if (*name) {
        cTarvelInventory& inventory = gTarvel.mInventory;
        inventory.RemoveItem(inventory.FindItem(name));
    }
    return 0;
}

int32_t cSystem__selectTempInventory(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const char* name = ScriptArgString(frame, 0);
    if (*name)
        gTarvel.mInventory.SelectTempItem(name);
    return 0;
}

int32_t cSystem__setInventoryImage(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const char* item = ScriptArgString(frame, 0);
    if (*item)
        gTarvel.mInventory.SetItemImage(item, ScriptArgString(frame, 1));
    return 0;
}

int32_t cSystem__clearInventory(tScriptFrame*)
{
    gTarvel.mInventory.Clear();
    return 0;
}

int32_t cSystem__unselectInventory(tScriptFrame*)
{
    gTarvel.mInventory.UnselectItem();
    return 0;
}

int32_t cSystem__pushInventory(tScriptFrame*)
{
    gTarvel.mInventory.Push();
    return 0;
}

int32_t cSystem__popInventory(tScriptFrame*)
{
    gTarvel.mInventory.Pop();
    return 0;
}

int32_t cSystem__isItemSelected(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const sInventoryItem* selected = gTarvel.mInventory.mSelected;
    ScriptSetResultBool(frame, selected && selected->name == ScriptArgString(frame, 0));
    return 0;
}




// ---- PDA -------------------------------------------------------------------

#include "engine/core/tarvel.h"
#include "engine/gameplay/pda.h"
#include "engine/world/scene.h"

namespace {

// A notice for what was added, once while one of its kind is listed.
void RaisePDANotice(int32_t code)
{
    gTarvel.mPDA.RaiseNotice(code);
}

} // namespace

int32_t cSystem__addPDAPhonebookEntry(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mPDA.AddPhonebookEntry(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                                   ScriptArgString(frame, 3));
    RaisePDANotice(cTarvelPDA::kNoticePhone);
    return 0;
}

int32_t cSystem__addPDAMail(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelPDA& pda = gTarvel.mPDA;
    pda.AddMail(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                ScriptArgString(frame, 3));
    pda.PlaySound(cTarvelPDA::kSoundIncoming);
    RaisePDANotice(cTarvelPDA::kNoticeMail);
    return 0;
}

// Title, sound and text: the clip is found under the title, in the current
// scene's file of the current state, as the sound's cinematic running the
// text's event.
int32_t cSystem__addPDAAudioEntry(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const cTarvelScene* scene = gTarvel.mScene;
    cTarvelString place = scene ? cTarvelString(scene->mHeader.name) : gTarvel.mSceneName;
    place += ".";
    place += gTarvel.mGameState;
    gTarvel.mPDA.AddAudioEntry(ScriptArgString(frame, 0), place, ScriptArgString(frame, 1),
                               ScriptArgString(frame, 2));
    RaisePDANotice(cTarvelPDA::kNoticeAudio);
    return 0;
}

int32_t cSystem__addPDAMailTextline(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mPDA.AddMailTextline(ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__addPDAAttachment(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mPDA.AddAttachment(ScriptArgString(frame, 0));
    return 0;
}

int32_t cSystem__openPDA(tScriptFrame*)
{
    gTarvel.mPDA.Open();
    return 0;
}




// ---- Sound-stage fade ------------------------------------------------------

#include "engine/core/tarvel.h"
#include "engine/gameplay/control_soundstage_fade.h"

int32_t cSystem__fadeSoundstage(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    // No script object is bound to the fade.
    gActiveControls.Add(new cTarvelControlSoundstageFade(ScriptArgFloat(frame, 0), ScriptArgBool(frame, 1)));
    return 0;
}
