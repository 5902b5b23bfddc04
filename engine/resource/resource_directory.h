#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// On-disk directories of the resource archive: "resource.map" and the local
// directory at the end of a language volume. Both are read through a byte
// source so the engine reads files and the fuzz harness reads memory with the
// same checks. Every size, count and offset is checked against what was read.

constexpr int kResourceTypeCount = 15;
constexpr size_t kResourceNameSize = 63;
constexpr size_t kResourceEntrySize = 76;
constexpr size_t kVolumeRecordSize = 112;
constexpr size_t kVolumeNameSize = 100;

// A directory entry, parsed field by field from its 76 bytes.
struct sResourceEntry {
    char name[kResourceNameSize];  // always NUL-terminated
    uint8_t volume;                // index into the volume table
    uint32_t offset;
    uint32_t size;                 // inflated size
    uint32_t compressedSize;       // 0 = stored
};

// A volume record, parsed from its 112 bytes.
struct sVolumeRecord {
    uint32_t number;
    uint32_t used;                 // 0 ends the record list
    uint32_t reserved;
    char name[kVolumeNameSize];    // replaced by the path the volume was found under
};

using tResourceEntryList = std::vector<sResourceEntry>;
using tResourceEntryLists = std::array<tResourceEntryList, kResourceTypeCount>;

// Random access to the bytes of one file.
class cResourceByteSource {
public:
    virtual ~cResourceByteSource() = default;
    virtual uint64_t Size() = 0;
    // Reads exactly `count` bytes at `offset`; false on any shortfall.
    virtual bool ReadAt(uint64_t offset, void* dest, size_t count) = 0;
};

class cResourceMemorySource : public cResourceByteSource {
public:
    cResourceMemorySource(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    uint64_t Size() override { return mSize; }
    bool ReadAt(uint64_t offset, void* dest, size_t count) override;

private:
    const uint8_t* mData;
    size_t mSize;
};

namespace ResourceDirectory {

// Reassembles and inflates the directory stream of "resource.map".
bool InflateShared(cResourceByteSource& file, std::vector<uint8_t>& directory);
// Same for the local directory of a language volume of language n.
bool InflateLocal(cResourceByteSource& file, int language, std::vector<uint8_t>& directory);

// Volume records up to the terminating one, then the type groups.
bool ParseShared(const std::vector<uint8_t>& directory, std::vector<sVolumeRecord>& volumes,
                 tResourceEntryLists& lists);
// Type groups, then the language volume's own record as the last 112 bytes.
bool ParseLocal(const std::vector<uint8_t>& directory, sVolumeRecord& record,
                tResourceEntryLists& lists);

// Whether every entry names a volume below `volumeCount`.
bool VolumesInRange(const tResourceEntryLists& lists, size_t volumeCount);

// Binary search in unsigned byte order; null when absent.
const sResourceEntry* Find(const sResourceEntry* entries, size_t count, const char* name);
inline const sResourceEntry* Find(const tResourceEntryList& list, const char* name)
{
    return Find(list.data(), list.size(), name);
}

// Inflated sizes above this many times the stream's length cannot come from
// zlib, so they are refused before anything is allocated.
constexpr uint64_t kMaxInflateRatio = 1032;
bool InflatedSizePlausible(uint64_t streamSize, uint64_t inflatedSize);

}  // namespace ResourceDirectory
