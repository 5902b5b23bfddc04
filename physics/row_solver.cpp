#include "physics/row_solver.h"

#include <cmath>
#include <new>

#include "physics/memory.h"
#include "physics/rigid_body.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Below this residual a system is left as warm-started.
constexpr float kSolveThreshold = 0.0001f;
// The conjugate gradient stops once every residual is this small.
constexpr float kStopResidual = 0.1f;
constexpr float kBoundSnap = 1e-5f;
constexpr float kMinDirection = 1e-16f;
constexpr float kMinStep = 1e-8f;
constexpr float kMinCurvature = 1e-16f;
constexpr float kMinRho = 1e-17f;
// Rows whose bounds lie within this fraction of the step past the nearest one
// reach them in the same step.
constexpr float kTieTolerance = 1e-3f;

float Dot(const phJacobianRow& a, const phVec4& linA, const phVec4& angA, const phVec4& linB, const phVec4& angB)
{
    return phDot(a.linearA, linA) + phDot(a.angularA, angA) + phDot(a.linearB, linB) + phDot(a.angularB, angB);
}

phVec4 Dir(const phVec4& v) { return {v.x, v.y, v.z, 0.0f}; }

// The vector build: the same sums four lanes at a time. Jacobian w words are
// 0, so the fourth lane adds nothing.
#if defined(__SSE__)
inline __m128 Load(const phVec4& v) { return _mm_load_ps(&v.x); }

float DotSimd(const phJacobianRow& a, const phVec4& linA, const phVec4& angA, const phVec4& linB, const phVec4& angB)
{
    __m128 s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Load(a.linearA), Load(linA)), _mm_mul_ps(Load(a.angularA), Load(angA))),
                          _mm_add_ps(_mm_mul_ps(Load(a.linearB), Load(linB)), _mm_mul_ps(Load(a.angularB), Load(angB))));
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 1));
    return _mm_cvtss_f32(s);
}

inline void AddScaled(phVec4& acc, const phVec4& v, float x)
{
    _mm_store_ps(&acc.x, _mm_add_ps(Load(acc), _mm_mul_ps(Load(v), _mm_set1_ps(x))));
}
#else
float DotSimd(const phJacobianRow& a, const phVec4& linA, const phVec4& angA, const phVec4& linB, const phVec4& angB)
{
    return Dot(a, linA, angA, linB, angB);
}

inline void AddScaled(phVec4& acc, const phVec4& v, float x) { acc += v * x; }
#endif

template <typename T>
void Swap(T& a, T& b)
{
    T t = a;
    a = b;
    b = t;
}

}  // namespace

void phRowParams::PresetBounds(int count)
{
    count = count < kMaxRows ? count : kMaxRows;
    for (int i = 0; i < count; ++i) {
        bounds[i] = phRowBounds();
    }
}

phSolverWorkspace* phSolverWorkspace::Create()
{
    void* block = phMalloc(sizeof(phSolverWorkspace));
    return block != nullptr ? ::new (block) phSolverWorkspace() : nullptr;
}

void phSolverWorkspace::Destroy(phSolverWorkspace* workspace)
{
    if (workspace != nullptr) {
        workspace->~phSolverWorkspace();
        phFree(workspace);
    }
}

void phSolverWorkspace::BeginStep(int solverModel, int frictionModel, float frictionDropFactor)
{
    m_solverModel = solverModel < 1 ? 0 : solverModel;
    m_frictionModel = frictionModel;
    m_frictionDrop = frictionDropFactor;
    BeginIsland();
}

void phSolverWorkspace::BeginIsland()
{
    m_rowCount = 0;
    m_bodyCount = 1;
    m_bodies[0] = nullptr;
    m_invMass[0] = 0.0f;
    m_invInertia[0] = phMat4{};
}

int phSolverWorkspace::AddIslandBody(phRigidBody* body)
{
    if (m_bodyCount >= kMaxIslandBodies || body == nullptr) {
        return -1;
    }
    const int i = m_bodyCount++;
    m_bodies[i] = body;
    m_invMass[i] = body->invMass.w;
    m_invInertia[i] = body->GetWorldInverseInertia();
    return i;
}

bool phSolverWorkspace::AddRows(const phRowParams& params, int n, int a, int b)
{
    if (n <= 0) {
        return true;
    }
    if (n > phRowParams::kMaxRows || m_rowCount + n > kMaxRows || a < 0 || a >= m_bodyCount || b < 0 ||
        b >= m_bodyCount) {
        return false;
    }
    const float massSum = m_invMass[a] + m_invMass[b];
    const float drop = massSum > 0.0f ? m_frictionDrop / massSum : INFINITY;
    const int base = m_rowCount;
    for (int k = 0; k < n; ++k) {
        const int i = base + k;
        m_bodyA[i] = a;
        m_bodyB[i] = b;
        m_jacobian[i] = params.jacobian[k];
        m_bounds[i] = params.bounds[k];
        if (m_bounds[i].normalIndex >= 0) {
            // A friction row names its normal row inside the constraint.
            m_bounds[i].normalIndex =
                m_bounds[i].normalIndex < n ? m_bounds[i].normalIndex + base : phRowBounds::kFree;
        }
        m_rhs[i] = params.target[k];
        m_epsilon[i] = params.regularisation[k];
        m_dropThreshold[i] = drop;
    }
    m_rowCount += n;
    return true;
}

void phSolverWorkspace::PrepareRows(int rowCount, int bodyCount)
{
    m_rowCount = rowCount < kMaxRows ? rowCount : kMaxRows;
    m_bodyCount = bodyCount < kMaxIslandBodies ? bodyCount : kMaxIslandBodies;
    m_islandIterations = 0;
    static const phVec4 zero = {};
    for (int i = 0; i < m_rowCount; ++i) {
        const int a = m_bodyA[i];
        const int b = m_bodyB[i];
        const phJacobianRow& j = m_jacobian[i];
        phJacobianRow& w = m_weighted[i];
        w.linearA = j.linearA * m_invMass[a];
        w.angularA = phRotate(m_invInertia[a], j.angularA);
        w.linearB = j.linearB * m_invMass[b];
        w.angularB = phRotate(m_invInertia[b], j.angularB);
        w.linearA.w = w.angularA.w = w.linearB.w = w.angularB.w = 1.0f;
        const phRigidBody* ba = m_bodies[a];
        const phRigidBody* bb = m_bodies[b];
        m_rhs[i] -= DotOf(w, ba != nullptr ? Dir(ba->force) : zero, ba != nullptr ? Dir(ba->torque) : zero,
                        bb != nullptr ? Dir(bb->force) : zero, bb != nullptr ? Dir(bb->torque) : zero);
        const float d = DotOf(j, w.linearA, w.angularA, w.linearB, w.angularB);
        m_regularising[i] = d * m_epsilon[i] * 0.001f;
        const float den = (m_epsilon[i] * 0.001f + 1.0f) * d;
        // A row with no effect on its bodies gets no step of its own.
        m_invDiag[i] = den > 0.0f && std::isfinite(den) ? 1.0f / den : 0.0f;
    }
}

void phSolverWorkspace::Accumulate(int count, const float* x)
{
    for (int b = 0; b < m_bodyCount; ++b) {
        m_acc[b].linear = {};
        m_acc[b].angular = {};
    }
#if defined(__SSE__)
    if (m_simd && m_wide) {
        AccumulateSimd(count, x);
        return;
    }
#endif
    for (int i = 0; i < count; ++i) {
        const float xi = x[i];
        const phJacobianRow& w = m_weighted[i];
        Accumulator& a = m_acc[m_bodyA[i]];
        Accumulator& b = m_acc[m_bodyB[i]];
        if (m_simd) {
            AddScaled(a.linear, w.linearA, xi);
            AddScaled(a.angular, w.angularA, xi);
            AddScaled(b.linear, w.linearB, xi);
            AddScaled(b.angular, w.angularB, xi);
        } else {
            a.linear += w.linearA * xi;
            a.angular += w.angularA * xi;
            b.linear += w.linearB * xi;
            b.angular += w.angularB * xi;
        }
    }
}

#if defined(__SSE__)
void phSolverWorkspace::AccumulateSimd(int count, const float* x)
{
    // Rows of one contact mostly follow each other: their bodies' sums stay
    // in registers for the run instead of a store and reload per row. Each
    // sum still takes the same terms in the same order.
    int heldA = -1;
    int heldB = -1;
    __m128 linA = _mm_setzero_ps(), angA = linA, linB = linA, angB = linA;
    auto release = [&] {
        if (heldA >= 0) {
            _mm_store_ps(&m_acc[heldA].linear.x, linA);
            _mm_store_ps(&m_acc[heldA].angular.x, angA);
            _mm_store_ps(&m_acc[heldB].linear.x, linB);
            _mm_store_ps(&m_acc[heldB].angular.x, angB);
        }
        heldA = heldB = -1;
    };
    for (int i = 0; i < count; ++i) {
        const int a = m_bodyA[i];
        const int b = m_bodyB[i];
        const phJacobianRow& w = m_weighted[i];
        const __m128 xi = _mm_set1_ps(x[i]);
        if (a != heldA || b != heldB) {
            release();
            if (a == b) {
                Accumulator& acc = m_acc[a];
                AddScaled(acc.linear, w.linearA, x[i]);
                AddScaled(acc.angular, w.angularA, x[i]);
                AddScaled(acc.linear, w.linearB, x[i]);
                AddScaled(acc.angular, w.angularB, x[i]);
                continue;
            }
            heldA = a;
            heldB = b;
            linA = Load(m_acc[a].linear);
            angA = Load(m_acc[a].angular);
            linB = Load(m_acc[b].linear);
            angB = Load(m_acc[b].angular);
        }
        linA = _mm_add_ps(linA, _mm_mul_ps(Load(w.linearA), xi));
        angA = _mm_add_ps(angA, _mm_mul_ps(Load(w.angularA), xi));
        linB = _mm_add_ps(linB, _mm_mul_ps(Load(w.linearB), xi));
        angB = _mm_add_ps(angB, _mm_mul_ps(Load(w.angularB), xi));
    }
    release();
}
#endif

float phSolverWorkspace::MultiplyRows(int count, const float* x, float* y) { return MultiplyRows(count, x, y, nullptr); }

float phSolverWorkspace::MultiplyRows(int count, const float* x, float* y, float* residualDotX)
{
    Accumulate(count, x);
    // Σ s x (rho after a restart) rides along as a second chain of sums.
    float sx = 0.0f;
    // The hot loop of the solve: one branch for the whole pass, the products
    // inlined; x · y is summed on the way, row by row.
    float xy = 0.0f;
    int first = 0;
#if defined(__SSE__)
    if (m_simd && m_wide) {
        first = count & ~3;
        for (int i = 0; i < first; i += 4) {
            // DotSimd of four rows, their horizontal sums taken side by side
            // in the same order: (s0 + s2) + (s1 + s3).
            __m128 s[4];
            for (int k = 0; k < 4; ++k) {
                const phJacobianRow& j = m_jacobian[i + k];
                const Accumulator& a = m_acc[m_bodyA[i + k]];
                const Accumulator& b = m_acc[m_bodyB[i + k]];
                s[k] = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Load(j.linearA), Load(a.linear)),
                                             _mm_mul_ps(Load(j.angularA), Load(a.angular))),
                                  _mm_add_ps(_mm_mul_ps(Load(j.linearB), Load(b.linear)),
                                             _mm_mul_ps(Load(j.angularB), Load(b.angular))));
            }
            _MM_TRANSPOSE4_PS(s[0], s[1], s[2], s[3]);
            const __m128 dot = _mm_add_ps(_mm_add_ps(s[0], s[2]), _mm_add_ps(s[1], s[3]));
            const __m128 xi = _mm_loadu_ps(&x[i]);
            const __m128 yi = _mm_add_ps(dot, _mm_mul_ps(xi, _mm_loadu_ps(&m_regularising[i])));
            _mm_storeu_ps(&y[i], yi);
            alignas(16) float p[4];
            _mm_store_ps(p, _mm_mul_ps(xi, yi));
            if (residualDotX != nullptr) {
                alignas(16) float q[4];
                _mm_store_ps(q, _mm_mul_ps(_mm_loadu_ps(&m_residual[i]), xi));
                for (int k = 0; k < 4; ++k) {
                    xy += p[k];
                    sx += q[k];
                }
            } else {
                xy += p[0];
                xy += p[1];
                xy += p[2];
                xy += p[3];
            }
        }
    }
#endif
    auto pass = [&](auto dot) {
        for (int i = first; i < count; ++i) {
            const Accumulator& a = m_acc[m_bodyA[i]];
            const Accumulator& b = m_acc[m_bodyB[i]];
            y[i] = dot(m_jacobian[i], a.linear, a.angular, b.linear, b.angular) + x[i] * m_regularising[i];
            xy += x[i] * y[i];
            if (residualDotX != nullptr) {
                sx += m_residual[i] * x[i];
            }
        }
    };
    if (m_simd) {
        pass([](const auto&... v) { return DotSimd(v...); });
    } else {
        pass([](const auto&... v) { return Dot(v...); });
    }
    if (residualDotX != nullptr) {
        *residualDotX = sx;
    }
    return xy;
}

float phSolverWorkspace::ResidualOf(int outCount, int actingCount)
{
    Accumulate(actingCount, m_force);
    float largest = 0.0f;
    for (int i = 0; i < outCount; ++i) {
        const Accumulator& a = m_acc[m_bodyA[i]];
        const Accumulator& b = m_acc[m_bodyB[i]];
        const float ax = DotOf(m_jacobian[i], a.linear, a.angular, b.linear, b.angular) + m_force[i] * m_regularising[i];
        m_residual[i] = m_rhs[i] - ax;
        const float s = std::fabs(m_residual[i]);
        largest = s > largest ? s : largest;
    }
    return largest;
}

float phSolverWorkspace::Residual(int m) { return ResidualOf(m, m); }

int phSolverWorkspace::MaxIterations(int n) const
{
    if (m_solverModel <= 0) {
        return n;
    }
    if (m_solverModel == 1) {
        const int extra = n > 16 ? static_cast<int>(std::sqrt(static_cast<float>(n - 16))) : 0;
        const int limit = 16 + extra;
        return n < limit ? n : limit;
    }
    return n < m_solverModel ? n : m_solverModel;
}

void phSolverWorkspace::SwapRows(int i, int j)
{
    if (i == j) {
        return;
    }
    Swap(m_bodyA[i], m_bodyA[j]);
    Swap(m_bodyB[i], m_bodyB[j]);
    Swap(m_jacobian[i], m_jacobian[j]);
    Swap(m_weighted[i], m_weighted[j]);
    Swap(m_bounds[i], m_bounds[j]);
    Swap(m_invDiag[i], m_invDiag[j]);
    Swap(m_regularising[i], m_regularising[j]);
    Swap(m_epsilon[i], m_epsilon[j]);
    Swap(m_rhs[i], m_rhs[j]);
    Swap(m_dropThreshold[i], m_dropThreshold[j]);
    Swap(m_residual[i], m_residual[j]);
    Swap(m_force[i], m_force[j]);
    Swap(m_direction[i], m_direction[j]);
    Swap(m_product[i], m_product[j]);
    Swap(m_perm[i], m_perm[j]);
}

void phSolverWorkspace::SetupActive(int& active, float& rho, float& maxResidual)
{
    rho = 0.0f;
    maxResidual = 0.0f;
    int i = 0;
    while (i < active) {
        const phRowBounds& bd = m_bounds[i];
        const float s = m_residual[i];
        if (std::fabs(m_force[i] - bd.low) <= kBoundSnap && s < 0.0f) {
            m_force[i] = bd.low;
            SwapRows(i, --active);
            continue;
        }
        if (std::fabs(m_force[i] - bd.high) <= kBoundSnap && s > 0.0f) {
            m_force[i] = bd.high;
            SwapRows(i, --active);
            continue;
        }
        const float z = m_invDiag[i] * s;
        m_direction[i] = z;
        rho += s * z;
        maxResidual = std::fabs(s) > maxResidual ? std::fabs(s) : maxResidual;
        ++i;
    }
}

int phSolverWorkspace::ConjugateGradient(int m)
{
    int active = m;
    float rho = 0.0f;
    float maxResidual = 0.0f;
    SetupActive(active, rho, maxResidual);
    // Each row that reaches a bound gives the smaller set a fresh budget (a
    // strict one leaves stacks unsolved); without a cap one call could take
    // rows × budget iterations. Capped, an island's worst case is known:
    // kIterationCapFactor budgets per call, and at most two calls.
    const int cap = kIterationCapFactor * MaxIterations(m);
    int iterations = 0;
    int total = 0;
    // After a restart of the vector build, rho is summed by the next product.
    bool deferredRho = false;
    while (active > 0 && maxResidual > kStopResidual && iterations < MaxIterations(active) && total < cap) {
        ++iterations;
        ++total;
        float curvature = MultiplyRows(active, m_direction, m_product, deferredRho ? &rho : nullptr);
        deferredRho = false;
        if (curvature < kMinCurvature) {
            curvature = kMinCurvature;
        }
        float alpha = rho / curvature;
        int blocking = -1;
        float bound = 0.0f;
        for (int i = 0; i < active; ++i) {
            if (m_simd && m_wide && (i & 3) == 0 && i + 4 <= active && !MayBlock(i, alpha)) {
                i += 3;
                continue;
            }
            const float d = m_direction[i];
            const float next = m_force[i] + alpha * d;
            const phRowBounds& bd = m_bounds[i];
            if (d < -kMinDirection && next <= bd.low) {
                alpha = (bd.low - m_force[i]) / d;
                blocking = i;
                bound = bd.low;
            } else if (d > kMinDirection && next >= bd.high) {
                alpha = (bd.high - m_force[i]) / d;
                blocking = i;
                bound = bd.high;
            } else {
                continue;
            }
            if (alpha < kMinStep) {
                break;
            }
        }
        if (blocking >= 0) {
            // Rows that reach their bounds together leave together: taken
            // one at a time, rounding picks among mirror-image rows (the
            // corners of a box) and tips a symmetric system to one side.
            MarkRowsAtBound(active, alpha < kMinStep ? kMinStep : alpha * (1.0f + kTieTolerance));
            m_atBound[blocking] = 1;
        }
        if (blocking >= 0 && alpha < kMinStep) {
            (void)bound;
            active = ClampRowsAtBound(active);
            SetupActive(active, rho, maxResidual);
            iterations = 0;  // a fresh budget for the smaller set
            continue;
        }
        maxResidual = 0.0f;
        // The next rho is summed on the way. A step that meets a bound
        // restarts the search: it needs neither rho nor the largest residual.
        float rhoNext = 0.0f;
        const bool sums = blocking < 0;
        int first = 0;
#if defined(__SSE__)
        if (m_simd && m_wide) {
            first = StepRowsSimd(active, alpha, sums, maxResidual, rhoNext);
        }
#endif
        for (int i = first; i < active; ++i) {
            m_force[i] += alpha * m_direction[i];
            const float r = m_residual[i] - alpha * m_product[i];
            m_residual[i] = r;
            if (sums) {
                const float s = std::fabs(r);
                maxResidual = s > maxResidual ? s : maxResidual;
                rhoNext += r * m_invDiag[i] * r;
            }
        }
        if (blocking >= 0) {
            active = ClampRowsAtBound(active);
            iterations = 0;
            // The search restarts along the preconditioned residual; rho
            // belongs to that direction (a stale rho makes the next step
            // overshoot and the residual grow).
            rho = 0.0f;
            maxResidual = 0.0f;
            int restart = 0;
#if defined(__SSE__)
            if (m_simd && m_wide) {
                restart = RestartRowsSimd(active, maxResidual);
                deferredRho = true;
            }
#endif
            for (int i = restart; i < active; ++i) {
                const float s = m_residual[i];
                maxResidual = std::fabs(s) > maxResidual ? std::fabs(s) : maxResidual;
                m_direction[i] = m_invDiag[i] * s;
                if (!deferredRho) {
                    rho += s * m_direction[i];
                }
            }
            continue;
        }
        if (maxResidual > kStopResidual) {
            const float beta = rhoNext / (rho < kMinRho ? kMinRho : rho);
            for (int i = 0; i < active; ++i) {
                m_direction[i] = m_invDiag[i] * m_residual[i] + beta * m_direction[i];
            }
            rho = rhoNext;
        }
    }
    m_islandIterations += total;
    return active;
}

#if defined(__SSE__)
namespace {

// The largest lane by the scalar rule (s > m ? s : m); lanes hold no NaN.
float LargestLane(__m128 v)
{
    alignas(16) float lane[4];
    _mm_store_ps(lane, v);
    float m = lane[0];
    for (int k = 1; k < 4; ++k) {
        m = lane[k] > m ? lane[k] : m;
    }
    return m;
}

// Adds the four lanes to sum one after another, as the scalar loop does.
void AddLanes(float& sum, __m128 v)
{
    alignas(16) float lane[4];
    _mm_store_ps(lane, v);
    sum += lane[0];
    sum += lane[1];
    sum += lane[2];
    sum += lane[3];
}

inline __m128 Abs(__m128 v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }

}  // namespace

int phSolverWorkspace::StepRowsSimd(int active, float alpha, bool sums, float& maxResidual, float& rhoNext)
{
    // f += alpha d, s -= alpha q, the largest |s| and the sum of s p s, four
    // rows at a time with the scalar loop's arithmetic and summing order
    // (maxps keeps the larger lane and drops NaN as the scalar test does).
    const int whole = active & ~3;
    const __m128 a = _mm_set1_ps(alpha);
    if (!sums) {
        for (int i = 0; i < whole; i += 4) {
            _mm_storeu_ps(&m_force[i],
                          _mm_add_ps(_mm_loadu_ps(&m_force[i]), _mm_mul_ps(a, _mm_loadu_ps(&m_direction[i]))));
            _mm_storeu_ps(&m_residual[i],
                          _mm_sub_ps(_mm_loadu_ps(&m_residual[i]), _mm_mul_ps(a, _mm_loadu_ps(&m_product[i]))));
        }
        return whole;
    }
    __m128 largest = _mm_set1_ps(maxResidual);
    for (int i = 0; i < whole; i += 4) {
        _mm_storeu_ps(&m_force[i], _mm_add_ps(_mm_loadu_ps(&m_force[i]), _mm_mul_ps(a, _mm_loadu_ps(&m_direction[i]))));
        const __m128 r = _mm_sub_ps(_mm_loadu_ps(&m_residual[i]), _mm_mul_ps(a, _mm_loadu_ps(&m_product[i])));
        _mm_storeu_ps(&m_residual[i], r);
        largest = _mm_max_ps(Abs(r), largest);
        AddLanes(rhoNext, _mm_mul_ps(_mm_mul_ps(r, _mm_loadu_ps(&m_invDiag[i])), r));
    }
    maxResidual = LargestLane(largest);
    return whole;
}

int phSolverWorkspace::RestartRowsSimd(int active, float& maxResidual)
{
    // d = p s and the largest |s|, as the scalar loop; rho waits for the
    // product, where its chain of sums runs beside another.
    const int whole = active & ~3;
    __m128 largest = _mm_set1_ps(maxResidual);
    for (int i = 0; i < whole; i += 4) {
        const __m128 r = _mm_loadu_ps(&m_residual[i]);
        largest = _mm_max_ps(Abs(r), largest);
        const __m128 d = _mm_mul_ps(_mm_loadu_ps(&m_invDiag[i]), r);
        _mm_storeu_ps(&m_direction[i], d);
    }
    maxResidual = LargestLane(largest);
    return whole;
}
#endif

inline bool phSolverWorkspace::MayBlock(int i, float alpha) const
{
#if defined(__SSE__)
    // The rows' tests of the step-length search, four at once with the same
    // arithmetic; f + alpha d only grows as alpha shrinks, so a row that
    // passes here passes against any smaller alpha of the search too.
    const phRowBounds* bd = &m_bounds[i];
    const __m128 low = _mm_setr_ps(bd[0].low, bd[1].low, bd[2].low, bd[3].low);
    const __m128 high = _mm_setr_ps(bd[0].high, bd[1].high, bd[2].high, bd[3].high);
    const __m128 d = _mm_loadu_ps(&m_direction[i]);
    const __m128 next = _mm_add_ps(_mm_loadu_ps(&m_force[i]), _mm_mul_ps(_mm_set1_ps(alpha), d));
    const __m128 down = _mm_and_ps(_mm_cmplt_ps(d, _mm_set1_ps(-kMinDirection)), _mm_cmple_ps(next, low));
    const __m128 up = _mm_and_ps(_mm_cmpgt_ps(d, _mm_set1_ps(kMinDirection)), _mm_cmpge_ps(next, high));
    return _mm_movemask_ps(_mm_or_ps(down, up)) != 0;
#else
    (void)i;
    (void)alpha;
    return true;
#endif
}

void phSolverWorkspace::MarkRowsAtBound(int active, float reach)
{
    int i = 0;
#if defined(__SSE__)
    if (m_simd && m_wide) {
        // The same quotients four rows at a time.
        const __m128 reach4 = _mm_set1_ps(reach);
        // A row that does not move is an infinite step away.
        const __m128 still = _mm_cmple_ps(_mm_set1_ps(INFINITY), reach4);
        for (; i + 4 <= active; i += 4) {
            const phRowBounds* bd = &m_bounds[i];
            const __m128 low = _mm_setr_ps(bd[0].low, bd[1].low, bd[2].low, bd[3].low);
            const __m128 high = _mm_setr_ps(bd[0].high, bd[1].high, bd[2].high, bd[3].high);
            const __m128 d = _mm_loadu_ps(&m_direction[i]);
            const __m128 down = _mm_cmplt_ps(d, _mm_set1_ps(-kMinDirection));
            const __m128 up = _mm_cmpgt_ps(d, _mm_set1_ps(kMinDirection));
            const __m128 limit = _mm_or_ps(_mm_and_ps(down, low), _mm_andnot_ps(down, high));
            // Rows that move too little divide by 1 and are masked out.
            const __m128 moving = _mm_or_ps(down, up);
            const __m128 divisor = _mm_or_ps(_mm_and_ps(moving, d), _mm_andnot_ps(moving, _mm_set1_ps(1.0f)));
            const __m128 step = _mm_div_ps(_mm_sub_ps(limit, _mm_loadu_ps(&m_force[i])), divisor);
            const int hit = _mm_movemask_ps(
                _mm_or_ps(_mm_and_ps(moving, _mm_cmple_ps(step, reach4)), _mm_andnot_ps(moving, still)));
            for (int k = 0; k < 4; ++k) {
                m_atBound[i + k] = static_cast<std::uint8_t>((hit >> k) & 1);
            }
        }
    }
#endif
    for (; i < active; ++i) {
        const float d = m_direction[i];
        const phRowBounds& bd = m_bounds[i];
        float step = INFINITY;
        if (d < -kMinDirection) {
            step = (bd.low - m_force[i]) / d;
        } else if (d > kMinDirection) {
            step = (bd.high - m_force[i]) / d;
        }
        m_atBound[i] = step <= reach ? 1 : 0;
    }
}

int phSolverWorkspace::ClampRowsAtBound(int active)
{
    // From the end, so a row swapped in from behind was already looked at.
    for (int i = active - 1; i >= 0; --i) {
        if (m_atBound[i] != 0) {
            m_force[i] = m_direction[i] < 0.0f ? m_bounds[i].low : m_bounds[i].high;
            SwapRows(i, --active);
        }
    }
    return active;
}

void phSolverWorkspace::ApplyForces()
{
    for (int i = 0; i < m_rowCount; ++i) {
        const float f = m_force[i];
        const phJacobianRow& j = m_jacobian[i];
        if (phRigidBody* a = m_bodies[m_bodyA[i]]) {
            if (m_simd) {
                AddScaled(a->force, j.linearA, f);
                AddScaled(a->torque, j.angularA, f);
            } else {
                a->force += j.linearA * f;
                a->torque += j.angularA * f;
            }
        }
        if (phRigidBody* b = m_bodies[m_bodyB[i]]) {
            if (m_simd) {
                AddScaled(b->force, j.linearB, f);
                AddScaled(b->torque, j.angularB, f);
            } else {
                b->force += j.linearB * f;
                b->torque += j.angularB * f;
            }
        }
    }
}

void phSolverWorkspace::SolveRows()
{
    int count = m_rowCount;
    for (int i = 0; i < count; ++i) {
        m_force[i] = m_bounds[i].forceSlot != nullptr ? *m_bounds[i].forceSlot : 0.0f;
        m_perm[i] = i;
    }
    // Free rows first, then the clamped and unilateral ones; friction behind.
    int free = 0;
    for (int i = 0; i < count; ++i) {
        if (m_bounds[i].normalIndex == phRowBounds::kFree) {
            SwapRows(i, free++);
        }
    }
    int clamped = free;
    for (int i = free; i < count; ++i) {
        phRowBounds& bd = m_bounds[i];
        if (bd.normalIndex == phRowBounds::kClamped || bd.normalIndex == phRowBounds::kUnilateral) {
            if (bd.normalIndex == phRowBounds::kUnilateral && bd.low < 0.0f) {
                bd.low = 0.0f;
            }
            float& f = m_force[i];
            f = f < bd.low ? bd.low : (f > bd.high ? bd.high : f);
            SwapRows(i, clamped++);
        }
    }
    const bool hasFriction = clamped < count;

    int firstActive = clamped;
    if (m_frictionModel == 0) {
        if (ResidualOf(clamped, clamped) > kSolveThreshold) {
            firstActive = ConjugateGradient(clamped);
        }
        for (int i = 0; i < clamped; ++i) {
            if (float* slot = m_bounds[i].forceSlot) {
                *slot = m_force[i];
            }
        }
        if (!hasFriction) {
            ApplyForces();
            return;
        }
    }

    // Friction rows follow the rows' new places, then take their bounds from
    // their normal forces.
    for (int i = 0; i < count; ++i) {
        m_position[m_perm[i]] = i;
    }
    for (int i = clamped; i < count; ++i) {
        const std::int32_t n = m_bounds[i].normalIndex;
        if (n >= 0 && n < m_rowCount) {
            m_bounds[i].normalIndex = m_position[n];
        }
    }
    int i = clamped;
    while (i < count) {
        phRowBounds& bd = m_bounds[i];
        const std::int32_t n = bd.normalIndex;
        float normal = n >= 0 && n < clamped ? m_force[n] : 0.0f;
        normal = normal > 0.0f ? normal : 0.0f;
        const float lo = normal * bd.low;
        const float hi = normal * bd.high;
        if ((hi < -lo ? hi : -lo) <= m_dropThreshold[i]) {
            SwapRows(i, --count);
            continue;
        }
        bd.low = lo;
        bd.high = hi;
        float& f = m_force[i];
        f = f < lo ? lo : (f > hi ? hi : f);
        ++i;
    }
    // Dropped friction rows exert nothing.
    m_rowCount = count;

    int active = count;
    if (m_frictionModel == 0) {
        // Rows the first pass fixed at a bound go behind all others.
        const int fixed = clamped - firstActive;
        for (int k = 0; k < fixed && firstActive + k < count - 1 - k; ++k) {
            SwapRows(firstActive + k, count - 1 - k);
        }
        active = count - fixed;
    }
    // The residual counts the forces of every live row, the fixed ones too.
    if (ResidualOf(active, count) > kSolveThreshold) {
        ConjugateGradient(active);
    }
    for (int k = 0; k < count; ++k) {
        // With friction model 0 the rows of the first pass keep its forces:
        // they start that pass next step, and the joint solve's forces would
        // start it off balance every step (stacks crept over and fell).
        if (m_frictionModel == 0 && m_bounds[k].normalIndex < 0) {
            continue;
        }
        if (float* slot = m_bounds[k].forceSlot) {
            *slot = m_force[k];
        }
    }
    ApplyForces();
}

float phSolverWorkspace::DotOf(const phJacobianRow& row, const phVec4& linA, const phVec4& angA, const phVec4& linB,
                               const phVec4& angB) const
{
    return m_simd ? DotSimd(row, linA, angA, linB, angB) : Dot(row, linA, angA, linB, angB);
}
