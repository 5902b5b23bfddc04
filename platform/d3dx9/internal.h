// Shared inside the D3DX layer.
#pragma once

#include <atomic>

namespace platform::d3dx9 {

// Effects, pools and buffers alive.
extern std::atomic<int> g_liveObjects;

}  // namespace platform::d3dx9
