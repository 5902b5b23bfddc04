// One frame of 200 textured meshes of 1,000 triangles, lit per vertex,
// depth-tested, at 1024 × 768: through the layers (the demo's lit scenery
// effect, one DrawIndexedPrimitive per mesh with its matrix committed) and
// with raw GL calls doing the same (one program, a uniform and a draw per
// mesh), timed in the same run. Both end with glFinish, so the figure
// holds the rasterising; "ratio_to_baseline" is the ratio that matters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "platform/d3d9/testing.h"
#include "platform/d3dx9/d3dx9.h"
// After the layers: their APIENTRY is the one GL's headers keep.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

constexpr UINT kWidth = 1024, kHeight = 768;
constexpr int kMeshes = 200;
constexpr int kColumns = 25, kRows = 20;  // 500 quads: 1,000 triangles

struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

// A wavy sheet of 1,000 triangles, clockwise seen from -z.
void MakeMesh(std::vector<Vertex>* vertices, std::vector<uint16_t>* indices) {
  for (int r = 0; r <= kRows; ++r) {
    for (int c = 0; c <= kColumns; ++c) {
      float x = float(c) / kColumns - 0.5f, y = 0.5f - float(r) / kRows;
      float z = 0.05f * std::sin(x * 12.0f) * std::cos(y * 9.0f);
      vertices->push_back({x, y, z, -0.3f * std::cos(x * 12.0f), 0.2f, -1.0f, x + 0.5f, 0.5f - y});
    }
  }
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      uint16_t a = uint16_t(r * (kColumns + 1) + c), b = uint16_t(a + 1), d = uint16_t(a + kColumns + 1),
               e = uint16_t(d + 1);
      for (uint16_t i : {a, b, d, d, b, e}) indices->push_back(i);
    }
  }
}

// Where mesh i sits: a grid of 20 × 10 sheets filling the view.
D3DXMATRIX MeshMatrix(int i) {
  D3DXMATRIX world, view, proj, rot;
  D3DXMatrixTranslation(&world, float(i % 20) * 0.55f - 5.2f, float(i / 20) * 0.55f - 2.5f, 4.0f + 0.01f * float(i));
  D3DXMatrixRotationY(&rot, 0.2f * float(i % 7));
  world = rot * world;
  D3DXVECTOR3 eye(0, 0, -2), at(0, 0, 4), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, 0.9f, float(kWidth) / kHeight, 0.5f, 50.0f);
  return world * view * proj;
}

struct Layer {
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  IDirect3DTexture9* texture = nullptr;
  ID3DXEffect* effect = nullptr;
  UINT vertexCount = 0;

  Layer(const std::vector<Vertex>& vertices, const std::vector<uint16_t>& indices) {
    platform::testing::ExecuteDraws(true);
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device))) std::abort();
    vertexCount = UINT(vertices.size());
    device->CreateVertexBuffer(UINT(vertices.size() * sizeof(Vertex)), 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, vertices.data(), vertices.size() * sizeof(Vertex));
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    std::memcpy(p, indices.data(), indices.size() * 2);
    ib->Unlock();
    device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT lr;
    texture->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        reinterpret_cast<uint32_t*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] =
            ((x / 8 + y / 8) & 1) ? 0xFFE0C080u : 0xFF4060A0u;
      }
    }
    texture->UnlockRect(0);
    std::ifstream in(std::string(TARVEL_SOURCE_DIR) + "/demo/shaders/scenery_lit.fx");
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    if (FAILED(D3DXCreateEffect(device, source.data(), UINT(source.size()), nullptr, nullptr, 0, nullptr, &effect,
                                nullptr))) {
      std::abort();
    }
    effect->SetTexture("tex", texture);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    effect->SetMatrix("WorldInvTrans", &identity);
  }
  ~Layer() {
    effect->Release();
    texture->Release();
    ib->Release();
    vb->Release();
    device->Release();
    d3d->Release();
  }

  void Frame(const std::vector<D3DXMATRIX>& matrices) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030u, 1.0f, 0);
    device->BeginScene();
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    device->SetIndices(ib);
    effect->SetTechnique("scenery_lit");
    UINT passes = 0;
    effect->Begin(&passes, 0);
    effect->BeginPass(0);
    for (const D3DXMATRIX& m : matrices) {
      effect->SetMatrix("WorldViewProj", &m);
      effect->CommitChanges();
      device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertexCount, 0, kRows * kColumns * 2);
    }
    effect->EndPass();
    effect->End();
    device->EndScene();
    glFinish();
  }
};

// The same frame as plain GL: an FBO, one program, a uniform per mesh.
struct Raw {
  GLuint fbo = 0, colour = 0, depth = 0, vao = 0, vb = 0, ib = 0, texture = 0, program = 0;
  GLint matrix = -1;

  Raw(const std::vector<Vertex>& vertices, const std::vector<uint16_t>& indices) {
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, kWidth, kHeight);
    glGenTextures(1, &depth);
    glBindTexture(GL_TEXTURE_2D, depth);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_DEPTH24_STENCIL8, kWidth, kHeight);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vb);
    glBindBuffer(GL_ARRAY_BUFFER, vb);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vertex)), vertices.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &ib);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(), GL_STATIC_DRAW);
    for (GLuint i = 0; i < 3; ++i) glEnableVertexAttribArray(i);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(24));
    glBindVertexArray(0);
    std::vector<uint32_t> texels(64 * 64);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) texels[size_t(y * 64 + x)] = ((x / 8 + y / 8) & 1) ? 0xFFE0C080u : 0xFF4060A0u;
    }
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, 64, 64);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 64, 64, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const char* vs = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
uniform mat4 worldViewProj;
out vec4 diffuse;
out vec2 texcoord;
void main() {
  vec3 n = normalize(normal);
  diffuse = vec4(0.3) + vec4(1.0) * clamp(dot(n, vec3(0.0, 1.0, 0.0)), 0.0, 1.0);
  texcoord = uv;
  gl_Position = worldViewProj * vec4(position, 1.0);
})";
    const char* ps = R"(#version 330
in vec4 diffuse;
in vec2 texcoord;
uniform sampler2D tex;
layout(location = 0) out vec4 colour;
void main() { colour = texture(tex, texcoord) * diffuse; })";
    program = glCreateProgram();
    for (auto [kind, text] : {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, vs}, {GL_FRAGMENT_SHADER, ps}}) {
      GLuint s = glCreateShader(kind);
      glShaderSource(s, 1, &text, nullptr);
      glCompileShader(s);
      glAttachShader(program, s);
      glDeleteShader(s);
    }
    glLinkProgram(program);
    matrix = glGetUniformLocation(program, "worldViewProj");
  }
  ~Raw() {
    glDeleteProgram(program);
    GLuint textures[] = {colour, depth, texture};
    glDeleteTextures(3, textures);
    GLuint buffers[] = {vb, ib};
    glDeleteBuffers(2, buffers);
    glDeleteVertexArrays(1, &vao);
    glDeleteFramebuffers(1, &fbo);
  }

  void Frame(const std::vector<D3DXMATRIX>& matrices) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, kWidth, kHeight);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0.06f, 0.12f, 0.19f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // Direct3D's clockwise front faces, with y up as GL draws unturned.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glDisable(GL_BLEND);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindSampler(0, 0);
    glBindVertexArray(vao);
    for (const D3DXMATRIX& m : matrices) {
      // Row-vector matrices read column-major are the column-vector ones.
      glUniformMatrix4fv(matrix, 1, GL_FALSE, &m._11);
      glDrawElements(GL_TRIANGLES, kRows * kColumns * 6, GL_UNSIGNED_SHORT, nullptr);
    }
    glBindVertexArray(0);
    glFinish();
  }
};

void BM_LitMeshFrame(benchmark::State& state) {
  std::vector<Vertex> vertices;
  std::vector<uint16_t> indices;
  MakeMesh(&vertices, &indices);
  std::vector<D3DXMATRIX> matrices;
  for (int i = 0; i < kMeshes; ++i) matrices.push_back(MeshMatrix(i));
  Layer layer(vertices, indices);
  Raw raw(vertices, indices);
  layer.Frame(matrices);  // compiles and uploads once
  raw.Frame(matrices);
  bench::RunPaired(
      state,
      [&] {
        layer.Frame(matrices);
        return true;
      },
      [&] {
        raw.Frame(matrices);
        return glGetError() == GL_NO_ERROR;
      });
  state.SetItemsProcessed(state.iterations() * kMeshes);
}
BENCHMARK(BM_LitMeshFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
