// Loads the input as a script image and, when it loads, enters it at offset
// 0 and at each of its first functions, then resumes it once at any label a
// suspending call left. Every run has an instruction budget. Imports that
// the program exports are served by a harmless function; "fuzz__wait",
// "fuzz__waitNoState" and "fuzz__call" suspend or re-enter the machine; any
// other name takes the not-found path. A fatal error (a refused image or
// bad code) returns here through the reporter's hook.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "fuzz/fatal_guard.h"

namespace {

std::string gLabel;

int32_t Harmless(tScriptFrame* frame)
{
    // Read what a real function would read; write a result of each kind.
    (void)ScriptArgString(frame, 0);
    (void)ScriptArgFloat(frame, 3);
    ScriptSetResultInt(frame, 1);
    ScriptSetResultString(frame, "fuzz");
    return 0;
}

int32_t Wait(tScriptFrame* frame)
{
    gLabel = frame->machine->MakeTempName().c_str();
    frame->machine->Suspend(true);
    return 0;
}

int32_t WaitNoState(tScriptFrame* frame)
{
    gLabel = frame->machine->MakeTempName().c_str();
    frame->machine->Suspend(false);
    return 0;
}

int32_t Call(tScriptFrame* frame)
{
    frame->machine->CallFunction(ScriptArgString(frame, 0), nullptr);
    return 0;
}

void PrepareImports(const cTarvelScript& machine)
{
    gLibraryFunctions.Clear();
    cTarvelScript::AddLibraryFunction("fuzz__wait", Wait);
    cTarvelScript::AddLibraryFunction("fuzz__waitNoState", WaitNoState);
    cTarvelScript::AddLibraryFunction("fuzz__call", Call);
    for (const tScriptImport& import : machine.mImports)
        if (FindScriptExport(import.name))
            cTarvelScript::AddLibraryFunction(import.name, Harmless);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gSharedSymbols.Clear();
    gLabel.clear();
    fuzz::RunGuarded([&] {
        cTarvelScript machine;
        machine.LoadImage(data, size, "fuzz");
        PrepareImports(machine);
        cTarvelScript::sInstructionBudget = 20000;
        machine.CallFunction("", nullptr);
        for (size_t i = 0; i < machine.mFunctions.size() && i < 4; ++i)
            machine.CallFunction(machine.mFunctions[i].name, nullptr);
        if (!gLabel.empty())
            machine.CallFunction(gLabel.c_str(), nullptr);
    });
    cTarvelScript::sInstructionBudget = -1;
    return 0;
}
