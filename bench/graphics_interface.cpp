// One frame of the interface at 1024 × 768 as the engine draws it: the scene
// picture and the top band, a row of eight item icons, six lines of text
// of 48 glyphs and the cursor. Through the layers each picture is a quad
// in its own vertex buffer drawn with the demo's image effect (parameters
// set, effect begun and ended per image), and each line of text is a list
// of glyph quads sent with DrawPrimitiveUP through the text effect. Beside
// it, the same quads with raw GL calls: one program per kind, a buffer per
// picture, each line streamed into one buffer. Both end with glFinish.
#include <benchmark/benchmark.h>

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
constexpr int kLines = 6, kGlyphsPerLine = 48;

// Pretransformed, coloured, textured: the engine's image and text vertex.
struct Vertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};

struct Picture {
  float x, y, width, height;
  int textureWidth, textureHeight;
  bool blended;
};

// The scene picture, the top band, eight icons and the cursor, drawn in
// this order.
std::vector<Picture> Pictures() {
  std::vector<Picture> out = {{0, 128, 1024, 512, 1024, 512, false}, {0, 0, 1024, 128, 1024, 128, false}};
  for (int i = 0; i < 8; ++i) out.push_back({float(160 + i * 88), 664, 64, 64, 64, 64, true});
  out.push_back({500, 300, 32, 32, 32, 32, true});
  return out;
}

void Quad(const Picture& p, Vertex out[4]) {
  const float l = p.x, t = p.y, r = p.x + p.width, b = p.y + p.height;
  out[0] = {l, b, 0, 1, 0xFFFFFFFFu, 0, 1};
  out[1] = {l, t, 0, 1, 0xFFFFFFFFu, 0, 0};
  out[2] = {r, b, 0, 1, 0xFFFFFFFFu, 1, 1};
  out[3] = {r, t, 0, 1, 0xFFFFFFFFu, 1, 0};
}

// Texels with some detail; icons and the cursor with a round alpha mask.
std::vector<uint32_t> Texels(int width, int height, bool alpha) {
  std::vector<uint32_t> texels(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int dx = 2 * x - width, dy = 2 * y - height;
      const bool inside = !alpha || dx * dx + dy * dy < width * height;
      texels[size_t(y * width + x)] = (inside ? 0xFF000000u : 0u) | uint32_t(x * 255 / width) << 16 |
                                      uint32_t(y * 255 / height) << 8 | ((x / 8 + y / 8) & 1 ? 0xC0u : 0x40u);
    }
  }
  return texels;
}

// A 256 × 256 atlas of 16 × 16 glyph cells whose alpha draws a box.
std::vector<uint32_t> Atlas() {
  std::vector<uint32_t> texels(256 * 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const int cx = x % 16, cy = y % 16;
      const bool ink = (cx >= 3 && cx <= 12 && (cy == 3 || cy == 12)) || (cy >= 3 && cy <= 12 && (cx == 3 || cx == 12));
      texels[size_t(y * 256 + x)] = (ink ? 0xFF000000u : 0u) | 0xFFFFFFu;
    }
  }
  return texels;
}

// The glyph quads of the text, one list of kGlyphsPerLine × 6 vertices per line.
std::vector<std::vector<Vertex>> TextLines() {
  std::vector<std::vector<Vertex>> lines;
  for (int line = 0; line < kLines; ++line) {
    std::vector<Vertex> v;
    const float y = 40.0f + float(line) * 18.0f;
    for (int g = 0; g < kGlyphsPerLine; ++g) {
      const float x = 20.0f + float(g) * 11.0f;
      const int cell = (line * kGlyphsPerLine + g) % 256;
      const float u0 = float(cell % 16) / 16.0f, v0 = float(cell / 16) / 16.0f, u1 = u0 + 1.0f / 16, v1 = v0 + 1.0f / 16;
      const uint32_t c = 0xFFFFE0A0u;
      const Vertex a{x, y + 16, 0, 1, c, u0, v1}, b{x, y, 0, 1, c, u0, v0}, d{x + 16, y + 16, 0, 1, c, u1, v1},
          e{x + 16, y, 0, 1, c, u1, v0};
      for (const Vertex& corner : {a, b, d, d, b, e}) v.push_back(corner);
    }
    lines.push_back(std::move(v));
  }
  return lines;
}

std::string ReadDemoEffect(const char* name) {
  std::ifstream in(std::string(TARVEL_SOURCE_DIR) + "/demo/shaders/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Layer {
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  ID3DXEffect* image = nullptr;
  ID3DXEffect* text = nullptr;
  std::vector<Picture> pictures;
  std::vector<IDirect3DVertexBuffer9*> buffers;
  std::vector<IDirect3DTexture9*> textures;
  IDirect3DTexture9* atlas = nullptr;
  std::vector<std::vector<Vertex>> lines;

  IDirect3DTexture9* Texture(int width, int height, const std::vector<uint32_t>& texels) {
    IDirect3DTexture9* t = nullptr;
    if (FAILED(device->CreateTexture(UINT(width), UINT(height), 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr)))
      std::abort();
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < height; ++y)
      std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &texels[size_t(y * width)], size_t(width) * 4);
    t->UnlockRect(0);
    return t;
  }

  ID3DXEffect* Effect(const char* name) {
    const std::string source = ReadDemoEffect(name);
    ID3DXEffect* effect = nullptr;
    if (FAILED(D3DXCreateEffect(device, source.data(), UINT(source.size()), nullptr, nullptr, 0, nullptr, &effect,
                                nullptr)))
      std::abort();
    return effect;
  }

  Layer() : pictures(Pictures()), lines(TextLines()) {
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
    for (const Picture& p : pictures) {
      IDirect3DVertexBuffer9* vb = nullptr;
      const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
      if (FAILED(device->CreateVertexBuffer(4 * sizeof(Vertex), D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &vb,
                                            nullptr)))
        std::abort();
      void* data = nullptr;
      vb->Lock(0, 0, &data, 0);
      Quad(p, static_cast<Vertex*>(data));
      vb->Unlock();
      buffers.push_back(vb);
      textures.push_back(Texture(p.textureWidth, p.textureHeight, Texels(p.textureWidth, p.textureHeight, p.blended)));
    }
    atlas = Texture(256, 256, Atlas());
    image = Effect("image_basic.fx");
    text = Effect("text.fx");
  }
  ~Layer() {
    text->Release();
    image->Release();
    atlas->Release();
    for (IDirect3DTexture9* t : textures) t->Release();
    for (IDirect3DVertexBuffer9* vb : buffers) vb->Release();
    device->Release();
    d3d->Release();
  }

  // As the engine's image and text drawers do it: technique and parameters
  // per draw, the effect begun and ended around it.
  bool Frame() {
    bool ok = SUCCEEDED(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0));
    device->BeginScene();
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    auto run = [&](ID3DXEffect* effect, auto draw) {
      UINT passes = 0;
      effect->Begin(&passes, 0);
      for (UINT pass = 0; pass < passes; ++pass) {
        effect->BeginPass(pass);
        ok = ok && SUCCEEDED(draw());
        effect->EndPass();
      }
      effect->End();
    };
    for (size_t i = 0; i < pictures.size(); ++i) {
      const bool blended = pictures[i].blended;
      image->SetTechnique(blended ? "image_blended_nozwrite" : "image_basic");
      image->SetBool("blend", blended);
      image->SetInt("alphaop", blended ? 2 : 1);
      image->SetBool("depth", false);
      image->SetInt("filter", 2);
      image->SetTexture("tex", textures[i]);
      device->SetStreamSource(0, buffers[i], 0, sizeof(Vertex));
      run(image, [&] { return device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2); });
    }
    for (const std::vector<Vertex>& line : lines) {
      text->SetTechnique("text_blended");
      text->SetTexture("tex", atlas);
      run(text, [&] {
        return device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(line.size() / 3), line.data(), sizeof(Vertex));
      });
    }
    device->EndScene();
    glFinish();
    return ok;
  }
};

GLuint Program(const char* fragment) {
  // Direct3D's pixel centres, rows kept top first as the layer keeps them.
  static const char* vs = R"(#version 330
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 colour;
layout(location = 2) in vec2 uv;
out vec4 vcolour;
out vec2 vuv;
void main() {
  vec2 ndc = (position.xy + 0.5) * vec2(2.0 / 1024.0, 2.0 / 768.0) - 1.0;
  gl_Position = vec4(ndc, position.z, 1.0);
  vcolour = colour.bgra;
  vuv = uv;
})";
  const GLuint program = glCreateProgram();
  for (auto [kind, source] : {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, vs}, {GL_FRAGMENT_SHADER, fragment}}) {
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    glAttachShader(program, s);
    glDeleteShader(s);
  }
  glLinkProgram(program);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) std::abort();
  return program;
}

void VertexLayout() {
  for (GLuint i = 0; i < 3; ++i) glEnableVertexAttribArray(i);
  glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
  glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(16));
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(20));
}

// The same frame as plain GL into a framebuffer of the screen's size.
struct Raw {
  GLuint fbo = 0, colour = 0, depth = 0, imageProgram = 0, textProgram = 0, atlas = 0, textVao = 0, textBuffer = 0;
  std::vector<Picture> pictures;
  std::vector<GLuint> vaos, buffers, textures;
  std::vector<std::vector<Vertex>> lines;

  static GLuint Texture(int width, int height, const std::vector<uint32_t>& texels) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, width, height);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return t;
  }

  Raw() : pictures(Pictures()), lines(TextLines()) {
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
    for (const Picture& p : pictures) {
      GLuint vao = 0, vb = 0;
      glGenVertexArrays(1, &vao);
      glBindVertexArray(vao);
      glGenBuffers(1, &vb);
      glBindBuffer(GL_ARRAY_BUFFER, vb);
      Vertex quad[4];
      Quad(p, quad);
      glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
      VertexLayout();
      vaos.push_back(vao);
      buffers.push_back(vb);
      textures.push_back(Texture(p.textureWidth, p.textureHeight, Texels(p.textureWidth, p.textureHeight, p.blended)));
    }
    glGenVertexArrays(1, &textVao);
    glBindVertexArray(textVao);
    glGenBuffers(1, &textBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kGlyphsPerLine * 6 * sizeof(Vertex)), nullptr, GL_STREAM_DRAW);
    VertexLayout();
    glBindVertexArray(0);
    atlas = Texture(256, 256, Atlas());
    imageProgram = Program(R"(#version 330
in vec4 vcolour;
in vec2 vuv;
uniform sampler2D tex;
uniform int alphaFromTexture;
layout(location = 0) out vec4 colour;
void main() {
  vec4 c = texture(tex, vuv) * vcolour;
  if (alphaFromTexture == 0) c.a = vcolour.a;
  colour = c;
})");
    textProgram = Program(R"(#version 330
in vec4 vcolour;
in vec2 vuv;
uniform sampler2D tex;
layout(location = 0) out vec4 colour;
void main() { colour = vec4(vcolour.rgb, vcolour.a * texture(tex, vuv).a); })");
  }
  ~Raw() {
    glDeleteProgram(imageProgram);
    glDeleteProgram(textProgram);
    glDeleteTextures(GLsizei(textures.size()), textures.data());
    glDeleteBuffers(GLsizei(buffers.size()), buffers.data());
    glDeleteVertexArrays(GLsizei(vaos.size()), vaos.data());
    GLuint more[] = {colour, depth, atlas};
    glDeleteTextures(3, more);
    glDeleteBuffers(1, &textBuffer);
    glDeleteVertexArrays(1, &textVao);
    glDeleteFramebuffers(1, &fbo);
  }

  bool Frame() {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, kWidth, kHeight);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glActiveTexture(GL_TEXTURE0);
    glBindSampler(0, 0);
    glUseProgram(imageProgram);
    const GLint alphaFromTexture = glGetUniformLocation(imageProgram, "alphaFromTexture");
    for (size_t i = 0; i < pictures.size(); ++i) {
      const bool blended = pictures[i].blended;
      if (blended) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      } else {
        glDisable(GL_BLEND);
      }
      glUniform1i(alphaFromTexture, blended ? 1 : 0);
      glBindTexture(GL_TEXTURE_2D, textures[i]);
      glBindVertexArray(vaos[i]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glUseProgram(textProgram);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, atlas);
    glBindVertexArray(textVao);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    for (const std::vector<Vertex>& line : lines) {
      // Orphaned and refilled, as a draw from memory must be.
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(line.size() * sizeof(Vertex)), nullptr, GL_STREAM_DRAW);
      glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(line.size() * sizeof(Vertex)), line.data());
      glDrawArrays(GL_TRIANGLES, 0, GLsizei(line.size()));
    }
    glBindVertexArray(0);
    glDisable(GL_BLEND);
    glFinish();
    return glGetError() == GL_NO_ERROR;
  }
};

void BM_InterfaceFrame(benchmark::State& state) {
  Layer layer;
  Raw raw;
  // Compiles, uploads and warms both once.
  if (!layer.Frame() || !raw.Frame()) {
    state.SkipWithError("a warm-up frame failed");
    return;
  }
  bench::RunPaired(state, [&] { return layer.Frame(); }, [&] { return raw.Frame(); });
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InterfaceFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
