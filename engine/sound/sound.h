#pragma once

// The sound system. Until the sound issue lands it plays nothing.
class cTarvelSound {
public:
    cTarvelSound();
    ~cTarvelSound();
    cTarvelSound(const cTarvelSound&) = delete;
    cTarvelSound& operator=(const cTarvelSound&) = delete;

    int Initialize();
    void Update();
    void StopSpeech();
    void Shutdown();

    // Stand-in only: what Initialize returns, so tests can follow a failing step.
    int mStandInResult = 0;
};
