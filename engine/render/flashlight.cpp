#include "engine/render/flashlight.h"

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

cTarvelFlashlight::cTarvelFlashlight() {}
cTarvelFlashlight::~cTarvelFlashlight() = default;

void cTarvelFlashlight::DrawSceneryPass(sLightPass*, void*) {}
void cTarvelFlashlight::DrawMobilePass(sLightPass*, void*) {}

void cTarvelFlashlight::RemoveSceneryReceiver(void* target)
{
    RemoveFirst(mSceneryReceivers, target);
}

void cTarvelFlashlight::RemoveMobileReceiver(void* target)
{
    RemoveFirst(mMobileReceivers, target);
}
