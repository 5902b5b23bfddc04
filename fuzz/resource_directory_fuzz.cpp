// The first byte picks the reader: 0xFF reads the input as "resource.map",
// any other value n reads it as the language volume of language n % 32.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/resource/resource_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    cResourceMemorySource file(data + 1, size - 1);
    std::vector<uint8_t> directory;
    tResourceEntryLists lists;
    size_t volumeCount = 1;
    if (data[0] == 0xFF) {
        std::vector<sVolumeRecord> volumes;
        if (!ResourceDirectory::InflateShared(file, directory) ||
            !ResourceDirectory::ParseShared(directory, volumes, lists))
            return 0;
        volumeCount += volumes.size();
    } else {
        sVolumeRecord record;
        if (!ResourceDirectory::InflateLocal(file, data[0] % 32, directory) ||
            !ResourceDirectory::ParseLocal(directory, record, lists))
            return 0;
    }
    if (!ResourceDirectory::VolumesInRange(lists, volumeCount))
        return 0;
    // The lists may be out of order here; the search must stay in bounds.
    for (const tResourceEntryList& list : lists)
        for (const sResourceEntry& entry : list)
            (void)ResourceDirectory::Find(list, entry.name);
    return 0;
}
