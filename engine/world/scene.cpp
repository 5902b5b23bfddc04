#include "engine/world/scene.h"

cTarvelScene::cTarvelScene() : mSlot(-1), mScript(nullptr) {}
cTarvelScene::~cTarvelScene() = default;

int cTarvelScene::ReadFile(int, int)
{
    return 0;
}

void cTarvelScene::InitObjects(int) {}

void cTarvelScene::Leave(int) {}

void cTarvelScene::Clear() {}

void cTarvelScene::Update() {}

void cTarvelScene::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    for (const sRenderItem& item : mStandInItems[stage == 0 ? 0 : 1])
        list.Add(item);
}
