#include "engine/gameplay/verb_bar.h"

cTarvelVerbBar::cTarvelVerbBar()
{
    mTypeId = kVerbBar;
    mMember = true;
}
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
