// Archive reads in bytes per second. Each case reads every entry of one kind
// (stored or compressed, small or large) from a generated archive through
// the slots; the baselines in the same run are zlib's uncompress of the same
// streams from memory and a plain read of the same bytes from the volume.
// BM_ArchiveReadVsPlainRead runs an archive case and the plain read side by
// side and reports ratio_to_baseline.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "engine/core/tarvel.h"
#include "tools/archive_writer.h"

namespace {

namespace fs = std::filesystem;

enum Kind { kStoredSmall, kStoredLarge, kPackedSmall, kPackedLarge, kKinds };
const char* const kKindNames[kKinds] = {"stored_small", "stored_large", "packed_small", "packed_large"};
constexpr int kSmallCount = 400;
constexpr size_t kSmallSize = 6 * 1024;
constexpr int kLargeCount = 4;
constexpr size_t kLargeSize = 8 * 1024 * 1024;

// Compressible but not trivial: words from a small vocabulary.
std::vector<uint8_t> Content(size_t size, uint32_t seed)
{
    static const char* const words[] = {"mesh ", "light ", "door ", "walk ", "scene ", "0.125 ", "actor ", "\n"};
    std::vector<uint8_t> data;
    data.reserve(size);
    uint32_t x = seed * 747796405u + 1;
    while (data.size() < size) {
        x = x * 1103515245u + 12345u;
        for (const char* w = words[(x >> 16) & 7]; *w && data.size() < size; ++w)
            data.push_back(uint8_t(*w));
    }
    return data;
}

struct Archive {
    fs::path folder;
    std::vector<std::string> names[kKinds];
    std::vector<std::vector<uint8_t>> streams[kKinds];  // what each entry stores
    size_t bytes[kKinds] = {};
};

Archive& TheArchive()
{
    static Archive archive = [] {
        Archive a;
        a.folder = fs::temp_directory_path() / ("tarvel-bench-resource-" + std::to_string(getpid()));
        fs::create_directories(a.folder / "root");
        static const fs::path folder = a.folder;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        setenv("TARVEL_ROOT", (a.folder / "root").c_str(), 1);
        testkit::ArchiveWriter writer;
        writer.AddLocal(9, "placeholder", 0, std::vector<uint8_t>{0}, false);
        for (int kind = 0; kind < kKinds; ++kind) {
            const bool large = kind == kStoredLarge || kind == kPackedLarge;
            const bool packed = kind == kPackedSmall || kind == kPackedLarge;
            const int count = large ? kLargeCount : kSmallCount;
            for (int i = 0; i < count; ++i) {
                const std::string name = std::string(kKindNames[kind]) + "_" + std::to_string(i);
                std::vector<uint8_t> data = Content(large ? kLargeSize : kSmallSize, uint32_t(kind * 1000 + i));
                writer.AddShared(1 + kind, name, 4, data, packed);
                a.streams[kind].push_back(packed ? testkit::Deflate(data) : data);
                a.names[kind].push_back(name);
                a.bytes[kind] += data.size();
            }
        }
        std::string error;
        if (!writer.Write(a.folder, &error)) {
            std::fprintf(stderr, "cannot write the archive: %s\n", error.c_str());
            std::exit(1);
        }
        fs::current_path(a.folder);
        gTarvel.mConfig.Language = 9;
        if (gTarvel.mResources.Initialize() != 0)
            std::exit(1);
        return a;
    }();
    return archive;
}

// Every entry of one kind through the slots; false when one fails.
bool ReadEntries(Archive& archive, Kind kind)
{
    cTarvelResource& res = gTarvel.mResources;
    bool right = true;
    for (const std::string& name : archive.names[kind]) {
        const int slot = res.OpenResource(name.c_str(), 4);
        uint8_t* block = res.ReadBlock(slot, res.GetSize(slot));
        right = right && block;
        benchmark::DoNotOptimize(block);
        std::free(block);
        res.CloseResource(slot);
    }
    return right;
}

// The same stored bytes read plainly from the volume file.
bool PlainReadEntries(Archive& archive, Kind kind, std::vector<uint8_t>& buffer)
{
    const std::string path = (archive.folder / ("resource.00" + std::to_string(1 + kind))).string();
    const int file = open(path.c_str(), O_RDONLY);
    bool right = file >= 0;
    for (const std::vector<uint8_t>& stream : archive.streams[kind]) {
        buffer.resize(stream.size());
        right = right && read(file, buffer.data(), buffer.size()) == ssize_t(buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    close(file);
    return right;
}

void BM_ArchiveRead(benchmark::State& state)
{
    const Kind kind = Kind(state.range(0));
    Archive& archive = TheArchive();
    for (auto _ : state)
        if (!ReadEntries(archive, kind))
            state.SkipWithError("an entry could not be read");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(archive.bytes[kind]));
    state.SetLabel(kKindNames[kind]);
}

// zlib alone on the same streams, already in memory.
void BM_ZlibUncompress(benchmark::State& state)
{
    const Kind kind = Kind(state.range(0));
    Archive& archive = TheArchive();
    const size_t size = kind == kPackedLarge ? kLargeSize : kSmallSize;
    std::vector<uint8_t> out(size);
    for (auto _ : state) {
        for (const std::vector<uint8_t>& stream : archive.streams[kind]) {
            uLongf length = size;
            if (uncompress(out.data(), &length, stream.data(), uLong(stream.size())) != Z_OK)
                state.SkipWithError("uncompress failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(archive.bytes[kind]));
    state.SetLabel(kKindNames[kind]);
}

// A plain read of the same stored bytes from the volume file.
void BM_PlainRead(benchmark::State& state)
{
    const Kind kind = Kind(state.range(0));
    Archive& archive = TheArchive();
    std::vector<uint8_t> buffer;
    for (auto _ : state)
        if (!PlainReadEntries(archive, kind, buffer))
            state.SkipWithError("read failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(archive.bytes[kind]));
    state.SetLabel(kKindNames[kind]);
}

void BM_ArchiveReadVsPlainRead(benchmark::State& state)
{
    const Kind kind = Kind(state.range(0));
    Archive& archive = TheArchive();
    std::vector<uint8_t> buffer;
    bench::RunPaired(
        state, [&] { return ReadEntries(archive, kind); },
        [&] { return PlainReadEntries(archive, kind, buffer); });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(archive.bytes[kind]));
    state.SetLabel(kKindNames[kind]);
}

BENCHMARK(BM_ArchiveReadVsPlainRead)->Arg(kStoredSmall)->Arg(kStoredLarge)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveRead)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Arg(kStoredSmall)->Arg(kStoredLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Arg(kPackedSmall)->Arg(kPackedLarge)->Unit(benchmark::kMillisecond);

}  // namespace
