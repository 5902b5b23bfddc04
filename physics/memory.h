#pragma once

#include <cstddef>

// Global allocation hooks of the library. The release hook gets back the
// address and the size that the allocation hook was asked for.
using phAllocHook = void* (*)(std::size_t size);
using phReleaseHook = void (*)(void* block, std::size_t size);

// Installs both hooks; a null hook selects the default (the C runtime's).
void phSetMemoryHooks(phAllocHook allocate, phReleaseHook release);

// 16-byte aligned block; null for size 0 or when the hook fails.
void* phMalloc(std::size_t size);
void phFree(void* block);

// The library's globals (allocators, name registry, object memory) are
// returned at process exit by one handler registered on first use.
void phEnsureTeardown();
