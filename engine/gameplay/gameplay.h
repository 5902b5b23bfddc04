#pragma once

#include <cstdint>

#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class cTarvelActor;
class cTarvelRegionSet;
class cTarvelScript;

// The gameplay and interface controller. Until the gameplay issue lands it
// holds what the main loop and the window procedure use: the state-flag
// word, the transition state, the mouse and its button latches, the actor
// slots and the "Main" script machine.
class cTarvelGameplay {
public:
    cTarvelGameplay();
    ~cTarvelGameplay();
    cTarvelGameplay(const cTarvelGameplay&) = delete;
    cTarvelGameplay& operator=(const cTarvelGameplay&) = delete;

    // 0 when gameplay is ready; creates the "Main" script machine.
    int Init();
    // Per-frame interface update: consumes the mouse button latches.
    void Update();
    void Release();

    // Bits of the state-flag word.
    static constexpr uint32_t kInterfaceEnabled = 0x1;
    static constexpr uint32_t kInventoryShown = 0x4;
    static constexpr uint32_t kNoWalkToObjects = 0x20;
    static constexpr uint32_t kBlocked = 0x800;
    static constexpr uint32_t kWalkingToObject = 0x1000;

    uint32_t mStateFlags;
    int32_t mTransitionState;
    int32_t mMouseX;
    int32_t mMouseY;
    int32_t mMouseLimitX;
    int32_t mMouseLimitY;
    // 0 nothing pending, 1 a click, 2 a double click.
    int32_t mLeftLatch;
    int32_t mRightLatch;
    cTarvelActor* mActors[16];
    cTarvelScript* mMainScript;   // owned
    // The screen fade: mode 0 to 8 (1 to black, 2 from black, 3 black, 4 to
    // white, 5 from white, 6 white, 7 cross-fade requested, 8 cross-fade
    // running), its start in ms, its rate (1 / seconds), the script waiting
    // for a cross-fade capture with its continuation, and the sound flag.
    int32_t mFadeState = 0;
    DWORD mFadeStart = 0;
    float mFadeRate = 1.0f;
    cTarvelScript* mFadeWaiter = nullptr;
    cTarvelString mFadeLabel;
    bool mFadeSound = false;
    // Interface state the frame reads: the name of the item in hand (empty
    // when none), the mode (2 and 3 while an item is used) and the screen
    // state (the tooltip shows in 0 and 2).
    cTarvelString mItemInHand;
    int32_t mMode = 0;
    int32_t mScreenState = 0;
    // The exit band of detail views (engine-wide; not owned here yet).
    cTarvelRegionSet* mRegionSet = nullptr;
    // Stand-in only: what Init returns, so tests can follow a failing step.
    int mStandInResult = 0;
};

// Per-frame update of every active control, the running cinematic and mouse
// picking.
void UpdateWorld();
