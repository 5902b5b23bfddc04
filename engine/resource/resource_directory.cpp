#include "engine/resource/resource_directory.h"

#include <zlib.h>

#include <cstring>

bool cResourceMemorySource::ReadAt(uint64_t offset, void* dest, size_t count)
{
    if (offset > mSize || count > mSize - offset)
        return false;
    if (count > 0)
        std::memcpy(dest, mData + offset, count);
    return true;
}

namespace ResourceDirectory {
namespace {

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadU32(cResourceByteSource& file, uint64_t offset, uint32_t& value)
{
    uint8_t bytes[4];
    if (!file.ReadAt(offset, bytes, 4))
        return false;
    value = GetU32(bytes);
    return true;
}

// `spliced` holds `first` stream bytes, C, `first` more, U, then the rest:
// C + 8 bytes in all. Inflates into exactly U bytes.
bool Unsplice(const std::vector<uint8_t>& spliced, size_t first, uint32_t streamSize,
              uint32_t inflatedSize, std::vector<uint8_t>& directory)
{
    std::vector<uint8_t> stream;
    stream.reserve(streamSize);
    stream.insert(stream.end(), spliced.begin(), spliced.begin() + first);
    stream.insert(stream.end(), spliced.begin() + first + 4, spliced.begin() + 2 * first + 4);
    stream.insert(stream.end(), spliced.begin() + 2 * first + 8, spliced.end());

    directory.assign(inflatedSize, 0);
    uLongf length = inflatedSize;
    // uncompress refuses a null destination even for an empty result.
    uint8_t empty = 0;
    const int result = uncompress(inflatedSize ? directory.data() : &empty, &length,
                                  stream.data(), static_cast<uLong>(stream.size()));
    return result == Z_OK && length == inflatedSize;
}

// Reads the groups {type, count, entries} that start at `pos` and end with a
// count of 0, all within the first `end` bytes.
bool ParseGroups(const std::vector<uint8_t>& dir, size_t pos, size_t end, tResourceEntryLists& lists)
{
    for (;;) {
        if (end - pos < 8)
            return false;
        const uint32_t type = GetU32(&dir[pos]);
        const uint32_t count = GetU32(&dir[pos + 4]);
        pos += 8;
        if (count == 0)
            return true;
        if (type >= kResourceTypeCount || count > (end - pos) / kResourceEntrySize)
            return false;
        tResourceEntryList& list = lists[type];
        list.resize(count);
        for (sResourceEntry& entry : list) {
            const uint8_t* p = &dir[pos];
            if (std::memchr(p, 0, kResourceNameSize) == nullptr)
                return false;
            std::memcpy(entry.name, p, kResourceNameSize);
            entry.volume = p[63];
            entry.offset = GetU32(p + 64);
            entry.size = GetU32(p + 68);
            entry.compressedSize = GetU32(p + 72);
            pos += kResourceEntrySize;
        }
    }
}

void ParseRecord(const uint8_t* p, sVolumeRecord& record)
{
    record.number = GetU32(p);
    record.used = GetU32(p + 4);
    record.reserved = GetU32(p + 8);
    std::memcpy(record.name, p + 12, kVolumeNameSize);
    record.name[kVolumeNameSize - 1] = '\0';
}

}  // namespace

bool InflatedSizePlausible(uint64_t streamSize, uint64_t inflatedSize)
{
    return inflatedSize <= streamSize * kMaxInflateRatio;
}

bool InflateShared(cResourceByteSource& file, std::vector<uint8_t>& directory)
{
    uint32_t streamSize = 0, inflatedSize = 0;
    if (!ReadU32(file, 100, streamSize) || !ReadU32(file, 204, inflatedSize))
        return false;
    // The first two words sit inside the first 200 stream bytes.
    if (streamSize < 200 || uint64_t(streamSize) + 8 > file.Size() ||
        !InflatedSizePlausible(streamSize, inflatedSize))
        return false;
    std::vector<uint8_t> spliced(size_t(streamSize) + 8);
    if (!file.ReadAt(0, spliced.data(), spliced.size()))
        return false;
    return Unsplice(spliced, 100, streamSize, inflatedSize, directory);
}

bool InflateLocal(cResourceByteSource& file, int language, std::vector<uint8_t>& directory)
{
    if (language < 0)
        return false;
    const uint64_t fileSize = file.Size();
    uint32_t start = 0, streamSize = 0, inflatedSize = 0;
    if (fileSize < 4 || !ReadU32(file, fileSize - 4, start))
        return false;
    const uint64_t half = 2 * uint64_t(language);
    // The directory lies between L and the trailing word that holds L.
    const uint64_t end = fileSize - 4;
    if (start > end || end - start < 2 * half + 8)
        return false;
    if (!ReadU32(file, start + half, streamSize) || !ReadU32(file, start + 2 * half + 4, inflatedSize))
        return false;
    if (streamSize < 2 * half || uint64_t(streamSize) + 8 > end - start ||
        !InflatedSizePlausible(streamSize, inflatedSize))
        return false;
    std::vector<uint8_t> spliced(size_t(streamSize) + 8);
    if (!file.ReadAt(start, spliced.data(), spliced.size()))
        return false;
    return Unsplice(spliced, size_t(half), streamSize, inflatedSize, directory);
}

bool ParseShared(const std::vector<uint8_t>& dir, std::vector<sVolumeRecord>& volumes,
                 tResourceEntryLists& lists)
{
    size_t pos = 0;
    for (;;) {
        if (dir.size() - pos < kVolumeRecordSize)
            return false;
        sVolumeRecord record;
        ParseRecord(&dir[pos], record);
        pos += kVolumeRecordSize;
        if (record.used == 0)
            break;
        volumes.push_back(record);
    }
    return ParseGroups(dir, pos, dir.size(), lists);
}

bool ParseLocal(const std::vector<uint8_t>& dir, sVolumeRecord& record, tResourceEntryLists& lists)
{
    if (dir.size() < kVolumeRecordSize)
        return false;
    const size_t end = dir.size() - kVolumeRecordSize;
    ParseRecord(&dir[end], record);
    return ParseGroups(dir, 0, end, lists);
}

bool VolumesInRange(const tResourceEntryLists& lists, size_t volumeCount)
{
    for (const tResourceEntryList& list : lists)
        for (const sResourceEntry& entry : list)
            if (entry.volume >= volumeCount)
                return false;
    return true;
}

const sResourceEntry* Find(const sResourceEntry* entries, size_t count, const char* name)
{
    // Signed bounds: high may go below low = 0.
    long long low = 0, high = static_cast<long long>(count) - 1;
    while (low <= high) {
        const long long middle = (low + high) / 2;
        const int order = std::strcmp(name, entries[size_t(middle)].name);
        if (order > 0)
            low = middle + 1;
        else if (order < 0)
            high = middle - 1;
        else
            return &entries[size_t(middle)];
    }
    return nullptr;
}

}  // namespace ResourceDirectory
