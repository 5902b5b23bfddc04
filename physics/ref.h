#pragma once

#include <cstddef>
#include <cstdint>

// Root of the library's counted objects. The reference word holds the count
// in bits 8 to 31 and flags in bits 0 to 7; a new object holds 0x101.
// Objects created with `new` live in the object memory (ObjectAlloc).
class phRef {
public:
    phRef() = default;
    phRef(const phRef&) = delete;
    phRef& operator=(const phRef&) = delete;

    // Kept for its place in the table; always 0.
    virtual int ReservedQuery() const;
    virtual std::uint32_t GetTypeId() const;
    virtual bool IsType(std::uint32_t id) const;
    virtual void ClearFlag();
    virtual void SetFlag();
    // Stores the name hash of text, 0 for null.
    virtual void SetName(const char* text);
    // Deleting destructor: runs the destructors and returns the memory to
    // where it came from (the object memory unless a class says otherwise).
    virtual void Destroy();

    void AddRef() { m_refWord += 0x100; }
    // The last release runs Destroy.
    void Release();

    std::uint32_t GetRefWord() const { return m_refWord; }
    std::uint32_t GetRefCount() const { return m_refWord >> 8; }
    std::uint32_t GetNameId() const { return m_nameId; }

    // Null (no exception, no construction) when the object memory is exhausted.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

protected:
    virtual ~phRef() = default;

private:
    std::uint32_t m_refWord = 0x101;
    std::uint32_t m_nameId = 0;
};
