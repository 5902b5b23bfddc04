#pragma once

#include <cstdint>

#include "engine/core/array.h"

// A record of the frame's render list: larger keys are farther away. Kinds:
// 1 an image, 2 a mobile, 3 a particle system, 4 an item of the stage's view.
struct sRenderItem {
    float key;
    void* object;
    int32_t kind;
};

// A running control of the active-control list.
class cTarvelControl {
public:
    cTarvelControl();
    virtual ~cTarvelControl();
    cTarvelControl(const cTarvelControl&) = delete;
    cTarvelControl& operator=(const cTarvelControl&) = delete;

    // Appends the control's render items of the stage (0, or 1 for the
    // second stage).
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);
};
