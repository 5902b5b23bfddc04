#pragma once

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"

class cTarvelText;

// Lines of white text with a black shadow in the lower left corner, typed
// out at 30 characters a second (each line 5 characters after the one above
// it), held for a time and faded out over a second. Not saved.
class cTarvelControlTicker : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 5;

    struct sLine {
        cTarvelText* text;
        cTarvelText* shadow;
        int32_t length;
    };

    explicit cTarvelControlTicker(float holdTime);
    ~cTarvelControlTicker() override;

    void AddLine(const cTarvelString& text);
    void Update() override;

    tArray<sLine> mLines;
    float mPhaseStart;
    float mHoldTime;
    // 0 typing, 1 holding, 2 fading.
    int32_t mPhase = 0;
    int32_t mMaxLength = 0;
};
