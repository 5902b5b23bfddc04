#include "engine/gameplay/region_set.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
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
    gScriptHandles.Release(this);
    std::free(mBlock);
}

namespace {

constexpr uint32_t kRecordSize = 84;
constexpr uint32_t kPolygonSize = 12;
constexpr uint32_t kPointSize = 8;
constexpr uint32_t kExtraSize = 12;

} // namespace

int cTarvelRegionSet::Read(int slot, cTarvelScene* scene)
{
    cTarvelResource& archive = gTarvel.mResources;
    uint8_t header[12];
    archive.Read(slot, header, sizeof header);
    mNumber = SceneU32(header);
    const uint32_t regions = SceneU32(header + 4);
    const uint32_t size = SceneU32(header + 8);
    if (size > SceneBytesLeft(slot))
        SceneFileDamaged(scene, "a hotspot's data block runs past the end of the file");
    std::unique_ptr<uint8_t, decltype(&std::free)> file(archive.ReadBlock(slot, size), &std::free);
    const uint8_t* data = file.get();

    // First pass: every section checked against what is left of the block,
    // totals counted for the one allocation the set keeps.
    cSceneBlockSections sections(scene, size);
    sections.Take(regions, kRecordSize, "a hotspot's regions run past its data block");
    uint64_t rings = 0, points = 0, extras = 0;
    for (uint32_t r = 0; r < regions; ++r) {
        const uint8_t* record = data + uint64_t(r) * kRecordSize;
        const uint32_t polygonCount = SceneU32(record + 68);
        const uint32_t extraCount = SceneU32(record + 76);
        const uint64_t polygons = sections.Take(polygonCount, kPolygonSize, "a hotspot's polygons run past its data block");
        for (uint32_t p = 0; p < polygonCount; ++p) {
            const uint32_t count = SceneU32(data + polygons + uint64_t(p) * kPolygonSize);
            sections.Take(count, kPointSize, "a hotspot's points run past its data block");
            points += count;
        }
        sections.Take(extraCount, kExtraSize, "a hotspot's extra entries run past its data block");
        rings += polygonCount;
        extras += extraCount;
    }

    // Every count above is bounded by the block size, so the sums are too.
    const uint64_t bytes = uint64_t(regions) * (sizeof(sRegionRecord) + sizeof(sRegionPoint)) +
                           rings * sizeof(sRegionRing) + points * sizeof(sRegionPoint) + extras * kExtraSize;
    auto* block = static_cast<uint8_t*>(std::calloc(1, size_t(bytes) + 1));
    if (!block)
        gTarvel.FatalError(0, ".\\source\\class_regionset", 0, "cTarvelRegionSet::Read", "Memory allocation failed.",
                           0);
    std::free(mBlock);
    mBlock = block;
    auto* records = reinterpret_cast<sRegionRecord*>(block);
    auto* centres = reinterpret_cast<sRegionPoint*>(block + regions * sizeof(sRegionRecord));
    auto* ringStore = reinterpret_cast<sRegionRing*>(centres + regions);
    auto* pointStore = reinterpret_cast<sRegionPoint*>(ringStore + rings);
    uint8_t* extraStore = reinterpret_cast<uint8_t*>(pointStore + points);

    uint64_t in = uint64_t(regions) * kRecordSize;
    for (uint32_t r = 0; r < regions; ++r) {
        const uint8_t* raw = data + uint64_t(r) * kRecordSize;
        sRegionRecord& record = *new (&records[r]) sRegionRecord{};
        std::memcpy(record.name, raw, 64);
        record.name[63] = 0;
        record.view = scene ? scene->FindView(record.name) : nullptr;
        record.ringCount = SceneU32(raw + 68);
        record.extraCount = SceneU32(raw + 76);
        record.rings = ringStore;
        const uint8_t* polygonEntries = data + in;
        in += uint64_t(record.ringCount) * kPolygonSize;
        for (uint32_t p = 0; p < record.ringCount; ++p) {
            sRegionRing& ring = *new (&ringStore[p]) sRegionRing{};
            ring.pointCount = SceneU32(polygonEntries + uint64_t(p) * kPolygonSize);
            ring.exclusion = polygonEntries[uint64_t(p) * kPolygonSize + 4] != 0;
            ring.points = pointStore;
            for (uint32_t k = 0; k < ring.pointCount; ++k) {
                pointStore[k].x = SceneI32(data + in);
                pointStore[k].y = SceneI32(data + in + 4);
                in += kPointSize;
            }
            pointStore += ring.pointCount;
        }
        ringStore += record.ringCount;
        record.extra = extraStore;
        if (record.extraCount > 0)
            std::memcpy(extraStore, data + in, size_t(record.extraCount) * kExtraSize);
        in += uint64_t(record.extraCount) * kExtraSize;
        extraStore += size_t(record.extraCount) * kExtraSize;

        // Centre of the first polygon, summed signed: screen points left of
        // or above the origin are legal. No points keeps (0, 0).
        centres[r] = {0, 0};
        if (record.ringCount > 0 && record.rings[0].pointCount > 0) {
            int64_t sx = 0, sy = 0;
            for (uint32_t k = 0; k < record.rings[0].pointCount; ++k) {
                sx += record.rings[0].points[k].x;
                sy += record.rings[0].points[k].y;
            }
            centres[r].x = int32_t(sx / int64_t(record.rings[0].pointCount));
            centres[r].y = int32_t(sy / int64_t(record.rings[0].pointCount));
        }
    }
    mRecords = regions > 0 ? records : nullptr;
    mRecordCount = regions;
    mCentres = regions > 0 ? centres : nullptr;
    return 0;
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

bool cTarvelRegionSet::ItemSelected()
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.mItemInHand.Length() > 0 && (gameplay.mMode == 2 || gameplay.mMode == 3);
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
        if ((mIsPath || mLeaveRoom) && ItemSelected())
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
        if (control->GetCallbackSymbol())
            gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
        control->SetCallback(nullptr, "", nullptr);
        script->CallEvent(mObject, "DoDblClick");
        return;
    }
    if (control->mWalking && control->GetCallbackSymbol() == mObject)
        control->SetRun(true);
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
            control->ClearWalk();
        callNow();
        return;
    }
    const float y = control->GetFloorHeight(x, z, FLT_MIN);
    control->WalkTo(x, y, z, mDestination[2], nullptr, nullptr);
    if (control->mWalking) {
        control->SetCallback(script, event, mObject);
        flags |= cTarvelGameplay::kWalkingToObject;
        return;
    }
    callNow();
}
