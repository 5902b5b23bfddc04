#pragma once

#include "engine/gameplay/screen_control.h"

// Inventory-only mode: the stage takes no input, the interface bar below it
// does.
class cTarvelScreenControlInvOnly : public cTarvelScreenControl {
public:
    cTarvelScreenControlInvOnly() { mTypeId = kInvOnly; }

    bool Update() override;
};
