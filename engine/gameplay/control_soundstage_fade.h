#pragma once

#include "engine/gameplay/control.h"

// Fades the volume of the sound stage in (0 to 1) or out (1 to 0) over a
// time, then ends itself.
class cTarvelControlSoundstageFade : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 7;

    // Starts now.
    cTarvelControlSoundstageFade(float duration, bool fadeOut);
    // Restored from the savegame's current "Control" element.
    explicit cTarvelControlSoundstageFade(cTarvelSavegame& savegame);
    static cTarvelControl* Load(cTarvelSavegame& savegame);

    void Update() override;
    void Save(cTarvelSavegame& savegame) override;

    float mDuration;
    float mStarted;
    bool mFadeOut;
};
