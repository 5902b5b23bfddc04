#pragma once

#include "engine/gameplay/screen_control.h"

class cTarvelText;

// The skip prompt of cinematics and movies: a first skip request pushes it,
// a second one within its three seconds removes it and skips. It takes no
// input.
class cTarvelCancelRequest : public cTarvelScreenControl {
public:
    cTarvelCancelRequest();
    ~cTarvelCancelRequest() override;
    cTarvelCancelRequest(const cTarvelCancelRequest&) = delete;
    cTarvelCancelRequest& operator=(const cTarvelCancelRequest&) = delete;

    bool Update() override;
    void Render() override;
    void ReleaseResources() override;

    // Engine seconds after which the prompt ends itself.
    float mExpiry;
    cTarvelText* mText = nullptr;   // in the live text list; null when none
};
