#pragma once

#include "engine/core/string.h"

class cScriptObject;

// Stand-in of the script machine until the machine itself lands: it keeps
// its name and its place in the live list, and reports every call.
class cTarvelScript {
public:
    explicit cTarvelScript(const char* name);
    ~cTarvelScript();
    cTarvelScript(const cTarvelScript&) = delete;
    cTarvelScript& operator=(const cTarvelScript&) = delete;

    // -10: the stand-in has no functions.
    int CallFunction(const char* name, void* argument);
    int CallEvent(cScriptObject* object, cTarvelString event);

    // Tests observe the calls through this hook.
    static void (*sCallObserver)(cTarvelScript*, const char*);

    cTarvelString mName;
};
