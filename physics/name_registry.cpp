#include "physics/name_registry.h"

#include <cstring>
#include <new>

#include "physics/memory.h"
#include "physics/rb_tree.h"

namespace {

struct TextBlock {
    TextBlock* next;
    std::size_t used;
    std::size_t capacity;
};

struct Registry {
    phRbTree<const char*> names;
    TextBlock* blocks = nullptr;
};

Registry* g_registry = nullptr;

Registry* Get()
{
    if (g_registry == nullptr) {
        phEnsureTeardown();
        void* mem = phMalloc(sizeof(Registry));
        if (mem != nullptr) {
            g_registry = ::new (mem) Registry();
        }
    }
    return g_registry;
}

char* CopyText(Registry& r, const char* name, std::size_t length)
{
    const std::size_t need = length + 1;
    TextBlock* b = r.blocks;
    if (b == nullptr || b->capacity - b->used < need) {
        // A name longer than a block gets a block of its own size.
        const std::size_t capacity = need > phNameRegistry::kBlockBytes ? need : phNameRegistry::kBlockBytes;
        void* mem = phMalloc(sizeof(TextBlock) + capacity);
        if (mem == nullptr) {
            return nullptr;
        }
        b = static_cast<TextBlock*>(mem);
        b->next = r.blocks;
        b->used = 0;
        b->capacity = capacity;
        r.blocks = b;
    }
    char* text = reinterpret_cast<char*>(b + 1) + b->used;
    std::memcpy(text, name, length);
    text[length] = '\0';
    b->used += need;
    return text;
}

}  // namespace

void phNameRegistry::Add(std::uint32_t hash, const char* name, std::size_t length)
{
    Registry* r = Get();
    if (r == nullptr || r->names.Find(hash) != nullptr) {
        return;
    }
    char* text = CopyText(*r, name, length);
    if (text == nullptr) {
        return;
    }
    if (auto* node = r->names.Insert(hash)) {
        node->payload = text;
    }
}

const char* phNameRegistry::Find(std::uint32_t hash)
{
    Registry* r = Get();
    if (r == nullptr) {
        return nullptr;
    }
    auto* node = r->names.Find(hash);
    return node != nullptr ? node->payload : nullptr;
}

std::uint32_t phNameRegistry::Count()
{
    Registry* r = Get();
    return r != nullptr ? r->names.Count() : 0;
}

void phNameRegistry::Teardown()
{
    if (g_registry == nullptr) {
        return;
    }
    while (g_registry->blocks != nullptr) {
        TextBlock* next = g_registry->blocks->next;
        phFree(g_registry->blocks);
        g_registry->blocks = next;
    }
    g_registry->~Registry();
    phFree(g_registry);
    g_registry = nullptr;
}
