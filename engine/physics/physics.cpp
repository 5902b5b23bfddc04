#include "engine/physics/physics.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/core/tarvel.h"
#include "physics/api.h"

namespace {

// One physics unit is 100 engine units.
constexpr float kUnits = 100.0f;
constexpr float kGravity = 9.8f;
// Frames longer than this run as one short step: a stall is not replayed.
constexpr float kStallTime = 0.5f;
constexpr float kStallStep = 0.04f;
constexpr float kMaxStep = 0.04f;
// Pairs touching slower than this (engine units per second) are not listed.
constexpr float kMinContactSpeed = 0.2f;

sPhysicsBody* RecordOf(const phRigidBody* body)
{
    return static_cast<sPhysicsBody*>(physBodyGetUserData(body));
}

} // namespace

cTarvelPhysics::cTarvelPhysics() : mWorld(nullptr), mAllocHook(nullptr), mReleaseHook(nullptr)
{
    // The library returns its memory at exit; registered while the engine
    // object is being built, that runs after the object's destructor has
    // freed the world.
    phEnsureTeardown();
}

cTarvelPhysics::~cTarvelPhysics()
{
    for (sPhysicsBody* record : mBodies)
        delete record;
    mBodies.FreeData();
    mContacts.FreeData();
    // The world frees its bodies with it.
    physWorldDestroy(mWorld);
    mWorld = nullptr;
}

void cTarvelPhysics::OutOfMemory(const char* function)
{
    gTarvel.FatalError(0, TARVEL_SOURCE_PHYSICS, __LINE__, function, "Out of memory.", 0);
}

int cTarvelPhysics::Initialize()
{
    std::printf("Initializing physics...\n");
    if (mWorld == nullptr)
        mWorld = physWorldCreate(mAllocHook, mReleaseHook);
    if (mWorld == nullptr)
        gTarvel.FatalError(0, TARVEL_SOURCE_PHYSICS, 52, "cTarvelPhysics::Initialize",
                           "Failed to initialize physics system.", 0);
    physSetSolverModel(mWorld, 10);
    physSetFrictionModel(mWorld, 1);
    return 0;
}

int cTarvelPhysics::SetDefaultMaterial(float staticFriction, float kineticFriction, float elasticity, float softness)
{
    if (mWorld == nullptr)
        return 0;
    const uint32_t id = physMaterialCreateGroupID(mWorld);
    physMaterialSetDefaultFriction(mWorld, id, id, staticFriction, kineticFriction);
    physMaterialSetDefaultElasticity(mWorld, id, id, elasticity);
    physMaterialSetDefaultSoftness(mWorld, id, id, softness);
    return static_cast<int>(id);
}

void cTarvelPhysics::SetMaterialCallbacks(int groupA, int groupB, bool enable)
{
    if (mWorld == nullptr || groupA < 0 || groupB < 0)
        return;
    const uint32_t a = static_cast<uint32_t>(groupA);
    const uint32_t b = static_cast<uint32_t>(groupB);
    if (enable)
        physMaterialSetCollisionCallbacks(mWorld, a, b, this, ContactBegin, ContactProcess, ContactEnd);
    else
        physMaterialSetCollisionCallbacks(mWorld, a, b, nullptr, nullptr, nullptr, nullptr);
}

sPhysicsBody* cTarvelPhysics::CreateBox(float sx, float sy, float sz, float px, float py, float pz, float qx,
                                        float qy, float qz, float qw, float ox, float oy, float oz, int material,
                                        void* userA, void* userB, bool dynamic, float mass)
{
    if (mWorld == nullptr)
        return nullptr;
    const char* function = dynamic ? "cTarvelPhysics::CreateDynamicBox" : "cTarvelPhysics::CreateStaticBox";
    sx /= kUnits;
    sy /= kUnits;
    sz /= kUnits;
    auto* record = new (std::nothrow) sPhysicsBody{nullptr, userA, userB, uint8_t(dynamic ? 1 : 0), {0, 0, 0}};
    if (record == nullptr)
        OutOfMemory(function);

    const float offset[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, ox / kUnits, oy / kUnits, oz / kUnits, 1};
    phCollision* box = physCreateBox(mWorld, sx, sy, sz, offset);
    phRigidBody* body = box != nullptr ? physCreateBody(mWorld, box) : nullptr;
    if (box != nullptr)
        physReleaseCollision(mWorld, box);
    if (body == nullptr) {
        delete record;
        OutOfMemory(function);
    }
    record->body = body;
    physBodySetUserData(body, record);
    if (dynamic) {
        physBodySetMassMatrix(body, mass, mass * (sy * sy + sz * sz) / 12.0f, mass * (sx * sx + sz * sz) / 12.0f,
                              mass * (sx * sx + sy * sy) / 12.0f);
        physBodySetForceAndTorqueCallback(body, ApplyForce);
    }
    D3DXQUATERNION q(qx, qy, qz, qw);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    m._41 = px / kUnits;
    m._42 = py / kUnits;
    m._43 = pz / kUnits;
    m._44 = 1.0f;
    physBodySetMatrix(body, &m._11);
    if (material != 0)
        physBodySetMaterialGroupID(body, static_cast<uint32_t>(material));
    if (dynamic)
        physBodySetFreezeThreshold(body, 0.1f, 0.1f);
    mBodies.Add(record);
    return record;
}

sPhysicsBody* cTarvelPhysics::CreateDynamicBox(float sx, float sy, float sz, float px, float py, float pz, float qx,
                                               float qy, float qz, float qw, float ox, float oy, float oz, float mass,
                                               int material, void* userA, void* userB)
{
    return CreateBox(sx, sy, sz, px, py, pz, qx, qy, qz, qw, ox, oy, oz, material, userA, userB, true, mass);
}

sPhysicsBody* cTarvelPhysics::CreateStaticBox(float sx, float sy, float sz, float px, float py, float pz, float qx,
                                              float qy, float qz, float qw, float ox, float oy, float oz,
                                              int material, void* userA, void* userB)
{
    return CreateBox(sx, sy, sz, px, py, pz, qx, qy, qz, qw, ox, oy, oz, material, userA, userB, false, 0.0f);
}

void cTarvelPhysics::Update()
{
    mContacts.Clear();
    if (mWorld == nullptr)
        return;
    const float t = gTarvel.mTimer.mFrameSeconds;
    if (!(t <= kStallTime)) {
        physWorldUpdate(mWorld, kStallStep);
        return;
    }
    if (t <= kMaxStep) {
        physWorldUpdate(mWorld, t);
        return;
    }
    int n = 2;
    while (t / static_cast<float>(n) > kMaxStep)
        ++n;
    const float step = t / static_cast<float>(n);
    for (int i = 0; i < n; ++i)
        physWorldUpdate(mWorld, step);
}

float cTarvelPhysics::RayFilter(phRigidBody* body, const phVec4&, std::int64_t, void* userData, float t)
{
    auto* hit = static_cast<sPhysicsRayHit*>(userData);
    if (hit->param > t) {
        hit->param = t;
        hit->body = RecordOf(body);
    }
    return t;
}

void cTarvelPhysics::RayCast(float sx, float sy, float sz, float ex, float ey, float ez, sPhysicsRayHit* hit)
{
    hit->body = nullptr;
    hit->param = 1.1f;
    if (mWorld == nullptr)
        return;
    const float start[3] = {sx / kUnits, sy / kUnits, sz / kUnits};
    const float end[3] = {ex / kUnits, ey / kUnits, ez / kUnits};
    physWorldRayCast(mWorld, start, end, RayFilter, hit, nullptr);
}

void cTarvelPhysics::AddImpulse(sPhysicsBody* body, float vx, float vy, float vz, float px, float py, float pz)
{
    if (mWorld == nullptr || body == nullptr)
        return;
    const float dv[3] = {vx / kUnits, vy / kUnits, vz / kUnits};
    const float point[3] = {px / kUnits, py / kUnits, pz / kUnits};
    physBodyAddImpulse(body->body, dv, point);
}

void cTarvelPhysics::GetBodyMatrix(const sPhysicsBody* body, D3DXMATRIX* out)
{
    if (body == nullptr || body->body == nullptr)
        return;
    physBodyGetMatrix(body->body, &out->_11);
    out->_41 *= kUnits;
    out->_42 *= kUnits;
    out->_43 *= kUnits;
}

void cTarvelPhysics::SetBodyMatrix(sPhysicsBody* body, D3DXMATRIX matrix)
{
    if (body == nullptr || body->body == nullptr)
        return;
    matrix._41 /= kUnits;
    matrix._42 /= kUnits;
    matrix._43 /= kUnits;
    physBodySetMatrix(body->body, &matrix._11);
}

void cTarvelPhysics::DestroyBody(sPhysicsBody* body)
{
    if (body == nullptr)
        return;
    int32_t index = -1;
    for (int32_t i = 0; i < mBodies.Count(); ++i) {
        if (mBodies[i] == body) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return;
    mBodies.RemoveAt(index);
    // Records naming it would point at freed memory.
    for (int32_t i = mContacts.Count() - 1; i >= 0; --i) {
        if (mContacts[i].bodyA == body || mContacts[i].bodyB == body)
            mContacts.RemoveAt(i);
    }
    if (mWorld != nullptr)
        physDestroyBody(mWorld, body->body);
    delete body;
}

void cTarvelPhysics::ApplyForce(phRigidBody* body)
{
    sPhysicsBody* record = RecordOf(body);
    float mass, ixx, iyy, izz;
    physBodyGetMassMatrix(body, &mass, &ixx, &iyy, &izz);
    float force[3] = {0, 0, 0};
    if (record != nullptr) {
        force[0] = record->pendingForce[0];
        force[1] = record->pendingForce[1];
        force[2] = record->pendingForce[2];
        if (record->applyGravity)
            force[1] -= mass * kGravity;
        record->pendingForce[0] = record->pendingForce[1] = record->pendingForce[2] = 0.0f;
    }
    physBodySetForce(body, force);
}

int cTarvelPhysics::ContactBegin(phMaterialPair*, phRigidBody* body0, phRigidBody* body1)
{
    sPhysicsContact record{RecordOf(body0), RecordOf(body1), 0.0f, 0.0f, {0, 0, 0}, {0, 0, 0}};
    gTarvel.mPhysics.mContacts.Add(record);
    return 1;
}

void cTarvelPhysics::TakeContactPoint(sPhysicsContact& record, const phMaterialPair* material)
{
    physMaterialGetContactPositionAndNormal(material, record.position, record.normal);
    for (float& p : record.position)
        p *= kUnits;
}

int cTarvelPhysics::ContactProcess(phMaterialPair* material, phContactConstraint* contact)
{
    cTarvelPhysics& self = gTarvel.mPhysics;
    if (self.mContacts.Count() == 0)
        return 1;
    sPhysicsContact& record = self.mContacts[self.mContacts.Count() - 1];
    const float normalSpeed = physMaterialGetContactNormalSpeed(material, contact) * kUnits;
    if (record.maxNormalSpeed < normalSpeed) {
        record.maxNormalSpeed = normalSpeed;
        self.TakeContactPoint(record, material);
    }
    const float t0 = physMaterialGetContactTangentSpeed(material, contact, 0) * kUnits;
    const float t1 = physMaterialGetContactTangentSpeed(material, contact, 1) * kUnits;
    const float tangent = t0 > t1 ? t0 : t1;
    if (record.maxTangentSpeed < tangent) {
        record.maxTangentSpeed = tangent;
        self.TakeContactPoint(record, material);
    }
    return 1;
}

void cTarvelPhysics::ContactEnd(phMaterialPair*)
{
    cTarvelPhysics& self = gTarvel.mPhysics;
    const int32_t last = self.mContacts.Count() - 1;
    if (last >= 0 && self.mContacts[last].maxNormalSpeed < kMinContactSpeed)
        self.mContacts.RemoveAt(last);
}
