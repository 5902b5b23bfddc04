#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelActor;
class cTarvelCamera;
class cTarvelMobileAnimation;
class cTarvelPathfinder;
class cTarvelSavegame;
class cTarvelScript;
class cTarvelScriptValue;
class cTarvelWalkArea;

// An actor's legs. The interface does nothing; cTarvelActorControlDefault is
// the control every actor gets.
class cTarvelActorControl {
public:
    // GetFloorHeight's fallback that asks for the actor's current height.
    static constexpr float kNoFallback = 1.1754944e-38f;

    virtual ~cTarvelActorControl() = default;

    virtual void Update() {}
    virtual void CollectRenderItems(tArray<sRenderItem>&) {}
    // Starts a walk to (x, y, z), ending turned by destRot (radians about the
    // vertical, 0 none); it stops where it meets targetArea, and starts just
    // outside the view of viewCamera.
    virtual void WalkTo(float, float, float, float, cTarvelWalkArea*, cTarvelCamera*) {}
    virtual cTarvelMobileAnimation* TurnTo(const D3DXQUATERNION&, float, bool) { return nullptr; }
    // The script, label and object to call at the end of the walk.
    virtual void SetCallback(cTarvelScript*, cTarvelString, cTarvelScriptValue*) {}
    virtual cTarvelScriptValue* GetCallbackSymbol() { return nullptr; }
    virtual cTarvelString GetCallbackLabel() { return ""; }
    virtual void SetRun(bool) {}
    virtual void FinishWalk(bool) {}
    virtual float GetFloorHeight(float, float, float fallback) { return fallback == kNoFallback ? 0.0f : fallback; }
    virtual bool IsOnWalkArea(float, float) { return false; }
    virtual void ReleaseAnimations() {}
    virtual void Stop() {}
    // Ends the walk; no callback is made.
    virtual void ClearWalk() {}
    virtual void SetPosition(float, float, float) {}
    virtual void GetPosition(float[3]) {}
    virtual void SetRotation(const float[4]) {}
    virtual void SetRotationAngles(float, float, float) {}
    virtual void GetRotation(float[4]) {}
    virtual void Save(cTarvelSavegame&) {}
    virtual void Load(cTarvelSavegame&) {}

    bool mStanding = false;
    // More than one waypoint ahead.
    bool mWalking = false;
};

class cTarvelActorControlDefault : public cTarvelActorControl {
public:
    explicit cTarvelActorControlDefault(cTarvelActor* owner);
    ~cTarvelActorControlDefault() override;
    cTarvelActorControlDefault(const cTarvelActorControlDefault&) = delete;
    cTarvelActorControlDefault& operator=(const cTarvelActorControlDefault&) = delete;

    void Update() override;
    void CollectRenderItems(tArray<sRenderItem>& list) override;
    void WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea* targetArea,
                cTarvelCamera* viewCamera) override;
    cTarvelMobileAnimation* TurnTo(const D3DXQUATERNION& target, float minAngleDegrees, bool finishWalkFirst) override;
    void SetCallback(cTarvelScript* script, cTarvelString label, cTarvelScriptValue* symbol) override;
    cTarvelScriptValue* GetCallbackSymbol() override;
    cTarvelString GetCallbackLabel() override;
    void SetRun(bool run) override;
    void FinishWalk(bool jumpToEnd) override;
    float GetFloorHeight(float x, float z, float fallback) override;
    bool IsOnWalkArea(float x, float z) override;
    void ReleaseAnimations() override;
    void Stop() override;
    void ClearWalk() override;
    void SetPosition(float x, float y, float z) override;
    void GetPosition(float out[3]) override;
    void SetRotation(const float q[4]) override;
    void SetRotationAngles(float ax, float ay, float az) override;
    void GetRotation(float out[4]) override;
    void Save(cTarvelSavegame& savegame) override;
    void Load(cTarvelSavegame& savegame) override;

    void SetWalkNRunCycle(const cTarvelString& walkName, const cTarvelString& runName);
    void SetWalkSpeed(float factor) { mWalkSpeedFac = factor; }
    // Slots 0 to 2 turn to the negative side, 3 to 5 to the positive one.
    void SetRotationMove(int slot, const cTarvelString& name);
    cTarvelWalkArea* SetWalkLayer(cTarvelWalkArea* walkArea);

    cTarvelActor* mOwner;
    int32_t mControlClass = 1;
    cTarvelPathfinder* mPathfinder;
    cTarvelMobileAnimation* mWalkAnim = nullptr;
    cTarvelMobileAnimation* mRunAnim = nullptr;
    cTarvelMobileAnimation* mStairAnim = nullptr;   // one of the two below
    cTarvelMobileAnimation* mStairUpAnim = nullptr;
    cTarvelMobileAnimation* mStairDownAnim = nullptr;
    cTarvelMobileAnimation* mBlinkAnim = nullptr;
    cTarvelMobileAnimation* mRotationAnims[6] = {};
    tArray<cTarvelWalkArea*> mStairLayers;   // not owned
    bool mStairing = false;
    bool mStairUp = false;
    float mStairRatio = 1.0f;
    float mWalkSpeedFac = 1.25f;
    float mNextBlink = 0.0f;
    float mWalkCycles = 0.5f;
    float mRunCycles = 1.25f;

private:
    void UpdateSteps();
    void StopOwnersAnimation();
    cTarvelMobileAnimation* NewAnimation(int32_t flags);
};
