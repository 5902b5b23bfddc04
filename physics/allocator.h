#pragma once

#include <cstddef>

// Allocator object through which the library's own allocators are created.
// The default one forwards to phMalloc / phFree.
class phAllocator {
public:
    virtual ~phAllocator() = default;
    virtual void* Malloc(std::size_t size);
    virtual void Free(void* block);

    // Built on first use, dropped by the exit handler.
    static phAllocator* GetDefault();
    static void ResetDefault();
};
