#include "engine/world/walk_area.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "engine/core/maths.h"
#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/pathfinder.h"
#include "engine/world/scene.h"

namespace {

constexpr uint32_t kPolygonEntrySize = 12;
constexpr uint32_t kVertexSize = 12;
constexpr uint32_t kTriangleSize = 12;
constexpr uint32_t kNodeSize = 16;
constexpr uint32_t kRouteSize = 8;

// Side of r against the line p→q on the x/z plane (x, z pairs).
float Side(float px, float pz, float qx, float qz, float rx, float rz)
{
    return (rz - pz) * (qx - px) - (rx - px) * (qz - pz);
}

} // namespace

cTarvelWalkArea::cTarvelWalkArea() = default;

cTarvelWalkArea::~cTarvelWalkArea()
{
    // A walker outliving its scene's areas must not reach this one again.
    for (cTarvelPathfinder* walker : mWalkers)
        walker->ForgetWalkArea();
    std::free(mData);
}

void cTarvelWalkArea::AddWalker(cTarvelPathfinder* walker)
{
    for (const cTarvelPathfinder* known : mWalkers)
        if (known == walker)
            return;
    mWalkers.push_back(walker);
}

void cTarvelWalkArea::RemoveWalker(cTarvelPathfinder* walker)
{
    for (size_t i = 0; i < mWalkers.size(); ++i) {
        if (mWalkers[i] == walker) {
            mWalkers.erase(mWalkers.begin() + std::ptrdiff_t(i));
            break;
        }
    }
    if (mWalkers.empty())
        mEnabled = 0;
}

int cTarvelWalkArea::Read(int slot, const cTarvelScene* scene)
{
    cTarvelResource& archive = gTarvel.mResources;
    uint8_t raw[112];
    archive.Read(slot, raw, sizeof raw);
    std::memcpy(mRecord.name, raw, 64);
    mRecord.name[63] = 0;
    mRecord.dataSize = SceneU32(raw + 64);
    mRecord.polygonCount = SceneU32(raw + 68);
    mRecord.triangleCount = SceneU32(raw + 76);
    mRecord.nodeCount = SceneU32(raw + 84);
    std::memcpy(mRecord.reserved, raw + 92, 20);

    if (mRecord.dataSize > SceneBytesLeft(slot))
        SceneFileDamaged(scene, "a walk area's data block runs past the end of the file");
    mData = archive.ReadBlock(slot, mRecord.dataSize);
    const uint64_t size = mRecord.dataSize;
    const auto at_ = [&](uint64_t offset) -> const uint8_t* { return mData ? mData + offset : nullptr; };

    // Sections follow each other; each is checked against what is left of
    // the block before it is used.
    cSceneBlockSections sections(scene, size);
    const uint64_t polygons = sections.Take(mRecord.polygonCount, kPolygonEntrySize,
                                   "a walk area's polygons run past its data block");
    mPolygons.resize(mRecord.polygonCount);
    for (uint32_t i = 0; i < mRecord.polygonCount; ++i) {
        const uint8_t* entry = mData + polygons + uint64_t(i) * kPolygonEntrySize;
        mPolygons[i].vertexCount = SceneU32(entry);
        mPolygons[i].hole = entry[4];
    }
    for (sWalkPolygon& polygon : mPolygons) {
        const uint64_t start = sections.Take(polygon.vertexCount, kVertexSize,
                                    "a walk area's vertices run past its data block");
        polygon.vertices = reinterpret_cast<const float*>(at_(start));
    }
    const uint64_t triangles = sections.Take(mRecord.triangleCount, kTriangleSize,
                                    "a walk area's triangles run past its data block");
    mTriangles = reinterpret_cast<const uint32_t*>(at_(triangles));
    for (uint64_t i = 0; i < uint64_t(mRecord.triangleCount) * 3; ++i) {
        const uint32_t ref = mTriangles[i];
        const uint32_t polygon = ref >> 16;
        if (polygon >= mRecord.polygonCount || (ref & 0xFFFF) >= mPolygons[polygon].vertexCount)
            SceneFileDamaged(scene, "a walk-area triangle names a vertex that does not exist");
    }
    if (mRecord.nodeCount > 0) {
        const uint64_t nodes = sections.Take(mRecord.nodeCount, kNodeSize, "a walk area's nodes run past its data block");
        mNodes = reinterpret_cast<const sWalkNode*>(at_(nodes));
        const uint64_t n = mRecord.nodeCount;
        if (n > sections.Left() / kRouteSize / n)
            SceneFileDamaged(scene, "a walk area's node table runs past its data block");
        const uint64_t routes = sections.Take(n * n, kRouteSize, "a walk area's node table runs past its data block");
        mRoutes = reinterpret_cast<const sWalkRoute*>(at_(routes));
        for (uint64_t i = 0; i < n; ++i) {
            const int16_t polygon = mNodes[i].polygon;
            if (polygon < -1 || polygon >= int64_t(mRecord.polygonCount))
                SceneFileDamaged(scene, "a walk-area node names a polygon that does not exist");
        }
        for (uint64_t i = 0; i < n * n; ++i) {
            const int16_t next = mRoutes[i].next;
            if (next < -1 || next >= int64_t(n))
                SceneFileDamaged(scene, "a walk-area route names a node that does not exist");
        }
    }
    return 0;
}

const float* cTarvelWalkArea::Corner(uint32_t triangle, int k) const
{
    const uint32_t ref = mTriangles[uint64_t(triangle) * 3 + uint32_t(k)];
    return mPolygons[ref >> 16].vertices + uint64_t(ref & 0xFFFF) * 3;
}

bool cTarvelWalkArea::PointInPolygon(float x, float z, uint32_t index) const
{
    if (!mEnabled || index >= mPolygons.size())
        return false;
    const sWalkPolygon& polygon = mPolygons[index];
    const uint32_t n = polygon.vertexCount;
    if (n == 0)
        return false;
    const float* v = polygon.vertices;
    bool inside = false;
    for (uint32_t k = 0, j = n - 1; k < n; j = k++) {
        const float xk = v[3 * k], zk = v[3 * k + 2];
        const float xj = v[3 * j], zj = v[3 * j + 2];
        if ((zk <= z && z < zj) || (zj <= z && z < zk)) {
            const float crossing = (xj - xk) * (z - zk) / (zj - zk) + xk;
            if (crossing > x)
                inside = !inside;
        }
    }
    return inside;
}

void cTarvelWalkArea::Contains(float x, float z, bool& inside) const
{
    if (!mEnabled)
        return;
    for (uint32_t i = 0; i < mPolygons.size(); ++i)
        if (PointInPolygon(x, z, i))
            inside = !mPolygons[i].hole;
}

bool cTarvelWalkArea::IsInside(float x, float z) const
{
    bool inside = false;
    Contains(x, z, inside);
    return inside;
}

bool cTarvelWalkArea::PointInTriangle(float x, float z, uint32_t triangle) const
{
    if (triangle >= mRecord.triangleCount)
        return false;
    const float* a = Corner(triangle, 0);
    const float* b = Corner(triangle, 1);
    const float* c = Corner(triangle, 2);
    return Side(a[0], a[2], b[0], b[2], x, z) >= 0.0f && Side(b[0], b[2], c[0], c[2], x, z) >= 0.0f &&
           Side(c[0], c[2], a[0], a[2], x, z) >= 0.0f;
}

bool cTarvelWalkArea::GetHeightAt(float x, float z, float& y)
{
    if (!IsInside(x, z))
        return false;
    for (uint32_t t = 0; t < mRecord.triangleCount; ++t) {
        if (!PointInTriangle(x, z, t))
            continue;
        mLastTriangle = int32_t(t);
        const float* a = Corner(t, 0);
        const float* b = Corner(t, 1);
        const float* c = Corner(t, 2);
        const D3DXVECTOR2 p(x, z), pa(a[0], a[2]), pb(b[0], b[2]), pc(c[0], c[2]);
        float w[3];
        BarycentricCoords2D(w, &p, &pa, &pb, &pc);
        y = w[0] * a[1] + w[1] * b[1] + w[2] * c[1];
        return true;
    }
    // Inside the area but between triangles: weight the last triangle's
    // corners by distance. With no triangles there is nothing to weight.
    if (mLastTriangle < 0 || uint32_t(mLastTriangle) >= mRecord.triangleCount)
        return false;
    const float* corner[3] = {Corner(uint32_t(mLastTriangle), 0), Corner(uint32_t(mLastTriangle), 1),
                              Corner(uint32_t(mLastTriangle), 2)};
    float d[3];
    for (int k = 0; k < 3; ++k) {
        const float dx = x - corner[k][0], dz = z - corner[k][2];
        d[k] = dx * dx + dz * dz;
    }
    y = ((d[1] + d[2]) * corner[0][1] + (d[0] + d[2]) * corner[1][1] + (d[0] + d[1]) * corner[2][1]) /
        (2.0f * (d[0] + d[1] + d[2]));
    return true;
}

bool cTarvelWalkArea::SegmentCrosses(float x1, float z1, float x2, float z2) const
{
    if (!mEnabled)
        return false;
    const D3DXVECTOR2 p1(x1, z1), p2(x2, z2);
    for (const sWalkPolygon& polygon : mPolygons) {
        const uint32_t n = polygon.vertexCount;
        // Every edge, the closing one from the last vertex back to the first
        // included: leaving it out let a segment pass through that side.
        for (uint32_t k = 0; k < n && n > 1; ++k) {
            const uint32_t j = k == 0 ? n - 1 : k - 1;
            if (n == 2 && k == 0)
                continue;   // two points have one edge
            const D3DXVECTOR2 a(polygon.vertices[3 * j], polygon.vertices[3 * j + 2]);
            const D3DXVECTOR2 b(polygon.vertices[3 * k], polygon.vertices[3 * k + 2]);
            const int o1 = Orientation2D(&p1, &p2, &a);
            const int o2 = Orientation2D(&p1, &p2, &b);
            if (o1 == 0 || o2 == 0 || o1 == o2)
                continue;
            const int o3 = Orientation2D(&b, &a, &p2);
            const int o4 = Orientation2D(&b, &a, &p1);
            if (o3 != 0 && o4 != 0 && o3 != o4)
                return true;
        }
    }
    return false;
}

void cTarvelWalkArea::GetBounds(float& minX, float& minZ, float& maxX, float& maxZ) const
{
    minX = minZ = 100000.0f;
    maxX = maxZ = -100000.0f;
    for (const sWalkPolygon& polygon : mPolygons)
        for (uint32_t k = 0; k < polygon.vertexCount; ++k) {
            const float x = polygon.vertices[3 * k], z = polygon.vertices[3 * k + 2];
            minX = x < minX ? x : minX;
            maxX = x > maxX ? x : maxX;
            minZ = z < minZ ? z : minZ;
            maxZ = z > maxZ ? z : maxZ;
        }
}

void cTarvelWalkArea::UpdatePlayerTrigger()
{
    cTarvelActor* player = gTarvel.mPlayer;
    if (!mEnterLeave || !mEnabled || !player || !player->mMobile)
        return;
    bool inside = false;
    Contains(player->mMobile->mPosition.x, player->mMobile->mPosition.z, inside);
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelScript* script = scene ? scene->mScript : nullptr;
    if (inside) {
        if (!mEntered) {
            mEntered = 1;
            if (mOnEnter.Length() > 0 && script)
                script->CallFunction(mOnEnter.c_str(), nullptr);
        }
    } else if (mEntered) {
        mEntered = 0;
        if (mOnLeave.Length() > 0 && script)
            script->CallFunction(mOnLeave.c_str(), nullptr);
    }
}
