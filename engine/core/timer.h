#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class cTarvelScript;
class cTarvelSavegame;

// A pending script timer: the label to call on the script machine when the
// game time reaches the due time.
struct sTarvelTimerRecord {
    cTarvelString label;
    cTarvelScript* script = nullptr;
    uint64_t scriptSerial = 0;   // a new machine may take a gone one's address
    DWORD dueTime = 0;
    int32_t id = 0;
};

// The engine's one clock: paces frames (at most one per 16 ms), keeps the
// game time every animated part reads, and runs the script timers.
class cTarvelTimer {
public:
    cTarvelTimer();
    ~cTarvelTimer();
    cTarvelTimer(const cTarvelTimer&) = delete;
    cTarvelTimer& operator=(const cTarvelTimer&) = delete;

    // True when a frame is due; then advances the clocks and fires the due
    // script timers.
    bool Update();
    // The current time between frames.
    DWORD GetTimeMs() const;
    float GetSeconds() const;
    // Seconds from stamp to the game time times factor; 0 when stamp lies ahead.
    float SecondsSince(DWORD stamp, float factor) const;
    void ResetFrameTime();
    // Sets a timer that calls label on script after seconds; returns its id.
    int32_t SetTimer(const cTarvelString& label, cTarvelScript* script, float seconds);

    void Save(cTarvelSavegame& savegame) const;
    void Load(cTarvelSavegame& savegame);

    int32_t mNextTimerId;
    DWORD mFrameReference;
    UINT mTimerPeriod;
    DWORD mGameTime;
    DWORD mFrameTime;
    float mGameSeconds;
    float mFrameSeconds;
    tArray<sTarvelTimerRecord> mTimers;
};

// Seconds from `from` to `to` times factor; 0 when from lies after to.
float SecondsBetween(DWORD from, DWORD to, float factor);
