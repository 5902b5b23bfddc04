#include "engine/gameplay/verb_bar.h"

cTarvelVerbBar::cTarvelVerbBar() = default;
cTarvelVerbBar::~cTarvelVerbBar() = default;

void cTarvelVerbBar::Release()
{
    mScript = nullptr;
    mObject = nullptr;
}

void cTarvelVerbBar::Show(cTarvelScript* script, cTarvelScriptValue* object)
{
    mScript = script;
    mObject = object;
}
