// The image decoders on a headless device: the first byte picks the kind
// (0 TGA, 1 DDS, 2 engine image file, by its value modulo 3), the rest is
// the file, which is read as the image "fuzz" from a fresh archive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/render/image.h"
#include "fuzz/headless_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || !fuzz::HeadlessEngineReady("image", nullptr))
        return 0;
    static constexpr int kTypes[3] = {kResourceTga, kResourceDds, kResourceImage};
    const int type = kTypes[data[0] % 3];
    if (fuzz::OpenArchiveWith("fuzz", type, std::span<const uint8_t>(data + 1, size - 1))) {
        fuzz::RunGuarded([] {
            cTarvelImage image(false);
            if (image.ReadFile("fuzz") == 0) {
                image.SetAlpha(128);
                image.SetTextureRect(0, 0, 8, 8);
                image.GetCurrentFrame();
            }
        });
    }
    // Closes every slot a refused file left open.
    gTarvel.mResources.Release();
    return 0;
}
