#include "engine/script/script_handles.h"

cTarvelScriptHandles gScriptHandles;

namespace {

constexpr uint32_t kGenerationMask = (1u << cTarvelScriptHandles::kGenerationBits) - 1;
constexpr uint32_t kSlotMask = (1u << cTarvelScriptHandles::kSlotBits) - 1;

uint32_t MakeHandle(eScriptObjectType type, uint32_t generation, uint32_t slot)
{
    return uint32_t(type) << (cTarvelScriptHandles::kSlotBits + cTarvelScriptHandles::kGenerationBits) |
           (generation & kGenerationMask) << cTarvelScriptHandles::kSlotBits | (slot + 1);
}

} // namespace

uint32_t cTarvelScriptHandles::Bind(const void* object, eScriptObjectType type)
{
    if (!object || type == eScriptObjectType::None || type >= eScriptObjectType::Count)
        return 0;
    auto found = mIndex.find(tKey{object, type});
    if (found != mIndex.end())
        return MakeHandle(type, mSlots[found->second].generation, found->second);

    uint32_t slot;
    if (!mFree.empty()) {
        slot = mFree.back();
        mFree.pop_back();
    } else {
        if (mSlots.size() >= kMaxSlots)
            return 0;
        slot = static_cast<uint32_t>(mSlots.size());
        mSlots.emplace_back();
    }
    tSlot& s = mSlots[slot];
    s.object = object;
    s.type = type;
    mIndex.emplace(tKey{object, type}, slot);
    return MakeHandle(type, s.generation, slot);
}

void* cTarvelScriptHandles::Resolve(uint32_t handle, eScriptObjectType type) const
{
    uint32_t low = handle & kSlotMask;
    if (low == 0 || TypeOf(handle) != type)
        return nullptr;
    uint32_t slot = low - 1;
    if (slot >= mSlots.size())
        return nullptr;
    const tSlot& s = mSlots[slot];
    if (!s.object || s.type != type ||
        s.generation != ((handle >> kSlotBits) & kGenerationMask))
        return nullptr;
    return const_cast<void*>(s.object);
}

void cTarvelScriptHandles::Release(const void* object)
{
    if (!object)
        return;
    for (uint8_t t = 1; t < uint8_t(eScriptObjectType::Count); ++t) {
        auto found = mIndex.find(tKey{object, eScriptObjectType(t)});
        if (found == mIndex.end())
            continue;
        tSlot& s = mSlots[found->second];
        s.object = nullptr;
        s.type = eScriptObjectType::None;
        s.generation = static_cast<uint16_t>((s.generation + 1) & kGenerationMask);
        mFree.push_back(found->second);
        mIndex.erase(found);
    }
}

void cTarvelScriptHandles::Clear()
{
    // Generations carry on, so handles from before stay stale.
    for (uint32_t i = 0; i < mSlots.size(); ++i) {
        tSlot& s = mSlots[i];
        if (s.object) {
            s.object = nullptr;
            s.type = eScriptObjectType::None;
            s.generation = static_cast<uint16_t>((s.generation + 1) & kGenerationMask);
            mFree.push_back(i);
        }
    }
    mIndex.clear();
}
