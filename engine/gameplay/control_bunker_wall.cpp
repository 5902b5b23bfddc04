#include "engine/gameplay/control_bunker_wall.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/node.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/control_binding.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/gameplay/screen_control_bunker_wall.h"
#include "engine/render/image.h"
#include "engine/render/shadow.h"
#include "engine/script/script_value.h"
#include "engine/world/actor.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/particle_dust.h"
#include "engine/world/particle_sparkle.h"

namespace {

constexpr int kMobileResourceType = 7;

const bool kRegistered = RegisterControlClass(cTarvelControlBunkerWall::kClassId, cTarvelControlBunkerWall::Load);

constexpr float kBrickMass = 30.0f;
constexpr float kImpactThreshold = 100.0f;
constexpr uint32_t kMatrixBytes = 64;
constexpr int32_t kColumns = 10;
constexpr float kStandingHeight = 58.0f;

float Finite(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

// The wall's meshes as bricks: one per node with a mesh, in node order, so
// the stored matrices keep their bricks whatever order the meshes are drawn
// in.
template <class Body>
void ForEachBrickMesh(const cTarvelMobile* wall, Body body)
{
    const Anim::Actor* actor = wall->mActor;
    const uint32_t count = actor ? actor->GetNumNodes() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Anim::Node* node = actor->GetNode(i);
        if (const Anim::Mesh* mesh = node ? node->GetMesh(0) : nullptr)
            body(int32_t(i), *node, *mesh);
    }
}

// The leading decimal number of a node name, as atoi reads it (0 when
// there is none), held within 32 bits.
int64_t LeadingNumber(const char* name)
{
    if (!name)
        return 0;
    const char* p = name;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min<int64_t>(value * 10 + (*p - '0'), int64_t(1) << 40);
    return negative ? -value : value;
}

}  // namespace

cTarvelControlBunkerWall::cTarvelControlBunkerWall(const cTarvelString& meshName, float x, float y, float z,
                                                   float floorLevel, const cTarvelString& cursorName,
                                                   const cTarvelString& lightName, const cTarvelString& soundName,
                                                   const cTarvelString& symbol)
    : cTarvelControl(kClassId), mSymbolName(symbol)
{
    const float position[3] = {x, y, z};
    Build(meshName, position, floorLevel, cursorName, lightName, soundName);
}

cTarvelControlBunkerWall::cTarvelControlBunkerWall(cTarvelSavegame& savegame) : cTarvelControl(kClassId)
{
    (void)kRegistered;
    float position[3] = {};
    savegame.ReadVec3("Position", position);
    const cTarvelString sound = savegame.ReadString("SFX", "");
    const cTarvelString light = savegame.ReadString("Light", "");
    const cTarvelString cursor = savegame.ReadString("Cursor", "");
    const float floorLevel = savegame.ReadFloat("FloorLevel", 0.0f);
    const cTarvelString mesh = savegame.ReadString("Mesh", "");
    Build(mesh, position, floorLevel, cursor, light, sound);
    mSymbolName = savegame.ReadString("Symbol", "");
    BindControlSymbol(this, mSymbolName, eScriptObjectType::CtrlBunkerWall);
}

cTarvelControl* cTarvelControlBunkerWall::Load(cTarvelSavegame& savegame)
{
    return new cTarvelControlBunkerWall(savegame);
}

void cTarvelControlBunkerWall::Build(const cTarvelString& meshName, const float position[3], float floorLevel,
                                     const cTarvelString& cursorName, const cTarvelString& lightName,
                                     const cTarvelString& soundName)
{
    mFinished = false;
    mShooting = false;
    // A damaged savegame must not put bodies at infinity.
    mFloorLevel = Finite(floorLevel);
    for (int axis = 0; axis < 3; ++axis)
        mPosition[axis] = Finite(position[axis]);
    mLightName = lightName;
    mSoundName = soundName;
    mCursorName = cursorName;
    mMeshName = meshName;
    if (cursorName.Length() > 0) {
        mCursor = new cTarvelImage(false);
        mCursor->ReadFile(cursorName);
    }

    // Without its mesh the wall has nothing to simulate. A savegame may name
    // one the archive lacks, whose open would end the game.
    if (meshName.Length() > 0 && gTarvel.mResources.Exists(meshName.c_str(), kMobileResourceType)) {
        mWall = new cTarvelMobile;
        mWall->Load(meshName);
        if (!mWall->mInstance) {
            delete mWall;
            mWall = nullptr;
        }
    }
    if (mWall) {
        Anim::ActorInstance* instance = mWall->mInstance;
        mNodeController =
            AnimCore::New<MobilePhysicsTMController>(Anim::MEMCATEGORY_WORLDSPACECONTROLLER, instance);
        if (mNodeController) {
            if (instance->AddWorldSpaceController(mNodeController))
                mNodeController->Activate(0.3f);
            else
                mNodeController = nullptr;
        }
        if (gTarvel.mShaders.LoadShader("mobile_extras", "bunkerwall", &mWallShader, false))
            mWall->mOverrideShader = &mWallShader;
        mWall->SetPosition(mPosition[0], mPosition[1], mPosition[2]);

        cTarvelActor* player = gTarvel.mPlayer;
        cTarvelLight* light = lightName.Length() > 0 ? gTarvel.mLights.GetLight(lightName.c_str()) : nullptr;
        if (light && player && player->mMobile)
            if (cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(light, player->mMobile))
                shadow->AddMobileCaster(mWall);
    }

    mMaterial = gTarvel.mPhysics.SetDefaultMaterial(1.0f, 0.9f, 0.1f, 1.0f);
    if (mWall)
        CreateBricks();
    RestoreWallState();

    gTarvel.mPhysics.SetMaterialCallbacks(mMaterial, mMaterial, true);
    // A wall that could not be made has nothing to shoot at.
    if (!mWall)
        return;
    mWall->Update(1.0f);
    mSparks = new cTarvelParticleSparkle;
    mSparks->Init(10, "particle_spark");
}

void cTarvelControlBunkerWall::CreateBricks()
{
    cTarvelPhysics& physics = gTarvel.mPhysics;
    Anim::Actor* actor = mWall->mActor;
    const Anim::Transform* rest = actor ? actor->GetTransformData().GetBindTransforms() : nullptr;
    const uint32_t nodeCount = actor ? actor->GetNumNodes() : 0;
    ForEachBrickMesh(mWall, [&](int32_t index, const Anim::Node&, const Anim::Mesh& mesh) {
        if (!rest)
            return;
        AnimCore::AABB box;
        mesh.CalcBounds(box, AnimCore::Matrix::Identity());
        if (!box.IsValid())
            return;
        const float size[3] = {box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z};
        const Anim::Transform& pose = rest[index];
        const float centre[3] = {pose.position.x + mPosition[0], pose.position.y + mPosition[1],
                                 pose.position.z + mPosition[2]};
        const AnimCore::Quaternion& q = pose.rotation;
        sPhysicsBody* body = nullptr;
        // A brick whose bottom lies below the floor stays where it is.
        if (mFloorLevel > centre[1] - size[1] / 2.0f) {
            body = physics.CreateStaticBox(size[0], size[1], size[2], centre[0], centre[1], centre[2], q.x, q.y, q.z,
                                           q.w, 0.0f, 0.0f, 0.0f, mMaterial, this, nullptr);
        } else {
            body = physics.CreateDynamicBox(size[0], size[1], size[2], centre[0], centre[1], centre[2], q.x, q.y,
                                            q.z, q.w, 0.0f, 0.0f, 0.0f, kBrickMass, mMaterial, this, nullptr);
            if (body && mNodeController)
                mNodeController->SetNodeBody(uint32_t(index), body);
        }
        if (body) {
            mBrickBodies.Add(body);
            mBrickNodes.Add(index);
        }
    });

    if (sPhysicsBody* ground = physics.CreateStaticBox(5000.0f, 1000.0f, 5000.0f, mPosition[0], mFloorLevel - 500.0f,
                                                      mPosition[2], 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f,
                                                      mMaterial, nullptr, nullptr))
        mFixedBodies.Add(ground);

    for (uint32_t i = 0; i < nodeCount; ++i) {
        Anim::Node* node = actor->GetNode(i);
        Anim::Mesh* collision = node ? node->GetCollisionMesh(0) : nullptr;
        if (!collision)
            continue;
        AnimCore::AABB box;
        collision->CalcBounds(box, AnimCore::Matrix::Identity());
        if (!box.IsValid())
            continue;
        const Anim::Transform& pose = rest[i];
        if (sPhysicsBody* body = physics.CreateStaticBox(
                box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z, pose.position.x + mPosition[0],
                pose.position.y + mPosition[1], pose.position.z + mPosition[2], 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                0.0f, mMaterial, nullptr, nullptr))
            mFixedBodies.Add(body);
    }
}

void cTarvelControlBunkerWall::RestoreWallState()
{
    const cTarvelScriptValue* data = cTarvelGameplay::FindValue(kDataName);
    if (!data || data->bytes.empty())
        return;
    // The count byte cannot hold a wall of more than 255 bricks: the whole
    // matrices the block holds say how many were stored.
    const size_t stored = (data->bytes.size() - 1) / kMatrixBytes;
    const size_t count = std::min(stored, size_t(mBrickBodies.Count()));
    for (size_t i = 0; i < count; ++i) {
        float values[16];
        std::memcpy(values, data->bytes.data() + 1 + i * kMatrixBytes, kMatrixBytes);
        bool finite = true;
        for (float value : values)
            finite = finite && std::isfinite(value);
        if (!finite)
            continue;
        D3DXMATRIX matrix;
        std::memcpy(&matrix.m[0][0], values, kMatrixBytes);
        gTarvel.mPhysics.SetBodyMatrix(mBrickBodies[int32_t(i)], matrix);
    }
}

void cTarvelControlBunkerWall::StoreWallState()
{
    // A wall that was never made must not wipe what a real one left.
    if (!mWall)
        return;
    const int32_t count = mBrickBodies.Count();
    std::vector<uint8_t> block(1 + size_t(count) * kMatrixBytes);
    block[0] = uint8_t(std::min(count, 255));
    for (int32_t i = 0; i < count; ++i) {
        D3DXMATRIX matrix;
        gTarvel.mPhysics.GetBodyMatrix(mBrickBodies[i], &matrix);
        std::memcpy(block.data() + 1 + size_t(i) * kMatrixBytes, &matrix.m[0][0], kMatrixBytes);
    }
    if (cTarvelScriptValue* value = cTarvelGameplay::FindValue(kDataName)) {
        value->kind = kScriptBytes;
        value->integer = int32_t(block.size());
        value->bytes = std::move(block);
        return;
    }
    cTarvelScriptValue value = cTarvelScriptValue::FromBytes(block.data(), uint32_t(block.size()));
    value.name = kDataName;
    cTarvelGameplay::AddValue(value);
}

cTarvelControlBunkerWall::~cTarvelControlBunkerWall()
{
    StoreWallState();
    gTarvel.mShaders.ClearBinding(&mWallShader);
    if (mWall) {
        mWall->mOverrideShader = nullptr;
        if (mNodeController)
            mWall->mInstance->RemoveWorldSpaceController(mNodeController, true);
    }
    delete mSparks;
    mDust.DeleteAll();
    for (sPhysicsBody* body : mBrickBodies)
        gTarvel.mPhysics.DestroyBody(body);
    for (sPhysicsBody* body : mFixedBodies)
        gTarvel.mPhysics.DestroyBody(body);
    delete mWall;
    delete mCursor;
}

void cTarvelControlBunkerWall::Execute(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    ClearScreenControls();
    gScreenControls.Add(new cTarvelScreenControlBunkerWall(mCursor, left, top, right, bottom, this));
    mShooting = true;
}

bool cTarvelControlBunkerWall::IsFinished()
{
    if (!mWall || !mWall->mActor)
        return false;
    int32_t standing[kColumns] = {};
    ForEachBrickMesh(mWall, [&](int32_t index, const Anim::Node& node, const Anim::Mesh&) {
        const int64_t column = LeadingNumber(node.GetName()) % 100 - 2;
        if (column < 0 || column >= kColumns)
            return;
        D3DXMATRIX world;
        mWall->GetNodeWorldMatrix(index, &world);
        if (world._42 - mWall->mPosition.y > kStandingHeight)
            ++standing[column];
    });
    int32_t run = 0;
    for (int32_t count : standing) {
        run = count < 2 ? run + 1 : 0;
        if (run >= 6)
            return true;
    }
    return false;
}

void cTarvelControlBunkerWall::Update()
{
    if (mShooting) {
        for (const sPhysicsContact& contact : gTarvel.mPhysics.mContacts) {
            const bool ours = (contact.bodyA && contact.bodyA->userA == this) ||
                              (contact.bodyB && contact.bodyB->userA == this);
            const float s = contact.maxNormalSpeed;
            if (!ours || !(s > kImpactThreshold))
                continue;
            auto* dust = new cTarvelParticleDust;
            dust->Init(int32_t(std::min(s / 10.0f, float(cTarvelParticle::kMaxParticles))), "particle_dust");
            // Of the emitter values 20, 30, -4 and 5 a dust system keeps the
            // last two, as its LifeTime and GlowOutTime: puffs that start
            // fading at once and linger a few seconds. It has no setting the
            // first two could go to, so they are left out.
            dust->mLifeTime = -4.0f;
            dust->mGlowOutTime = 5.0f;
            dust->Spawn(contact.position[0], contact.position[1], contact.position[2], 0.0f, 0.1f, 0.0f,
                        std::max(s / 100.0f, 3.0f), 2.0f, dust->mMaxCount);
            mDust.Add(dust);
            gTarvel.mSound.PlayEmittedSound(mSoundName.c_str(), contact.position, 200.0f, 10000.0f, s / 750.0f, 0,
                                            nullptr, 0);
        }
    }
    if (mWall)
        mWall->Update(gTarvel.mTimer.mFrameSeconds);
    if (mSparks)
        mSparks->Update();
    for (int32_t i = 0; i < mDust.Count();) {
        if (mDust[i]->Update() == 0) {
            delete mDust[i];
            mDust.RemoveAt(i);
            continue;
        }
        ++i;
    }
}

void cTarvelControlBunkerWall::CollectRenderItems(tArray<sRenderItem>& list, int stage)
{
    if (mWall)
        mWall->CollectRenderItems(list, 0);
    if (mSparks)
        mSparks->CollectRenderItems(list, stage);
    for (cTarvelParticle* dust : mDust)
        dust->CollectRenderItems(list, stage);
}

void cTarvelControlBunkerWall::Save(cTarvelSavegame& savegame)
{
    SaveClass(savegame);
    StoreWallState();
    savegame.WriteVec3("Position", mPosition);
    savegame.WriteFloat("FloorLevel", mFloorLevel);
    savegame.WriteString("Cursor", mCursorName);
    savegame.WriteString("Light", mLightName);
    savegame.WriteString("SFX", mSoundName);
    savegame.WriteString("Mesh", mMeshName);
    savegame.WriteString("Symbol", mSymbolName);
}
