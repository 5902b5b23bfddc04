#pragma once
// For entry points that read through the engine's archive onto a headless
// device: one temporary folder, platform root and device for the whole run,
// and an archive made afresh for each input.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "engine/core/tarvel.h"
#include "fuzz/fatal_guard.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"

namespace fuzz {

// The run's temporary folder, named after the entry point: the archive is
// written there and the engine reads it as its program folder, so the
// working folder (where libFuzzer keeps a relative corpus) never changes.
inline const std::filesystem::path& HeadlessFolder(const char* name = "engine")
{
    namespace fs = std::filesystem;
    static const fs::path folder = [name] {
        std::string pattern =
            (fs::temp_directory_path() / (std::string("tarvel-fuzz-") + name + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

// Sets the run up on first use: the folder, its platform root, the log sent
// nowhere, the window and the device. `release` runs at exit before the
// device is shut down and the folder removed. False when the device could
// not be made.
inline bool HeadlessEngineReady(const char* name, void (*release)())
{
    namespace fs = std::filesystem;
    static void (*releaseAtExit)() = release;
    static const bool ready = [name] {
        // Made before the exit handler is registered, so it outlives it.
        const fs::path& folder = HeadlessFolder(name);
        fs::create_directories(folder / "root");
        setenv("TARVEL_ROOT", (folder / "root").c_str(), 1);
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        std::atexit([] {
            if (releaseAtExit)
                releaseAtExit();
            gTarvel.mGraphics.Shutdown();
            std::error_code ignored;
            fs::remove_all(HeadlessFolder(), ignored);
        });
        gTarvel.mProgramFolder = cTarvelString(platform::ShowPath(folder.string()).c_str()) + "\\";
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

inline std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in && !in.eof())
        std::abort();
    return bytes;
}

inline void WriteWhole(const std::filesystem::path& path, const void* bytes, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), std::streamsize(size));
    if (!out)
        std::abort();
}

// An entry every archive of a run holds beside the input.
struct FixedEntry {
    std::string name;
    int type;
    std::vector<uint8_t> bytes;
};

// Writes an archive holding `bytes` as the shared entry `name` of `type` into
// the run's folder and starts the engine's archive on it. False when the
// archive refused it; the caller releases the archive either way. `fixed`
// entries, the same on every call of a run, are stored before the input.
inline bool OpenArchiveWith(const char* name, int type, std::span<const uint8_t> bytes,
                            std::span<const FixedEntry> fixed = {})
{
    namespace fs = std::filesystem;
    const fs::path& folder = HeadlessFolder();
    // The two directories depend on the entry's name, type and size only, and
    // the stored entries alone fill data volume 1: directories made once for a
    // size are written again as they were, which spares the two zlib streams
    // of the writer (most of an input's time).
    struct Directories {
        std::string map, local;
    };
    static std::map<std::tuple<std::string, int, size_t>, Directories> made;
    const auto key = std::make_tuple(std::string(name), type, bytes.size());
    if (const auto found = made.find(key); found != made.end()) {
        WriteWhole(folder / "resource.map", found->second.map.data(), found->second.map.size());
        WriteWhole(folder / "resource.909", found->second.local.data(), found->second.local.size());
        static std::vector<uint8_t> volume;
        volume.clear();
        for (const FixedEntry& entry : fixed)
            volume.insert(volume.end(), entry.bytes.begin(), entry.bytes.end());
        volume.insert(volume.end(), bytes.begin(), bytes.end());
        WriteWhole(folder / "resource.001", volume.data(), volume.size());
    } else {
        testkit::ArchiveWriter writer;
        writer.AddLanguage(9);
        for (const FixedEntry& entry : fixed)
            writer.AddShared(1, entry.name, entry.type, entry.bytes, false);
        writer.AddShared(1, name, type, bytes, false);
        std::string error;
        if (!writer.Write(folder, &error))
            std::abort();
        made.emplace(key, Directories{ReadWhole(folder / "resource.map"), ReadWhole(folder / "resource.909")});
    }
    gTarvel.mConfig.Language = 9;
    return RunGuarded([] { gTarvel.mResources.Initialize(); });
}

}  // namespace fuzz
