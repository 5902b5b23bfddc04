// The image decoders on a headless device: the first byte picks the kind
// (0 TGA, 1 DDS, 2 engine image file, by its value modulo 3), the rest is
// the file, which is read as the image "fuzz" from a fresh archive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "fuzz/fatal_guard.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"

namespace {

namespace fs = std::filesystem;

// One working folder and one device for the whole run; the log goes nowhere.
bool Ready()
{
    static const bool ready = [] {
        std::string pattern = (fs::temp_directory_path() / "tarvel-fuzz-image-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static const fs::path folder = pattern;
        fs::create_directories(folder / "root");
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        fs::current_path(folder);
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        std::atexit([] {
            gTarvel.mGraphics.Shutdown();
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        gTarvel.mWindow = gMainWindow;
        gTarvel.mConfig.ScreenRes = 0x04000300;
        gTarvel.mConfig.PostEffects = 0;
        gTarvel.mConfig.Gamma = 127;
        return fuzz::RunGuarded([] { gTarvel.mGraphics.Initialize(); });
    }();
    return ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || !Ready())
        return 0;
    static constexpr int kTypes[3] = {kResourceTga, kResourceDds, kResourceImage};
    const int type = kTypes[data[0] % 3];
    testkit::ArchiveWriter writer;
    writer.AddLanguage(9);
    writer.AddShared(1, "fuzz", type, std::span<const uint8_t>(data + 1, size - 1), false);
    std::string error;
    if (!writer.Write(fs::current_path(), &error))
        std::abort();

    cTarvelResource& archive = gTarvel.mResources;
    gTarvel.mConfig.Language = 9;
    if (fuzz::RunGuarded([&] { archive.Initialize(); })) {
        fuzz::RunGuarded([] {
            cTarvelImage image(false);
            if (image.ReadFile("fuzz") == 0) {
                image.SetAlpha(128);
                image.SetTextureRect(0, 0, 8, 8);
                image.GetCurrentFrame();
            }
        });
    }
    // Closes every slot a refused file left open.
    archive.Release();
    return 0;
}
