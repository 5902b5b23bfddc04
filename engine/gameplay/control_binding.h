#pragma once

#include "engine/core/string.h"
#include "engine/script/script_handles.h"

class cTarvelControl;

// A restored control takes the place of the script object it was bound to:
// the shared script value of that name, when there is one, is bound to it.
void BindControlSymbol(cTarvelControl* control, const cTarvelString& symbol, eScriptObjectType type);
