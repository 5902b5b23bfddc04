#include "physics/api.h"

#include <cmath>
#include <new>

#include "physics/maths.h"

namespace {

constexpr float kDefaultDamping = 0.1045f;
constexpr float kDampingScale = 0.02f;
constexpr float kImmovableSetMass = 1.5e15f;
constexpr float kMinFriction = 0.01f;
constexpr float kMaxFriction = 2.0f;

phVec4 Point(const float* p) { return {p[0], p[1], p[2], 1.0f}; }
phVec4 Direction(const float* p) { return {p[0], p[1], p[2], 0.0f}; }

float Clamp(float v, float lo, float hi)
{
    // NaN falls to the low end.
    if (!(v >= lo)) {
        return lo;
    }
    return v > hi ? hi : v;
}

phVec4 PointVelocity(const phRigidBody* body, const phVec4& p)
{
    if (body == nullptr) {
        return {};
    }
    const phVec4 arm = p - body->matrix[3];
    return body->velocity + phCross(body->omega, arm);
}

bool Usable(const phVec4& v, float& length)
{
    length = phLength(v);
    return std::isfinite(length) && length > 1e-12f;
}

}  // namespace

phPhysWorld* physWorldCreate(phAllocHook allocate, phReleaseHook release)
{
    phSetMemoryHooks(allocate, release);
    phEnsureTeardown();
    void* block = phMalloc(sizeof(phPhysWorld));
    if (block == nullptr) {
        return nullptr;
    }
    auto* world = ::new (block) phPhysWorld();
    if (!world->IsComplete()) {
        physWorldDestroy(world);
        return nullptr;
    }
    const float lo[3] = {-100.0f, -100.0f, -100.0f};
    const float hi[3] = {100.0f, 100.0f, 100.0f};
    physWorldSetSize(world, lo, hi);
    return world;
}

void physWorldDestroy(phPhysWorld* world)
{
    if (world != nullptr) {
        world->~phPhysWorld();
        phFree(world);
    }
}

void physWorldSetSize(phPhysWorld* world, const float* min, const float* max)
{
    world->GetBroadphase().SetWorldSize(Point(min), Point(max));
}

void physWorldUpdate(phPhysWorld* world, float dt)
{
    if (!(dt >= 0.001f)) {
        dt = 0.001f;
    } else if (dt > phPhysWorld::kMinimumStep) {
        dt = phPhysWorld::kMinimumStep;
    }
    const double steps = std::ceil(static_cast<double>(dt) / (world->minimumStep + 1e-10));
    // The minimum step is the world's own; a damaged one still runs one step.
    const int n = steps >= 1.0 && steps <= 64.0 ? static_cast<int>(steps) : 1;
    const float each = dt / static_cast<float>(n);
    for (int i = 0; i < n; ++i) {
        world->Update(each);
    }
}

void physWorldRayCast(phPhysWorld* world, const float* p0, const float* p1, phRayFilter filter, void* userData,
                      phRayPrefilter prefilter)
{
    if (filter == nullptr) {
        return;
    }
    world->GetBroadphase().RayCast(Point(p0), Point(p1), filter, userData, prefilter);
}

void physSetSolverModel(phPhysWorld* world, int model) { world->solverModel = model < 1 ? 0 : model; }

void physSetFrictionModel(phPhysWorld* world, int model) { world->frictionModel = model; }

std::uint32_t physMaterialCreateGroupID(phPhysWorld* world) { return world->CreateMaterialGroup(); }

void physMaterialSetDefaultFriction(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float fs, float fk)
{
    fs = std::fabs(fs);
    fk = std::fabs(fk);
    phMaterialPair* pair = world->FindMaterialPair(a, b);
    if (pair == nullptr) {
        return;
    }
    if (!(fs >= kMinFriction)) {
        pair->flags &= ~(phMaterialPair::kFriction0 | phMaterialPair::kFriction1);
        return;
    }
    fs = fs < kMaxFriction ? fs : kMaxFriction;
    fk = Clamp(fk, kMinFriction, kMaxFriction);
    if (fk > fs) {
        fs = fk;
    }
    pair->staticFriction[0] = pair->staticFriction[1] = fs;
    pair->kineticFriction[0] = pair->kineticFriction[1] = fk;
}

void physMaterialSetDefaultElasticity(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float elasticity)
{
    if (phMaterialPair* pair = world->FindMaterialPair(a, b)) {
        pair->elasticity = Clamp(elasticity, 0.01f, 2.0f);
    }
}

void physMaterialSetDefaultSoftness(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float softness)
{
    if (phMaterialPair* pair = world->FindMaterialPair(a, b)) {
        pair->softness = Clamp(softness, 0.01f, 1.0f);
    }
}

void physMaterialSetCollisionCallbacks(phPhysWorld* world, std::uint32_t a, std::uint32_t b, void* userData,
                                       phContactBeginCallback begin, phContactProcessCallback process,
                                       phContactEndCallback end)
{
    if (phMaterialPair* pair = world->FindMaterialPair(a, b)) {
        pair->userData = userData;
        pair->beginCallback = begin;
        pair->processCallback = process;
        pair->endCallback = end;
    }
}

void physMaterialGetContactPositionAndNormal(const phMaterialPair* material, float* position, float* normal)
{
    const phContactRecord& r = material->contact;
    for (int i = 0; i < 3; ++i) {
        position[i] = r.point[i];
        normal[i] = r.normal[i];
    }
}

float physMaterialGetContactNormalSpeed(const phMaterialPair* material, const phContactConstraint* contact)
{
    const phVec4& p = material->contact.point;
    const phVec4 u0 = PointVelocity(contact->child, p);
    const phVec4 u1 = PointVelocity(contact->parent, p);
    return phDot(u1 - u0, material->contact.normal);
}

float physMaterialGetContactTangentSpeed(const phMaterialPair* material, const phContactConstraint* contact,
                                         int index)
{
    const phVec4& p = material->contact.point;
    const phVec4 u0 = PointVelocity(contact->child, p);
    const phVec4 u1 = PointVelocity(contact->parent, p);
    return phDot(u0 - u1, index == 0 ? material->tangent0 : material->tangent1);
}

phCollision* physCreateBox(phPhysWorld* world, float x, float y, float z, const float* offset)
{
    if (offset == nullptr) {
        return world->CreateBox(x, y, z, nullptr);
    }
    phMat4 m;
    for (int r = 0; r < 4; ++r) {
        m[r] = {offset[4 * r], offset[4 * r + 1], offset[4 * r + 2], offset[4 * r + 3]};
    }
    return world->CreateBox(x, y, z, &m);
}

void physReleaseCollision(phPhysWorld* world, phCollision* collision) { world->ReleaseCollision(collision); }

phRigidBody* physCreateBody(phPhysWorld* world, phCollision* collision)
{
    phRigidBody* body = world->CreateBody(collision);
    if (body == nullptr) {
        return nullptr;
    }
    body->linearDamping = kDefaultDamping * kDampingScale;
    for (float& d : body->angularDamping) {
        d = kDefaultDamping * kDampingScale;
    }
    body->SetMass(2e15f, 1e15f, 1e15f, 1e15f);
    return body;
}

void physDestroyBody(phPhysWorld* world, phRigidBody* body) { world->RequestDestroyBody(body); }

void physBodySetUserData(phRigidBody* body, void* userData) { body->userData = userData; }

void* physBodyGetUserData(const phRigidBody* body) { return body->userData; }

void physBodySetForceAndTorqueCallback(phRigidBody* body, physForceCallback callback)
{
    body->forceTorqueCallback = callback;
}

void physBodySetMaterialGroupID(phRigidBody* body, std::uint32_t group) { body->materialGroup = group; }

void physBodySetMatrix(phRigidBody* body, const float* m)
{
    const phVec4 position = Point(m + 12);
    if (!phIsFinite(position)) {
        return;
    }
    phMat4 out = body->matrix;
    float frontLength = 0.0f;
    float rightLength = 0.0f;
    const phVec4 row0 = Direction(m);
    const phVec4 row1 = Direction(m + 4);
    if (Usable(row0, frontLength)) {
        const phVec4 front = row0 * (1.0f / frontLength);
        const phVec4 rightRaw = phCross(front, row1);
        if (Usable(rightRaw, rightLength)) {
            const phVec4 right = rightRaw * (1.0f / rightLength);
            phVec4 up = phCross(right, front);
            out[0] = {front.x, front.y, front.z, 0.0f};
            out[1] = {up.x, up.y, up.z, 0.0f};
            out[2] = {right.x, right.y, right.z, 0.0f};
        }
    }
    out[3] = position;
    body->SetMatrix(out);
}

void physBodyGetMatrix(const phRigidBody* body, float* m)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            m[4 * r + c] = body->matrix[r][c];
        }
    }
}

void physBodySetMassMatrix(phRigidBody* body, float mass, float ixx, float iyy, float izz)
{
    mass = std::fabs(mass);
    float inertia[3] = {std::fabs(ixx), std::fabs(iyy), std::fabs(izz)};
    const float raw[3] = {inertia[0], inertia[1], inertia[2]};
    for (float& i : inertia) {
        i = Clamp(i, 0.01f * mass, 100.0f * mass);
    }
    // A NaN mass is as good as none.
    if (!(mass >= 0.001f)) {
        mass = kImmovableSetMass;
    }
    body->SetMass(mass, inertia[0], inertia[1], inertia[2]);
    body->SetSolverMass(raw[0], raw[1], raw[2], mass);
}

void physBodyGetMassMatrix(const phRigidBody* body, float* mass, float* ixx, float* iyy, float* izz)
{
    const phVec4& m = body->solverMass;
    const bool immovable = m.w > 5e14f;
    *mass = immovable ? 0.0f : m.w;
    *ixx = immovable ? 0.0f : m.x;
    *iyy = immovable ? 0.0f : m.y;
    *izz = immovable ? 0.0f : m.z;
}

void physBodySetForce(phRigidBody* body, const float* force) { body->force = {force[0], force[1], force[2], 1.0f}; }

void physBodyAddImpulse(phRigidBody* body, const float* velocityChange, const float* point)
{
    if (body->invMass.w > 0.0f) {
        body->AddImpulse(Direction(velocityChange), Point(point));
    }
}

void physBodySetFreezeThreshold(phRigidBody* body, float speed, float angularSpeed)
{
    const float values[4] = {speed, angularSpeed, 0.1f * speed, 0.1f * angularSpeed};
    for (int i = 0; i < 4; ++i) {
        body->sleepThresholds[i] = values[i] > 0.01f ? values[i] : 0.01f;
    }
}
