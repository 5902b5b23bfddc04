#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"
#include "engine/render/image.h"

// ---- Hotspots and paths ----------------------------------------------------




// ---- Lights ----------------------------------------------------------------




// ---- Meshes and mobiles ----------------------------------------------------




// ---- Sparkles --------------------------------------------------------------




// ---- Inventory items -------------------------------------------------------

namespace {

// The record the call object's index selects; null (and the call does
// nothing) for an index outside the inventory.
sInventoryItem* BoundItem(const tScriptFrame* frame)
{
    return gTarvel.mInventory.ItemAt(ScriptInventoryIndex(frame));
}

} // namespace

int32_t cInventoryItem__addVerb(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (sInventoryItem* item = BoundItem(frame))
        gTarvel.mVerbBar.AddVerb(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                                 nullptr, nullptr, item->script, item->object);
    return 0;
}

int32_t cInventoryItem__loadImages(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    sInventoryItem* item = BoundItem(frame);
    const char* name = ScriptArgString(frame, 0);
    if (!item || !*name)
        return 0;
    delete item->image;
    item->image = nullptr;
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mInventoryImage = 1;
    image->mName = name;
    item->image = image;
    if (image->mVideo || image->mHeader.frameCount > 1)
        image->Play(kImageLoop, 0);
    return 0;
}

int32_t cInventoryItem__putName(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (sInventoryItem* item = BoundItem(frame))
        item->displayName = ScriptArgString(frame, 0);
    return 0;
}

int32_t cInventoryItem__select(tScriptFrame* frame)
{
    if (sInventoryItem* item = BoundItem(frame))
        gTarvel.mInventory.SelectItem(item);
    return 0;
}



