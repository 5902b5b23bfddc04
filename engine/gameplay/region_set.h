#pragma once

#include <cstdint>

#include "engine/core/string.h"

class cTarvelScene;
class cTarvelScriptValue;
class cTarvelView;

struct sRegionPoint {
    int32_t x;
    int32_t y;
};

// A polygon of screen points; the last edge closes it.
struct sRegionPolygon {
    uint32_t pointCount;
    bool hole;   // a containing hole makes the point outside
    sRegionPoint* points;
};

struct sRegionRecord {
    char name[64];
    cTarvelView* view;   // the scene view of the same name, none when no view has it
    uint32_t polygonCount;
    sRegionPolygon* polygons;
    // Kept as read (12 bytes each); nothing reads them.
    uint32_t secondaryCount;
    void* secondary;
};

// A hotspot or path: screen polygons in reference units, bound to a script
// object (script class cHotspot or cPath), with its flags and walk target.
// The scene holds one per hotspot; the gameplay controller and the
// case-file screen build their own from rectangles.
class cTarvelRegionSet {
public:
    cTarvelRegionSet();
    ~cTarvelRegionSet();
    cTarvelRegionSet(const cTarvelRegionSet&) = delete;
    cTarvelRegionSet& operator=(const cTarvelRegionSet&) = delete;

    // Reads one hotspot block of the scene file, binding each record to the
    // scene's view of its name and computing the centres; damaged data is
    // fatal, naming the scene. 0.
    int Read(int slot, cTarvelScene* scene);

    // Whether (x, y) lies in the set for the given stage's view. Paths and
    // exits take no hit while an item is in use.
    bool HitTest(int32_t x, int32_t y, int stage) const;
    // An inventory item is in use: the interface's restricted mode.
    static bool ItemSelected();
    // The cursor kind the set asks for under the mouse.
    uint32_t GetCursorKind() const;
    // The left click on the set.
    void Click();
    // A double click on the hotspot under the cursor.
    void OnDoubleClick();
    // Runs the verb's event, walking the player to the destination first.
    void ExecuteVerb(cTarvelString event);
    // Walks the player to the walk target (a script's path hand-over).
    void FeedPathfinder();
    // A band of width margin along the edges of the screen or, with the
    // flag, of the scene area. Called once on a set without records.
    void SetFrameRegion(int32_t margin, bool sceneArea);
    void SetRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Cursor kinds: the controller's own set, paths (walking, and with the
    // path flag), exits, hotspots (and with no verbs).
    static constexpr uint32_t kCursorLeaveDetailView = 8;
    static constexpr uint32_t kCursorPath = 1;
    static constexpr uint32_t kCursorPathFlagged = 7;
    static constexpr uint32_t kCursorExit = 2;
    static constexpr uint32_t kCursorHotspot = 3;
    static constexpr uint32_t kCursorNoVerbs = 4;

    uint32_t mRecordCount;
    sRegionRecord* mRecords;
    sRegionPoint* mCentres;
    void* mBlock;   // owned: the records with their polygons and points
    cTarvelScriptValue* mObject;   // bound script object, none when unbound
    bool mEnabled;
    // A click walks to the destination before "Do"; the cursor shows kind 4.
    bool mNoVerbs;
    cTarvelString mName;
    // x, z and facing; all three 0 means none.
    float mDestination[3];
    float mLookAt[3];
    bool mLookAtValid;
    // An exit: hint icon and cursor of its own, and no use while an item is
    // selected.
    bool mLeaveRoom;
    // The number the savegame stores the hotspot under (first word of its
    // file header), its caption and the flags the scene saves.
    uint32_t mNumber = 0;
    cTarvelString mCaption;
    // A click walks to the destination before "Do"; a path shows kind 7.
    bool mPathFlag = false;
    // A path: hint icon and cursor of its own, and no use while an item is
    // selected.
    bool mIsPath = false;
    // The walk keeps inside the view (no clipping at the view's edges).
    bool mNoTeleport = false;
    // A click raises "Do" at once, without walking.
    bool mNoWalking = false;
    bool mDetailView = false;

private:
    // One record with polygons of five points each, in one owned block.
    sRegionRecord* AllocateRecord(uint32_t polygonCount);
    bool HasWalkTarget() const;
    // Walks the player to the destination facing its direction, then raises
    // the event on the object; raises it at once when no walk starts.
    void WalkThenRaise(const char* event);
    // Walks the player to the destination facing nowhere in particular,
    // stopping at the view's camera layer and, unless no-teleport, leaving
    // the view at its edge.
    void WalkInView();
    // Raises the event on the object through the scene's script.
    void Raise(const char* event);
};
