#pragma once

#include <cstddef>
#include <type_traits>

#include "physics/memory.h"

// Temporary array of trivial elements from the library's allocator.
template <typename T>
class phScratch {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    explicit phScratch(std::size_t count)
        : m_data(count != 0 && count <= (std::size_t{1} << 40) / sizeof(T)
                     ? static_cast<T*>(phMalloc(count * sizeof(T)))
                     : nullptr),
          m_count(m_data != nullptr ? count : 0)
    {
    }
    phScratch(const phScratch&) = delete;
    phScratch& operator=(const phScratch&) = delete;
    ~phScratch() { phFree(m_data); }

    explicit operator bool() const { return m_data != nullptr; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    T* Data() { return m_data; }
    std::size_t Count() const { return m_count; }

private:
    T* m_data;
    std::size_t m_count;
};
