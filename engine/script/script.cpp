#include "engine/script/script.h"

#include "engine/core/tarvel.h"

void (*cTarvelScript::sCallObserver)(cTarvelScript*, const char*) = nullptr;

cTarvelScript::cTarvelScript(const char* name) : mName(name)
{
    gLiveScripts.Add(this);
}

cTarvelScript::~cTarvelScript()
{
    tArray<cTarvelScript*>& live = gLiveScripts;
    for (int32_t i = 0; i < live.count; ++i) {
        if (live.data[i] == this) {
            live.RemoveAt(i);
            break;
        }
    }
}

int cTarvelScript::CallFunction(const char* name, void*)
{
    if (sCallObserver)
        sCallObserver(this, name);
    return -10;
}

int cTarvelScript::CallEvent(cScriptObject*, cTarvelString event)
{
    return CallFunction(event.c_str(), nullptr);
}
