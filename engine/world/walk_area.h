#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/string.h"

class cTarvelPathfinder;
class cTarvelView;

// A polygon of a walk area; its vertices (x, y, z; y the height) lie in the
// area's data block.
struct sWalkPolygon {
    uint32_t vertexCount = 0;
    uint8_t hole = 0;
    const float* vertices = nullptr;
};

// A path-graph node as stored.
struct sWalkNode {
    float x;
    float z;
    int16_t unused;
    int16_t polygon;    // the walk-area polygon that holds the node
    uint32_t reserved;
};
static_assert(sizeof(sWalkNode) == 16);

// Entry j of node i's row: how to get from i to j.
struct sWalkRoute {
    uint8_t direct;
    uint8_t unused;
    int16_t next;       // next node on the shortest route, -1 none
    float length;
};
static_assert(sizeof(sWalkRoute) == 8);

// The walk-area record of the scene file.
struct sWalkAreaRecord {
    char name[64] = {};
    uint32_t dataSize = 0;
    uint32_t polygonCount = 0;
    uint32_t triangleCount = 0;
    uint32_t nodeCount = 0;
    uint8_t reserved[20] = {};
};

// A named floor region of a scene (saved as "EnvLayer"): polygons on the
// x/z plane with holes, a triangulation carrying the height and a node table
// for path finding; it can call scene-script functions as the player enters
// and leaves it.
class cTarvelWalkArea {
public:
    cTarvelWalkArea();
    ~cTarvelWalkArea();
    cTarvelWalkArea(const cTarvelWalkArea&) = delete;
    cTarvelWalkArea& operator=(const cTarvelWalkArea&) = delete;

    // Reads the record and its data block; damaged data is fatal, naming the
    // scene. 0.
    int Read(int slot, const class cTarvelScene* scene);
    bool PointInPolygon(float x, float z, uint32_t polygon) const;
    void Contains(float x, float z, bool& inside) const;
    bool IsInside(float x, float z) const;
    bool PointInTriangle(float x, float z, uint32_t triangle) const;
    bool GetHeightAt(float x, float z, float& y);
    bool SegmentCrosses(float x1, float z1, float x2, float z2) const;
    void GetBounds(float& minX, float& minZ, float& maxX, float& maxZ) const;
    void UpdatePlayerTrigger();

    const char* Name() const { return mRecord.name; }
    // Corner k (0 to 2) of a triangle: x, y, z.
    const float* Corner(uint32_t triangle, int k) const;

    int32_t mLastTriangle = 0;
    sWalkAreaRecord mRecord;
    uint8_t* mData = nullptr;   // malloc'd: the whole data block
    std::vector<sWalkPolygon> mPolygons;
    const uint32_t* mTriangles = nullptr;   // 3 packed references each
    const sWalkNode* mNodes = nullptr;
    const sWalkRoute* mRoutes = nullptr;    // node count × node count
    uint8_t mEnabled = 0;
    // Pathfinders walking on it: the last one to leave switches it off. A
    // list, not a count, so a walker deleted on the area lets go of it and
    // the area, deleted first, can let go of its walkers.
    void AddWalker(cTarvelPathfinder* walker);
    void RemoveWalker(cTarvelPathfinder* walker);
    std::vector<cTarvelPathfinder*> mWalkers;
    cTarvelView* mAttachedView = nullptr;
    uint8_t mStair = 0;
    uint8_t mEnterLeave = 0;
    cTarvelString mOnEnter;
    cTarvelString mOnLeave;
    uint8_t mEntered = 0;
    int32_t mStairStepCount = 0;
    float mStairUpperLevel = 0.0f;
    float mStairLowerLevel = 0.0f;
    float mStairHeight = 0.0f;
    float mStairWidth = 0.0f;
};
