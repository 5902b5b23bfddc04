// Effects compiled from their HLSL and drawn on OpenGL (llvmpipe,
// headless): the demo's effects all compile, a broken pass makes its
// technique invalid, and drawn frames match golden pictures.
//
// Golden pictures live in platform/d3d9/golden; TARVEL_UPDATE_GOLDEN=1
// writes them anew (look at them before committing). A frame matches when
// no channel is off by more than 2 and at most 0.1 % of pixels are off.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/golden_test_support.h"
#include "platform/d3d9/testing.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/testing.h"
#include "platform/win32/test_support.h"

namespace pt = platform::testing;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EffectDrawTest : public pt::PlatformTest {
 protected:
  static constexpr UINT kWidth = 64, kHeight = 48;
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetD3D9();
    pt::ExecuteDraws(true);
    pt::AdapterProfile p = pt::DefaultAdapterProfile();
    p.modes.push_back({kWidth, kHeight, 60, D3DFMT_X8R8G8B8});
    pt::SetAdapterProfile(p);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device_), D3D_OK);
    ASSERT_EQ(D3DXCreateEffectPool(&pool_), D3D_OK);
  }
  void TearDown() override {
    if (pool_) pool_->Release();
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u);
    }
    if (d3d_) d3d_->Release();
    EXPECT_EQ(pt::LiveD3DX9Objects(), 0);
    EXPECT_EQ(pt::LiveD3D9Objects(), 0);
    pt::ResetD3D9();
    PlatformTest::TearDown();
  }

  ID3DXEffect* Load(const std::string& source) {
    ID3DXEffect* effect = nullptr;
    EXPECT_EQ(D3DXCreateEffect(device_, source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, pool_,
                               &effect, nullptr),
              D3D_OK);
    return effect;
  }
  ID3DXEffect* LoadDemo(const char* name) {
    return Load(ReadFile(fs::path(TARVEL_SOURCE_DIR) / "demo" / "shaders" / name));
  }

  // A texture of the given A8R8G8B8 texels.
  IDirect3DTexture9* Texture(UINT w, UINT h, const std::vector<uint32_t>& texels) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < h; ++y) std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &texels[y * w], w * 4);
    t->UnlockRect(0);
    return t;
  }

  void Run(ID3DXEffect* effect, const char* technique, const std::function<void()>& draw) {
    ASSERT_EQ(effect->SetTechnique(technique), D3D_OK);
    ASSERT_EQ(effect->ValidateTechnique(technique), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    for (UINT p = 0; p < passes; ++p) {
      ASSERT_EQ(effect->BeginPass(p), D3D_OK);
      draw();
      effect->EndPass();
    }
    effect->End();
  }

  // The presented frame, RGBA bytes top row first.
  std::vector<BYTE> Frame() {
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    IDirect3DSurface9* copy = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    EXPECT_EQ(device_->GetFrontBufferData(0, copy), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(copy->LockRect(&lr, nullptr, 0), D3D_OK);
    std::vector<BYTE> rgba(kWidth * kHeight * 4);
    for (UINT y = 0; y < kHeight; ++y) {
      for (UINT x = 0; x < kWidth; ++x) {
        const BYTE* p = static_cast<BYTE*>(lr.pBits) + y * lr.Pitch + x * 4;
        BYTE* o = &rgba[(y * kWidth + x) * 4];
        o[0] = p[2];
        o[1] = p[1];
        o[2] = p[0];
        o[3] = p[3];
      }
    }
    copy->UnlockRect();
    copy->Release();
    return rgba;
  }

  void ExpectGolden(const std::vector<BYTE>& rgba, const std::string& name) {
    pt::ExpectMatchesGolden(rgba, kWidth, kHeight,
                            fs::path(TARVEL_SOURCE_DIR) / "platform" / "d3d9" / "golden" / (name + ".png"));
  }

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  ID3DXEffectPool* pool_ = nullptr;
};

TEST_F(EffectDrawTest, EveryDemoEffectCompiles) {
  int techniques = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(TARVEL_SOURCE_DIR) / "demo" / "shaders")) {
    SCOPED_TRACE(entry.path().filename().string());
    ID3DXEffect* effect = Load(ReadFile(entry.path()));
    ASSERT_NE(effect, nullptr);
    D3DXEFFECT_DESC desc;
    effect->GetDesc(&desc);
    for (UINT t = 0; t < desc.Techniques; ++t) {
      D3DXTECHNIQUE_DESC td;
      effect->GetTechniqueDesc(effect->GetTechnique(t), &td);
      EXPECT_EQ(effect->ValidateTechnique(effect->GetTechnique(t)), D3D_OK) << td.Name;
      ++techniques;
    }
    effect->Release();
  }
  EXPECT_GT(techniques, 20);
}

// Every mobile effect declares what the mobile sets on each of its meshes.
TEST_F(EffectDrawTest, MobileEffectsDeclareTheMobilesParameters) {
  struct Expected {
    std::string name;
    D3DXPARAMETER_TYPE type;
    UINT columns;
  };
  std::vector<Expected> expected = {{"cull", D3DXPT_INT, 1},       {"depth", D3DXPT_BOOL, 1},
                                    {"blend", D3DXPT_BOOL, 1},     {"tex", D3DXPT_TEXTURE, 0},
                                    {"normal", D3DXPT_TEXTURE, 0}, {"la", D3DXPT_FLOAT, 3},
                                    {"bi", D3DXPT_FLOAT, 1}};
  for (int i = 1; i <= 6; ++i) {
    const std::string n = std::to_string(i);
    expected.push_back({"lp" + n, D3DXPT_FLOAT, 3});
    expected.push_back({"li" + n, D3DXPT_FLOAT, 1});
    expected.push_back({"lc" + n, D3DXPT_FLOAT, 3});
  }
  for (const char* file : {"mobile_basic.fx", "mobile_normal.fx", "mobile_hair.fx", "mobile_hair_normal.fx"}) {
    SCOPED_TRACE(file);
    ID3DXEffect* effect = LoadDemo(file);
    ASSERT_NE(effect, nullptr);
    for (const Expected& e : expected) {
      D3DXHANDLE handle = effect->GetParameterByName(nullptr, e.name.c_str());
      ASSERT_NE(handle, nullptr) << e.name;
      D3DXPARAMETER_DESC desc{};
      ASSERT_EQ(effect->GetParameterDesc(handle, &desc), D3D_OK);
      EXPECT_EQ(desc.Type, e.type) << e.name;
      EXPECT_EQ(desc.Elements, 0u) << e.name;
      if (e.type != D3DXPT_TEXTURE) EXPECT_EQ(desc.Columns, e.columns) << e.name;
    }
    effect->Release();
  }
}

// The per-vertex mobile effect lights a quad facing its lights from the
// mobile's settings: each light's colour times its intensity by the angle,
// on twice "la"; "cull", "blend" and the technique's light count apply.
TEST_F(EffectDrawTest, MobileEffectLightsFromTheMobilesSettings) {
  ID3DXEffect* effect = LoadDemo("mobile_basic.fx");
  ASSERT_NE(effect, nullptr);
  IDirect3DTexture9* opaque = Texture(1, 1, {0xFFFFFFFFu});
  IDirect3DTexture9* half = Texture(1, 1, {0x80FFFFFFu});
  struct V {
    float x, y, z, nx, ny, nz, u, v;
  };
  // Facing -z, towards the viewer, wound clockwise on screen.
  const V quad[4] = {{-0.5f, 0.5f, 0.5f, 0, 0, -1, 0, 0},
                     {0.5f, 0.5f, 0.5f, 0, 0, -1, 1, 0},
                     {-0.5f, -0.5f, 0.5f, 0, 0, -1, 0, 1},
                     {0.5f, -0.5f, 0.5f, 0, 0, -1, 1, 1}};
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  effect->SetMatrix("WorldViewProj", &identity);
  const float ambient[3] = {0.05f, 0.05f, 0.05f};
  effect->SetFloatArray("la", ambient, 3);
  const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, front[3] = {0, 0, -5}, behind[3] = {0, 0, 5};
  effect->SetFloatArray("lp1", front, 3);
  effect->SetFloatArray("lc1", red, 3);
  effect->SetFloat("li1", 0.5f);
  effect->SetFloatArray("lc2", green, 3);
  effect->SetFloat("li2", 0.25f);

  struct Case {
    const char* technique;
    const float* second;  // where light 2 is
    int cull;
    bool blend;
    IDirect3DTexture9* texture;
    float r, g, b;  // expected at the centre, 0..1; negative: nothing drawn
  };
  const Case cases[] = {
      {"two_lights", front, 3, false, opaque, 0.6f, 0.35f, 0.1f},
      {"two_lights", behind, 3, false, opaque, 0.6f, 0.1f, 0.1f},
      {"one_light", front, 3, false, opaque, 0.6f, 0.1f, 0.1f},
      {"six_lights", front, 3, false, opaque, 0.6f, 0.35f, 0.1f},
      {"two_lights", front, 2, false, opaque, -1, -1, -1},
      {"two_lights", front, 1, false, opaque, 0.6f, 0.35f, 0.1f},
      // Half the texture's alpha over the black clear.
      {"two_lights", front, 3, true, half, 0.3f, 0.175f, 0.05f},
      {"two_lights", front, 3, false, half, 0.6f, 0.35f, 0.1f},
  };
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.technique) + " cull " + std::to_string(c.cull) + (c.blend ? " blend" : ""));
    effect->SetFloatArray("lp2", c.second, 3);
    effect->SetInt("cull", c.cull);
    effect->SetBool("blend", c.blend);
    effect->SetTexture("tex", c.texture);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    Run(effect, c.technique, [&] { device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)); });
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    const std::vector<BYTE> frame = Frame();
    const BYTE* centre = &frame[((kHeight / 2) * kWidth + kWidth / 2) * 4];
    const float want[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(centre[k], want[k] < 0 ? 0.0f : want[k] * 255.0f, 3.0f) << k;
  }
  effect->Release();
  opaque->Release();
  half->Release();
}

// A pass whose shader does not compile (a function that is not there,
// arguments its uniform parameters do not take) makes its technique
// invalid and says so in the log; the next technique is still found.
TEST_F(EffectDrawTest, BrokenPassInvalidatesItsTechnique) {
  const std::string source = R"(
float4 tint = { 1, 0, 0, 1 };
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 Good() : COLOR { return tint; }
float4 Tinted(uniform float k) : COLOR { return tint * k; }
technique fancy { pass glow { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 Glow(); } }
technique wrong { pass p0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 Tinted(1, 2); } }
technique plain { pass p0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 Good(); } }
)";
  ID3DXEffect* effect = Load(source);
  ASSERT_NE(effect, nullptr);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(effect->ValidateTechnique("fancy"), D3DERR_NOTAVAILABLE);
  const std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("technique \"fancy\", pass \"glow\" does not compile"), std::string::npos) << log;
  EXPECT_EQ(effect->ValidateTechnique("wrong"), D3DERR_NOTAVAILABLE);
  D3DXHANDLE next = nullptr;
  ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &next), D3D_OK);
  D3DXTECHNIQUE_DESC desc;
  effect->GetTechniqueDesc(next, &desc);
  EXPECT_STREQ(desc.Name, "plain");
  effect->Release();
}

// The demo's screen-image effect: a checker texture drawn as a screen quad
// (pre-transformed vertices skip the vertex shader) and half of it again,
// blended at half alpha through its vertex colour, over a clear colour.
TEST_F(EffectDrawTest, BlendedTexturedQuadMatchesGolden) {
  ID3DXEffect* effect = LoadDemo("image_basic.fx");
  ASSERT_NE(effect, nullptr);
  std::vector<uint32_t> texels(8 * 8);
  for (UINT y = 0; y < 8; ++y) {
    for (UINT x = 0; x < 8; ++x) texels[y * 8 + x] = ((x + y) & 1) ? 0xFFE0C020u : 0xFF2040A0u;
  }
  IDirect3DTexture9* texture = Texture(8, 8, texels);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF303030u, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  struct V {
    float x, y, z, rhw;
    D3DCOLOR c;
    float u, v;
  };
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  effect->SetTexture("tex", texture);
  effect->SetInt("filter", 1);
  // Texel-exact: 32 × 32 pixels for 8 × 8 texels, edges on pixel corners.
  const V opaque[4] = {{3.5f, 3.5f, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
                       {35.5f, 3.5f, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
                       {3.5f, 35.5f, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
                       {35.5f, 35.5f, 0.5f, 1, 0xFFFFFFFFu, 1, 1}};
  Run(effect, "image_basic", [&] { device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, opaque, sizeof(V)); });
  effect->SetBool("blend", TRUE);
  effect->SetInt("alphaop", 1);
  const V blended[4] = {{23.5f, 15.5f, 0.25f, 1, 0x80FFFFFFu, 0, 0},
                        {59.5f, 15.5f, 0.25f, 1, 0x80FFFFFFu, 1, 0},
                        {23.5f, 43.5f, 0.25f, 1, 0x80FFFFFFu, 0, 1},
                        {59.5f, 43.5f, 0.25f, 1, 0x80FFFFFFu, 1, 1}};
  Run(effect, "image_blended", [&] { device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, blended, sizeof(V)); });
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<BYTE> frame = Frame();
  // Worked out by hand: an opaque texel, a blended one over the clear
  // colour (half of 0xE0 plus half of 0x30), the clear colour.
  auto at = [&](int x, int y, int c) { return int(frame[(y * kWidth + x) * 4 + c]); };
  EXPECT_EQ(at(4, 4, 0), 0x20);
  EXPECT_EQ(at(8, 4, 2), 0x20);
  EXPECT_NEAR(at(50, 30, 0), (0xE0 + 0x30) / 2, 1);
  EXPECT_EQ(at(1, 1, 1), 0x30);
  ExpectGolden(frame, "textured_quad_blended");
  effect->Release();
  texture->Release();
}

// The demo's lit scenery effect on a depth-tested mesh: a box seen from
// above and aside, lit from one direction, in front of a plane that cuts
// through it, and a quad before the near plane that must not show.
TEST_F(EffectDrawTest, LitMeshThroughEffectMatchesGolden) {
  ID3DXEffect* effect = LoadDemo("scenery_lit.fx");
  ASSERT_NE(effect, nullptr);
  IDirect3DTexture9* white = Texture(1, 1, {0xFFFFFFFFu});
  IDirect3DTexture9* tiles = Texture(2, 2, {0xFFFF8040u, 0xFF40FF80u, 0xFF4080FFu, 0xFFFFFFFFu});
  struct V {
    float x, y, z, nx, ny, nz, u, v;
  };
  std::vector<V> box;
  std::vector<uint16_t> indices;
  // Faces of a unit cube, wound clockwise seen from outside.
  const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (const auto& f : n) {
    D3DXVECTOR3 normal(f[0], f[1], f[2]);
    D3DXVECTOR3 up = std::fabs(f[1]) > 0.5f ? D3DXVECTOR3(0, 0, 1) : D3DXVECTOR3(0, 1, 0);
    D3DXVECTOR3 right;
    D3DXVec3Cross(&right, &normal, &up);
    const uint16_t base = static_cast<uint16_t>(box.size());
    const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    for (const auto& c : corners) {
      D3DXVECTOR3 p = normal * 0.5f + right * (0.5f * c[0]) + up * (0.5f * c[1]);
      box.push_back({p.x, p.y, p.z, normal.x, normal.y, normal.z, (c[0] + 1) / 2, (1 - c[1]) / 2});
    }
    for (uint16_t i : {0, 1, 2, 2, 1, 3}) indices.push_back(static_cast<uint16_t>(base + i));
  }
  D3DXMATRIX world, view, proj, wvp, worldInv;
  D3DXMatrixRotationY(&world, 0.6f);
  D3DXVECTOR3 eye(0, 1.2f, -2.2f), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, 0.9f, float(kWidth) / kHeight, 0.5f, 10.0f);
  wvp = world * view * proj;
  D3DXMatrixInverse(&worldInv, nullptr, &world);
  D3DXMatrixTranspose(&worldInv, &worldInv);
  effect->SetMatrix("WorldViewProj", &wvp);
  effect->SetMatrix("WorldInvTrans", &worldInv);
  const D3DXVECTOR4 light(0.4f, -0.8f, 0.45f, 0);
  effect->SetFloatArray("lightDir", &light.x, 3);

  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF101828u, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
  effect->SetTexture("tex", tiles);
  Run(effect, "scenery_lit", [&] {
    device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(box.size()), 12, indices.data(),
                                    D3DFMT_INDEX16, box.data(), sizeof(V));
  });
  // A plane through the box's middle, facing the camera: it hides the
  // box's back half and is hidden by its front half.
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  wvp = view * proj;
  effect->SetMatrix("WorldViewProj", &wvp);
  effect->SetMatrix("WorldInvTrans", &identity);
  effect->SetTexture("tex", white);
  const V plane[4] = {{-1.2f, 0.9f, 0.1f, 0, 0, -1, 0, 0},
                      {1.2f, 0.9f, 0.1f, 0, 0, -1, 1, 0},
                      {-1.2f, -0.9f, 0.1f, 0, 0, -1, 0, 1},
                      {1.2f, -0.9f, 0.1f, 0, 0, -1, 1, 1}};
  Run(effect, "scenery_lit", [&] { device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, plane, sizeof(V)); });
  // Nearer than the near plane (depth below 0): clipped away, as
  // Direct3D's depth range runs from 0 to 1.
  effect->SetMatrix("WorldViewProj", &proj);
  const V nearQuad[4] = {{-0.1f, 0.1f, 0.3f, 0, 0, -1, 0, 0},
                         {0.1f, 0.1f, 0.3f, 0, 0, -1, 1, 0},
                         {-0.1f, -0.1f, 0.3f, 0, 0, -1, 0, 1},
                         {0.1f, -0.1f, 0.3f, 0, 0, -1, 1, 1}};
  Run(effect, "scenery_lit", [&] { device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nearQuad, sizeof(V)); });
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  ExpectGolden(Frame(), "lit_mesh_depth");
  effect->Release();
  white->Release();
  tiles->Release();
}

}  // namespace
