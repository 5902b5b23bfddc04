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

    // Set while the cinematic's script is being resumed, and while the
    // player skips it.
    bool mInCall = false;
    bool mSkipping = false;
};
