#include "engine/gameplay/region_set.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"

namespace {

constexpr uint32_t kRingPoints = 5;

// Even-odd crossing test on the integer points, crossings by truncating
// integer division.
bool RingContains(const sRegionRing& ring, int32_t x, int32_t y)
{
    bool inside = false;
    const uint32_t n = ring.pointCount;
    for (uint32_t i = 0, j = n - 1; i < n; j = i++) {
        const sRegionPoint& a = ring.points[i];
        const sRegionPoint& b = ring.points[j];
        if ((a.y > y) != (b.y > y)) {
            const int64_t crossing =
                int64_t(a.x) + (int64_t(b.x) - a.x) * (int64_t(y) - a.y) / (int64_t(b.y) - a.y);
            if (x < crossing)
                inside = !inside;
        }
    }
    return inside;
}

void SetRing(sRegionRing& ring, bool exclusion, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    ring.pointCount = kRingPoints;
    ring.exclusion = exclusion;
    const sRegionPoint points[kRingPoints] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    std::memcpy(ring.points, points, sizeof points);
}

} // namespace

cTarvelRegionSet::cTarvelRegionSet()
    : mRecordCount(0), mRecords(nullptr), mCentres(nullptr), mBlock(nullptr), mObject(nullptr), mEnabled(true),
      mNoVerbs(false), mDestination{}, mLookAt{}, mLookAtValid(false), mLeaveRoom(false)
{
}

cTarvelRegionSet::~cTarvelRegionSet()
{
    std::free(mBlock);
}

sRegionRecord* cTarvelRegionSet::AllocateRecord(uint32_t ringCount)
{
    const size_t size = sizeof(sRegionRecord) + ringCount * (sizeof(sRegionRing) + kRingPoints * sizeof(sRegionPoint));
    auto* block = static_cast<uint8_t*>(std::calloc(1, size));
    if (!block)
        gTarvel.FatalError(0, ".\\source\\class_regionset", 0, "cTarvelRegionSet::AllocateRecord",
                           "Memory allocation failed.", 0);
    auto* record = new (block) sRegionRecord{};
    auto* rings = reinterpret_cast<sRegionRing*>(block + sizeof(sRegionRecord));
    auto* points = reinterpret_cast<sRegionPoint*>(block + sizeof(sRegionRecord) + ringCount * sizeof(sRegionRing));
    for (uint32_t i = 0; i < ringCount; ++i) {
        new (&rings[i]) sRegionRing{};
        rings[i].points = points + i * kRingPoints;
    }
    record->ringCount = ringCount;
    record->rings = rings;
    std::free(mBlock);
    mBlock = block;
    mRecords = record;
    mRecordCount = 1;
    return record;
}

void cTarvelRegionSet::SetFrameRegion(int32_t margin, bool sceneArea)
{
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const int32_t right = graphics.mSceneRight;
    const int32_t top = sceneArea ? graphics.mSceneTop : 0;
    const int32_t pixels = sceneArea ? graphics.mScenePixelHeight : graphics.mHeight;
    const int32_t height = int32_t(double(pixels) / double(graphics.mScaleY));
    sRegionRecord* record = AllocateRecord(2);
    SetRing(record->rings[0], false, 0, top, right, top + height);
    SetRing(record->rings[1], true, margin, top + margin, right - margin, top + height - margin);
}

void cTarvelRegionSet::SetRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    sRegionRecord* record = AllocateRecord(1);
    SetRing(record->rings[0], false, left, top, right, bottom);
}

bool cTarvelRegionSet::HitTest(int32_t x, int32_t y, int stage) const
{
    uint32_t records = mRecordCount;
    const cTarvelView* view = nullptr;
    const bool engineWide = this == gTarvel.mGameplay.mRegionSet;
    if (engineWide) {
        records = records > 0 ? 1 : 0;
    } else {
        if (!mObject || !mEnabled || !gTarvel.mScene)
            return false;
        view = stage == 0 ? gTarvel.mScene->mView : gTarvel.mScene->mSecondView;
    }
    bool hit = false;
    for (uint32_t r = 0; r < records; ++r) {
        const sRegionRecord& record = mRecords[r];
        if (!engineWide && record.view != view)
            continue;
        for (uint32_t i = 0; i < record.ringCount; ++i) {
            const sRegionRing& ring = record.rings[i];
            if (ring.pointCount > 0 && RingContains(ring, x, y))
                hit = !ring.exclusion;
        }
    }
    return hit;
}

void cTarvelRegionSet::OnDoubleClick()
{
    cTarvelActor* player = gTarvel.mPlayer;
    if (!player || !player->mControl)
        return;
    cTarvelActorControl* control = player->mControl;
    cTarvelScript* script = gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
    if (mObject && (mLeaveRoom || mNoVerbs) && script && gTarvel.IsScriptLive(script) &&
        script->FindQualified(mObject, "DoDblClick")) {
        // The verb event this drops would have cleared the walk-for-verb bit
        // on arrival; nothing else would.
        if (control->mArrivalScript)
            gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
        control->SetArrivalEvent(nullptr, "", nullptr);
        script->CallEvent(mObject, "DoDblClick");
        return;
    }
    if (control->mWalking && control->GetWalkTarget() == mObject)
        control->SetRunning(true);
}

void cTarvelRegionSet::ExecuteVerb(cTarvelString event)
{
    cTarvelScript* script = gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
    auto callNow = [&] {
        if (script && gTarvel.IsScriptLive(script))
            script->CallEvent(mObject, event.c_str());
    };
    uint32_t& flags = gTarvel.mGameplay.mStateFlags;
    if (flags & cTarvelGameplay::kNoWalkToObjects) {
        callNow();
        return;
    }
    cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
    if (!control) {
        // Nobody to walk: the verb acts where the player is.
        callNow();
        return;
    }
    const float x = mDestination[0];
    const float z = mDestination[1];
    if (x == 0.0f && z == 0.0f) {
        if (control->mWalking)
            control->StopWalk();
        callNow();
        return;
    }
    const float y = control->GetFloorHeight(x, z, FLT_MIN);
    const float target[4] = {x, y, z, mDestination[2]};
    control->WalkTo(target, 0, 0);
    if (control->mWalking) {
        control->SetArrivalEvent(script, event, mObject);
        flags |= cTarvelGameplay::kWalkingToObject;
        return;
    }
    callNow();
}
