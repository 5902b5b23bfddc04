#include "engine/resource/resource_directory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tools/archive_writer.h"

namespace {

using testkit::Bytes;

// A directory holding `groups`, parsed back: the fields must land where the
// format puts them.
Bytes SharedDirectory(uint32_t volumeNumber)
{
    Bytes dir;
    testkit::PutVolumeRecord(dir, {volumeNumber, 1, 0, "resource.001"});
    testkit::PutVolumeRecord(dir, {0, 0, 0, ""});
    Bytes groups = testkit::BuildTypeGroups({
        {1, {{"alpha", 1, 0, 10, 0}, {"beta", 1, 10, 300, 20}}},
        {14, {{"mesh", 1, 30, 4, 0}}},
    });
    dir.insert(dir.end(), groups.begin(), groups.end());
    return dir;
}

Bytes Inflate(const Bytes& stream, size_t size)
{
    Bytes out(size);
    uLongf length = size;
    EXPECT_EQ(uncompress(out.data(), &length, stream.data(), stream.size()), Z_OK);
    out.resize(length);
    return out;
}

TEST(ResourceDirectoryLayout, SharedMapSplicesSizeWordsIntoTheStream)
{
    const Bytes dir = SharedDirectory(1);
    const Bytes map = testkit::BuildSharedMap(dir);
    const uint32_t c = testkit::GetU32At(map, 100);
    ASSERT_EQ(map.size(), size_t(c) + 8);
    EXPECT_GE(c, 200u);
    EXPECT_EQ(testkit::GetU32At(map, 204), dir.size());

    Bytes stream(map.begin(), map.begin() + 100);
    stream.insert(stream.end(), map.begin() + 104, map.begin() + 204);
    stream.insert(stream.end(), map.begin() + 208, map.end());
    EXPECT_EQ(Inflate(stream, dir.size()), dir);

    // Entry fields by hand: name at 0, volume at 63, offset, size, packed size.
    const uint8_t* beta = dir.data() + 2 * 112 + 8 + 76;
    EXPECT_STREQ(reinterpret_cast<const char*>(beta), "beta");
    EXPECT_EQ(beta[63], 1);
    EXPECT_EQ(testkit::GetU32At(dir, 2 * 112 + 8 + 76 + 64), 10u);
    EXPECT_EQ(testkit::GetU32At(dir, 2 * 112 + 8 + 76 + 68), 300u);
    EXPECT_EQ(testkit::GetU32At(dir, 2 * 112 + 8 + 76 + 72), 20u);
}

TEST(ResourceDirectoryLayout, LocalSizeWordsSitAtTwoNAndFourNPlusFour)
{
    const struct {
        int language;
        size_t c;
        size_t u;
    } cases[] = {{0, 0, 4}, {7, 14, 32}, {31, 62, 128}};
    Bytes dir = testkit::BuildTypeGroups({{9, {{"subs", 0, 0, 1, 0}}}});
    testkit::PutVolumeRecord(dir, {907, 1, 0, "resource.907"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        const Bytes local = testkit::BuildLocalDirectory(dir, c.language);
        const uint32_t streamSize = testkit::GetU32At(local, c.c);
        EXPECT_EQ(testkit::GetU32At(local, c.u), dir.size());
        EXPECT_EQ(local.size(), size_t(streamSize) + 8);
        EXPECT_GE(streamSize, uint32_t(4 * c.language));
    }
}

TEST(ResourceDirectoryParse, SharedMapRoundTrip)
{
    const Bytes map = testkit::BuildSharedMap(SharedDirectory(42));
    cResourceMemorySource file(map.data(), map.size());
    std::vector<uint8_t> dir;
    ASSERT_TRUE(ResourceDirectory::InflateShared(file, dir));
    std::vector<sVolumeRecord> volumes;
    tResourceEntryLists lists;
    ASSERT_TRUE(ResourceDirectory::ParseShared(dir, volumes, lists));
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].number, 42u);
    EXPECT_STREQ(volumes[0].name, "resource.001");
    ASSERT_EQ(lists[1].size(), 2u);
    EXPECT_STREQ(lists[1][1].name, "beta");
    EXPECT_EQ(lists[1][1].volume, 1);
    EXPECT_EQ(lists[1][1].offset, 10u);
    EXPECT_EQ(lists[1][1].size, 300u);
    EXPECT_EQ(lists[1][1].compressedSize, 20u);
    ASSERT_EQ(lists[14].size(), 1u);
    EXPECT_TRUE(lists[0].empty());
    EXPECT_TRUE(ResourceDirectory::VolumesInRange(lists, 2));
    EXPECT_FALSE(ResourceDirectory::VolumesInRange(lists, 1));
}

TEST(ResourceDirectoryParse, MapWithoutDataVolumesHoldsTheTerminatingRecordOnly)
{
    Bytes dir;
    testkit::PutVolumeRecord(dir, {0, 0, 0, ""});
    Bytes groups = testkit::BuildTypeGroups({{3, {{"key", 0, 0, 1, 0}}}});
    dir.insert(dir.end(), groups.begin(), groups.end());
    std::vector<sVolumeRecord> volumes;
    tResourceEntryLists lists;
    ASSERT_TRUE(ResourceDirectory::ParseShared(dir, volumes, lists));
    EXPECT_TRUE(volumes.empty());
    EXPECT_EQ(lists[3].size(), 1u);
}

// A language volume file: data, the spliced directory at L, then L.
Bytes LanguageVolume(const Bytes& local, int language, size_t dataBytes)
{
    Bytes file(dataBytes, 0xAB);
    const Bytes spliced = testkit::BuildLocalDirectory(local, language);
    file.insert(file.end(), spliced.begin(), spliced.end());
    testkit::PutU32(file, uint32_t(dataBytes));
    return file;
}

TEST(ResourceDirectoryParse, LocalDirectoryRoundTrip)
{
    Bytes local = testkit::BuildTypeGroups({{10, {{"speech", 0, 0, 5, 0}}}});
    testkit::PutVolumeRecord(local, {907, 1, 0, "resource.907"});
    const Bytes file = LanguageVolume(local, 7, 5);
    cResourceMemorySource source(file.data(), file.size());
    std::vector<uint8_t> dir;
    ASSERT_TRUE(ResourceDirectory::InflateLocal(source, 7, dir));
    sVolumeRecord record;
    tResourceEntryLists lists;
    ASSERT_TRUE(ResourceDirectory::ParseLocal(dir, record, lists));
    EXPECT_EQ(record.number, 907u);
    ASSERT_EQ(lists[10].size(), 1u);
    EXPECT_STREQ(lists[10][0].name, "speech");
    // Read as another language, the words are taken from the wrong places.
    EXPECT_FALSE(ResourceDirectory::InflateLocal(source, 6, dir));
}

struct CorruptCase {
    const char* what;
    std::function<void(Bytes&)> spoil;
};

TEST(ResourceDirectoryParse, CorruptSharedMapsAreRefused)
{
    const Bytes good = testkit::BuildSharedMap(SharedDirectory(1));
    const CorruptCase cases[] = {
        {"empty file", [](Bytes& m) { m.clear(); }},
        {"truncated", [](Bytes& m) { m.resize(m.size() - 1); }},
        {"C below 200", [](Bytes& m) { testkit::PutU32At(m, 100, 199); }},
        {"C beyond the file", [](Bytes& m) { testkit::PutU32At(m, 100, uint32_t(m.size())); }},
        {"C huge", [](Bytes& m) { testkit::PutU32At(m, 100, 0xFFFFFFFFu); }},
        {"U too small", [](Bytes& m) { testkit::PutU32At(m, 204, testkit::GetU32At(m, 204) - 1); }},
        {"U too large", [](Bytes& m) { testkit::PutU32At(m, 204, testkit::GetU32At(m, 204) + 1); }},
        {"U beyond any zlib ratio", [](Bytes& m) { testkit::PutU32At(m, 204, 0xFFFFFFF0u); }},
        {"stream corrupt", [](Bytes& m) { m[2] ^= 0xFF; m[3] ^= 0xFF; }},
    };
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes map = good;
        c.spoil(map);
        cResourceMemorySource file(map.data(), map.size());
        std::vector<uint8_t> dir;
        EXPECT_FALSE(ResourceDirectory::InflateShared(file, dir));
    }
}

TEST(ResourceDirectoryParse, CorruptDirectoriesAreRefused)
{
    auto shared = [](std::function<void(Bytes&)> groups) {
        Bytes dir;
        testkit::PutVolumeRecord(dir, {1, 1, 0, "resource.001"});
        testkit::PutVolumeRecord(dir, {0, 0, 0, ""});
        groups(dir);
        return dir;
    };
    const struct {
        const char* what;
        Bytes dir;
    } cases[] = {
        {"no terminating record", [] { Bytes d; testkit::PutVolumeRecord(d, {1, 1, 0, ""}); return d; }()},
        {"record cut short", Bytes(111, 0)},
        {"no group terminator", shared([](Bytes&) {})},
        {"type 15", shared([](Bytes& d) {
             testkit::PutU32(d, 15); testkit::PutU32(d, 1);
             testkit::PutEntry(d, {"x", 1, 0, 1, 0});
             testkit::PutU32(d, 0); testkit::PutU32(d, 0); })},
        {"count beyond the data", shared([](Bytes& d) {
             testkit::PutU32(d, 1); testkit::PutU32(d, 2);
             testkit::PutEntry(d, {"x", 1, 0, 1, 0});
             testkit::PutU32(d, 0); testkit::PutU32(d, 0); })},
        {"huge count", shared([](Bytes& d) {
             testkit::PutU32(d, 1); testkit::PutU32(d, 0xFFFFFFFFu);
             testkit::PutU32(d, 0); testkit::PutU32(d, 0); })},
        {"name without NUL", shared([](Bytes& d) {
             testkit::PutU32(d, 1); testkit::PutU32(d, 1);
             testkit::PutEntry(d, {std::string(63, 'n'), 1, 0, 1, 0});
             testkit::PutU32(d, 0); testkit::PutU32(d, 0); })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<sVolumeRecord> volumes;
        tResourceEntryLists lists;
        EXPECT_FALSE(ResourceDirectory::ParseShared(c.dir, volumes, lists));
    }

    // The local directory's groups may not run into its trailing record.
    Bytes local = testkit::BuildTypeGroups({{1, {{"a", 0, 0, 1, 0}}}});
    local.resize(local.size() - 8);  // no terminator: the record would be read as a group
    testkit::PutVolumeRecord(local, {900, 1, 0, ""});
    sVolumeRecord record;
    tResourceEntryLists lists;
    EXPECT_FALSE(ResourceDirectory::ParseLocal(local, record, lists));
    EXPECT_FALSE(ResourceDirectory::ParseLocal(Bytes(111, 0), record, lists));
}

TEST(ResourceDirectoryParse, CorruptLanguageVolumesAreRefused)
{
    Bytes local = testkit::BuildTypeGroups({});
    testkit::PutVolumeRecord(local, {903, 1, 0, ""});
    const Bytes good = LanguageVolume(local, 3, 16);
    const CorruptCase cases[] = {
        {"shorter than L", [](Bytes& m) { m.resize(3); }},
        {"L beyond the file", [](Bytes& m) { testkit::PutU32At(m, m.size() - 4, uint32_t(m.size())); }},
        {"L huge", [](Bytes& m) { testkit::PutU32At(m, m.size() - 4, 0xFFFFFFF0u); }},
        {"C below 4n", [](Bytes& m) { testkit::PutU32At(m, 16 + 6, 11); }},
        {"C beyond the file", [](Bytes& m) { testkit::PutU32At(m, 16 + 6, uint32_t(m.size())); }},
        {"U other than inflated", [](Bytes& m) { testkit::PutU32At(m, 16 + 16, 113); }},
        {"truncated directory", [](Bytes& m) { m.erase(m.end() - 6, m.end() - 4); }},
    };
    {
        cResourceMemorySource file(good.data(), good.size());
        std::vector<uint8_t> dir;
        ASSERT_TRUE(ResourceDirectory::InflateLocal(file, 3, dir));
    }
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes volume = good;
        c.spoil(volume);
        cResourceMemorySource file(volume.data(), volume.size());
        std::vector<uint8_t> dir;
        EXPECT_FALSE(ResourceDirectory::InflateLocal(file, 3, dir));
    }
}

TEST(ResourceDirectoryFind, BinarySearchInUnsignedByteOrder)
{
    // Sorted as unsigned bytes: 0xE9 ("é" in Windows-1252) comes after 'z'.
    const char* names[] = {"a", "ab", "b", "z", "\xE9t\xE9"};
    tResourceEntryList list;
    for (const char* name : names) {
        sResourceEntry entry{};
        std::strcpy(entry.name, name);
        list.push_back(entry);
    }
    for (size_t count = 0; count <= list.size(); ++count) {
        tResourceEntryList part(list.begin(), list.begin() + count);
        for (size_t i = 0; i < list.size(); ++i) {
            const sResourceEntry* found = ResourceDirectory::Find(part, names[i]);
            if (i < count)
                EXPECT_EQ(found, &part[i]) << names[i] << " in " << count;
            else
                EXPECT_EQ(found, nullptr) << names[i] << " in " << count;
        }
        EXPECT_EQ(ResourceDirectory::Find(part, "aa"), nullptr);
        EXPECT_EQ(ResourceDirectory::Find(part, ""), nullptr);
    }
}

}  // namespace
