#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/array.h"
#include "engine/core/string.h"

// Kinds of a script value.
enum : uint32_t {
    kScriptInteger = 1,
    kScriptFloat = 2,
    kScriptString = 3,
    kScriptBoolean = 4,
    kScriptObject = 5,      // a script variable naming an object
    kScriptReference = 6,   // a global, by its index
    kScriptResultObject = 7, // an object returned by an exported function
    kScriptBytes = 8,       // a byte block in the shared table; integer = length
};

// The machine's one value type. Every representation is carried at once;
// Normalize brings them in line with the kind.
class cTarvelScriptValue {
public:
    cTarvelScriptValue() = default;
    cTarvelScriptValue(const cTarvelScriptValue&) = default;
    cTarvelScriptValue& operator=(const cTarvelScriptValue&) = default;

    static cTarvelScriptValue FromInt(int32_t value);
    static cTarvelScriptValue FromFloat(float value);
    static cTarvelScriptValue FromString(const char* value);
    static cTarvelScriptValue FromBool(bool value);
    // A kind-8 value owning a copy of size bytes (null data gives zeros).
    static cTarvelScriptValue FromBytes(const uint8_t* data, uint32_t size);

    // Makes every representation agree with the kind (kinds 1 to 4); other
    // kinds are left as they are.
    void Normalize();
    // The two halves of Normalize: every field but the string, and the
    // string alone (the costly half, which the interpreter defers).
    void NormalizeNumbers();
    void NormalizeString();

    uint32_t kind = 0;
    uint8_t scope = 0;
    cTarvelString name;
    cTarvelString className;
    cTarvelString string;
    int32_t integer = 0;
    float floatValue = 0.0f;
    uint8_t boolean = 0;
    // A handle of the bound engine object (see script_handles.h), or for
    // inventory items the inventory index.
    uint32_t object = 0;
    // The block of a kind-8 value, copied with it; integer is its length.
    // Empty for every other kind, so copying other values stays cheap.
    std::vector<uint8_t> bytes;
};

// A normalised copy.
cTarvelScriptValue Normalize(const cTarvelScriptValue& value);

// Float to integer the way the machine converts: toward zero; NaN and values
// outside the 32-bit range give INT32_MIN instead of undefined behaviour.
int32_t ScriptFloatToInt(float value);

using tScriptValueArray = tArray<cTarvelScriptValue>;

class cTarvel;
class cTarvelScript;

// What every exported script function receives. The arguments are read
// through ScriptArgument and its kin (script_api.h), or after
// ScriptCompleteArguments.
struct tScriptFrame {
    cTarvel* engine = nullptr;
    cTarvelScript* machine = nullptr;
    tScriptValueArray arguments;
    cTarvelScriptValue result;
    cTarvelScriptValue* thisValue = nullptr;
    // Bit i: argument i, an integer, still has to take its text. Most calls
    // read their integers as integers, so the text is made on first need.
    mutable uint32_t pendingTexts = 0;
};

// The byte stack: a block of kScriptStackSize bytes. sp indexes the topmost
// stored byte; byte 0 is never written, so sp == 0 means empty.
constexpr uint32_t kScriptStackSize = 16384;

// Pushes value in the stack encoding. False, with nothing written, when the
// block has no room for it.
bool PushScriptValue(uint8_t* stack, uint32_t& sp, const cTarvelScriptValue& value);

// Pops one value into out (normalised). globals names the referenced global
// of a kind-6 value. Without withString the string of a number or boolean
// is left as it was (NormalizeString brings it in line later). False when
// the encoding runs below the block's base; sp and out are then unspecified.
bool PopScriptValue(const uint8_t* stack, uint32_t& sp, cTarvelScriptValue& out,
                    const cTarvelScriptValue* globals, uint32_t globalCount,
                    bool withString = true);
