// Prints a savegame's header and its XML text.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/savegame_file.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: savegame_dump FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "savegame_dump: cannot open %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    testkit::SavegameContents contents;
    std::string error;
    if (!testkit::ReadSavegame(bytes, &contents, &error)) {
        std::fprintf(stderr, "savegame_dump: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::string text = testkit::DescribeSavegame(contents);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
