#pragma once

#include <cstdint>

// The hint-marker overlay of the current view. Until the gameplay issue
// lands it collects no markers, so showing it leaves it hidden.
class cTarvelHints {
public:
    cTarvelHints();
    ~cTarvelHints();
    cTarvelHints(const cTarvelHints&) = delete;
    cTarvelHints& operator=(const cTarvelHints&) = delete;

    // Shows the markers of the current view, or turns a fade-out back.
    void Show();
    // Starts the fade-out: from fading in (start = now) or shown (start kept).
    void FadeOut();
    void Draw();
    void Release();

    // 0 hidden, 1 fading in, 2 shown, 3 fading out.
    int32_t mState;
    // Start of the current state, game seconds.
    float mStart = 0.0f;
};
