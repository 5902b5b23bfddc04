// Replays fuzz inputs without libFuzzer: every file named on the command
// line, and every file inside a named folder, goes once through the entry
// point. A crash or sanitizer report fails the run; so does finding no input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Standard error: an entry point may send standard output elsewhere.
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), data.size());
    // A copy of exactly the input's size, so reads past it are caught.
    std::vector<uint8_t> exact(data);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            std::vector<std::filesystem::path> files;
            for (const auto& item : std::filesystem::recursive_directory_iterator(arg, ec))
                if (item.is_regular_file())
                    files.push_back(item.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                if (!Replay(file))
                    return 1;
                ++count;
            }
        } else {
            if (!Replay(arg))
                return 1;
            ++count;
        }
    }
    std::fprintf(stderr, "%zu inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
