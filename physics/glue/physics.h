#pragma once

// The engine's glue to the rigid-body library. Until the physics issue lands
// it creates no world; start-up only logs its step.
class cTarvelPhysics {
public:
    cTarvelPhysics();
    ~cTarvelPhysics();
    cTarvelPhysics(const cTarvelPhysics&) = delete;
    cTarvelPhysics& operator=(const cTarvelPhysics&) = delete;

    // 0 when the world is ready.
    int Initialize();

    // Stand-in only: what Initialize returns, so tests can follow a failing step.
    int mStandInResult = 0;
};
