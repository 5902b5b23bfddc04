#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

// Size of each text field of the project record.
constexpr size_t kProjectFieldSize = 64;

// The "project" resource: the project name and the build text, each in a
// 64-byte field padded with zeros (a longer text is cut at the field), then
// the "Main" script image.
Bytes BuildProject(std::string_view name, std::string_view build, const Bytes& scriptImage);

} // namespace testkit
