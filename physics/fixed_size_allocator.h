#pragma once

#include <cstddef>
#include <cstdint>

class phAllocator;

// Hands out elements of one size from 16-byte aligned chunks. Containers of
// one kind share one allocator through a global slot (Shared).
class phFixedSizeAllocator {
public:
    // New allocator entered into the global list; null when out of memory.
    static phFixedSizeAllocator* Create(std::size_t elementSize, std::uint32_t chunkKilobytes);
    // The allocator in *slot, created on first use; the exit handler clears the slot.
    static phFixedSizeAllocator* Shared(phFixedSizeAllocator** slot, std::size_t elementSize);
    // Destroys every allocator (exit handler).
    static void DestroyAll();

    // Null when a new chunk cannot be had.
    void* Alloc();
    // When the last live element comes back, every chunk is returned.
    void Free(void* element);

    std::size_t ElementSize() const { return m_elementSize; }
    std::uint32_t LiveCount() const { return m_live; }
    std::uint32_t ChunkCount() const { return m_chunkCount; }
    std::uint32_t ElementsPerChunk() const { return m_perChunk; }

private:
    phFixedSizeAllocator(phAllocator* creator, std::size_t elementSize, std::uint32_t chunkKilobytes);
    ~phFixedSizeAllocator();
    void ReleaseChunks();

    struct Chunk;
    struct FreeElement {
        FreeElement* next;
    };

    phAllocator* m_creator;
    phFixedSizeAllocator* m_nextAllocator = nullptr;
    phFixedSizeAllocator** m_slot = nullptr;
    std::size_t m_elementSize;
    std::uint32_t m_perChunk;
    std::size_t m_chunkBytes;
    Chunk* m_chunks = nullptr;
    std::uint32_t m_chunkCount = 0;
    std::uint32_t m_chunkUsed = 0;
    FreeElement* m_free = nullptr;
    std::uint32_t m_live = 0;
};
