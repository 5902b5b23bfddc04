#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

// Engine types a script value can be bound to. A value's object field holds
// a 32-bit handle, not a pointer: the handle names the type, a slot and the
// slot's generation, so a handle of a destroyed object or of another type
// resolves to nothing (the script API treats that as unbound).
enum class eScriptObjectType : uint8_t {
    None = 0,
    Actor,        // cTarvelActor
    Cinematic,    // cTarvelCinematic
    SceneObject,  // hotspots and paths of a scene
    Light,        // cTarvelLight
    Mesh,         // a scene mesh record
    Mobile,       // cTarvelMobile
    Scene,        // cTarvelScene
    View,         // cTarvelView
    Sparkle,      // sparkle particle emitter
    // The special-effect controls, one type per control class, so a handle
    // of one control is never taken for another.
    CtrlBunkerWall,
    CtrlFlashlight,
    CtrlMirror,
    CtrlSplitScreen,
    CtrlTicker,
    Count
};

// Layout of a handle: type in the top 5 bits, generation in the next 11,
// slot + 1 in the low 16. Handle 0 is never issued and means "no object".
class cTarvelScriptHandles {
public:
    static constexpr uint32_t kSlotBits = 16;
    static constexpr uint32_t kGenerationBits = 11;
    static constexpr uint32_t kMaxSlots = (1u << kSlotBits) - 1;
    static_assert(uint32_t(eScriptObjectType::Count) <= (1u << (32 - kSlotBits - kGenerationBits)));

    // The handle of object as type, issuing one on first use; the same
    // object and type always give the same handle while it lives. 0 for a
    // null object, for type None, or when every slot is taken.
    uint32_t Bind(const void* object, eScriptObjectType type);

    // The object the handle names when it is live and of that type, else null.
    void* Resolve(uint32_t handle, eScriptObjectType type) const;
    template <class T>
    T* Get(uint32_t handle, eScriptObjectType type) const
    {
        return static_cast<T*>(Resolve(handle, type));
    }

    // Called when an object dies: every handle issued for it goes stale.
    void Release(const void* object);

    // Forgets every object (a new engine).
    void Clear();

    int32_t LiveCount() const { return static_cast<int32_t>(mIndex.size()); }

    static eScriptObjectType TypeOf(uint32_t handle)
    {
        return static_cast<eScriptObjectType>(handle >> (kSlotBits + kGenerationBits));
    }

private:
    struct tSlot {
        const void* object = nullptr;
        eScriptObjectType type = eScriptObjectType::None;
        uint16_t generation = 0;
    };
    struct tKey {
        const void* object;
        eScriptObjectType type;
        bool operator==(const tKey&) const = default;
    };
    struct tKeyHash {
        size_t operator()(const tKey& k) const
        {
            return std::hash<const void*>()(k.object) ^ (size_t(k.type) << 1);
        }
    };

    std::vector<tSlot> mSlots;
    std::vector<uint32_t> mFree;
    std::unordered_map<tKey, uint32_t, tKeyHash> mIndex; // -> slot
};

// The engine-wide table the script API binds through.
extern cTarvelScriptHandles gScriptHandles;
