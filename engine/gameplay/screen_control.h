#pragma once

#include <cstdint>

#include "engine/core/string.h"

// An entry of the modal screen-control stack (bars, PDA, skip prompt,
// inventory-only screen, case file, radio). The last entry is the top.
class cTarvelScreenControl {
public:
    // Type ids that other code tests.
    static constexpr int32_t kVerbBar = 1;
    static constexpr int32_t kDialogueBar = 2;
    static constexpr int32_t kPDA = 3;
    static constexpr int32_t kCancelRequest = 4;
    static constexpr int32_t kBunkerWall = 30;
    static constexpr int32_t kInvOnly = 31;
    // The case file's own id: no type test looks for it.
    static constexpr int32_t kCaseFile = 32;
    static constexpr int32_t kRadio = 34;

    cTarvelScreenControl();
    virtual ~cTarvelScreenControl();

    // The frame's input handling; true takes the input from the controls
    // below and the scene.
    virtual bool Update();
    // Drawn under the interface bar, then over it and the inventory.
    virtual void RenderBack();
    virtual void Render();
    // Gives back the images and texts the control holds (its texts leave the
    // live list).
    virtual void ReleaseResources();
    // True when the control used the Escape key.
    virtual bool HandleEscape();

    int32_t mTypeId = 0;
    // Set by the control when it has finished; the gameplay update pops it.
    bool mDone = false;
    // Owned by the engine main object: never deleted by whoever removes it.
    bool mMember = false;

protected:
    // The shared shade image at alpha 128 over a rectangle in logical units,
    // darkening what is behind it; the whole display when width is 0.
    static void DrawShade(float x, float y, float width, float height);
    // Consumes at most one of left click, right click, left double click,
    // right double click, tested in that order.
    static bool TakeClick();
};

// Pops the top control when it is done: its resources are released and it is
// deleted unless it is a member. At most one per call (the gameplay update
// calls it once a frame). True when one was popped.
bool PopDoneScreenControl();
// Empties the stack (a scene is left, the engine shuts down): controls that
// are not members are released, then deleted; members are only removed.
void ClearScreenControls();
// Takes a skip prompt off the top of the stack (released and deleted); false
// when the top is not one.
bool RemoveSkipPrompt();
