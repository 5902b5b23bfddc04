// Effects read at the declaration level: parameters, the shared pool,
// techniques and their validity, the running protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "platform/d3d9/testing.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/testing.h"
#include "platform/win32/test_support.h"

namespace pt = platform::testing;

namespace {

// Declarations as effect files write them; bodies the reader skips.
constexpr char kImageEffect[] = R"(
// Screen images.
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 View;
texture tex < string ResourceName = "start"; int Levels = 1; >;
bool depth = true;
bool blend;
int alphaop = 2;
float intens[2] = { 0.5, -1.5e1 };
float4 tint = float4(1, 0.5f, 0.25, 0);
static float hidden = 3;
string note = "plain";

sampler2D texSampler = sampler_state {
  Texture = <tex>;
  MinFilter = Linear;
  MagFilter = Point;
  AddressU = Clamp;
};

struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };

VS_OUT vs_main(float4 pos : POSITION, float2 uv : TEXCOORD0) {
  VS_OUT o; o.pos = mul(pos, WorldViewProj); o.uv = uv;
  if (depth) { o.pos.z = 0; }  /* braces inside bodies */
  return o;
}

float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(texSampler, uv) * tint; }

technique image_basic < string Group = "images"; > {
  pass p0 {
    VertexShader = compile vs_2_0 vs_main();
    PixelShader = compile ps_2_0 ps_main();
    ZEnable = (depth);
    AlphaBlendEnable = false;
    CullMode = None;
  }
}

technique image_blended_hq {
  pass p0 { PixelShader = compile ps_3_0 ps_main(); AlphaBlendEnable = true; SrcBlend = SrcAlpha; }
  pass p1 { VertexShader = compile vs_3_0 vs_main(); ColorWriteEnable = Red | Green | Blue; }
}

technique image_blended {
  pass { PixelShader = compile ps_2_0 ps_main(); AlphaBlendEnable = true; }
}
)";

constexpr char kOtherEffect[] = R"(
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 View;
float strength = 1.0;
technique cast_mobile { pass p0 { VertexShader = compile vs_1_1 main(); } }
)";

class EffectTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetD3D9();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device_), D3D_OK);
    ASSERT_EQ(D3DXCreateEffectPool(&pool_), D3D_OK);
  }
  void TearDown() override {
    if (pool_) pool_->Release();
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u);
    }
    d3d_->Release();
    EXPECT_EQ(pt::LiveD3DX9Objects(), 0);
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    pt::ResetD3D9();
    PlatformTest::TearDown();
  }
  ID3DXEffect* Create(const char* source, ID3DXEffectPool* pool) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT hr = D3DXCreateEffect(device_, source, static_cast<UINT>(std::strlen(source)), nullptr, nullptr, 0, pool,
                                  &effect, &errors);
    EXPECT_EQ(hr, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    return effect;
  }

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  ID3DXEffectPool* pool_ = nullptr;
};

TEST_F(EffectTest, DeclarationsBecomeParametersWithTypesValuesAndAnnotations) {
  ID3DXEffect* fx = Create(kImageEffect, pool_);
  ASSERT_NE(fx, nullptr);
  D3DXEFFECT_DESC desc;
  fx->GetDesc(&desc);
  EXPECT_EQ(desc.Parameters, 10u) << "static globals are not parameters";
  EXPECT_EQ(desc.Techniques, 3u);

  struct Case {
    const char* name;
    D3DXPARAMETER_CLASS klass;
    D3DXPARAMETER_TYPE type;
    UINT rows, columns, elements;
    DWORD flags;
  } cases[] = {
      {"WorldViewProj", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4, 0, D3DX_PARAMETER_SHARED},
      {"tex", D3DXPC_OBJECT, D3DXPT_TEXTURE, 1, 1, 0, 0},
      {"depth", D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 0, 0},
      {"alphaop", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 0},
      {"intens", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 2, 0},
      {"tint", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 0},
      {"texSampler", D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    D3DXHANDLE h = fx->GetParameterByName(nullptr, c.name);
    ASSERT_NE(h, nullptr) << c.name;
    D3DXPARAMETER_DESC pd;
    ASSERT_EQ(fx->GetParameterDesc(h, &pd), D3D_OK);
    EXPECT_STREQ(pd.Name, c.name);
    EXPECT_EQ(pd.Class, c.klass) << c.name;
    EXPECT_EQ(pd.Type, c.type) << c.name;
    EXPECT_EQ(pd.Rows * 100 + pd.Columns * 10 + pd.Elements, c.rows * 100 + c.columns * 10 + c.elements) << c.name;
    EXPECT_EQ(pd.Flags, c.flags) << c.name;
  }
  EXPECT_EQ(fx->GetParameterByName(nullptr, "hidden"), nullptr);
  EXPECT_STREQ(fx->GetParameterBySemantic(nullptr, "worldviewprojection"), "WorldViewProj");

  // Initial values, read as a test reads them.
  EXPECT_EQ(pt::EffectFloats(fx, "depth"), std::vector<float>({1}));
  EXPECT_EQ(pt::EffectFloats(fx, "blend"), std::vector<float>({0}));
  EXPECT_EQ(pt::EffectFloats(fx, "alphaop"), std::vector<float>({2}));
  EXPECT_EQ(pt::EffectFloats(fx, "intens"), std::vector<float>({0.5f, -15.0f}));
  EXPECT_EQ(pt::EffectFloats(fx, "tint"), std::vector<float>({1, 0.5f, 0.25f, 0}));
  EXPECT_FALSE(pt::EffectFloats(fx, "tex").has_value());
  const char* note = nullptr;
  ASSERT_EQ(fx->GetString("note", &note), D3D_OK);
  EXPECT_STREQ(note, "plain");

  // Annotations of a parameter and of a technique.
  D3DXHANDLE resource = fx->GetAnnotationByName("tex", "ResourceName");
  ASSERT_NE(resource, nullptr);
  ASSERT_EQ(fx->GetString(resource, &note), D3D_OK);
  EXPECT_STREQ(note, "start");
  INT levels = 0;
  ASSERT_EQ(fx->GetInt(fx->GetAnnotation("tex", 1), &levels), D3D_OK);
  EXPECT_EQ(levels, 1);
  D3DXTECHNIQUE_DESC td;
  ASSERT_EQ(fx->GetTechniqueDesc("image_basic", &td), D3D_OK);
  EXPECT_STREQ(td.Name, "image_basic");
  EXPECT_EQ(td.Passes, 1u);
  EXPECT_EQ(td.Annotations, 1u);
  fx->Release();
}

TEST_F(EffectTest, SettersConvertAndKeepTheirTypes) {
  ID3DXEffect* fx = Create(kImageEffect, pool_);
  ASSERT_NE(fx, nullptr);
  EXPECT_EQ(fx->SetInt("blend", 5), D3D_OK);
  BOOL b = FALSE;
  fx->GetBool("blend", &b);
  EXPECT_EQ(b, TRUE);
  EXPECT_EQ(fx->SetFloat("alphaop", 2.75f), D3D_OK);
  INT n = 0;
  fx->GetInt("alphaop", &n);
  EXPECT_EQ(n, 2) << "truncated";
  const float values[3] = {9, 8, 7};
  EXPECT_EQ(fx->SetFloatArray("intens", values, 3), D3D_OK);
  EXPECT_EQ(pt::EffectFloats(fx, "intens"), std::vector<float>({9, 8})) << "no more than the parameter holds";
  D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), back;
  EXPECT_EQ(fx->SetMatrix("View", &m), D3D_OK);
  ASSERT_EQ(fx->GetMatrix("View", &back), D3D_OK);
  EXPECT_EQ(back, m);
  EXPECT_EQ(fx->SetFloat("nothing", 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(fx->SetFloat("tex", 1), D3DERR_INVALIDCALL);

  // A texture parameter holds its texture.
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(fx->SetTexture("tex", texture), D3D_OK);
  EXPECT_EQ(texture->Release(), 1u);
  EXPECT_EQ(pt::EffectTexture(fx, "tex"), static_cast<IDirect3DBaseTexture9*>(texture));
  EXPECT_EQ(fx->SetTexture("tex", nullptr), D3D_OK);
  EXPECT_EQ(pt::EffectTexture(fx, "tex"), static_cast<IDirect3DBaseTexture9*>(nullptr));
  fx->Release();
}

TEST_F(EffectTest, FloatsOutOfRangeOfAnIntAreHeldAtItsLimits) {
  ID3DXEffect* fx = Create(
      "int big = 3e9;\nint small = -3e9;\nfloat wide = 5e9;\n"
      "texture tex < int levels = 3e9; int depth = -4e9; >;\n",
      pool_);
  ASSERT_NE(fx, nullptr);
  const INT kMax = std::numeric_limits<INT>::max();
  const INT kMin = std::numeric_limits<INT>::min();
  auto get = [&](D3DXHANDLE h) {
    INT n = 12345;
    EXPECT_EQ(fx->GetInt(h, &n), D3D_OK);
    return n;
  };
  EXPECT_EQ(get("big"), kMax);
  EXPECT_EQ(get("small"), kMin);
  EXPECT_EQ(get("wide"), kMax) << "a float read as an int";
  EXPECT_EQ(get(fx->GetAnnotationByName("tex", "levels")), kMax);
  EXPECT_EQ(get(fx->GetAnnotationByName("tex", "depth")), kMin);

  const struct {
    float value;
    INT expected;
  } sets[] = {{-1e10f, kMin}, {2147483648.0f, kMax}, {-2147483648.0f, kMin}, {2147483520.0f, 2147483520},
              {-7.9f, -7}, {std::numeric_limits<float>::quiet_NaN(), 0},
              {std::numeric_limits<float>::infinity(), kMax}};
  for (const auto& c : sets) {
    EXPECT_EQ(fx->SetFloat("big", c.value), D3D_OK);
    EXPECT_EQ(get("big"), c.expected) << c.value;
  }
  EXPECT_EQ(fx->SetInt("big", kMax), D3D_OK);
  EXPECT_EQ(get("big"), kMax) << "through the float it passes as";
  fx->Release();
}

TEST_F(EffectTest, SharedParametersHoldOneValueAcrossThePool) {
  ID3DXEffect* a = Create(kImageEffect, pool_);
  ID3DXEffect* b = Create(kOtherEffect, pool_);
  ID3DXEffect* alone = Create(kOtherEffect, nullptr);
  ASSERT_TRUE(a && b && alone);
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 1, 2, 3);
  ASSERT_EQ(b->SetMatrix("WorldViewProj", &m), D3D_OK);
  D3DXMATRIX got;
  a->GetMatrix("WorldViewProj", &got);
  EXPECT_EQ(got, m);
  alone->GetMatrix("WorldViewProj", &got);
  EXPECT_EQ(got._41, 0.0f) << "an effect outside the pool has its own";
  D3DXPARAMETER_DESC pd;
  alone->GetParameterDesc("WorldViewProj", &pd);
  EXPECT_EQ(pd.Flags, 0u);

  // The same shared name with another type cannot join the pool.
  const char clash[] = "shared float View; technique t { pass p { } }";
  ID3DXEffect* bad = nullptr;
  ID3DXBuffer* errors = nullptr;
  EXPECT_EQ(D3DXCreateEffect(device_, clash, sizeof clash - 1, nullptr, nullptr, 0, pool_, &bad, &errors), E_FAIL);
  EXPECT_EQ(bad, nullptr);
  ASSERT_NE(errors, nullptr);
  EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find("View"), std::string::npos);
  errors->Release();
  a->Release();
  b->Release();
  alone->Release();
}

TEST_F(EffectTest, TechniquesAreValidWhenTheProfileCoversTheirTargets) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.vertexShaderVersion = D3DVS_VERSION(2, 0);
  p.pixelShaderVersion = D3DPS_VERSION(2, 0);
  pt::SetAdapterProfile(p);
  ID3DXEffect* fx = Create(kImageEffect, pool_);
  ASSERT_NE(fx, nullptr);
  std::vector<std::string> valid;
  D3DXHANDLE h = nullptr;
  while (SUCCEEDED(fx->FindNextValidTechnique(h, &h)) && h) {
    D3DXTECHNIQUE_DESC td;
    fx->GetTechniqueDesc(h, &td);
    valid.push_back(td.Name);
  }
  EXPECT_EQ(valid, std::vector<std::string>({"image_basic", "image_blended"}));
  EXPECT_EQ(fx->ValidateTechnique("image_blended_hq"), D3DERR_NOTAVAILABLE);

  pt::SetAdapterProfile(pt::DefaultAdapterProfile());
  EXPECT_EQ(fx->ValidateTechnique("image_blended_hq"), D3D_OK);
  ASSERT_EQ(fx->FindNextValidTechnique("image_basic", &h), D3D_OK);
  EXPECT_STREQ(h, "image_blended_hq");
  ASSERT_EQ(fx->FindNextValidTechnique("image_blended", &h), S_FALSE);
  EXPECT_EQ(h, nullptr);
  fx->Release();
}

TEST_F(EffectTest, PassesApplyTheirStatesAndSamplersAndMarkTheDraws) {
  ID3DXEffect* fx = Create(kImageEffect, pool_);
  ASSERT_NE(fx, nullptr);
  IDirect3DTexture9* texture = nullptr;
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateVertexBuffer(112, 0, 0x144, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  fx->SetTexture("tex", texture);
  fx->SetBool("depth", FALSE);
  device_->SetRenderState(D3DRS_ZENABLE, TRUE);
  pt::RecordDraws(true);

  UINT passes = 0;
  EXPECT_EQ(fx->BeginPass(0), D3DERR_INVALIDCALL) << "before Begin";
  ASSERT_EQ(fx->SetTechnique("image_blended_hq"), D3D_OK);
  ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
  EXPECT_EQ(passes, 2u);
  EXPECT_EQ(fx->Begin(&passes, 0), D3DERR_INVALIDCALL) << "nested";
  EXPECT_EQ(fx->SetTechnique("image_basic"), D3DERR_INVALIDCALL) << "while running";
  EXPECT_EQ(fx->End(), D3D_OK);

  ASSERT_EQ(fx->SetTechnique("image_basic"), D3D_OK);
  ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
  EXPECT_EQ(passes, 1u);
  EXPECT_EQ(fx->BeginPass(1), D3DERR_INVALIDCALL);
  ASSERT_EQ(fx->BeginPass(0), D3D_OK);
  EXPECT_EQ(fx->BeginPass(0), D3DERR_INVALIDCALL) << "inside a pass";
  DWORD z = 99, cull = 0, filter = 0;
  device_->GetRenderState(D3DRS_ZENABLE, &z);
  device_->GetRenderState(D3DRS_CULLMODE, &cull);
  device_->GetSamplerState(0, D3DSAMP_MINFILTER, &filter);
  EXPECT_EQ(z, 0u) << "ZEnable follows the depth parameter";
  EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
  EXPECT_EQ(filter, static_cast<DWORD>(D3DTEXF_LINEAR));
  IDirect3DBaseTexture9* bound = nullptr;
  device_->GetTexture(0, &bound);
  EXPECT_EQ(bound, texture);
  if (bound) bound->Release();

  fx->SetBool("depth", TRUE);
  ASSERT_EQ(fx->CommitChanges(), D3D_OK);
  device_->GetRenderState(D3DRS_ZENABLE, &z);
  EXPECT_EQ(z, 1u) << "committed";
  EXPECT_EQ(pt::EffectState(fx).commits, 1);
  EXPECT_EQ(pt::EffectState(fx).pass, 0);

  device_->SetFVF(0x144);
  device_->SetStreamSource(0, vb, 0, 28);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  ASSERT_EQ(fx->EndPass(), D3D_OK);
  EXPECT_EQ(fx->EndPass(), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  device_->EndScene();
  ASSERT_EQ(fx->End(), D3D_OK);
  EXPECT_EQ(fx->End(), D3DERR_INVALIDCALL);
  device_->GetRenderState(D3DRS_CULLMODE, &cull);
  EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW)) << "states saved by Begin come back at End";

  auto draws = pt::RecordedDraws();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].technique, "image_basic");
  EXPECT_EQ(draws[0].pass, 0);
  EXPECT_EQ(draws[0].textures[0], texture);
  EXPECT_EQ(draws[1].pass, -1);
  pt::RecordDraws(false);
  device_->SetStreamSource(0, nullptr, 0, 0);
  device_->SetTexture(0, nullptr);
  texture->Release();
  vb->Release();
  fx->Release();
}

TEST_F(EffectTest, LostEffectsCannotRunUntilReset) {
  ID3DXEffect* fx = Create(kOtherEffect, pool_);
  ASSERT_NE(fx, nullptr);
  UINT passes;
  ASSERT_EQ(fx->OnLostDevice(), D3D_OK);
  EXPECT_EQ(pt::EffectState(fx).lostCount, 1);
  EXPECT_EQ(fx->Begin(&passes, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(fx->OnResetDevice(), D3D_OK);
  EXPECT_EQ(fx->Begin(&passes, 0), D3D_OK);
  fx->End();
  fx->Release();
}

TEST_F(EffectTest, BadSourceGivesTheErrorsD3DXGives) {
  struct Case {
    const char* what;
    std::string source;
    HRESULT expected;
    const char* message;
  } cases[] = {
      {"unterminated technique", "technique t { pass p { ZEnable = true; }", E_FAIL, "(1): error"},
      {"missing semicolon", "float a = 1\nfloat b;", E_FAIL, "(2): error"},
      {"an include", "#include \"common.fxh\"\n", E_FAIL, "#include"},
      {"redefinition", "float a;\nfloat a;", E_FAIL, "redefinition"},
      {"stray character", "float a; @", E_FAIL, "unexpected"},
      {"compiled effect", std::string("\x01\x09\xFF\xFE", 4) + "....", D3DXERR_INVALIDDATA, nullptr},
  };
  for (const Case& c : cases) {
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCreateEffect(device_, c.source.data(), static_cast<UINT>(c.source.size()), nullptr, nullptr, 0,
                               pool_, &fx, &errors),
              c.expected)
        << c.what;
    EXPECT_EQ(fx, nullptr) << c.what;
    if (c.message) {
      ASSERT_NE(errors, nullptr) << c.what;
      EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find(c.message), std::string::npos)
          << c.what << ": " << static_cast<const char*>(errors->GetBufferPointer());
    }
    if (errors) errors->Release();
  }
  ID3DXEffect* fx = nullptr;
  EXPECT_EQ(D3DXCreateEffect(device_, nullptr, 4, nullptr, nullptr, 0, pool_, &fx, nullptr), D3DERR_INVALIDCALL);
  // Text ends at a NUL within the given length.
  const char withNul[] = "float a = 2;\0garbage @@@";
  fx = nullptr;
  ASSERT_EQ(D3DXCreateEffect(device_, withNul, sizeof withNul, nullptr, nullptr, 0, pool_, &fx, nullptr), D3D_OK);
  EXPECT_EQ(pt::EffectFloats(fx, "a"), std::vector<float>({2}));
  fx->Release();
}

}  // namespace
