// Test controls of the D3DX layer: what an effect holds (every parameter's
// value, the running technique and pass) and the live-object count.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/d3dx9/d3dx9_effect.h"

namespace platform::testing {

// A parameter's current value as floats (bools and ints converted; a
// matrix row by row), or nothing for an unknown name or a texture,
// sampler or string parameter.
std::optional<std::vector<float>> EffectFloats(ID3DXEffect* effect, const char* name);
// The texture a texture parameter holds (null when none); nothing for an
// unknown name or another type.
std::optional<IDirect3DBaseTexture9*> EffectTexture(ID3DXEffect* effect, const char* name);

struct EffectRunState {
  std::string technique;  // current technique, empty when none
  bool begun = false;
  int pass = -1;  // the pass begun, −1 outside a pass
  int lostCount = 0;  // OnLostDevice calls not yet matched by OnResetDevice
  int commits = 0;  // CommitChanges calls
};
EffectRunState EffectState(ID3DXEffect* effect);

// Effects, pools and buffers not yet freed.
int LiveD3DX9Objects();

}  // namespace platform::testing
