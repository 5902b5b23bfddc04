// Mobiles on the headless engine. The first byte picks the reader (taken
// modulo 3): 0 the rest is an actor file, loaded as a mobile, updated, drawn
// once and deleted; 1 a skeletal motion and 2 a progressive morph motion,
// loaded as a mobile animation onto a fixed writer-made mobile, played for a
// few frames, its events fired and its turn angle taken. The archive also
// holds the pictures the seeds' materials name.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "fuzz/headless_engine.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"

namespace {

bool StartLibrary()
{
    static const bool started = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize();
    return started;
}

std::vector<fuzz::FixedEntry> Fixed()
{
    std::vector<fuzz::FixedEntry> entries;
    for (const char* picture : {"tex_a", "tex_b", "tex_op", "bump"})
        entries.push_back({picture, 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions())});
    testkit::MobileActor walker;
    walker.nodes = {{"root", -1}, {"child", 0}, {"bone", 1}};
    testkit::MobileMesh skinned;
    skinned.node = 1;
    skinned.skinNode = 2;
    walker.meshes.push_back(skinned);
    entries.push_back({"walker", 7, testkit::BuildMobileActor(walker)});
    return entries;
}

void Frame(cTarvelMobile& mobile)
{
    mobile.Update(0.1f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    device->BeginScene();
    mobile.Draw(&identity, true, nullptr, 3, 6, false);
    mobile.RenderShadow();
    device->EndScene();
    D3DXVECTOR3 corners[8];
    mobile.GetBoundingBox(corners);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 0xFFFFFFFFu || !StartLibrary() || !fuzz::HeadlessEngineReady("mobile", nullptr))
        return 0;
    static const std::vector<fuzz::FixedEntry> fixed = Fixed();
    gTarvel.mConfig.PerPixelLighting = 1;
    const int reader = data[0] % 3;
    const std::span<const uint8_t> file(data + 1, size - 1);
    const int type = reader == 0 ? 7 : reader == 1 ? 8 : 14;
    if (fuzz::OpenArchiveWith("input", type, file, fixed)) {
        cTarvelMobile mobile;
        if (reader == 0) {
            fuzz::RunGuarded([&] {
                if (mobile.Load("input") == 0)
                    Frame(mobile);
            });
        } else {
            fuzz::RunGuarded([&] {
                if (mobile.Load("walker") != 0)
                    return;
                cTarvelMobileAnimation animation(&mobile, reader == 2 ? cTarvelMobileAnimation::kMorph : 0);
                if (animation.Load("input") != 0)
                    return;
                animation.Play(0.3f, 1.0f);
                for (int i = 0; i < 3; ++i)
                    Frame(mobile);
                animation.ProcessEvents();
                animation.GetTurnAngle(true);
                animation.PlayRange(0.0f, 0.5f, 0.1f);
                mobile.Update(0.1f);
            });
        }
    }
    gTarvel.mResources.Release();
    return 0;
}
