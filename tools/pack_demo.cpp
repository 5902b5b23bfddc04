// pack_demo <demo folder> <working folder>
// Writes the archive of the sample game into the working folder.
#include <cstdio>
#include <string>

#include "tools/archive_writer.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_demo <demo folder> <working folder>\n");
        return 2;
    }
    std::string error;
    if (!testkit::PackFolder(argv[1], argv[2], &error)) {
        std::fprintf(stderr, "pack_demo: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
