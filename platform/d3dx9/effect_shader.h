// Shaders of effect passes: the effect's HLSL rewritten into what
// glslang's HLSL front end reads (Direct3D 10-style textures and samplers,
// no techniques or effect-only declarations), an entry point per compile
// call, then SPIR-V through glslang and GLSL 330 through SPIRV-Cross, with
// what the device needs to bind: vertex inputs at the device's attribute
// locations, stage outputs and inputs named by semantic, the parameters in
// one std140 block per stage, samplers named by their stage.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::d3dx9 {

// The source without techniques, texture and string declarations, `shared`,
// annotations and semantics of globals; each sampler S (numbered by
// `samplerStages`) as `S__t` and `S__s`, and tex2D-style calls on it as
// method calls. False with a message for text it cannot take apart.
bool RewriteEffectSource(std::string_view source, const std::map<std::string, int>& samplerStages, std::string* out,
                         std::string* error);

// Appends to `source` an entry point calling `function` with the literal
// `arguments` of a compile call (`VS(2)`: its uniform parameters bound to
// them) and names it in *entry. With no arguments the function itself is
// the entry point.
bool AddEntryPoint(std::string* source, const std::string& function, const std::string& arguments,
                   std::string* entry, std::string* error);

// Where one parameter sits in a stage's constant block.
struct ConstantSlot {
  std::string name;
  uint32_t offset = 0;
  uint32_t arrayStride = 0;
  uint32_t matrixStride = 0;
  bool columnsContiguous = false;  // else rows are
};

struct Varying {
  std::string name;  // "tarvel_COLOR0"
  uint32_t components = 4;
};

struct CompiledStage {
  std::string glsl;
  std::string glslWithoutAlphaTest;  // pixel stage: the same without the alpha test
  std::vector<ConstantSlot> constants;
  uint32_t constantBytes = 0;
  std::vector<Varying> inputs;  // pixel stage: what it reads from the vertex stage
};

// Compiles one entry point of rewritten source. False with glslang's or
// SPIRV-Cross's message.
bool CompileStage(const std::string& hlsl, const std::string& entry, bool pixel,
                  const std::map<std::string, int>& samplerStages, CompiledStage* out, std::string* error);

// A vertex stage for pre-transformed vertices (they skip the effect's
// vertex shader, as Direct3D skips it): screen positions to clip space,
// the rest handed to the pixel stage's inputs by semantic.
std::string PretransformedVertexStage(const CompiledStage& pixel);

}  // namespace platform::d3dx9
