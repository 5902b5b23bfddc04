#pragma once

#include "engine/core/string.h"

class cTarvelCinematic;

// A dictaphone clip. Only the function that plays it is kept until the
// dictaphone lands: it is sent as an event when the clip's cinematic ends.
struct sPDAAudioNode {
    cTarvelString function;
};

// The PDA screen. Until the PDA itself is built it holds nothing but the
// dictaphone clip being played.
class cTarvelPDA {
public:
    cTarvelPDA();
    ~cTarvelPDA();
    cTarvelPDA(const cTarvelPDA&) = delete;
    cTarvelPDA& operator=(const cTarvelPDA&) = delete;

    // Loads the PDA's pictures and sounds at gameplay start-up; none yet.
    void LoadResources() {}
    void Release();
    void Save(class cTarvelSavegame& savegame); void Load(class cTarvelSavegame& savegame);  // savegame stand-in: the PDA branch owns these
    // Closes the PDA when it is open.
    void Close() { mOpen = false; }

    bool mOpen = false;
    // The clip being played and the cinematic that plays it (owned; it
    // sits on the cinematic stack, whose walks finish and delete it).
    sPDAAudioNode* mPlayingClip = nullptr;
    cTarvelCinematic* mClipCinematic = nullptr;
};
