#include "platform/d3d9/gl_context.h"
// Before the GL headers, whose APIENTRY the Windows types would redefine.
#include "platform/d3d9/gl_renderer.h"

#include <dlfcn.h>
#include <link.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform::d3d9::gl {
namespace {

struct Context {
  bool tried = false;
  bool ok = false;
  int shares = 0;
  bool s3tc = false;
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
};

Context g_context;
std::mutex g_mutex;

bool HasExtension(const char* name) {
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint i = 0; i < count; ++i) {
    const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
    if (e && std::strcmp(e, name) == 0) return true;
  }
  return false;
}

// The driver keeps memory in its globals that it never frees; were it
// unloaded when the display goes, that memory would look leaked. It stays
// for the process, as a later device would load it again anyway.
void KeepDriverLoaded() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        if (std::strstr(info->dlpi_name, "_dri.so")) dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        return 0;
      },
      nullptr);
}

// Surfaceless needs no window system at all; it is what tests, CI and a
// server without a display have.
bool Create(Context* c) {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) return false;
  c->display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (c->display == EGL_NO_DISPLAY) return false;
  EGLint major = 0, minor = 0;
  if (!eglInitialize(c->display, &major, &minor)) return false;
  KeepDriverLoaded();
  if (!eglBindAPI(EGL_OPENGL_API)) return false;
  const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(c->display, configAttribs, &config, 1, &configs)) configs = 0;
  // Newest first: 4.5 has clip control in core; 3.3 needs the extension.
  const EGLint versions[][2] = {{4, 5}, {3, 3}};
  for (const auto& v : versions) {
    const EGLint attribs[] = {EGL_CONTEXT_MAJOR_VERSION, v[0], EGL_CONTEXT_MINOR_VERSION, v[1],
                              EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    c->context = eglCreateContext(c->display, configs > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attribs);
    if (c->context != EGL_NO_CONTEXT) break;
  }
  if (c->context == EGL_NO_CONTEXT) return false;
  if (!eglMakeCurrent(c->display, EGL_NO_SURFACE, EGL_NO_SURFACE, c->context)) return false;
  GLint glMajor = 0, glMinor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &glMajor);
  glGetIntegerv(GL_MINOR_VERSION, &glMinor);
  bool clipControl = glMajor > 4 || (glMajor == 4 && glMinor >= 5) || HasExtension("GL_ARB_clip_control");
  if (glMajor < 3 || (glMajor == 3 && glMinor < 3) || !clipControl) return false;
  c->s3tc = HasExtension("GL_EXT_texture_compression_s3tc");
  // Direct3D's depth runs from 0 to 1.
  glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
  return true;
}

// Also after a failed Create: whatever it made goes, the driver's threads with it.
void Destroy(Context* c) {
  if (c->display == EGL_NO_DISPLAY) return;
  eglMakeCurrent(c->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (c->context != EGL_NO_CONTEXT) eglDestroyContext(c->display, c->context);
  eglTerminate(c->display);
  eglReleaseThread();
  c->display = EGL_NO_DISPLAY;
  c->context = EGL_NO_CONTEXT;
}

}  // namespace

bool Acquire() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Context& c = g_context;
  if (!c.tried) {
    c.tried = true;
    c.ok = Create(&c);
    if (!c.ok) {
      std::fprintf(stderr, "d3d9: no OpenGL 3.3 context with clip control through EGL\n");
      Destroy(&c);
    }
  }
  if (!c.ok) return false;
  if (eglGetCurrentContext() != c.context) eglMakeCurrent(c.display, EGL_NO_SURFACE, EGL_NO_SURFACE, c.context);
  ++c.shares;
  return true;
}

void Release() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Context& c = g_context;
  if (!c.ok || c.shares == 0 || --c.shares > 0) return;
  DropSharedObjects();
  Destroy(&c);
  c = Context{};
}

bool Alive() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_context.ok && g_context.shares > 0;
}

bool HasS3tc() { return g_context.ok && g_context.s3tc; }

}  // namespace platform::d3d9::gl
