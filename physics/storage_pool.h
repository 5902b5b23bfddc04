#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "physics/memory.h"

// Raw slots for objects of type T in pages of 64, with the free list kept
// inside the freed slots, so taking and returning a slot never touches the
// allocator once the pages exist. The caller constructs and destroys; pages
// go back only when the pool dies.
template <typename T>
class phStoragePool {
public:
    static constexpr std::uint32_t kObjectsPerPage = 64;

    phStoragePool() = default;
    phStoragePool(const phStoragePool&) = delete;
    phStoragePool& operator=(const phStoragePool&) = delete;
    ~phStoragePool()
    {
        while (m_pages != nullptr) {
            Page* next = m_pages->next;
            phFree(m_pages);
            m_pages = next;
        }
    }

    // Uninitialised storage for one T; null when a page cannot be had.
    void* Alloc()
    {
        if (m_free != nullptr) {
            Slot* slot = m_free;
            m_free = slot->next;
            ++m_live;
            return slot;
        }
        if (m_pages == nullptr || m_pages->used == kObjectsPerPage) {
            void* block = phMalloc(sizeof(Page));
            if (block == nullptr) {
                return nullptr;
            }
            Page* page = ::new (block) Page();
            page->next = m_pages;
            m_pages = page;
            ++m_pageCount;
        }
        ++m_live;
        return &m_pages->slots[m_pages->used++];
    }

    // Storage whose object the caller has destroyed.
    void Free(void* storage)
    {
        if (storage == nullptr) {
            return;
        }
        Slot* slot = ::new (storage) Slot();
        slot->next = m_free;
        m_free = slot;
        --m_live;
    }

    std::uint32_t LiveCount() const { return m_live; }
    std::uint32_t PageCount() const { return m_pageCount; }

private:
    union alignas(alignof(T) > 16 ? alignof(T) : 16) Slot {
        Slot* next;
        unsigned char bytes[sizeof(T)];
    };
    struct Page {
        Page* next = nullptr;
        std::uint32_t used = 0;
        Slot slots[kObjectsPerPage];
    };

    Page* m_pages = nullptr;
    Slot* m_free = nullptr;
    std::uint32_t m_live = 0;
    std::uint32_t m_pageCount = 0;
};
