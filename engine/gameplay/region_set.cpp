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
#include "engine/world/view.h"

namespace {

constexpr uint32_t kRectanglePoints = 5;

// Even-odd crossing test on the integer points, crossings by truncating
// integer division; 64-bit, so no product of screen coordinates overflows.
bool PolygonContains(const sRegionPolygon& polygon, int32_t x, int32_t y)
{
    bool inside = false;
    const uint32_t n = polygon.pointCount;
    for (uint32_t i = 0, j = n - 1; i < n; j = i++) {
        const sRegionPoint& a = polygon.points[i];
        const sRegionPoint& b = polygon.points[j];
        if ((a.y > y) != (b.y > y)) {
            const int64_t crossing =
                int64_t(a.x) + (int64_t(b.x) - a.x) * (int64_t(y) - a.y) / (int64_t(b.y) - a.y);
            if (x < crossing)
                inside = !inside;
        }
    }
    return inside;
}

void SetRectangle(sRegionPolygon& polygon, bool hole, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    polygon.pointCount = kRectanglePoints;
    polygon.hole = hole;
    const sRegionPoint points[kRectanglePoints] = {
        {left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    std::memcpy(polygon.points, points, sizeof points);
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
constexpr uint32_t kSecondarySize = 12;

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
    uint64_t polygons = 0, points = 0, secondaries = 0;
    for (uint32_t r = 0; r < regions; ++r) {
        const uint8_t* record = data + uint64_t(r) * kRecordSize;
        const uint32_t polygonCount = SceneU32(record + 68);
        const uint32_t secondaryCount = SceneU32(record + 76);
        const uint64_t table =
            sections.Take(polygonCount, kPolygonSize, "a hotspot's polygons run past its data block");
        for (uint32_t p = 0; p < polygonCount; ++p) {
            const uint32_t count = SceneU32(data + table + uint64_t(p) * kPolygonSize);
            sections.Take(count, kPointSize, "a hotspot's points run past its data block");
            points += count;
        }
        sections.Take(secondaryCount, kSecondarySize, "a hotspot's secondary entries run past its data block");
        polygons += polygonCount;
        secondaries += secondaryCount;
    }

    // Every count above is bounded by the block size, so the sums are too.
    const uint64_t bytes = uint64_t(regions) * (sizeof(sRegionRecord) + sizeof(sRegionPoint)) +
                           polygons * sizeof(sRegionPolygon) + points * sizeof(sRegionPoint) +
                           secondaries * kSecondarySize;
    auto* block = static_cast<uint8_t*>(std::calloc(1, size_t(bytes) + 1));
    if (!block)
        gTarvel.FatalError(0, ".\\source\\class_regionset", 0, "cTarvelRegionSet::Read", "Memory allocation failed.",
                           0);
    std::free(mBlock);
    mBlock = block;
    auto* records = reinterpret_cast<sRegionRecord*>(block);
    auto* centres = reinterpret_cast<sRegionPoint*>(block + regions * sizeof(sRegionRecord));
    auto* polygonStore = reinterpret_cast<sRegionPolygon*>(centres + regions);
    auto* pointStore = reinterpret_cast<sRegionPoint*>(polygonStore + polygons);
    uint8_t* secondaryStore = reinterpret_cast<uint8_t*>(pointStore + points);

    uint64_t in = uint64_t(regions) * kRecordSize;
    for (uint32_t r = 0; r < regions; ++r) {
        const uint8_t* raw = data + uint64_t(r) * kRecordSize;
        sRegionRecord& record = *new (&records[r]) sRegionRecord{};
        std::memcpy(record.name, raw, 64);
        record.name[63] = 0;
        record.view = scene ? scene->FindView(record.name) : nullptr;
        record.polygonCount = SceneU32(raw + 68);
        record.secondaryCount = SceneU32(raw + 76);
        record.polygons = polygonStore;
        const uint8_t* descriptors = data + in;
        in += uint64_t(record.polygonCount) * kPolygonSize;
        for (uint32_t p = 0; p < record.polygonCount; ++p) {
            sRegionPolygon& polygon = *new (&polygonStore[p]) sRegionPolygon{};
            polygon.pointCount = SceneU32(descriptors + uint64_t(p) * kPolygonSize);
            polygon.hole = descriptors[uint64_t(p) * kPolygonSize + 4] != 0;
            polygon.points = pointStore;
            for (uint32_t k = 0; k < polygon.pointCount; ++k) {
                pointStore[k].x = SceneI32(data + in);
                pointStore[k].y = SceneI32(data + in + 4);
                in += kPointSize;
            }
            pointStore += polygon.pointCount;
        }
        polygonStore += record.polygonCount;
        record.secondary = secondaryStore;
        if (record.secondaryCount > 0)
            std::memcpy(secondaryStore, data + in, size_t(record.secondaryCount) * kSecondarySize);
        in += uint64_t(record.secondaryCount) * kSecondarySize;
        secondaryStore += size_t(record.secondaryCount) * kSecondarySize;

        // Centre of the first polygon, summed signed in 64 bits: screen
        // points left of or above the origin are legal. No points keeps (0, 0).
        centres[r] = {0, 0};
        if (record.polygonCount > 0 && record.polygons[0].pointCount > 0) {
            const sRegionPolygon& first = record.polygons[0];
            int64_t sx = 0, sy = 0;
            for (uint32_t k = 0; k < first.pointCount; ++k) {
                sx += first.points[k].x;
                sy += first.points[k].y;
            }
            centres[r].x = int32_t(sx / int64_t(first.pointCount));
            centres[r].y = int32_t(sy / int64_t(first.pointCount));
        }
    }
    mRecords = regions > 0 ? records : nullptr;
    mRecordCount = regions;
    mCentres = regions > 0 ? centres : nullptr;
    return 0;
}

sRegionRecord* cTarvelRegionSet::AllocateRecord(uint32_t polygonCount)
{
    const size_t size =
        sizeof(sRegionRecord) + polygonCount * (sizeof(sRegionPolygon) + kRectanglePoints * sizeof(sRegionPoint));
    auto* block = static_cast<uint8_t*>(std::calloc(1, size));
    if (!block)
        gTarvel.FatalError(0, ".\\source\\class_regionset", 0, "cTarvelRegionSet::AllocateRecord",
                           "Memory allocation failed.", 0);
    auto* record = new (block) sRegionRecord{};
    auto* polygons = reinterpret_cast<sRegionPolygon*>(block + sizeof(sRegionRecord));
    auto* points =
        reinterpret_cast<sRegionPoint*>(block + sizeof(sRegionRecord) + polygonCount * sizeof(sRegionPolygon));
    for (uint32_t i = 0; i < polygonCount; ++i) {
        new (&polygons[i]) sRegionPolygon{};
        polygons[i].points = points + i * kRectanglePoints;
    }
    record->polygonCount = polygonCount;
    record->polygons = polygons;
    std::free(mBlock);
    mBlock = block;
    mRecords = record;
    mRecordCount = 1;
    mCentres = nullptr;
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
    SetRectangle(record->polygons[0], false, 0, top, right, top + height);
    SetRectangle(record->polygons[1], true, margin, top + margin, right - margin, top + height - margin);
}

void cTarvelRegionSet::SetRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    sRegionRecord* record = AllocateRecord(1);
    SetRectangle(record->polygons[0], false, left, top, right, bottom);
}

bool cTarvelRegionSet::ItemSelected()
{
    return gTarvel.mInventory.mSelected != nullptr;
}

bool cTarvelRegionSet::HitTest(int32_t x, int32_t y, int stage) const
{
    if ((mIsPath || mLeaveRoom) && ItemSelected())
        return false;
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
        if (!engineWide && (!view || record.view != view))
            continue;
        for (uint32_t i = 0; i < record.polygonCount; ++i) {
            const sRegionPolygon& polygon = record.polygons[i];
            if (polygon.pointCount > 0 && PolygonContains(polygon, x, y))
                hit = !polygon.hole;
        }
    }
    return hit;
}

uint32_t cTarvelRegionSet::GetCursorKind() const
{
    if (this == gTarvel.mGameplay.mRegionSet)
        return kCursorLeaveDetailView;
    if (mIsPath)
        return mPathFlag ? kCursorPathFlagged : kCursorPath;
    if (mLeaveRoom)
        return kCursorExit;
    return mNoVerbs ? kCursorNoVerbs : kCursorHotspot;
}

void cTarvelRegionSet::Raise(const char* event)
{
    cTarvelScript* script = gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
    if (script && gTarvel.IsScriptLive(script))
        script->CallEvent(mObject, event);
}

bool cTarvelRegionSet::HasWalkTarget() const
{
    return mDestination[0] != 0.0f || mDestination[1] != 0.0f || mDestination[2] != 0.0f;
}

void cTarvelRegionSet::WalkThenRaise(const char* event)
{
    cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
    if (!control) {
        // Nobody to walk: the event acts where the player is.
        Raise(event);
        return;
    }
    const float x = mDestination[0];
    const float z = mDestination[1];
    control->WalkTo(x, control->GetFloorHeight(x, z, cTarvelActorControl::kNoFallback), z, mDestination[2], nullptr,
                    nullptr);
    // A walk that does not start never arrives; the click still acts.
    if (!control->mWalking) {
        Raise(event);
        return;
    }
    control->SetCallback(gTarvel.mScene ? gTarvel.mScene->mScript : nullptr, event, mObject);
}

void cTarvelRegionSet::WalkInView()
{
    cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
    if (!control)
        return;
    const float x = mDestination[0];
    const float z = mDestination[1];
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelWalkArea* area = scene && scene->mView ? scene->mView->mCamLayer : nullptr;
    control->WalkTo(x, control->GetFloorHeight(x, z, cTarvelActorControl::kNoFallback), z, 0.0f, area,
                    mNoTeleport ? nullptr : &gTarvel.mCamera);
}

void cTarvelRegionSet::Click()
{
    cTarvelScene* scene = gTarvel.mScene;
    if (this == gTarvel.mGameplay.mRegionSet) {
        if (!scene)
            return;
        cTarvelView* view = scene->mView;
        cTarvelScript* script = scene->mScript;
        if (scene->mDetailViews.count > 0 && view && view->mHotspotSymbol && script && gTarvel.IsScriptLive(script) &&
            script->CallEvent(view->mHotspotSymbol, "DoLeaveDetailView") != -10)
            return;
        scene->LeaveDetailView();
        return;
    }
    if (!mObject)
        return;
    const bool item = ItemSelected();
    const bool exitOrPath = mLeaveRoom || mIsPath;
    if (exitOrPath && item)
        return;
    if (item && !exitOrPath) {
        // Use the item on the object, when the scene's script has a use for it.
        cTarvelScript* script = scene ? scene->mScript : nullptr;
        if (!script || !gTarvel.IsScriptLive(script) || !script->FindQualified(mObject, "DoInventory"))
            return;
        if (HasWalkTarget())
            WalkThenRaise("DoInventory");
        else
            Raise("DoInventory");
        return;
    }
    if (!exitOrPath && !mNoVerbs) {
        gTarvel.mVerbBar.Show(scene ? scene->mScript : nullptr, mObject);
        return;
    }
    if (mNoWalking) {
        Raise("Do");
    } else if (mNoVerbs || mPathFlag) {
        if (HasWalkTarget())
            WalkThenRaise("Do");
        else
            Raise("Do");
    } else {
        Raise("Do");
        if (mDestination[0] != 0.0f || mDestination[1] != 0.0f)
            WalkInView();
    }
}

void cTarvelRegionSet::FeedPathfinder()
{
    if (mDestination[0] == 0.0f && mDestination[1] == 0.0f)
        return;
    if (!mPathFlag) {
        WalkInView();
        return;
    }
    cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
    if (!control)
        return;
    const float x = mDestination[0];
    const float z = mDestination[1];
    control->WalkTo(x, control->GetFloorHeight(x, z, cTarvelActorControl::kNoFallback), z, mDestination[2], nullptr,
                    nullptr);
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
