// The OpenGL context the device draws with. One per process, made on first
// use and kept current on the drawing thread. It comes through EGL's
// surfaceless platform (Mesa, llvmpipe without a GPU): frames are drawn
// off-screen and handed to the window as pixels, so the same path serves a
// desktop and a server. A context bound to a window surface would be made
// here as well.
#pragma once

namespace platform::d3d9::gl {

// Makes the context current, creating it on the first call; false when no
// OpenGL 3.3 core context with clip control can be had.
bool MakeCurrent();
// Whether the driver takes DXT blocks as they are.
bool HasS3tc();

}  // namespace platform::d3d9::gl
