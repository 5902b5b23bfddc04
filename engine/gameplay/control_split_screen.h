#pragma once

#include "engine/core/string.h"
#include "engine/gameplay/control.h"

class cTarvelView;

// Two views side by side while view0 is current: view1 fills the strip at
// the right, and the divider follows the player between the two cameras.
class cTarvelControlSplitScreen : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 2;

    cTarvelControlSplitScreen(cTarvelView* view0, cTarvelView* view1, float minSize, float aspect,
                              const cTarvelString& symbol);
    explicit cTarvelControlSplitScreen(cTarvelSavegame& savegame);
    static cTarvelControl* Load(cTarvelSavegame& savegame);

    void Update() override;
    void Save(cTarvelSavegame& savegame) override;

    cTarvelView* mView0;
    cTarvelView* mView1;
    // The divider factor stays within [minSize, 2 - minSize].
    float mMinSize;
    float mAspect;
    cTarvelString mSymbolName;
};
