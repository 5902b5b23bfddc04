#include "platform/d3d9/gl_renderer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/format_info.h"
#include "platform/d3d9/gl_context.h"

namespace platform::d3d9::gl {
namespace {

// ---- Formats --------------------------------------------------------------------
struct GlFormat {
  GLenum internal = 0;
  GLenum format = 0;
  GLenum type = 0;
  GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
  bool compressed = false;
  bool depth = false;
  bool converted = false;  // uploaded as RGBA floats through the format's decoder
};

GlFormat FormatOf(D3DFORMAT f) {
  GlFormat g;
  switch (f) {
    case D3DFMT_A8R8G8B8:
      g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
      break;
    case D3DFMT_X8R8G8B8:
      g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
      break;
    case D3DFMT_A8B8G8R8:
      g = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
      break;
    case D3DFMT_X8B8G8R8:
      g = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
      break;
    case D3DFMT_R5G6B5:
      g = {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
      break;
    case D3DFMT_A1R5G5B5:
      g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
      break;
    case D3DFMT_X1R5G5B5:
      g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
      break;
    case D3DFMT_A4R4G4B4:
      g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
      break;
    case D3DFMT_A8:
      g = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}};
      break;
    case D3DFMT_L8:
      g = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}};
      break;
    case D3DFMT_A8L8:
      g = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}};
      break;
    case D3DFMT_R32F:
      g = {GL_R32F, GL_RED, GL_FLOAT, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
      break;
    case D3DFMT_A32B32G32R32F:
      g = {GL_RGBA32F, GL_RGBA, GL_FLOAT};
      break;
    case D3DFMT_D16:
      g = {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT};
      g.depth = true;
      break;
    case D3DFMT_D32:
      g = {GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT};
      g.depth = true;
      break;
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
      // Depth in the upper 24 bits, stencil in the lower 8: GL's packing too.
      g = {GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8};
      g.depth = true;
      break;
    case D3DFMT_DXT1:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0};
      g.compressed = true;
      break;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0};
      g.compressed = true;
      break;
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0};
      g.compressed = true;
      break;
    default: {
      float rgba[4];
      BYTE probe[16] = {};
      if (BytesPerPixel(f) && DecodePixel(f, probe, rgba)) {
        g = {GL_RGBA32F, GL_RGBA, GL_FLOAT};
        g.converted = true;
      }
    }
  }
  // Without S3TC in the driver, blocks are decoded on upload.
  if (g.compressed && !HasS3tc()) {
    g = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
    g.converted = true;
  }
  return g;
}

// ---- DXT decoding (drivers without S3TC) ---------------------------------------
void Rgb565(uint16_t v, int out[3]) {
  out[0] = ((v >> 11) & 31) * 255 / 31;
  out[1] = ((v >> 5) & 63) * 255 / 63;
  out[2] = (v & 31) * 255 / 31;
}

// One 4 × 4 block into RGBA bytes at `dst` (row pitch `pitch`), clipped to w × h.
void DecodeBlock(D3DFORMAT f, const BYTE* block, BYTE* dst, size_t pitch, UINT w, UINT h) {
  const bool dxt1 = f == D3DFMT_DXT1;
  const BYTE* colour = dxt1 ? block : block + 8;
  uint16_t c0 = static_cast<uint16_t>(colour[0] | colour[1] << 8), c1 = static_cast<uint16_t>(colour[2] | colour[3] << 8);
  int p[4][4];
  Rgb565(c0, p[0]);
  Rgb565(c1, p[1]);
  p[0][3] = p[1][3] = 255;
  for (int c = 0; c < 3; ++c) {
    if (!dxt1 || c0 > c1) {
      p[2][c] = (2 * p[0][c] + p[1][c]) / 3;
      p[3][c] = (p[0][c] + 2 * p[1][c]) / 3;
    } else {
      p[2][c] = (p[0][c] + p[1][c]) / 2;
      p[3][c] = 0;
    }
  }
  p[2][3] = 255;
  p[3][3] = (dxt1 && c0 <= c1) ? 0 : 255;
  int alpha[8] = {};
  if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) {
    int a0 = block[0], a1 = block[1];
    alpha[0] = a0;
    alpha[1] = a1;
    for (int i = 2; i < 8; ++i) {
      alpha[i] = a0 > a1 ? ((8 - i) * a0 + (i - 1) * a1) / 7 : (i < 6 ? ((6 - i) * a0 + (i - 1) * a1) / 5 : (i == 6 ? 0 : 255));
    }
  }
  uint64_t alphaBits = 0;
  for (int i = 0; i < 6; ++i) alphaBits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
  for (UINT y = 0; y < 4 && y < h; ++y) {
    for (UINT x = 0; x < 4 && x < w; ++x) {
      int i = static_cast<int>(y * 4 + x);
      int index = (colour[4 + y] >> (2 * x)) & 3;
      BYTE* out = dst + y * pitch + x * 4;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(p[index][c]);
      int a = p[index][3];
      if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3) a = ((block[i / 2] >> (4 * (i & 1))) & 15) * 17;
      if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) a = alpha[(alphaBits >> (3 * i)) & 7];
      out[3] = static_cast<BYTE>(a);
    }
  }
}

// ---- Programs ----------------------------------------------------------------------
GLuint CompileStage(GLenum kind, const std::string& source, std::string* error) {
  GLuint s = glCreateShader(kind);
  const char* text = source.c_str();
  glShaderSource(s, 1, &text, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof log - 1, nullptr, log);
    if (error) *error = log;
    glDeleteShader(s);
    return 0;
  }
  return s;
}

}  // namespace

struct Program {
  GLuint name = 0;
  GLint viewport = -1;   // tarvel_viewport: x, y, width, height
  GLint alpha = -1;      // tarvel_alpha: function, reference
  GLint point = -1;      // tarvel_point: sprite texture coordinates on, size
  GLint world = -1, view = -1, projection = -1, textured = -1;  // built-in program only
};

namespace {

// The fixed pipeline as far as the engine's draws without an effect need
// it: transformed or pre-transformed positions, the diffuse colour, and
// stage 0's texture modulated with it.
const char* kFixedVertex = R"(#version 330
layout(location = 0) in vec4 a_position;
layout(location = 4) in vec4 a_colour;
layout(location = 8) in vec2 a_uv;
uniform vec4 tarvel_viewport;
uniform mat4 tarvel_world;
uniform mat4 tarvel_view;
uniform mat4 tarvel_projection;
uniform int tarvel_pretransformed;
uniform vec2 tarvel_point;
out vec4 tarvel_COLOR0;
out vec2 tarvel_TEXCOORD0;
void main() {
  tarvel_COLOR0 = a_colour;
  tarvel_TEXCOORD0 = a_uv;
  gl_PointSize = tarvel_point.y;
  if (tarvel_pretransformed != 0) {
    float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;
    vec2 ndc = (a_position.xy + 0.5 - tarvel_viewport.xy) * 2.0 / tarvel_viewport.zw - 1.0;
    gl_Position = vec4(ndc * w, a_position.z * w, w);
  } else {
    vec4 p = tarvel_projection * (tarvel_view * (tarvel_world * vec4(a_position.xyz, 1.0)));
    // Direct3D samples pixels at their corners: half a pixel right and down.
    gl_Position = vec4(p.x + p.w / tarvel_viewport.z, -p.y + p.w / tarvel_viewport.w, p.z, p.w);
  }
}
)";
const char* kFixedPixel = R"(#version 330
in vec4 tarvel_COLOR0;
in vec2 tarvel_TEXCOORD0;
uniform sampler2D tarvel_s0;
uniform int tarvel_textured;
uniform vec2 tarvel_alpha;
uniform vec2 tarvel_point;
layout(location = 0) out vec4 tarvel_colour;
void main() {
  vec4 c = tarvel_COLOR0;
  if (tarvel_textured != 0) c *= texture(tarvel_s0, tarvel_point.x != 0.0 ? gl_PointCoord : tarvel_TEXCOORD0);
  tarvel_colour = c;
  int f = int(tarvel_alpha.x);
  float a = floor(c.a * 255.0 + 0.5), r = tarvel_alpha.y;
  bool pass = f == 8 || (f == 2 && a < r) || (f == 3 && a == r) || (f == 4 && a <= r) || (f == 5 && a > r) ||
              (f == 6 && a != r) || (f == 7 && a >= r);
  if (!pass) discard;
}
)";

Program* g_fixed = nullptr;
GLuint g_fbo = 0, g_readFbo = 0, g_vao = 0, g_streamBuffers[17] = {}, g_ubo[2] = {};
GLuint g_samplers[16] = {};

void Setup() {
  if (g_vao) return;
  glGenFramebuffers(1, &g_fbo);
  glGenFramebuffers(1, &g_readFbo);
  glGenVertexArrays(1, &g_vao);
  glGenBuffers(17, g_streamBuffers);
  glGenBuffers(2, g_ubo);
  glGenSamplers(16, g_samplers);
  // Shaders size their points as Direct3D's do; sprite coordinates run
  // down the screen, which is GL's lower left for rows kept top first.
  glEnable(GL_PROGRAM_POINT_SIZE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
  std::string error;
  g_fixed = CreateProgram(kFixedVertex, kFixedPixel, &error);
}

GLenum Compare(DWORD f) { return f >= 1 && f <= 8 ? GL_NEVER + (f - 1) : GL_ALWAYS; }

GLenum Blend(DWORD b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case 11: return GL_SRC_ALPHA_SATURATE;
    case 14: return GL_CONSTANT_COLOR;     // blend factor
    case 15: return GL_ONE_MINUS_CONSTANT_COLOR;
  }
  return GL_ONE;
}

GLenum BlendOp(DWORD op) {
  switch (op) {
    case 2: return GL_FUNC_SUBTRACT;
    case 3: return GL_FUNC_REVERSE_SUBTRACT;
    case 4: return GL_MIN;
    case 5: return GL_MAX;
  }
  return GL_FUNC_ADD;
}

GLenum StencilOp(DWORD op) {
  switch (op) {
    case 2: return GL_ZERO;
    case 3: return GL_REPLACE;
    case 4: return GL_INCR;
    case 5: return GL_DECR;
    case 6: return GL_INVERT;
    case 7: return GL_INCR_WRAP;
    case 8: return GL_DECR_WRAP;
  }
  return GL_KEEP;
}

GLenum Address(DWORD a) {
  switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case 5: return GL_MIRROR_CLAMP_TO_EDGE;
  }
  return GL_REPEAT;
}

void ApplySampler(GLuint sampler, const DWORD* s, bool mipmapped) {
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(Address(s[D3DSAMP_ADDRESSU])));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(Address(s[D3DSAMP_ADDRESSV])));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(Address(s[D3DSAMP_ADDRESSW])));
  const bool magLinear = s[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR, minLinear = s[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
  glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
  GLint min = minLinear ? GL_LINEAR : GL_NEAREST;
  if (mipmapped && s[D3DSAMP_MIPFILTER] == D3DTEXF_POINT) {
    min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  } else if (mipmapped && s[D3DSAMP_MIPFILTER] >= D3DTEXF_LINEAR) {
    min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
  glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, min);
  float border[4];
  ColorToFloats(s[D3DSAMP_BORDERCOLOR], border);
  glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
  float bias;
  std::memcpy(&bias, &s[D3DSAMP_MIPMAPLODBIAS], 4);
  glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, bias);
  glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(s[D3DSAMP_MAXMIPLEVEL]));
}

// What the drawing framebuffer holds: changing attachments makes the
// driver validate (and a software rasteriser flush), so they change only
// when the targets do.
struct Attached {
  unsigned texture[5] = {};
  UINT level[5] = {};
  bool complete = false;
  bool valid = false;
};
Attached g_attached;

bool AttachTargets(const Attachment colour[4], const Attachment& depth) {
  glBindFramebuffer(GL_FRAMEBUFFER, g_fbo);
  bool same = g_attached.valid;
  for (int i = 0; i < 5 && same; ++i) {
    const Attachment& a = i < 4 ? colour[i] : depth;
    same = g_attached.texture[i] == a.texture && g_attached.level[i] == a.level;
  }
  if (same) return g_attached.complete;
  for (int i = 0; i < 5; ++i) {
    const Attachment& a = i < 4 ? colour[i] : depth;
    g_attached.texture[i] = a.texture;
    g_attached.level[i] = a.level;
  }
  g_attached.valid = true;
  GLenum buffers[4];
  for (int i = 0; i < 4; ++i) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, colour[i].texture,
                           static_cast<GLint>(colour[i].level));
    buffers[i] = colour[i].texture ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
  }
  glDrawBuffers(4, buffers);
  const bool stencil = depth.format == D3DFMT_D24S8 || depth.format == D3DFMT_D24X8;
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D,
                         depth.texture, 0);
  g_attached.complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  return g_attached.complete;
}

struct AttribFormat {
  GLint size;
  GLenum type;
  GLboolean normalised;
  bool integer;
};

bool AttribOf(BYTE type, AttribFormat* f) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1: *f = {1, GL_FLOAT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_FLOAT2: *f = {2, GL_FLOAT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_FLOAT3: *f = {3, GL_FLOAT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_FLOAT4: *f = {4, GL_FLOAT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_D3DCOLOR: *f = {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, false}; return true;
    case D3DDECLTYPE_UBYTE4: *f = {4, GL_UNSIGNED_BYTE, GL_FALSE, false}; return true;
    case D3DDECLTYPE_SHORT2: *f = {2, GL_SHORT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_SHORT4: *f = {4, GL_SHORT, GL_FALSE, false}; return true;
    case D3DDECLTYPE_UBYTE4N: *f = {4, GL_UNSIGNED_BYTE, GL_TRUE, false}; return true;
    case 9: *f = {2, GL_SHORT, GL_TRUE, false}; return true;            // SHORT2N
    case 10: *f = {4, GL_SHORT, GL_TRUE, false}; return true;           // SHORT4N
    case 11: *f = {2, GL_UNSIGNED_SHORT, GL_TRUE, false}; return true;  // USHORT2N
    case 12: *f = {4, GL_UNSIGNED_SHORT, GL_TRUE, false}; return true;  // USHORT4N
    case 15: *f = {2, GL_HALF_FLOAT, GL_FALSE, false}; return true;     // FLOAT16_2
    case 16: *f = {4, GL_HALF_FLOAT, GL_FALSE, false}; return true;     // FLOAT16_4
  }
  return false;  // UDEC3 and DEC3N have no GL counterpart
}

GLenum Mode(D3DPRIMITIVETYPE t) {
  switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
  }
}

void Set(GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); }

}  // namespace

int AttributeLocation(BYTE usage, BYTE index) {
  switch (usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT: return index == 0 ? 0 : -1;
    case D3DDECLUSAGE_BLENDWEIGHT: return index == 0 ? 1 : -1;
    case D3DDECLUSAGE_BLENDINDICES: return index == 0 ? 2 : -1;
    case D3DDECLUSAGE_NORMAL: return index == 0 ? 3 : -1;
    case D3DDECLUSAGE_COLOR: return index < 2 ? 4 + index : -1;
    case D3DDECLUSAGE_TANGENT: return index == 0 ? 6 : -1;
    case D3DDECLUSAGE_BINORMAL: return index == 0 ? 7 : -1;
    case D3DDECLUSAGE_TEXCOORD: return index < 8 ? 8 + index : -1;
  }
  return -1;
}

bool UsesPretransformed(const Element* elements, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (elements[i].usage == D3DDECLUSAGE_POSITIONT) return true;
  }
  return false;
}

unsigned CreateTexture(D3DFORMAT format, UINT width, UINT height, UINT levels) {
  GlFormat g = FormatOf(format);
  if (!g.internal) return 0;
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels ? levels - 1 : 0));
  glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, g.swizzle);
  glTexStorage2D(GL_TEXTURE_2D, static_cast<GLsizei>(std::max(1u, levels)), g.internal, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height));
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &t);
    return 0;
  }
  return t;
}

void DeleteTexture(unsigned texture) {
  if (!texture) return;
  // A name can come back for another texture: forget what was attached.
  for (unsigned t : g_attached.texture) {
    if (t == texture) g_attached.valid = false;
  }
  glDeleteTextures(1, &texture);
}

bool Upload(unsigned texture, UINT level, const Pixels& p) {
  GlFormat g = FormatOf(p.format);
  if (!texture || !g.internal || g.depth != IsDepthFormat(p.format)) return false;
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const auto w = static_cast<GLsizei>(p.width), h = static_cast<GLsizei>(p.height);
  if (IsDxt(p.format) && !g.converted) {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const size_t bytes = static_cast<size_t>(p.pitch) * ((p.height + 3) / 4);
    glCompressedTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, g.internal,
                              static_cast<GLsizei>(bytes), p.bits);
  } else if (g.converted) {
    std::vector<float> floats;
    std::vector<BYTE> bytes;
    if (IsDxt(p.format)) {
      const size_t pitch = static_cast<size_t>((p.width + 3) & ~3u) * 4;
      bytes.assign(pitch * ((p.height + 3) & ~3u), 0);
      const UINT block = BlockBytes(p.format);
      for (UINT by = 0; by < (p.height + 3) / 4; ++by) {
        for (UINT bx = 0; bx < (p.width + 3) / 4; ++bx) {
          DecodeBlock(p.format, p.bits + static_cast<size_t>(by) * p.pitch + static_cast<size_t>(bx) * block,
                      bytes.data() + by * 4 * pitch + bx * 16, pitch, 4, 4);
        }
      }
      glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / 4));
      glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    } else {
      const UINT bpp = BytesPerPixel(p.format);
      floats.resize(static_cast<size_t>(p.width) * p.height * 4);
      for (UINT y = 0; y < p.height; ++y) {
        for (UINT x = 0; x < p.width; ++x) {
          DecodePixel(p.format, p.bits + static_cast<size_t>(y) * p.pitch + static_cast<size_t>(x) * bpp,
                      &floats[(static_cast<size_t>(y) * p.width + x) * 4]);
        }
      }
      glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
      glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, GL_RGBA, GL_FLOAT, floats.data());
    }
  } else {
    const UINT bpp = BytesPerPixel(p.format);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(p.pitch / bpp));
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, g.format, g.type, p.bits);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return glGetError() == GL_NO_ERROR;
}

bool Readback(unsigned texture, UINT level, const Pixels& p) {
  GlFormat g = FormatOf(p.format);
  if (!texture || !g.internal || g.compressed || IsDxt(p.format)) return false;
  Setup();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, g_readFbo);
  GLenum attach = GL_COLOR_ATTACHMENT0;
  if (g.depth) attach = g.format == GL_DEPTH_STENCIL ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, attach, GL_TEXTURE_2D, texture, static_cast<GLint>(level));
  if (!g.depth) glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const auto w = static_cast<GLsizei>(p.width), h = static_cast<GLsizei>(p.height);
  const UINT bpp = BytesPerPixel(p.format);
  bool ok = true;
  if (g.converted) {
    std::vector<float> floats(static_cast<size_t>(p.width) * p.height * 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, floats.data());
    for (UINT y = 0; y < p.height; ++y) {
      for (UINT x = 0; x < p.width; ++x) {
        EncodePixel(p.format, &floats[(static_cast<size_t>(y) * p.width + x) * 4],
                    p.bits + static_cast<size_t>(y) * p.pitch + static_cast<size_t>(x) * bpp);
      }
    }
  } else {
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(p.pitch / bpp));
    glReadPixels(0, 0, w, h, g.format, g.type, p.bits);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  }
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, attach, GL_TEXTURE_2D, 0, 0);
  ok = glGetError() == GL_NO_ERROR;
  return ok;
}

unsigned CreateBuffer() {
  GLuint b = 0;
  glGenBuffers(1, &b);
  return b;
}

void DeleteBuffer(unsigned buffer) {
  if (buffer) glDeleteBuffers(1, &buffer);
}

void UploadBuffer(unsigned buffer, const void* data, size_t bytes) {
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), data, GL_DYNAMIC_DRAW);
}

Program* CreateProgram(const std::string& vertex, const std::string& pixel, std::string* error) {
  GLuint vs = CompileStage(GL_VERTEX_SHADER, vertex, error);
  if (!vs) return nullptr;
  GLuint ps = CompileStage(GL_FRAGMENT_SHADER, pixel, error);
  if (!ps) {
    glDeleteShader(vs);
    return nullptr;
  }
  GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, ps);
  glLinkProgram(p);
  glDeleteShader(vs);
  glDeleteShader(ps);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(p, sizeof log - 1, nullptr, log);
    if (error) *error = log;
    glDeleteProgram(p);
    return nullptr;
  }
  auto* program = new Program;
  program->name = p;
  program->viewport = glGetUniformLocation(p, "tarvel_viewport");
  program->alpha = glGetUniformLocation(p, "tarvel_alpha");
  program->point = glGetUniformLocation(p, "tarvel_point");
  program->world = glGetUniformLocation(p, "tarvel_world");
  program->view = glGetUniformLocation(p, "tarvel_view");
  program->projection = glGetUniformLocation(p, "tarvel_projection");
  program->textured = glGetUniformLocation(p, "tarvel_textured");
  glUseProgram(p);
  GLuint block = glGetUniformBlockIndex(p, "TarvelVS");
  if (block != GL_INVALID_INDEX) glUniformBlockBinding(p, block, 0);
  block = glGetUniformBlockIndex(p, "TarvelPS");
  if (block != GL_INVALID_INDEX) glUniformBlockBinding(p, block, 1);
  for (int i = 0; i < 16; ++i) {
    std::string name = "tarvel_s" + std::to_string(i);
    GLint at = glGetUniformLocation(p, name.c_str());
    if (at >= 0) glUniform1i(at, i);
  }
  return program;
}

void DeleteProgram(Program* program) {
  if (!program) return;
  glDeleteProgram(program->name);
  delete program;
}

void DropSharedObjects() {
  if (!g_vao) return;
  DeleteProgram(g_fixed);
  g_fixed = nullptr;
  glDeleteSamplers(16, g_samplers);
  glDeleteBuffers(2, g_ubo);
  glDeleteBuffers(17, g_streamBuffers);
  glDeleteVertexArrays(1, &g_vao);
  glDeleteFramebuffers(1, &g_readFbo);
  glDeleteFramebuffers(1, &g_fbo);
  g_fbo = g_readFbo = g_vao = 0;
  std::fill(std::begin(g_streamBuffers), std::end(g_streamBuffers), 0u);
  std::fill(std::begin(g_ubo), std::end(g_ubo), 0u);
  std::fill(std::begin(g_samplers), std::end(g_samplers), 0u);
  g_attached = Attached{};
}

void Clear(const Attachment colour[4], const Attachment& depth, const RECT& rect, DWORD flags, D3DCOLOR color, float z,
           DWORD stencil, DWORD colourMask) {
  Setup();
  AttachTargets(colour, depth);
  glEnable(GL_SCISSOR_TEST);
  glScissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  GLbitfield bits = 0;
  if (flags & D3DCLEAR_TARGET) {
    float rgba[4];
    ColorToFloats(color, rgba);
    glColorMask((colourMask & 1) != 0, (colourMask & 2) != 0, (colourMask & 4) != 0, (colourMask & 8) != 0);
    glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    bits |= GL_COLOR_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_ZBUFFER) && depth.texture) {
    glDepthMask(GL_TRUE);
    glClearDepth(z);
    bits |= GL_DEPTH_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_STENCIL) && depth.texture) {
    glStencilMask(0xFF);
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    bits |= GL_STENCIL_BUFFER_BIT;
  }
  glClear(bits);
  glDisable(GL_SCISSOR_TEST);
}

bool Blit(const Attachment& source, const RECT& sr, const Attachment& dest, const RECT& dr, bool linear) {
  Setup();
  Attachment colour[4] = {dest};
  AttachTargets(colour, Attachment{});  // binds the drawing framebuffer for reading too
  glBindFramebuffer(GL_READ_FRAMEBUFFER, g_readFbo);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, source.texture,
                         static_cast<GLint>(source.level));
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  // Both keep their top row first: no turning over.
  glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top, dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                    linear ? GL_LINEAR : GL_NEAREST);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  return glGetError() == GL_NO_ERROR;
}

bool Draw(const DrawState& s, D3DPRIMITIVETYPE type, UINT first, UINT vertexCount, const Indices* indices) {
  Setup();
  if (!AttachTargets(s.colour, s.depth)) return false;
  const DWORD* rs = s.renderStates;
  const D3DVIEWPORT9& vp = s.viewport;
  glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
             static_cast<GLsizei>(vp.Height));
  glDepthRange(vp.MinZ, vp.MaxZ);
  // Depth and stencil.
  const bool hasDepth = s.depth.texture != 0;
  Set(GL_DEPTH_TEST, hasDepth && rs[D3DRS_ZENABLE] != 0);
  glDepthFunc(Compare(rs[D3DRS_ZFUNC]));
  glDepthMask(hasDepth && rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  Set(GL_STENCIL_TEST, hasDepth && rs[D3DRS_STENCILENABLE] != 0);
  glStencilFunc(Compare(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF]), rs[D3DRS_STENCILMASK]);
  glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]), StencilOp(rs[D3DRS_STENCILPASS]));
  glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
  float slope, bias;
  std::memcpy(&slope, &rs[D3DRS_SLOPESCALEDEPTHBIAS], 4);
  std::memcpy(&bias, &rs[D3DRS_DEPTHBIAS], 4);
  Set(GL_POLYGON_OFFSET_FILL, slope != 0.0f || bias != 0.0f);
  // Direct3D's bias is in depth units; GL's unit is the depth format's step.
  glPolygonOffset(slope, bias * 16777215.0f);
  // Blending.
  Set(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
  if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
    glBlendFuncSeparate(Blend(rs[D3DRS_SRCBLEND]), Blend(rs[D3DRS_DESTBLEND]), Blend(rs[207]), Blend(rs[208]));
    glBlendEquationSeparate(BlendOp(rs[D3DRS_BLENDOP]), BlendOp(rs[209]));
  } else {
    glBlendFunc(Blend(rs[D3DRS_SRCBLEND]), Blend(rs[D3DRS_DESTBLEND]));
    glBlendEquation(BlendOp(rs[D3DRS_BLENDOP]));
  }
  float factor[4];
  ColorToFloats(rs[193], factor);
  glBlendColor(factor[0], factor[1], factor[2], factor[3]);
  const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
  glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
  // Culling: rows are stored top first, so Direct3D's clockwise is GL's
  // counter-clockwise.
  glFrontFace(GL_CCW);
  const DWORD cull = rs[D3DRS_CULLMODE];
  Set(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
  glCullFace(cull == D3DCULL_CW ? GL_FRONT : GL_BACK);
  glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == 1 ? GL_POINT : rs[D3DRS_FILLMODE] == 2 ? GL_LINE : GL_FILL);
  glDisable(GL_SCISSOR_TEST);

  // Program.
  const bool pretransformed = UsesPretransformed(s.elements, s.elementCount);
  Program* p = s.program ? s.program : g_fixed;
  if (!p) return false;
  glUseProgram(p->name);
  if (p->viewport >= 0) {
    glUniform4f(p->viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                static_cast<float>(vp.Height));
  }
  if (p->alpha >= 0) {
    glUniform2f(p->alpha, rs[D3DRS_ALPHATESTENABLE] ? static_cast<float>(rs[D3DRS_ALPHAFUNC]) : 8.0f,
                static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  }
  if (p->point >= 0) {
    // A point sprite spans texture coordinates 0 to 1; without a size from
    // the shader a point takes the render state's, within the device's caps.
    float size = 1.0f;
    std::memcpy(&size, &rs[D3DRS_POINTSIZE], 4);
    size = size >= 1.0f ? (size <= kMaxPointSize ? size : kMaxPointSize) : 1.0f;
    glUniform2f(p->point, type == D3DPT_POINTLIST && rs[D3DRS_POINTSPRITEENABLE] ? 1.0f : 0.0f, size);
  }
  if (!s.program) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Row-vector matrices read as GL's column-major ones are transposed:
    // world * view * projection applied to a row vector is what GL's
    // projection * view * world does to a column vector.
    glUniformMatrix4fv(p->world, 1, GL_FALSE, s.world ? s.world : identity);
    glUniformMatrix4fv(p->view, 1, GL_FALSE, s.view ? s.view : identity);
    glUniformMatrix4fv(p->projection, 1, GL_FALSE, s.projection ? s.projection : identity);
    glUniform1i(glGetUniformLocation(p->name, "tarvel_pretransformed"), pretransformed ? 1 : 0);
    bool textured = s.textures[0] != 0 && s.stageStates && s.stageStates[0][D3DTSS_COLOROP] != D3DTOP_DISABLE &&
                    s.stageStates[0][D3DTSS_COLOROP] != D3DTOP_SELECTARG2;
    glUniform1i(p->textured, textured ? 1 : 0);
  }
  if (s.vertexBytes) {
    glBindBuffer(GL_UNIFORM_BUFFER, g_ubo[0]);
    glBufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(s.vertexBytes), s.vertexConstants, GL_STREAM_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, g_ubo[0]);
  }
  if (s.pixelBytes) {
    glBindBuffer(GL_UNIFORM_BUFFER, g_ubo[1]);
    glBufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(s.pixelBytes), s.pixelConstants, GL_STREAM_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, g_ubo[1]);
  }
  // Textures and their samplers.
  for (GLuint unit = 0; unit < 16; ++unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, s.textures[unit]);
    if (s.textures[unit]) {
      GLint maxLevel = 0;
      glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &maxLevel);
      ApplySampler(g_samplers[unit], s.samplerStates[unit], maxLevel > 0);
      glBindSampler(unit, g_samplers[unit]);
    }
  }
  glActiveTexture(GL_TEXTURE0);

  // Vertices.
  glBindVertexArray(g_vao);
  for (GLuint i = 0; i < 16; ++i) glDisableVertexAttribArray(i);
  // Inputs the vertices lack read as Direct3D's defaults: white colours.
  glVertexAttrib4f(4, 1, 1, 1, 1);
  glVertexAttrib4f(5, 1, 1, 1, 1);
  bool uploaded[16] = {};
  for (size_t e = 0; e < s.elementCount; ++e) {
    const Element& el = s.elements[e];
    int location = AttributeLocation(el.usage, el.usageIndex);
    AttribFormat f;
    if (location < 0 || el.stream >= 16 || !AttribOf(el.type, &f)) continue;
    const Stream& st = s.streams[el.stream];
    GLuint buffer = st.buffer;
    if (!buffer && st.data) {
      buffer = g_streamBuffers[el.stream];
      if (!uploaded[el.stream]) {
        UploadBuffer(buffer, st.data, st.bytes);
        uploaded[el.stream] = true;
      }
    }
    if (!buffer) continue;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), f.size, f.type, f.normalised, static_cast<GLsizei>(st.stride),
                          reinterpret_cast<const void*>(static_cast<uintptr_t>(st.offset + el.offset)));
  }
  const GLenum mode = Mode(type);
  if (indices) {
    GLuint buffer = indices->buffer;
    if (!buffer) {
      buffer = g_streamBuffers[16];
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices->bytes), indices->data, GL_STREAM_DRAW);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    const size_t size = indices->wide ? 4 : 2;
    glDrawElementsBaseVertex(mode, static_cast<GLsizei>(vertexCount),
                             indices->wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(indices->start * size)),
                             indices->baseVertex);
  } else {
    glDrawArrays(mode, static_cast<GLint>(first), static_cast<GLsizei>(vertexCount));
  }
  glBindVertexArray(0);
  return glGetError() == GL_NO_ERROR;
}

}  // namespace platform::d3d9::gl
