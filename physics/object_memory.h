#pragma once

#include <cstddef>
#include <cstdint>

// Memory of the library's counted objects. Freed blocks are kept per size and
// handed out again oldest first; they go back to phFree only at exit.
// Blocks are 16-byte aligned; the size sits in the word in front.
void* ObjectAlloc(std::size_t size);
void ObjectFree(void* block);

// Blocks handed out and not yet freed.
std::uint32_t ObjectMemoryLiveCount();
// Freed blocks of this size waiting to be handed out again.
std::uint32_t ObjectMemoryFreeCount(std::size_t size);
// Returns every kept block and empties the size tree (exit handler).
void phObjectMemoryTeardown();
