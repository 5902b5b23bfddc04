#pragma once

#include <cstddef>
#include <cstdint>

// The library's 32-bit checksum: h = (h << 8) ^ T[(h >> 24) ^ byte].
// Used for class ids, object names and shape signatures; values are
// compared only within one run.
std::uint32_t phNameHash(const void* bytes, std::size_t length, std::uint32_t seed);

// Hash of a zero-terminated name with seed 0; the name is also entered into
// the name registry.
std::uint32_t phNameHash(const char* name);
