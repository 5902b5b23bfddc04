#include "physics/allocator.h"

#include <new>

#include "physics/memory.h"

namespace {
phAllocator* g_default = nullptr;
}

void* phAllocator::Malloc(std::size_t size) { return phMalloc(size); }

void phAllocator::Free(void* block) { phFree(block); }

phAllocator* phAllocator::GetDefault()
{
    if (g_default == nullptr) {
        phEnsureTeardown();
        void* block = phMalloc(sizeof(phAllocator));
        if (block == nullptr) {
            return nullptr;
        }
        g_default = ::new (block) phAllocator();
    }
    return g_default;
}

void phAllocator::ResetDefault()
{
    if (g_default != nullptr) {
        g_default->~phAllocator();
        phFree(g_default);
        g_default = nullptr;
    }
}
