// Loads the input as a script image and, when it loads, enters it at offset
// 0 and at each of its first functions, then resumes it once at any label a
// suspending call left. Every run has an instruction budget. Imports that
// the program exports are served by a harmless function; "fuzz__wait",
// "fuzz__waitNoState" and "fuzz__call" suspend or re-enter the machine; any
// other name takes the not-found path. A fatal error (a refused image or
// bad code) returns here through the reporter's hook. Each input runs twice,
// with the interpreter's fused runs and without; the two must end alike.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/script/script_fused.h"
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

// What the runs of one input leave behind.
struct tOutcome {
    bool finished = false;
    std::vector<int> results;
    std::string label;
    uint32_t pc = 0;
    uint32_t sp = 0;
    int64_t budget = 0;
    std::vector<uint8_t> stack;
    std::vector<int32_t> integers;
    bool operator==(const tOutcome&) const = default;
};

tOutcome RunInput(const uint8_t* data, size_t size, bool fused)
{
    gScriptFusedRuns = fused;
    gSharedSymbols.Clear();
    gLabel.clear();
    tOutcome out;
    out.finished = fuzz::RunGuarded([&] {
        cTarvelScript machine;
        machine.LoadImage(data, size, "fuzz");
        PrepareImports(machine);
        cTarvelScript::sInstructionBudget = 20000;
        out.results.push_back(machine.CallFunction("", nullptr));
        for (size_t i = 0; i < machine.mFunctions.size() && i < 4; ++i)
            out.results.push_back(machine.CallFunction(machine.mFunctions[i].name, nullptr));
        if (!gLabel.empty())
            out.results.push_back(machine.CallFunction(gLabel.c_str(), nullptr));
        out.pc = machine.mPc;
        out.sp = machine.mSp;
        out.stack.assign(machine.mStack.get() + 1, machine.mStack.get() + 1 + machine.mSp);
        for (const cTarvelScriptValue& g : machine.mGlobals)
            out.integers.push_back(g.integer);
    });
    out.label = gLabel;
    out.budget = cTarvelScript::sInstructionBudget;
    cTarvelScript::sInstructionBudget = -1;
    gScriptFusedRuns = true;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!(RunInput(data, size, true) == RunInput(data, size, false)))
        __builtin_trap();
    return 0;
}
