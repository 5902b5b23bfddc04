#include "platform/d3dx9/effect_shader.h"

#define ENABLE_HLSL 1
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/gl_renderer.h"

namespace platform::d3dx9 {
namespace {

// ---- Tokens over the source -----------------------------------------------------
struct Tok {
  enum Kind { Identifier, Number, String, Punct, Directive } kind;
  size_t begin, end;
};

// Never fails: anything it does not know becomes a one-character token.
std::vector<Tok> Tokenise(std::string_view s) {
  std::vector<Tok> out;
  size_t i = 0;
  bool lineStart = true;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      lineStart = true;
      ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string_view::npos ? s.size() : e + 2;
      continue;
    }
    const size_t b = i;
    if (c == '#' && lineStart) {
      while (i < s.size() && s[i] != '\n') ++i;
      out.push_back({Tok::Directive, b, i});
      continue;
    }
    lineStart = false;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
      out.push_back({Tok::Identifier, b, i});
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                              ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E')))) {
        ++i;
      }
      out.push_back({Tok::Number, b, i});
    } else if (c == '"') {
      ++i;
      while (i < s.size() && s[i] != '"' && s[i] != '\n') ++i;
      if (i < s.size() && s[i] == '"') ++i;
      out.push_back({Tok::String, b, i});
    } else {
      ++i;
      out.push_back({Tok::Punct, b, i});
    }
  }
  return out;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class Rewriter {
 public:
  Rewriter(std::string_view s, const std::map<std::string, int>& samplers)
      : s_(s), toks_(Tokenise(s)), samplers_(samplers) {}

  std::string Run() {
    size_t i = 0;
    while (i < toks_.size()) {
      if (toks_[i].kind == Tok::Directive) {
        Newlines(i);
        out_ += Text(i);
        out_ += '\n';
        last_ = i;
        ++i;
        continue;
      }
      size_t end = StatementEnd(i);
      Statement(i, end);
      i = end;
    }
    return out_;
  }

 private:
  std::string_view Text(size_t i) const { return s_.substr(toks_[i].begin, toks_[i].end - toks_[i].begin); }
  bool Is(size_t i, const char* text) const { return i < toks_.size() && Text(i) == text; }

  // Keeps the source's line breaks, so compiler messages point at its lines.
  void Newlines(size_t i) {
    size_t from = last_ == SIZE_MAX ? 0 : toks_[last_].end;
    size_t to = toks_[i].begin;
    size_t lines = from < to ? static_cast<size_t>(std::count(s_.begin() + static_cast<long>(from),
                                                             s_.begin() + static_cast<long>(to), '\n'))
                             : 0;
    if (lines) {
      out_.append(lines, '\n');
    } else if (!out_.empty() && (from < to || last_ == SIZE_MAX)) {
      out_ += ' ';
    }
  }
  void Emit(size_t i) {
    Newlines(i);
    out_ += Text(i);
    last_ = i;
  }
  void EmitText(size_t i, std::string_view text) {
    Newlines(i);
    out_ += text;
    last_ = i;
  }

  static bool IsTechnique(std::string_view w) {
    return w == "technique" || w == "technique9" || w == "technique10" || w == "technique11" || w == "Technique";
  }
  // `<` opening an annotation rather than a template argument list.
  bool OpensAnnotation(size_t i, size_t start) const {
    if (!Is(i, "<") || i == start) return false;
    std::string_view prev = Text(i - 1);
    if (prev == "vector" || prev == "matrix" || prev.rfind("Texture", 0) == 0) return false;
    return toks_[i - 1].kind == Tok::Identifier || prev == "]";
  }

  size_t StatementEnd(size_t i) const {
    const size_t start = i;
    const bool technique = IsTechnique(Text(i));
    int depth = 0, angle = 0;
    bool sawParen = false, sawEquals = false;
    for (; i < toks_.size(); ++i) {
      std::string_view t = Text(i);
      if (toks_[i].kind == Tok::Directive && depth == 0) return i;
      if (depth == 0 && angle == 0 && OpensAnnotation(i, start)) {
        angle = 1;
        continue;
      }
      if (angle > 0 && depth == 0) {
        if (t == "<") ++angle;
        if (t == ">") --angle;
        continue;
      }
      if (t == "(" || t == "[" || t == "{") {
        if (depth == 0 && t == "(") sawParen = true;
        ++depth;
      } else if (t == ")" || t == "]" || t == "}") {
        if (depth > 0) --depth;
        if (depth == 0 && t == "}" && (technique || (sawParen && !sawEquals))) {
          return Is(i + 1, ";") ? i + 2 : i + 1;
        }
      } else if (depth == 0 && t == "=") {
        sawEquals = true;
      } else if (depth == 0 && t == ";") {
        return i + 1;
      }
    }
    return toks_.size();
  }

  void Statement(size_t b, size_t e) {
    size_t k = b;
    bool isStatic = false;
    while (k < e && toks_[k].kind == Tok::Identifier) {
      std::string_view w = Text(k);
      if (w == "static" || w == "const") isStatic = true;
      if (w != "shared" && w != "uniform" && w != "static" && w != "const" && w != "extern" && w != "volatile") break;
      ++k;
    }
    if (k >= e) return;
    const std::string type = Lower(Text(k));
    if (IsTechnique(Text(b)) || IsTechnique(Text(k))) return;
    if (type == "string" || type == "texture" || type == "texture1d" || type == "texture2d" || type == "texture3d" ||
        type == "texturecube") {
      // Effect-only objects; Direct3D 10-style Texture2D<...> keeps its
      // template form and is kept.
      if (!(Is(k + 1, "<") && type != "string" && type != "texture")) return;
    }
    if (type == "sampler" || type == "sampler1d" || type == "sampler2d" || type == "sampler3d" ||
        type == "samplercube" || type == "sampler_state") {
      if (k + 1 < e && toks_[k + 1].kind == Tok::Identifier) {
        std::string name(Text(k + 1));
        const char* kind = type == "samplercube" ? "TextureCube" : type == "sampler3d" ? "Texture3D" : "Texture2D";
        EmitText(b, std::string(kind) + "<float4> " + name + "__t; SamplerState " + name + "__s;");
      }
      return;
    }
    bool function = false;
    for (size_t i = k; i < e; ++i) {
      if (Is(i, "(")) function = true;
      if (Is(i, "=") || Is(i, "{")) break;
    }
    if (function || type == "struct" || type == "typedef" || type == "cbuffer" || isStatic) {
      Body(b, e);
      return;
    }
    // A global parameter: without `shared`, annotations and semantics.
    int depth = 0;
    for (size_t i = b; i < e; ++i) {
      std::string_view t = Text(i);
      if (depth == 0 && t == "shared") continue;
      if (depth == 0 && OpensAnnotation(i, b)) {
        int angle = 0;
        for (; i < e; ++i) {
          if (Is(i, "<")) ++angle;
          if (Is(i, ">") && --angle == 0) break;
        }
        continue;
      }
      if (depth == 0 && t == ":" && i + 1 < e && Text(i + 1) != "register" && Text(i + 1) != "packoffset") {
        ++i;  // the semantic
        continue;
      }
      if (t == "(" || t == "[" || t == "{") ++depth;
      if ((t == ")" || t == "]" || t == "}") && depth > 0) --depth;
      Emit(i);
    }
  }

  // Copies tokens, turning tex2D-style calls on known samplers into method calls.
  void Body(size_t b, size_t e) {
    for (size_t i = b; i < e; ++i) {
      if (toks_[i].kind == Tok::Identifier && Is(i + 1, "(") && i + 2 < e && samplers_.count(std::string(Text(i + 2))) &&
          Is(i + 3, ",")) {
        std::string call(Text(i));
        if (call.rfind("tex", 0) == 0) {
          size_t close = Matching(i + 1, e);
          if (close < e && Sample(call, i, close)) {
            i = close;
            continue;
          }
        }
      }
      Emit(i);
    }
  }

  size_t Matching(size_t open, size_t e) const {
    int depth = 0;
    for (size_t i = open; i < e; ++i) {
      if (Is(i, "(")) ++depth;
      if (Is(i, ")") && --depth == 0) return i;
    }
    return e;
  }

  // tex2D(S, args...) at tokens [i, close].
  bool Sample(const std::string& call, size_t i, size_t close) {
    const std::string sampler(Text(i + 2));
    // The arguments after the sampler, each rewritten on its own.
    std::vector<std::string> args;
    size_t from = i + 4;
    int depth = 0;
    for (size_t k = from; k <= close; ++k) {
      if (Is(k, "(") || Is(k, "[")) ++depth;
      if ((Is(k, ")") || Is(k, "]")) && depth > 0 && k != close) --depth;
      if ((depth == 0 && Is(k, ",")) || k == close) {
        if (k == from) return false;
        Rewriter inner(*this, from, k);
        args.push_back(inner.out_);
        from = k + 1;
      }
    }
    const std::string t = sampler + "__t", s = sampler + "__s";
    std::string text;
    const std::string base = call == "tex2D" || call == "tex1D" || call == "tex3D" || call == "texCUBE" ? "plain" : call;
    if (base == "plain" && args.size() == 1) {
      text = t + ".Sample(" + s + ", " + args[0] + ")";
    } else if (base == "plain" && args.size() == 3) {
      text = t + ".SampleGrad(" + s + ", " + args[0] + ", " + args[1] + ", " + args[2] + ")";
    } else if ((call == "tex2Dlod" || call == "texCUBElod") && args.size() == 1) {
      const char* xy = call == "tex2Dlod" ? ".xy" : ".xyz";
      text = t + ".SampleLevel(" + s + ", (" + args[0] + ")" + xy + ", (" + args[0] + ").w)";
    } else if ((call == "tex2Dbias" || call == "texCUBEbias") && args.size() == 1) {
      const char* xy = call == "tex2Dbias" ? ".xy" : ".xyz";
      text = t + ".SampleBias(" + s + ", (" + args[0] + ")" + xy + ", (" + args[0] + ").w)";
    } else if (call == "tex2Dproj" && args.size() == 1) {
      text = t + ".Sample(" + s + ", (" + args[0] + ").xy / (" + args[0] + ").w)";
    } else {
      return false;
    }
    EmitText(i, text);
    last_ = close;
    return true;
  }

  // A rewriter of a token range of another (call arguments).
  Rewriter(const Rewriter& outer, size_t b, size_t e) : s_(outer.s_), toks_(outer.toks_), samplers_(outer.samplers_) {
    last_ = b > 0 ? b - 1 : SIZE_MAX;
    Body(b, e);
  }

  std::string_view s_;
  std::vector<Tok> toks_;
  const std::map<std::string, int>& samplers_;
  std::string out_;
  size_t last_ = SIZE_MAX;
};

}  // namespace

bool RewriteEffectSource(std::string_view source, const std::map<std::string, int>& samplerStages, std::string* out,
                         std::string* error) {
  if (source.find('\0') != std::string_view::npos) {
    *error = "the source holds a null character";
    return false;
  }
  Rewriter r(source, samplerStages);
  // Parameters are written row by row, as D3DX hands matrices over.
  *out = "#pragma pack_matrix(row_major)\n" + r.Run();
  return true;
}

namespace {

std::vector<std::string> SplitTopLevel(std::string_view s, const std::vector<Tok>& toks, size_t b, size_t e) {
  std::vector<std::string> out;
  std::string cur;
  int depth = 0;
  for (size_t i = b; i < e; ++i) {
    std::string_view t = s.substr(toks[i].begin, toks[i].end - toks[i].begin);
    if (t == "(" || t == "[" || t == "{") ++depth;
    if ((t == ")" || t == "]" || t == "}") && depth > 0) --depth;
    if (depth == 0 && t == ",") {
      out.push_back(cur);
      cur.clear();
      continue;
    }
    if (!cur.empty()) cur += ' ';
    cur += t;
  }
  if (!cur.empty() || !out.empty()) out.push_back(cur);
  return out;
}

}  // namespace

bool AddEntryPoint(std::string* source, const std::string& function, const std::string& arguments, std::string* entry,
                   std::string* error) {
  std::string args = arguments;
  args.erase(std::remove_if(args.begin(), args.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
             args.end());
  const std::string_view s = *source;
  const std::vector<Tok> toks = Tokenise(s);
  auto text = [&](size_t i) { return s.substr(toks[i].begin, toks[i].end - toks[i].begin); };
  // The definition at the outermost level: NAME ( params ) [: SEM] {.
  int depth = 0;
  size_t statement = 0;
  for (size_t i = 0; i < toks.size(); ++i) {
    std::string_view t = text(i);
    if (t == "{" || t == "(" || t == "[") ++depth;
    if ((t == "}" || t == ")" || t == "]") && depth > 0) {
      --depth;
      if (depth == 0 && t == "}") statement = i + 1;
      continue;
    }
    if (depth == 0 && t == ";") statement = i + 1;
    if (toks[i].kind == Tok::Directive) statement = i + 1;
    if (depth != 0 || t != function || i == statement || i + 1 >= toks.size() || text(i + 1) != "(") continue;
    size_t close = i + 1;
    for (int d = 0; close < toks.size(); ++close) {
      if (text(close) == "(") ++d;
      if (text(close) == ")" && --d == 0) break;
    }
    size_t body = close;
    while (body < toks.size() && text(body) != "{" && text(body) != ";") ++body;
    if (close >= toks.size() || body >= toks.size() || text(body) != "{") continue;
    if (args.empty()) {
      *entry = function;
      return true;
    }
    std::string returnType;
    for (size_t k = statement; k < i; ++k) {
      if (text(k) == "inline" || text(k) == "static") continue;
      returnType += std::string(text(k)) + " ";
    }
    std::string semantic;
    for (size_t k = close + 1; k < body; ++k) semantic += std::string(text(k)) + " ";
    std::vector<std::string> params = SplitTopLevel(s, toks, i + 2, close);
    std::vector<std::string> values;
    {
      const std::vector<Tok> argToks = Tokenise(arguments);
      values = SplitTopLevel(arguments, argToks, 0, argToks.size());
    }
    std::string wrapperParams, callArgs;
    size_t bound = 0;
    for (const std::string& p : params) {
      const std::vector<Tok> pt = Tokenise(p);
      if (pt.empty()) continue;
      auto ptext = [&](size_t k) { return std::string_view(p).substr(pt[k].begin, pt[k].end - pt[k].begin); };
      // The parameter's name: the last identifier before a semantic or default.
      std::string name;
      size_t cut = pt.size();
      for (size_t k = 0; k < pt.size(); ++k) {
        if (ptext(k) == ":" || ptext(k) == "=") {
          if (ptext(k) == "=") cut = k;
          break;
        }
        if (pt[k].kind == Tok::Identifier) name = std::string(ptext(k));
      }
      if (!callArgs.empty()) callArgs += ", ";
      if (ptext(0) == "uniform") {
        if (bound >= values.size()) {
          *error = "compile call of " + function + " binds fewer arguments than it has uniform parameters";
          return false;
        }
        callArgs += "(" + values[bound++] + ")";
        continue;
      }
      if (!wrapperParams.empty()) wrapperParams += ", ";
      wrapperParams += p.substr(0, cut < pt.size() ? pt[cut].begin : p.size());
      callArgs += name;
    }
    if (bound != values.size()) {
      *error = "compile call of " + function + " gives more arguments than it has uniform parameters";
      return false;
    }
    *entry = "tarvel_entry";
    const bool isVoid = returnType.rfind("void", 0) == 0;
    *source += "\n" + returnType + *entry + "(" + wrapperParams + ") " + semantic + "{ " + (isVoid ? "" : "return ") +
               function + "(" + callArgs + "); }\n";
    return true;
  }
  *error = "no function " + function + " for its compile call";
  return false;
}

namespace {

// "COLOR" is "COLOR0"; semantics are upper case.
std::string NormalSemantic(const char* semantic) {
  std::string s = semantic ? semantic : "";
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!s.empty() && !std::isdigit(static_cast<unsigned char>(s.back()))) s += '0';
  return s;
}

bool AttributeOf(const std::string& semantic, int* location) {
  static const std::pair<const char*, BYTE> usages[] = {
      {"POSITION", D3DDECLUSAGE_POSITION}, {"POSITIONT", D3DDECLUSAGE_POSITIONT},
      {"BLENDWEIGHT", D3DDECLUSAGE_BLENDWEIGHT}, {"BLENDINDICES", D3DDECLUSAGE_BLENDINDICES},
      {"NORMAL", D3DDECLUSAGE_NORMAL}, {"COLOR", D3DDECLUSAGE_COLOR},
      {"TANGENT", D3DDECLUSAGE_TANGENT}, {"BINORMAL", D3DDECLUSAGE_BINORMAL},
      {"TEXCOORD", D3DDECLUSAGE_TEXCOORD}};
  size_t digits = semantic.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(semantic[digits - 1]))) --digits;
  const std::string base = semantic.substr(0, digits);
  const int index = digits < semantic.size() && semantic.size() - digits < 3 ? std::stoi(semantic.substr(digits)) : 0;
  for (const auto& [name, usage] : usages) {
    if (base == name) {
      *location = platform::d3d9::gl::AttributeLocation(usage, static_cast<BYTE>(index));
      return *location >= 0;
    }
  }
  return false;
}

std::mutex g_compileMutex;  // glslang's process state

// Renames every whole-word use of `from` after `start`.
void ReplaceIdentifier(std::string* glsl, const std::string& from, const std::string& to, size_t start) {
  auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = glsl->find(from, start); at != std::string::npos; at = glsl->find(from, at)) {
    const size_t end = at + from.size();
    if ((at > 0 && word((*glsl)[at - 1])) || (end < glsl->size() && word((*glsl)[end]))) {
      at = end;
      continue;
    }
    glsl->replace(at, from.size(), to);
    at += to.size();
  }
}

// Replaces SPIRV-Cross's main with one that runs it and then does what
// Direct3D does after the shader.
void WrapMain(std::string* glsl, const std::string& epilogue) {
  const std::string from = "\nvoid main()\n";
  size_t at = glsl->find(from);
  if (at == std::string::npos) return;
  glsl->replace(at, from.size(), "\nvoid tarvel_main()\n");
  *glsl += epilogue;
}

}  // namespace

bool CompileStage(const std::string& hlsl, const std::string& entry, bool pixel,
                  const std::map<std::string, int>& samplerStages, CompiledStage* out, std::string* error) {
  std::vector<unsigned> spirv;
  {
    std::lock_guard<std::mutex> lock(g_compileMutex);
    static const bool initialised = glslang::InitializeProcess();
    (void)initialised;
    const EShLanguage stage = pixel ? EShLangFragment : EShLangVertex;
    glslang::TShader shader(stage);
    const char* text = hlsl.c_str();
    const int length = static_cast<int>(hlsl.size());
    shader.setStringsWithLengths(&text, &length, 1);
    shader.setEntryPoint(entry.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setAutoMapLocations(true);
    shader.setAutoMapBindings(true);
    const auto messages = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgSpvRules | EShMsgHlslLegalization);
    if (!shader.parse(GetDefaultResources(), 100, false, messages)) {
      *error = shader.getInfoLog();
      return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages)) {
      *error = program.getInfoLog();
      return false;
    }
    glslang::SpvOptions options;
    options.disableOptimizer = false;
    glslang::GlslangToSpv(*program.getIntermediate(stage), spirv, &options);
  }
  if (spirv.empty()) {
    *error = "no SPIR-V";
    return false;
  }

  spvc_context context = nullptr;
  if (spvc_context_create(&context) != SPVC_SUCCESS) return false;
  struct Release {
    spvc_context c;
    ~Release() { spvc_context_destroy(c); }
  } release{context};
  spvc_parsed_ir ir = nullptr;
  spvc_compiler compiler = nullptr;
  if (spvc_context_parse_spirv(context, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
      spvc_context_create_compiler(context, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &compiler) !=
          SPVC_SUCCESS) {
    *error = spvc_context_get_last_error_string(context);
    return false;
  }
  spvc_compiler_build_combined_image_samplers(compiler);
  spvc_resources resources = nullptr;
  spvc_compiler_create_shader_resources(compiler, &resources);
  const spvc_reflected_resource* list = nullptr;
  size_t count = 0;

  // Stage inputs and outputs by semantic.
  bool hasColour = false;
  spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_STAGE_INPUT, &list, &count);
  for (size_t i = 0; i < count; ++i) {
    std::string semantic =
        NormalSemantic(spvc_compiler_get_decoration_string(compiler, list[i].id, SpvDecorationUserSemantic));
    if (!pixel) {
      int location = -1;
      if (!AttributeOf(semantic, &location)) {
        *error = "vertex input " + semantic + " has no attribute";
        return false;
      }
      spvc_compiler_set_decoration(compiler, list[i].id, SpvDecorationLocation, static_cast<unsigned>(location));
      spvc_compiler_set_name(compiler, list[i].id, ("tarvel_in_" + semantic).c_str());
    } else {
      spvc_compiler_unset_decoration(compiler, list[i].id, SpvDecorationLocation);
      spvc_compiler_set_name(compiler, list[i].id, ("tarvel_" + semantic).c_str());
      spvc_type type = spvc_compiler_get_type_handle(compiler, list[i].type_id);
      out->inputs.push_back({"tarvel_" + semantic, spvc_type_get_vector_size(type)});
    }
  }
  spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list, &count);
  for (size_t i = 0; i < count; ++i) {
    std::string semantic =
        NormalSemantic(spvc_compiler_get_decoration_string(compiler, list[i].id, SpvDecorationUserSemantic));
    if (!pixel) {
      spvc_compiler_unset_decoration(compiler, list[i].id, SpvDecorationLocation);
      if (semantic == "POSITION0" || semantic == "SV_POSITION0") semantic = "POSITION";
      spvc_compiler_set_name(compiler, list[i].id, ("tarvel_" + semantic).c_str());
    } else {
      int target = 0;
      if (semantic.rfind("COLOR", 0) == 0 || semantic.rfind("SV_TARGET", 0) == 0) {
        target = semantic.back() - '0';
      } else {
        *error = "pixel output " + semantic + " is not a colour";
        return false;
      }
      spvc_compiler_set_decoration(compiler, list[i].id, SpvDecorationLocation, static_cast<unsigned>(target));
      spvc_compiler_set_name(compiler, list[i].id, target == 0 ? "tarvel_colour" : ("tarvel_colour" + std::to_string(target)).c_str());
      hasColour |= target == 0;
    }
  }

  // Parameters: one block, its layout read back.
  spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) {
      *error = "more than one constant buffer";
      return false;
    }
    spvc_compiler_set_name(compiler, list[i].base_type_id, pixel ? "TarvelPS" : "TarvelVS");
    spvc_type type = spvc_compiler_get_type_handle(compiler, list[i].base_type_id);
    size_t bytes = 0;
    spvc_compiler_get_declared_struct_size(compiler, type, &bytes);
    out->constantBytes = static_cast<uint32_t>(bytes);
    const unsigned members = spvc_type_get_num_member_types(type);
    for (unsigned m = 0; m < members; ++m) {
      ConstantSlot slot;
      const char* name = spvc_compiler_get_member_name(compiler, list[i].base_type_id, m);
      slot.name = name ? name : "";
      unsigned v = 0;
      spvc_compiler_type_struct_member_offset(compiler, type, m, &v);
      slot.offset = v;
      v = 0;
      spvc_compiler_type_struct_member_array_stride(compiler, type, m, &v);
      slot.arrayStride = v;
      v = 0;
      spvc_compiler_type_struct_member_matrix_stride(compiler, type, m, &v);
      slot.matrixStride = v;
      // glslang turns HLSL rows into SPIR-V columns.
      slot.columnsContiguous =
          spvc_compiler_has_member_decoration(compiler, list[i].base_type_id, m, SpvDecorationRowMajor);
      out->constants.push_back(slot);
    }
  }

  // Samplers take the name of their stage.
  const spvc_combined_image_sampler* combined = nullptr;
  size_t combinedCount = 0;
  spvc_compiler_get_combined_image_samplers(compiler, &combined, &combinedCount);
  for (size_t i = 0; i < combinedCount; ++i) {
    std::string image = spvc_compiler_get_name(compiler, combined[i].image_id);
    if (image.size() > 3 && image.compare(image.size() - 3, 3, "__t") == 0) image.resize(image.size() - 3);
    auto it = samplerStages.find(image);
    if (it == samplerStages.end()) {
      *error = "texture " + image + " is no sampler of the effect";
      return false;
    }
    spvc_compiler_set_name(compiler, combined[i].combined_id, ("tarvel_s" + std::to_string(it->second)).c_str());
  }

  spvc_compiler_options options = nullptr;
  spvc_compiler_create_compiler_options(compiler, &options);
  spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
  spvc_compiler_install_compiler_options(compiler, options);
  const char* glsl = nullptr;
  if (spvc_compiler_compile(compiler, &glsl) != SPVC_SUCCESS || !glsl) {
    *error = spvc_context_get_last_error_string(context);
    return false;
  }
  out->glsl = glsl;
  out->glslWithoutAlphaTest = glsl;
  if (!pixel) {
    if (out->glsl.find("tarvel_POSITION;") == std::string::npos) {
      *error = "the vertex shader writes no position";
      return false;
    }
    // A point is as large as the shader's PSIZE within the device's caps,
    // else as the render state says.
    const std::string pointSize =
        out->glsl.find("out float tarvel_PSIZE0;") != std::string::npos
            ? "    gl_PointSize = clamp(tarvel_PSIZE0, 1.0, " + std::to_string(platform::d3d9::gl::kMaxPointSize) + ");\n"
            : "    gl_PointSize = tarvel_point.y;\n";
    // Clip space flipped for rows kept top first, and Direct3D's pixel
    // centres half a pixel right and down of GL's.
    WrapMain(&out->glsl,
             "uniform vec4 tarvel_viewport;\nuniform vec2 tarvel_point;\n"
             "void main()\n{\n    tarvel_main();\n" + pointSize + "    vec4 p = tarvel_POSITION;\n"
             "    gl_Position = vec4(p.x + p.w / tarvel_viewport.z, -p.y + p.w / tarvel_viewport.w, p.z, p.w);\n}\n");
  } else if (hasColour) {
    // Point sprites replace every texture coordinate with the place in
    // the sprite: the shader reads a copy that the wrapper fills.
    std::string sprite;
    for (const Varying& v : out->inputs) {
      if (v.name.rfind("tarvel_TEXCOORD", 0) != 0) continue;
      const std::string copy = "tarvel_sprite_" + v.name.substr(7);
      static const char* types[] = {"float", "float", "vec2", "vec3", "vec4"};
      static const char* coords[] = {"gl_PointCoord.x", "gl_PointCoord.x", "gl_PointCoord",
                                     "vec3(gl_PointCoord, 0.0)", "vec4(gl_PointCoord, 0.0, 1.0)"};
      const uint32_t n = std::min<uint32_t>(std::max<uint32_t>(v.components, 1), 4);
      const std::string declaration = std::string("in ") + types[n] + " " + v.name + ";";
      const size_t at = out->glsl.find(declaration);
      if (at == std::string::npos) continue;
      ReplaceIdentifier(&out->glsl, v.name, copy, at + declaration.size());
      out->glsl.insert(at + declaration.size(), std::string("\n") + types[n] + " " + copy + ";");
      sprite += "    " + copy + " = tarvel_point.x != 0.0 ? " + coords[n] + " : " + v.name + ";\n";
    }
    WrapMain(&out->glsl,
             "uniform vec2 tarvel_alpha;\nuniform vec2 tarvel_point;\n"
             "void main()\n{\n" + sprite + "    tarvel_main();\n    int f = int(tarvel_alpha.x);\n"
             "    float a = floor(clamp(tarvel_colour.a, 0.0, 1.0) * 255.0 + 0.5), r = tarvel_alpha.y;\n"
             "    bool pass = f == 8 || (f == 2 && a < r) || (f == 3 && a == r) || (f == 4 && a <= r) ||\n"
             "        (f == 5 && a > r) || (f == 6 && a != r) || (f == 7 && a >= r);\n"
             "    if (!pass) discard;\n}\n");
  }
  return true;
}

std::string PretransformedVertexStage(const CompiledStage& pixel) {
  std::string s =
      "#version 330\n"
      "layout(location = 0) in vec4 a_position;\n"
      "layout(location = 4) in vec4 a_colour0;\n"
      "layout(location = 5) in vec4 a_colour1;\n";
  for (int i = 0; i < 8; ++i) {
    s += "layout(location = " + std::to_string(8 + i) + ") in vec4 a_texcoord" + std::to_string(i) + ";\n";
  }
  s += "uniform vec4 tarvel_viewport;\nuniform vec2 tarvel_point;\n";
  std::string body;
  for (const Varying& v : pixel.inputs) {
    const char* types[] = {"float", "float", "vec2", "vec3", "vec4"};
    const uint32_t n = std::min<uint32_t>(std::max<uint32_t>(v.components, 1), 4);
    std::string source = "vec4(0.0)";
    if (v.name == "tarvel_COLOR0") source = "a_colour0";
    if (v.name == "tarvel_COLOR1") source = "a_colour1";
    if (v.name.rfind("tarvel_TEXCOORD", 0) == 0 && v.name.size() == 16 && v.name[15] >= '0' && v.name[15] <= '7') {
      source = std::string("a_texcoord") + v.name[15];
    }
    static const char* swizzles[] = {".x", ".x", ".xy", ".xyz", ""};
    s += std::string("out ") + types[n] + " " + v.name + ";\n";
    body += "    " + v.name + " = " + source + swizzles[n] + ";\n";
  }
  s += "void main()\n{\n"
       "    float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;\n"
       "    vec2 ndc = (a_position.xy + 0.5 - tarvel_viewport.xy) * 2.0 / tarvel_viewport.zw - 1.0;\n"
       "    gl_Position = vec4(ndc * w, a_position.z * w, w);\n"
       "    gl_PointSize = tarvel_point.y;\n" +
       body + "}\n";
  return s;
}

}  // namespace platform::d3dx9
