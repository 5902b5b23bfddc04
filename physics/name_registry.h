#pragma once

#include <cstddef>
#include <cstdint>

// Hash to name, for names hashed through phNameHash(const char*). Names are
// copied into text blocks of 7,936 bytes; a hash is entered once.
class phNameRegistry {
public:
    static constexpr std::size_t kBlockBytes = 7936;

    static void Add(std::uint32_t hash, const char* name, std::size_t length);
    // Null when the hash was never entered.
    static const char* Find(std::uint32_t hash);
    static std::uint32_t Count();
    // Returns the text blocks and empties the tree (exit handler).
    static void Teardown();
};
