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

// A closed polygon: its last point repeats the first.
struct sRegionRing {
    uint32_t pointCount;
    bool exclusion;   // a containing exclusion ring makes the point outside
    sRegionPoint* points;
};

struct sRegionRecord {
    char name[64];
    cTarvelView* view;   // the view the record belongs to
    uint32_t ringCount;
    sRegionRing* rings;
    uint32_t extraCount;
    void* extra;
};

// A hotspot: screen polygons in reference units, bound to a script object of
// script class cHotspot, with its flags and path-finder destination. The
// scene holds one per hotspot; the gameplay controller and the case-file
// screen build their own from rectangles.
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
    // A double click on the hotspot under the cursor.
    void OnDoubleClick();
    // Runs the verb's event, walking the player to the destination first.
    void ExecuteVerb(cTarvelString event);
    // A band of width margin along the edges of the screen or, with the
    // flag, of the scene area. Called once on a set without records.
    void SetFrameRegion(int32_t margin, bool sceneArea);
    void SetRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom);

    uint32_t mRecordCount;
    sRegionRecord* mRecords;
    sRegionPoint* mCentres;
    void* mBlock;   // owned: the records with their rings and points
    cTarvelScriptValue* mObject;   // bound script object, none when unbound
    bool mEnabled;
    bool mNoVerbs;
    cTarvelString mName;
    // x, z and facing; x = z = 0 means none.
    float mDestination[3];
    float mLookAt[3];
    bool mLookAtValid;
    bool mLeaveRoom;
    // The number the savegame stores the hotspot under (first word of its
    // file header), its caption and the flags the scene saves.
    uint32_t mNumber = 0;
    cTarvelString mCaption;
    bool mPathFlag = false;
    bool mIsPath = false;
    bool mNoTeleport = false;
    bool mNoWalking = false;
    bool mDetailView = false;

private:
    // One record with rings of five points each, in one owned block.
    sRegionRecord* AllocateRecord(uint32_t ringCount);
};
