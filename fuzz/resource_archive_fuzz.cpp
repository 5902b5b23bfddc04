// The whole archive on disk: start-up, then every entry of every list opened
// and read to its end. The input is the language number (one byte), then
// "resource.map", data volume 1 and the language volume, each preceded by
// its length (4 bytes, little-endian; what is missing is an empty file).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/core/tarvel.h"
#include "fuzz/fatal_guard.h"
#include "platform/win32/path.h"

namespace {

namespace fs = std::filesystem;

// One temporary folder for the whole run, which the engine reads as its
// program folder (the working folder, where libFuzzer keeps a relative
// corpus, never changes); removed at exit. The engine's log goes nowhere.
struct TempFolder {
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "tarvel-fuzz-archive-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
        fs::create_directories(path / "root");
        setenv("TARVEL_ROOT", (path / "root").c_str(), 1);
        gTarvel.mProgramFolder = cTarvelString(platform::ShowPath(path.string()).c_str()) + "\\";
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

const fs::path& Folder()
{
    static const TempFolder folder;
    return folder.path;
}

void WriteSection(const char* name, const uint8_t*& data, size_t& size)
{
    size_t length = 0;
    if (size >= 4) {
        length = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3]) << 24;
        data += 4;
        size -= 4;
    }
    if (length > size)
        length = size;
    std::ofstream out(Folder() / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(length));
    data += length;
    size -= length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int language = data[0] % 32;
    ++data;
    --size;
    WriteSection("resource.map", data, size);
    WriteSection("resource.001", data, size);
    char volume[32];
    std::snprintf(volume, sizeof volume, "resource.%.3d", 900 + language);
    WriteSection(volume, data, size);

    cTarvelResource& archive = gTarvel.mResources;
    gTarvel.mConfig.Language = uint32_t(language);
    if (fuzz::RunGuarded([&] { archive.Initialize(); })) {
        for (int type = 0; type < kResourceTypeCount; ++type) {
            for (const tResourceEntryList* list : {&archive.LocalEntries(type), &archive.SharedEntries(type)}) {
                for (const sResourceEntry& entry : *list) {
                    fuzz::RunGuarded([&] {
                        const int slot = archive.OpenResource(entry.name, type);
                        if (slot < 0)
                            return;
                        std::free(archive.ReadBlock(slot, archive.GetSize(slot)));
                        archive.CloseResource(slot);
                    });
                }
            }
        }
    }
    archive.Release();
    fs::remove(Folder() / volume);
    return 0;
}
