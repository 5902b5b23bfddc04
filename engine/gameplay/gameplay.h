#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class cTarvelActor;
class cTarvelRegionSet;
class cTarvelScript;
class cTarvelScriptValue;
class cTarvelView;

// The gameplay and interface controller: it starts the "Main" script, turns
// the mouse into game actions once per frame, runs the world update, and
// keeps the interface flags, the screen fade and the interface texts.
class cTarvelGameplay {
public:
    cTarvelGameplay();
    ~cTarvelGameplay();
    cTarvelGameplay(const cTarvelGameplay&) = delete;
    cTarvelGameplay& operator=(const cTarvelGameplay&) = delete;

    // Reads the "project" resource and starts the interface and the "Main"
    // script; 0, or -1 when there is no "project" to open.
    int Init();
    // The frame's fade, screen controls, speech and mouse; 0.
    int Update();
    // The frame's video, active controls, cinematics, walk-area triggers and
    // physics, after Update.
    void UpdateWorld();
    // Deletes the main script and the detail-view exit band.
    void Release();

    // True when the latch of button (0 left, 1 right) holds value; the latch
    // is then cleared, so every click is taken once.
    bool TestButton(int button, int32_t value);
    // The interface text of key: the rest of the first text line that is the
    // key and one blank; empty when there is none.
    cTarvelString GetText(const char* key) const;
    // The first shared script variable of that name (case-sensitive), or null.
    static cTarvelScriptValue* FindValue(const char* name);
    static void AddValue(const cTarvelScriptValue& value);
    // A shared variable of class "cActor" bound to actor (unbound for null),
    // as "PC" and "OFF" are made.
    static cTarvelScriptValue SharedActor(const char* name, const cTarvelActor* actor);

    // Bits of the interface flag word.
    static constexpr uint32_t kInterfaceEnabled = 0x1;
    static constexpr uint32_t kInventoryShown = 0x4;
    // The inventory pops up: the bar takes clicks while open and closes when
    // the mouse leaves it; floor clicks do not walk.
    static constexpr uint32_t kInventoryPopUp = 0x8;
    static constexpr uint32_t kNoWalkToObjects = 0x20;
    static constexpr uint32_t kBlocked = 0x800;
    static constexpr uint32_t kWalkingToObject = 0x1000;
    // Either lock bit holds the mouse actions back.
    static constexpr uint32_t kMouseLocked = kBlocked | kWalkingToObject;

    // The project record: two 64-byte text fields, kept NUL-terminated.
    char mProjectName[65] = {};
    char mBuildText[65] = {};
    cTarvelScript* mMainScript;   // owned
    uint32_t mStateFlags;
    // 0 nothing pending, 1 a click, 2 a double click.
    int32_t mLeftLatch;
    int32_t mRightLatch;
    // The main stage's view at the last single click of each button: a
    // double click counts only in the view its first click was made in.
    cTarvelView* mLeftStamp = nullptr;
    cTarvelView* mRightStamp = nullptr;
    int32_t mMouseX;
    int32_t mMouseY;
    int32_t mMouseLimitX;
    int32_t mMouseLimitY;
    // The exit band of detail views (owned).
    cTarvelRegionSet* mRegionSet = nullptr;
    // The screen fade: mode 0 to 8 (1 to black, 2 from black, 3 black, 4 to
    // white, 5 from white, 6 white, 7 cross-fade requested, 8 cross-fade
    // running), its start in ms, its rate (1 / seconds), the script to resume
    // when it ends with its continuation, and whether it takes the sound.
    int32_t mFadeState = 0;
    DWORD mFadeStart = 0;
    float mFadeRate = 1.0f;
    cTarvelScript* mFadeWaiter = nullptr;
    uint64_t mFadeWaiterSerial = 0;   // another machine may take a gone one's address
    cTarvelString mFadeLabel;
    bool mFadeSound = false;
    cTarvelString mText;
    // The interface texts: "key text", one line each.
    tArray<cTarvelString> mTextLines;

private:
    // Input open, no lock, no cinematic and no fade.
    bool MouseActionsOpen() const;
    void LeftClick();
    void DoubleClick();
    void RightClick();
    // Clicks on the floor: the player walks there (and runs after a double
    // click).
    void WalkToFloor(bool run);
    void UpdateFade();
    void UpdateInventoryBar();
};
