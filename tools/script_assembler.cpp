#include "tools/script_assembler.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace {

struct tGlobal {
    std::string name;
    uint32_t kind = 0;
    uint8_t scope = 0;
    std::string className;
};
struct tImport {
    std::string name;
    uint32_t argumentCount = 0;
    uint32_t resultKind = 0;
};
struct tFunction {
    std::string name;
    uint32_t offset = 0;
};
struct tFixup {
    size_t at;       // where the u32 goes in the code
    std::string label;
    int line;
};

struct tToken {
    std::string text;
    bool quoted = false;
};

class cAssembler {
public:
    tScriptAssembly Run(std::string_view source);

private:
    bool Fail(const std::string& message)
    {
        if (mError.empty())
            mError = "line " + std::to_string(mLine) + ": " + message;
        return false;
    }
    bool Tokenize(std::string_view line, std::vector<tToken>& out);
    bool Statement(const std::vector<tToken>& t);
    bool ParseInt(const std::string& s, int64_t& out);
    bool ParseKind(const std::string& s, uint32_t& out, bool allowNone);
    bool GlobalIndex(const std::string& s, uint32_t& out);
    bool ImportIndex(const std::string& s, uint32_t& out);
    bool Typed(const std::vector<tToken>& t, size_t at);

    void U8(uint8_t v) { mCode.push_back(v); }
    void U16(uint32_t v)
    {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            U8(uint8_t(v >> (8 * i)));
    }

    int mLine = 0;
    std::string mError;
    std::vector<tGlobal> mGlobals;
    std::vector<tImport> mImports;
    std::vector<tFunction> mFunctions;
    std::vector<std::pair<uint32_t, uint32_t>> mEntries;
    std::vector<uint8_t> mCode;
    std::map<std::string, uint32_t> mLabels;
    std::vector<tFixup> mFixups;
};

bool cAssembler::Tokenize(std::string_view line, std::vector<tToken>& out)
{
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == ';')
            break;
        tToken tok;
        if (c == '"') {
            tok.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    tok.text += d;
                    continue;
                }
                if (i >= line.size())
                    break;
                char e = line[i++];
                switch (e) {
                case 'n': tok.text += '\n'; break;
                case 't': tok.text += '\t'; break;
                case '"': tok.text += '"'; break;
                case '\\': tok.text += '\\'; break;
                case 'x': {
                    if (i + 2 > line.size())
                        return Fail("bad \\x escape");
                    unsigned v = 0;
                    auto r = std::from_chars(line.data() + i, line.data() + i + 2, v, 16);
                    if (r.ec != std::errc() || r.ptr != line.data() + i + 2)
                        return Fail("bad \\x escape");
                    tok.text += char(v);
                    i += 2;
                    break;
                }
                default: return Fail(std::string("unknown escape \\") + e);
                }
            }
            if (!closed)
                return Fail("unterminated string");
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != ';')
                tok.text += line[i++];
        }
        out.push_back(std::move(tok));
    }
    return true;
}

bool cAssembler::ParseInt(const std::string& s, int64_t& out)
{
    const char* p = s.c_str();
    const char* end = p + s.size();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+'))
        negative = *p++ == '-';
    int base = 10;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    uint64_t v = 0;
    auto r = std::from_chars(p, end, v, base);
    if (r.ec != std::errc() || r.ptr != end || v > 0xFFFFFFFFull)
        return Fail("bad number '" + s + "'");
    out = negative ? -int64_t(v) : int64_t(v);
    return true;
}

bool cAssembler::ParseKind(const std::string& s, uint32_t& out, bool allowNone)
{
    static const std::map<std::string, uint32_t> names = {
        {"int", 1}, {"float", 2}, {"string", 3}, {"bool", 4},
        {"object", 5}, {"ref", 6}, {"result", 7},
    };
    if (allowNone && s == "none") {
        out = 0;
        return true;
    }
    auto it = names.find(s);
    if (it != names.end()) {
        out = it->second;
        return true;
    }
    int64_t v;
    if (!ParseInt(s, v))
        return false;
    out = uint32_t(v);
    return true;
}

bool cAssembler::GlobalIndex(const std::string& s, uint32_t& out)
{
    for (size_t i = 0; i < mGlobals.size(); ++i) {
        if (mGlobals[i].name == s) {
            out = uint32_t(i);
            return true;
        }
    }
    int64_t v;
    if (!s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) != 0) && ParseInt(s, v)) {
        out = uint32_t(v);
        return true;
    }
    return Fail("unknown global '" + s + "'");
}

bool cAssembler::ImportIndex(const std::string& s, uint32_t& out)
{
    for (size_t i = 0; i < mImports.size(); ++i) {
        if (mImports[i].name == s) {
            out = uint32_t(i);
            return true;
        }
    }
    int64_t v;
    if (!s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) != 0) && ParseInt(s, v)) {
        if (v > 0xFFFF)
            return Fail("import index past 65535");
        out = uint32_t(v);
        return true;
    }
    return Fail("unknown import '" + s + "'");
}

bool cAssembler::Typed(const std::vector<tToken>& t, size_t at)
{
    if (t.size() < at + 2)
        return Fail("typed operand needs a kind and a value");
    const std::string& kind = t[at].text;
    const std::string& value = t[at + 1].text;
    size_t want = at + 2;
    int64_t n = 0;
    if (kind == "int") {
        if (!ParseInt(value, n))
            return false;
        U8(1);
        U32(uint32_t(n));
    } else if (kind == "float") {
        char* end = nullptr;
        float f = std::strtof(value.c_str(), &end);
        if (value.empty() || *end != '\0')
            return Fail("bad float '" + value + "'");
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        U8(2);
        U32(bits);
    } else if (kind == "string") {
        if (!t[at + 1].quoted)
            return Fail("string operand must be quoted");
        if (value.find('\0') != std::string::npos)
            return Fail("string operand holds a zero byte");
        U8(3);
        for (char c : value)
            U8(uint8_t(c));
        U8(0);
    } else if (kind == "bool") {
        U8(4);
        if (value == "true")
            U32(1);
        else if (value == "false")
            U32(0);
        else if (ParseInt(value, n))
            U32(uint32_t(n));
        else
            return false;
    } else if (kind == "object" || kind == "result" || kind == "ref") {
        uint32_t g;
        if (!GlobalIndex(value, g))
            return false;
        U8(kind == "object" ? 5 : kind == "result" ? 7 : 6);
        U32(g);
    } else if (kind == "kind") {
        int64_t k;
        if (t.size() < at + 3 || !ParseInt(value, k) || !ParseInt(t[at + 2].text, n))
            return Fail("kind operand needs a kind byte and a value");
        U8(uint8_t(k));
        U32(uint32_t(n));
        want = at + 3;
    } else {
        return Fail("unknown operand kind '" + kind + "'");
    }
    if (t.size() != want)
        return Fail("too many operands");
    return true;
}

bool cAssembler::Statement(const std::vector<tToken>& t)
{
    static const std::map<std::string, uint8_t> plain = {
        {"add", script_op::kAdd},     {"store", script_op::kStore},
        {"neg", script_op::kNeg},     {"mul", script_op::kMul},
        {"div", script_op::kDiv},     {"pushh", script_op::kPushHeld},
        {"poph", script_op::kPopHeld}, {"test", script_op::kTest},
        {"or", script_op::kOr},       {"and", script_op::kAnd},
        {"xor", script_op::kXor},     {"not", script_op::kNot},
        {"testnn", script_op::kTestNotNegative}, {"ret", script_op::kReturn},
        {"eq", script_op::kEqual},    {"end", script_op::kEnd},
    };
    static const std::map<std::string, uint8_t> typed = {
        {"push", script_op::kPush}, {"load", script_op::kLoad},
        {"inc", script_op::kInc},   {"dec", script_op::kDec},
    };
    static const std::map<std::string, uint8_t> jumps = {
        {"jmp", script_op::kJump}, {"jz", script_op::kJumpFalse}, {"jnz", script_op::kJumpTrue},
    };

    const std::string& op = t[0].text;
    if (t.size() == 1 && !t[0].quoted && op.size() > 1 && op.back() == ':') {
        std::string label = op.substr(0, op.size() - 1);
        if (!mLabels.emplace(label, uint32_t(mCode.size())).second)
            return Fail("label '" + label + "' defined twice");
        return true;
    }
    if (op == "global") {
        if (t.size() < 3)
            return Fail("global needs a name and a kind");
        tGlobal g;
        g.name = t[1].text;
        if (!ParseKind(t[2].text, g.kind, false))
            return false;
        for (size_t i = 3; i < t.size(); ++i) {
            const std::string& a = t[i].text;
            int64_t n;
            if (a.rfind("scope=", 0) == 0) {
                if (!ParseInt(a.substr(6), n))
                    return false;
                g.scope = uint8_t(n);
            } else if (a.rfind("class=", 0) == 0) {
                g.className = a.substr(6);
            } else {
                return Fail("unknown global attribute '" + a + "'");
            }
        }
        if (g.name.size() > 127 || g.className.size() > 66)
            return Fail("global name or class too long");
        mGlobals.push_back(std::move(g));
        return true;
    }
    if (op == "import") {
        int64_t n;
        if (t.size() != 4 || !ParseInt(t[2].text, n))
            return Fail("import needs a name, an argument count and a result kind");
        tImport imp;
        imp.name = t[1].text;
        imp.argumentCount = uint32_t(n);
        if (!ParseKind(t[3].text, imp.resultKind, true))
            return false;
        if (imp.name.size() > 63)
            return Fail("import name too long");
        mImports.push_back(std::move(imp));
        return true;
    }
    if (op == "function") {
        if (t.size() != 2)
            return Fail("function needs one name");
        if (t[1].text.size() > 135)
            return Fail("function name too long");
        mFunctions.push_back({t[1].text, uint32_t(mCode.size())});
        return true;
    }
    if (op == "entry") {
        int64_t a, b;
        if (t.size() != 3 || !ParseInt(t[1].text, a) || !ParseInt(t[2].text, b))
            return Fail("entry needs two numbers");
        mEntries.emplace_back(uint32_t(a), uint32_t(b));
        return true;
    }
    if (op == ".byte") {
        for (size_t i = 1; i < t.size(); ++i) {
            int64_t n;
            if (!ParseInt(t[i].text, n))
                return false;
            U8(uint8_t(n));
        }
        return true;
    }
    if (auto it = plain.find(op); it != plain.end()) {
        if (t.size() != 1)
            return Fail(op + " takes no operands");
        U8(it->second);
        return true;
    }
    if (auto it = typed.find(op); it != typed.end()) {
        U8(it->second);
        return Typed(t, 1);
    }
    if (auto it = jumps.find(op); it != jumps.end()) {
        if (t.size() != 2)
            return Fail(op + " needs a label");
        U8(it->second);
        mFixups.push_back({mCode.size(), t[1].text, mLine});
        U32(0);
        return true;
    }
    if (op == "callg") {
        uint32_t g, imp;
        if (t.size() != 3)
            return Fail("callg needs a global and an import");
        if (!GlobalIndex(t[1].text, g) || !ImportIndex(t[2].text, imp))
            return false;
        U8(script_op::kCallGlobal);
        U32(g);
        U16(imp);
        return true;
    }
    if (op == "call") {
        uint32_t imp;
        if (t.size() != 2)
            return Fail("call needs an import");
        if (!ImportIndex(t[1].text, imp))
            return false;
        U8(script_op::kCall);
        U16(imp);
        return true;
    }
    return Fail("unknown statement '" + op + "'");
}

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::string& s, size_t width)
{
    size_t start = out.size();
    out.insert(out.end(), s.begin(), s.end());
    out.resize(start + width, 0);
}

tScriptAssembly cAssembler::Run(std::string_view source)
{
    tScriptAssembly result;
    size_t pos = 0;
    while (pos <= source.size() && mError.empty()) {
        size_t nl = source.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = source.size();
        ++mLine;
        std::vector<tToken> tokens;
        if (Tokenize(source.substr(pos, nl - pos), tokens) && !tokens.empty())
            Statement(tokens);
        pos = nl + 1;
    }
    for (const tFixup& f : mFixups) {
        if (!mError.empty())
            break;
        auto it = mLabels.find(f.label);
        if (it == mLabels.end()) {
            mLine = f.line;
            Fail("unknown label '" + f.label + "'");
            break;
        }
        for (int i = 0; i < 4; ++i)
            mCode[f.at + i] = uint8_t(it->second >> (8 * i));
    }
    if (!mError.empty()) {
        result.error = mError;
        return result;
    }
    mCode.push_back(script_op::kEnd);

    std::vector<uint8_t>& out = result.image;
    PutU32(out, uint32_t(mCode.size()));
    PutU32(out, uint32_t(mGlobals.size()));
    PutU32(out, uint32_t(mImports.size()));
    PutU32(out, uint32_t(mFunctions.size()));
    PutU32(out, uint32_t(mEntries.size()));
    for (const tGlobal& g : mGlobals) {
        PutU32(out, g.kind);
        out.push_back(g.scope);
        PutText(out, g.name, 128);
        PutText(out, g.className, 67);
    }
    for (const tImport& imp : mImports) {
        PutText(out, imp.name, 64);
        PutU32(out, imp.argumentCount);
        PutU32(out, imp.resultKind);
        PutU32(out, 0xFFFFFFFFu);
    }
    for (const tFunction& f : mFunctions) {
        PutText(out, f.name, 136);
        PutU32(out, f.offset);
    }
    for (const auto& e : mEntries) {
        PutU32(out, e.first);
        PutU32(out, e.second);
    }
    out.insert(out.end(), mCode.begin(), mCode.end());
    return result;
}

} // namespace

tScriptAssembly AssembleScript(std::string_view source)
{
    return cAssembler().Run(source);
}

std::vector<uint8_t> AssembleScriptOrThrow(std::string_view source)
{
    tScriptAssembly a = AssembleScript(source);
    if (!a.ok())
        throw std::runtime_error("script assembly failed: " + a.error);
    return std::move(a.image);
}

std::vector<uint8_t> AssembleActorScript(std::string_view name, std::string_view body)
{
    std::string source = "global ";
    source += name;
    source += " object class=cActor\n";
    source += body;
    return AssembleScriptOrThrow(source);
}
