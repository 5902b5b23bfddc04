#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

// Reports an index that lies outside a non-empty array or any index into an
// empty one. Goes through the engine's fatal-error reporter; never returns.
[[noreturn]] void ArrayIndexError(int32_t index, int32_t count);
// A failed block allocation; never returns.
[[noreturn]] void ArrayAllocError(int32_t capacity);

// The engine's growable array: {capacity, count, data}. It starts with five
// slots and grows by five. Every slot of the block holds a constructed
// element, also those past count, so string arrays keep empty strings there.
template <class T>
class tArray {
public:
    tArray() { Reserve(5); }
    ~tArray() { FreeData(); }

    tArray(const tArray& other)
    {
        Reserve(other.count > 5 ? other.count : 5);
        for (int32_t i = 0; i < other.count; ++i)
            data[i] = other.data[i];
        count = other.count;
    }
    tArray& operator=(const tArray& other)
    {
        if (this != &other) {
            count = 0;
            if (capacity < other.count)
                Reserve(other.count);
            for (int32_t i = 0; i < other.count; ++i)
                data[i] = other.data[i];
            count = other.count;
        }
        return *this;
    }

    // Address of slot index; an index at or past count gives the last
    // element. Empty arrays and negative indices are refused.
    T* At(int32_t index)
    {
        if (count <= 0 || index < 0)
            ArrayIndexError(index, count);
        return &data[index < count ? index : count - 1];
    }
    const T* At(int32_t index) const { return const_cast<tArray*>(this)->At(index); }
    T& operator[](int32_t index) { return *At(index); }
    const T& operator[](int32_t index) const { return *At(index); }

    // Reallocates to max(n, count) slots, keeping the first count elements.
    void Reserve(int32_t n)
    {
        int32_t newCapacity = n > count ? n : count;
        T* block = nullptr;
        if (newCapacity >= 1) {
            block = static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(newCapacity)));
            if (!block)
                ArrayAllocError(newCapacity);
            for (int32_t i = 0; i < newCapacity; ++i)
                new (&block[i]) T();
        }
        if (data) {
            for (int32_t i = 0; i < count; ++i)
                block[i] = std::move(data[i]);
            DestroyBlock();
        }
        data = block;
        capacity = newCapacity;
    }

    void Add(const T& value)
    {
        if (count >= capacity)
            Reserve(capacity + 5);
        data[count] = value;
        ++count;
    }

    // Removes the element at index; an index outside the elements does nothing.
    void RemoveAt(int32_t index)
    {
        if (index < 0 || index >= count)
            return;
        for (int32_t i = index; i + 1 < count; ++i)
            data[i] = std::move(data[i + 1]);
        --count;
        if constexpr (!std::is_trivially_copyable_v<T>)
            data[count] = T();
    }

    // Destroys every object the first count slots point to (through its
    // virtual destructor) and empties the array.
    void DeleteAll()
    {
        static_assert(std::is_pointer_v<T>, "DeleteAll needs an array of owned pointers");
        for (int32_t i = 0; i < count; ++i) {
            if (data[i]) {
                delete data[i];
                data[i] = nullptr;
            }
        }
        count = 0;
    }

    // Frees plain records the first count slots point to (no destructor).
    void FreeAll()
    {
        static_assert(std::is_pointer_v<T>, "FreeAll needs an array of pointers");
        for (int32_t i = 0; i < count; ++i) {
            if (data[i]) {
                std::free(const_cast<void*>(static_cast<const void*>(data[i])));
                data[i] = nullptr;
            }
        }
        count = 0;
    }

    // Frees the block. The array is left empty with no slots, so a later
    // access is refused and a later Add allocates afresh.
    void FreeData()
    {
        if (data) {
            DestroyBlock();
            data = nullptr;
        }
        capacity = 0;
        count = 0;
    }

    void Clear() { count = 0; }

    int32_t Count() const { return count; }
    int32_t Capacity() const { return capacity; }
    T* Data() { return data; }
    const T* Data() const { return data; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }

    int32_t capacity = 0;
    int32_t count = 0;
    T* data = nullptr;

private:
    void DestroyBlock()
    {
        for (int32_t i = 0; i < capacity; ++i)
            data[i].~T();
        std::free(data);
    }
};
