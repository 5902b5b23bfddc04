#pragma once

#include <cstdint>

#include "engine/core/string.h"

class cTarvelActor;
class cTarvelImage;
class cTarvelScript;
class cTarvelScriptValue;

// The source file the cinematic's fatal error names.
#define TARVEL_SOURCE_CINEMATIC ".\\source\\class_cinematic"

// A script waiting for something that takes time. The script stores where
// to go on and suspends; the stack step tests the top cinematic's wait once
// a frame and resumes the script when it is over. A script cinematic runs
// the "OnRun" event of a "cCinematic" object and ends at its exit; an
// implicit one (no script object) makes its owner script wait once.
class cTarvelCinematic {
public:
    // Wait kinds; kWaitNone counts as over.
    static constexpr int32_t kWaitNone = 0;
    static constexpr int32_t kWaitTime = 1;
    static constexpr int32_t kWaitImage = 2;
    static constexpr int32_t kWaitActorSay = 3;
    static constexpr int32_t kWaitActorPlace = 4;
    static constexpr int32_t kWaitActorAnim = 5;
    static constexpr int32_t kWaitActorLinkedAnim = 6;
    static constexpr int32_t kWaitFade = 7;
    static constexpr int32_t kWaitCMV = 8;
    static constexpr int32_t kWaitCameraMove = 9;
    static constexpr int32_t kWaitPostFX = 10;
    static constexpr int32_t kWaitSpeechLine = 11;

    // Pushes itself onto gCinematics. With a script, the "cCinematic"
    // object of that name is bound to it and its event runs at once (a
    // missing object is fatal); with an owner, the owner is the script that
    // the waits resume. A cinematic pushed while the top one skips (other
    // than a speech line) skips too.
    cTarvelCinematic(cTarvelScript* script, const char* objectName, cTarvelScript* ownerScript,
                     const char* eventName);
    // Stales the script handles bound to it.
    ~cTarvelCinematic();
    cTarvelCinematic(const cTarvelCinematic&) = delete;
    cTarvelCinematic& operator=(const cTarvelCinematic&) = delete;

    // Wait setters: store the wait and the script's continuation and
    // suspend the script. Nothing while skipping.
    void WaitTime(float seconds);
    void WaitForImage(cTarvelImage* image, int32_t flag);
    void WaitForActorSay(cTarvelActor* actor);
    void WaitForActorPlace(cTarvelActor* actor);
    void WaitForActorAnim(cTarvelActor* actor, const char* name);
    void WaitForActorLinkedAnim(cTarvelActor* actor, const char* name);
    void WaitForFade();
    // A cross-fade resumes its waiter once the old picture is captured,
    // so the script can set up the new one under the blend.
    void WaitForCrossFade();
    void WaitForCMV();
    // These two only wait when the camera moves, or a timed post effect runs.
    void WaitForCameraMove();
    void WaitForPostFX();
    void WaitForSpeechLine();

    // Whether the stored wait is over.
    bool WaitOver() const;
    // Resumes the script when the wait is over.
    void CheckWait();
    // Ends the cinematic, taking a skip prompt off the top of the screen
    // controls.
    void Exit();
    // The player's skip (force false: the first request shows the prompt)
    // and the stack's own (force true).
    void RequestSkip(bool force);
    // Ends a dictaphone clip's cinematic and takes the cinematic off the
    // stack; the caller deletes it.
    void Finish();

    // The per-frame step over gCinematics: the top is tested, and each
    // ended top is finished and deleted.
    static void UpdateStack();
    // The machine the cinematic resumes, with its serial.
    void SetScript(cTarvelScript* script);

    cTarvelScript* mOwnerScript;
    int32_t mWaitKind;
    cTarvelImage* mWaitImage;
    cTarvelActor* mWaitActor;
    cTarvelString mWaitAnimName;
    int32_t mWaitFlag;
    // Engine seconds.
    float mWaitUntil;
    cTarvelString mContinuation;
    cTarvelScript* mScript;
    uint64_t mScriptSerial = 0;   // another machine may take a gone one's address
    cTarvelScriptValue* mScriptObject;
    bool mEnded;
    // Set while the engine is inside a call into this cinematic's own script.
    bool mInCall;
    bool mSkipping;
    bool mUnskippable;
    // An implicit cinematic waiting for a said or thought line.
    bool mSpeechLine;

private:
    // Stores the wait's continuation and suspends the script.
    void Suspend(int32_t kind);
    // Calls the script at the continuation with thisValue; an implicit
    // cinematic ends with the call.
    void Resume(cTarvelScriptValue* thisValue);
};
