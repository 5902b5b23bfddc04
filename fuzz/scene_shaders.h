#pragma once
// The scene entry points' shader library: the engine's named effects from a
// minimal library, loaded once per run from an archive of its own, so that
// views choose, bind and draw with real effects.

#include <cstdint>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "fuzz/headless_engine.h"
#include "tools/shaderlib_writer.h"

namespace fuzz {

inline void ReleaseSceneShaders()
{
    gTarvel.mShaders.Shutdown();
}

// The headless engine with the shader library loaded; false when either
// could not be made.
inline bool SceneEngineReady(const char* name)
{
    if (!HeadlessEngineReady(name, ReleaseSceneShaders))
        return false;
    static const bool loaded = [] {
        const std::vector<uint8_t> library =
            testkit::BuildShaderLibrary("fuzz", 1, testkit::MinimalEngineEffects());
        // The library keeps its effects once loaded; the archive can go.
        const bool ok = OpenArchiveWith("shaderlib", 0, library) && RunGuarded([] { gTarvel.mShaders.Init(); });
        gTarvel.mResources.Release();
        return ok;
    }();
    return loaded;
}

// Draws the scenery that each stage's view lists for the frame, as the
// frame's dispatch does.
inline void DrawSceneStages(cTarvelScene* scene)
{
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    for (int stage = 0; stage < 2; ++stage) {
        cTarvelView* view = scene->StageView(stage);
        if (!view)
            continue;
        tArray<sRenderItem> items;
        scene->CollectRenderItems(items, stage);
        device->BeginScene();
        for (int32_t i = 0; i < items.Count(); ++i)
            if (items[i].kind == 4)
                view->Render(items[i].object);
        device->EndScene();
    }
}

}  // namespace fuzz
