#pragma once

#include "engine/gameplay/screen_control.h"

// The skip prompt of a movie: a screen control of kind 4 that a first
// Escape pushes and a second one removes. Until the gameplay issue lands it
// draws nothing.
class cTarvelCancelRequest : public cTarvelScreenControl {
public:
    cTarvelCancelRequest() { mKind = 4; }
    ~cTarvelCancelRequest() override = default;
    cTarvelCancelRequest(const cTarvelCancelRequest&) = delete;
    cTarvelCancelRequest& operator=(const cTarvelCancelRequest&) = delete;
};
