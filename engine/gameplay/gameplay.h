#pragma once

#include <cstdint>

class cTarvelActor;
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
    // Stand-in only: what Init returns, so tests can follow a failing step.
    int mStandInResult = 0;
};

// Per-frame update of every active control, the running cinematic and mouse
// picking.
void UpdateWorld();
