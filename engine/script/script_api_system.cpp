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




// ---- Sound-stage fade ------------------------------------------------------



