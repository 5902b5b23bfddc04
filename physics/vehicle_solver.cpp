#include "physics/vehicle_solver.h"

#include <cmath>

namespace {

constexpr float kUnbounded = 1e15f;
constexpr float kMinCurvature = 1e-16f;
constexpr float kMinRho = 1e-17f;

}  // namespace

void VehicleSolver::Clear(phRigidBody* chassis)
{
    bodyCount = 0;
    rowCount = 0;
    AddBody(nullptr, nullptr);
    AddBody(chassis, nullptr);
    firstTouched = bodyCount;
}

int VehicleSolver::AddBody(phRigidBody* body, VehicleTire* tire)
{
    if (bodyCount >= kMaxBodies) {
        return -1;
    }
    const int i = bodyCount++;
    bodies[i] = Body();
    bodies[i].body = body;
    bodies[i].tire = tire;
    return i;
}

int VehicleSolver::AddRow(int a, int b)
{
    if (rowCount >= kMaxRows) {
        return -1;
    }
    const int i = rowCount++;
    bodyA[i] = a;
    bodyB[i] = b;
    jacobian[i] = phJacobianRow();
    target[i] = 0.0f;
    force[i] = 0.0f;
    epsilon[i] = 0.0f;
    low[i] = -kUnbounded;
    high[i] = kUnbounded;
    mask[i] = 1.0f;
    return i;
}

void VehicleSolver::Multiply(const float* x, float* y)
{
    for (int b = 0; b < bodyCount; ++b) {
        m_accLinear[b] = {};
        m_accAngular[b] = {};
    }
    for (int i = 0; i < rowCount; ++i) {
        const phJacobianRow& w = weighted[i];
        m_accLinear[bodyA[i]] += w.linearA * x[i];
        m_accAngular[bodyA[i]] += w.angularA * x[i];
        m_accLinear[bodyB[i]] += w.linearB * x[i];
        m_accAngular[bodyB[i]] += w.angularB * x[i];
    }
    for (int i = 0; i < rowCount; ++i) {
        const phJacobianRow& j = jacobian[i];
        y[i] = phDot(j.linearA, m_accLinear[bodyA[i]]) + phDot(j.angularA, m_accAngular[bodyA[i]]) +
               phDot(j.linearB, m_accLinear[bodyB[i]]) + phDot(j.angularB, m_accAngular[bodyB[i]]) +
               x[i] * regularising[i];
    }
}

void VehicleSolver::Solve()
{
    const int m = rowCount;
    if (m <= 0) {
        return;
    }
    float rho = 0.0f;
    for (int i = 0; i < m; ++i) {
        residual[i] = target[i];
        direction[i] = invPrecondition[i] * residual[i];
        rho += invPrecondition[i] * residual[i] * residual[i];
    }
    const int budget = static_cast<int>(std::sqrt(static_cast<float>(m))) + 6;
    float largest = 0.2f;
    int pass = 0;
    while (pass < budget && largest > kStopResidual) {
        Multiply(direction, product);
        float dq = 0.0f;
        for (int i = 0; i < m; ++i) {
            dq += direction[i] * product[i];
        }
        if (!(dq > kMinCurvature)) {
            dq = kMinCurvature;
        }
        float alpha = rho / dq;
        int blocking = -1;
        float bound = 0.0f;
        for (int i = 0; i < m; ++i) {
            // A row that cannot move cannot block.
            if (mask[i] == 0.0f || direction[i] == 0.0f) {
                continue;
            }
            const float next = force[i] + alpha * direction[i];
            if (next < low[i]) {
                alpha = (low[i] - force[i]) / direction[i];
                blocking = i;
                bound = low[i];
            } else if (next > high[i]) {
                alpha = (high[i] - force[i]) / direction[i];
                blocking = i;
                bound = high[i];
            }
        }
        for (int i = 0; i < m; ++i) {
            force[i] += alpha * direction[i];
            residual[i] -= alpha * product[i];
        }
        largest = 0.0f;
        if (blocking >= 0) {
            mask[blocking] = 0.0f;
            force[blocking] = bound;
            rho = 0.0f;
            for (int i = 0; i < m; ++i) {
                direction[i] = residual[i] * invPrecondition[i] * mask[i];
                rho += residual[i] * direction[i];
                const float r = std::fabs(residual[i] * mask[i]);
                largest = r > largest ? r : largest;
            }
            pass = 0;
            continue;
        }
        for (int i = 0; i < m; ++i) {
            const float r = std::fabs(residual[i] * mask[i]);
            largest = r > largest ? r : largest;
        }
        if (largest > kStopResidual) {
            float next = 0.0f;
            for (int i = 0; i < m; ++i) {
                const float z = mask[i] * invPrecondition[i] * residual[i];
                next += z * residual[i];
            }
            const float beta = next / (rho > kMinRho ? rho : kMinRho);
            for (int i = 0; i < m; ++i) {
                direction[i] = mask[i] * invPrecondition[i] * residual[i] + beta * direction[i];
            }
            rho = next;
        }
        ++pass;
    }
}
