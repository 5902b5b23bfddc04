#pragma once
// For entry points that read through the engine's archive onto a headless
// device: one working folder, platform root and device for the whole run,
// and an archive made afresh for each input.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "engine/core/tarvel.h"
#include "fuzz/fatal_guard.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"

namespace fuzz {

// Sets the run up on first use: a temporary folder named after `name`, the
// log sent nowhere, the window and the device. `release` runs at exit
// before the device is shut down. False when the device could not be made.
inline bool HeadlessEngineReady(const char* name, void (*release)())
{
    namespace fs = std::filesystem;
    static void (*releaseAtExit)() = release;
    static const bool ready = [name] {
        std::string pattern =
            (fs::temp_directory_path() / (std::string("tarvel-fuzz-") + name + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static const fs::path folder = pattern;
        fs::create_directories(folder / "root");
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        fs::current_path(folder);
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        std::atexit([] {
            if (releaseAtExit)
                releaseAtExit();
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
        return RunGuarded([] { gTarvel.mGraphics.Initialize(); });
    }();
    return ready;
}

// Writes an archive holding `bytes` as the shared entry `name` of `type` into
// the working folder and starts the engine's archive on it. False when the
// archive refused it; the caller releases the archive either way.
inline bool OpenArchiveWith(const char* name, int type, std::span<const uint8_t> bytes)
{
    testkit::ArchiveWriter writer;
    writer.AddLanguage(9);
    writer.AddShared(1, name, type, bytes, false);
    std::string error;
    if (!writer.Write(std::filesystem::current_path(), &error))
        std::abort();
    gTarvel.mConfig.Language = 9;
    return RunGuarded([] { gTarvel.mResources.Initialize(); });
}

}  // namespace fuzz
