#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class cTarvelActorControl;
class cTarvelCamera;
class cTarvelMobileAnimation;
class cTarvelSavegame;
class cTarvelScript;
class cTarvelScriptValue;
class cTarvelWalkArea;
struct sWalkNode;

// One point of a walk and the curve segment that ends at it.
struct sWaypoint {
    static constexpr int kChordEntries = 201;
    float x = 0.0f, z = 0.0f;
    float s1[2] = {};   // incoming control point
    float s2[2] = {};   // outgoing control point
    int32_t node = -1;  // path-graph node, -1 for the start and the target
    // Entry k: squared x-z distance from the segment's start to the curve
    // point at t = k / 200.
    float chord[kChordEntries] = {};
};

// Moves an actor along a smoothed path over its walk area and calls back
// into a script at the end.
class cTarvelPathfinder {
public:
    enum { kIdle = 0, kWalk = 1, kRun = 2 };

    explicit cTarvelPathfinder(cTarvelActorControl* control);
    ~cTarvelPathfinder();
    cTarvelPathfinder(const cTarvelPathfinder&) = delete;
    cTarvelPathfinder& operator=(const cTarvelPathfinder&) = delete;

    void SetWalkLayer(cTarvelWalkArea* walkArea);
    // Mode 1: on the walk area; 2: off it; 3: inside its bounds.
    bool IsInside(float x, float z, int mode) const;
    // -1 without a walk area or without a route; 0 otherwise.
    int WalkTo(const float target[3], cTarvelWalkArea* targetArea, cTarvelCamera* viewCamera);
    void Step(float speedFactor);
    void FinishWalk(bool jumpToEnd);
    int PrepareCurves();
    // The turn before the walk is over: the walk starts from where the actor
    // stands.
    void EndTurn(float fade);
    // Cuts the path at the view's edges; true when its start was cut away.
    bool ClipAtView(cTarvelCamera* camera);
    void Save(cTarvelSavegame& savegame);
    void Load(cTarvelSavegame& savegame);

    float mBounds[4];   // minZ, maxZ, minX, maxX
    cTarvelActorControl* mControl;
    int32_t mMode = kIdle;
    cTarvelMobileAnimation* mTurnAnim = nullptr;
    tArray<sWaypoint> mWaypoints;
    cTarvelString mCbLabel;
    cTarvelScript* mCbScript = nullptr;
    uint64_t mCbSerial = 0;   // which machine: another may take a gone one's address
    cTarvelScriptValue* mCbSymbol = nullptr;
    DWORD mSegmentTime = 0;
    float mDestRot = 0.0f;
    float mStepDistance = 0.0f;
    float mSegmentDistance = 0.0f;
    int32_t mNodeCount = 0;
    const sWalkNode* mNodes = nullptr;
    cTarvelWalkArea* mWalkArea = nullptr;

    // Called by a walk area deleted while this still walks on it.
    void ForgetWalkArea();

private:
    void ApplyDestRot();
    bool ArmBlocked(const float arm[2], const sWaypoint& waypoint) const;
    void FillChords(sWaypoint& waypoint, const sWaypoint& previous) const;
    bool ClampTarget(float& x, float& z) const;
    void AddWaypoint(float x, float z, int32_t node);
};
