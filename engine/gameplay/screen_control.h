#pragma once

#include <cstdint>

// An entry of the screen-control stack (case file, radio, skip prompt ...).
class cTarvelScreenControl {
public:
    cTarvelScreenControl();
    virtual ~cTarvelScreenControl();

    virtual void DrawFirst();
    virtual void DrawSecond();
    // True when the control used the Escape key.
    virtual bool OnEscape();

    int32_t mKind;
};
