#pragma once

#include <cstdint>
#include <new>

#include "physics/fixed_size_allocator.h"
#include "physics/ref.h"

// Doubly linked list of counted nodes from one shared fixed-size allocator
// per payload type.
template <typename T>
class phList {
public:
    struct Node : phRef {
        Node* prev = nullptr;
        Node* next = nullptr;
        phFixedSizeAllocator* allocator = nullptr;
        T payload{};

        void Destroy() override
        {
            phFixedSizeAllocator* a = allocator;
            this->~Node();
            a->Free(this);
        }
    };

    phList() = default;
    phList(const phList&) = delete;
    phList& operator=(const phList&) = delete;
    ~phList() { Clear(); }

    // Links a new node after the last; null when out of memory.
    Node* Append(const T& payload)
    {
        phFixedSizeAllocator* a = NodeAllocator();
        void* mem = a != nullptr ? a->Alloc() : nullptr;
        if (mem == nullptr) {
            return nullptr;
        }
        Node* node = ::new (mem) Node();
        node->allocator = a;
        node->payload = payload;
        node->prev = m_last;
        if (m_last != nullptr) {
            m_last->next = node;
        } else {
            m_first = node;
        }
        m_last = node;
        ++m_count;
        return node;
    }

    // Unlinks the node and drops the list's reference to it.
    void Remove(Node* node)
    {
        if (node->prev != nullptr) {
            node->prev->next = node->next;
        } else {
            m_first = node->next;
        }
        if (node->next != nullptr) {
            node->next->prev = node->prev;
        } else {
            m_last = node->prev;
        }
        node->prev = node->next = nullptr;
        --m_count;
        node->Release();
    }

    void Clear()
    {
        while (m_first != nullptr) {
            Remove(m_first);
        }
    }

    Node* First() const { return m_first; }
    Node* Last() const { return m_last; }
    std::uint32_t Count() const { return m_count; }

private:
    static phFixedSizeAllocator* NodeAllocator()
    {
        static phFixedSizeAllocator* slot = nullptr;
        return phFixedSizeAllocator::Shared(&slot, sizeof(Node));
    }

    std::uint32_t m_count = 0;
    Node* m_first = nullptr;
    Node* m_last = nullptr;
};
