// Instructions per second of the script interpreter on an arithmetic loop
// and on a loop of calls to an exported function, beside the same loops in
// Lua 5.4. items_per_second counts loop iterations in both, so the two
// figures compare directly; the interpreter also reports its instructions.
// The *VsLua cases run each loop and its Lua twin side by side and report
// ratio_to_baseline. The *VsNothing cases call exported functions on a
// written scene (a field setter on a hotspot, a view lookup that returns an
// object, an actor's position) beside the same loop calling a function that
// does nothing: the ratio is what handle resolution, argument reading and
// name lookup add to a call.
#include <benchmark/benchmark.h>
#include <lua.hpp>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/region_set.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/scene_writer.h"
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

// ---- Exported functions on a scene -------------------------------------------

namespace fs = std::filesystem;

// The engine on an archive of one scene (views "Main" and "Close", one
// hotspot) and the actor "Hero", read once for the run.
struct World {
    cTarvelScene* scene = nullptr;
    cTarvelActor* actor = nullptr;
};

World& TheWorld()
{
    static World world = [] {
        World w;
        static const fs::path folder = fs::temp_directory_path() / ("tarvel-bench-script-" + std::to_string(getpid()));
        fs::create_directories(folder / "root");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        testkit::SceneFile file;
        file.name = "Room";
        file.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.8f}}, {"Close", {0, 20, -50, 0, 0, 0, 1, 1.0f}}};
        testkit::SceneHotspot door;
        door.number = 1;
        door.regions = {{"Main", {{false, {{10, 200}, {60, 200}, {60, 300}}}}, {}}};
        file.hotspots = {door};
        file.script = AssembleScriptOrThrow("global Room object class=cScene\nret\n");
        testkit::ArchiveWriter writer;
        writer.AddLanguage(9);
        writer.AddShared(1, "Room", testkit::kSceneResourceType, testkit::BuildSceneFile(file), false);
        writer.AddShared(1, "Hero.day", 2, AssembleActorScript("Hero"), false);
        std::string error;
        if (!writer.Write(folder, &error)) {
            std::fprintf(stderr, "cannot write the archive: %s\n", error.c_str());
            std::exit(1);
        }
        fs::current_path(folder);
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        gTarvel.mWindow = gMainWindow;
        gTarvel.mConfig.ScreenRes = 0x04000300;
        gTarvel.mConfig.PostEffects = 0;
        gTarvel.mConfig.Language = 9;
        if (gTarvel.mGraphics.Initialize() != 0 || gTarvel.mResources.Initialize() != 0)
            std::exit(1);
        w.scene = new cTarvelScene();
        const int slot = gTarvel.mResources.OpenResource("Room", testkit::kSceneResourceType);
        w.scene->ReadFile(slot, 1);
        gTarvel.mResources.CloseResource(slot);
        gTarvel.mScene = w.scene;
        gTarvel.mGameState = "day";
        w.actor = new cTarvelActor("Hero", "day", true);
        w.actor->mMobile->mPosition = D3DXVECTOR3(5.0f, 6.0f, 7.0f);
        return w;
    }();
    return world;
}

int32_t Nothing(tScriptFrame*)
{
    return 0;
}

// A loop of kIterations calls of `call` on the global Me, bound to `bound`;
// `check` tells a right run from a wrong one.
class CallLoop {
public:
    CallLoop(const std::string& call, const char* import, const char* accKind, uint32_t handle,
             std::function<bool(cTarvelScript&)> check)
        : mCheck(std::move(check))
    {
        const std::string source = "global I int\nglobal Acc " + std::string(accKind) +
                                   "\nglobal Me object class=cObject\n" +
                                   std::string(import) + "\nfunction Loop\nloop:\n" + call +
                                   "  inc ref I\n  load ref I\n  push int " + std::to_string(kIterations) +
                                   "\n  eq\n  jz loop\n  ret\n";
        mMachine = Load(source);
        mMachine->mGlobals[2].object = handle;
    }
    bool operator()()
    {
        mMachine->mGlobals[0].integer = 0;
        mMachine->mGlobals[1].object = 0;
        mMachine->mGlobals[1].floatValue = 0.0f;
        cTarvelScript::sInstructionBudget = -1;
        return mMachine->CallFunction("Loop", nullptr) == 0 && mCheck(*mMachine);
    }

private:
    std::unique_ptr<cTarvelScript> mMachine;
    std::function<bool(cTarvelScript&)> mCheck;
};

// The exported function and the do-nothing one are resolved by name on the
// first call, as a game's script resolves them.
void RunCallsVsNothing(benchmark::State& state, const char* function, uint32_t arguments, const char* result,
                       const std::string& call, uint32_t handle, std::function<bool(cTarvelScript&)> check)
{
    gLibraryFunctions.Clear();
    cTarvelScript::AddLibraryFunction("bench__nothing", Nothing);
    const bool stores = std::string(result) != "none";
    const char* accKind = stores ? result : "int";
    // Built by appending: GCC warns wrongly about chains of string sums here.
    auto body = [&](const char* name) {
        std::string text("  ");
        text.append(call).append(" ").append(name).append("\n");
        if (stores)
            text.append("  store\n");
        return text;
    };
    auto import = [&](const char* name) {
        std::string text("import ");
        text.append(name).append(" ").append(std::to_string(arguments)).append(" ").append(result);
        return text;
    };
    CallLoop project(body(function), import(function).c_str(), accKind, handle, std::move(check));
    CallLoop nothing(body("bench__nothing"), import("bench__nothing").c_str(), accKind, handle,
                     [](cTarvelScript&) { return true; });
    bench::RunPaired(state, project, nothing);
    state.SetItemsProcessed(state.iterations() * kIterations);
}

void BM_HotspotPutEnabledVsNothing(benchmark::State& state)
{
    World& world = TheWorld();
    cTarvelRegionSet* door = world.scene->mHotspots[0];
    RunCallsVsNothing(state, "cHotspot__putEnabled", 1, "none", "push bool true\n  callg Me",
                      gScriptHandles.Bind(door, eScriptObjectType::SceneObject), [door](cTarvelScript&) {
                          const bool set = door->mEnabled;
                          door->mEnabled = false;
                          return set;
                      });
}
BENCHMARK(BM_HotspotPutEnabledVsNothing)->UseManualTime();

void BM_SceneGetViewVsNothing(benchmark::State& state)
{
    World& world = TheWorld();
    cTarvelView* close = world.scene->FindView("Close");
    RunCallsVsNothing(state, "cScene__getView", 1, "result",
                      "push ref Acc\n  push string \"Close\"\n  callg Me",
                      gScriptHandles.Bind(world.scene, eScriptObjectType::Scene), [close](cTarvelScript& machine) {
                          return gScriptHandles.Get<cTarvelView>(machine.mGlobals[1].object,
                                                                 eScriptObjectType::View) == close;
                      });
}
BENCHMARK(BM_SceneGetViewVsNothing)->UseManualTime();

void BM_ActorGetPositionVsNothing(benchmark::State& state)
{
    World& world = TheWorld();
    RunCallsVsNothing(state, "cActor__getPosition", 1, "float", "push ref Acc\n  push int 0\n  callg Me",
                      gScriptHandles.Bind(world.actor, eScriptObjectType::Actor),
                      [](cTarvelScript& machine) { return machine.mGlobals[1].floatValue == 5.0f; });
}
BENCHMARK(BM_ActorGetPositionVsNothing)->UseManualTime();

} // namespace
