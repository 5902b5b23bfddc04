#include "engine/script/script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script_api.h"

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

// R := a global, as far as pushing R can show: the stack keeps only the
// field of the kind (and the names of an object), so only those are copied.
void CopyForPush(cTarvelScriptValue& r, const cTarvelScriptValue& g)
{
    r.kind = g.kind;
    r.integer = g.integer;
    r.floatValue = g.floatValue;
    r.boolean = g.boolean;
    r.object = g.object;
    if (g.kind == kScriptString)
        r.string = g.string;
    if (g.kind == kScriptObject || g.kind == kScriptResultObject) {
        r.name = g.name;
        r.className = g.className;
    }
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

int32_t Wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

} // namespace

cTarvelScript::cTarvelScript(const char* name)
    : mStack(new (std::nothrow) uint8_t[kScriptStackSize]()), mName(name)
{
    if (!mStack)
        gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__, "cTarvelScript::cTarvelScript",
                           "Memory allocation failed.", 0);
    gLiveScripts.Add(this);
}

cTarvelScript::~cTarvelScript()
{
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

uint8_t cTarvelScript::CodeU8()
{
    if (mPc >= mCode.size())
        RunError("Operand runs past the code.");
    return mCode[mPc++];
}

uint16_t cTarvelScript::CodeU16()
{
    if (mCode.size() - mPc < 2 || mPc > mCode.size())
        RunError("Operand runs past the code.");
    uint16_t v = uint16_t(mCode[mPc] | mCode[mPc + 1] << 8);
    mPc += 2;
    return v;
}

uint32_t cTarvelScript::CodeU32()
{
    if (mPc > mCode.size() || mCode.size() - mPc < 4)
        RunError("Operand runs past the code.");
    uint32_t v = ReadU32(&mCode[mPc]);
    mPc += 4;
    return v;
}

uint32_t cTarvelScript::CodeTarget()
{
    uint32_t target = CodeU32();
    if (target >= mCode.size())
        RunError("Jump target outside the code.");
    return target;
}

void cTarvelScript::CodeOperand(cTarvelScriptValue& out)
{
    uint8_t kind = CodeU8();
    out.kind = kind;
    out.scope = 0;
    ClearString(out.name);
    ClearString(out.className);
    out.object = 0;
    if (kind == kScriptString) {
        const uint8_t* start = &mCode[mPc];
        const void* zero = std::memchr(start, 0, mCode.size() - mPc);
        if (!zero)
            RunError("String operand runs past the code.");
        out.string = reinterpret_cast<const char*>(start);
        mPc += uint32_t(static_cast<const uint8_t*>(zero) - start) + 1;
        return;
    }
    uint32_t n = CodeU32();
    switch (kind) {
    case kScriptInteger:
        out.integer = int32_t(n);
        break;
    case kScriptFloat:
        std::memcpy(&out.floatValue, &n, 4);
        break;
    case kScriptBoolean:
        out.boolean = n != 0;
        break;
    case kScriptObject:
    case kScriptResultObject:
    case kScriptReference: {
        if (n >= mGlobals.size())
            RunError("Global index out of range.");
        const cTarvelScriptValue& g = mGlobals[n];
        if (kind == kScriptReference) {
            // A reference is used by its index alone; its name is not copied.
            out.integer = int32_t(n);
        } else {
            out.name = g.name;
            out.className = g.className;
            out.object = g.object;
        }
        break;
    }
    default:
        break;
    }
    // Operands are only pushed, and the stack keeps just the field of the
    // kind, so the other representations are not worked out here.
}

cTarvelScriptValue* cTarvelScript::ReferencedGlobal(const cTarvelScriptValue& operand)
{
    if (operand.kind != kScriptReference || operand.integer < 0 ||
        uint32_t(operand.integer) >= mGlobals.size())
        return nullptr;
    return &mGlobals[uint32_t(operand.integer)];
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
    ResetValue(frame.result, import.resultKind);

    // Popped last argument first; reversed below so element 0 is the first.
    for (uint32_t i = 0; i < import.argumentCount; ++i) {
        if (args.count >= args.capacity)
            args.Reserve(args.capacity + 5);
        Pop(args.data[args.count], true);
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

    ++mCallDepth;
    function(&frame);
    // The call may have destroyed this machine; then nothing of it is touched.
    if (!IsLive(this))
        return false;
    --mCallDepth;
    if (import.resultKind != 0)
        Push(frame.result);
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

    cTarvelScriptValue T, S, R, H;
    for (;;) {
        if (sInstructionBudget >= 0) {
            if (sInstructionBudget == 0)
                Suspend(false);
            else
                --sInstructionBudget;
        }
        if (mPc >= mCode.size())
            RunError("Opcode not supported.");
        uint8_t op = mCode[mPc++];
        switch (op) {
        case 0xFF:
            // pc stays on the marker, so a machine saved now stays in range.
            --mPc;
            --mRunDepth;
            return -1;
        case 1:
            CodeOperand(T);
            Push(T);
            break;
        case 2:
            CodeOperand(T);
            if (const cTarvelScriptValue* g = ReferencedGlobal(T))
                CopyForPush(R, *g);
            Push(R);
            break;
        case 3:
        case 7:
        case 8:
            Pop(T);
            Pop(S);
            SwapValues(R, S); // R := S; S is not read again
            if (R.kind == kScriptInteger) {
                int64_t a = R.integer, b = T.integer;
                if (op == 3)
                    R.integer = Wrap(a + b);
                else if (op == 7)
                    R.integer = Wrap(a * b);
                else if (b == 0)
                    R.integer = 0;
                else
                    R.integer = Wrap(a / b); // INT_MIN / -1 wraps to INT_MIN
            } else if (R.kind == kScriptFloat) {
                if (op == 3)
                    R.floatValue += T.floatValue;
                else if (op == 7)
                    R.floatValue *= T.floatValue;
                else
                    R.floatValue /= T.floatValue;
            } else if (R.kind == kScriptString && op == 3) {
                T.NormalizeString();
                R.string += T.string;
            }
            Push(R);
            break;
        case 4:
            Pop(T);
            Pop(S);
            if (cTarvelScriptValue* g = ReferencedGlobal(S)) {
                T.NormalizeString();
                g->boolean = T.boolean;
                g->floatValue = T.floatValue;
                g->integer = T.integer;
                g->string.swap(T.string); // T is not read again
                g->object = T.object;
            }
            break;
        case 6:
            Pop(T);
            SwapValues(R, T); // R := T
            if (R.kind == kScriptInteger)
                R.integer = Wrap(-int64_t(R.integer));
            else if (R.kind == kScriptFloat)
                R.floatValue *= -1.0f;
            Push(R);
            break;
        case 9:
            Push(H);
            break;
        case 10:
            Pop(H);
            break;
        case 11:
        case 16:
            Pop(T);
            SwapValues(R, T); // R := T, then made a boolean
            if (R.kind == kScriptInteger)
                R.boolean = op == 11 ? R.integer != 0 : R.integer >= 0;
            else if (R.kind == kScriptFloat)
                R.boolean = op == 11 ? R.floatValue != 0.0f : R.floatValue >= 0.0f;
            R.kind = kScriptBoolean;
            Push(R);
            break;
        case 12:
        case 13:
        case 14: {
            Pop(T);
            Pop(S);
            SwapValues(R, S); // R := S
            uint32_t a = uint32_t(R.integer), b = uint32_t(T.integer);
            uint32_t bits = op == 12 ? (a | b) : op == 13 ? (a & b) : (a ^ b);
            bool x = R.boolean != 0, y = T.boolean != 0;
            if (R.kind == kScriptInteger)
                R.integer = int32_t(bits);
            else if (R.kind == kScriptFloat)
                R.floatValue = float(int32_t(bits));
            else if (R.kind == kScriptBoolean)
                R.boolean = op == 12 ? (x || y) : op == 13 ? (x && y) : (x != y);
            Push(R);
            break;
        }
        case 15:
            Pop(T);
            SwapValues(R, T); // R := T
            if (R.kind == kScriptBoolean)
                R.boolean = !R.boolean;
            Push(R);
            break;
        case 17:
        case 18: {
            CodeOperand(T);
            cTarvelScriptValue* g = ReferencedGlobal(T);
            if (!g)
                break;
            bool up = op == 17;
            switch (g->kind) {
            case kScriptInteger:
                g->integer = Wrap(int64_t(g->integer) + (up ? 1 : -1));
                break;
            case kScriptFloat:
                g->floatValue += up ? 1.0f : -1.0f;
                break;
            case kScriptString:
                if (up) {
                    g->string += " ";
                } else if (uint32_t n = g->string.Length(); n > 0) {
                    cTarvelString shorter(g->string.c_str(), n - 1);
                    g->string.swap(shorter);
                }
                break;
            case kScriptBoolean:
                g->boolean = up ? 1 : 0;
                break;
            default:
                break;
            }
            break;
        }
        case 19:
            mPc = CodeTarget();
            break;
        case 20:
        case 22: {
            uint32_t target = CodeU32();
            Pop(T);
            if ((T.boolean != 0) == (op == 22)) {
                if (target >= mCode.size())
                    RunError("Jump target outside the code.");
                mPc = target;
            }
            break;
        }
        case 21:
            SaveSharedVariables();
            if (!mStates.empty())
                PopState();
            else
                mRunning = false;
            --mRunDepth;
            return 0;
        case 23: {
            uint32_t global = CodeU32();
            uint32_t import = CodeU16();
            if (global >= mGlobals.size())
                RunError("Global index out of range.");
            if (!CallLibraryFunction(import, &mGlobals[global]))
                return -1;
            break;
        }
        case 24:
            Pop(T);
            Pop(S);
            SwapValues(R, S); // R := S, then made a boolean
            switch (R.kind) {
            case kScriptInteger:
                R.boolean = R.integer == T.integer;
                break;
            case kScriptFloat:
                R.boolean = R.floatValue == T.floatValue;
                break;
            case kScriptString:
                T.NormalizeString();
                R.boolean = EqualNoCase(R.string.c_str(), T.string.c_str());
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
            Push(R);
            break;
        case 25: {
            uint32_t import = CodeU16();
            if (!CallLibraryFunction(import, nullptr))
                return -1;
            break;
        }
        default:
            RunError("Opcode not supported.");
        }
    }
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
