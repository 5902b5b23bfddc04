// The scene loader on a headless engine: the input is a scene file, read
// from a fresh archive, started, its hint markers collected, drawn, left and
// cleared, its script bounded by the instruction budget; the views' effects
// come from a minimal shader library.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "fuzz/scene_shaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!fuzz::SceneEngineReady("scene"))
        return 0;
    cTarvelScript::sInstructionBudget = 100000;
    if (fuzz::OpenArchiveWith("fuzz", 1, std::span<const uint8_t>(data, size))) {
        auto* scene = new cTarvelScene();
        fuzz::RunGuarded([scene] {
            scene->mSlot = gTarvel.mResources.OpenResource("fuzz", 1);
            if (gTarvel.ChangeScene(scene, 0) == 0) {
                scene->Update();
                scene->UpdateMouseOver(300, 300);
                // Hint markers from every region read, then off again for
                // the next input.
                gTarvel.mHints.Show();
                gTarvel.mHints.Release();
                gTarvel.mHints.mState = 0;
                D3DXVECTOR3 point;
                scene->Pick(&point, 512, 400);
                fuzz::DrawSceneStages(scene);
                scene->Leave(0);
            }
        });
        gTarvel.mScene = nullptr;
        delete scene;
    }
    cTarvelScript::sInstructionBudget = -1;
    gTarvel.mResources.Release();
    return 0;
}
