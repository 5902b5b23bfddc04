// demo_assets <effects folder> <output folder>
// Writes "shaderlib" from the effects of the folder, the splash picture
// "start.tga" and the particle pictures of the shooting control
// ("particle_spark", "particle_dust") into the output folder.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/image_writer.h"
#include "tools/shaderlib_writer.h"

namespace {

// A round soft dot of one colour, opaque in the middle and clear at the rim.
testkit::Bytes BuildParticleDot(uint8_t b, uint8_t g, uint8_t r, float peak)
{
    constexpr int kSize = 32;
    testkit::Picture picture(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float dx = (float(x) + 0.5f) / kSize * 2.0f - 1.0f;
            const float dy = (float(y) + 0.5f) / kSize * 2.0f - 1.0f;
            const float fall = std::fmax(0.0f, 1.0f - std::sqrt(dx * dx + dy * dy));
            picture.Set(x, y, b, g, r, uint8_t(std::lround(255.0f * peak * fall * fall)));
        }
    return testkit::BuildTga(picture, testkit::TgaOptions());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_assets <effects folder> <output folder>\n");
        return 2;
    }
    const std::filesystem::path out = argv[2];
    std::string error;
    const testkit::Bytes library = testkit::BuildShaderLibraryFromFolder(argv[1], "Kestrelmoor sample", 1, &error);
    if (library.empty()) {
        std::fprintf(stderr, "demo_assets: %s\n", error.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (!testkit::WriteBytes((out / "shaderlib").c_str(), library) ||
        !testkit::WriteBytes((out / "start.tga").c_str(), testkit::BuildStartImage()) ||
        !testkit::WriteBytes((out / "particle_spark.tga").c_str(), BuildParticleDot(200, 240, 255, 1.0f)) ||
        !testkit::WriteBytes((out / "particle_dust.tga").c_str(), BuildParticleDot(120, 140, 150, 0.6f))) {
        std::fprintf(stderr, "demo_assets: cannot write into %s\n", out.c_str());
        return 1;
    }
    return 0;
}
