#include "physics/object_memory.h"

#include <cstring>
#include <new>

#include "physics/list.h"
#include "physics/memory.h"
#include "physics/rb_tree.h"

namespace {

// The size word sits just in front of the block; the header keeps 16-byte alignment.
constexpr std::size_t kHeader = 16;
constexpr std::size_t kMaxSize = 0x7FFFFFFF - kHeader;

struct ObjectMemory {
    phRbTree<phList<void*>> sizes;
    std::uint32_t live = 0;
};

ObjectMemory* g_memory = nullptr;

ObjectMemory* Get()
{
    if (g_memory == nullptr) {
        phEnsureTeardown();
        void* mem = phMalloc(sizeof(ObjectMemory));
        if (mem != nullptr) {
            g_memory = ::new (mem) ObjectMemory();
        }
    }
    return g_memory;
}

std::size_t SizeOf(void* block)
{
    std::size_t size = 0;
    std::memcpy(&size, static_cast<unsigned char*>(block) - sizeof(size), sizeof(size));
    return size;
}

}  // namespace

void* ObjectAlloc(std::size_t size)
{
    ObjectMemory* m = Get();
    if (m == nullptr || size > kMaxSize) {
        return nullptr;
    }
    if (auto* node = m->sizes.Find(static_cast<std::uint32_t>(size))) {
        if (auto* first = node->payload.First()) {
            void* block = first->payload;
            node->payload.Remove(first);
            if (node->payload.Count() == 0) {
                m->sizes.Remove(node);
            }
            ++m->live;
            return block;
        }
    }
    auto* raw = static_cast<unsigned char*>(phMalloc(size + kHeader));
    if (raw == nullptr) {
        return nullptr;
    }
    unsigned char* block = raw + kHeader;
    std::memcpy(block - sizeof(size), &size, sizeof(size));
    ++m->live;
    return block;
}

void ObjectFree(void* block)
{
    if (block == nullptr) {
        return;
    }
    ObjectMemory* m = Get();
    const std::size_t size = SizeOf(block);
    auto* node = m != nullptr ? m->sizes.Insert(static_cast<std::uint32_t>(size)) : nullptr;
    if (node == nullptr || node->payload.Append(block) == nullptr) {
        // No room to keep it: hand it straight back.
        phFree(static_cast<unsigned char*>(block) - kHeader);
        if (node != nullptr && node->payload.Count() == 0) {
            m->sizes.Remove(node);
        }
    }
    if (m != nullptr && m->live > 0) {
        --m->live;
    }
}

std::uint32_t ObjectMemoryLiveCount() { return g_memory != nullptr ? g_memory->live : 0; }

std::uint32_t ObjectMemoryFreeCount(std::size_t size)
{
    if (g_memory == nullptr || size > kMaxSize) {
        return 0;
    }
    const auto* node = g_memory->sizes.Find(static_cast<std::uint32_t>(size));
    return node != nullptr ? static_cast<std::uint32_t>(node->payload.Count()) : 0u;
}

void phObjectMemoryTeardown()
{
    if (g_memory == nullptr) {
        return;
    }
    for (auto* node = g_memory->sizes.Minimum(); node != nullptr; node = phRbTree<phList<void*>>::Next(node)) {
        for (auto* entry = node->payload.First(); entry != nullptr; entry = entry->next) {
            phFree(static_cast<unsigned char*>(entry->payload) - kHeader);
        }
    }
    g_memory->~ObjectMemory();
    phFree(g_memory);
    g_memory = nullptr;
}
