// The font reader on a headless device: the input is the resource "font1",
// read from a fresh archive with the other fonts missing; a text of every
// glyph the font holds is then laid out, wrapped and centred.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/render/font.h"
#include "fuzz/headless_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!fuzz::HeadlessEngineReady("font", [] { gTarvel.mFonts.Release(); }))
        return 0;
    cTarvelFont& fonts = gTarvel.mFonts;
    if (fuzz::OpenArchiveWith("font1", kResourceOther, std::span<const uint8_t>(data, size))) {
        fuzz::RunGuarded([&] {
            fonts.LoadFonts();
            const sFont& font = fonts.mFonts[0];
            std::u16string text;
            for (int32_t i = 0; i < font.glyphCount && i < 512; ++i)
                text.push_back(font.glyphs[i].code == 0 ? u' ' : char16_t(font.glyphs[i].code));
            fonts.CreateTextW(0, text.c_str(), 100, 100, 0x80FFFFFFu, cTarvelFont::kWrap | cTarvelFont::kCentre, 40);
            fonts.CreateTextW(0, text.c_str(), 0, 0, 0xFFFFFFFFu, 0, 0)->SetPosition(10, 20);
            fonts.GetTextWidth(0, text.c_str());
        });
    }
    fonts.Release();
    // Closes every slot a refused file left open.
    gTarvel.mResources.Release();
    return 0;
}
