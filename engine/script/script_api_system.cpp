#include "engine/script/script_api.h"

// ---- Scene change, waits and videos ----------------------------------------




// ---- Sound and music -------------------------------------------------------




// ---- Random numbers, timers and calls --------------------------------------




// ---- Questions and game flow -----------------------------------------------




// ---- Screen controls -------------------------------------------------------




// ---- Inventory -------------------------------------------------------------




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
