#include "physics/name_hash.h"

#include <array>
#include <cstring>

#include "physics/name_registry.h"

namespace {

// A fixed table of well-mixed words with the three entries the library is
// known by.
constexpr std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> t{};
    std::uint32_t state = 0x9E3779B9u;
    for (std::size_t i = 0; i < t.size(); ++i) {
        state += 0x6D2B79F5u;
        std::uint32_t z = state;
        z = (z ^ (z >> 15)) * (z | 1u);
        z ^= z + (z ^ (z >> 7)) * (z | 61u);
        t[i] = z ^ (z >> 14);
    }
    t[0] = 1u;
    t[1] = 0x2C11F801u;
    t[255] = 0xBB9CBE3Bu;
    return t;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t phNameHash(const void* bytes, std::size_t length, std::uint32_t seed)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::uint32_t h = seed;
    for (std::size_t i = 0; i < length; ++i) {
        h = (h << 8) ^ kTable[(h >> 24) ^ p[i]];
    }
    return h;
}

std::uint32_t phNameHash(const char* name)
{
    const std::size_t length = std::strlen(name);
    const std::uint32_t h = phNameHash(name, length, 0);
    phNameRegistry::Add(h, name, length);
    return h;
}
