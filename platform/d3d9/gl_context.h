// The OpenGL context the device draws with. One per process, made when the
// first device takes a share of it and kept current on the drawing thread. It comes through EGL's
// surfaceless platform (Mesa, llvmpipe without a GPU): frames are drawn
// off-screen and handed to the window as pixels, so the same path serves a
// desktop and a server. A context bound to a window surface would be made
// here as well.
#pragma once

namespace platform::d3d9::gl {

// Takes a share of the context and makes it current, creating it when no
// share is held; false (and no share taken) when no OpenGL 3.3 core context
// with clip control can be had.
bool Acquire();
// Gives a share back. The last one destroys the context and lets the driver
// go, which ends the driver's own threads: none may be left running when
// the process exits (the leak checker stops every thread then, and its
// tracer can crash on one that is still exiting).
void Release();
// Whether a context exists now (a share is held).
bool Alive();
// Whether the driver takes DXT blocks as they are.
bool HasS3tc();

}  // namespace platform::d3d9::gl
