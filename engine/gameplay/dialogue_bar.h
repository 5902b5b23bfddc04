#pragma once

#include "engine/gameplay/screen_control.h"

// The dialogue bar. Until the gameplay issue lands it holds no lines.
class cTarvelDialogueBar : public cTarvelScreenControl {
public:
    cTarvelDialogueBar();
    ~cTarvelDialogueBar();
    cTarvelDialogueBar(const cTarvelDialogueBar&) = delete;
    cTarvelDialogueBar& operator=(const cTarvelDialogueBar&) = delete;

    // Binds the bar's effects at gameplay start-up; nothing to bind yet.
    void Init() {}
    void Release();
};
