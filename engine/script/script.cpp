#include "engine/script/script.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script_api.h"
#include "engine/script/script_fused.h"
#include "platform/win32/crt.h"
#include "platform/win32/testing.h"

tArray<cTarvelScriptValue> gSharedSymbols;
tArray<tLibraryFunction> gLibraryFunctions;

int64_t cTarvelScript::sInstructionBudget = -1;
void (*cTarvelScript::sCallObserver)(cTarvelScript*, const char*) = nullptr;

namespace {

constexpr uint32_t kUnresolved = 0xFFFFFFFFu;
// Nested runs recurse on the C stack; a script that calls itself through
// the API without end must stop before the process does.
constexpr uint32_t kMaxRunDepth = 200;
// Bounds that keep a damaged image from asking for absurd allocations
// before its size has been checked against the resource.
constexpr uint32_t kMaxCodeSize = 64u << 20;
constexpr uint32_t kMaxRecords = 1u << 20;
// Every value takes at least two bytes on the stack.
constexpr uint32_t kMaxArguments = kScriptStackSize / 2;
constexpr uint32_t kMaxSavedStates = 4096;

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool Terminated(const uint8_t* text, size_t width)
{
    return std::memchr(text, 0, width) != nullptr;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Equality without regard to case, as the Windows runtime's _stricmp.
bool EqualNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

// atoi of the C runtime without its overflow: leading blanks, a sign, digits.
int64_t ParseLabelOffset(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (*text++ - '0');
        if (value > 0xFFFFFFFFll)
            return -1;
    }
    return negative ? -value : value;
}

void ClearString(cTarvelString& s)
{
    if (s.c_str()[0] != '\0')
        s = "";
}

void SwapValues(cTarvelScriptValue& a, cTarvelScriptValue& b)
{
    std::swap(a.kind, b.kind);
    std::swap(a.scope, b.scope);
    a.name.swap(b.name);
    a.className.swap(b.className);
    a.string.swap(b.string);
    std::swap(a.integer, b.integer);
    std::swap(a.floatValue, b.floatValue);
    std::swap(a.boolean, b.boolean);
    std::swap(a.object, b.object);
}

void ResetValue(cTarvelScriptValue& v, uint32_t kind)
{
    v.kind = kind;
    v.scope = 0;
    ClearString(v.name);
    ClearString(v.className);
    ClearString(v.string);
    v.integer = 0;
    v.floatValue = 0.0f;
    v.boolean = 0;
    v.object = 0;
}

bool IsShared(const cTarvelScriptValue& g)
{
    return (g.scope == 1 || g.scope == 2) && g.name.c_str()[0] != '\0';
}

int32_t FindShared(const cTarvelString& name)
{
    for (int32_t i = 0; i < gSharedSymbols.count; ++i)
        if (gSharedSymbols.data[i].name == name)
            return i;
    return -1;
}

uint64_t sLastSerial = 0;

// Changes of the live-script list made by machines coming and going: a
// library call that changed nothing of it cannot have destroyed its caller.
uint32_t gLiveListChanges = 0;

int32_t Wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// The fused runs of a machine, decoded as its code first reaches each
// offset. Kept beside the machines, by serial, so the machine's layout is
// the one everything else was built against.
struct tFusedCache {
    // Per code offset: 0 not decoded yet, 1 no run starts there, else the
    // run's index + 2.
    std::vector<uint32_t> at;
    std::vector<tFusedRun> runs;
};
std::unordered_map<uint64_t, std::unique_ptr<tFusedCache>> gFusedCaches;
// Beyond this many runs a machine's further offsets run one by one.
constexpr size_t kMaxFusedRuns = 1u << 16;

tFusedCache& FusedCacheOf(uint64_t serial)
{
    std::unique_ptr<tFusedCache>& cache = gFusedCaches[serial];
    if (!cache)
        cache = std::make_unique<tFusedCache>();
    return *cache;
}

} // namespace

bool gScriptFusedRuns = true;

cTarvelScript::cTarvelScript(const char* name)
    : mStack(new (std::nothrow) uint8_t[kScriptStackSize]()), mName(name), mSerial(++sLastSerial)
{
    if (!mStack)
        gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__, "cTarvelScript::cTarvelScript",
                           "Memory allocation failed.", 0);
    gLiveScripts.Add(this);
    ++gLiveListChanges;
}

cTarvelScript::~cTarvelScript()
{
    gFusedCaches.erase(mSerial);
    ++gLiveListChanges;
    tArray<cTarvelScript*>& live = gLiveScripts;
    for (int32_t i = 0; i < live.count; ++i) {
        if (live.data[i] == this) {
            live.RemoveAt(i);
            break;
        }
    }
}

bool cTarvelScript::IsLive(const cTarvelScript* script)
{
    return gTarvel.IsScriptLive(script);
}

// ---- Loading ----------------------------------------------------------------

void cTarvelScript::Damaged(const char* why)
{
    cTarvelString message("Script image ");
    message += mName;
    message += " is damaged: ";
    message += why;
    message += ".";
    gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__, "cTarvelScript::ReadSymbolTable",
                       message, 0);
}

namespace {

bool ParseHeader(const uint8_t* p, tScriptHeader& h, uint64_t& bodySize, const char** error)
{
    h.codeSize = ReadU32(p);
    h.globalCount = ReadU32(p + 4);
    h.importCount = ReadU32(p + 8);
    h.functionCount = ReadU32(p + 12);
    h.entryCount = ReadU32(p + 16);
    if (h.codeSize < 1 || h.codeSize > kMaxCodeSize) {
        *error = "bad code size";
        return false;
    }
    if (h.globalCount > kMaxRecords || h.importCount > kMaxRecords ||
        h.functionCount > kMaxRecords || h.entryCount > kMaxRecords) {
        *error = "bad record count";
        return false;
    }
    bodySize = uint64_t(h.globalCount) * kScriptGlobalSize +
               uint64_t(h.importCount) * kScriptImportSize +
               uint64_t(h.functionCount) * kScriptFunctionSize +
               uint64_t(h.entryCount) * kScriptEntrySize + h.codeSize;
    return true;
}

} // namespace

bool cTarvelScript::ParseImage(const tScriptHeader& h, const uint8_t* p, const char** error)
{
    mHeader = h;
    mGlobals.assign(h.globalCount, cTarvelScriptValue());
    for (uint32_t i = 0; i < h.globalCount; ++i, p += kScriptGlobalSize) {
        if (!Terminated(p + 5, 128) || !Terminated(p + 133, 67)) {
            *error = "global name not terminated";
            return false;
        }
        cTarvelScriptValue& g = mGlobals[i];
        g.kind = ReadU32(p);
        g.scope = p[4];
        g.name = reinterpret_cast<const char*>(p + 5);
        g.className = reinterpret_cast<const char*>(p + 133);
    }
    mImports.resize(h.importCount);
    for (uint32_t i = 0; i < h.importCount; ++i, p += kScriptImportSize) {
        tScriptImport& imp = mImports[i];
        if (!Terminated(p, 64)) {
            *error = "import name not terminated";
            return false;
        }
        std::memcpy(imp.name, p, 64);
        imp.argumentCount = ReadU32(p + 64);
        imp.resultKind = ReadU32(p + 68);
        // The stored index means nothing to this run's cache.
        imp.resolvedIndex = kUnresolved;
        if (imp.argumentCount > kMaxArguments) {
            *error = "bad argument count";
            return false;
        }
    }
    mFunctions.resize(h.functionCount);
    for (uint32_t i = 0; i < h.functionCount; ++i, p += kScriptFunctionSize) {
        tScriptFunctionRecord& f = mFunctions[i];
        if (!Terminated(p, 136)) {
            *error = "function name not terminated";
            return false;
        }
        std::memcpy(f.name, p, 136);
        f.codeOffset = ReadU32(p + 136);
        if (f.codeOffset >= h.codeSize) {
            *error = "function offset outside the code";
            return false;
        }
    }
    mEntries.resize(h.entryCount);
    for (uint32_t i = 0; i < h.entryCount; ++i, p += kScriptEntrySize)
        std::memcpy(mEntries[i].bytes, p, kScriptEntrySize);
    mCode.assign(p, p + h.codeSize);
    gFusedCaches.erase(mSerial);
    if (mCode.back() != 0xFF) {
        *error = "code does not end with the end marker";
        return false;
    }
    return true;
}

int cTarvelScript::ReadSymbolTable(int slot, const cTarvelString& name)
{
    mName = name;
    cTarvelResource& archive = gTarvel.mResources;
    // The image runs from the slot's position to the end of the resource at
    // most (the project resource keeps a record in front of it).
    int64_t remaining = int64_t(archive.GetSize(slot)) - archive.GetResourcePos(slot, false);
    uint8_t header[kScriptHeaderSize];
    const char* error = nullptr;
    tScriptHeader h;
    uint64_t bodySize = 0;
    if (remaining < int64_t(kScriptHeaderSize))
        Damaged("shorter than its header");
    archive.Read(slot, header, kScriptHeaderSize);
    if (!ParseHeader(header, h, bodySize, &error))
        Damaged(error);
    if (bodySize > uint64_t(remaining) - kScriptHeaderSize)
        Damaged("records run past the end of the resource");
    std::unique_ptr<uint8_t, decltype(&std::free)> body(
        archive.ReadBlock(slot, uint32_t(bodySize)), &std::free);
    if (!ParseImage(h, body.get(), &error))
        Damaged(error);
    return 0;
}

int cTarvelScript::LoadImage(const uint8_t* data, size_t size, const cTarvelString& name)
{
    mName = name;
    const char* error = nullptr;
    tScriptHeader h;
    uint64_t bodySize = 0;
    if (size < kScriptHeaderSize)
        Damaged("shorter than its header");
    if (!ParseHeader(data, h, bodySize, &error))
        Damaged(error);
    if (bodySize > size - kScriptHeaderSize)
        Damaged("records run past the end of the resource");
    if (!ParseImage(h, data + kScriptHeaderSize, &error))
        Damaged(error);
    return 0;
}

// ---- Symbols ----------------------------------------------------------------

cTarvelScriptValue* cTarvelScript::FindSymbol(const char* name, const char* className)
{
    for (cTarvelScriptValue& g : mGlobals)
        if (g.name == name && g.className == className)
            return &g;
    return nullptr;
}

cTarvelScriptValue* cTarvelScript::FindGlobal(const char* name)
{
    for (cTarvelScriptValue& g : mGlobals)
        if (g.name == name)
            return &g;
    return nullptr;
}

bool cTarvelScript::HasFunction(const char* name) const
{
    if (!IsLive(this) || !name)
        return false;
    for (const tScriptFunctionRecord& f : mFunctions)
        if (EqualNoCase(f.name, name))
            return true;
    return false;
}

bool cTarvelScript::FindQualified(const cTarvelScriptValue* object, const char* event) const
{
    if (!object)
        return HasFunction(event);
    cTarvelString qualified = object->name + "::" + event;
    return HasFunction(qualified.c_str());
}

// ---- Entering and resuming --------------------------------------------------

int cTarvelScript::CallFunction(const char* name, cTarvelScriptValue* thisValue)
{
    if (sCallObserver)
        sCallObserver(this, name);
    if (!IsLive(this))
        return -1;
    // A fresh call starts on an empty stack. A nested call (a library
    // function entering its own machine while a run is under way) keeps the
    // stack it was called with, even before its run state is pushed.
    if (mStates.empty() && mRunDepth == 0)
        mSp = 0;
    uint32_t offset = 0;
    if (name && name[0] == '#') {
        int64_t label = ParseLabelOffset(name + 1);
        if (label < 0 || uint64_t(label) >= mCode.size()) {
            std::fprintf(stderr, "Script %s: label %s lies outside the code.\n", mName.c_str(),
                         name);
            return -10;
        }
        offset = uint32_t(label);
    } else if (name && name[0] != '\0') {
        const tScriptFunctionRecord* found = nullptr;
        for (const tScriptFunctionRecord& f : mFunctions) {
            if (EqualNoCase(f.name, name)) {
                found = &f;
                break;
            }
        }
        if (!found)
            return -10;
        offset = found->codeOffset;
    } else if (mCode.empty()) {
        // Nothing loaded: there is no code offset 0 to enter.
        return -10;
    }
    return Run(offset, thisValue);
}

int cTarvelScript::CallEvent(cTarvelScriptValue* object, const char* event)
{
    if (!object)
        return CallFunction(event, nullptr);
    cTarvelString qualified = object->name + "::" + event;
    return CallFunction(qualified.c_str(), object);
}

cTarvelString cTarvelScript::MakeTempName() const
{
    char text[16];
    std::snprintf(text, sizeof text, "#%u", mPc);
    return cTarvelString(text);
}

void cTarvelScript::Suspend(bool saveState)
{
    if (saveState) {
        SaveSharedVariables();
        mStates.push_back({mPc, mSp});
    }
    mPc = mCode.empty() ? 0 : uint32_t(mCode.size() - 1);
    mRunning = false;
}

void cTarvelScript::PopState()
{
    if (mStates.empty())
        return;
    mPc = mStates.back().pc;
    mSp = mStates.back().sp;
    mStates.pop_back();
    LoadSharedVariables();
}

void cTarvelScript::SaveSharedVariables()
{
    for (const cTarvelScriptValue& g : mGlobals) {
        if (!IsShared(g) || g.kind < kScriptInteger || g.kind > kScriptObject)
            continue;
        int32_t at = FindShared(g.name);
        if (at >= 0) {
            cTarvelScriptValue& entry = gSharedSymbols.data[at];
            entry = g;
            entry.Normalize();
        } else {
            gSharedSymbols.Add(Normalize(g));
        }
    }
}

void cTarvelScript::LoadSharedVariables()
{
    for (cTarvelScriptValue& g : mGlobals) {
        if (!IsShared(g))
            continue;
        int32_t at = FindShared(g.name);
        uint32_t kind = g.kind;
        if (kind >= kScriptInteger && kind <= kScriptObject) {
            if (at >= 0) {
                g = gSharedSymbols.data[at];
            } else {
                g.string = "";
                g.integer = 0;
                g.floatValue = 0.0f;
                g.boolean = 0;
                g.object = 0;
            }
        } else if (kind == kScriptReference || kind == kScriptResultObject) {
            if (at >= 0 && gSharedSymbols.data[at].object != 0)
                g.object = gSharedSymbols.data[at].object;
        }
    }
}

int cTarvelScript::GetLibraryFunctionAddress(const char* name)
{
    for (int32_t i = 0; i < gLibraryFunctions.count; ++i)
        if (gLibraryFunctions.data[i].name == name)
            return i;
    tScriptLibraryFunction address = FindScriptExport(name);
    if (!address) {
        cTarvelString message("Library function ");
        message += name;
        message += " not found.";
        gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__,
                           "cTarvelScript::GetLibraryFunctionAddress", message, 0);
    }
    return AddLibraryFunction(name, address);
}

int cTarvelScript::AddLibraryFunction(const char* name, tScriptLibraryFunction address)
{
    tLibraryFunction entry;
    entry.name = name;
    entry.address = address;
    gLibraryFunctions.Add(entry);
    return gLibraryFunctions.count - 1;
}

// ---- The interpreter --------------------------------------------------------

void cTarvelScript::RunError(const char* message)
{
    gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__, "cTarvelScript::Run", message, 0);
}

void cTarvelScript::Push(const cTarvelScriptValue& value)
{
    if (!PushScriptValue(mStack.get(), mSp, value))
        RunError("Script stack overflow.");
}

void cTarvelScript::Pop(cTarvelScriptValue& out, bool withString)
{
    if (!PopScriptValue(mStack.get(), mSp, out, mGlobals.data(), uint32_t(mGlobals.size()),
                        withString))
        RunError("Script stack underflow.");
}

// Stores of numbers into globals leave the global's string to be written
// when something outside the loop can next see it: formatting every store
// would cost more than the rest of the instruction.
void cTarvelScript::DeferString(uint32_t global, uint32_t kind, uint32_t bits)
{
    uint64_t& pending = mPendingStrings[global];
    if (pending == 0)
        mPendingList.push_back(global);
    pending = uint64_t(kind) << 32 | bits;
}

void cTarvelScript::WritePendingString(uint32_t global)
{
    uint64_t& pending = mPendingStrings[global];
    if (pending == 0)
        return;
    cTarvelString& s = mGlobals[global].string;
    uint32_t bits = uint32_t(pending);
    switch (uint32_t(pending >> 32)) {
    case kScriptInteger: {
        char text[16];
        char* end = std::to_chars(text, text + sizeof text, int32_t(bits)).ptr;
        s.Assign(text, uint32_t(end - text));
        break;
    }
    case kScriptFloat: {
        float f;
        std::memcpy(&f, &bits, 4);
        s.SetFloat(f, 6);
        break;
    }
    default:
        s = bits ? "true" : "false";
        break;
    }
    pending = 0;
}

// Before a library call. The text of a number stored into a private
// variable of a number kind is read by nothing but this machine, which makes
// such a value's text afresh whenever it pushes it; so it waits for the end
// of the run. Every other deferred text is written now, where the called
// function or a nested run may see it.
void cTarvelScript::WriteCallPendingStrings()
{
    size_t kept = 0;
    for (uint32_t global : mPendingList) {
        if (global >= mPendingStrings.size() || global >= mGlobals.size() ||
            mPendingStrings[global] == 0)
            continue;
        const cTarvelScriptValue& g = mGlobals[global];
        if (!IsShared(g) &&
            (g.kind == kScriptInteger || g.kind == kScriptFloat || g.kind == kScriptBoolean))
            mPendingList[kept++] = global;
        else
            WritePendingString(global);
    }
    mPendingList.resize(kept);
}

void cTarvelScript::WritePendingStrings()
{
    for (uint32_t global : mPendingList)
        if (global < mPendingStrings.size() && global < mGlobals.size())
            WritePendingString(global);
    mPendingList.clear();
}

// A working register of the loop. Only what the stack encoding keeps of a
// kind is carried: the number fields, the string of a string, the names of
// an object; the string of a number is worked out where it is read.
struct tScriptRegister {
    uint32_t kind = 0;
    int32_t integer = 0;
    float floatValue = 0.0f;
    uint8_t boolean = 0;
    uint32_t object = 0;
    std::string string;
    std::string name;
    std::string className;
};

namespace {

using tRegister = tScriptRegister;

// One 32-bit access each: a word stored byte by byte and read back whole
// stalls on the store buffer, and the loop does that on every test.
static_assert(std::endian::native == std::endian::little);

uint32_t LoadBigEndian(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}

void StoreBigEndian(uint8_t* p, uint32_t v)
{
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// The stack encoding of script_value.cpp, on registers.
bool PopText(const uint8_t* stack, uint32_t& sp, std::string& out)
{
    uint32_t end = sp;
    while (end > 0 && stack[end] != 0)
        --end;
    if (end == 0)
        return false;
    uint32_t n = sp - end;
    out.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        out[i] = char(stack[sp - i]);
    sp = end - 1;
    return true;
}

bool PopRegister(const uint8_t* stack, uint32_t& sp, tRegister& out)
{
    if (sp == 0)
        return false;
    uint8_t kind = stack[sp--];
    out.kind = kind;
    out.integer = 0;
    out.floatValue = 0.0f;
    out.boolean = 0;
    out.object = 0;
    if (kind == kScriptString) {
        if (!PopText(stack, sp, out.string))
            return false;
        out.boolean = out.string == "true";
        return true;
    }
    if (sp < 4)
        return false;
    uint32_t payload = LoadBigEndian(stack + sp - 3);
    sp -= 4;
    switch (kind) {
    case kScriptInteger:
        out.integer = int32_t(payload);
        out.boolean = payload != 0;
        out.floatValue = float(out.integer);
        break;
    case kScriptFloat:
        std::memcpy(&out.floatValue, &payload, 4);
        out.boolean = out.floatValue != 0.0f;
        out.integer = ScriptFloatToInt(out.floatValue);
        break;
    case kScriptBoolean:
        out.boolean = payload != 0;
        out.integer = out.boolean;
        out.floatValue = out.boolean ? 1.0f : 0.0f;
        break;
    case kScriptObject:
    case kScriptResultObject:
        out.object = payload;
        return PopText(stack, sp, out.name) && PopText(stack, sp, out.className);
    case kScriptReference:
        out.integer = int32_t(payload);
        break;
    default:
        break;
    }
    return true;
}

void PushText(uint8_t* stack, uint32_t& sp, const char* text, size_t n)
{
    stack[++sp] = 0;
    for (size_t i = n; i > 0; --i)
        stack[++sp] = uint8_t(text[i - 1]);
}

bool Fits(uint32_t sp, uint64_t need)
{
    return uint64_t(sp) + need <= kScriptStackSize - 1;
}

bool PushWord(uint8_t* stack, uint32_t& sp, uint32_t payload, uint32_t kind)
{
    if (!Fits(sp, 5))
        return false;
    StoreBigEndian(stack + sp + 1, payload);
    stack[sp + 5] = uint8_t(kind);
    sp += 5;
    return true;
}

bool PushString(uint8_t* stack, uint32_t& sp, const char* text, size_t n)
{
    if (!Fits(sp, uint64_t(n) + 2))
        return false;
    PushText(stack, sp, text, n);
    stack[++sp] = kScriptString;
    return true;
}

bool PushObject(uint8_t* stack, uint32_t& sp, uint32_t kind, const char* name, size_t nameLength,
                const char* className, size_t classLength, uint32_t object)
{
    if (!Fits(sp, uint64_t(nameLength) + classLength + 7))
        return false;
    PushText(stack, sp, className, classLength);
    PushText(stack, sp, name, nameLength);
    return PushWord(stack, sp, object, kind);
}

bool PushRegister(uint8_t* stack, uint32_t& sp, const tRegister& v)
{
    switch (v.kind) {
    case kScriptString:
        return PushString(stack, sp, v.string.data(), v.string.size());
    case kScriptObject:
    case kScriptResultObject:
        return PushObject(stack, sp, v.kind, v.name.data(), v.name.size(), v.className.data(),
                          v.className.size(), v.object);
    case kScriptInteger:
    case kScriptReference:
        return PushWord(stack, sp, uint32_t(v.integer), v.kind);
    case kScriptFloat: {
        uint32_t bits;
        std::memcpy(&bits, &v.floatValue, 4);
        return PushWord(stack, sp, bits, v.kind);
    }
    case kScriptBoolean:
        return PushWord(stack, sp, v.boolean ? 1 : 0, v.kind);
    default:
        return PushWord(stack, sp, v.kind, v.kind);
    }
}

// The string a value of this register shows (what NormalizeString gives).
const char* RegisterText(const tRegister& v, char (&buffer)[80])
{
    switch (v.kind) {
    case kScriptString:
        return v.string.c_str();
    case kScriptInteger:
        *std::to_chars(buffer, buffer + 16, v.integer).ptr = '\0';
        return buffer;
    case kScriptFloat:
        crt::_gcvt(v.floatValue, 6, buffer);
        return buffer;
    case kScriptBoolean:
        return v.boolean ? "true" : "false";
    default:
        return "";
    }
}

void CopyForPush(tRegister& r, const cTarvelScriptValue& g)
{
    r.kind = g.kind;
    r.integer = g.integer;
    r.floatValue = g.floatValue;
    r.boolean = g.boolean;
    r.object = g.object;
    if (g.kind == kScriptString)
        r.string = g.string.c_str();
    if (g.kind == kScriptObject || g.kind == kScriptResultObject) {
        r.name = g.name.c_str();
        r.className = g.className.c_str();
    }
}

// An operand read for the global it refers to: its index, or -1 when it is
// not a reference; error is set when the operand is bad.
int64_t OperandGlobal(const uint8_t* code, uint32_t size, uint32_t& pc, uint32_t globalCount,
                      const char** error)
{
    if (pc >= size) {
        *error = "Operand runs past the code.";
        return -1;
    }
    uint8_t kind = code[pc++];
    if (kind == kScriptString) {
        const void* zero = std::memchr(code + pc, 0, size - pc);
        if (!zero) {
            *error = "String operand runs past the code.";
            return -1;
        }
        pc = uint32_t(static_cast<const uint8_t*>(zero) - code) + 1;
        return -1;
    }
    if (size - pc < 4) {
        *error = "Operand runs past the code.";
        return -1;
    }
    uint32_t n = ReadU32(code + pc);
    pc += 4;
    if (kind == kScriptObject || kind == kScriptResultObject || kind == kScriptReference) {
        if (n >= globalCount) {
            *error = "Global index out of range.";
            return -1;
        }
        if (kind == kScriptReference)
            return n;
    }
    return -1;
}

void TraceCall(FILE* file, const cTarvelScript& machine, const char* name, const tScriptValueArray& args)
{
    std::fprintf(file, "%u %s %s(", unsigned(gTarvel.mTimer.mGameTime), machine.mName.c_str(), name);
    for (int32_t i = 0; i < args.count; ++i) {
        const cTarvelScriptValue& a = args.data[i];
        if (i > 0)
            std::fputs(", ", file);
        switch (a.kind) {
        case kScriptFloat: std::fprintf(file, "%g", double(a.floatValue)); break;
        case kScriptString: std::fprintf(file, "\"%s\"", a.string.c_str()); break;
        case kScriptBoolean: std::fputs(a.boolean ? "true" : "false", file); break;
        case kScriptInteger: std::fprintf(file, "%d", a.integer); break;
        default: std::fprintf(file, "%s %s", a.className.c_str(), a.name.c_str()); break;
        }
    }
    std::fputs(")\n", file);
    std::fflush(file);
}

} // namespace

FILE* gScriptTrace = nullptr;

void StartScriptTrace(const char* path)
{
    StopScriptTrace();
    const std::optional<std::string> on = platform::testing::GetSetting("script.trace");
    if (on && *on == "1")
        gScriptTrace = std::fopen(path, "w");
}

void StopScriptTrace()
{
    if (gScriptTrace)
        std::fclose(gScriptTrace);
    gScriptTrace = nullptr;
}

bool cTarvelScript::CallLibraryFunction(uint32_t importIndex, cTarvelScriptValue* thisValue)
{
    if (importIndex >= mImports.size())
        RunError("Import index out of range.");
    tScriptImport& import = mImports[importIndex];

    if (mCallDepth >= mCallSlots.size())
        mCallSlots.push_back(std::make_unique<tCallSlot>());
    tCallSlot& slot = *mCallSlots[mCallDepth];
    tScriptFrame& frame = slot.frame;
    frame.engine = &gTarvel;
    frame.machine = this;
    tScriptValueArray& args = frame.arguments;
    args.Clear();
    frame.pendingTexts = 0;
    ResetValue(frame.result, import.resultKind);

    // Popped last argument first; reversed below so element 0 is the first.
    for (uint32_t i = 0; i < import.argumentCount; ++i) {
        if (args.count >= args.capacity)
            args.Reserve(args.capacity + 5);
        cTarvelScriptValue& arg = args.data[args.count];
        if (mSp >= 5 && mStack[mSp] == kScriptInteger) {
            // What PopScriptValue gives for an integer, without its detours.
            int32_t value = int32_t(LoadBigEndian(&mStack[mSp - 4]));
            mSp -= 5;
            arg.kind = kScriptInteger;
            arg.scope = 0;
            ClearString(arg.name);
            ClearString(arg.className);
            arg.integer = value;
            arg.floatValue = float(value);
            arg.boolean = value != 0;
            arg.object = 0;
            // Its place once the arguments are turned round (see below).
            const uint32_t position = import.argumentCount - 1 - i;
            if (position < 32) {
                frame.pendingTexts |= 1u << position;
            } else {
                char text[16];
                char* end = std::to_chars(text, text + sizeof text, value).ptr;
                arg.string.Assign(text, uint32_t(end - text));
            }
        } else {
            Pop(arg, true);
        }
        ++args.count;
    }
    for (int32_t i = 0, j = args.count - 1; i < j; ++i, --j)
        SwapValues(args.data[i], args.data[j]);
    if (!thisValue) {
        Pop(slot.poppedThis, true);
        thisValue = &slot.poppedThis;
    }
    frame.thisValue = thisValue;

    while (import.resolvedIndex == kUnresolved)
        import.resolvedIndex = uint32_t(GetLibraryFunctionAddress(import.name));
    if (import.resolvedIndex >= uint32_t(gLibraryFunctions.count))
        RunError("Import index out of range.");
    tScriptLibraryFunction function = gLibraryFunctions.data[import.resolvedIndex].address;
    if (gScriptTrace) [[unlikely]] {
        ScriptCompleteArguments(&frame);
        TraceCall(gScriptTrace, *this, import.name, args);
    }

    const uint32_t changes = gLiveListChanges;
    const int32_t liveCount = gLiveScripts.count;
    const uint64_t serial = mSerial;
    ++mCallDepth;
    function(&frame);
    // The call may have destroyed this machine (and another may have taken
    // its place); then nothing of it is touched. It was live when called (a
    // run is under way on it), so only a call that changed the list needs
    // the search.
    if ((changes != gLiveListChanges || liveCount != gLiveScripts.count) && !gTarvel.IsScriptLive(this, serial))
        return false;
    --mCallDepth;
    if (import.resultKind == 0)
        return true;
    const cTarvelScriptValue& result = frame.result;
    if (result.kind == kScriptInteger) {
        if (!PushWord(mStack.get(), mSp, uint32_t(result.integer), kScriptInteger))
            RunError("Script stack overflow.");
    } else {
        Push(result);
    }
    return true;
}

int cTarvelScript::Run(uint32_t offset, cTarvelScriptValue* thisValue)
{
    if (mRunning) {
        if (mRunDepth >= kMaxRunDepth)
            RunError("Script calls nested too deeply.");
        SaveSharedVariables();
        mStates.push_back({mPc, mSp});
    } else {
        mRunning = true;
    }
    mPc = offset;
    mThis = thisValue;
    LoadSharedVariables();

    // Counted by hand, not by a guard: a library call may destroy the
    // machine, and then nothing of it may be touched on the way out.
    ++mRunDepth;

    // The loop comes in two builds: one counts every instruction against
    // the budget, the other, for the unbounded runs of a game, counts
    // nothing. A library call that changes the budget's sign switches them.
    tScriptRegister R, H;
    for (;;) {
        const int outcome = sInstructionBudget >= 0 ? Loop<true>(R, H) : Loop<false>(R, H);
        if (outcome != kSwitchLoop)
            return outcome;
    }
}

template <bool kCounted>
int cTarvelScript::Loop(tScriptRegister& R, tScriptRegister& H)
{
    // The loop keeps pc, sp, the budget and the image in locals; they go
    // back to the machine (and deferred strings are written) wherever code
    // outside the loop may look: a library call, an error, the way out.
    uint8_t* const stack = mStack.get();
    const uint8_t* code;
    uint32_t size;
    cTarvelScriptValue* globals;
    uint32_t globalCount;
    uint32_t pc = mPc;
    uint32_t sp = mSp;
    // The budget as the machine keeps it (negative: unbounded), and the
    // instructions left, which the dispatch counts down.
    int64_t budget = sInstructionBudget;
    int64_t fuel = 0;
    // The fused runs, when taken: the cache outlives library calls (a
    // reload of the image empties it), its arrays are found again after
    // each.
    tFusedCache* const fusedCache = gScriptFusedRuns ? &FusedCacheOf(mSerial) : nullptr;
    uint32_t* fusedAt = nullptr;
    const tFusedRun* fusedRuns = nullptr;
    uint32_t fused = 0;
#define LOAD()                                                 \
    do {                                                       \
        code = mCode.data();                                   \
        size = uint32_t(mCode.size());                         \
        globals = mGlobals.data();                             \
        globalCount = uint32_t(mGlobals.size());               \
        if (mPendingStrings.size() != globalCount)             \
            mPendingStrings.assign(globalCount, 0);            \
        if (fusedCache) {                                      \
            if (fusedCache->at.size() != size) {               \
                fusedCache->at.assign(size, 0);                \
                fusedCache->runs.clear();                      \
            }                                                  \
            fusedAt = fusedCache->at.data();                   \
            fusedRuns = fusedCache->runs.data();               \
        }                                                      \
        pc = mPc;                                              \
        sp = mSp;                                              \
        budget = sInstructionBudget;                           \
        fuel = budget < 0 ? INT64_MAX : budget;                \
    } while (0)
#define STORE_WRITING(writePending)                             \
    do {                                                       \
        mPc = pc;                                              \
        mSp = sp;                                              \
        if (budget >= 0)                                       \
            budget = fuel;                                     \
        sInstructionBudget = budget;                           \
        writePending();                                        \
    } while (0)
#define STORE() STORE_WRITING(WritePendingStrings)
// STORE before a library call.
#define STORE_FOR_CALL() STORE_WRITING(WriteCallPendingStrings)
#define FAIL(message)                                          \
    do {                                                       \
        STORE();                                               \
        RunError(message);                                     \
    } while (0)
    // Helpers take a copy of sp or pc, so the loop's own stay in registers.
#define READ_U32(out)                                          \
    do {                                                       \
        if (size - pc < 4)                                     \
            FAIL("Operand runs past the code.");               \
        out = ReadU32(code + pc);                              \
        pc += 4;                                               \
    } while (0)
#define POP(reg)                                               \
    do {                                                       \
        uint32_t at_ = sp;                                     \
        if (!PopRegister(stack, at_, reg))                     \
            FAIL("Script stack underflow.");                   \
        sp = at_;                                              \
    } while (0)
#define PUSHED(call)                                           \
    do {                                                       \
        uint32_t at_ = sp;                                     \
        if (!(call))                                           \
            FAIL("Script stack overflow.");                    \
        sp = at_;                                              \
    } while (0)
#define PUSH(reg) PUSHED(PushRegister(stack, at_, reg))
#define PUSH_WORD(payload, kind) PUSHED(PushWord(stack, at_, payload, kind))
// The global an operand refers to, or -1; a reference is read in place.
#define OPERAND_GLOBAL(at)                                                         \
    do {                                                                           \
        uint32_t n_;                                                               \
        if (size - pc >= 5 && code[pc] == kScriptReference &&                      \
            (n_ = ReadU32(code + pc + 1)) < globalCount) {                         \
            at = n_;                                                               \
            pc += 5;                                                               \
            break;                                                                 \
        }                                                                          \
        uint32_t next_ = pc;                                                       \
        const char* error_ = nullptr;                                              \
        at = OperandGlobal(code, size, next_, globalCount, &error_);               \
        if (error_)                                                                \
            FAIL(error_);                                                          \
        pc = next_;                                                                \
    } while (0)
// The two values on top are integers.
// Fused instructions are taken when the budget covers them all.
#define HAS_FUEL(n) (!kCounted || fuel >= (n))
#define SPEND(n)                                               \
    do {                                                       \
        if (kCounted)                                          \
            fuel -= (n);                                       \
    } while (0)
// After a library call: the other build of the loop goes on when the call
// changed the budget's sign.
#define SWITCH_IF_NEEDED()                                     \
    do {                                                       \
        if ((budget >= 0) != kCounted) {                       \
            STORE();                                           \
            return kSwitchLoop;                                \
        }                                                      \
    } while (0)
#define TWO_INTEGERS() \
    (sp >= 10 && stack[sp] == kScriptInteger && stack[sp - 5] == kScriptInteger)

    LOAD();

    tRegister T, S;
    char text[80];
    uint8_t op;
    // What the shared tails of the integer handlers take over.
    int32_t result = 0;
    bool equal = false;
    // An integer stored into a global: every number field at once, the
    // string deferred.
    auto StoreInteger = [&](uint32_t at, int32_t a) {
        cTarvelScriptValue& g = globals[at];
        g.boolean = a != 0;
        g.floatValue = float(a);
        g.integer = a;
        g.object = 0;
        uint64_t& pending = mPendingStrings[at];
        if (pending == 0)
            mPendingList.push_back(at);
        pending = uint64_t(kScriptInteger) << 32 | uint32_t(a);
    };
    // One label per opcode byte. Every handler ends in its own copy of the
    // dispatch, so the jump that picks the next handler is predicted per
    // handler rather than from one shared place.
#define BAD4 &&op_bad, &&op_bad, &&op_bad, &&op_bad
#define BAD16 BAD4, BAD4, BAD4, BAD4
#define BAD64 BAD16, BAD16, BAD16, BAD16
    static const void* const kHandlers[] = {
        &&op_bad, &&op_push, &&op_load, &&op_add, &&op_store, &&op_bad, &&op_neg,
        &&op_mul, &&op_div, &&op_push_held, &&op_pop_held, &&op_test, &&op_bits,
        &&op_bits, &&op_bits, &&op_not, &&op_test, &&op_step, &&op_step, &&op_jump,
        &&op_branch, &&op_return, &&op_branch, &&op_call_global, &&op_equal, &&op_call,
        // 26 to 254
        BAD64, BAD64, BAD64, BAD16, BAD16, BAD4, &&op_bad,
        &&op_end};
#undef BAD4
#undef BAD16
#undef BAD64
    static_assert(sizeof kHandlers / sizeof kHandlers[0] == 256);
#define FETCH()                                                \
    do {                                                       \
        if (pc >= size)                                        \
            FAIL("Opcode not supported.");                     \
        if (fusedAt && (fused = fusedAt[pc]) != 1)             \
            goto fused_run;                                    \
        op = code[pc++];                                       \
        goto* kHandlers[op];                                   \
    } while (0)
    // A run out of budget ends as if suspended without state: the next
    // instruction is the end marker, taken without counting.
#define NEXT()                                                 \
    do {                                                       \
        if (kCounted && --fuel < 0)                            \
            goto out_of_budget;                                \
        FETCH();                                               \
    } while (0)

    NEXT();
out_of_budget:
    fuel = 0;
    STORE();
    Suspend(false);
    LOAD();
    FETCH();
    {
        // A fused run at pc (decoded here the first time pc is reached):
        // taken whole when every global it reads holds an integer and the
        // stack and the budget cover what its instructions would use; else
        // its first instruction runs on its own. The instruction counted by
        // the dispatch is the run's first.
        fused_run:
            if (fused == 0) {
                tFusedRun run;
                fused = 1;
                if (fusedCache->runs.size() < kMaxFusedRuns &&
                    DecodeFusedRun(code, size, globalCount, pc, run)) {
                    fusedCache->runs.push_back(run);
                    fusedRuns = fusedCache->runs.data();
                    fused = uint32_t(fusedCache->runs.size() + 1);
                }
                fusedAt[pc] = fused;
                if (fused == 1)
                    goto plain_fetch;
            }
            {
                const tFusedRun& run = fusedRuns[fused - 2];
                if (!HAS_FUEL(int64_t(run.instructions) - 1) || !Fits(sp, run.height))
                    goto plain_fetch;
                for (uint32_t i = 0; i < run.checkCount; ++i)
                    if (globals[run.checks[i]].kind != kScriptInteger)
                        goto plain_fetch;
                SPEND(int64_t(run.instructions) - 1);
                uint32_t next = run.next;
                int32_t values[tFusedRun::kMaxItems];
                for (uint32_t s = 0; s < run.stepCount; ++s) {
                    const tFusedStep& step = run.steps[s];
                    if (step.what == tFusedStep::Step) {
                        cTarvelScriptValue& g = globals[step.global];
                        g.integer = int32_t(uint32_t(g.integer) + (step.flag ? 1u : 0xFFFFFFFFu));
                        continue;
                    }
                    if (step.what == tFusedStep::Jump) {
                        next = step.target;
                        continue;
                    }
                    // The expression on a stack of its own: the bytes the
                    // instructions would leave above sp are never read.
                    uint32_t n = 0;
                    const tFusedItem* item = run.items + step.firstItem;
                    for (const tFusedItem* end = item + step.itemCount; item != end; ++item) {
                        switch (item->what) {
                        case tFusedItem::Global:
                            values[n++] = globals[item->value].integer;
                            break;
                        case tFusedItem::Constant:
                            values[n++] = int32_t(item->value);
                            break;
                        case tFusedItem::Add:
                            --n;
                            values[n - 1] = int32_t(uint32_t(values[n - 1]) + uint32_t(values[n]));
                            break;
                        case tFusedItem::Mul:
                            --n;
                            values[n - 1] = int32_t(uint32_t(values[n - 1]) * uint32_t(values[n]));
                            break;
                        case tFusedItem::Div:
                            --n;
                            values[n - 1] = values[n] == 0 ? 0 : Wrap(int64_t(values[n - 1]) / values[n]);
                            break;
                        }
                    }
                    if (step.what == tFusedStep::Store) {
                        if (step.flag) {
                            R.kind = kScriptInteger;
                            R.integer = values[0];
                        }
                        StoreInteger(step.global, values[0]);
                    } else {
                        equal = values[0] == values[1];
                        R.kind = kScriptBoolean;
                        R.boolean = equal;
                        if (equal == step.flag)
                            next = step.target;
                    }
                }
                pc = next;
                NEXT();
            }
        plain_fetch:
            op = code[pc++];
            goto* kHandlers[op];
        op_end:
            // pc stays on the marker, so a machine saved now stays in range.
            --pc;
            STORE();
            --mRunDepth;
            return -1;
        op_push: {
            if (pc >= size)
                FAIL("Operand runs past the code.");
            uint8_t kind = code[pc++];
            if ((kind == kScriptInteger || kind == kScriptReference) && size - pc >= 4) {
                uint32_t n = ReadU32(code + pc);
                if (kind == kScriptInteger || n < globalCount) {
                    PUSH_WORD(n, kind);
                    pc += 4;
                    NEXT();
                }
            }
            if (kind == kScriptString) {
                const uint8_t* start = code + pc;
                const void* zero = std::memchr(start, 0, size - pc);
                if (!zero)
                    FAIL("String operand runs past the code.");
                size_t n = size_t(static_cast<const uint8_t*>(zero) - start);
                pc += uint32_t(n) + 1;
                PUSHED(PushString(stack, at_, reinterpret_cast<const char*>(start), n));
                NEXT();
            }
            uint32_t n;
            READ_U32(n);
            switch (kind) {
            case kScriptBoolean:
                PUSH_WORD(n != 0, kind);
                break;
            case kScriptObject:
            case kScriptResultObject: {
                if (n >= globalCount)
                    FAIL("Global index out of range.");
                const cTarvelScriptValue& g = globals[n];
                PUSHED(PushObject(stack, at_, kind, g.name.c_str(), g.name.Length(),
                                  g.className.c_str(), g.className.Length(), g.object));
                break;
            }
            case kScriptReference:
                if (n >= globalCount)
                    FAIL("Global index out of range.");
                PUSH_WORD(n, kind);
                break;
            case kScriptInteger:
            case kScriptFloat:
                PUSH_WORD(n, kind);
                break;
            default:
                PUSH_WORD(kind, kind);
                break;
            }
            NEXT();
        }
        op_load: {
            int64_t at;
            OPERAND_GLOBAL(at);
            if (at >= 0) {
                const cTarvelScriptValue& g = globals[at];
                if (g.kind == kScriptInteger) {
                    // A global and a constant operated on, as `i + 1`, `n * 3`
                    // and `i == n` compile, taken whole: the three
                    // instructions leave what they would one by one (the
                    // constant's bytes above sp are never read again).
                    if (HAS_FUEL(2) && size - pc >= 7 && code[pc] == 1 &&
                        code[pc + 1] == kScriptInteger && Fits(sp, 10)) {
                        const int64_t a = g.integer;
                        const int64_t b = int32_t(ReadU32(code + pc + 2));
                        const uint8_t next = code[pc + 6];
                        if (next == 3 || next == 7 || next == 8) {
                            result = next == 3   ? Wrap(a + b)
                                     : next == 7 ? Wrap(a * b)
                                     : b == 0    ? 0
                                                 : Wrap(a / b);
                            SPEND(2);
                            pc += 7;
                            StoreBigEndian(stack + sp + 1, uint32_t(result));
                            stack[sp + 5] = kScriptInteger;
                            sp += 5;
                            goto integer_result;
                        }
                        if (next == 24) {
                            equal = a == b;
                            SPEND(2);
                            pc += 7;
                            StoreBigEndian(stack + sp + 1, equal);
                            stack[sp + 5] = kScriptBoolean;
                            sp += 5;
                            goto equal_result;
                        }
                    }
                    R.kind = kScriptInteger;
                    R.integer = g.integer;
                    PUSH_WORD(uint32_t(g.integer), kScriptInteger);
                    NEXT();
                }
                if (g.kind == kScriptString)
                    WritePendingString(uint32_t(at));
                CopyForPush(R, g);
            }
            PUSH(R);
            NEXT();
        }
    // Two integers on top: the result replaces them in place.
#define INTEGER_ARITHMETIC(expression)                                            \
    do {                                                                          \
        if (!TWO_INTEGERS())                                                      \
            goto op_arith;                                                        \
        int64_t a = int32_t(LoadBigEndian(stack + sp - 9));                       \
        int64_t b = int32_t(LoadBigEndian(stack + sp - 4));                       \
        result = (expression);                                                    \
        StoreBigEndian(stack + sp - 9, uint32_t(result));                         \
        sp -= 5;                                                                  \
        goto integer_result;                                                      \
    } while (0)
        op_add:
            INTEGER_ARITHMETIC(Wrap(a + b));
        op_mul:
            INTEGER_ARITHMETIC(Wrap(a * b));
        op_div:
            INTEGER_ARITHMETIC(b == 0 ? 0 : Wrap(a / b)); // INT_MIN / -1 wraps to INT_MIN
#undef INTEGER_ARITHMETIC
        // An integer result on top; a store of it into the reference below,
        // as `x = a + b` ends, is taken here, counted as its own instruction.
        integer_result:
            R.kind = kScriptInteger;
            R.integer = result;
            if (HAS_FUEL(1) && pc < size && code[pc] == 4 && sp >= 10 &&
                stack[sp - 5] == kScriptReference) {
                SPEND(1);
                ++pc;
                const uint32_t at = LoadBigEndian(stack + sp - 9);
                sp -= 10;
                if (at < globalCount)
                    StoreInteger(at, result);
            }
            NEXT();
        op_arith:
            POP(T);
            POP(R);
            if (R.kind == kScriptInteger) {
                int64_t a = R.integer, b = T.integer;
                if (op == 3)
                    R.integer = Wrap(a + b);
                else if (op == 7)
                    R.integer = Wrap(a * b);
                else if (b == 0)
                    R.integer = 0;
                else
                    R.integer = Wrap(a / b);
            } else if (R.kind == kScriptFloat) {
                if (op == 3)
                    R.floatValue += T.floatValue;
                else if (op == 7)
                    R.floatValue *= T.floatValue;
                else
                    R.floatValue /= T.floatValue;
            } else if (R.kind == kScriptString && op == 3) {
                R.string += RegisterText(T, text);
            }
            PUSH(R);
            NEXT();
        op_store: {
            if (sp >= 10 && stack[sp] == kScriptInteger && stack[sp - 5] == kScriptReference) {
                const int32_t a = int32_t(LoadBigEndian(stack + sp - 4));
                const uint32_t at = LoadBigEndian(stack + sp - 9);
                sp -= 10;
                if (at < globalCount)
                    StoreInteger(at, a);
                NEXT();
            }
            POP(T);
            POP(S);
            int32_t at = S.kind == kScriptReference ? S.integer : -1;
            if (at >= 0 && uint32_t(at) < globalCount) {
                cTarvelScriptValue& g = globals[at];
                g.boolean = T.boolean;
                g.floatValue = T.floatValue;
                g.integer = T.integer;
                g.object = T.object;
                if (T.kind == kScriptInteger || T.kind == kScriptFloat ||
                    T.kind == kScriptBoolean) {
                    uint32_t bits = uint32_t(T.integer);
                    if (T.kind == kScriptFloat)
                        std::memcpy(&bits, &T.floatValue, 4);
                    else if (T.kind == kScriptBoolean)
                        bits = T.boolean;
                    DeferString(uint32_t(at), T.kind, bits);
                } else {
                    mPendingStrings[uint32_t(at)] = 0;
                    g.string = T.kind == kScriptString ? T.string.c_str() : "";
                }
            }
            NEXT();
        }
        op_neg:
            POP(R);
            if (R.kind == kScriptInteger)
                R.integer = Wrap(-int64_t(R.integer));
            else if (R.kind == kScriptFloat)
                R.floatValue *= -1.0f;
            PUSH(R);
            NEXT();
        op_push_held:
            PUSH(H);
            NEXT();
        op_pop_held:
            POP(H);
            NEXT();
        op_test:
            POP(R);
            if (R.kind == kScriptInteger)
                R.boolean = op == 11 ? R.integer != 0 : R.integer >= 0;
            else if (R.kind == kScriptFloat)
                R.boolean = op == 11 ? R.floatValue != 0.0f : R.floatValue >= 0.0f;
            R.kind = kScriptBoolean;
            PUSH(R);
            NEXT();
        op_bits: {
            POP(T);
            POP(R);
            uint32_t a = uint32_t(R.integer), b = uint32_t(T.integer);
            uint32_t bits = op == 12 ? (a | b) : op == 13 ? (a & b) : (a ^ b);
            bool x = R.boolean != 0, y = T.boolean != 0;
            if (R.kind == kScriptInteger)
                R.integer = int32_t(bits);
            else if (R.kind == kScriptFloat)
                R.floatValue = float(int32_t(bits));
            else if (R.kind == kScriptBoolean)
                R.boolean = op == 12 ? (x || y) : op == 13 ? (x && y) : (x != y);
            PUSH(R);
            NEXT();
        }
        op_not:
            POP(R);
            if (R.kind == kScriptBoolean)
                R.boolean = !R.boolean;
            PUSH(R);
            NEXT();
        op_step: {
            int64_t at;
            OPERAND_GLOBAL(at);
            if (at < 0)
                NEXT();
            cTarvelScriptValue& g = globals[at];
            bool up = op == 17;
            switch (g.kind) {
            case kScriptInteger:
                g.integer = Wrap(int64_t(g.integer) + (up ? 1 : -1));
                break;
            case kScriptFloat:
                g.floatValue += up ? 1.0f : -1.0f;
                break;
            case kScriptString:
                WritePendingString(uint32_t(at));
                if (up) {
                    g.string += " ";
                } else if (uint32_t n = g.string.Length(); n > 0) {
                    cTarvelString shorter(g.string.c_str(), n - 1);
                    g.string.swap(shorter);
                }
                break;
            case kScriptBoolean:
                g.boolean = up ? 1 : 0;
                break;
            default:
                break;
            }
            NEXT();
        }
        op_jump: {
            uint32_t target;
            READ_U32(target);
            if (target >= size)
                FAIL("Jump target outside the code.");
            pc = target;
            NEXT();
        }
        op_branch: {
            uint32_t target;
            READ_U32(target);
            bool truth;
            if (sp >= 5 && (stack[sp] == kScriptBoolean || stack[sp] == kScriptInteger)) {
                truth = LoadBigEndian(stack + sp - 4) != 0;
                sp -= 5;
            } else {
                POP(T);
                truth = T.boolean != 0;
            }
            if (truth == (op == 22)) {
                if (target >= size)
                    FAIL("Jump target outside the code.");
                pc = target;
            }
            NEXT();
        }
        op_return:
            STORE();
            SaveSharedVariables();
            if (!mStates.empty())
                PopState();
            else
                mRunning = false;
            --mRunDepth;
            return 0;
        op_call_global: {
            uint32_t global;
            READ_U32(global);
            if (size - pc < 2)
                FAIL("Operand runs past the code.");
            uint32_t import = uint32_t(code[pc] | code[pc + 1] << 8);
            pc += 2;
            if (global >= globalCount)
                FAIL("Global index out of range.");
            STORE_FOR_CALL();
            if (!CallLibraryFunction(import, &mGlobals[global]))
                return -1;
            LOAD();
            SWITCH_IF_NEEDED();
            NEXT();
        }
        op_equal:
            if (TWO_INTEGERS()) {
                equal = LoadBigEndian(stack + sp - 9) == LoadBigEndian(stack + sp - 4);
                StoreBigEndian(stack + sp - 9, equal);
                stack[sp - 5] = kScriptBoolean;
                sp -= 5;
            equal_result:
                R.kind = kScriptBoolean;
                R.boolean = equal;
                // A conditional jump on the result, as loops end, is taken
                // here: counted as its own instruction, the boolean popped.
                if (HAS_FUEL(1) && size - pc >= 5 && (code[pc] == 20 || code[pc] == 22)) {
                    SPEND(1);
                    bool jumpIf = code[pc] == 22;
                    uint32_t target = ReadU32(code + pc + 1);
                    pc += 5;
                    sp -= 5;
                    if (equal == jumpIf) {
                        if (target >= size)
                            FAIL("Jump target outside the code.");
                        pc = target;
                    }
                }
                NEXT();
            }
            POP(T);
            POP(R);
            switch (R.kind) {
            case kScriptInteger:
                R.boolean = R.integer == T.integer;
                break;
            case kScriptFloat:
                R.boolean = R.floatValue == T.floatValue;
                break;
            case kScriptString:
                R.boolean = EqualNoCase(R.string.c_str(), RegisterText(T, text));
                break;
            case kScriptBoolean:
                R.boolean = (R.boolean != 0) == (T.boolean != 0);
                break;
            case kScriptObject:
            case kScriptResultObject:
                R.boolean = R.object == T.object;
                break;
            default:
                break;
            }
            R.kind = kScriptBoolean;
            PUSH(R);
            NEXT();
        op_call: {
            if (size - pc < 2)
                FAIL("Operand runs past the code.");
            uint32_t import = uint32_t(code[pc] | code[pc + 1] << 8);
            pc += 2;
            STORE_FOR_CALL();
            if (!CallLibraryFunction(import, nullptr))
                return -1;
            LOAD();
            SWITCH_IF_NEEDED();
            NEXT();
        }
        op_bad:
            FAIL("Opcode not supported.");
    }
#undef LOAD
#undef STORE
#undef STORE_FOR_CALL
#undef STORE_WRITING
#undef FAIL
#undef READ_U32
#undef POP
#undef PUSHED
#undef PUSH
#undef PUSH_WORD
#undef TWO_INTEGERS
#undef HAS_FUEL
#undef SPEND
#undef SWITCH_IF_NEEDED
#undef FETCH
#undef NEXT
#undef OPERAND_GLOBAL
}

// ---- Savegames --------------------------------------------------------------

void cTarvelScript::SaveState(cTarvelSavegame& savegame) const
{
    savegame.SetAttributeString("name", mName);
    savegame.WriteInt("Code", int32_t(mPc));
    savegame.WriteInt("Stack", int32_t(mSp));
    // Newest first, as the list runs.
    for (auto it = mStates.rbegin(); it != mStates.rend(); ++it) {
        savegame.AddElement("State");
        savegame.WriteInt("Code", int32_t(it->pc));
        savegame.WriteInt("Stack", int32_t(it->sp));
        savegame.LeaveElement();
    }
}

bool cTarvelScript::ValidOffsets(int64_t pc, int64_t sp) const
{
    return pc >= 0 && uint64_t(pc) < (mCode.empty() ? 1 : mCode.size()) && sp >= 0 &&
           sp < int64_t(kScriptStackSize);
}

void cTarvelScript::LoadState(cTarvelSavegame& savegame)
{
    int32_t pc = savegame.ReadInt("Code", 0);
    int32_t sp = savegame.ReadInt("Stack", 0);
    bool valid = ValidOffsets(pc, sp);
    std::vector<tRunState> states; // in document order: newest first
    if (savegame.EnterElement("State")) {
        do {
            int32_t statePc = savegame.ReadInt("Code", 0);
            int32_t stateSp = savegame.ReadInt("Stack", 0);
            if (!ValidOffsets(statePc, stateSp) || states.size() >= kMaxSavedStates)
                valid = false;
            else
                states.push_back({uint32_t(statePc), uint32_t(stateSp)});
        } while (savegame.NextElement("State"));
        savegame.LeaveElement();
    }
    mRunning = false;
    mStates.clear();
    if (!valid) {
        std::fprintf(stderr, "Script %s: saved state out of range; the machine is reset.\n",
                     mName.c_str());
        mPc = 0;
        mSp = 0;
        return;
    }
    mPc = uint32_t(pc);
    mSp = uint32_t(sp);
    mStates.assign(states.rbegin(), states.rend());
}
