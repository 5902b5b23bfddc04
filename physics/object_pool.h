#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "physics/list.h"
#include "physics/memory.h"

// Pages of 64 objects constructed in place; freed objects are kept on a
// free list and handed out again as they are (callers reset them).
template <typename T>
class phObjectPool {
public:
    static constexpr std::uint32_t kObjectsPerPage = 64;

    phObjectPool() = default;
    phObjectPool(const phObjectPool&) = delete;
    phObjectPool& operator=(const phObjectPool&) = delete;
    ~phObjectPool() { Clear(); }

    // Null when a new page cannot be had.
    T* Alloc()
    {
        if (auto* node = m_free.First()) {
            T* object = node->payload;
            m_free.Remove(node);
            return object;
        }
        if (m_last == nullptr || m_last->used == kObjectsPerPage) {
            void* block = phMalloc(kHeaderSize + sizeof(T) * kObjectsPerPage);
            if (block == nullptr) {
                return nullptr;
            }
            Page* page = ::new (block) Page();
            T* objects = ObjectsOf(page);
            for (std::uint32_t i = 0; i < kObjectsPerPage; ++i) {
                ::new (static_cast<void*>(objects + i)) T();
            }
            if (m_last != nullptr) {
                m_last->next = page;
            } else {
                m_first = page;
            }
            m_last = page;
            ++m_pageCount;
        }
        return ObjectsOf(m_last) + m_last->used++;
    }

    // The object goes to the end of the free list.
    void Free(T* object)
    {
        if (object != nullptr) {
            m_free.Append(object);
        }
    }

    // Destroys every object of every page.
    void Clear()
    {
        m_free.Clear();
        while (m_first != nullptr) {
            Page* next = m_first->next;
            T* objects = ObjectsOf(m_first);
            for (std::uint32_t i = 0; i < kObjectsPerPage; ++i) {
                objects[i].~T();
            }
            m_first->~Page();
            phFree(m_first);
            m_first = next;
        }
        m_last = nullptr;
        m_pageCount = 0;
    }

    std::uint32_t PageCount() const { return m_pageCount; }
    std::uint32_t FreeCount() const { return m_free.Count(); }

private:
    struct Page {
        Page* next = nullptr;
        std::uint32_t used = 0;
    };
    static constexpr std::size_t kAlign = alignof(T) > 16 ? alignof(T) : 16;
    static constexpr std::size_t kHeaderSize = (sizeof(Page) + kAlign - 1) / kAlign * kAlign;
    static_assert(kAlign == 16, "page blocks are 16-byte aligned");

    static T* ObjectsOf(Page* page)
    {
        return std::launder(reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(page) + kHeaderSize));
    }

    Page* m_first = nullptr;
    Page* m_last = nullptr;
    std::uint32_t m_pageCount = 0;
    phList<T*> m_free;
};
