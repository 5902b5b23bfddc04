#pragma once

#include <cstdint>

#include "engine/core/array.h"

class cTarvelSavegame;

// A record of the frame's render list: larger keys are farther away. Kinds:
// 1 an image, 2 a mobile, 3 a particle system, 4 an item of the stage's view.
struct sRenderItem {
    float key;
    void* object;
    int32_t kind;
};

// A special effect of the active-control list. The list owns its controls;
// a control raises mFinished when its effect is over and the next walk of
// the list deletes it.
class cTarvelControl {
public:
    explicit cTarvelControl(int32_t classId = 0);
    // Stales every script handle bound to the control.
    virtual ~cTarvelControl();
    cTarvelControl(const cTarvelControl&) = delete;
    cTarvelControl& operator=(const cTarvelControl&) = delete;

    // Advances the effect by one frame.
    virtual void Update();
    // Appends the control's render items of the stage (0, or 1 for the
    // second stage).
    virtual void CollectRenderItems(tArray<sRenderItem>& list, int stage);
    // Writes the control into the savegame's current element. Classes that
    // are saved start with SaveClass; the base writes nothing, so a control
    // of a class that is not saved leaves an empty element.
    virtual void Save(cTarvelSavegame& savegame);

    // The class number, the "class" attribute of a saved control.
    int32_t mClassId;
    bool mFinished = false;

protected:
    void SaveClass(cTarvelSavegame& savegame) const;
};

// Re-creates a control of one class from the savegame's current element.
using tControlLoader = cTarvelControl* (*)(cTarvelSavegame& savegame);

// Makes the loader the one of its class (a null loader removes it). Only
// the saved classes 1, 2, 4, 6 and 7 take a loader; any other number is
// refused (false).
bool RegisterControlClass(int32_t classId, tControlLoader loader);

// Updates every active control in list order. A control finished by its own
// update is deleted at once and the walk goes on with the one that moved
// into its place; a control appended during the walk is updated in it.
void UpdateActiveControls();

// Writes every active control as a "Control" element under the root.
void SaveActiveControls(cTarvelSavegame& savegame);

// Appends a control for every "Control" element under the root whose class
// has a loader; elements of other classes, or without one, are skipped.
void LoadActiveControls(cTarvelSavegame& savegame);

// Sorts the render list far to near: each position is compared with every
// later one and the two exchanged when the earlier key is smaller, so two
// items of equal key are never exchanged with each other.
void SortRenderItems(tArray<sRenderItem>& list);
