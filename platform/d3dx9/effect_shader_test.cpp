// The effect source as the shader compiler reads it, and entry points
// bound to the literal arguments of compile calls.
#include "platform/d3dx9/effect_shader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

using platform::d3dx9::AddEntryPoint;
using platform::d3dx9::RewriteEffectSource;

std::string Rewrite(const std::string& source) {
  std::string out, error;
  EXPECT_TRUE(RewriteEffectSource(source, {{"s", 0}, {"t", 1}}, &out, &error)) << error;
  // Compare without the leading pragma and with runs of whitespace as one
  // space (the source's gaps are kept).
  out = out.substr(out.find('\n') + 1);
  std::string squeezed;
  for (char c : out) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!squeezed.empty() && squeezed.back() != ' ') squeezed += ' ';
    } else {
      squeezed += c;
    }
  }
  while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
  return squeezed;
}

TEST(EffectShaderTest, RewritesEffectDeclarationsIntoPlainHlsl) {
  struct Case {
    const char* source;
    const char* expected;
  };
  const Case cases[] = {
      // Effect-only declarations go; parameters lose `shared`, semantics and annotations.
      {"texture tex < string n = \"a;b\"; >; string note = \"x\";", ""},
      {"shared float4x4 World : WORLD < int a = 1; >;", "float4x4 World ;"},
      {"float4 c[2] : register(c4);", "float4 c[2] : register(c4);"},
      {"static const float k = 2; float f = 1 ;", "static const float k = 2; float f = 1 ;"},
      // Samplers become a texture and a sampler state.
      {"sampler s = sampler_state { Texture = <tex>; MinFilter = Linear; };",
       "Texture2D<float4> s__t; SamplerState s__s;"},
      {"samplerCUBE t;", "TextureCube<float4> t__t; SamplerState t__s;"},
      // Calls on them become method calls, nested ones too.
      {"float4 P(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, tex2D(t, uv).xy); }",
       "float4 P(float2 uv : TEXCOORD0) : COLOR { return s__t.Sample(s__s, t__t.Sample(t__s, uv).xy); }"},
      {"float4 P(float4 c) { return tex2Dlod(s, c) + tex2Dproj(s, c) + tex2Dbias(s, c); }",
       "float4 P(float4 c) { return s__t.SampleLevel(s__s, (c).xy, (c).w) + s__t.Sample(s__s, (c).xy / (c).w) + "
       "s__t.SampleBias(s__s, (c).xy, (c).w); }"},
      // A sampler the effect does not declare is left for the compiler to refuse.
      {"float4 P(float2 uv) { return tex2D(other, uv); }", "float4 P(float2 uv) { return tex2D(other, uv); }"},
      // Techniques go, annotations and all.
      {"technique a < string g = \"}\"; > { pass p { VertexShader = compile vs_2_0 V(); } } float x;", "float x;"},
      {"struct V { float4 p : POSITION; }; int i++ ;", "struct V { float4 p : POSITION; }; int i++ ;"},
  };
  for (const Case& c : cases) EXPECT_EQ(Rewrite(c.source), c.expected) << c.source;
}

TEST(EffectShaderTest, EntryPointsBindUniformArguments) {
  std::string source = "float4 VS(float4 p : POSITION, uniform int n, float2 uv : TEXCOORD0, uniform bool b = true)"
                       " : POSITION { return p * n; }\nvoid Nothing() {}\n";
  std::string entry, error;
  std::string bound = source;
  ASSERT_TRUE(AddEntryPoint(&bound, "VS", "2, false", &entry, &error)) << error;
  EXPECT_EQ(entry, "tarvel_entry");
  EXPECT_NE(bound.find("float4 tarvel_entry(float4 p : POSITION, float2 uv : TEXCOORD0) : POSITION "
                       "{ return VS(p, (2), uv, (false)); }"),
            std::string::npos)
      << bound;
  std::string plain = source;
  ASSERT_TRUE(AddEntryPoint(&plain, "Nothing", "", &entry, &error));
  EXPECT_EQ(entry, "Nothing");
  EXPECT_EQ(plain, source);
  // Calls that do not fit their function fail with a message.
  for (const auto& [function, args] : {std::pair<const char*, const char*>{"VS", "1"}, {"VS", "1, 2, 3"},
                                       {"Missing", ""}, {"n", "1"}}) {
    std::string copy = source;
    error.clear();
    EXPECT_FALSE(AddEntryPoint(&copy, function, args, &entry, &error)) << function << "(" << args << ")";
    EXPECT_FALSE(error.empty());
  }
}

// Text cut anywhere, or of stray characters, is rewritten without reading
// past its end.
TEST(EffectShaderTest, CutSourcesRewriteSafely) {
  const std::string source =
      "sampler s = sampler_state { Texture = <t>; }; float4 P(float2 uv : TEXCOORD0) : COLOR "
      "{ return tex2Dlod(s, float4(uv, 0, 1)) * tex2D(s, uv); } technique a < int x = 1; > { pass { } }";
  for (size_t n = 0; n <= source.size(); ++n) {
    std::string out, error, entry;
    RewriteEffectSource(source.substr(0, n), {{"s", 0}}, &out, &error);
    AddEntryPoint(&out, "P", "1", &entry, &error);
  }
  std::string out, error;
  EXPECT_FALSE(RewriteEffectSource(std::string("float a;\0", 9), {}, &out, &error));
  EXPECT_TRUE(RewriteEffectSource("@@ \x01 \"open <<<< {{{{ ((((", {}, &out, &error));
}

}  // namespace
