#include "physics/fixed_size_allocator.h"

#include <new>

#include "physics/allocator.h"
#include "physics/memory.h"

struct phFixedSizeAllocator::Chunk {
    Chunk* next;
    // Keeps the elements behind it 16-byte aligned.
    std::uint64_t pad;
};

namespace {
phFixedSizeAllocator* g_allocators = nullptr;
}

phFixedSizeAllocator::phFixedSizeAllocator(phAllocator* creator, std::size_t elementSize,
                                           std::uint32_t chunkKilobytes)
    : m_creator(creator)
{
    if (elementSize == 0) {
        elementSize = 1;
    }
    m_elementSize = (elementSize + 15) & ~std::size_t{15};
    const std::size_t chunkMin = std::size_t{chunkKilobytes} * 1024;
    std::size_t per = chunkMin / m_elementSize;
    if (per == 0) {
        per = 1;
    }
    m_perChunk = static_cast<std::uint32_t>(per);
    m_chunkBytes = per * m_elementSize;
    if (m_chunkBytes < chunkMin) {
        m_chunkBytes = chunkMin;
    }
}

phFixedSizeAllocator::~phFixedSizeAllocator() { ReleaseChunks(); }

phFixedSizeAllocator* phFixedSizeAllocator::Create(std::size_t elementSize, std::uint32_t chunkKilobytes)
{
    phEnsureTeardown();
    phAllocator* creator = phAllocator::GetDefault();
    if (creator == nullptr || elementSize > (std::size_t{1} << 30)) {
        return nullptr;
    }
    void* block = creator->Malloc(sizeof(phFixedSizeAllocator));
    if (block == nullptr) {
        return nullptr;
    }
    auto* a = ::new (block) phFixedSizeAllocator(creator, elementSize, chunkKilobytes);
    a->m_nextAllocator = g_allocators;
    g_allocators = a;
    return a;
}

phFixedSizeAllocator* phFixedSizeAllocator::Shared(phFixedSizeAllocator** slot, std::size_t elementSize)
{
    if (*slot == nullptr) {
        *slot = Create(elementSize, 4);
        if (*slot != nullptr) {
            (*slot)->m_slot = slot;
        }
    }
    return *slot;
}

void phFixedSizeAllocator::DestroyAll()
{
    while (g_allocators != nullptr) {
        phFixedSizeAllocator* a = g_allocators;
        g_allocators = a->m_nextAllocator;
        if (a->m_slot != nullptr) {
            *a->m_slot = nullptr;
        }
        phAllocator* creator = a->m_creator;
        a->~phFixedSizeAllocator();
        creator->Free(a);
    }
}

void* phFixedSizeAllocator::Alloc()
{
    void* element = nullptr;
    if (m_free != nullptr) {
        element = m_free;
        m_free = m_free->next;
    } else {
        if (m_chunks == nullptr || m_chunkUsed >= m_perChunk) {
            void* block = phMalloc(sizeof(Chunk) + m_chunkBytes);
            if (block == nullptr) {
                return nullptr;
            }
            auto* chunk = static_cast<Chunk*>(block);
            chunk->next = m_chunks;
            m_chunks = chunk;
            ++m_chunkCount;
            m_chunkUsed = 0;
        }
        element = reinterpret_cast<unsigned char*>(m_chunks + 1) + std::size_t{m_chunkUsed} * m_elementSize;
        ++m_chunkUsed;
    }
    ++m_live;
    return element;
}

void phFixedSizeAllocator::Free(void* element)
{
    if (element == nullptr) {
        return;
    }
    auto* f = static_cast<FreeElement*>(element);
    f->next = m_free;
    m_free = f;
    if (--m_live == 0) {
        ReleaseChunks();
    }
}

void phFixedSizeAllocator::ReleaseChunks()
{
    while (m_chunks != nullptr) {
        Chunk* next = m_chunks->next;
        phFree(m_chunks);
        m_chunks = next;
    }
    m_chunkCount = 0;
    m_chunkUsed = 0;
    m_free = nullptr;
}
