#include "engine/world/scene.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/savegame.h"
#include "engine/gameplay/screen_control.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile.h"
#include "engine/world/particle.h"
#include "engine/world/particle_dust.h"
#include "engine/world/particle_sparkle.h"
#include "engine/world/particle_weather_rain.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"
#include "platform/fmod/fmod.h"

namespace {

constexpr uint32_t kHeaderSize = 84;
constexpr uint32_t kMeshRecordSize = 72;
constexpr uint32_t kVertexSize = 24;
constexpr uint32_t kViewRecordSize = 96;
constexpr uint32_t kWalkAreaRecordSize = 112;
constexpr uint32_t kHotspotHeaderSize = 12;
// The gap between the two stages of split screen, in pixels.
constexpr float kStageGap = 5.0f;

cTarvelGraphics& Graphics()
{
    return gTarvel.mGraphics;
}

// The picture band's rows in pixels.
int32_t BandTop()
{
    return int32_t(float(Graphics().mSceneTop) * Graphics().mScaleY);
}

int32_t BandHeight()
{
    return int32_t(Graphics().mScaleY * float(Graphics().mSceneBottom - Graphics().mSceneTop));
}

// Truncates towards zero, holding values an int cannot take (a savegame's
// or a script's speed and size are not trusted) and NaN at a bound.
float Truncate(float value)
{
    if (!(value > -1e9f))
        return value != value ? 0.0f : -1e9f;
    return value < 1e9f ? float(int32_t(value)) : 1e9f;
}

// The strip's width in pixels, clamped so that the main stage keeps a width
// of 0 or more.
float StripSize(const sSceneStage& stage)
{
    const float limit = float(Graphics().mWidth) - 5.0f;
    if (!(stage.size > 0.0f) || !(limit > 0.0f))
        return 0.0f;
    return stage.size < limit ? stage.size : limit;
}

// Runs body on every child element of that name, the cursor on it.
template <class Body>
void ForEachElement(cTarvelSavegame& savegame, const char* name, Body body)
{
    if (!savegame.EnterElement(name))
        return;
    do
        body();
    while (savegame.NextElement(name));
    savegame.LeaveElement();
}

} // namespace

void SceneFileDamaged(const cTarvelScene* scene, const char* what)
{
    cTarvelString message("Scene file ");
    message += scene ? scene->mHeader.name : "";
    message += " is damaged: ";
    message += what;
    message += ".";
    gTarvel.FatalError(0, TARVEL_SOURCE_SCENE, __LINE__, "cTarvelScene::ReadFile", message, 0);
}

uint32_t SceneU32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t cSceneBlockSections::Take(uint64_t count, uint32_t entrySize, const char* what)
{
    if (count > (mSize - mAt) / entrySize)
        SceneFileDamaged(mScene, what);
    const uint64_t start = mAt;
    mAt += count * entrySize;
    return start;
}

uint64_t SceneBytesLeft(int slot)
{
    cTarvelResource& archive = gTarvel.mResources;
    const int32_t position = archive.GetResourcePos(slot, false);
    const uint64_t size = archive.GetSize(slot);
    return position < 0 || uint64_t(position) > size ? 0 : size - uint64_t(position);
}

cTarvelScene::cTarvelScene() = default;

cTarvelScene::~cTarvelScene()
{
    Clear();
    gScriptHandles.Release(this);
}

void cTarvelScene::Damaged(const char* what) const
{
    SceneFileDamaged(this, what);
}

void cTarvelScene::ReadMeshes(int slot)
{
    cTarvelResource& archive = gTarvel.mResources;
    if (mHeader.meshCount > SceneBytesLeft(slot) / kMeshRecordSize)
        Damaged("more meshes than the file holds");
    mMeshes.reserve(mHeader.meshCount);
    for (uint32_t i = 0; i < mHeader.meshCount; ++i) {
        uint8_t raw[kMeshRecordSize];
        archive.Read(slot, raw, sizeof raw);
        sSceneMeshRecord& mesh = mMeshes.emplace_back();
        std::memcpy(mesh.name, raw, 64);
        mesh.name[63] = 0;
        mesh.vertexCount = SceneU32(raw + 64);
        mesh.indexCount = SceneU32(raw + 68);
        if (mesh.vertexCount == 0 || mesh.indexCount == 0)
            continue;
        const uint64_t vertexBytes = uint64_t(mesh.vertexCount) * kVertexSize;
        const uint64_t indexBytes = uint64_t(mesh.indexCount) * 2;
        if (vertexBytes + indexBytes > SceneBytesLeft(slot))
            Damaged("a mesh runs past the end of the file");
        mesh.vertices = reinterpret_cast<float*>(archive.ReadBlock(slot, uint32_t(vertexBytes)));
        mesh.indices = reinterpret_cast<uint16_t*>(archive.ReadBlock(slot, uint32_t(indexBytes)));
        for (uint32_t k = 0; k < mesh.indexCount; ++k)
            if (mesh.indices[k] >= mesh.vertexCount)
                Damaged("a mesh index names a vertex that does not exist");
        mesh.positions = new D3DXVECTOR3[mesh.vertexCount];
        for (uint32_t k = 0; k < mesh.vertexCount; ++k)
            mesh.positions[k] = D3DXVECTOR3(mesh.vertices + uint64_t(k) * 6);
    }
}

int cTarvelScene::ReadFile(int slot, int restoring)
{
    cTarvelResource& archive = gTarvel.mResources;
    uint8_t header[kHeaderSize];
    archive.Read(slot, header, sizeof header);
    std::memcpy(mHeader.name, header, 64);
    mHeader.name[63] = 0;
    mHeader.meshCount = SceneU32(header + 64);
    mHeader.viewCount = SceneU32(header + 68);
    mHeader.walkAreaCount = SceneU32(header + 72);
    mHeader.hotspotCount = SceneU32(header + 76);
    mHeader.occlusionSize = SceneU32(header + 80);

    ReadMeshes(slot);

    if (mHeader.viewCount > SceneBytesLeft(slot) / kViewRecordSize)
        Damaged("more views than the file holds");
    mViews.Reserve(int32_t(mHeader.viewCount));
    for (uint32_t i = 0; i < mHeader.viewCount; ++i) {
        auto view = std::make_unique<cTarvelView>();
        view->Read(slot, this);
        mViews.Add(view.release());
    }

    if (mHeader.walkAreaCount > SceneBytesLeft(slot) / kWalkAreaRecordSize)
        Damaged("more walk areas than the file holds");
    mWalkAreas.Reserve(int32_t(mHeader.walkAreaCount));
    for (uint32_t i = 0; i < mHeader.walkAreaCount; ++i) {
        auto area = std::make_unique<cTarvelWalkArea>();
        area->Read(slot, this);
        mWalkAreas.Add(area.release());
    }

    if (mHeader.occlusionSize > SceneBytesLeft(slot))
        Damaged("the occlusion geometry runs past the end of the file");
    {
        std::unique_ptr<uint8_t, decltype(&std::free)> block(archive.ReadBlock(slot, mHeader.occlusionSize),
                                                             &std::free);
        // The size is below the file size, itself far below 2 GiB.
        if (FMOD::System* system = gTarvel.mSound.mSystem) {
            const FMOD_RESULT result = system->loadGeometry(block.get(), int(mHeader.occlusionSize), &mGeometry);
            if (result != FMOD_OK) {
                cTarvelString message("Error initializing sound occlusion geometry (size: ");
                message += cTarvelString(int32_t(mHeader.occlusionSize));
                message += "): ";
                message += FMOD_ErrorString(result);
                gTarvel.FatalError(0, TARVEL_SOURCE_SCENE, __LINE__, "cTarvelScene::ReadFile", message, 0);
            }
            if (mGeometry)
                mGeometry->setActive(false);
        }
    }

    if (mHeader.hotspotCount > SceneBytesLeft(slot) / kHotspotHeaderSize)
        Damaged("more hotspots than the file holds");
    mHotspots.Reserve(int32_t(mHeader.hotspotCount));
    for (uint32_t i = 0; i < mHeader.hotspotCount; ++i) {
        auto hotspot = std::make_unique<cTarvelRegionSet>();
        hotspot->Read(slot, this);
        mHotspots.Add(hotspot.release());
    }

    mScript = new cTarvelScript();
    mScript->ReadSymbolTable(slot, cTarvelString(mHeader.name));
    mScriptObject = mScript->FindSymbol(mHeader.name, "cScene");
    if (mScriptObject)
        mScriptObject->object = gScriptHandles.Bind(this, eScriptObjectType::Scene);
    // Views and meshes reach the script the same way: through the globals
    // of their class named like them.
    for (int32_t i = 0; i < mViews.count; ++i)
        if (cTarvelScriptValue* symbol = mScript->FindSymbol(mViews.data[i]->Name(), "cView"))
            symbol->object = gScriptHandles.Bind(mViews.data[i], eScriptObjectType::View);
    for (sSceneMeshRecord& mesh : mMeshes)
        if (cTarvelScriptValue* symbol = mScript->FindSymbol(mesh.name, "cMesh"))
            symbol->object = gScriptHandles.Bind(&mesh, eScriptObjectType::Mesh);
    mScript->CallFunction("#0", nullptr);
    if (!restoring && mScript)
        mScript->CallEvent(mScriptObject, "OnLoad");
    return 0;
}

void cTarvelScene::InitObjects(int restoring)
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gameplay.mStateFlags = 5;
    // A click made while the scene loaded is not served in it.
    gameplay.mLeftLatch = 0;
    gameplay.mRightLatch = 0;
    if (!restoring && mScript) {
        // Events may end the scene's script; walk the globals by index.
        for (size_t i = 0; mScript && i < mScript->mGlobals.size(); ++i) {
            const cTarvelScriptValue& symbol = mScript->mGlobals[i];
            if (symbol.kind != kScriptObject && symbol.kind != kScriptResultObject)
                continue;
            if (symbol.className == "cHotspot" || symbol.className == "cPath" || symbol.className == "cNPC")
                mScript->CallEvent(&mScript->mGlobals[i], "OnInit");
        }
    }
    if (!restoring && mScript)
        mScript->CallEvent(mScriptObject, "OnEnter");
    if (!mView && mViews.count > 0 && !restoring)
        mViews.data[0]->Select(0);
    cTarvelActor* player = gTarvel.mPlayer;
    if (player && player->mMobile && player->mControl) {
        D3DXVECTOR3& position = player->mMobile->mPosition;
        position.y = player->mControl->GetFloorHeight(position.x, position.z, FLT_MIN);
    }
    if (!(gameplay.mStateFlags & 0x8))
        gTarvel.mInventory.Enable();
    if (mGeometry)
        mGeometry->setActive(true);
    gTarvel.mTimer.ResetFrameTime();
}

void cTarvelScene::Update()
{
    sSceneStage& second = mStages[1];
    if (mSecondView && second.moving) {
        second.size = Truncate(second.size + gTarvel.mTimer.mFrameSeconds * second.moveSpeed);
        const bool reached = second.moveSpeed > 0.0f ? second.size >= second.targetSize
                                                     : second.size <= second.targetSize;
        if (reached) {
            second.moving = 0;
            second.size = second.targetSize;
            if (second.targetSize == 0.0f)
                mSecondView = nullptr;
        }
    }
    if (mView)
        mView->Update();
    if (mSecondView)
        mSecondView->Update();
    UpdateViewports();
    if (gTarvel.mPlayer)
        gTarvel.mPlayer->Update();
    // By index, the count read each time: a motion's "scrscene" script may
    // add an actor, a free mobile or a particle effect, moving the arrays.
    // What joins is updated in this frame too.
    for (int32_t i = 0; i < mActors.count; ++i)
        mActors.data[i]->Update();
    for (int32_t i = 0; i < mMobiles.Count(); ++i)
        mMobiles[i]->Update(gTarvel.mTimer.mFrameSeconds);
    for (int32_t i = 0; i < mParticles.Count(); ++i)
        mParticles[i]->Update();
}

void cTarvelScene::UpdateViewports()
{
    cTarvelGraphics& graphics = Graphics();
    const int32_t width = graphics.mWidth;
    const uint32_t top = uint32_t(BandTop() > 0 ? BandTop() : 0);
    const uint32_t height = uint32_t(BandHeight() > 0 ? BandHeight() : 0);
    cTarvelCamera& main = gTarvel.mCamera;
    cTarvelCamera& other = gTarvel.mCamera2;
    if (!mSecondView) {
        main.SetViewport(0, top, uint32_t(width > 0 ? width : 0), height);
        main.UpdateMatrices();
        return;
    }
    const float sizeF = StripSize(mStages[1]);
    const uint32_t size = uint32_t(sizeF);
    const uint32_t rest = uint32_t(float(width) - sizeF - kStageGap);
    switch (mStages[1].position) {
    case 2:
        main.SetViewport(size + uint32_t(kStageGap), top, rest, height);
        other.SetViewport(0, top, size, height);
        break;
    case 3:
        main.SetViewport(0, top, rest, height);
        other.SetViewport(uint32_t(width) - size, top, size, height);
        break;
    default:
        main.SetViewport(main.mViewport.X, top, main.mViewport.Width, height);
        other.SetViewport(other.mViewport.X, top, other.mViewport.Width, height);
        break;
    }
    main.UpdateMatrices();
    other.UpdateMatrices();
}

void cTarvelScene::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (cTarvelView* view = StageView(stage))
        view->CollectRenderItems(list);
    if (gTarvel.mPlayer)
        gTarvel.mPlayer->CollectRenderItems(list, stage);
    for (cTarvelActor* actor : mActors)
        actor->CollectRenderItems(list, stage);
    for (cTarvelMobile* mobile : mMobiles)
        mobile->CollectRenderItems(list, stage);
    for (cTarvelParticle* particle : mParticles)
        particle->CollectRenderItems(list, stage);
}

bool cTarvelScene::UpdateMouseOver(int32_t x, int32_t y)
{
    bool hit = false;
    if (!mSecondView) {
        mHoverStage = 0;
        hit = FindObjectAt(x, y, 0);
        UpdateObjectUnderCursor();
        return hit;
    }
    // The point is in picture units, the strip in pixels: compare in pixels.
    const float px = float(x) * Graphics().mScaleX;
    const float width = float(Graphics().mWidth);
    const float size = StripSize(mStages[1]);
    // Offsets into the stage's own picture, in picture units.
    const int32_t half = int32_t(size / Graphics().mScaleX) / 2;
    const int32_t otherHalf = int32_t((width - size) / Graphics().mScaleX) / 2;
    switch (mStages[1].position) {
    case 2:
        if (px > size + kStageGap) {
            hit = FindObjectAt(x - half, y, 0);
            if (hit)
                mHoverStage = 0;
        } else if (px < size) {
            hit = FindObjectAt(x + otherHalf, y, 1);
            if (hit)
                mHoverStage = 1;
        } else {
            mHotspot = nullptr;
            mHoveredActor = nullptr;
        }
        break;
    case 3:
        if (px < width - size - kStageGap) {
            hit = FindObjectAt(x + half, y, 0);
            if (hit)
                mHoverStage = 0;
        } else if (px > width - size) {
            hit = FindObjectAt(x - otherHalf, y, 1);
            if (hit)
                mHoverStage = 1;
        } else {
            mHotspot = nullptr;
            mHoveredActor = nullptr;
        }
        break;
    default:
        return false;
    }
    UpdateObjectUnderCursor();
    return hit;
}

bool cTarvelScene::FindObjectAt(int32_t x, int32_t y, int stage)
{
    mHotspot = nullptr;
    mHoveredActor = nullptr;
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const bool restricted = cTarvelRegionSet::ItemSelected();
    for (cTarvelRegionSet* hotspot : mHotspots) {
        if (restricted && hotspot->mIsPath)
            continue;
        if (hotspot->HitTest(x, y, stage)) {
            mHotspot = hotspot;
            return true;
        }
    }
    if (restricted)
        return false;
    if (mDetailViews.count > 0 && gameplay.mRegionSet && gameplay.mRegionSet->HitTest(x, y, stage)) {
        mHotspot = gameplay.mRegionSet;
        return true;
    }
    for (cTarvelActor* actor : mActors) {
        if (actor && actor->mEnabled && actor->mVisible && actor->mMobile && actor->mMobile->HitTest(x, y, stage)) {
            mHoveredActor = actor;
            return true;
        }
    }
    return false;
}

void cTarvelScene::UpdateObjectUnderCursor()
{
    mObjectUnderCursor = false;
    if (mHotspot) {
        mObjectUnderCursor = true;
        mObjectName = mHotspot->mCaption;
        mObjectPosition = D3DXVECTOR3(mHotspot->mDestination[0], 0.0f, mHotspot->mDestination[1]);
    } else if (mHoveredActor) {
        mObjectUnderCursor = true;
        mObjectName = mHoveredActor->mName;
        if (mHoveredActor->mMobile)
            mObjectPosition = mHoveredActor->mMobile->mPosition;
    }
}

int cTarvelScene::Pick(D3DXVECTOR3* out, int32_t x, int32_t y)
{
    if (!mSecondView)
        return mView ? mView->Pick(out, x, y) : 0;
    const float px = float(x) * Graphics().mScaleX;
    const float width = float(Graphics().mWidth);
    const float size = StripSize(mStages[1]);
    switch (mStages[1].position) {
    case 2:
        if (px > size + kStageGap) {
            if (mView && mView->Pick(out, x, y))
                return 1;
        } else if (px < size) {
            return mSecondView->Pick(out, x, y);
        }
        return 0;
    case 3:
        if (px < width - size - kStageGap) {
            if (mView && mView->Pick(out, x, y))
                return 1;
        } else if (px > width - size) {
            return mSecondView->Pick(out, x, y);
        }
        return 0;
    default:
        return 0;
    }
}

cTarvelView* cTarvelScene::FindView(const char* name) const
{
    for (cTarvelView* view : mViews)
        if (std::strcmp(view->Name(), name) == 0)
            return view;
    return nullptr;
}

cTarvelWalkArea* cTarvelScene::FindWalkArea(const char* name) const
{
    for (cTarvelWalkArea* area : mWalkAreas)
        if (std::strcmp(area->Name(), name) == 0)
            return area;
    return nullptr;
}

sSceneMeshRecord* cTarvelScene::FindMesh(const char* name) const
{
    for (const sSceneMeshRecord& mesh : mMeshes)
        if (std::strcmp(mesh.name, name) == 0)
            return const_cast<sSceneMeshRecord*>(&mesh);
    return nullptr;
}

void cTarvelScene::LeaveDetailView()
{
    if (mDetailViews.count == 0)
        return;
    cTarvelView* view = mDetailViews.data[mDetailViews.count - 1];
    view->Select(0);
    mDetailViews.RemoveAt(mDetailViews.count - 1);
}

namespace {

// A cinematic resuming its script and not being skipped moves the strip.
bool InCinematicStep()
{
    if (gCinematics.count == 0)
        return false;
    const cTarvelCinematic* top = gCinematics.data[gCinematics.count - 1];
    return top && top->mInCall && !top->mSkipping;
}

} // namespace

void cTarvelScene::Open(cTarvelView* view, int8_t position, float size, float speed)
{
    if (!view)
        return;
    view->Select(1);
    sSceneStage& second = mStages[1];
    const float width = float(Graphics().mWidth);
    second.position = position;
    second.moving = speed > 0.0f ? 1 : 0;
    second.moveSpeed = speed * width;
    second.size = second.targetSize = Truncate(size * width);
    if (InCinematicStep() && second.moving)
        second.size = 0.0f;
    UpdateViewports();
}

void cTarvelScene::Close(float speed)
{
    sSceneStage& second = mStages[1];
    second.moving = speed > 0.0f ? 1 : 0;
    second.moveSpeed = -speed * float(Graphics().mWidth);
    if (InCinematicStep() && second.moving) {
        second.targetSize = 0.0f;
        return;
    }
    second.moving = 0;
    mSecondView = nullptr;
    UpdateViewports();
}

void cTarvelScene::Leave(int restoring)
{
    gTarvel.mPDA.Close();
    DeleteParticles();
    if (mScript && !restoring)
        mScript->CallFunction("on_leave", nullptr);
    // The tooltip names an object of this scene, and its text object goes
    // with the texts below.
    gTarvel.mGraphics.ClearText();
    gTarvel.mSceneName = mHeader.name;
    gTarvel.mHints.FadeOut();
    for (int32_t i = gCinematics.count - 1; i >= 0; --i) {
        if (i >= gCinematics.count)
            continue;
        cTarvelCinematic* cinematic = gCinematics.data[i];
        if (!cinematic)
            continue;
        cinematic->Finish();
        delete cinematic;
    }
    gCinematics.Clear();
    gActiveControls.DeleteAll();
    ClearScreenControls();
    if (cTarvelActor* player = gTarvel.mPlayer) {
        if (player->mAnimation) {
            player->mAnimation->Stop(0.0f);
            delete player->mAnimation;
            player->mAnimation = nullptr;
        }
        player->mTrigAnim = false;
        player->UnlinkObject();
        player->RemoveLookAt(player->mLookAtID, 0.0f);
        // The walk area belongs to this scene, and so do the stair layers:
        // the next scene must not test freed areas.
        player->SetWalkLayer(nullptr);
        if (auto* control = dynamic_cast<cTarvelActorControlDefault*>(player->mControl)) {
            if (control->mStairAnim)
                control->mStairAnim->Stop(0.0f);
            control->mStairAnim = nullptr;
            control->mStairing = false;
            control->mStairLayers.Clear();
        }
    }
    gTarvel.mSound.StopSceneSounds();
    gTarvel.mLights.SetLights();
    gTarvel.mFonts.ClearTexts();
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    graphics.mCursorKind = 0;
    if (graphics.mPostEffect.technique) {
        graphics.mTimedPostEffect = false;
        gTarvel.mShaders.ClearBinding(&graphics.mPostEffect);
    }
    if (mGeometry)
        mGeometry->setActive(false);
}

void cTarvelScene::DeleteParticles()
{
    mParticles.DeleteAll();
}

void cTarvelScene::DeleteActors()
{
    mHoveredActor = nullptr;
    mActors.DeleteAll();
}

void cTarvelScene::DeleteMobiles()
{
    mMobiles.DeleteAll();
}

void cTarvelScene::Clear()
{
    if (mGeometry) {
        mGeometry->release();
        mGeometry = nullptr;
    }
    mView = mSecondView = mLastView = nullptr;
    mHotspot = nullptr;
    mHoveredActor = nullptr;
    mObjectUnderCursor = false;
    mDetailViews.Clear();
    mViews.DeleteAll();
    mHotspots.DeleteAll();
    mWalkAreas.DeleteAll();
    for (sSceneMeshRecord& mesh : mMeshes) {
        gScriptHandles.Release(&mesh);
        std::free(mesh.vertices);
        std::free(mesh.indices);
        delete[] mesh.positions;
    }
    mMeshes.clear();
    for (sSceneStage& stage : mStages) {
        delete[] stage.scratch;
        stage.scratch = nullptr;
        stage.scratchCapacity = 0;
        if (stage.vertexBuffer)
            stage.vertexBuffer->Release();
        if (stage.indexBuffer)
            stage.indexBuffer->Release();
        stage.vertexBuffer = nullptr;
        stage.indexBuffer = nullptr;
        stage.vertexCount = stage.indexCount = 0;
    }
    DeleteActors();
    DeleteMobiles();
    DeleteParticles();
    delete mScript;
    mScript = nullptr;
    mScriptObject = nullptr;
    mCaption = "";
}

void cTarvelScene::AllocateVertexBuffers(uint32_t vertices, uint32_t indices, int stage)
{
    sSceneStage& s = mStages[stage == 1 ? 1 : 0];
    IDirect3DDevice9* device = Graphics().mDevice;
    if (s.scratchCapacity < vertices) {
        delete[] s.scratch;
        s.scratch = new D3DXVECTOR2[vertices];
        s.scratchCapacity = vertices;
    }
    if (vertices != s.vertexCount) {
        if (s.vertexBuffer)
            s.vertexBuffer->Release();
        s.vertexBuffer = nullptr;
        s.vertexCount = 0;
        if (vertices != 0 && device) {
            const HRESULT result =
                device->CreateVertexBuffer(vertices * 32, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
                                           D3DPOOL_MANAGED, &s.vertexBuffer, nullptr);
            if (FAILED(result)) {
                cTarvelString message("CreateVertexBuffer failed (size: ");
                message += cTarvelString(int32_t(vertices));
                message += ", stage: ";
                message += cTarvelString(int32_t(stage));
                message += ").";
                gTarvel.FatalError(1, TARVEL_SOURCE_SCENE, __LINE__, "cTarvelScene::AllocateVertexBuffers", message,
                                   uint32_t(result));
            }
            s.vertexCount = vertices;
        }
    }
    // Past 65,536 vertices a 16-bit index would wrap.
    const uint8_t wide = vertices > 65536 ? 1 : 0;
    if (indices != s.indexCount || wide != s.index32) {
        s.index32 = wide;
        if (s.indexBuffer)
            s.indexBuffer->Release();
        s.indexBuffer = nullptr;
        s.indexCount = 0;
        if (indices != 0 && device) {
            const HRESULT result =
                device->CreateIndexBuffer(indices * (wide ? 4 : 2), D3DUSAGE_WRITEONLY,
                                          wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED, &s.indexBuffer,
                                          nullptr);
            if (FAILED(result)) {
                cTarvelString message("CreateIndexBuffer failed (size: ");
                message += cTarvelString(int32_t(indices));
                message += ", stage: ";
                message += cTarvelString(int32_t(stage));
                message += ").";
                gTarvel.FatalError(1, TARVEL_SOURCE_SCENE, __LINE__, "cTarvelScene::AllocateVertexBuffers", message,
                                   uint32_t(result));
            }
            s.indexCount = indices;
        }
    }
}

void cTarvelScene::SaveState(cTarvelSavegame& savegame)
{
    savegame.SetAttributeString("name", mHeader.name);
    savegame.WriteString("Caption", mCaption);
    if (mView)
        savegame.WriteString("ActiveView", mView->Name());
    if (mSecondView) {
        const sSceneStage& second = mStages[1];
        savegame.AddElement("Stage1");
        savegame.WriteString("ActiveView", mSecondView->Name());
        savegame.WriteFloat("Size", second.size);
        savegame.WriteInt("Position", second.position);
        savegame.WriteInt("Moving", second.moving ? 1 : 0);
        savegame.WriteFloat("MoveSpeed", second.moveSpeed);
        savegame.WriteFloat("DestSize", second.targetSize);
        savegame.LeaveElement();
    }
    savegame.WriteString("LastView", mLastView ? mLastView->Name() : "");
    if (mDetailViews.count > 0) {
        savegame.AddElement("DetailViewStack");
        savegame.SetAttributeInt("count", mDetailViews.count);
        for (int32_t i = 0; i < mDetailViews.count; ++i) {
            cTarvelString key("Item");
            key += cTarvelString(i);
            savegame.WriteString(key.c_str(), mDetailViews.data[i]->Name());
        }
        savegame.LeaveElement();
        savegame.WriteString("HSSym", mView && mView->mHotspotSymbol ? mView->mHotspotSymbol->name : cTarvelString(""));
    }
    for (cTarvelView* view : mViews) {
        savegame.AddElement("View");
        view->SaveState(savegame);
        savegame.LeaveElement();
    }
    for (const sSceneMeshRecord& mesh : mMeshes) {
        savegame.AddElement("Mesh");
        savegame.SetAttributeString("name", mesh.name);
        savegame.WriteInt("DisablePick", mesh.pickDisabled);
        savegame.LeaveElement();
    }
    for (const cTarvelWalkArea* area : mWalkAreas) {
        savegame.AddElement("EnvLayer");
        savegame.SetAttributeString("name", area->Name());
        savegame.WriteString("AttachedView", area->mAttachedView ? area->mAttachedView->Name() : "");
        savegame.WriteInt("Enabled", area->mEnabled);
        savegame.WriteInt("EnterLeave", area->mEnterLeave);
        savegame.WriteString("OnEnter", area->mOnEnter);
        savegame.WriteString("OnLeave", area->mOnLeave);
        savegame.WriteInt("Entered", area->mEntered);
        savegame.WriteInt("Stair", area->mStair);
        savegame.WriteFloat("StairHeight", area->mStairHeight);
        savegame.WriteFloat("StairWidth", area->mStairWidth);
        savegame.WriteFloat("StairLowerLevel", area->mStairLowerLevel);
        savegame.WriteFloat("StairUpperLevel", area->mStairUpperLevel);
        savegame.WriteInt("StairStepCount", area->mStairStepCount);
        savegame.LeaveElement();
    }
    for (const cTarvelRegionSet* hotspot : mHotspots) {
        savegame.AddElement("Hotspot");
        savegame.SetAttributeInt("no", int32_t(hotspot->mNumber));
        savegame.WriteString("Caption", hotspot->mCaption);
        savegame.WriteInt("Enabled", hotspot->mEnabled);
        savegame.WriteInt("NoVerbs", hotspot->mNoVerbs);
        savegame.WriteInt("LeaveRoom", hotspot->mLeaveRoom);
        savegame.WriteInt("DetailView", hotspot->mDetailView);
        savegame.WriteInt("IsPath", hotspot->mIsPath);
        savegame.WriteInt("NoTeleport", hotspot->mNoTeleport);
        savegame.WriteInt("NoWalking", hotspot->mNoWalking);
        savegame.WriteVec3("PathfinderDest", hotspot->mDestination);
        savegame.WriteInt("LookatValid", hotspot->mLookAtValid);
        savegame.WriteVec3("Lookat", hotspot->mLookAt);
        savegame.WriteString("Symbol", hotspot->mObject ? hotspot->mObject->name : cTarvelString(""));
        savegame.LeaveElement();
    }
    for (cTarvelMobile* mobile : mMobiles) {
        savegame.AddElement("FreeMobile");
        mobile->Save(savegame);
        savegame.LeaveElement();
    }
    for (cTarvelActor* actor : mActors) {
        savegame.AddElement("NPC");
        actor->Save(savegame);
        savegame.LeaveElement();
    }
    for (cTarvelParticle* particle : mParticles) {
        savegame.AddElement("Particle");
        particle->Save(savegame);
        savegame.LeaveElement();
    }
    savegame.AddElement("Script");
    if (mScript)
        mScript->SaveState(savegame);
    savegame.LeaveElement();
}

void cTarvelScene::LoadState(cTarvelSavegame& savegame)
{
    mCaption = savegame.ReadString("Caption", mCaption);
    // A view the savegame names but this scene lacks leaves the stage empty
    // until the final select.
    cTarvelView* active = FindView(savegame.ReadString("ActiveView", "").c_str());
    mView = active;
    cTarvelView* second = nullptr;
    if (savegame.EnterElement("Stage1")) {
        sSceneStage& stage = mStages[1];
        second = FindView(savegame.ReadString("ActiveView", "").c_str());
        const float width = float(Graphics().mWidth);
        const float limit = width - kStageGap > 0.0f ? width - kStageGap : 0.0f;
        auto clampSize = [&](float v) { return v != v ? 0.0f : (v < 0.0f ? 0.0f : (v > limit ? limit : v)); };
        stage.size = clampSize(Truncate(savegame.ReadFloat("Size", 0.0f)));
        stage.position = int8_t(savegame.ReadInt("Position", 0));
        stage.moving = savegame.ReadInt("Moving", 0) != 0 ? 1 : 0;
        const float speed = savegame.ReadFloat("MoveSpeed", 0.0f);
        stage.moveSpeed = speed != speed ? 0.0f : speed;
        stage.targetSize = clampSize(float(savegame.ReadInt("DestSize", 0)));
        savegame.LeaveElement();
    }
    mSecondView = second;
    mLastView = FindView(savegame.ReadString("LastView", "").c_str());
    if (savegame.EnterElement("DetailViewStack")) {
        mDetailViews.Clear();
        const int32_t count = savegame.GetAttributeInt("count", 0);
        // Only the items present count, whatever "count" says.
        for (int32_t i = 0; i < count; ++i) {
            cTarvelString key("Item");
            key += cTarvelString(i);
            const cTarvelString name = savegame.ReadString(key.c_str(), "");
            if (name.Length() == 0)
                break;
            if (cTarvelView* view = FindView(name.c_str()))
                mDetailViews.Add(view);
        }
        savegame.LeaveElement();
        const cTarvelString symbol = savegame.ReadString("HSSym", "");
        if (symbol.Length() > 0 && mView && mScript)
            mView->mHotspotSymbol = mScript->FindGlobal(symbol.c_str());
    }
    ForEachElement(savegame, "View", [&] {
        if (cTarvelView* view = FindView(savegame.GetAttributeString("name", "").c_str()))
            view->LoadState(savegame);
    });
    ForEachElement(savegame, "Mesh", [&] {
        if (sSceneMeshRecord* mesh = FindMesh(savegame.GetAttributeString("name", "").c_str()))
            mesh->pickDisabled = savegame.ReadInt("DisablePick", mesh->pickDisabled) != 0 ? 1 : 0;
    });
    ForEachElement(savegame, "EnvLayer", [&] {
        cTarvelWalkArea* area = FindWalkArea(savegame.GetAttributeString("name", "").c_str());
        if (!area)
            return;
        area->mAttachedView = FindView(savegame.ReadString("AttachedView", "").c_str());
        area->mEnabled = savegame.ReadInt("Enabled", area->mEnabled) != 0 ? 1 : 0;
        area->mEnterLeave = savegame.ReadInt("EnterLeave", area->mEnterLeave) != 0 ? 1 : 0;
        area->mOnEnter = savegame.ReadString("OnEnter", area->mOnEnter);
        area->mOnLeave = savegame.ReadString("OnLeave", area->mOnLeave);
        area->mEntered = savegame.ReadInt("Entered", area->mEntered) != 0 ? 1 : 0;
        area->mStair = savegame.ReadInt("Stair", area->mStair) != 0 ? 1 : 0;
        area->mStairHeight = savegame.ReadFloat("StairHeight", area->mStairHeight);
        area->mStairWidth = savegame.ReadFloat("StairWidth", area->mStairWidth);
        area->mStairLowerLevel = savegame.ReadFloat("StairLowerLevel", area->mStairLowerLevel);
        area->mStairUpperLevel = savegame.ReadFloat("StairUpperLevel", area->mStairUpperLevel);
        area->mStairStepCount = savegame.ReadInt("StairStepCount", area->mStairStepCount);
    });
    ForEachElement(savegame, "Hotspot", [&] {
        const uint32_t number = uint32_t(savegame.GetAttributeInt("no", -1));
        cTarvelRegionSet* hotspot = nullptr;
        for (cTarvelRegionSet* candidate : mHotspots)
            if (candidate->mNumber == number) {
                hotspot = candidate;
                break;
            }
        if (!hotspot)
            return;
        auto flag = [&](const char* key, bool& value) { value = savegame.ReadInt(key, value) != 0; };
        hotspot->mCaption = savegame.ReadString("Caption", hotspot->mCaption);
        flag("Enabled", hotspot->mEnabled);
        flag("NoVerbs", hotspot->mNoVerbs);
        flag("LeaveRoom", hotspot->mLeaveRoom);
        flag("DetailView", hotspot->mDetailView);
        flag("IsPath", hotspot->mIsPath);
        flag("NoTeleport", hotspot->mNoTeleport);
        flag("NoWalking", hotspot->mNoWalking);
        flag("LookatValid", hotspot->mLookAtValid);
        savegame.ReadVec3("PathfinderDest", hotspot->mDestination);
        savegame.ReadVec3("Lookat", hotspot->mLookAt);
        const cTarvelString symbol = savegame.ReadString("Symbol", "");
        if (symbol.Length() > 0 && mScript) {
            if (cTarvelScriptValue* value = mScript->FindGlobal(symbol.c_str())) {
                hotspot->mObject = value;
                value->object = gScriptHandles.Bind(hotspot, eScriptObjectType::SceneObject);
            }
        }
    });
    ForEachElement(savegame, "FreeMobile", [&] {
        auto* mobile = new cTarvelMobile;
        mMobiles.Add(mobile);
        mobile->LoadState(savegame);
        if (mobile->mSymbol.Length() > 0 && mScript) {
            if (cTarvelScriptValue* value = mScript->FindSymbol(mobile->mSymbol.c_str(), "cMobile"))
                value->object = gScriptHandles.Bind(mobile, eScriptObjectType::Mobile);
        }
    });
    ForEachElement(savegame, "NPC", [&] {
        const cTarvelString name = savegame.GetAttributeString("name", "");
        // An actor whose script this game lacks is skipped, not fatal.
        const cTarvelString resource = name + "." + gTarvel.mGameState;
        if (name.Length() == 0 || (name != "OFF" && !gTarvel.mResources.Exists(resource.c_str(), 2)))
            return;
        auto* actor = new cTarvelActor(name, "", true);
        mActors.Add(actor);
        actor->Load(savegame);
    });
    if (savegame.EnterElement("Script")) {
        if (mScript)
            mScript->LoadState(savegame);
        savegame.LeaveElement();
    }
    // Particle systems by class; other classes are skipped.
    ForEachElement(savegame, "Particle", [&] {
        cTarvelParticle* particle = nullptr;
        switch (savegame.GetAttributeInt("class", 0)) {
        case 1:
            particle = new cTarvelParticleWeatherRain(savegame, this);
            break;
        case 2:
            particle = new cTarvelParticleSparkle(savegame);
            break;
        case 3:
            particle = new cTarvelParticleDust(savegame);
            break;
        default:
            return;
        }
        mParticles.Add(particle);
    });
    // An active view this scene lacks falls back on the first view.
    if (!mView && mViews.count > 0)
        mView = mViews.data[0];
    if (mView)
        mView->Select(0);
    if (mSecondView)
        mSecondView->Select(1);
}
