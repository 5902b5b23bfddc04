// Instructions per second of the script interpreter on an arithmetic loop
// and on a loop of calls to an exported function, beside the same loops in
// Lua 5.4. items_per_second counts loop iterations in both, so the two
// figures compare directly; the interpreter also reports its instructions.
// The *VsLua cases run each loop and its Lua twin side by side and report
// ratio_to_baseline.
#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "tools/script_assembler.h"

namespace {

constexpr int kIterations = 10000;

const char* const kLuaArithmetic = "local n = ...\nlocal i, acc = 0, 0\n"
                                   "repeat acc = acc + i * 3; i = i + 1 until i == n\nreturn acc";
const char* const kLuaCalls = "local n = ...\nlocal i, acc = 0, 0\n"
                              "repeat acc = addOne(acc); i = i + 1 until i == n\nreturn acc";

const std::string kArithmetic =
    "global I int\nglobal Acc int\n"
    "function Loop\n"
    "loop:\n"
    "  push ref Acc\n  load ref Acc\n  load ref I\n  push int 3\n  mul\n  add\n  store\n"
    "  inc ref I\n"
    "  load ref I\n  push int " + std::to_string(kIterations) + "\n  eq\n  jz loop\n"
    "  ret\n";

const std::string kCalls =
    "global I int\nglobal Acc int\nglobal Me result class=cSystem\n"
    "import bench__addOne 1 int\n"
    "function Loop\n"
    "loop:\n"
    "  push ref Acc\n  load ref Acc\n  callg Me bench__addOne\n  store\n"
    "  inc ref I\n"
    "  load ref I\n  push int " + std::to_string(kIterations) + "\n  eq\n  jz loop\n"
    "  ret\n";

int32_t AddOne(tScriptFrame* frame)
{
    ScriptSetResultInt(frame, ScriptArgInt(frame, 0) + 1);
    return 0;
}

std::unique_ptr<cTarvelScript> Load(const std::string& source)
{
    std::vector<uint8_t> image = AssembleScriptOrThrow(source);
    auto machine = std::make_unique<cTarvelScript>("bench");
    machine->LoadImage(image.data(), image.size(), "bench");
    return machine;
}

void RunScript(benchmark::State& state, const std::string& source, int32_t expected)
{
    gLibraryFunctions.Clear();
    cTarvelScript::AddLibraryFunction("bench__addOne", AddOne);
    auto machine = Load(source);
    const int64_t kBudget = INT64_MAX / 2;
    int64_t instructions = 0;
    for (auto _ : state) {
        machine->mGlobals[0].integer = 0;
        machine->mGlobals[1].integer = 0;
        cTarvelScript::sInstructionBudget = kBudget;
        int result = machine->CallFunction("Loop", nullptr);
        instructions += kBudget - cTarvelScript::sInstructionBudget;
        if (result != 0 || machine->mGlobals[1].integer != expected) {
            state.SkipWithError("the script computed a wrong result");
            break;
        }
    }
    cTarvelScript::sInstructionBudget = -1;
    state.SetItemsProcessed(state.iterations() * kIterations);
    state.counters["instructions"] =
        benchmark::Counter(double(instructions), benchmark::Counter::kIsRate);
}

void BM_ScriptArithmeticLoop(benchmark::State& state)
{
    // sum of 3 i for i below the count
    RunScript(state, kArithmetic, int32_t(3LL * kIterations * (kIterations - 1) / 2));
}
BENCHMARK(BM_ScriptArithmeticLoop);

void BM_ScriptCallLoop(benchmark::State& state)
{
    RunScript(state, kCalls, kIterations);
}
BENCHMARK(BM_ScriptCallLoop);

int LuaAddOne(lua_State* L)
{
    lua_pushinteger(L, luaL_checkinteger(L, 1) + 1);
    return 1;
}

void RunLua(benchmark::State& state, const char* chunk, lua_Integer expected)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_register(L, "addOne", LuaAddOne);
    if (luaL_loadstring(L, chunk) != LUA_OK) {
        state.SkipWithError(lua_tostring(L, -1));
        lua_close(L);
        return;
    }
    lua_setglobal(L, "loop");
    for (auto _ : state) {
        lua_getglobal(L, "loop");
        lua_pushinteger(L, kIterations);
        if (lua_pcall(L, 1, 1, 0) != LUA_OK || lua_tointeger(L, -1) != expected) {
            state.SkipWithError("the Lua loop failed");
            break;
        }
        lua_pop(L, 1);
    }
    lua_close(L);
    state.SetItemsProcessed(state.iterations() * kIterations);
}

// The same shape as the script: a while loop with an equality test.
void BM_LuaArithmeticLoop(benchmark::State& state)
{
    RunLua(state, kLuaArithmetic, lua_Integer(3LL * kIterations * (kIterations - 1) / 2));
}
BENCHMARK(BM_LuaArithmeticLoop);

void BM_LuaCallLoop(benchmark::State& state)
{
    RunLua(state, kLuaCalls, kIterations);
}
BENCHMARK(BM_LuaCallLoop);

// One loaded script and one Lua state, run once per call.
class ScriptLoop {
public:
    ScriptLoop(const std::string& source, int32_t expected) : mExpected(expected)
    {
        gLibraryFunctions.Clear();
        cTarvelScript::AddLibraryFunction("bench__addOne", AddOne);
        mMachine = Load(source);
    }
    bool operator()()
    {
        mMachine->mGlobals[0].integer = 0;
        mMachine->mGlobals[1].integer = 0;
        cTarvelScript::sInstructionBudget = -1;
        return mMachine->CallFunction("Loop", nullptr) == 0 &&
               mMachine->mGlobals[1].integer == mExpected;
    }

private:
    std::unique_ptr<cTarvelScript> mMachine;
    int32_t mExpected;
};

class LuaLoop {
public:
    LuaLoop(const char* chunk, lua_Integer expected) : mExpected(expected)
    {
        mState = luaL_newstate();
        luaL_openlibs(mState);
        lua_register(mState, "addOne", LuaAddOne);
        mLoaded = luaL_loadstring(mState, chunk) == LUA_OK;
        if (mLoaded)
            lua_setglobal(mState, "loop");
    }
    ~LuaLoop() { lua_close(mState); }
    LuaLoop(const LuaLoop&) = delete;
    LuaLoop& operator=(const LuaLoop&) = delete;
    bool operator()()
    {
        if (!mLoaded)
            return false;
        lua_getglobal(mState, "loop");
        lua_pushinteger(mState, kIterations);
        bool right = lua_pcall(mState, 1, 1, 0) == LUA_OK && lua_tointeger(mState, -1) == mExpected;
        lua_pop(mState, 1);
        return right;
    }

private:
    lua_State* mState;
    bool mLoaded;
    lua_Integer mExpected;
};

void BM_ScriptArithmeticLoopVsLua(benchmark::State& state)
{
    const int64_t sum = 3LL * kIterations * (kIterations - 1) / 2;
    ScriptLoop script(kArithmetic, int32_t(sum));
    LuaLoop lua(kLuaArithmetic, lua_Integer(sum));
    bench::RunPaired(state, script, lua);
    state.SetItemsProcessed(state.iterations() * kIterations);
}
BENCHMARK(BM_ScriptArithmeticLoopVsLua)->UseManualTime();

void BM_ScriptCallLoopVsLua(benchmark::State& state)
{
    ScriptLoop script(kCalls, kIterations);
    LuaLoop lua(kLuaCalls, kIterations);
    bench::RunPaired(state, script, lua);
    state.SetItemsProcessed(state.iterations() * kIterations);
}
BENCHMARK(BM_ScriptCallLoopVsLua)->UseManualTime();

} // namespace
