#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "physics/api.h"
#include "physics/collision_sphere.h"
#include "physics/maths.h"
#include "physics/row_solver.h"
#include "physics/vehicle_joint.h"
#include "physics/vehicle_solver.h"

namespace {

constexpr float kG = 9.8f;
constexpr float kRadius = 0.3f;
constexpr float kMountDrop = 0.3f;
constexpr float kChassisMass = 100.0f;
constexpr float kTireMass = 5.0f;
constexpr float kSpring = 2000.0f;
constexpr float kDamper = 20.0f;
constexpr float kH = 1.0f / 180.0f;

// A tire made for the tests: a sphere that carries the tire's contact cache.
class TestTire : public phCollisionSphere {
public:
    static TestTire* Make(float radius) { return EnsureTable() ? new TestTire(radius) : nullptr; }
    VehicleTireCache cache;

private:
    explicit TestTire(float radius)
        : phCollisionSphere(MakeSphereSignature(radius, GetIdentityMatrix()), radius, GetIdentityMatrix())
    {
    }
    ~TestTire() override = default;
};

phMat4 At(float x, float y, float z)
{
    phMat4 m = GetIdentityMatrix();
    m[3] = {x, y, z, 1};
    return m;
}

// A chassis 2 × 0.5 × 2 over a static floor (top at y = 0), with tires
// mounted 0.3 below it, and one contact constraint between chassis and
// floor whose points the test's own collision pass writes.
struct Rig {
    explicit Rig(const std::vector<phVec4>& mounts, float chassisY = kRadius + kMountDrop)
    {
        world = physWorldCreate(nullptr, nullptr);
        phCollision* floorShape = physCreateBox(world, 20, 1, 20, nullptr);
        floor = physCreateBody(world, floorShape);
        physReleaseCollision(world, floorShape);
        const phMat4 floorAt = At(0, -0.5f, 0);
        physBodySetMatrix(floor, &floorAt[0].x);
        chassis = Body(world, 2, 0.5f, 2, kChassisMass, At(0, chassisY, 0));
        vehicle = VehicleJoint::Create(*world, chassis, {0, 1, 0, 0});
        for (const phVec4& mount : mounts) {
            TestTire* tire = TestTire::Make(kRadius);
            VehicleTireDesc desc;
            desc.localMatrix = At(mount.x, mount.y, mount.z);
            desc.baseMatrix = GetIdentityMatrix();
            desc.pin = {1, 0, 0, 0};
            desc.mass = kTireMass;
            desc.spinLimitFactor = kRadius;
            desc.suspensionDamper = kDamper;
            desc.suspensionSpring = kSpring;
            desc.inverseMass = 1.0f / kTireMass;
            desc.inverseInertia = 1.0f / (0.5f * kTireMass * kRadius * kRadius);
            VehicleTire* t = vehicle->AddTire(desc, tire, &tire->cache);
            tire->cache.radiusSq = kRadius * kRadius;
            tires.push_back(t);
            shapes.push_back(tire);
            tire->Release();
        }
        contact = world->CreateContact();
        world->AttachConstraint(contact, chassis, floor);
        for (TestTire* shape : shapes) {
            phContactNode* node = contact->AppendNode();
            node->material.contact.collision0 = shape;
        }
    }
    ~Rig() { physWorldDestroy(world); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    static phRigidBody* Body(phPhysWorld* w, float sx, float sy, float sz, float mass, const phMat4& at)
    {
        phCollision* shape = physCreateBox(w, sx, sy, sz, nullptr);
        phRigidBody* body = physCreateBody(w, shape);
        physReleaseCollision(w, shape);
        physBodySetMassMatrix(body, mass, mass * (sy * sy + sz * sz) / 12, mass * (sx * sx + sz * sz) / 12,
                              mass * (sx * sx + sy * sy) / 12);
        physBodySetMatrix(body, &at[0].x);
        body->linearDamping = 0.0f;
        for (float& d : body->angularDamping) {
            d = 0.0f;
        }
        return body;
    }

    // The test's collision pass: each tire against the plane y = 0, where the
    // tire's collision stood after the last request.
    void TouchFloor()
    {
        contact->activeCount = 0;
        phContactNode* node = contact->first;
        for (std::uint32_t i = 0; i < contact->count; ++i) {
            phContactNode* next = node->next;
            phContactRecord& r = node->material.contact;
            const auto* shape = static_cast<const TestTire*>(r.collision0);
            const phVec4 centre = phTransformPoint(chassis->matrix, shape->cache.matrix[3]);
            const float depth = kRadius - centre.y;
            if (depth > 0.0f) {
                r.body0 = chassis;
                r.body1 = floor;
                r.collision1 = floor->collision;
                r.point = {centre.x, 0.0f, centre.z, 1.0f};
                r.normal = {0, 1, 0, 0};
                r.penetration = depth;
                contact->MoveToTail(node);
                ++contact->activeCount;
            }
            node = next;
        }
        contact->maxRows = static_cast<std::uint16_t>(3 * contact->activeCount);
    }

    // One request as the world's sub-step makes it, with the chassis then
    // moved by the force the vehicle left on it.
    void Request(float h, bool gravity = true)
    {
        chassis->force = {0, gravity ? -kG * kChassisMass : 0.0f, 0, 0};
        chassis->torque = {};
        TouchFloor();
        vehicle->CollectContacts();
        phRowParams p;
        p.timeStep = h;
        p.invTimeStep = 1.0f / h;
        ASSERT_EQ(vehicle->BuildRows(p), 0);
        chassis->ApplyForceAndTorqueAndIntegrate(h);
    }

    phPhysWorld* world = nullptr;
    phRigidBody* floor = nullptr;
    phRigidBody* chassis = nullptr;
    VehicleJoint* vehicle = nullptr;
    phContactConstraint* contact = nullptr;
    std::vector<VehicleTire*> tires;
    std::vector<TestTire*> shapes;
};

const std::vector<phVec4> kFourTires = {
    {1, -kMountDrop, 1, 1}, {-1, -kMountDrop, 1, 1}, {1, -kMountDrop, -1, 1}, {-1, -kMountDrop, -1, 1}};
const std::vector<phVec4> kOneTire = {{0, -kMountDrop, 0, 1}};

}  // namespace

// At rest every suspension row carries its share of the chassis' weight, so
// its spring stands where k·x / (c'h + 1) equals the row's regularising term
// d·(ε + 0.001)·f, with ε = 2^(1/n) - 1 for n tires; worked out here in
// double precision from the chassis' and tire's masses.
TEST(VehicleJoint, TiresOnAFlatFloorComeToRestAtTheirStaticDeflection)
{
    for (const auto* mounts : {&kFourTires, &kOneTire}) {
        Rig rig(*mounts);
        ASSERT_NE(rig.vehicle, nullptr);
        ASSERT_EQ(rig.vehicle->TireCount(), static_cast<int>(mounts->size()));
        // 20 s: one tire under the whole chassis is lightly damped.
        for (int i = 0; i < 3600; ++i) {
            rig.Request(kH);
        }
        const double n = static_cast<double>(mounts->size());
        const double epsilon = std::pow(2.0, 1.0 / n) - 1.0;
        const double ixx = kChassisMass * (0.25 + 4.0) / 12.0;
        const double izz = ixx;
        const phVec4& m = (*mounts)[0];
        const double d = 1.0 / kChassisMass + m.z * m.z / ixx + m.x * m.x / izz + 1.0 / kTireMass;
        const double c = kSpring * kH + kDamper;
        const double share = kChassisMass * kG / n;
        const double x = (c * kH + 1.0) * d * (epsilon + 0.001) * share / kSpring;

        EXPECT_LT(phLength(rig.chassis->velocity), 1e-3f) << n;
        EXPECT_LT(phLength(rig.chassis->omega), 1e-3f) << n;
        for (const VehicleTire* tire : rig.tires) {
            EXPECT_EQ(tire->airborne, 0);
            EXPECT_NEAR(tire->suspensionPosition, x, 0.005 * x) << n;
            EXPECT_NEAR(tire->suspensionVelocity, 0.0f, 1e-3f);
            EXPECT_NEAR(tire->spinVelocity, 0.0f, 1e-3f);
        }
        // The tire sits on the floor, its mount x below its centre.
        EXPECT_NEAR(rig.chassis->matrix[3].y, kRadius + kMountDrop - x, 1e-3);
        EXPECT_NEAR(rig.chassis->matrix[1].y, 1.0f, 1e-5f);
    }
}

// Nine points of one tire: the six facing most against the up axis are
// kept, in that order, and all nine leave the contact's active points; the
// chassis' own points stay. A point outside the radius gets a radial normal.
TEST(VehicleJoint, CollectionKeepsTheSixLowestFacingPointsAndTakesAllAway)
{
    Rig rig(kOneTire, 2.0f);
    phContactConstraint* c = rig.contact;
    c->FreeNodes();
    TestTire* tire = rig.shapes[0];
    // Tire centre in the world: chassis at y = 2, mount 0.3 below.
    const phVec4 centre = {0, 2.0f - kMountDrop, 0, 1};
    std::vector<float> keys;
    for (int i = 0; i < 9; ++i) {
        phContactNode* node = c->AppendNode();
        phContactRecord& r = node->material.contact;
        // Normals from the floor towards the chassis, tilted more and more.
        const float tilt = 0.1f * static_cast<float>((i * 4) % 9);
        r.normal = {std::sin(tilt), std::cos(tilt), 0, 0};
        r.point = centre - r.normal * (kRadius * 0.9f);
        r.point.w = 1.0f;
        r.body0 = rig.chassis;
        r.body1 = rig.floor;
        r.collision0 = tire;
        r.collision1 = rig.floor->collision;
        r.penetration = 0.01f * static_cast<float>(i);
        keys.push_back(std::cos(tilt));
    }
    // One point past the radius, straight below the centre: its tilted
    // normal gives way to the radial one, which faces straight down.
    phContactNode* outside = c->first;
    outside->material.contact.point = centre - phVec4{0, kRadius * 1.5f, 0, 0};
    outside->material.contact.point.w = 1.0f;
    outside->material.contact.normal = {std::sin(0.8f), std::cos(0.8f), 0, 0};
    keys[0] = 1.0f;
    for (int i = 0; i < 2; ++i) {
        phContactRecord& r = c->AppendNode()->material.contact;
        r.normal = {0, 1, 0, 0};
        r.body0 = rig.chassis;
        r.body1 = rig.floor;
        r.collision0 = rig.chassis->collision;
        r.collision1 = rig.floor->collision;
    }
    c->activeCount = c->count;
    rig.vehicle->CollectContacts();

    EXPECT_EQ(c->activeCount, 2u);
    EXPECT_EQ(c->count, 11u);
    for (const phContactNode* node = c->last; node != c->last->prev->prev; node = node->prev) {
        EXPECT_EQ(node->material.contact.collision0, rig.chassis->collision);
    }
    std::vector<float> sorted = keys;
    std::sort(sorted.begin(), sorted.end(), std::greater<float>());
    const VehicleTireCache& cache = tire->cache;
    ASSERT_EQ(cache.copyCount, 6);
    EXPECT_EQ(cache.selectedCount, 6);
    EXPECT_EQ(cache.pairCount, 1);
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(cache.copies[k].normal.w, sorted[k], 1e-5f) << k;
        // The normal pushes the tire off the floor: it points into the floor.
        EXPECT_LT(cache.copies[k].normal.y, 0.0f);
        EXPECT_EQ(cache.selected[k]->contact.normal.w, cache.copies[k].normal.w);
    }
    EXPECT_EQ(cache.selected[0], &outside->material);
    EXPECT_NEAR(cache.copies[0].normal.x, 0.0f, 1e-5f);
    EXPECT_NEAR(cache.copies[0].normal.y, -1.0f, 1e-5f);
}

namespace {

float g_brakeLimit = 0.0f;
void Brake(VehicleJoint* joint)
{
    for (VehicleTire* t = joint->FirstTire(); t != nullptr; t = t->next) {
        t->brakeLimit = g_brakeLimit;
        t->brakeTarget = t->spinVelocity * joint->rowParams->invTimeStep;
    }
}

}  // namespace

// A tire in the air: its spin is held to 400 / R with its sign, its angle
// stays inside one turn on its own side of 0, and a brake row exists only
// above a limit of 1e-10.
TEST(VehicleJoint, AirborneSpinLimitAngleAndBrake)
{
    for (float spin : {2000.0f, -2000.0f}) {
        Rig rig(kOneTire, 5.0f);
        VehicleTire* tire = rig.tires[0];
        tire->spinVelocity = spin;
        rig.Request(kH, false);
        const float held = std::copysign(400.0f / kRadius, spin);
        EXPECT_EQ(tire->spinVelocity, held);
        EXPECT_EQ(tire->airborne, 1);
        EXPECT_NEAR(tire->spinAngle, std::fmod(held * kH, 6.28318f), 1e-5f);
        for (int i = 0; i < 300; ++i) {
            rig.Request(kH, false);
            if (spin > 0) {
                ASSERT_GE(tire->spinAngle, 0.0f);
                ASSERT_LT(tire->spinAngle, 6.28318f);
            } else {
                ASSERT_LE(tire->spinAngle, 0.0f);
                ASSERT_GT(tire->spinAngle, -6.28318f);
            }
        }
    }
    for (float limit : {1e-10f, 1e5f}) {
        Rig rig(kOneTire, 5.0f);
        VehicleTire* tire = rig.tires[0];
        tire->spinVelocity = 100.0f;
        g_brakeLimit = limit;
        rig.vehicle->updateCallback = Brake;
        rig.Request(kH, false);
        if (limit <= 1e-10f) {
            EXPECT_FLOAT_EQ(tire->spinVelocity, 100.0f * 0.9999f);
        } else {
            // The heavy chassis barely turns back; the tire stops.
            EXPECT_LT(std::fabs(tire->spinVelocity), 2.0f);
        }
    }
}

// In the air the vehicle hands the chassis the force that reproduces its
// own motion (here its weight) and puts the chassis back; a vehicle at rest
// with nothing under it gets a push of -mass along its up axis.
TEST(VehicleJoint, AirborneChassisKeepsItsForceAndRestIsNudged)
{
    Rig rig(kOneTire, 5.0f);
    phRigidBody* chassis = rig.chassis;
    chassis->velocity = {1.0f, 2.0f, 0, 0};
    chassis->omega = {0, 0.5f, 0, 0};
    const phMat4 before = chassis->matrix;
    chassis->force = {0, -kG * kChassisMass, 0, 0};
    chassis->torque = {};
    phRowParams p;
    p.timeStep = kH;
    p.invTimeStep = 1.0f / kH;
    EXPECT_EQ(rig.vehicle->BuildRows(p), 0);
    EXPECT_NEAR(chassis->force.y, -kG * kChassisMass, 0.01f);
    EXPECT_NEAR(chassis->force.x, 0.0f, 0.01f);
    EXPECT_LT(phLength(chassis->torque), 0.01f);
    EXPECT_EQ(chassis->velocity.y, 2.0f);
    EXPECT_EQ(chassis->omega.y, 0.5f);
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(chassis->matrix[r][k], before[r][k]);
        }
    }
    EXPECT_EQ(rig.tires[0]->forwardSpeed, 0.0f);  // (up × pin) · v = -z · v
    EXPECT_FLOAT_EQ(rig.tires[0]->sideSpeed, 1.0f);

    chassis->velocity = {};
    chassis->omega = {};
    chassis->force = {};
    EXPECT_EQ(rig.vehicle->BuildRows(p), 0);
    EXPECT_FLOAT_EQ(chassis->force.y, -kChassisMass);
    EXPECT_FLOAT_EQ(chassis->force.w, 1.0f);
}

// A tire on a movable plank hands part of its reaction to the plank; with
// no weight on the chassis the limit is 0 and nothing is handed on (the
// scaling must end there).
TEST(VehicleJoint, TouchedBodyGetsAScaledReaction)
{
    for (bool gravity : {true, false}) {
        Rig rig(kOneTire);
        // The plank replaces the floor under the tire.
        phRigidBody* plank = Rig::Body(rig.world, 4, 0.2f, 4, 50.0f, At(0, -0.1f, 0));
        rig.floor = plank;
        phContactConstraint* onPlank = rig.world->CreateContact();
        rig.world->AttachConstraint(onPlank, rig.chassis, plank);
        onPlank->AppendNode()->material.contact.collision0 = rig.shapes[0];
        rig.world->DetachConstraint(rig.contact);
        rig.contact = onPlank;
        rig.chassis->SetMatrix(At(0, kRadius + kMountDrop - 0.01f, 0));
        plank->force = {};
        rig.Request(kH, gravity);
        if (gravity) {
            EXPECT_LT(plank->force.y, 0.0f);
            // At most a tenth of the weight the tire carries.
            EXPECT_LT(-plank->force.y, 0.1f * (kChassisMass + kTireMass) * kG * 1.5f);
        } else {
            EXPECT_EQ(plank->force.y, 0.0f);
        }
    }
}

namespace {

int g_transforms = 0;
int g_requests = 0;
void CountTransform(phRigidBody*, const phMat4&) { ++g_transforms; }
void CountRequest(VehicleJoint*) { ++g_requests; }
void Fall(phRigidBody* body) { body->force = {0, -kG * body->mass.w, 0, 0}; }

}  // namespace

// In a world the vehicle's island runs in ⌈179 · h⌉ = 3 parts of a 1/60 step
// (its fall follows three small steps) with the transform reported once;
// taken out of the world it lets its tires go and its record is reused.
TEST(VehicleJoint, WorldRunsItInSubstepsAndReleasesIt)
{
    Rig rig(kOneTire, 5.0f);
    phRigidBody* chassis = rig.chassis;
    physBodySetForceAndTorqueCallback(chassis, Fall);
    chassis->transformCallback = CountTransform;
    rig.vehicle->updateCallback = CountRequest;
    rig.world->DetachConstraint(rig.contact);
    g_transforms = g_requests = 0;
    const float h = 1.0f / 60.0f;
    rig.world->Update(h);
    EXPECT_EQ(g_requests, 3);
    EXPECT_EQ(g_transforms, 1);
    const double part = h / 3.0;
    EXPECT_NEAR(chassis->velocity.y, -kG * h, 1e-4);
    EXPECT_NEAR(chassis->matrix[3].y, 5.0 - kG * part * part * 6.0, 1e-5);

    static int gone = 0;
    gone = 0;
    rig.vehicle->SetDestructionCallback([](phConstraint*) { ++gone; });
    TestTire* shape = rig.shapes[0];
    shape->AddRef();
    const std::uint32_t refs = shape->GetRefCount();
    VehicleJoint* record = rig.vehicle;
    rig.world->DetachConstraint(rig.vehicle);
    EXPECT_EQ(gone, 1);
    EXPECT_EQ(shape->GetRefCount(), refs - 1);
    EXPECT_EQ(rig.world->Substepped().Count(), 0u);
    EXPECT_EQ(chassis->collision->GetFlags() & phCollision::kFlagVehicle, 0u);
    EXPECT_EQ(rig.world->QueuedReleases(), 1u);
    rig.world->Update(h);
    EXPECT_EQ(rig.world->QueuedReleases(), 0u);
    EXPECT_EQ(VehicleJoint::Create(*rig.world, chassis, {0, 1, 0, 0}), record);
    EXPECT_EQ(record->TireCount(), 0);
    shape->Release();
}

namespace {

Rig* g_rig = nullptr;
std::vector<int> g_seen;
// The test's pair processing: the chassis keeps its tire point and is
// entered into the flagged-body tree, as a vehicle's compound would be.
void FlagChassis(phRigidBody* body)
{
    body->force = {0, -kG * body->mass.w, 0, 0};
    body->torque = {};
    phContactConstraint* c = g_rig->contact;
    c->activeCount = c->count;
    c->refreshStamp = g_rig->world->stepStamp;
    if (auto* node = g_rig->world->Flagged().Insert(reinterpret_cast<std::uintptr_t>(body))) {
        node->payload = body;
    }
}
void SeeCache(VehicleJoint* joint) { g_seen.push_back(joint->FirstTire()->cache->copyCount); }

}  // namespace

TEST(VehicleJoint, FlaggedChassisCollectsAfterTheCollisionPass)
{
    Rig rig(kOneTire, 5.0f);
    g_rig = &rig;
    g_seen.clear();
    phContactRecord& r = rig.contact->first->material.contact;
    r.body0 = rig.chassis;
    r.body1 = rig.floor;
    r.collision1 = rig.floor->collision;
    r.normal = {0, 1, 0, 0};
    r.point = {0, 4.4f, 0, 1};
    physBodySetForceAndTorqueCallback(rig.chassis, FlagChassis);
    // Held up by its tire it would sleep after the first part.
    rig.chassis->flags &= ~phRigidBody::kFlagAutoSleep;
    rig.vehicle->updateCallback = SeeCache;
    rig.world->Update(1.0f / 60.0f);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0], 1);
    EXPECT_EQ(rig.world->Flagged().Count(), 0u);
    g_rig = nullptr;
}

// The private solver on two coupled rows of a unit-mass body, worked out by
// hand: unbounded it solves A f = b; with the second row held to at most 1
// it fixes that row at 1 and solves the first alone, to within its stopping
// residual of 0.1.
TEST(VehicleJoint, PrivateSolverSolvesBoundedRows)
{
    const double s = std::sqrt(0.5);
    for (bool bounded : {false, true}) {
        auto solver = std::make_unique<VehicleSolver>();
        solver->Clear(nullptr);
        const int body = solver->AddBody(nullptr, nullptr);
        const phVec4 dirs[2] = {{1, 0, 0, 0}, {static_cast<float>(s), static_cast<float>(s), 0, 0}};
        const float b[2] = {1.0f, 4.0f};
        for (int i = 0; i < 2; ++i) {
            const int r = solver->AddRow(VehicleSolver::kStatic, body);
            solver->jacobian[r].linearB = dirs[i];
            solver->weighted[r].linearB = dirs[i];
            solver->target[r] = b[i];
            solver->regularising[r] = 0.001f;
            solver->invPrecondition[r] = 1.0f / 1.001f;
        }
        if (bounded) {
            solver->high[1] = 1.0f;
        }
        solver->Solve();
        // A = [[1.001, s], [s, 1.001]].
        const double a = 1.001;
        double f0, f1;
        if (bounded) {
            f1 = 1.0;
            f0 = (b[0] - s * f1) / a;
        } else {
            const double det = a * a - s * s;
            f0 = (a * b[0] - s * b[1]) / det;
            f1 = (a * b[1] - s * b[0]) / det;
        }
        if (bounded) {
            // The held row sits exactly on its bound; the other stops once its
            // residual is within the solver's 0.1.
            EXPECT_EQ(solver->force[1], 1.0f);
            EXPECT_NEAR(solver->force[0], f0, 0.1 / a);
            EXPECT_NEAR(b[0] - (a * solver->force[0] + s * solver->force[1]), solver->residual[0], 1e-4);
            EXPECT_LE(std::fabs(solver->residual[0]), 0.1f);
        } else {
            EXPECT_NEAR(solver->force[0], f0, 1e-3);
            EXPECT_NEAR(solver->force[1], f1, 1e-3);
        }
    }
}
