#include "engine/script/script_api.h"

// Entry points whose script class is not built yet: each writes one line on
// standard error and returns 0, so every script image loads and runs. A
// class's own source replaces its lines here when it lands.
#define TARVEL_SCRIPT_STUB(name) \
    int32_t name(tScriptFrame*) { return ScriptFunctionNotBuilt(#name); }

TARVEL_SCRIPT_STUB(cInventoryItem__addVerb)
TARVEL_SCRIPT_STUB(cInventoryItem__loadImages)
TARVEL_SCRIPT_STUB(cInventoryItem__putName)
TARVEL_SCRIPT_STUB(cInventoryItem__select)

TARVEL_SCRIPT_STUB(cSystem__addToInventory)
TARVEL_SCRIPT_STUB(cSystem__clearInventory)
TARVEL_SCRIPT_STUB(cSystem__isItemSelected)
TARVEL_SCRIPT_STUB(cSystem__popInventory)
TARVEL_SCRIPT_STUB(cSystem__pushInventory)
TARVEL_SCRIPT_STUB(cSystem__removeFromInventory)
TARVEL_SCRIPT_STUB(cSystem__selectTempInventory)
TARVEL_SCRIPT_STUB(cSystem__setInventoryImage)
TARVEL_SCRIPT_STUB(cSystem__unselectInventory)
