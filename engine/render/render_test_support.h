#pragma once

// Fixture of the renderer's tests: an archive made for the test (on top of
// what start-up needs, unless a test leaves that out), the engine started
// on it, and readers of what the device holds.

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "platform/d3d9/testing.h"
#include "platform/d3dx9/testing.h"
#include "tools/archive_writer.h"
#include "tools/font_demo.h"
#include "tools/image_writer.h"
#include "tools/shaderlib_writer.h"

class RenderTest : public EngineTest {
protected:
    using AddEntries = std::function<void(testkit::ArchiveWriter&)>;

    // Writes the archive: languages 1, 7 and 9, data volume 1 with the
    // minimal shader library and "start" (when `minimal`), then `add`.
    void WriteArchive(const AddEntries& add, bool minimal = true)
    {
        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        writer.AddVolume(1);
        if (minimal) {
            AddStartupEntries(writer);
        } else {
            // Tests of the shader library and the splash bring their own;
            // the interface images and the project are loaded by every start-up.
            for (const testkit::NamedResource& resource : testkit::BuildInterfaceResources(false))
                writer.AddShared(1, resource.name, resource.type, resource.data, true);
            AddProject(writer);
        }
        if (add)
            add(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
    }

    void StartWith(const AddEntries& add, bool minimal = true)
    {
        WriteArchive(add, minimal);
        InitEngine();
    }

    // Level 0 of an A8R8G8B8 texture as 0xAARRGGBB values, row by row.
    static std::vector<uint32_t> Pixels(IDirect3DTexture9* texture)
    {
        std::vector<uint32_t> pixels;
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (!texture || FAILED(texture->GetLevelDesc(0, &desc)) ||
            FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
            return pixels;
        for (UINT y = 0; y < desc.Height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x)
                pixels.push_back(uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 |
                                 uint32_t(row[4 * x + 2]) << 16 | uint32_t(row[4 * x + 3]) << 24);
        }
        texture->UnlockRect(0);
        return pixels;
    }

    // A parameter's value in an effect, as floats (empty when unknown).
    static std::vector<float> Floats(ID3DXEffect* effect, const char* name)
    {
        auto values = platform::testing::EffectFloats(effect, name);
        return values ? *values : std::vector<float>();
    }
};
