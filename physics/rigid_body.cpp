#include "physics/rigid_body.h"

#include <cmath>

#include "physics/class_id.h"
#include "physics/maths.h"
#include "physics/world.h"

namespace {

// Below this spin (0.0125° per second) the orientation is left alone.
constexpr float kMinSpin = 0.0125f * 3.14159265f / 180.0f;

float SafeInverse(float v) { return v > 0.0f && std::isfinite(v) ? 1.0f / v : 0.0f; }

phVec4 Vec(float x, float y, float z, float w = 0.0f) { return {x, y, z, w}; }

bool IsPolygonSoup(const phCollision* c)
{
    return c != nullptr && c->IsType(phGetClassId(phClassIndex::CollisionPolygonalSoup));
}

}  // namespace

phVec4 phLimitSpin(const phVec4& omega, float dt)
{
    if (!phIsFinite(omega)) {
        return {0.0f, 0.0f, 0.0f, omega.w};
    }
    // For a finite spin the scaling ends after a few hundred steps at most
    // (0.8^400 takes the largest float below the limit).
    phVec4 w = omega;
    const float adt = std::fabs(dt);
    for (int k = 0; k < 512 && phLength(w * adt) > phRigidBody::kMaxStepAngle; ++k) {
        w *= 0.8f;
    }
    return w;
}

phRigidBody::phRigidBody(phPhysWorld* ownerWorld, phCollision* shape) : world(ownerWorld), collision(shape)
{
    matrix = GetIdentityMatrix();
    collisionMatrix = matrix;
    localCentre = Vec(0, 0, 0, 1);
    globalCentre = Vec(0, 0, 0, 1);
    boxMin = Vec(0, 0, 0, 1);
    boxMax = Vec(0, 0, 0, 1);
    mass = Vec(kImmovableMass, kImmovableMass, kImmovableMass, kImmovableMass);
    solverMass = mass;
    if (collision != nullptr) {
        collision->AddRef();
    }
}

phRigidBody::~phRigidBody()
{
    if (collision != nullptr) {
        collision->Release();
    }
}

void phRigidBody::SetMass(float m, float ixx, float iyy, float izz)
{
    if (IsPolygonSoup(collision) || m >= kImmovableMass) {
        flags |= kFlagEquilibrium;
        mass = Vec(kImmovableMass, kImmovableMass, kImmovableMass, kImmovableMass);
        invMass = Vec(0, 0, 0, 0);
    } else {
        flags &= ~kFlagEquilibrium;
        const phVec4 momentum = phMulPerAxis(phUnrotate(matrix, omega), mass);
        mass = Vec(ixx, iyy, izz, m);
        invMass = Vec(SafeInverse(ixx), SafeInverse(iyy), SafeInverse(izz), SafeInverse(m));
        if ((flags & kFlagKeepAngularMomentum) != 0) {
            phVec4 w = phRotate(matrix, phMulPerAxis(momentum, invMass));
            w.w = omega.w;
            omega = w;
        }
    }
    SetSolverMass(mass.x, mass.y, mass.z, mass.w);
}

void phRigidBody::SetSolverMass(float ixx, float iyy, float izz, float m)
{
    solverMass = Vec(ixx, iyy, izz, m);
    if (IsPolygonSoup(collision)) {
        solverMass.w = 2.0f * kImmovableMass;
    }
    if (solverMass.w >= kImmovableMass) {
        solverMass = Vec(kImmovableMass, kImmovableMass, kImmovableMass, kImmovableMass);
    }
}

void phRigidBody::SetMatrix(const phMat4& m)
{
    matrix = m;
    rotation = phQuatFromMatrix(m);
    globalCentre = phTransformPoint(m, localCentre);
    UpdateCollisionMatrixAndBox();
}

void phRigidBody::UpdateCollisionMatrixAndBox()
{
    if (collision == nullptr) {
        collisionMatrix = matrix;
        boxMin = matrix[3];
        boxMax = matrix[3];
        boxMin.w = boxMax.w = 1.0f;
    } else {
        collisionMatrix = collision->HasOffset() ? phMultiply(collision->GetOffsetMatrix(), matrix) : matrix;
        collision->CalcAABB(collisionMatrix, boxMin, boxMax);
    }
    if ((flags & kFlagContinuous) != 0 && world != nullptr) {
        const float dt = world->TimeStep();
        const phVec4 motion = velocity * dt + force * (invMass.w * dt * dt);
        for (int a = 0; a < 3; ++a) {
            const float slack = 0.3f * (boxMax[a] - boxMin[a]);
            const float move = motion[a];
            if (std::fabs(move) >= slack) {
                if (move < 0.0f) {
                    boxMin[a] -= std::fabs(move) - slack;
                } else {
                    boxMax[a] += std::fabs(move) - slack;
                }
            }
        }
    }
    if (world != nullptr && inBroadphase) {
        world->GetBroadphase().UpdateBody(this);
    }
}

void phRigidBody::Integrate(float dt)
{
    force = force * invMass.w;
    velocity += force * dt;
    globalCentre += velocity * dt;

    const phVec4 localTorque = phUnrotate(matrix, torque);
    phVec4 alpha = phRotate(matrix, phMulPerAxis(localTorque, invMass));
    alpha.w = torque.w;
    torque = alpha;
    omega += torque * dt;
    omega = phLimitSpin(omega, dt);

    const float spin = phLength(omega);
    if (spin > kMinSpin) {
        const phVec4 axis = omega * (1.0f / spin);
        rotation = phQuatNormalise(phQuatMultiply(phQuatFromAxisAngle(axis, spin * dt), rotation));
        matrix = MatrixFromQuaternion(rotation, globalCentre);
    }
    phVec4 position = globalCentre - phRotate(matrix, localCentre);
    position.w = 1.0f;
    matrix[3] = position;
}

void phRigidBody::ApplyForceAndTorqueAndIntegrate(float dt)
{
    prevForce = force;
    prevTorque = torque;
    Integrate(dt);
    if (transformCallback != nullptr) {
        transformCallback(this, matrix);
    }
    UpdateCollisionMatrixAndBox();
}

phMat4 phRigidBody::GetWorldInverseInertia() const
{
    phMat4 w = {};
    const float d[3] = {invMass.x, invMass.y, invMass.z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) {
                sum += matrix[k][i] * d[k] * matrix[k][j];
            }
            w[i][j] = sum;
        }
    }
    w[3] = Vec(0, 0, 0, 1);
    return w;
}

void phRigidBody::AddImpulse(const phVec4& dv, const phVec4& p)
{
    if (!(invMass.w > 0.0f)) {
        return;
    }
    const phMat4 winv = GetWorldInverseInertia();
    const phVec4 r = p - globalCentre;
    // K = (1/m)·1 - [r]x W [r]x: the change of the point's velocity per unit impulse.
    phMat4 k = {};
    for (int c = 0; c < 3; ++c) {
        phVec4 e = Vec(0, 0, 0);
        e[c] = 1.0f;
        const phVec4 col = e * invMass.w - phCross(r, phRotate(winv, phCross(r, e)));
        for (int row = 0; row < 3; ++row) {
            k[row][c] = col[row];
        }
    }
    const phMat4 kinv = InverseSymmetric3x3(k);
    const phVec4 impulse = phRotate(kinv, dv);
    flags &= ~kFlagEquilibrium;
    velocity += impulse * invMass.w;
    omega += phRotate(winv, phCross(r, impulse));
    if (world != nullptr) {
        world->WakeBody(this);
    }
}

void phRigidBody::PredictVelocities(float dt, phVec4& outVelocity, phVec4& outOmega) const
{
    outVelocity = velocity + force * (invMass.w * dt);
    if (!phIsFinite(outVelocity)) {
        outVelocity = Vec(0, 0, 0, velocity.w);
    }
    outOmega = phLimitSpin(omega + phRotate(GetWorldInverseInertia(), torque) * dt, dt);
    outOmega.w = omega.w;
}

float phRigidBody::RayCast(const phVec4& p0, const phVec4& p1, phRayFilter filter, void* data, float upperBound,
                           phRayPrefilter prefilter)
{
    if (collision == nullptr || filter == nullptr) {
        return upperBound;
    }
    const phVec4 l0 = phUntransformPoint(collisionMatrix, p0);
    const phVec4 l1 = phUntransformPoint(collisionMatrix, p1);
    phRayHit hit;
    const float t = collision->RayCast(l0, l1, &hit, prefilter, data);
    if (!(t < upperBound)) {
        return upperBound;
    }
    phVec4 normal = phRotate(collisionMatrix, hit.normal);
    normal.w = 0.0f;
    return filter(this, normal, hit.userId, data, t);
}
