// Text through the engine's font path drawn on OpenGL (llvmpipe,
// headless): the sample game's first font and its text effect, compared
// with a golden picture in platform/d3d9/golden (TARVEL_UPDATE_GOLDEN=1
// writes it anew; look at it before committing). A frame matches when no
// channel is off by more than 2 and at most 0.1 % of pixels are off.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/render/font.h"
#include "platform/d3d9/golden_test_support.h"
#include "engine/render/render_test_support.h"

namespace pt = platform::testing;

namespace {

testkit::Bytes ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return testkit::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TextDrawTest : public RenderTest {
};

TEST_F(TextDrawTest, SampleFontTextMatchesGolden)
{
    const std::filesystem::path demo = TARVEL_DEMO_DIR;
    const std::filesystem::path shared = std::filesystem::path(TARVEL_GAME_STAGING_DIR) / "shared";
    pt::ExecuteDraws(true);
    StartWith(
        [&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "shaderlib", 0, ReadAll(shared / "shaderlib"), true);
            writer.AddShared(1, "start", 5, testkit::BuildStartImage(), true);
            writer.AddShared(1, "font1", 0, ReadAll(shared / "font1"), true);
        },
        false);
    cTarvelFont& fonts = gTarvel.mFonts;
    fonts.LoadFonts();
    ASSERT_GT(fonts.mFonts[0].glyphCount, 0);
    fonts.CreateTextW(0, u"Kestrelmoor: 1234", 8, 24, 0xFFFFE0A0u, 0, 0);
    fonts.CreateTextW(0, u"half seen", 8, 52, 0x80FFFFFFu, 0, 0);

    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    fonts.RenderTexts(0);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    D3DDISPLAYMODE mode{};
    device->GetDisplayMode(0, &mode);
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                  nullptr),
              D3D_OK);
    ASSERT_EQ(device->GetFrontBufferData(0, copy), D3D_OK);
    // The corner the texts are in, as RGBA.
    constexpr UINT kWidth = 256, kHeight = 64;
    std::vector<uint8_t> rgba(kWidth * kHeight * 4);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
            uint8_t* o = &rgba[(y * kWidth + x) * 4];
            o[0] = p[2];
            o[1] = p[1];
            o[2] = p[0];
            o[3] = p[3];
        }
    }
    copy->UnlockRect();
    copy->Release();

    const std::filesystem::path path = demo.parent_path() / "platform" / "d3d9" / "golden" / "text_font1.png";
    platform::testing::ExpectMatchesGolden(rgba, kWidth, kHeight, path);
}

} // namespace
