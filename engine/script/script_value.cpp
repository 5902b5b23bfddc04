#include "engine/script/script_value.h"

#include <charconv>
#include <cmath>
#include <cstring>

cTarvelScriptValue cTarvelScriptValue::FromInt(int32_t value)
{
    cTarvelScriptValue v;
    v.kind = kScriptInteger;
    v.integer = value;
    v.Normalize();
    return v;
}

cTarvelScriptValue cTarvelScriptValue::FromFloat(float value)
{
    cTarvelScriptValue v;
    v.kind = kScriptFloat;
    v.floatValue = value;
    v.Normalize();
    return v;
}

cTarvelScriptValue cTarvelScriptValue::FromString(const char* value)
{
    cTarvelScriptValue v;
    v.kind = kScriptString;
    v.string = value;
    v.Normalize();
    return v;
}

cTarvelScriptValue cTarvelScriptValue::FromBool(bool value)
{
    cTarvelScriptValue v;
    v.kind = kScriptBoolean;
    v.boolean = value ? 1 : 0;
    v.Normalize();
    return v;
}

cTarvelScriptValue cTarvelScriptValue::FromBytes(const uint8_t* data, uint32_t size)
{
    cTarvelScriptValue v;
    v.kind = kScriptBytes;
    v.integer = static_cast<int32_t>(size);
    if (data)
        v.bytes.assign(data, data + size);
    else
        v.bytes.assign(size, 0);
    return v;
}

int32_t ScriptFloatToInt(float value)
{
    // The comparison is false for NaN as well.
    if (!(value >= -2147483648.0f && value < 2147483648.0f))
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

void cTarvelScriptValue::Normalize()
{
    NormalizeNumbers();
    NormalizeString();
}

void cTarvelScriptValue::NormalizeNumbers()
{
    switch (kind) {
    case kScriptInteger:
        boolean = integer != 0;
        floatValue = static_cast<float>(integer);
        break;
    case kScriptFloat:
        boolean = floatValue != 0.0f; // NaN compares unequal, so it is true
        integer = ScriptFloatToInt(floatValue);
        break;
    case kScriptString:
        boolean = string == "true";
        integer = 0;
        floatValue = 0.0f;
        break;
    case kScriptBoolean:
        floatValue = boolean ? 1.0f : 0.0f;
        integer = boolean ? 1 : 0;
        break;
    default:
        return;
    }
    object = 0;
}

void cTarvelScriptValue::NormalizeString()
{
    switch (kind) {
    case kScriptInteger: {
        // "%d" without the printf machinery; this runs on most stores.
        char text[16];
        char* end = std::to_chars(text, text + sizeof text, integer).ptr;
        string.Assign(text, uint32_t(end - text));
        break;
    }
    case kScriptFloat:
        string.SetFloat(floatValue, 6);
        break;
    case kScriptBoolean:
        string = boolean ? "true" : "false";
        break;
    default:
        break;
    }
}

cTarvelScriptValue Normalize(const cTarvelScriptValue& value)
{
    cTarvelScriptValue copy(value);
    copy.Normalize();
    return copy;
}

namespace {

// Room for a string in the stack layout: its bytes and the zero below them.
uint32_t StringBytes(const cTarvelString& s)
{
    return s.Length() + 1;
}

void PushStringBody(uint8_t* stack, uint32_t& sp, const cTarvelString& s)
{
    const char* text = s.c_str();
    uint32_t n = s.Length();
    stack[++sp] = 0;
    // Last character first, so the first one ends on top.
    for (uint32_t i = n; i > 0; --i)
        stack[++sp] = static_cast<uint8_t>(text[i - 1]);
}

void PushPayload(uint8_t* stack, uint32_t& sp, uint32_t payload)
{
    stack[++sp] = static_cast<uint8_t>(payload >> 24);
    stack[++sp] = static_cast<uint8_t>(payload >> 16);
    stack[++sp] = static_cast<uint8_t>(payload >> 8);
    stack[++sp] = static_cast<uint8_t>(payload);
}

// Avoids a reallocation when the string is empty already.
void ClearString(cTarvelString& s)
{
    if (s.c_str()[0] != '\0')
        s = "";
}

bool PopByte(const uint8_t* stack, uint32_t& sp, uint8_t& out)
{
    if (sp == 0)
        return false;
    out = stack[sp--];
    return true;
}

bool PopPayload(const uint8_t* stack, uint32_t& sp, uint32_t& out)
{
    if (sp < 4)
        return false;
    out = uint32_t(stack[sp]) | uint32_t(stack[sp - 1]) << 8 | uint32_t(stack[sp - 2]) << 16 |
          uint32_t(stack[sp - 3]) << 24;
    sp -= 4;
    return true;
}

bool PopStringBody(const uint8_t* stack, uint32_t& sp, cTarvelString& out)
{
    // Characters lie downward from sp to the zero byte.
    uint32_t end = sp;
    while (end > 0 && stack[end] != 0)
        --end;
    if (end == 0)
        return false;
    uint32_t n = sp - end;
    char buffer[kScriptStackSize];
    for (uint32_t i = 0; i < n; ++i)
        buffer[i] = static_cast<char>(stack[sp - i]);
    buffer[n] = '\0';
    out = buffer;
    sp = end - 1;
    return true;
}

} // namespace

bool PushScriptValue(uint8_t* stack, uint32_t& sp, const cTarvelScriptValue& value)
{
    uint64_t need = 1;
    if (value.kind == kScriptString)
        need += StringBytes(value.string);
    else if (value.kind == kScriptObject || value.kind == kScriptResultObject)
        need += uint64_t(StringBytes(value.className)) + StringBytes(value.name) + 4;
    else
        need += 4;
    if (uint64_t(sp) + need > kScriptStackSize - 1)
        return false;

    uint32_t payload;
    switch (value.kind) {
    case kScriptString:
        PushStringBody(stack, sp, value.string);
        stack[++sp] = static_cast<uint8_t>(value.kind);
        return true;
    case kScriptObject:
    case kScriptResultObject:
        PushStringBody(stack, sp, value.className);
        PushStringBody(stack, sp, value.name);
        payload = value.object;
        break;
    case kScriptInteger:
    case kScriptReference:
        payload = static_cast<uint32_t>(value.integer);
        break;
    case kScriptFloat:
        std::memcpy(&payload, &value.floatValue, 4);
        break;
    case kScriptBoolean:
        payload = value.boolean ? 1 : 0;
        break;
    default:
        payload = value.kind;
        break;
    }
    PushPayload(stack, sp, payload);
    // The kind is kept in one byte.
    stack[++sp] = static_cast<uint8_t>(value.kind);
    return true;
}

bool PopScriptValue(const uint8_t* stack, uint32_t& sp, cTarvelScriptValue& out,
                    const cTarvelScriptValue* globals, uint32_t globalCount, bool withString)
{
    uint8_t kind;
    if (!PopByte(stack, sp, kind))
        return false;
    out.kind = kind;
    out.scope = 0;
    ClearString(out.name);
    ClearString(out.className);
    out.integer = 0;
    out.floatValue = 0.0f;
    out.boolean = 0;
    out.object = 0;
    if (kind < kScriptInteger || kind > kScriptBoolean)
        ClearString(out.string);
    if (kind == kScriptString) {
        if (!PopStringBody(stack, sp, out.string))
            return false;
        out.Normalize();
        return true;
    }
    uint32_t payload;
    if (!PopPayload(stack, sp, payload))
        return false;
    switch (kind) {
    case kScriptInteger:
        out.integer = static_cast<int32_t>(payload);
        break;
    case kScriptFloat:
        std::memcpy(&out.floatValue, &payload, 4);
        break;
    case kScriptBoolean:
        out.boolean = payload != 0;
        break;
    case kScriptObject:
    case kScriptResultObject:
        out.object = payload;
        if (!PopStringBody(stack, sp, out.name) || !PopStringBody(stack, sp, out.className))
            return false;
        break;
    case kScriptReference:
        out.integer = static_cast<int32_t>(payload);
        if (payload < globalCount)
            out.name = globals[payload].name;
        break;
    default:
        break;
    }
    out.NormalizeNumbers();
    if (withString)
        out.NormalizeString();
    return true;
}
