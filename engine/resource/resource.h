#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/resource/resource_directory.h"
#include "platform/win32/windows_types.h"

// Resource types; the same numbers index every per-type list.
enum eResourceType {
    kResourceOther = 0,
    kResourceScene = 1,
    kResourceActor = 2,
    kResourceItem = 3,
    kResourceImage = 4,
    kResourceTga = 5,
    kResourceCMotion = 6,
    kResourceAct = 7,
    kResourceSkm = 8,
    kResourceSubtitle = 9,
    kResourceOgg = 10,
    kResourceWav = 11,
    kResourceBik = 12,
    kResourceDds = 13,
    kResourcePmm = 14,
};

// Loose-file extension of a type ("" for type 0 and unknown types).
const char* ResourceTypeExtension(int type);

// One open resource. Compressed entries are inflated at open time and read
// from memory (file is -1); stored entries and loose files are read from
// their descriptor.
struct sResourceSlot {
    int file;
    uint8_t reserved;
    uint8_t free;
    const sResourceEntry* entry;   // null for a loose file
    uint8_t* buffer;
    uint8_t* cursor;
    // Beyond the bare record: what keeps reads inside the resource and tells
    // a volume's shared descriptor from one of the slot's own.
    bool loose;
    bool sharedFile;
    int volume;
    uint32_t size;
    uint32_t position;             // read position within the resource (file reads)
    bool positionUnknown;          // the descriptor may have moved outside the slot's reads
};

// One volume file: its descriptor is opened on first use and shared by the
// slots one at a time.
struct sVolumeHandle {
    int file;
    uint8_t opened;
    uint8_t available;
    uint32_t length;               // file length, checked against every entry
    // Where the last slot left the descriptor, -1 when unknown: entries read
    // in order then need no seek.
    int64_t position = -1;
};

// The resource archive: the volumes, the directories and the 49 slots
// through which every reader of game data gets its bytes. All read errors
// are fatal; the open call returns -1 when it can get no file or slot.
class cTarvelResource {
public:
    static constexpr int kSlotCount = 50;

    cTarvelResource();
    ~cTarvelResource();
    cTarvelResource(const cTarvelResource&) = delete;
    cTarvelResource& operator=(const cTarvelResource&) = delete;

    // Reads the language volume's directory, "resource.map" and the updates
    // folder. 0 on success; a missing or corrupt archive is fatal.
    int Initialize();
    // Closes every volume and slot and forgets the directories.
    void Release();

    int ReadLocalList(int language);
    int ReadSharedList();
    int ScanUpdates();

    // Slot 1 … 49, or -1 when no file or no slot can be had. An unknown name
    // is fatal.
    int OpenResource(const char* name, int type);
    int Read(int slot, void* dest, uint32_t count);
    int Forward(int slot, int32_t count);
    int32_t GetResourcePos(int slot, bool absolute);
    uint32_t GetSize(int slot);
    // A new block of `count` bytes read from the slot; release it with free().
    uint8_t* ReadBlock(int slot, uint32_t count);
    int CloseResource(int slot);
    bool Exists(const char* name, int type);
    HANDLE GetFileHandle(int slot);
    // Frees the slot without closing its descriptor, which the caller now
    // owns.
    int DetachSlot(int slot);

    // Directory, for tests and tools.
    int VolumeCount() const { return mVolumes.Count(); }
    const sVolumeRecord& Volume(int index) const { return mVolumes[index]; }
    const sVolumeHandle& Handle(int index) const { return mHandles[index]; }
    const tResourceEntryList& LocalEntries(int type) const { return mLocal[type]; }
    const tResourceEntryList& SharedEntries(int type) const { return mShared[type]; }
    const tArray<sResourceEntry>& Updates(int type) const { return mUpdates[type]; }
    const sResourceSlot& Slot(int slot) const { return mSlots[slot]; }

private:
    struct sLookup {
        const sResourceEntry* entry = nullptr;
        int volume = -1;
        bool loose = false;
        char path[128] = {};       // the loose file's or the volume's path
    };
    bool FindEntry(const char* name, int type, sLookup& result);
    bool SearchDrives(char* path);
    sResourceSlot* TakenSlot(int slot);
    const char* SlotName(const sResourceSlot& slot) const;
    void ClearSlot(sResourceSlot& slot);
    [[noreturn]] void Fail(int line, const char* function, const char* message,
                           const char* name = nullptr);
    bool ReadFile(sResourceSlot& slot, uint8_t* dest, uint32_t count);

    sResourceSlot mSlots[kSlotCount];
    tArray<sVolumeRecord> mVolumes;
    tArray<sVolumeHandle> mHandles;
    tArray<cTarvelString> mVolumePaths;
    tResourceEntryLists mShared;
    tResourceEntryLists mLocal;
    tArray<sResourceEntry> mUpdates[kResourceTypeCount];
    char mDriveLetter;
};
