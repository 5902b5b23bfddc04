#pragma once

// A running cinematic; the last entry of the cinematic list is current.
class cTarvelCinematic {
public:
    cTarvelCinematic();
    virtual ~cTarvelCinematic();
    cTarvelCinematic(const cTarvelCinematic&) = delete;
    cTarvelCinematic& operator=(const cTarvelCinematic&) = delete;

    // Skips to the cinematic's next wait.
    virtual void Update();
    // Ends the cinematic and takes it off the cinematic list.
    virtual void Finish();

    // The frame's test of the wait, and a skip asked by the player (force
    // false) or by the world update (true); the stand-in waits for nothing.
    virtual void CheckWait() {}
    virtual void RequestSkip(bool) {}

    // Set while the cinematic's script is being resumed, and while the
    // player skips it.
    bool mInCall = false;
    bool mSkipping = false;
    // Over: the world update finishes and deletes it.
    bool mEnded = false;
};
