#include "engine/resource/resource.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

const char* const kSourceFile = ".\\source\\class_resource";
const char* const kLocalListFailed = "Reading local resource list failed, you need to reinstall the game.";
const char* const kSharedListFailed = "Reading shared resource list failed, you need to reinstall the game.";

const char* const kExtensions[kResourceTypeCount] = {
    "",     ".scene", ".actor", ".item", ".image", ".tga", ".cmotion", ".act",
    ".skm", ".subtitle", ".ogg", ".wav", ".bik", ".dds", ".pmm"};

// Largest piece handed to one _read, which counts in int.
constexpr uint32_t kReadChunk = 1u << 30;

bool ReadFully(int file, uint8_t* dest, uint64_t count)
{
    while (count > 0) {
        const uint32_t piece = count < kReadChunk ? uint32_t(count) : kReadChunk;
        const int got = crt::_read(file, dest, piece);
        if (got <= 0)
            return false;
        dest += got;
        count -= uint32_t(got);
    }
    return true;
}

// A file read through the runtime's descriptor calls.
class cCrtSource : public cResourceByteSource {
public:
    explicit cCrtSource(int file) : mFile(file)
    {
        const LONG length = crt::_filelength(file);
        mSize = length < 0 ? 0 : uint64_t(length);
    }
    uint64_t Size() override { return mSize; }
    bool ReadAt(uint64_t offset, void* dest, size_t count) override
    {
        if (offset > mSize || count > mSize - offset || offset > uint64_t(INT32_MAX))
            return false;
        if (crt::_lseek(mFile, LONG(offset), SEEK_SET) != LONG(offset))
            return false;
        return ReadFully(mFile, static_cast<uint8_t*>(dest), count);
    }

private:
    int mFile;
    uint64_t mSize;
};

void CopyName(char* dest, size_t size, const char* text)
{
    std::snprintf(dest, size, "%s", text);
}

void ToLower(char* text)
{
    for (; *text; ++text)
        *text = char(std::tolower(static_cast<unsigned char>(*text)));
}

bool ByteLess(const sResourceEntry& a, const sResourceEntry& b)
{
    return std::strcmp(a.name, b.name) < 0;
}

}  // namespace

const char* ResourceTypeExtension(int type)
{
    return type >= 0 && type < kResourceTypeCount ? kExtensions[type] : "";
}

cTarvelResource::cTarvelResource() : mDriveLetter('c')
{
    for (sResourceSlot& slot : mSlots)
        ClearSlot(slot);
}

cTarvelResource::~cTarvelResource()
{
    Release();
}

void cTarvelResource::ClearSlot(sResourceSlot& slot)
{
    slot.file = 0;
    slot.reserved = 0;
    slot.free = 1;
    slot.entry = nullptr;
    slot.buffer = nullptr;
    slot.cursor = nullptr;
    slot.loose = false;
    slot.sharedFile = false;
    slot.volume = -1;
    slot.size = 0;
    slot.positionUnknown = false;
    slot.position = 0;
}

void cTarvelResource::Fail(int line, const char* function, const char* message, const char* name)
{
    cTarvelString text(message);
    if (name)
        text += name;
    gTarvel.FatalError(0, kSourceFile, line, function, text, 0);
}

int cTarvelResource::Initialize()
{
    std::printf("Initializing resources...\n");
    Release();

    uint32_t& language = gTarvel.mConfig.Language;
    if (ReadLocalList(language <= uint32_t(INT_MAX) ? int(language) : -1) != 0) {
        language = 9;
        if (ReadLocalList(9) != 0) {
            int found = -1;
            for (int n = 0; n < 32 && found < 0; ++n)
                if (ReadLocalList(n) == 0)
                    found = n;
            if (found < 0)
                Fail(77, "cTarvelResource::Initialize", kLocalListFailed);
            language = uint32_t(found);
        }
    }
    ReadSharedList();
    // Entries of either directory may name any volume of the table, which is
    // complete only now.
    if (!ResourceDirectory::VolumesInRange(mLocal, size_t(mVolumes.Count())))
        Fail(156, "cTarvelResource::ReadLocalList", kLocalListFailed);
    ScanUpdates();
    return 0;
}

bool cTarvelResource::SearchDrives(char* path)
{
    path[0] = mDriveLetter;
    if (PathFileExistsA(path))
        return true;
    for (char letter = 'c'; letter <= 'z'; ++letter) {
        path[0] = letter;
        if (PathFileExistsA(path)) {
            mDriveLetter = letter;
            return true;
        }
    }
    return false;
}

int cTarvelResource::ReadLocalList(int language)
{
    if (language < 0 || language > INT_MAX - 900)
        return -1;
    char name[32];
    std::snprintf(name, sizeof name, "resource.%.3d", 900 + language);
    cTarvelString path = gTarvel.mProgramFolder + name;
    int file = crt::_open(path.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
    if (file < 0) {
        char drivePath[40];
        std::snprintf(drivePath, sizeof drivePath, "c:\\%s", name);
        if (!SearchDrives(drivePath))
            return -1;
        file = crt::_open(drivePath, crt::_O_RDONLY | crt::_O_BINARY);
        if (file < 0)
            return -1;
        path = drivePath;
    }

    cCrtSource source(file);
    std::vector<uint8_t> directory;
    sVolumeRecord record;
    tResourceEntryLists lists;
    if (!ResourceDirectory::InflateLocal(source, language, directory) ||
        !ResourceDirectory::ParseLocal(directory, record, lists)) {
        crt::_close(file);
        Fail(156, "cTarvelResource::ReadLocalList", kLocalListFailed);
    }

    CopyName(record.name, sizeof record.name, path.c_str());
    mVolumes.Add(record);
    mVolumePaths.Add(path);
    mLocal = std::move(lists);
    mHandles.Add(sVolumeHandle{file, 1, 1, uint32_t(source.Size())});
    return 0;
}

int cTarvelResource::ReadSharedList()
{
    cTarvelString mapPath = gTarvel.mProgramFolder + "resource.map";
    const int file = crt::_open(mapPath.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
    if (file < 0)
        Fail(266, "cTarvelResource::ReadSharedList", kSharedListFailed);

    std::vector<uint8_t> directory;
    {
        cCrtSource source(file);
        const bool inflated = ResourceDirectory::InflateShared(source, directory);
        crt::_close(file);
        if (!inflated)
            Fail(214, "cTarvelResource::ReadSharedList", kSharedListFailed);
    }
    std::vector<sVolumeRecord> records;
    tResourceEntryLists lists;
    if (!ResourceDirectory::ParseShared(directory, records, lists) ||
        !ResourceDirectory::VolumesInRange(lists, size_t(mVolumes.Count()) + records.size()))
        Fail(214, "cTarvelResource::ReadSharedList", kSharedListFailed);

    for (sVolumeRecord& record : records) {
        char name[32];
        std::snprintf(name, sizeof name, "resource.%.3u", record.number);
        cTarvelString path = gTarvel.mProgramFolder + name;
        int probe = crt::_open(path.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
        if (probe < 0) {
            char drivePath[40];
            std::snprintf(drivePath, sizeof drivePath, "c:\\%s", name);
            if (SearchDrives(drivePath))
                probe = crt::_open(drivePath, crt::_O_RDONLY | crt::_O_BINARY);
            if (probe < 0)
                Fail(236, "cTarvelResource::ReadSharedList", "File open failed: ", name);
            path = drivePath;
        }
        // The length bounds every entry of the volume; 2 GB and more cannot
        // be addressed by the runtime's seek and count as unreadable.
        const LONG length = crt::_filelength(probe);
        crt::_close(probe);
        CopyName(record.name, sizeof record.name, path.c_str());
        mVolumes.Add(record);
        mVolumePaths.Add(path);
        mHandles.Add(sVolumeHandle{0, 0, 0, length < 0 ? 0u : uint32_t(length)});
    }
    mShared = std::move(lists);
    return 0;
}

int cTarvelResource::ScanUpdates()
{
    crt::_finddata_t data;
    const intptr_t search = crt::_findfirst("updates\\*.*", &data);
    if (search == -1)
        return 0;
    do {
        data.name[sizeof data.name - 1] = '\0';
        // Subfolders are not loose files; the runtime could not open them.
        if (data.name[0] == '.' || (data.attrib & crt::_A_SUBDIR))
            continue;
        char name[sizeof data.name];
        CopyName(name, sizeof name, data.name);
        ToLower(name);
        int type = kResourceOther;
        if (char* dot = std::strrchr(name, '.')) {
            for (int t = 1; t < kResourceTypeCount; ++t) {
                if (std::strcmp(dot, kExtensions[t]) == 0) {
                    type = t;
                    *dot = '\0';
                    break;
                }
            }
        }
        if (std::strlen(name) >= kResourceNameSize) {
            std::fprintf(stderr, "Update file name too long, skipped (%s).\n", data.name);
            continue;
        }
        sResourceEntry entry{};
        CopyName(entry.name, sizeof entry.name, name);
        entry.size = data.size;
        mUpdates[type].Add(entry);
    } while (crt::_findnext(search, &data) == 0);
    crt::_findclose(search);

    for (tArray<sResourceEntry>& list : mUpdates)
        std::sort(list.begin(), list.end(), ByteLess);
    return 0;
}

void cTarvelResource::Release()
{
    for (sResourceSlot& slot : mSlots) {
        if (!slot.free) {
            std::free(slot.buffer);
            if (slot.file >= 0 && !slot.sharedFile)
                crt::_close(slot.file);
        }
        ClearSlot(slot);
    }
    for (const sVolumeHandle& handle : mHandles)
        if (handle.opened)
            crt::_close(handle.file);
    mHandles.Clear();
    mVolumes.Clear();
    mVolumePaths.Clear();
    for (int type = 0; type < kResourceTypeCount; ++type) {
        mShared[type].clear();
        mLocal[type].clear();
        mUpdates[type].Clear();
    }
}

bool cTarvelResource::FindEntry(const char* name, int type, sLookup& result)
{
    if (!name || type < 0 || type >= kResourceTypeCount)
        return false;
    // A name that does not fit the 63-byte name field is in no list.
    char key[kResourceNameSize + 1];
    if (std::strlen(name) >= kResourceNameSize)
        return false;
    CopyName(key, sizeof key, name);
    ToLower(key);

    const tArray<sResourceEntry>& updates = mUpdates[type];
    if (ResourceDirectory::Find(updates.Data(), size_t(updates.Count()), key)) {
        result.loose = true;
        result.entry = nullptr;
        std::snprintf(result.path, sizeof result.path, "updates\\%s%s", key, kExtensions[type]);
        return true;
    }
    const sResourceEntry* entry = ResourceDirectory::Find(mLocal[type], key);
    if (!entry)
        entry = ResourceDirectory::Find(mShared[type], key);
    if (!entry)
        return false;
    result.loose = false;
    result.entry = entry;
    result.volume = entry->volume;
    return true;
}

bool cTarvelResource::Exists(const char* name, int type)
{
    sLookup found;
    return FindEntry(name, type, found);
}

int cTarvelResource::OpenResource(const char* name, int type)
{
    sLookup found;
    if (!FindEntry(name, type, found)) {
        cTarvelString text = cTarvelString("Resource not found: <") + cTarvelString(int32_t(type)) + "> ";
        Fail(422, "cTarvelResource::OpenResource", text.c_str(), name ? name : "");
    }
    auto readFailed = [&]() {
        cTarvelString text = cTarvelString("Reading resource failed: <") + cTarvelString(int32_t(type)) + "> ";
        Fail(464, "cTarvelResource::OpenResource", text.c_str(), name);
    };

    int file = -1;
    bool shared = false;
    uint32_t size = 0;
    sVolumeHandle* handle = nullptr;
    const sResourceEntry* entry = found.entry;
    if (found.loose) {
        file = crt::_open(found.path, crt::_O_RDONLY | crt::_O_BINARY);
        if (file < 0)
            return -1;
        const LONG length = crt::_filelength(file);
        if (length < 0) {
            crt::_close(file);
            return -1;
        }
        size = uint32_t(length);
    } else {
        if (found.volume >= mHandles.Count())
            readFailed();
        handle = &mHandles[found.volume];
        // The stored bytes must lie inside the volume, and an inflated size
        // must be one that zlib can reach from them.
        const uint64_t stored = entry->compressedSize ? entry->compressedSize : entry->size;
        if (uint64_t(entry->offset) + stored > handle->length ||
            (entry->compressedSize &&
             !ResourceDirectory::InflatedSizePlausible(entry->compressedSize, entry->size)))
            readFailed();
        const char* path = mVolumePaths[found.volume].c_str();
        if (!handle->opened) {
            file = crt::_open(path, crt::_O_RDONLY | crt::_O_BINARY);
            if (file < 0)
                return -1;
            handle->file = file;
            handle->opened = 1;
            handle->available = 0;
            shared = true;
        } else if (handle->available) {
            file = handle->file;
            handle->available = 0;
            shared = true;
        } else {
            std::fprintf(stderr, "Second file opened (%s).\n", path);
            file = crt::_open(path, crt::_O_RDONLY | crt::_O_BINARY);
            if (file < 0)
                return -1;
        }
        size = entry->size;
    }
    // Gives the descriptor back when the open goes no further.
    auto giveBack = [&]() {
        if (shared)
            handle->available = 1;
        else
            crt::_close(file);
    };
    if (entry) {
        // The offset lies inside a volume whose length fits a LONG, so one
        // 64-bit seek does what the LONG seek would.
        const int64_t offset = entry->offset;
        if (!(shared && handle->position == offset) && crt::_lseeki64(file, offset, SEEK_SET) != offset) {
            if (shared)
                handle->position = -1;
            giveBack();
            readFailed();
        }
        if (shared)
            handle->position = offset;
    }

    int index = -1;
    for (int i = 1; i < kSlotCount && index < 0; ++i)
        if (mSlots[i].free)
            index = i;
    if (index < 0) {
        giveBack();
        return -1;
    }

    sResourceSlot& slot = mSlots[index];
    slot.free = 0;
    slot.file = file;
    slot.entry = entry;
    slot.loose = found.loose;
    slot.sharedFile = shared;
    slot.volume = found.volume;
    slot.size = size;
    slot.position = 0;

    if (entry && entry->compressedSize > 0) {
        uint8_t* packed = static_cast<uint8_t*>(std::malloc(entry->compressedSize));
        uint8_t* data = static_cast<uint8_t*>(std::malloc(entry->size ? entry->size : 1));
        uLongf length = entry->size;
        const bool read = packed && data && ReadFully(file, packed, entry->compressedSize);
        const bool ok = read && uncompress(data, &length, packed, entry->compressedSize) == Z_OK &&
                        length == entry->size;
        std::free(packed);
        if (shared)
            handle->position = read ? int64_t(entry->offset) + entry->compressedSize : -1;
        giveBack();
        if (!ok) {
            std::free(data);
            ClearSlot(slot);
            readFailed();
        }
        slot.buffer = data;
        slot.cursor = data;
        slot.file = -1;
        slot.sharedFile = false;
    }
    return index;
}

sResourceSlot* cTarvelResource::TakenSlot(int slot)
{
    if (slot < 1 || slot >= kSlotCount || mSlots[slot].free)
        return nullptr;
    return &mSlots[slot];
}

const char* cTarvelResource::SlotName(const sResourceSlot& slot) const
{
    if (slot.loose)
        return "external";
    return slot.entry ? slot.entry->name : "";
}

bool cTarvelResource::ReadFile(sResourceSlot& slot, uint8_t* dest, uint32_t count)
{
    if (slot.buffer) {
        const uint32_t position = uint32_t(slot.cursor - slot.buffer);
        if (count > slot.size - position)
            return false;
        if (count > 0)
            std::memcpy(dest, slot.cursor, count);
        slot.cursor += count;
        return true;
    }
    if (count > slot.size - slot.position)
        return false;
    if (!ReadFully(slot.file, dest, count)) {
        slot.positionUnknown = true;
        return false;
    }
    slot.position += count;
    return true;
}

int cTarvelResource::Read(int slot, void* dest, uint32_t count)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        Fail(588, "cTarvelResource::Read", "File reading failed. Resource: ");
    if (!ReadFile(*s, static_cast<uint8_t*>(dest), count))
        Fail(588, "cTarvelResource::Read", "File reading failed. Resource: ", SlotName(*s));
    return 0;
}

int cTarvelResource::Forward(int slot, int32_t count)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        Fail(609, "cTarvelResource::Forward", "File forwarding failed. Resource: ");
    const int64_t position = s->buffer ? int64_t(s->cursor - s->buffer) : int64_t(s->position);
    const int64_t target = position + count;
    // Skipping out of the resource would lead the next read into another one.
    if (target < 0 || target > int64_t(s->size))
        Fail(609, "cTarvelResource::Forward", "File forwarding failed. Resource: ", SlotName(*s));
    if (s->buffer) {
        s->cursor = s->buffer + target;
        return 0;
    }
    if (crt::_lseek(s->file, count, SEEK_CUR) == -1) {
        s->positionUnknown = true;
        Fail(609, "cTarvelResource::Forward", "File forwarding failed. Resource: ", SlotName(*s));
    }
    s->position = uint32_t(target);
    return 0;
}

int32_t cTarvelResource::GetResourcePos(int slot, bool absolute)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        Fail(672, "cTarvelResource::GetResourcePos", "System call failed. Resource: ");
    int64_t position;
    if (s->buffer) {
        position = s->cursor - s->buffer;
    } else {
        position = crt::_tell(s->file);
        if (position >= 0 && !absolute && !s->loose)
            position -= s->entry->offset;
    }
    if (position < 0)
        Fail(672, "cTarvelResource::GetResourcePos", "System call failed. Resource: ", SlotName(*s));
    return int32_t(position);
}

uint32_t cTarvelResource::GetSize(int slot)
{
    const sResourceSlot* s = TakenSlot(slot);
    return s ? s->size : 0;
}

uint8_t* cTarvelResource::ReadBlock(int slot, uint32_t count)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        Fail(588, "cTarvelResource::Read", "File reading failed. Resource: ");
    // Checked before allocating, so a bad count from a file asks for nothing.
    const uint32_t position = s->buffer ? uint32_t(s->cursor - s->buffer) : s->position;
    if (count > s->size - position)
        Fail(588, "cTarvelResource::Read", "File reading failed. Resource: ", SlotName(*s));
    uint8_t* block = static_cast<uint8_t*>(std::malloc(count ? count : 1));
    if (!block) {
        char text[64];
        std::snprintf(text, sizeof text, "Memory allocation of size %u failed. Resource: ", count);
        Fail(563, "cTarvelResource::ReadBlock", text, SlotName(*s));
    }
    if (!ReadFile(*s, block, count)) {
        std::free(block);
        Fail(588, "cTarvelResource::Read", "File reading failed. Resource: ", SlotName(*s));
    }
    return block;
}

int cTarvelResource::CloseResource(int slot)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        return -1;
    if (s->buffer)
        std::free(s->buffer);
    else if (s->sharedFile) {
        sVolumeHandle& handle = mHandles[s->volume];
        handle.available = 1;
        handle.position = s->positionUnknown || !s->entry ? -1 : int64_t(s->entry->offset) + s->position;
    }
    else if (s->file >= 0)
        crt::_close(s->file);
    ClearSlot(*s);
    return 0;
}

HANDLE cTarvelResource::GetFileHandle(int slot)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s || s->file < 0)
        return INVALID_HANDLE_VALUE;
    // Whoever reads through the handle moves the descriptor.
    s->positionUnknown = true;
    return reinterpret_cast<HANDLE>(crt::_get_osfhandle(s->file));
}

int cTarvelResource::DetachSlot(int slot)
{
    sResourceSlot* s = TakenSlot(slot);
    if (!s)
        return -1;
    // The caller now owns the descriptor and closes it; a volume whose
    // shared descriptor it took opens a new one on its next use.
    if (s->sharedFile) {
        sVolumeHandle& handle = mHandles[s->volume];
        handle.file = 0;
        handle.opened = 0;
        handle.available = 0;
        handle.position = -1;
    }
    std::free(s->buffer);
    ClearSlot(*s);
    return 0;
}
