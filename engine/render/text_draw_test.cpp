// Text through the engine's font path drawn on OpenGL (llvmpipe,
// headless): the sample game's first font and its text effect, compared
// with golden pictures in platform/d3d9/golden (TARVEL_UPDATE_GOLDEN=1
// writes them anew; look at them before committing). A frame matches when
// no channel is off by more than 2 and at most 0.1 % of pixels are off.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/render/font.h"
#include "platform/d3d9/golden_test_support.h"
#include "engine/render/render_test_support.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

testkit::Bytes ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return testkit::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TextDrawTest : public RenderTest {
protected:
    // The engine on the sample game's effects and first font, drawing for
    // real on a screen of that size.
    void StartOnSampleFont(DWORD screenRes = 0x04000300)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&screenRes), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        const std::filesystem::path shared = std::filesystem::path(TARVEL_GAME_STAGING_DIR) / "shared";
        pt::ExecuteDraws(true);
        StartWith(
            [&](testkit::ArchiveWriter& writer) {
                writer.AddShared(1, "shaderlib", 0, ReadAll(shared / "shaderlib"), true);
                writer.AddShared(1, "start", 5, testkit::BuildStartImage(), true);
                writer.AddShared(1, "font1", 0, ReadAll(shared / "font1"), true);
            },
            false);
        gTarvel.mFonts.LoadFonts();
        ASSERT_GT(gTarvel.mFonts.mFonts[0].glyphCount, 0);
    }

    // Draws the live texts of layer 0 on a cleared screen and compares the
    // top-left corner of that size with the golden picture.
    static void ExpectTextsMatch(UINT width, UINT height, const char* golden)
    {
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040u, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        gTarvel.mFonts.RenderTexts(0);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

        D3DDISPLAYMODE mode{};
        device->GetDisplayMode(0, &mode);
        IDirect3DSurface9* copy = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr),
                  D3D_OK);
        ASSERT_EQ(device->GetFrontBufferData(0, copy), D3D_OK);
        std::vector<uint8_t> rgba(size_t(width) * height * 4);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                const uint8_t* p = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
                uint8_t* o = &rgba[(size_t(y) * width + x) * 4];
                o[0] = p[2];
                o[1] = p[1];
                o[2] = p[0];
                o[3] = p[3];
            }
        }
        copy->UnlockRect();
        copy->Release();

        const std::filesystem::path path =
            std::filesystem::path(TARVEL_DEMO_DIR).parent_path() / "platform" / "d3d9" / "golden" / golden;
        platform::testing::ExpectMatchesGolden(rgba, width, height, path);
    }
};

TEST_F(TextDrawTest, SampleFontTextMatchesGolden)
{
    StartOnSampleFont();
    cTarvelFont& fonts = gTarvel.mFonts;
    fonts.CreateTextW(0, u"Kestrelmoor: 1234", 8, 24, 0xFFFFE0A0u, 0, 0);
    fonts.CreateTextW(0, u"half seen", 8, 52, 0x80FFFFFFu, 0, 0);
    ExpectTextsMatch(256, 64, "text_font1.png");
}

// The interface's small texts as the game makes them: a savegame slot's
// text over its black shadow one unit down and right, and an actor's
// caption. Their letters keep their holes (e, a, o, g) at the layout's own
// size and scaled up.
class SmallTextTest : public TextDrawTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(SmallTextTest, SlotTextAndCaptionKeepTheirLetterHoles)
{
    StartOnSampleFont(GetParam());
    cTarvelFont& fonts = gTarvel.mFonts;
    fonts.CreateTextW(0, u"A new savegame", 11, 25, 0xFF000000u, 0, 0);
    fonts.CreateTextW(0, u"A new savegame", 10, 24, 0xFFFFFFFFu, 0, 0);
    fonts.CreateTextW(0, u"Brass lantern", 10, 52, 0xFFFFFFFFu, 0, 0);
    const bool exact = GetParam() == 0x04000300;
    ExpectTextsMatch(exact ? 192 : 240, exact ? 64 : 84, exact ? "text_small_1024.png" : "text_small_1280.png");
}

INSTANTIATE_TEST_SUITE_P(Screens, SmallTextTest, ::testing::Values(DWORD(0x04000300), DWORD(0x05000400)));

} // namespace
