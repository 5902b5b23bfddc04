// demo_assets <demo folder>
// Writes "shared/shaderlib" from the effects in "shaders/" and
// "shared/start.tga" into the sample game's folder.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/image_writer.h"
#include "tools/shaderlib_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_assets <demo folder>\n");
        return 2;
    }
    const std::filesystem::path demo = argv[1];
    std::string error;
    const testkit::Bytes library =
        testkit::BuildShaderLibraryFromFolder(demo / "shaders", "Kestrelmoor sample", 1, &error);
    if (library.empty()) {
        std::fprintf(stderr, "demo_assets: %s\n", error.c_str());
        return 1;
    }
    if (!testkit::WriteBytes((demo / "shared" / "shaderlib").c_str(), library) ||
        !testkit::WriteBytes((demo / "shared" / "start.tga").c_str(), testkit::BuildStartImage())) {
        std::fprintf(stderr, "demo_assets: cannot write into %s\n", (demo / "shared").c_str());
        return 1;
    }
    return 0;
}
