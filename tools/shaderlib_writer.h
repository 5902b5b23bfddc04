#pragma once
// Writes the shader library file: a 36-byte header {name[32], build}, then
// entries {name[32], size, size bytes of effect source}, ended by an entry
// header of size 0. Tests, the engine's test fixture and the sample game
// build their libraries with it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

struct ShaderLibEntry {
  std::string name;  // at most 31 bytes are kept, NUL-padded to 32
  Bytes data;
};

// The 32-byte name field, NUL-padded; a longer name is cut to 31 bytes.
void PutShaderLibName(Bytes& out, std::string_view name);
// Header, entries and the closing header of size 0 (left out with
// `terminate` false, for files that end without one).
Bytes BuildShaderLibrary(std::string_view name, uint32_t build,
                         std::span<const ShaderLibEntry> entries, bool terminate = true);

// The effects and techniques the engine binds at start-up, in the order of
// its table: {effect, technique}.
struct NamedBinding {
  const char* effect;
  const char* technique;
};
std::span<const NamedBinding> EngineNamedBindings();

// Effect source with the shared camera matrices, the image parameters and
// one technique of one pass per name, each compiled for `profile` ("2_0",
// "3_0", ...).
std::string MinimalEffectSource(std::span<const std::string> techniques,
                                 std::string_view profile = "2_0");
// One entry per effect of EngineNamedBindings(), each with the techniques
// the engine asks of it: enough for the engine to start.
std::vector<ShaderLibEntry> MinimalEngineEffects();

// A library of every "<name>.fx" file of a folder, in name order, each
// entry named by its file name without the extension. Empty with a message
// when the folder cannot be read or a name does not fit.
Bytes BuildShaderLibraryFromFolder(const std::filesystem::path& folder, std::string_view name,
                                   uint32_t build, std::string* error);

}  // namespace testkit
