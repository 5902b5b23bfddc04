#include "physics/ref.h"

#include "physics/class_id.h"
#include "physics/name_hash.h"
#include "physics/object_memory.h"

int phRef::ReservedQuery() const { return 0; }

std::uint32_t phRef::GetTypeId() const { return phGetClassId(phClassIndex::Ref); }

bool phRef::IsType(std::uint32_t id) const { return id == phGetClassId(phClassIndex::Ref); }

void phRef::ClearFlag() { m_refWord &= ~std::uint32_t{1}; }

void phRef::SetFlag() { m_refWord |= 1; }

void phRef::SetName(const char* text) { m_nameId = text != nullptr ? phNameHash(text) : 0; }

void phRef::Destroy() { delete this; }

void phRef::Release()
{
    m_refWord -= 0x100;
    if (GetRefCount() == 0) {
        Destroy();
    }
}

void* phRef::operator new(std::size_t size) noexcept { return ObjectAlloc(size); }

void phRef::operator delete(void* block) noexcept { ObjectFree(block); }
