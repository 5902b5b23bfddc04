#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"

// ---- Scene change, waits and videos ----------------------------------------




// ---- Sound and music -------------------------------------------------------




// ---- Random numbers, timers and calls --------------------------------------




// ---- Questions and game flow -----------------------------------------------




// ---- Screen controls -------------------------------------------------------




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
