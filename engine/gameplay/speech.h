#pragma once

#include <cstdint>

// Speech and subtitle state. Until the gameplay issue lands no line is ever
// spoken and no off-screen voice actor is made.
class cTarvelSpeech {
public:
    cTarvelSpeech();
    ~cTarvelSpeech();
    cTarvelSpeech(const cTarvelSpeech&) = delete;
    cTarvelSpeech& operator=(const cTarvelSpeech&) = delete;

    // Creates the off-screen voice actor "OFF".
    int Init();
    void Release();

    // 0 idle, 1 and 2 speaking.
    int32_t mState;
    bool mHasVoice;
    uint32_t mLineStart;
};
