#pragma once

#include <cstdint>

#include "engine/core/string.h"

// An entry of the screen-control stack (case file, radio, skip prompt ...).
class cTarvelScreenControl {
public:
    cTarvelScreenControl();
    virtual ~cTarvelScreenControl();

    virtual void DrawFirst();
    virtual void DrawSecond();
    // True when the control used the Escape key.
    virtual bool OnEscape();
    // Gives back what the control holds (its texts leave the live list);
    // called before a control that is not a member of the engine is deleted.
    virtual void ReleaseResources();

    // The entry text under the mouse (verb bar and dialogue bar).
    virtual cTarvelString EntryText(int32_t index);

    int32_t mKind;
    // Verb bar and dialogue bar: 0 or 1 while usable; the entry under the
    // mouse, -1 when none.
    int32_t mState = 0;
    int32_t mHovered = -1;
};
