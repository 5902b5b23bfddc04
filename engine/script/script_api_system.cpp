#include "engine/script/script_api.h"

// ---- Scene change, waits and videos ----------------------------------------




// ---- Sound and music -------------------------------------------------------




// ---- Random numbers, timers and calls --------------------------------------




// ---- Questions and game flow -----------------------------------------------




// ---- Screen controls -------------------------------------------------------




// ---- Inventory -------------------------------------------------------------




// ---- PDA -------------------------------------------------------------------




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
