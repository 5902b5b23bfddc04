#include "engine/world/pathfinder.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/core/maths.h"
#include "engine/core/tarvel.h"
#include "engine/core/timer.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/script/script_value.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/camera.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/d3dx9/d3dx9_math.h"

namespace {

float Distance(float x1, float z1, float x2, float z2)
{
    return std::sqrt((x2 - x1) * (x2 - x1) + (z2 - z1) * (z2 - z1));
}

// A point of the cubic curve from p0 over c1 and c2 to p3.
void Bezier(const float p0[2], const float c1[2], const float c2[2], const float p3[2], float t, float out[2])
{
    const float u = 1.0f - t;
    const float b0 = u * u * u, b1 = 3.0f * t * u * u, b2 = 3.0f * t * t * u, b3 = t * t * t;
    for (int k = 0; k < 2; ++k)
        out[k] = b0 * p0[k] + b1 * c1[k] + b2 * c2[k] + b3 * p3[k];
}

void CurvePoint(const sWaypoint& from, const sWaypoint& to, float t, float out[2])
{
    const float p0[2] = {from.x, from.z}, p3[2] = {to.x, to.z};
    Bezier(p0, from.s2, to.s1, p3, t, out);
}

// The facing vector (x, z) of a rotation matrix.
void Facing(const D3DXMATRIX& m, float out[2])
{
    out[0] = m._13;
    out[1] = -m._11;
}

// Where the segments a1-a2 and b1-b2 meet in x-z.
bool SegmentsMeet(const float a1[2], const float a2[2], const float b1[2], const float b2[2], float out[2])
{
    const float rx = a2[0] - a1[0], rz = a2[1] - a1[1];
    const float sx = b2[0] - b1[0], sz = b2[1] - b1[1];
    const float denominator = rx * sz - rz * sx;
    if (denominator == 0.0f)
        return false;
    const float qx = b1[0] - a1[0], qz = b1[1] - a1[1];
    const float t = (qx * sz - qz * sx) / denominator;
    const float u = (qx * rz - qz * rx) / denominator;
    if (t < 0.0f || t > 1.0f || u < 0.0f || u > 1.0f)
        return false;
    out[0] = a1[0] + t * rx;
    out[1] = a1[1] + t * rz;
    return true;
}

bool AreaContains(const cTarvelWalkArea& area, float x, float z)
{
    bool inside = false;
    area.Contains(x, z, inside);
    return inside;
}

} // namespace

cTarvelPathfinder::cTarvelPathfinder(cTarvelActorControl* control)
    : mBounds{100000.0f, -100000.0f, 100000.0f, -100000.0f}, mControl(control)
{
}

// An area deleted first has already let go of this walker.
cTarvelPathfinder::~cTarvelPathfinder()
{
    if (mWalkArea)
        mWalkArea->RemoveWalker(this);
}

void cTarvelPathfinder::ForgetWalkArea()
{
    mWalkArea = nullptr;
    mNodes = nullptr;
    mNodeCount = 0;
}

void cTarvelPathfinder::SetWalkLayer(cTarvelWalkArea* walkArea)
{
    mBounds[0] = 100000.0f;
    mBounds[1] = -100000.0f;
    mBounds[2] = 100000.0f;
    mBounds[3] = -100000.0f;
    mNodeCount = 0;
    mNodes = nullptr;
    // An area another actor still walks on stays on for it.
    if (mWalkArea)
        mWalkArea->RemoveWalker(this);
    mWalkArea = walkArea;
    if (!walkArea)
        return;
    walkArea->AddWalker(this);
    walkArea->mEnabled = 1;
    float minX, minZ, maxX, maxZ;
    walkArea->GetBounds(minX, minZ, maxX, maxZ);
    mBounds[0] = std::fmin(mBounds[0], minZ);
    mBounds[1] = std::fmax(mBounds[1], maxZ);
    mBounds[2] = std::fmin(mBounds[2], minX);
    mBounds[3] = std::fmax(mBounds[3], maxX);
    if (walkArea->mNodes && walkArea->mRoutes && walkArea->mRecord.nodeCount > 0) {
        mNodeCount = int32_t(walkArea->mRecord.nodeCount);
        mNodes = walkArea->mNodes;
    }
}

bool cTarvelPathfinder::IsInside(float x, float z, int mode) const
{
    if (mode == 3)
        return mBounds[2] < x && x <= mBounds[3] && mBounds[0] < z && z <= mBounds[1];
    if (mode != 1 && mode != 2)
        return false;
    const bool inside = mWalkArea && mWalkArea->IsInside(x, z);
    return mode == 1 ? inside : !inside;
}

void cTarvelPathfinder::AddWaypoint(float x, float z, int32_t node)
{
    sWaypoint waypoint;
    waypoint.x = x;
    waypoint.z = z;
    waypoint.node = node;
    mWaypoints.Add(waypoint);
}

void cTarvelPathfinder::ApplyDestRot()
{
    if (mDestRot != 0.0f)
        mControl->SetRotationAngles(0.0f, mDestRot, 0.0f);
    mDestRot = 0.0f;
}

bool cTarvelPathfinder::ClampTarget(float& x, float& z) const
{
    const cTarvelWalkArea& area = *mWalkArea;
    if (area.IsInside(x, z))
        return true;
    const sWalkPolygon* bestPolygon = nullptr;
    uint32_t best = 0;
    float bestDistance = 1000000.0f;
    for (uint32_t p = 0; p < area.mPolygons.size(); ++p) {
        const sWalkPolygon& polygon = area.mPolygons[p];
        if (polygon.hole && !area.PointInPolygon(x, z, p))
            continue;
        for (uint32_t k = 0; k < polygon.vertexCount; ++k) {
            const float d = Distance(x, z, polygon.vertices[3 * k], polygon.vertices[3 * k + 2]);
            if (d < bestDistance) {
                bestDistance = d;
                bestPolygon = &polygon;
                best = k;
            }
        }
    }
    if (bestPolygon) {
        const uint32_t n = bestPolygon->vertexCount;
        const float* v = bestPolygon->vertices;
        const uint32_t previous = best == 0 ? n - 1 : best - 1;
        const uint32_t next = best + 1 == n ? 0 : best + 1;
        const float dPrevious = Distance(x, z, v[3 * previous], v[3 * previous + 2]);
        const float dNext = Distance(x, z, v[3 * next], v[3 * next + 2]);
        const uint32_t neighbour = dNext < dPrevious ? next : previous;
        const float d1 = bestDistance;
        const float d2 = neighbour == next ? dNext : dPrevious;
        if ((d1 < 10000.0f || d2 < 10000.0f) && d1 + d2 > 0.0f) {
            const float nx = v[3 * best], nz = v[3 * best + 2];
            float px = nx + (v[3 * neighbour] - nx) * d1 / (d1 + d2);
            float pz = nz + (v[3 * neighbour + 2] - nz) * d1 / (d1 + d2);
            px -= 0.001f * (x - px);
            pz -= 0.001f * (z - pz);
            if (!area.IsInside(px, pz)) {
                px += 0.002f * (x - px);
                if (!area.IsInside(px, pz)) {
                    pz += 0.002f * (z - pz);
                    if (!area.IsInside(px, pz))
                        px -= 0.002f * (x - px);
                }
            }
            x = px;
            z = pz;
        }
    }
    return area.IsInside(x, z);
}

int cTarvelPathfinder::WalkTo(const float target[3], cTarvelWalkArea* targetArea, cTarvelCamera* viewCamera)
{
    if (!mWalkArea)
        return -1;
    cTarvelWalkArea& area = *mWalkArea;
    mMode = kIdle;
    mWaypoints.count = 0;
    if (mTurnAnim)
        mTurnAnim->Stop(0.3f);
    mTurnAnim = nullptr;
    mSegmentDistance = 0.0f;
    float position[3];
    mControl->GetPosition(position);
    const float x = position[0], z = position[2];

    if ((std::fabs(target[0] - x) < 10.0f && std::fabs(target[2] - z) < 10.0f) ||
        (targetArea && AreaContains(*targetArea, x, z))) {
        ApplyDestRot();
        return 0;
    }
    float tx = target[0], tz = target[2];
    if (!ClampTarget(tx, tz))
        return 0;

    float sx = x, sz = z;
    if (!area.IsInside(x, z)) {
        const float length = Distance(x, z, tx, tz);
        const int steps = int(length);
        bool found = false;
        for (int i = 1; i <= steps && !found; ++i) {
            sx = x + (tx - x) / length * float(i);
            sz = z + (tz - z) / length * float(i);
            found = area.IsInside(sx, sz);
        }
        if (!found)
            return 0;
    }

    if (!area.SegmentCrosses(x, z, tx, tz)) {
        AddWaypoint(x, z, -1);
        AddWaypoint(tx, tz, -1);
    } else {
        const int32_t n = mNodeCount;
        if (n <= 0 || !mNodes)
            return -1;
        const sWalkRoute* routes = area.mRoutes;
        float bestCost = 100000.0f;
        int32_t bestStart = -1, bestEnd = -1;
        // Which nodes see the target does not depend on the start node.
        std::vector<uint8_t> seesTarget(size_t(n), 0);
        for (int32_t e = 0; e < n; ++e)
            seesTarget[size_t(e)] = area.SegmentCrosses(tx, tz, mNodes[e].x, mNodes[e].z) ? 0 : 1;
        for (int32_t s = 0; s < n; ++s) {
            if (area.SegmentCrosses(sx, sz, mNodes[s].x, mNodes[s].z))
                continue;
            const float ds = Distance(sx, sz, mNodes[s].x, mNodes[s].z);
            for (int32_t e = 0; e < n; ++e) {
                if (!seesTarget[size_t(e)])
                    continue;
                const float cost = ds + Distance(mNodes[e].x, mNodes[e].z, tx, tz) + routes[size_t(s) * n + e].length;
                if (cost < bestCost) {
                    bestCost = cost;
                    bestStart = s;
                    bestEnd = e;
                }
            }
        }
        if (bestStart < 0)
            return -1;
        AddWaypoint(x, z, -1);
        AddWaypoint(mNodes[bestStart].x, mNodes[bestStart].z, bestStart);
        int32_t current = bestStart;
        for (int hops = 0; hops < 1000 && current != bestEnd; ++hops) {
            const sWalkRoute& route = routes[size_t(current) * n + bestEnd];
            if (route.direct)
                break;
            const int32_t next = route.next;
            if (next < 0 || next >= n)
                break;
            AddWaypoint(mNodes[next].x, mNodes[next].z, next);
            current = next;
        }
        if (bestEnd != bestStart && current != bestEnd)
            AddWaypoint(mNodes[bestEnd].x, mNodes[bestEnd].z, bestEnd);
        AddWaypoint(tx, tz, -1);
    }

    if (targetArea) {
        int32_t i = mWaypoints.count - 1;
        while (i >= 0 && AreaContains(*targetArea, mWaypoints.data[i].x, mWaypoints.data[i].z))
            --i;
        if (i >= 0 && i + 1 < mWaypoints.count) {
            sWaypoint& from = mWaypoints.data[i];
            sWaypoint& to = mWaypoints.data[i + 1];
            for (int k = 50; k > 0; --k) {
                const float f = 0.02f * float(k);
                const float px = from.x + f * (to.x - from.x), pz = from.z + f * (to.z - from.z);
                if (!targetArea->SegmentCrosses(px, pz, from.x, from.z)) {
                    to.x = px;
                    to.z = pz;
                    break;
                }
            }
            mWaypoints.count = i + 2;
        }
    }

    const bool cutAtStart = viewCamera && ClipAtView(viewCamera);
    mSegmentTime = gTarvel.mTimer.GetTimeMs();
    mMode = kWalk;

    if (mWaypoints.count > 1 && !cutAtStart) {
        D3DXVECTOR3 direction(mWaypoints.data[1].x - x, 0.0f, mWaypoints.data[1].z - z);
        D3DXQUATERNION rotation;
        QuaternionFromDirection(&rotation, &direction);
        if (cTarvelMobileAnimation* turn = mControl->TurnTo(rotation, 45.0f, false)) {
            mTurnAnim = turn;
            return 0;
        }
    }
    return PrepareCurves();
}

bool cTarvelPathfinder::ClipAtView(cTarvelCamera* camera)
{
    const float width = float(gTarvel.mGraphics.mWidth), half = float(gTarvel.mGraphics.mHeight) * 0.5f;
    D3DXVECTOR3 left(0.0f, half, 1.0f), right(width, half, 1.0f);
    camera->Unproject(&left);
    camera->Unproject(&right);
    const float eye[2] = {camera->mPosition.x, camera->mPosition.z};
    const float edges[2][2] = {{left.x, left.z}, {right.x, right.z}};
    for (int32_t i = 0; i + 1 < mWaypoints.count; ++i) {
        sWaypoint& from = mWaypoints.data[i];
        const float a[2] = {from.x, from.z};
        const float b[2] = {mWaypoints.data[i + 1].x, mWaypoints.data[i + 1].z};
        for (const auto& edge : edges) {
            float hit[2];
            if (!SegmentsMeet(a, b, eye, edge, hit))
                continue;
            const float dx = a[0] - hit[0], dz = a[1] - hit[1];
            const float divisor = std::fabs(dx) + std::fabs(dz);
            from.x = hit[0];
            from.z = hit[1];
            // A hit on the waypoint itself has no direction to push along.
            if (divisor != 0.0f) {
                from.x += 100.0f * dx / divisor;
                from.z += 100.0f * dz / divisor;
            }
            for (int32_t k = 0; k < i; ++k)
                mWaypoints.RemoveAt(0);
            return true;
        }
    }
    return false;
}

bool cTarvelPathfinder::ArmBlocked(const float arm[2], const sWaypoint& waypoint) const
{
    if (!mWalkArea)
        return false;
    if (mWalkArea->SegmentCrosses(arm[0], arm[1], waypoint.x, waypoint.z))
        return true;
    if (waypoint.node < 0 || waypoint.node >= mNodeCount)
        return false;
    const int32_t polygon = mNodes[waypoint.node].polygon;
    if (polygon < 0 || uint32_t(polygon) >= mWalkArea->mPolygons.size())
        return false;
    const float mx = (arm[0] + waypoint.x) * 0.5f, mz = (arm[1] + waypoint.z) * 0.5f;
    const bool inside = mWalkArea->PointInPolygon(mx, mz, uint32_t(polygon));
    return mWalkArea->mPolygons[polygon].hole ? inside : !inside;
}

void cTarvelPathfinder::FillChords(sWaypoint& waypoint, const sWaypoint& previous) const
{
    waypoint.chord[0] = 0.0f;
    for (int k = 1; k < sWaypoint::kChordEntries; ++k) {
        float p[2];
        CurvePoint(previous, waypoint, float(k) / 200.0f, p);
        const float dx = p[0] - previous.x, dz = p[1] - previous.z;
        waypoint.chord[k] = dx * dx + dz * dz;
    }
}

int cTarvelPathfinder::PrepareCurves()
{
    const int32_t count = mWaypoints.count;
    sWaypoint* w = mWaypoints.data;
    for (int32_t i = 0; i < count; ++i) {
        w[i].s1[0] = w[i].s2[0] = w[i].x;
        w[i].s1[1] = w[i].s2[1] = w[i].z;
    }
    for (int32_t i = 1; i + 1 < count; ++i) {
        // a and b point from the corner back and ahead along the path; the
        // arms lie along the corner's bisecting tangent, the incoming one
        // behind it and the outgoing one ahead.
        float a[2] = {w[i - 1].x - w[i].x, w[i - 1].z - w[i].z};
        float b[2] = {w[i + 1].x - w[i].x, w[i + 1].z - w[i].z};
        const float la = std::sqrt(a[0] * a[0] + a[1] * a[1]), lb = std::sqrt(b[0] * b[0] + b[1] * b[1]);
        if (la > 0.0f) {
            a[0] /= la;
            a[1] /= la;
        }
        if (lb > 0.0f) {
            b[0] /= lb;
            b[1] /= lb;
        }
        const float m[2] = {(a[0] + b[0]) * 0.5f, (a[1] + b[1]) * 0.5f};
        const float in[2] = {a[0] - m[0], a[1] - m[1]}, out[2] = {b[0] - m[0], b[1] - m[1]};
        const float maxLen = std::fmin(la, lb) * 0.5f;
        const float step = maxLen / 10.0f;
        auto place = [&](float f) {
            w[i].s1[0] = w[i].x + f * in[0];
            w[i].s1[1] = w[i].z + f * in[1];
            w[i].s2[0] = w[i].x + f * out[0];
            w[i].s2[1] = w[i].z + f * out[1];
        };
        for (float f = step; f > 0.0f; f += step) {
            place(f);
            if (ArmBlocked(w[i].s1, w[i]) || ArmBlocked(w[i].s2, w[i]) || f > maxLen) {
                place(f - step);
                break;
            }
        }
    }
    // One arm grown along u from a waypoint: sign -1 behind it, +1 ahead.
    auto growArm = [&](sWaypoint& waypoint, float arm[2], const float u[2], float sign, float segment) {
        const float maxLen = segment / 3.0f;
        const float step = std::fmax(1.0f, maxLen / 25.0f);
        for (float f = step; f > 0.0f; f += step) {
            arm[0] = waypoint.x + sign * f * u[0];
            arm[1] = waypoint.z + sign * f * u[1];
            if (ArmBlocked(arm, waypoint) || f > maxLen) {
                arm[0] = waypoint.x + sign * (f - step) * u[0];
                arm[1] = waypoint.z + sign * (f - step) * u[1];
                break;
            }
        }
    };
    if (count > 1 && mDestRot != 0.0f) {
        D3DXMATRIX m;
        const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        D3DXMatrixRotationAxis(&m, &up, mDestRot);
        float u[2];
        Facing(m, u);
        sWaypoint& last = w[count - 1];
        growArm(last, last.s1, u, -1.0f, Distance(w[count - 2].x, w[count - 2].z, last.x, last.z));
    }
    if (count > 1) {
        float q[4];
        mControl->GetRotation(q);
        const D3DXQUATERNION rotation(q[0], q[1], q[2], q[3]);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &rotation);
        float u[2];
        Facing(m, u);
        const float dx = w[1].x - w[0].x, dz = w[1].z - w[0].z;
        if (dx * m._13 - dz * m._11 > 0.0f)
            growArm(w[0], w[0].s2, u, 1.0f, Distance(w[0].x, w[0].z, w[1].x, w[1].z));
    }
    for (int32_t i = 1; i < count; ++i)
        FillChords(w[i], w[i - 1]);
    if (count == 0) {
        ApplyDestRot();
        if (cTarvelScript* script = mCbScript) {
            const cTarvelString label = mCbLabel;
            const uint64_t serial = mCbSerial;
            mCbScript = nullptr;
            if (gTarvel.IsScriptLive(script, serial))
                script->CallFunction(label.c_str(), nullptr);
        }
    }
    return 0;
}

void cTarvelPathfinder::Step(float speedFactor)
{
    const DWORD t0 = gTarvel.mTimer.GetTimeMs();
    if (mTurnAnim) {
        mStepDistance = 0.0f;
        const cTarvelActorControlDefault* control = dynamic_cast<cTarvelActorControlDefault*>(mControl);
        const cTarvelMobile* mobile = control && control->mOwner ? control->mOwner->mMobile : nullptr;
        if (!mTurnAnim->mPlaying || (mobile && mobile->mRotationEnd))
            EndTurn(0.3f);
        return;
    }
    if (mWaypoints.count < 2) {
        mMode = kIdle;
        if (cTarvelScript* script = mCbScript) {
            // Copied first: the call may start a new walk with a new callback.
            const cTarvelString label = mCbLabel;
            cTarvelScriptValue* symbol = mCbSymbol;
            const uint64_t serial = mCbSerial;
            mCbScript = nullptr;
            if (gTarvel.mPlayer && gTarvel.mPlayer->mControl == mControl)
                gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
            if (gTarvel.IsScriptLive(script, serial))
                script->CallEvent(symbol, label.c_str());
        }
        return;
    }
    const float speed = speedFactor * (mMode == kRun ? 280.0f : 120.0f);
    mSegmentDistance += SecondsBetween(mSegmentTime, t0, speed);

    sWaypoint& from = mWaypoints.data[0];
    sWaypoint& to = mWaypoints.data[1];
    const float d2 = mSegmentDistance * mSegmentDistance;
    float t = 1.0f;
    if (d2 < to.chord[sWaypoint::kChordEntries - 1]) {
        t = 0.0f;
        if (d2 > to.chord[0]) {
            int k = 1;
            while (k < sWaypoint::kChordEntries - 1 && to.chord[k] < d2)
                ++k;
            const float span = to.chord[k] - to.chord[k - 1];
            const float part = span > 0.0f ? (d2 - to.chord[k - 1]) / span : 0.0f;
            t = (part + float(k - 1)) / 200.0f;
        }
    }
    float position[3];
    mControl->GetPosition(position);
    if (t < 1.0f && to.chord[1] != 0.0f) {
        float p[2];
        CurvePoint(from, to, t, p);
        const float y = mControl->GetFloorHeight(p[0], p[1], cTarvelActorControl::kNoFallback);
        mControl->SetPosition(p[0], y, p[1]);
        mStepDistance = Distance(position[0], position[2], p[0], p[1]);
        float t2 = t + 0.001f;
        if (t2 < 0.02f)
            t2 = 0.02f;
        float ahead[2];
        CurvePoint(from, to, t2, ahead);
        D3DXVECTOR3 direction(ahead[0] - p[0], 0.0f, ahead[1] - p[1]);
        D3DXQUATERNION rotation;
        QuaternionFromDirection(&rotation, &direction);
        const float q[4] = {rotation.x, rotation.y, rotation.z, rotation.w};
        mControl->SetRotation(q);
        mSegmentTime = t0;
        return;
    }
    mSegmentDistance = 0.0f;
    mControl->SetPosition(to.x, position[1], to.z);
    mStepDistance = Distance(position[0], position[2], to.x, to.z);
    mWaypoints.RemoveAt(0);
    // Zero-length segments ahead (duplicate points) are passed in this frame;
    // a segment's table sits with the waypoint it ends at.
    while (mWaypoints.count > 1 && mWaypoints.data[1].chord[1] == 0.0f)
        mWaypoints.RemoveAt(0);
    mSegmentTime = t0;
    if (mWaypoints.count > 1)
        return;
    mMode = kIdle;
    ApplyDestRot();
}

void cTarvelPathfinder::EndTurn(float fade)
{
    if (fade >= 0.0f && mTurnAnim)
        mTurnAnim->Stop(fade);
    mTurnAnim = nullptr;
    float position[3];
    mControl->GetPosition(position);
    if (mWaypoints.count > 0) {
        mWaypoints.data[0].x = position[0];
        mWaypoints.data[0].z = position[2];
    }
    PrepareCurves();
    mSegmentTime = gTarvel.mTimer.GetTimeMs();
}

void cTarvelPathfinder::FinishWalk(bool jumpToEnd)
{
    if (!jumpToEnd || mWaypoints.count == 0) {
        if (mTurnAnim)
            mTurnAnim->Stop(0.3f);
        mTurnAnim = nullptr;
        mWaypoints.count = 0;
        return;
    }
    if (mTurnAnim)
        mTurnAnim->Stop(0.0f);
    mTurnAnim = nullptr;
    float position[3];
    mControl->GetPosition(position);
    const sWaypoint& last = mWaypoints.data[mWaypoints.count - 1];
    mControl->SetPosition(last.x, position[1], last.z);
    if (mDestRot != 0.0f)
        mControl->SetRotationAngles(0.0f, mDestRot, 0.0f);
    mWaypoints.count = 0;
}

void cTarvelPathfinder::Save(cTarvelSavegame& savegame)
{
    if (!mWalkArea)
        return;
    savegame.WriteString("Walklayer", mWalkArea->Name());
    savegame.WriteInt("WaypointCount", mWaypoints.count);
    savegame.WriteFloat("DestRot", mDestRot);
    // A machine deleted since (a clip's cinematic, the scene left) is not
    // written: its name would be read from freed memory.
    if (mCbScript && gTarvel.IsScriptLive(mCbScript, mCbSerial)) {
        savegame.WriteString("CB", mCbScript->mName);
        savegame.WriteString("CBLabel", mCbLabel);
        if (mCbSymbol)
            savegame.WriteString("CBSymbol", mCbSymbol->name);
    }
    savegame.WriteTimeMs("Time", mSegmentTime);
    savegame.WriteInt("Mode", mMode);
    savegame.WriteFloat("Distance", mStepDistance);
    savegame.WriteFloat("WpDistance", mSegmentDistance);
    char key[32];
    for (int32_t i = 0; i < mWaypoints.count; ++i) {
        const sWaypoint& w = mWaypoints.data[i];
        std::snprintf(key, sizeof key, "Wp%d", int(i));
        savegame.AddElement(key);
        savegame.WriteVec2("Pos", w.x, w.z);
        savegame.WriteVec2("S1", w.s1[0], w.s1[1]);
        savegame.WriteVec2("S2", w.s2[0], w.s2[1]);
        savegame.WriteInt("No", w.node);
        savegame.LeaveElement();
    }
}

void cTarvelPathfinder::Load(cTarvelSavegame& savegame)
{
    if (gTarvel.mScene) {
        const cTarvelString layer = savegame.ReadString("Walklayer", "");
        if (cTarvelWalkArea* area = gTarvel.mScene->FindWalkArea(layer.c_str()))
            SetWalkLayer(area);
    }
    mWaypoints.count = 0;
    const int32_t count = savegame.ReadInt("WaypointCount", 0);
    char key[32];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(key, sizeof key, "Wp%d", int(i));
        if (!savegame.EnterElement(key))
            break;   // no later one is there either: the count is not trusted
        sWaypoint w;
        savegame.ReadVec2("Pos", &w.x, &w.z);
        savegame.ReadVec2("S1", &w.s1[0], &w.s1[1]);
        savegame.ReadVec2("S2", &w.s2[0], &w.s2[1]);
        w.node = savegame.ReadInt("No", -1);
        if (w.node < 0 || w.node >= mNodeCount)
            w.node = -1;
        mWaypoints.Add(w);
        savegame.LeaveElement();
    }
    mDestRot = savegame.ReadFloat("DestRot", 0.0f);
    // Any live script may wait for the walk: the scene's, an actor's, a
    // cinematic's or the main one.
    mCbScript = nullptr;
    mCbSymbol = nullptr;
    const cTarvelString machine = savegame.ReadString("CB", "");
    if (machine.Length() > 0) {
        for (int32_t i = 0; i < gTarvel.mLiveScripts.count; ++i) {
            cTarvelScript* script = gTarvel.mLiveScripts.data[i];
            if (script && script->mName == machine) {
                mCbScript = script;
                mCbSerial = script->mSerial;
                break;
            }
        }
    }
    if (mCbScript) {
        mCbLabel = savegame.ReadString("CBLabel", "");
        const cTarvelString symbol = savegame.ReadString("CBSymbol", "");
        if (symbol.Length() > 0)
            mCbSymbol = mCbScript->FindGlobal(symbol.c_str());
    }
    mSegmentTime = savegame.ReadTimeMs("Time", gTarvel.mTimer.GetTimeMs());
    mMode = savegame.ReadInt("Mode", kIdle);
    if (mMode < kIdle || mMode > kRun)
        mMode = kIdle;
    mStepDistance = savegame.ReadFloat("Distance", 0.0f);
    mSegmentDistance = savegame.ReadFloat("WpDistance", 0.0f);
    for (int32_t i = 1; i < mWaypoints.count; ++i)
        FillChords(mWaypoints.data[i], mWaypoints.data[i - 1]);
}
