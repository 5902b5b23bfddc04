// The font reader on a headless device: the input is the resource "font1",
// read from a fresh archive with the other fonts missing; a text of every
// glyph the font holds is then laid out, wrapped and centred.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/render/font.h"
#include "fuzz/fatal_guard.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"

namespace {

namespace fs = std::filesystem;

// One working folder and one device for the whole run; the log goes nowhere.
bool Ready()
{
    static const bool ready = [] {
        std::string pattern = (fs::temp_directory_path() / "tarvel-fuzz-font-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static const fs::path folder = pattern;
        fs::create_directories(folder / "root");
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        fs::current_path(folder);
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        std::atexit([] {
            gTarvel.mFonts.Release();
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
    if (!Ready())
        return 0;
    testkit::ArchiveWriter writer;
    writer.AddLanguage(9);
    writer.AddShared(1, "font1", kResourceOther, std::span<const uint8_t>(data, size), false);
    std::string error;
    if (!writer.Write(fs::current_path(), &error))
        std::abort();

    cTarvelResource& archive = gTarvel.mResources;
    cTarvelFont& fonts = gTarvel.mFonts;
    gTarvel.mConfig.Language = 9;
    if (fuzz::RunGuarded([&] { archive.Initialize(); })) {
        fuzz::RunGuarded([&] {
            fonts.LoadFonts();
            const sFont& font = fonts.mFonts[0];
            std::u16string text;
            for (int32_t i = 0; i < font.glyphCount && i < 512; ++i)
                text.push_back(font.glyphs[i].code == 0 ? u' ' : char16_t(font.glyphs[i].code));
            fonts.CreateTextW(0, text.c_str(), 100, 100, 0x80FFFFFFu, cTarvelFont::kWrap | cTarvelFont::kCentre, 40);
            fonts.CreateTextW(0, text.c_str(), 0, 0, 0xFFFFFFFFu, 0, 0)->SetPosition(10, 20);
            fonts.GetTextWidth(0, text.c_str());
        });
    }
    fonts.Release();
    // Closes every slot a refused file left open.
    archive.Release();
    return 0;
}
