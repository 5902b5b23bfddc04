#pragma once

#include <cstdint>

#include "physics/row_solver.h"

class phRigidBody;
struct VehicleTire;

// The vehicle joint's private system for one request: the chassis, its
// tires and the movable bodies they touch, with the rows between them,
// solved by a bounded, preconditioned conjugate gradient. Built on the
// stack and thrown away; nothing is kept between requests.
class VehicleSolver {
public:
    static constexpr int kMaxBodies = 64;
    static constexpr int kMaxRows = 512;
    // Entry 0 stands for anything static, entry 1 is the chassis.
    static constexpr int kStatic = 0;
    static constexpr int kChassis = 1;
    // The solve stops once every active residual is this small.
    static constexpr float kStopResidual = 0.1f;

    struct Body {
        phRigidBody* body = nullptr;
        VehicleTire* tire = nullptr;
        phVec4 force;
        phVec4 torque;
        phVec4 velocity;
        phVec4 omega;
        phVec4 forceAcc;
        phVec4 torqueAcc;
    };

    // Empties the system: the placeholder and the chassis.
    void Clear(phRigidBody* chassis);
    // Index of a new body entry (accumulators cleared), or -1 when full.
    int AddBody(phRigidBody* body, VehicleTire* tire);
    // Index of a new row with the given bodies, or -1 when full. Its force
    // is 0, its bounds unbounded and its ε 0 until set.
    int AddRow(int bodyA, int bodyB);

    // The bounded conjugate gradient over rows whose weighted Jacobian,
    // target, r, p and bounds are prepared; leaves the forces in force[].
    void Solve();
    // y = A x over the rows, with A = J M⁻¹ Jᵀ + diag(r).
    void Multiply(const float* x, float* y);

    Body bodies[kMaxBodies];
    int bodyCount = 0;
    int firstTouched = 0;
    int rowCount = 0;

    std::int32_t bodyA[kMaxRows];
    std::int32_t bodyB[kMaxRows];
    phJacobianRow jacobian[kMaxRows];
    phJacobianRow weighted[kMaxRows];
    float target[kMaxRows];
    float force[kMaxRows];
    float residual[kMaxRows];
    float direction[kMaxRows];
    float product[kMaxRows];
    float epsilon[kMaxRows];
    float regularising[kMaxRows];
    float invPrecondition[kMaxRows];
    float mask[kMaxRows];
    float low[kMaxRows];
    float high[kMaxRows];

private:
    phVec4 m_accLinear[kMaxBodies];
    phVec4 m_accAngular[kMaxBodies];
};
