#pragma once
// Writes minimal Windows executables (a DLL image with one resource section)
// that carry a version resource, so the file-version services and whatever
// reads system libraries' versions can be tested without real libraries.

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// a.b.c.d packed as the version resource keeps it: (a << 48) | (b << 32) |
// (c << 16) | d, so dwFileVersionMS is the high half.
constexpr uint64_t PeVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  return (uint64_t(a) << 48) | (uint64_t(b) << 32) | (uint64_t(c) << 16) | d;
}

struct PeOptions {
  bool versionResource = true;  // false: a resource section without one
  uint64_t fileVersion = 0;
  uint64_t productVersion = 0;
  bool pe32Plus = false;  // the 64-bit image layout
};

std::vector<uint8_t> BuildExecutable(const PeOptions& options);
// Writes the image to a Linux path; false when the file cannot be written.
bool WriteExecutable(const std::string& linuxPath, const PeOptions& options);

}  // namespace testkit
