#pragma once

#include "engine/gameplay/screen_control.h"

class cTarvelScript;
class cTarvelScriptValue;

// The verb bar. Until the player interface lands it holds no verbs: it only
// keeps the object a click opened it for.
class cTarvelVerbBar : public cTarvelScreenControl {
public:
    cTarvelVerbBar();
    virtual ~cTarvelVerbBar();
    cTarvelVerbBar(const cTarvelVerbBar&) = delete;
    cTarvelVerbBar& operator=(const cTarvelVerbBar&) = delete;

    // Binds the bar's effects at gameplay start-up; nothing to bind yet.
    void Init() {}
    virtual void Release();
    // Opens the bar for the object, whose events go to the script.
    void Show(cTarvelScript* script, cTarvelScriptValue* object);

    cTarvelScript* mScript = nullptr;
    cTarvelScriptValue* mObject = nullptr;
};
