#include "engine/render/shadow.h"

namespace {

void RemoveFirst(tArray<void*>& list, void* target)
{
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (list.data[i] == target) {
            list.RemoveAt(i);
            return;
        }
    }
}

} // namespace

cTarvelShadow::cTarvelShadow() {}
cTarvelShadow::~cTarvelShadow() = default;

void cTarvelShadow::DrawSceneryPass(sLightPass*, void*) {}
void cTarvelShadow::DrawMobilePass(sLightPass*, void*) {}

void cTarvelShadow::RemoveSceneryReceiver(void* target)
{
    RemoveFirst(mSceneryReceivers, target);
}

void cTarvelShadow::RemoveMobileReceiver(void* target)
{
    RemoveFirst(mMobileReceivers, target);
}
