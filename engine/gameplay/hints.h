#pragma once

#include <cstdint>

#include "engine/core/array.h"

class cTarvelImage;
class cTarvelView;

// One icon to show: which icon, on which view, centred where (reference
// screen units).
struct sHintMarker {
    int32_t icon;
    cTarvelView* view;
    int32_t x;
    int32_t y;
};

// The hint display: on request, an icon over every hotspot, path, exit and
// actor of the current view, faded in, held and faded out.
class cTarvelHints {
public:
    // Icon numbers, in the order LoadIcons loads them.
    static constexpr int32_t kIconExit = 0;
    static constexpr int32_t kIconHand = 1;
    static constexpr int32_t kIconSpeak = 2;
    static constexpr int32_t kIconPath = 3;

    cTarvelHints();
    ~cTarvelHints();
    cTarvelHints(const cTarvelHints&) = delete;
    cTarvelHints& operator=(const cTarvelHints&) = delete;

    // Loads the four icons by name.
    void LoadIcons();
    // Collects the markers of the current view and starts fading in, or
    // turns a fade-out back.
    void Show();
    // Starts the fade-out: from fading in (start = now) or shown (start kept).
    void FadeOut();
    // Advances the states and draws the markers of the current view.
    void Draw();
    // Deletes the icons and forgets the markers.
    void Release();

    tArray<cTarvelImage*> mIcons;   // owned
    tArray<sHintMarker> mMarkers;
    // 0 hidden, 1 fading in, 2 shown, 3 fading out.
    int32_t mState;
    // Start of the current state, game seconds.
    float mStart = 0.0f;
};
