#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/script/script_value.h"

class cTarvelSavegame;
struct tScriptRegister;

// An exported script function: takes the call frame, returns 0 or -1.
using tScriptLibraryFunction = int32_t (*)(tScriptFrame* frame);

// One entry of the library-function cache.
struct tLibraryFunction {
    cTarvelString name;
    tScriptLibraryFunction address = nullptr;
};

// Records of a script image, as stored (text fields keep their full width).
struct tScriptImport {
    char name[64];
    uint32_t argumentCount;
    uint32_t resultKind;
    uint32_t resolvedIndex; // index into gLibraryFunctions, 0xFFFFFFFF until resolved
};
struct tScriptFunctionRecord {
    char name[136];
    uint32_t codeOffset;
};
struct tScriptEntryRecord {
    uint8_t bytes[8];
};

struct tScriptHeader {
    uint32_t codeSize = 0;
    uint32_t globalCount = 0;
    uint32_t importCount = 0;
    uint32_t functionCount = 0;
    uint32_t entryCount = 0;
};

// Sizes of the stored records.
constexpr uint32_t kScriptHeaderSize = 20;
constexpr uint32_t kScriptGlobalSize = 200;
constexpr uint32_t kScriptImportSize = 76;
constexpr uint32_t kScriptFunctionSize = 140;
constexpr uint32_t kScriptEntrySize = 8;

// The source file the machine's fatal errors name.
#define TARVEL_SOURCE_SCRIPT ".\\source\\class_script"

// A script machine: one loaded image, its globals, a byte stack and the run
// states of nested and suspended runs. pc and sp are kept as offsets into
// the code and the stack, which is what savegames store.
class cTarvelScript {
public:
    // The name is normally given by ReadSymbolTable; owners that have no
    // image yet name the machine here.
    explicit cTarvelScript(const char* name = "");
    ~cTarvelScript();
    cTarvelScript(const cTarvelScript&) = delete;
    cTarvelScript& operator=(const cTarvelScript&) = delete;

    // Loads an image from the open slot's current position. 0; a damaged
    // image is a fatal error naming the resource.
    int ReadSymbolTable(int slot, const cTarvelString& name);
    // The same from memory (tests, tools and the fuzz entry point).
    int LoadImage(const uint8_t* data, size_t size, const cTarvelString& name);

    cTarvelScriptValue* FindSymbol(const char* name, const char* className);
    cTarvelScriptValue* FindGlobal(const char* name);
    bool HasFunction(const char* name) const;
    bool FindQualified(const cTarvelScriptValue* object, const char* event) const;
    // True while the machine is in gLiveScripts.
    static bool IsLive(const cTarvelScript* script);

    // 0 when the entered code returned; -1 when the machine is not live or
    // the run ended at the end marker (suspended); -10 for no such function.
    int CallFunction(const char* name, cTarvelScriptValue* thisValue);
    int CallEvent(cTarvelScriptValue* object, const char* event);
    // The continuation label of the current pc: "#" and the code offset.
    cTarvelString MakeTempName() const;
    void Suspend(bool saveState);
    void PopState();

    void SaveSharedVariables();
    void LoadSharedVariables();

    static int GetLibraryFunctionAddress(const char* name);
    static int AddLibraryFunction(const char* name, tScriptLibraryFunction address);

    // Runs from a code offset; entered only through CallFunction.
    int Run(uint32_t offset, cTarvelScriptValue* thisValue);

    void SaveState(cTarvelSavegame& savegame) const;
    void LoadState(cTarvelSavegame& savegame);

    // Every run on every machine counts its instructions against this
    // budget when it is not negative; at 0 the run ends as if it had been
    // suspended without state. Fuzzing and tests bound their work with it.
    static int64_t sInstructionBudget;
    // Tests observe every CallFunction through this hook.
    static void (*sCallObserver)(cTarvelScript*, const char*);

    // State, read by the script API and by tests.
    struct tRunState {
        uint32_t pc;
        uint32_t sp;
    };
    uint32_t mPc = 0;
    uint32_t mSp = 0;
    std::unique_ptr<uint8_t[]> mStack;
    std::vector<tRunState> mStates; // newest last
    bool mRunning = false;
    cTarvelScriptValue* mThis = nullptr;
    tScriptHeader mHeader;
    std::vector<cTarvelScriptValue> mGlobals;
    std::vector<tScriptImport> mImports;
    std::vector<tScriptFunctionRecord> mFunctions;
    std::vector<tScriptEntryRecord> mEntries;
    std::vector<uint8_t> mCode;
    cTarvelString mName;
    // Never given to another machine, unlike the address: what a timer or a
    // walk's callback keeps to find its machine again.
    const uint64_t mSerial;

private:
    // body holds every record and the code; its size was checked.
    bool ParseImage(const tScriptHeader& header, const uint8_t* body, const char** error);
    [[noreturn]] void Damaged(const char* why);
    [[noreturn]] void RunError(const char* message);
    void Push(const cTarvelScriptValue& value);
    // Working registers skip the string of numbers until an instruction
    // reads it; arguments of library calls get every field.
    void Pop(cTarvelScriptValue& out, bool withString = false);
    // Deferred strings of globals (see DeferString); empty outside Run.
    void DeferString(uint32_t global, uint32_t kind, uint32_t bits);
    void WritePendingString(uint32_t global);
    void WritePendingStrings();
    void WriteCallPendingStrings();
    // The instruction loop of Run; kSwitchLoop asks for the other build.
    static constexpr int kSwitchLoop = -2;
    template <bool kCounted>
    int Loop(tScriptRegister& R, tScriptRegister& H);
    // False when the called function destroyed this machine.
    bool CallLibraryFunction(uint32_t importIndex, cTarvelScriptValue* thisValue);
    bool ValidOffsets(int64_t pc, int64_t sp) const;

    // Frames reused by nested library calls, one per depth, with the
    // temporary that holds a this popped from the stack.
    struct tCallSlot {
        tScriptFrame frame;
        cTarvelScriptValue poppedThis;
    };
    std::vector<std::unique_ptr<tCallSlot>> mCallSlots;
    uint32_t mCallDepth = 0;
    // Per global: 0, or the kind (high half) and bits of the number whose
    // text the global's string still has to take; with the list of them.
    std::vector<uint64_t> mPendingStrings;
    std::vector<uint32_t> mPendingList;
    uint32_t mRunDepth = 0;
};

// Engine-wide tables of the script machine: the shared variables (first
// entries "PC" and "OFF") and the cache of resolved exported functions.
extern tArray<cTarvelScriptValue> gSharedSymbols;
extern tArray<tLibraryFunction> gLibraryFunctions;

// The call trace, a test control ("script.trace=1" in the platform's
// settings): one line per library call with the game time, the calling
// machine and the arguments. The engine starts it with "script-trace.log".
extern FILE* gScriptTrace;
void StartScriptTrace(const char* path);
void StopScriptTrace();
