#include "engine/gameplay/control_binding.h"

#include "engine/gameplay/gameplay.h"
#include "engine/script/script_value.h"

void BindControlSymbol(cTarvelControl* control, const cTarvelString& symbol, eScriptObjectType type)
{
    if (symbol.Length() == 0)
        return;
    if (cTarvelScriptValue* value = cTarvelGameplay::FindValue(symbol.c_str()))
        value->object = gScriptHandles.Bind(control, type);
}
