#include "engine/script/script_reference.h"

#include <cstring>
#include <utility>

#include "engine/core/tarvel.h"

namespace {

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
        if (*a == '\0')
            return true;
    }
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

int32_t Wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

struct Reference {
    explicit Reference(cTarvelScript& machine) : m(machine) {}
    cTarvelScript& m;

    [[noreturn]] void RunError(const char* message);
    void Push(const cTarvelScriptValue& value);
    void Pop(cTarvelScriptValue& out, bool withString = false);
    uint8_t CodeU8();
    uint32_t CodeU32();
    uint32_t CodeTarget();
    void CodeOperand(cTarvelScriptValue& out);
    cTarvelScriptValue* ReferencedGlobal(const cTarvelScriptValue& operand);
    void Suspend()
    {
        m.mPc = uint32_t(m.mCode.size() - 1);
        m.mRunning = false;
    }
    int Run(uint32_t offset);
};

void Reference::RunError(const char* message)
{
    gTarvel.FatalError(0, TARVEL_SOURCE_SCRIPT, __LINE__, "cTarvelScript::Run", message, 0);
}

void Reference::Push(const cTarvelScriptValue& value)
{
    if (!PushScriptValue(m.mStack.get(), m.mSp, value))
        RunError("Script stack overflow.");
}

void Reference::Pop(cTarvelScriptValue& out, bool withString)
{
    if (!PopScriptValue(m.mStack.get(), m.mSp, out, m.mGlobals.data(), uint32_t(m.mGlobals.size()),
                        withString))
        RunError("Script stack underflow.");
}

uint8_t Reference::CodeU8()
{
    if (m.mPc >= m.mCode.size())
        RunError("Operand runs past the code.");
    return m.mCode[m.mPc++];
}

uint32_t Reference::CodeU32()
{
    if (m.mPc > m.mCode.size() || m.mCode.size() - m.mPc < 4)
        RunError("Operand runs past the code.");
    uint32_t v = ReadU32(&m.mCode[m.mPc]);
    m.mPc += 4;
    return v;
}

uint32_t Reference::CodeTarget()
{
    uint32_t target = CodeU32();
    if (target >= m.mCode.size())
        RunError("Jump target outside the code.");
    return target;
}

void Reference::CodeOperand(cTarvelScriptValue& out)
{
    uint8_t kind = CodeU8();
    out.kind = kind;
    out.scope = 0;
    ClearString(out.name);
    ClearString(out.className);
    out.object = 0;
    if (kind == kScriptString) {
        const uint8_t* start = &m.mCode[m.mPc];
        const void* zero = std::memchr(start, 0, m.mCode.size() - m.mPc);
        if (!zero)
            RunError("String operand runs past the code.");
        out.string = reinterpret_cast<const char*>(start);
        m.mPc += uint32_t(static_cast<const uint8_t*>(zero) - start) + 1;
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
        if (n >= m.mGlobals.size())
            RunError("Global index out of range.");
        const cTarvelScriptValue& g = m.mGlobals[n];
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

cTarvelScriptValue* Reference::ReferencedGlobal(const cTarvelScriptValue& operand)
{
    if (operand.kind != kScriptReference || operand.integer < 0 ||
        uint32_t(operand.integer) >= m.mGlobals.size())
        return nullptr;
    return &m.mGlobals[uint32_t(operand.integer)];
}

int Reference::Run(uint32_t offset)
{
    m.mRunning = true;
    m.mPc = offset;

    cTarvelScriptValue T, S, R, H;
    for (;;) {
        if (cTarvelScript::sInstructionBudget >= 0) {
            if (cTarvelScript::sInstructionBudget == 0)
                Suspend();
            else
                --cTarvelScript::sInstructionBudget;
        }
        if (m.mPc >= m.mCode.size())
            RunError("Opcode not supported.");
        uint8_t op = m.mCode[m.mPc++];
        switch (op) {
        case 0xFF:
            // pc stays on the marker, so a machine saved now stays in range.
            --m.mPc;
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
            m.mPc = CodeTarget();
            break;
        case 20:
        case 22: {
            uint32_t target = CodeU32();
            Pop(T);
            if ((T.boolean != 0) == (op == 22)) {
                if (target >= m.mCode.size())
                    RunError("Jump target outside the code.");
                m.mPc = target;
            }
            break;
        }
        case 21:
            m.mRunning = false;
            return 0;
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
        case 23:
        case 25:
            RunError(kReferenceMakesNoCalls);
        default:
            RunError("Opcode not supported.");
        }
    }
}


} // namespace

int ReferenceRun(cTarvelScript& m, uint32_t offset)
{
    m.mSp = 0;
    return Reference(m).Run(offset);
}
