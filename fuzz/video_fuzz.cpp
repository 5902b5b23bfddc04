// The video layer: the input is written behind a 40-byte prefix, as in an
// archive volume, and opened on a handle positioned after it; the input
// size's parity picks preloading. Every frame is decoded and copied, and
// a few jumps are made.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bink/bink.h"
#include "platform/win32/win32.h"

namespace {

namespace fs = std::filesystem;

const std::string& FilePath()
{
    static const std::string path = [] {
        std::string pattern = (fs::temp_directory_path() / "tarvel-fuzz-video-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static const fs::path folder = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        return (folder / "volume").string();
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = FilePath();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    const std::vector<uint8_t> prefix(40, 0xAB);
    std::fwrite(prefix.data(), 1, prefix.size(), out);
    if (size > 0)
        std::fwrite(data, 1, size, out);
    std::fclose(out);

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    SetFilePointer(file, 40, nullptr, FILE_BEGIN);
    const uint32_t flags = BINKFILEHANDLE | BINKALPHA | ((size & 1) ? BINKPRELOADALL : 0);
    HBINK bink = BinkOpen(reinterpret_cast<const char*>(file), flags);
    if (bink) {
        // A small buffer: copies are cut to it.
        std::vector<uint32_t> pixels(64 * 64);
        const uint32_t frames = bink->Frames < 64 ? bink->Frames : 64;
        for (uint32_t n = 0; n < frames; ++n) {
            if (BinkDoFrame(bink) == 0)
                BinkCopyToBuffer(bink, pixels.data(), 64 * 4, 64, 0, 0, BINKSURFACE32A);
            BinkNextFrame(bink);
        }
        for (uint32_t target : {bink->Frames, 1u, bink->Frames / 2}) {
            BinkGoto(bink, target, 0);
            BinkDoFrame(bink);
        }
        BINKFRAMEBUFFERS info;
        BinkGetFrameBuffersInfo(bink, &info);
        BinkClose(bink);
    }
    CloseHandle(file);
    return 0;
}
