// A declaration-level reader of effect source.
#include "platform/d3dx9/effect_parser.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace platform::d3dx9 {

namespace {

// "(line): error: message". Built by appending: GCC 12 warns falsely on
// "(" + std::to_string(...).
std::string ErrorAt(int line, std::string_view message) {
  std::string s = "(";
  s += std::to_string(line);
  s += "): error: ";
  s += message;
  return s;
}

struct Token {
  enum Kind { End, Identifier, Number, String, Punct } kind = End;
  std::string text;
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  // False with the error set on text that cannot be read.
  bool Tokenise(std::vector<Token>* out, std::string* error) {
    while (true) {
      SkipSpace();
      Token t;
      t.line = line_;
      if (pos_ >= s_.size()) {
        out->push_back(t);
        return true;
      }
      char c = s_[pos_];
      if (c == '#') {
        // Preprocessor lines: an include cannot be served; the rest is
        // left to the compiler this layer does not run.
        size_t end = s_.find('\n', pos_);
        std::string_view directive = s_.substr(pos_, end == std::string_view::npos ? s_.size() - pos_ : end - pos_);
        if (directive.find("include") != std::string_view::npos) {
          *error = ErrorAt(line_, "#include is not supported");
          return false;
        }
        pos_ = end == std::string_view::npos ? s_.size() : end;
        continue;
      }
      if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t b = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
        t.kind = Token::Identifier;
        t.text = std::string(s_.substr(b, pos_ - b));
      } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                 (c == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
        size_t b = pos_;
        if (c == '0' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == 'x' || s_[pos_ + 1] == 'X')) {
          pos_ += 2;
          while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
        } else {
          while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.')) ++pos_;
          if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
          }
        }
        t.kind = Token::Number;
        t.text = std::string(s_.substr(b, pos_ - b));
        // Suffixes: 1.0f, 2h, 3u.
        while (pos_ < s_.size() && std::strchr("fFhHuUlL", s_[pos_]) && s_[pos_] != '\0') ++pos_;
      } else if (c == '"') {
        size_t b = ++pos_;
        while (pos_ < s_.size() && s_[pos_] != '"' && s_[pos_] != '\n') ++pos_;
        if (pos_ >= s_.size() || s_[pos_] != '"') {
          *error = ErrorAt(line_, "unterminated string");
          return false;
        }
        t.kind = Token::String;
        t.text = std::string(s_.substr(b, pos_ - b));
        ++pos_;
      } else if (std::strchr("{}()[]<>=;,:+-*/|&!.?%^~", c)) {
        t.kind = Token::Punct;
        t.text = std::string(1, c);
        ++pos_;
      } else {
        *error = ErrorAt(line_, "unexpected character");
        return false;
      }
      out->push_back(std::move(t));
    }
  }

 private:
  void SkipSpace() {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
        pos_ += 2;
        while (pos_ + 1 < s_.size() && !(s_[pos_] == '*' && s_[pos_ + 1] == '/')) {
          if (s_[pos_] == '\n') ++line_;
          ++pos_;
        }
        pos_ = std::min(pos_ + 2, s_.size());
      } else {
        break;
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
  int line_ = 1;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct TypeInfo {
  D3DXPARAMETER_CLASS klass;
  D3DXPARAMETER_TYPE type;
  UINT rows, columns;
};

// "float", "float3", "float4x4", "int2", "bool", "matrix", "texture", ...
std::optional<TypeInfo> ParseTypeName(const std::string& name) {
  const std::string l = Lower(name);
  struct Named {
    const char* name;
    TypeInfo info;
  };
  static const Named objects[] = {
      {"texture", {D3DXPC_OBJECT, D3DXPT_TEXTURE, 1, 1}},
      {"texture1d", {D3DXPC_OBJECT, D3DXPT_TEXTURE1D, 1, 1}},
      {"texture2d", {D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 1, 1}},
      {"texture3d", {D3DXPC_OBJECT, D3DXPT_TEXTURE3D, 1, 1}},
      {"texturecube", {D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 1, 1}},
      {"sampler", {D3DXPC_OBJECT, D3DXPT_SAMPLER, 1, 1}},
      {"sampler1d", {D3DXPC_OBJECT, D3DXPT_SAMPLER1D, 1, 1}},
      {"sampler2d", {D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1}},
      {"sampler3d", {D3DXPC_OBJECT, D3DXPT_SAMPLER3D, 1, 1}},
      {"samplercube", {D3DXPC_OBJECT, D3DXPT_SAMPLERCUBE, 1, 1}},
      {"string", {D3DXPC_OBJECT, D3DXPT_STRING, 1, 1}},
      {"pixelshader", {D3DXPC_OBJECT, D3DXPT_PIXELSHADER, 1, 1}},
      {"vertexshader", {D3DXPC_OBJECT, D3DXPT_VERTEXSHADER, 1, 1}},
      {"matrix", {D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4}},
      {"vector", {D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4}},
  };
  for (const Named& n : objects) {
    if (l == n.name) return n.info;
  }
  // Scalar base types are case-sensitive in the language.
  static const std::pair<const char*, D3DXPARAMETER_TYPE> bases[] = {
      {"float", D3DXPT_FLOAT}, {"half", D3DXPT_FLOAT}, {"double", D3DXPT_FLOAT},
      {"int", D3DXPT_INT},     {"uint", D3DXPT_INT},   {"bool", D3DXPT_BOOL}};
  for (const auto& [base, type] : bases) {
    size_t n = std::strlen(base);
    if (name.compare(0, n, base) != 0) continue;
    std::string rest = name.substr(n);
    if (rest.empty()) return TypeInfo{D3DXPC_SCALAR, type, 1, 1};
    if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
      return TypeInfo{D3DXPC_VECTOR, type, 1, static_cast<UINT>(rest[0] - '0')};
    }
    if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4') {
      return TypeInfo{D3DXPC_MATRIX_ROWS, type, static_cast<UINT>(rest[0] - '0'), static_cast<UINT>(rest[2] - '0')};
    }
  }
  return std::nullopt;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, ParsedEffect* out, std::string* error)
      : t_(std::move(tokens)), out_(out), error_(error) {}

  bool Run() {
    while (!AtEnd()) {
      if (!TopLevel()) return false;
    }
    return true;
  }

 private:
  const Token& Peek(size_t ahead = 0) const { return t_[std::min(i_ + ahead, t_.size() - 1)]; }
  bool AtEnd() const { return Peek().kind == Token::End; }
  bool Is(const char* text, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind != Token::End && t.kind != Token::String && t.text == text;
  }
  Token Next() {
    Token t = Peek();
    if (i_ < t_.size() - 1) ++i_;
    return t;
  }
  bool Fail(const std::string& message) {
    *error_ = ErrorAt(Peek().line, message);
    return false;
  }
  bool Expect(const char* text) {
    if (!Is(text)) return Fail(std::string("'") + text + "' expected");
    Next();
    return true;
  }
  bool ExpectIdentifier(std::string* name) {
    if (Peek().kind != Token::Identifier) return Fail("identifier expected");
    *name = Next().text;
    return true;
  }

  // Skips a balanced group starting at the opening token.
  bool SkipGroup(const char* open, const char* close) {
    if (!Expect(open)) return false;
    int depth = 1;
    while (depth > 0) {
      if (AtEnd()) return Fail(std::string("'") + close + "' expected");
      if (Is(open)) ++depth;
      if (Is(close)) --depth;
      Next();
    }
    return true;
  }

  bool TopLevel() {
    if (Is(";")) {
      Next();
      return true;
    }
    if (Is("technique") || Is("Technique")) return Technique();
    if (Is("struct")) {
      Next();
      if (Peek().kind == Token::Identifier) Next();
      if (!SkipGroup("{", "}")) return false;
      // struct S { ... } instance; is not used by effects here.
      while (!Is(";")) {
        if (AtEnd()) return Fail("';' expected");
        Next();
      }
      Next();
      return true;
    }
    if (Is("typedef")) {
      while (!Is(";")) {
        if (AtEnd()) return Fail("';' expected");
        Next();
      }
      Next();
      return true;
    }
    return Declaration();
  }

  bool Declaration() {
    bool shared = false, isStatic = false;
    while (Peek().kind == Token::Identifier) {
      const std::string& w = Peek().text;
      if (w == "shared") {
        shared = true;
      } else if (w == "static") {
        isStatic = true;
      } else if (w == "uniform" || w == "extern" || w == "const" || w == "volatile" || w == "row_major" ||
                 w == "column_major" || w == "inline") {
      } else {
        break;
      }
      Next();
    }
    std::string typeName;
    if (!ExpectIdentifier(&typeName)) return false;
    std::optional<TypeInfo> type = ParseTypeName(typeName);
    if (Is("<") && typeName != "texture" && typeName != "Texture") {
      // matrix<float, 4, 4> and vector<float, 3>.
      std::vector<std::string> args;
      Next();
      while (!Is(">")) {
        if (AtEnd()) return Fail("'>' expected");
        Token a = Next();
        if (a.kind != Token::Punct) args.push_back(a.text);
      }
      Next();
      if (typeName == "matrix" && args.size() == 3) {
        auto base = ParseTypeName(args[0]);
        type = TypeInfo{D3DXPC_MATRIX_ROWS, base ? base->type : D3DXPT_FLOAT,
                        static_cast<UINT>(std::clamp(std::atoi(args[1].c_str()), 1, 4)),
                        static_cast<UINT>(std::clamp(std::atoi(args[2].c_str()), 1, 4))};
      } else if (typeName == "vector" && args.size() == 2) {
        auto base = ParseTypeName(args[0]);
        type = TypeInfo{D3DXPC_VECTOR, base ? base->type : D3DXPT_FLOAT, 1,
                        static_cast<UINT>(std::clamp(std::atoi(args[1].c_str()), 1, 4))};
      }
    }
    std::string name;
    if (!ExpectIdentifier(&name)) return false;
    if (Is("(")) {
      // A function: parameters, an optional return semantic, the body.
      if (!SkipGroup("(", ")")) return false;
      if (Is(":")) {
        Next();
        std::string semantic;
        if (!ExpectIdentifier(&semantic)) return false;
      }
      if (Is(";")) {
        Next();
        return true;
      }
      return SkipGroup("{", "}");
    }
    ParsedParameter p;
    p.name = name;
    p.shared = shared;
    if (type) {
      p.klass = type->klass;
      p.type = type->type;
      p.rows = type->rows;
      p.columns = type->columns;
    } else {
      p.klass = D3DXPC_STRUCT;  // a structure declared above
      p.type = D3DXPT_VOID;
      p.rows = p.columns = 0;
    }
    if (Is("[")) {
      Next();
      if (Peek().kind != Token::Number) return Fail("array size expected");
      long n = std::strtol(Next().text.c_str(), nullptr, 0);
      if (n < 1 || n > 65536) return Fail("bad array size");
      p.elements = static_cast<UINT>(n);
      if (!Expect("]")) return false;
    }
    if (Is(":")) {
      Next();
      if (!ExpectIdentifier(&p.semantic)) return false;
      if (Is("(")) {  // register(c0) and the like
        if (!SkipGroup("(", ")")) return false;
      }
    }
    if (Is("<") && !Annotations(&p.annotations)) return false;
    if (Is("=")) {
      Next();
      if (Is("sampler_state")) {
        Next();
        if (!StateBlock(&p.samplerStates)) return false;
      } else if (Is("compile")) {
        while (!Is(";")) {
          if (AtEnd()) return Fail("';' expected");
          Next();
        }
      } else {
        Literal value;
        if (!Value(&value, {";"})) return false;
        p.initialValue = std::move(value);
      }
    } else if (Is("sampler_state")) {
      Next();
      if (!StateBlock(&p.samplerStates)) return false;
    }
    if (!Expect(";")) return false;
    if (isStatic) return true;  // not a parameter of the effect
    for (const ParsedParameter& other : out_->parameters) {
      if (other.name == p.name) return Fail("redefinition of '" + p.name + "'");
    }
    out_->parameters.push_back(std::move(p));
    return true;
  }

  // Numbers, bools, strings, constructors and braces up to one of the ends.
  bool Value(Literal* value, std::initializer_list<const char*> ends) {
    int depth = 0;
    bool negate = false;
    while (true) {
      if (AtEnd()) return Fail("';' expected");
      if (depth == 0) {
        for (const char* e : ends) {
          if (Is(e)) return true;
        }
      }
      Token t = Next();
      if (t.kind == Token::Punct) {
        if (t.text == "{" || t.text == "(") ++depth;
        if (t.text == "}" || t.text == ")") {
          if (--depth < 0) return Fail("unbalanced brackets");
        }
        negate = t.text == "-";
        continue;
      }
      if (t.kind == Token::Number) {
        float f = std::strtof(t.text.c_str(), nullptr);
        if (t.text.size() > 2 && (t.text[1] == 'x' || t.text[1] == 'X')) {
          f = static_cast<float>(std::strtoul(t.text.c_str(), nullptr, 16));
        }
        value->numbers.push_back(negate ? -f : f);
      } else if (t.kind == Token::String) {
        value->text = t.text;
      } else if (t.text == "true" || t.text == "TRUE") {
        value->numbers.push_back(1.0f);
      } else if (t.text == "false" || t.text == "FALSE") {
        value->numbers.push_back(0.0f);
      } else if (!Is("(")) {
        // Only constructors such as float4(...) name anything here.
        --i_;
        return Fail("';' expected");
      }
      negate = false;
    }
  }

  // < type name = value; ... >
  bool Annotations(std::vector<Annotation>* out) {
    if (!Expect("<")) return false;
    while (!Is(">")) {
      if (AtEnd()) return Fail("'>' expected");
      Annotation a;
      std::string typeName;
      if (!ExpectIdentifier(&typeName)) return false;
      auto type = ParseTypeName(typeName);
      if (!type) return Fail("unknown annotation type '" + typeName + "'");
      a.type = type->type;
      a.klass = type->klass;
      a.rows = type->rows;
      a.columns = type->columns;
      if (!ExpectIdentifier(&a.name)) return false;
      if (!Expect("=")) return false;
      if (!Value(&a.value, {";"})) return false;
      if (!Expect(";")) return false;
      out->push_back(std::move(a));
    }
    Next();
    return true;
  }

  // { Name[index] = value; ... }
  bool StateBlock(std::vector<StateAssignment>* out) {
    if (!Expect("{")) return false;
    while (!Is("}")) {
      if (AtEnd()) return Fail("'}' expected");
      StateAssignment s;
      if (!ExpectIdentifier(&s.name)) return false;
      if (Is("[")) {
        Next();
        if (Peek().kind != Token::Number) return Fail("state index expected");
        s.index = std::atoi(Next().text.c_str());
        if (!Expect("]")) return false;
      }
      if (!Expect("=")) return false;
      int depth = 0;
      while (depth > 0 || !Is(";")) {
        if (AtEnd()) return Fail("';' expected");
        if (Is("(") || Is("{")) ++depth;
        if (Is(")") || Is("}")) --depth;
        if (depth < 0) return Fail("unbalanced brackets");
        Token t = Next();
        if (t.text == "compile" && t.kind == Token::Identifier) {
          if (Peek().kind != Token::Identifier) return Fail("compile target expected");
          s.compileTarget = Peek().text;
        }
        if (!s.value.empty() && t.kind != Token::Punct && s.value.back() != '<' && s.value.back() != '(') {
          s.value += ' ';
        }
        s.value += t.kind == Token::String ? "\"" + t.text + "\"" : t.text;
      }
      Next();
      out->push_back(std::move(s));
    }
    Next();
    return true;
  }

  bool Technique() {
    Next();
    ParsedTechnique t;
    if (Peek().kind == Token::Identifier) t.name = Next().text;
    if (Is("<") && !Annotations(&t.annotations)) return false;
    if (!Expect("{")) return false;
    while (!Is("}")) {
      if (AtEnd()) return Fail("'}' expected");
      if (!Is("pass") && !Is("Pass")) return Fail("'pass' expected");
      Next();
      ParsedPass p;
      if (Peek().kind == Token::Identifier) p.name = Next().text;
      if (Is("<") && !Annotations(&p.annotations)) return false;
      if (!StateBlock(&p.states)) return false;
      t.passes.push_back(std::move(p));
    }
    Next();
    out_->techniques.push_back(std::move(t));
    return true;
  }

  std::vector<Token> t_;
  size_t i_ = 0;
  ParsedEffect* out_;
  std::string* error_;
};

}  // namespace

bool ParseEffect(std::string_view source, ParsedEffect* effect, std::string* error) {
  // Text may end at a NUL before its stated length.
  size_t nul = source.find('\0');
  if (nul != std::string_view::npos) source = source.substr(0, nul);
  std::vector<Token> tokens;
  Lexer lexer(source);
  if (!lexer.Tokenise(&tokens, error)) return false;
  *effect = ParsedEffect{};
  Parser parser(std::move(tokens), effect, error);
  return parser.Run();
}

}  // namespace platform::d3dx9
