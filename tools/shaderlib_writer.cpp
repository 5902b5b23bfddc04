#include "tools/shaderlib_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace testkit {
namespace {

constexpr size_t kNameField = 32;

void Put32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

constexpr NamedBinding kNamedBindings[] = {
    {"image_basic", "image_basic"},
    {"image_basic", "image_blended"},
    {"image_basic", "image_blended_nozwrite"},
    {"image_basic", "image_blended_noalpha"},
    {"text", "text_basic"},
    {"text", "text_blended"},
    {"scenery_unlit", "scenery_unlit"},
    {"scenery_depthset", "scenery_depthset"},
    {"scenery_lit", "scenery_lit"},
    {"scenery_cmv", "scenery_cmv"},
    {"scenery_cmv", "scenery_cmva"},
    {"mobile_basic", "one_light"},
    {"mobile_basic", "two_lights"},
    {"mobile_basic", "three_lights"},
    {"mobile_basic", "four_lights"},
    {"mobile_basic", "five_lights"},
    {"mobile_basic", "six_lights"},
    {"mobile_normal", "one_light"},
    {"mobile_normal", "two_lights"},
    {"mobile_normal", "three_lights"},
    {"mobile_normal", "four_lights"},
    {"mobile_normal", "five_lights"},
    {"mobile_normal", "six_lights"},
    {"mobile_hair", "one_light"},
    {"mobile_hair", "two_lights"},
    {"mobile_hair", "three_lights"},
    {"mobile_hair", "four_lights"},
    {"mobile_hair_normal", "one_light"},
    {"mobile_hair_normal", "two_lights"},
    {"mobile_hair_normal", "three_lights"},
    {"mobile_hair_normal", "four_lights"},
    {"shadow_cast", "cast_mobile"},
    {"shadow_scenery", "base"},
    {"shadow_scenery", "notex"},
    {"shadow_mobile", "base"},
    {"shadow_mobile", "notex"},
};

}  // namespace

void PutShaderLibName(Bytes& out, std::string_view name) {
  const size_t kept = std::min(name.size(), kNameField - 1);
  out.insert(out.end(), name.begin(), name.begin() + kept);
  out.insert(out.end(), kNameField - kept, 0);
}

Bytes BuildShaderLibrary(std::string_view name, uint32_t build,
                         std::span<const ShaderLibEntry> entries, bool terminate) {
  Bytes out;
  PutShaderLibName(out, name);
  Put32(out, build);
  for (const ShaderLibEntry& entry : entries) {
    PutShaderLibName(out, entry.name);
    Put32(out, uint32_t(entry.data.size()));
    out.insert(out.end(), entry.data.begin(), entry.data.end());
  }
  if (terminate) {
    PutShaderLibName(out, "");
    Put32(out, 0);
  }
  return out;
}

std::span<const NamedBinding> EngineNamedBindings() { return kNamedBindings; }

std::string MinimalEffectSource(std::span<const std::string> techniques, std::string_view profile) {
  std::string text =
      "// Shared camera matrices, the image and text switches, and one\n"
      "// pass-through pass per technique.\n"
      "shared float4x4 World : WORLD;\n"
      "shared float4x4 View : VIEW;\n"
      "shared float4x4 WorldView : WORLDVIEW;\n"
      "shared float4x4 ViewInv : VIEWINVERSE;\n"
      "shared float4x4 Proj : PROJECTION;\n"
      "shared float4x4 ViewProj : VIEWPROJECTION;\n"
      "shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;\n"
      "shared float4x4 WorldInv : WORLDINVERSE;\n"
      "shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;\n"
      "texture tex;\n"
      "bool blend = false;\n"
      "int alphaop = 1;\n"
      "bool depth = true;\n"
      "int filter = 2;\n"
      "sampler texSampler = sampler_state\n"
      "{\n"
      "    Texture = <tex>;\n"
      "    MinFilter = Linear;\n"
      "    MagFilter = Linear;\n"
      "};\n"
      "float4 VS(float4 position : POSITION) : POSITION\n"
      "{\n"
      "    return mul(position, WorldViewProj);\n"
      "}\n"
      "float4 PS() : COLOR\n"
      "{\n"
      "    return float4(1, 1, 1, 1);\n"
      "}\n";
  for (const std::string& technique : techniques) {
    text += "technique " + technique + "\n{\n    pass p0\n    {\n";
    text += "        VertexShader = compile vs_" + std::string(profile) + " VS();\n";
    text += "        PixelShader = compile ps_" + std::string(profile) + " PS();\n";
    text += "    }\n}\n";
  }
  return text;
}

std::vector<ShaderLibEntry> MinimalEngineEffects() {
  std::vector<ShaderLibEntry> entries;
  std::vector<std::vector<std::string>> techniques;
  for (const NamedBinding& binding : kNamedBindings) {
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const ShaderLibEntry& e) { return e.name == binding.effect; });
    size_t index = size_t(it - entries.begin());
    if (it == entries.end()) {
      entries.push_back({binding.effect, {}});
      techniques.emplace_back();
    }
    techniques[index].push_back(binding.technique);
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    // The engine binds the last valid technique whose name is the one asked
    // for or one character longer: "scenery_cmva" must come before
    // "scenery_cmv" for a request of "scenery_cmv" to get its own.
    std::stable_sort(techniques[i].begin(), techniques[i].end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    const std::string text = MinimalEffectSource(techniques[i]);
    entries[i].data.assign(text.begin(), text.end());
  }
  return entries;
}

Bytes BuildShaderLibraryFromFolder(const std::filesystem::path& folder, std::string_view name,
                                   uint32_t build, std::string* error) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(folder, ec))
    if (item.is_regular_file() && item.path().extension() == ".fx") files.push_back(item.path());
  if (ec) {
    if (error) *error = "cannot read " + folder.string();
    return {};
  }
  std::sort(files.begin(), files.end());
  std::vector<ShaderLibEntry> entries;
  for (const auto& file : files) {
    const std::string stem = file.stem().string();
    if (stem.size() >= kNameField) {
      if (error) *error = "effect name too long: " + stem;
      return {};
    }
    std::ifstream in(file, std::ios::binary);
    ShaderLibEntry entry{stem, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    entries.push_back(std::move(entry));
  }
  return BuildShaderLibrary(name, build, entries);
}

}  // namespace testkit
