#pragma once

#include "engine/gameplay/screen_control.h"

// The skip prompt of a movie: a screen control of type 4 that a first
// Escape pushes and a second one removes. Until the gameplay issue lands it
// draws nothing.
class cTarvelCancelRequest : public cTarvelScreenControl {
public:
    cTarvelCancelRequest() { mTypeId = kCancelRequest; }
    ~cTarvelCancelRequest() override = default;
    cTarvelCancelRequest(const cTarvelCancelRequest&) = delete;
    cTarvelCancelRequest& operator=(const cTarvelCancelRequest&) = delete;
};
