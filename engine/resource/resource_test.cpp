#include "engine/resource/resource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "platform/win32/crt.h"
#include "tools/archive_writer.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testkit::Bytes;

Bytes Pattern(size_t size, uint8_t seed)
{
    Bytes data(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return data;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

int OpenDescriptors()
{
    int count = 0;
    for (const auto& item : fs::directory_iterator("/proc/self/fd")) {
        (void)item;
        ++count;
    }
    return count;
}

class ResourceTest : public EngineTest {
protected:
    cTarvelResource& Res() { return gTarvel.mResources; }

    void Write(const testkit::ArchiveWriter& writer)
    {
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
    }

    // Reads a whole resource through its slot, in uneven pieces.
    Bytes ReadAll(const char* name, int type)
    {
        const int slot = Res().OpenResource(name, type);
        EXPECT_GT(slot, 0);
        if (slot <= 0)
            return {};
        Bytes data(Res().GetSize(slot));
        size_t done = 0;
        for (uint32_t piece = 1; done < data.size(); piece = piece * 3 + 1) {
            const uint32_t n = uint32_t(std::min<size_t>(piece, data.size() - done));
            Res().Read(slot, data.data() + done, n);
            done += n;
        }
        EXPECT_EQ(Res().GetResourcePos(slot, false), int32_t(data.size()));
        Res().CloseResource(slot);
        return data;
    }

    // A small archive: language 9 with two entries, data volumes 1 and 2.
    testkit::ArchiveWriter Sample()
    {
        testkit::ArchiveWriter writer;
        writer.AddLocal(9, "menu", kResourceImage, Pattern(5000, 1), true);
        writer.AddLocal(9, "hello", kResourceSubtitle, Text("hello"), false);
        writer.AddShared(1, "hall", kResourceScene, Pattern(70000, 2), true);
        writer.AddShared(1, "intro", kResourceBik, Pattern(3000, 3), false);
        writer.AddShared(1, "readme.txt", kResourceOther, Text("read me"), true);
        writer.AddShared(2, "door", kResourceScene, Pattern(17, 4), false);
        writer.AddShared(2, "empty", kResourceItem, {}, false);
        writer.AddShared(2, "hello", kResourceSubtitle, Text("shared hello"), false);
        return writer;
    }

    void InitSample()
    {
        Write(Sample());
        gTarvel.mConfig.Language = 9;
        ASSERT_EQ(Res().Initialize(), 0);
    }
};

TEST_F(ResourceTest, EveryEntryReadsBackAsWritten)
{
    InitSample();
    EXPECT_THAT(Log(), HasSubstr("Initializing resources...\n"));
    EXPECT_EQ(ReadAll("menu", kResourceImage), Pattern(5000, 1));
    EXPECT_EQ(ReadAll("hall", kResourceScene), Pattern(70000, 2));
    EXPECT_EQ(ReadAll("intro", kResourceBik), Pattern(3000, 3));
    EXPECT_EQ(ReadAll("readme.txt", kResourceOther), Text("read me"));
    EXPECT_EQ(ReadAll("door", kResourceScene), Pattern(17, 4));
    EXPECT_EQ(ReadAll("empty", kResourceItem), Bytes());
    // The language volume comes before the shared directory.
    EXPECT_EQ(ReadAll("hello", kResourceSubtitle), Text("hello"));
    // Mixed case finds the lower-case entry.
    EXPECT_EQ(ReadAll("HaLL", kResourceScene), Pattern(70000, 2));

    // Volume table: the language volume first, then the map's records.
    ASSERT_EQ(Res().VolumeCount(), 3);
    EXPECT_EQ(Res().Volume(0).number, 909u);
    EXPECT_STREQ(Res().Volume(0).name, "resource.909");
    EXPECT_EQ(Res().Volume(1).number, 1u);
    EXPECT_STREQ(Res().Volume(2).name, "resource.002");
    EXPECT_TRUE(Res().Handle(0).opened);
}

TEST_F(ResourceTest, BlocksSkipsAndPositions)
{
    InitSample();
    const Bytes hall = Pattern(70000, 2);
    const Bytes intro = Pattern(3000, 3);
    for (const char* name : {"hall", "intro"}) {
        SCOPED_TRACE(name);
        const int type = name[0] == 'h' ? kResourceScene : kResourceBik;
        const Bytes& data = name[0] == 'h' ? hall : intro;
        const int slot = Res().OpenResource(name, type);
        ASSERT_GT(slot, 0);
        EXPECT_EQ(Res().GetResourcePos(slot, false), 0);
        Res().Forward(slot, 100);
        Res().Forward(slot, -40);
        EXPECT_EQ(Res().GetResourcePos(slot, false), 60);
        uint8_t* block = Res().ReadBlock(slot, 500);
        EXPECT_EQ(0, std::memcmp(block, data.data() + 60, 500));
        std::free(block);
        EXPECT_EQ(Res().GetResourcePos(slot, false), 560);
        Res().Forward(slot, int32_t(data.size()) - 560);
        Res().CloseResource(slot);
    }
    // Absolute positions are file offsets for stored entries; intro follows
    // hall's packed bytes in volume 1.
    const sResourceEntry& entry = Res().SharedEntries(kResourceBik)[0];
    const int slot = Res().OpenResource("intro", kResourceBik);
    EXPECT_EQ(Res().GetResourcePos(slot, true), int32_t(entry.offset));
    EXPECT_GT(entry.offset, 0u);
    Res().CloseResource(slot);
}

TEST_F(ResourceTest, LanguageFallsBackToNineThenTheFirstInstalled)
{
    const struct {
        uint32_t configured;
        std::vector<int> installed;
        uint32_t used;
    } cases[] = {
        {7, {9, 3}, 9},
        {7, {3}, 3},
        {3, {3, 9}, 3},
        {0x407, {31, 5}, 5},
        {0xFFFFFFFFu, {0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configured);
        fs::remove_all(WorkDir() / "archive");
        testkit::ArchiveWriter writer;
        for (int language : c.installed)
            writer.AddLocal(language, "voice", kResourceWav, Text(std::to_string(language)), false);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir() / "archive", &error)) << error;
        gTarvel.mProgramFolder = "archive\\";
        gTarvel.mConfig.Language = c.configured;
        ASSERT_EQ(Res().Initialize(), 0);
        EXPECT_EQ(gTarvel.mConfig.Language, c.used);
        EXPECT_EQ(ReadAll("voice", kResourceWav), Text(std::to_string(c.used)));
    }
}

TEST_F(ResourceTest, MissingArchiveFilesAreFatal)
{
    gTarvel.mConfig.Language = 9;
    std::string text = CatchFatalError([&] { Res().Initialize(); });
    EXPECT_THAT(text, HasSubstr("Error in function cTarvelResource::Initialize\n"
                                "Reading local resource list failed, you need to reinstall the game.\n"
                                "File: .\\source\\class_resource, Line: 77"));

    testkit::ArchiveWriter noMap = Sample();
    noMap.SetWriteMap(false);
    Write(noMap);
    text = CatchFatalError([&] { Res().Initialize(); });
    EXPECT_THAT(text, HasSubstr("cTarvelResource::ReadSharedList\nReading shared resource list failed, "
                                "you need to reinstall the game.\nFile: .\\source\\class_resource, Line: 266"));

    Write(Sample());
    fs::remove(WorkDir() / "resource.002");
    text = CatchFatalError([&] { Res().Initialize(); });
    EXPECT_THAT(text, HasSubstr("cTarvelResource::ReadSharedList\nFile open failed: resource.002\n"
                                "File: .\\source\\class_resource, Line: 236"));
}

TEST_F(ResourceTest, MissingVolumesAreFoundOnADrive)
{
    Write(Sample());
    fs::create_directories(RootDir() / "drives" / "e");
    fs::create_directories(RootDir() / "drives" / "f");
    fs::rename(WorkDir() / "resource.002", RootDir() / "drives" / "e" / "resource.002");
    fs::rename(WorkDir() / "resource.909", RootDir() / "drives" / "f" / "resource.909");
    gTarvel.mConfig.Language = 9;
    ASSERT_EQ(Res().Initialize(), 0);
    EXPECT_STREQ(Res().Volume(0).name, "f:\\resource.909");
    EXPECT_STREQ(Res().Volume(2).name, "e:\\resource.002");
    EXPECT_EQ(ReadAll("door", kResourceScene), Pattern(17, 4));
    EXPECT_EQ(ReadAll("menu", kResourceImage), Pattern(5000, 1));
}

TEST_F(ResourceTest, CorruptDirectoriesAreFatal)
{
    // A data volume index beyond the table of three volumes.
    Write(Sample());
    Bytes dir;
    testkit::PutVolumeRecord(dir, {1, 1, 0, "resource.001"});
    testkit::PutVolumeRecord(dir, {0, 0, 0, ""});
    const Bytes groups = testkit::BuildTypeGroups({{1, {{"far", 3, 0, 1, 0}}}});
    dir.insert(dir.end(), groups.begin(), groups.end());
    const Bytes map = testkit::BuildSharedMap(dir);
    std::ofstream(WorkDir() / "resource.map", std::ios::binary)
        .write(reinterpret_cast<const char*>(map.data()), std::streamsize(map.size()));
    gTarvel.mConfig.Language = 9;
    std::string text = CatchFatalError([&] { Res().Initialize(); });
    EXPECT_THAT(text, HasSubstr("Reading shared resource list failed, you need to reinstall the game.\n"
                                "File: .\\source\\class_resource, Line: 214"));

    // A language volume whose directory stream is damaged.
    Write(Sample());
    fs::resize_file(WorkDir() / "resource.909", fs::file_size(WorkDir() / "resource.909") - 1);
    text = CatchFatalError([&] { Res().Initialize(); });
    EXPECT_THAT(text, HasSubstr("cTarvelResource::ReadLocalList\nReading local resource list failed, "
                                "you need to reinstall the game.\nFile: .\\source\\class_resource, Line: 156"));
}

TEST_F(ResourceTest, UpdatesFolderOverridesTheArchive)
{
    testkit::ArchiveWriter writer = Sample();
    writer.AddUpdate("Door.SCENE", Text("new door"));
    writer.AddUpdate("Foo.TGA", Text("tga"));
    writer.AddUpdate("readme.txt", Text("loose readme"));
    writer.AddUpdate("NOTES", Text("no extension"));
    writer.AddUpdate(".hidden", Text("x"));
    writer.AddUpdate(std::string(63, 'l') + ".tga", Text("x"));
    Write(writer);
    fs::create_directories(WorkDir() / "updates" / "sub.tga");
    gTarvel.mConfig.Language = 9;
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Res().Initialize(), 0);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("skipped (" + std::string(63, 'l') + ".tga)"));

    ASSERT_EQ(Res().Updates(kResourceTga).Count(), 1);
    EXPECT_STREQ(Res().Updates(kResourceTga)[0].name, "foo");
    EXPECT_EQ(Res().Updates(kResourceTga)[0].size, 3u);
    ASSERT_EQ(Res().Updates(kResourceOther).Count(), 2);
    EXPECT_STREQ(Res().Updates(kResourceOther)[0].name, "notes");
    EXPECT_STREQ(Res().Updates(kResourceOther)[1].name, "readme.txt");

    EXPECT_EQ(ReadAll("door", kResourceScene), Text("new door"));
    EXPECT_EQ(ReadAll("FOO", kResourceTga), Text("tga"));
    EXPECT_EQ(ReadAll("readme.txt", kResourceOther), Text("loose readme"));
    EXPECT_EQ(ReadAll("Notes", kResourceOther), Text("no extension"));
    EXPECT_TRUE(Res().Exists("Foo", kResourceTga));
    EXPECT_FALSE(Res().Exists("foo", kResourceDds));

    // A loose file reports its own positions and the name "external".
    const int slot = Res().OpenResource("door", kResourceScene);
    EXPECT_TRUE(Res().Slot(slot).loose);
    Res().Forward(slot, 4);
    EXPECT_EQ(Res().GetResourcePos(slot, false), 4);
    EXPECT_EQ(Res().GetResourcePos(slot, true), 4);
    uint8_t buffer[8];
    const std::string text = CatchFatalError([&] { Res().Read(slot, buffer, 5); });
    EXPECT_THAT(text, HasSubstr("File reading failed. Resource: external\nFile: .\\source\\class_resource, Line: 588"));
    Res().CloseResource(slot);
}

TEST_F(ResourceTest, UnknownAndOverlongNamesAreNotFound)
{
    InitSample();
    const std::string longName(63, 'a');
    EXPECT_FALSE(Res().Exists(longName.c_str(), kResourceScene));
    EXPECT_FALSE(Res().Exists("hall", kResourceItem));
    EXPECT_FALSE(Res().Exists("hall", 15));
    EXPECT_FALSE(Res().Exists("hall", -1));
    EXPECT_TRUE(Res().Exists("HALL", kResourceScene));

    std::string text = CatchFatalError([&] { Res().OpenResource("Missing", kResourceItem); });
    EXPECT_THAT(text, HasSubstr("cTarvelResource::OpenResource\nResource not found: <3> Missing\n"
                                "File: .\\source\\class_resource, Line: 422"));
    text = CatchFatalError([&] { Res().OpenResource((longName + longName).c_str(), kResourceScene); });
    EXPECT_THAT(text, HasSubstr("Resource not found: <1> " + longName + longName));
}

TEST_F(ResourceTest, FortyNineSlotsAtMost)
{
    testkit::ArchiveWriter writer = Sample();
    writer.AddUpdate("loose.item", Text("loose"));
    Write(writer);
    gTarvel.mConfig.Language = 9;
    ASSERT_EQ(Res().Initialize(), 0);

    std::vector<int> slots;
    for (int i = 0; i < 49; ++i)
        slots.push_back(Res().OpenResource("menu", kResourceImage));
    std::vector<int> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 49; ++i)
        EXPECT_EQ(sorted[i], i + 1);

    // The 50th open gets no slot; what it opened for itself is given back.
    const int before = OpenDescriptors();
    EXPECT_EQ(Res().OpenResource("loose", kResourceItem), -1);
    EXPECT_EQ(Res().OpenResource("door", kResourceScene), -1);
    EXPECT_EQ(OpenDescriptors(), before + 1);  // volume 2's descriptor, now shared
    EXPECT_TRUE(Res().Handle(2).opened);
    EXPECT_TRUE(Res().Handle(2).available);

    Res().CloseResource(slots[10]);
    EXPECT_EQ(Res().OpenResource("door", kResourceScene), slots[10]);
}

TEST_F(ResourceTest, SecondDescriptorForASharedVolume)
{
    InitSample();
    const int base = OpenDescriptors();
    ::testing::internal::CaptureStderr();
    const int first = Res().OpenResource("intro", kResourceBik);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(OpenDescriptors(), base + 1);

    ::testing::internal::CaptureStderr();
    const int second = Res().OpenResource("intro", kResourceBik);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Second file opened (resource.001).\n");
    EXPECT_NE(first, second);
    EXPECT_EQ(OpenDescriptors(), base + 2);

    // Inflating through a second descriptor closes it afterwards.
    ::testing::internal::CaptureStderr();
    const int packed = Res().OpenResource("hall", kResourceScene);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("Second file opened"));
    EXPECT_EQ(OpenDescriptors(), base + 2);
    EXPECT_EQ(Res().Slot(packed).file, -1);

    // Both slots read on their own positions.
    uint8_t a[10], b[10];
    Res().Forward(first, 10);
    Res().Read(first, a, 10);
    Res().Read(second, b, 10);
    const Bytes intro = Pattern(3000, 3);
    EXPECT_EQ(0, std::memcmp(a, intro.data() + 10, 10));
    EXPECT_EQ(0, std::memcmp(b, intro.data(), 10));

    Res().CloseResource(second);
    EXPECT_EQ(OpenDescriptors(), base + 1);
    Res().CloseResource(first);
    EXPECT_EQ(OpenDescriptors(), base + 1);  // the shared one stays open
    ::testing::internal::CaptureStderr();
    Res().CloseResource(Res().OpenResource("intro", kResourceBik));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    Res().CloseResource(packed);
}

TEST_F(ResourceTest, ReadsStayInsideTheirEntry)
{
    InitSample();
    const struct {
        const char* name;
        int type;
        const char* description;
    } cases[] = {
        {"door", kResourceScene, "stored"},      // volume 2 holds door, then empty, then hello
        {"readme.txt", kResourceOther, "compressed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const int slot = Res().OpenResource(c.name, c.type);
        const uint32_t size = Res().GetSize(slot);
        uint8_t buffer[64];
        std::string text = CatchFatalError([&] { Res().Read(slot, buffer, size + 1); });
        EXPECT_THAT(text, HasSubstr(std::string("cTarvelResource::Read\nFile reading failed. Resource: ") + c.name +
                                    "\nFile: .\\source\\class_resource, Line: 588"));
        text = CatchFatalError([&] { Res().Forward(slot, int32_t(size) + 1); });
        EXPECT_THAT(text, HasSubstr(std::string("cTarvelResource::Forward\nFile forwarding failed. Resource: ") +
                                    c.name + "\nFile: .\\source\\class_resource, Line: 609"));
        text = CatchFatalError([&] { Res().Forward(slot, -1); });
        EXPECT_THAT(text, HasSubstr("Line: 609"));
        // A block larger than what is left is refused before it is allocated.
        text = CatchFatalError([&] { Res().ReadBlock(slot, 0xFFFFFFF0u); });
        EXPECT_THAT(text, HasSubstr(std::string("File reading failed. Resource: ") + c.name));
        // The failed calls moved nothing.
        EXPECT_EQ(Res().GetResourcePos(slot, false), 0);
        Res().Read(slot, buffer, size);
        Res().CloseResource(slot);
    }
}

TEST_F(ResourceTest, EntriesBeyondTheirVolumeAreFatalAtOpen)
{
    // Volume 1 loses its last byte: readme.txt, its last entry, no longer fits.
    Write(Sample());
    fs::resize_file(WorkDir() / "resource.001", fs::file_size(WorkDir() / "resource.001") - 1);
    gTarvel.mConfig.Language = 9;
    ASSERT_EQ(Res().Initialize(), 0);
    const std::string text = CatchFatalError([&] { Res().OpenResource("ReadMe.txt", kResourceOther); });
    EXPECT_THAT(text, HasSubstr("cTarvelResource::OpenResource\nReading resource failed: <0> ReadMe.txt\n"
                                "File: .\\source\\class_resource, Line: 464"));
    EXPECT_FALSE(Res().Handle(1).opened);
    EXPECT_EQ(ReadAll("intro", kResourceBik), Pattern(3000, 3));
}

TEST_F(ResourceTest, CorruptCompressedEntryIsFatal)
{
    InitSample();
    const sResourceEntry& hall = Res().SharedEntries(kResourceScene)[1];
    ASSERT_STREQ(hall.name, "hall");
    {
        std::fstream volume(WorkDir() / "resource.001", std::ios::in | std::ios::out | std::ios::binary);
        volume.seekp(hall.offset + hall.compressedSize / 2);
        volume.write("\xFF\x00\xFF\x00\xFF\x00", 6);
    }
    const int base = OpenDescriptors();
    const std::string text = CatchFatalError([&] { Res().OpenResource("hall", kResourceScene); });
    EXPECT_THAT(text, HasSubstr("Reading resource failed: <1> hall\nFile: .\\source\\class_resource, Line: 464"));
    EXPECT_EQ(OpenDescriptors(), base + 1);
    EXPECT_TRUE(Res().Handle(1).available);
    for (int slot = 1; slot < cTarvelResource::kSlotCount; ++slot)
        EXPECT_TRUE(Res().Slot(slot).free);
}

TEST_F(ResourceTest, DetachedSlotHandsItsDescriptorOver)
{
    InitSample();
    const int slot = Res().OpenResource("hello", kResourceSubtitle);
    const int file = Res().Slot(slot).file;
    EXPECT_NE(Res().GetFileHandle(slot), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Res().DetachSlot(slot), 0);
    EXPECT_TRUE(Res().Slot(slot).free);
    // The caller owns it now: still open, and the archive will not close it.
    char text[5];
    EXPECT_EQ(crt::_read(file, text, 5), 5);
    EXPECT_EQ(std::string(text, 5), "hello");
    EXPECT_EQ(crt::_close(file), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadAll("menu", kResourceImage), Pattern(5000, 1));
    EXPECT_EQ(ReadAll("hello", kResourceSubtitle), Text("hello"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// A volume's descriptor skips the seek when the last slot left it at the
// next entry; every other way of leaving it must still land on the entry.
TEST_F(ResourceTest, EntriesReadInAnyOrderAfterAnyUseOfTheDescriptor)
{
    testkit::ArchiveWriter writer;
    writer.AddLocal(9, "placeholder", kResourceOther, Text("x"), false);
    const char* const names[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i)
        writer.AddShared(1, names[i], kResourceScene, Pattern(1000 + 100 * i, 10 + i), i == 2);
    Write(writer);
    gTarvel.mConfig.Language = 9;
    ASSERT_EQ(Res().Initialize(), 0);
    auto expect = [&](const char* name) {
        const int i = name[0] - 'a';
        EXPECT_EQ(ReadAll(name, kResourceScene), Pattern(1000 + 100 * i, 10 + i)) << name;
    };
    // In order (the packed c in between), backwards, and twice the same.
    for (const char* name : {"a", "b", "c", "d", "d", "c", "b", "a", "a"})
        expect(name);
    // A slot closed half-way, one skipped forward, one whose descriptor a
    // caller moved through its handle.
    int slot = Res().OpenResource("a", kResourceScene);
    std::free(Res().ReadBlock(slot, 10));
    Res().CloseResource(slot);
    expect("b");
    slot = Res().OpenResource("a", kResourceScene);
    Res().Forward(slot, 1000);
    Res().CloseResource(slot);
    expect("b");
    slot = Res().OpenResource("a", kResourceScene);
    Res().Forward(slot, 1000); // where b starts
    ASSERT_NE(Res().GetFileHandle(slot), INVALID_HANDLE_VALUE);
    crt::_lseek(Res().Slot(slot).file, 5, SEEK_SET);
    Res().CloseResource(slot);
    expect("b");
    expect("a");
}

TEST_F(ResourceTest, BadSlotNumbers)
{
    InitSample();
    for (int slot : {-1, 0, 7, 50}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(Res().CloseResource(slot), -1);
        EXPECT_EQ(Res().GetSize(slot), 0u);
        uint8_t byte;
        EXPECT_THAT(CatchFatalError([&] { Res().Read(slot, &byte, 1); }), HasSubstr("Line: 588"));
    }
}

}  // namespace

namespace {

class ResourceStartTest : public EngineTest {};

TEST_F(ResourceStartTest, EngineWithoutArchiveEndsWithTheReinstallError)
{
    ChildOptions options;
    options.program = TARVEL30X_PATH;
    const ChildResult result = RunChild(options);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.log, HasSubstr("Initializing resources...\nERROR:\nError in function cTarvelResource::Initialize\n"
                                      "Reading local resource list failed, you need to reinstall the game."));
}

TEST_F(ResourceStartTest, EngineStartsOnThePackedSampleGame)
{
    std::string error;
    ASSERT_TRUE(testkit::PackFolder(TARVEL_GAME_STAGING_DIR, WorkDir(), &error)) << error;
    ChildOptions options;
    options.program = TARVEL30X_PATH;
    // The step after the archive begins only when the archive is ready.
    options.endWhenLogContains = "Initializing graphics...";
    options.timeoutMs = 20000;
    const ChildResult result = RunChild(options);
    EXPECT_THAT(result.log, HasSubstr("Initializing resources...\n"));
    EXPECT_THAT(result.log, HasSubstr("Initializing graphics..."));
    EXPECT_THAT(result.log, ::testing::Not(HasSubstr("cTarvelResource")));
}

}  // namespace
