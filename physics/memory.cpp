#include "physics/memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "physics/allocator.h"
#include "physics/fixed_size_allocator.h"
#include "physics/name_registry.h"
#include "physics/object_memory.h"

namespace {

void* DefaultAlloc(std::size_t size) { return std::malloc(size); }
void DefaultRelease(void* block, std::size_t) { std::free(block); }

phAllocHook g_alloc = DefaultAlloc;
phReleaseHook g_release = DefaultRelease;

// Two pointer-sized words in front of each block: the hook's size, then its address.
constexpr std::size_t kHeader = 32;

void Teardown()
{
    phObjectMemoryTeardown();
    phNameRegistry::Teardown();
    // The allocators hand themselves back to the default allocator object, so it goes last.
    phFixedSizeAllocator::DestroyAll();
    phAllocator::ResetDefault();
}

}  // namespace

void phSetMemoryHooks(phAllocHook allocate, phReleaseHook release)
{
    if (allocate == nullptr || release == nullptr) {
        allocate = DefaultAlloc;
        release = DefaultRelease;
    }
    g_alloc = allocate;
    g_release = release;
}

void* phMalloc(std::size_t size)
{
    if (size == 0 || size > SIZE_MAX - kHeader) {
        return nullptr;
    }
    const std::size_t total = size + kHeader;
    void* raw = g_alloc(total);
    if (raw == nullptr) {
        return nullptr;
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t user = (start & ~std::uintptr_t{15}) + kHeader;
    auto* bytes = reinterpret_cast<unsigned char*>(user);
    std::memcpy(bytes - sizeof(void*), &raw, sizeof(void*));
    std::memcpy(bytes - 2 * sizeof(void*), &total, sizeof(total));
    return bytes;
}

void phFree(void* block)
{
    if (block == nullptr) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(block);
    void* raw = nullptr;
    std::size_t total = 0;
    std::memcpy(&raw, bytes - sizeof(void*), sizeof(void*));
    std::memcpy(&total, bytes - 2 * sizeof(void*), sizeof(total));
    g_release(raw, total);
}

void phEnsureTeardown()
{
    static const bool registered = [] {
        std::atexit(Teardown);
        return true;
    }();
    (void)registered;
}
