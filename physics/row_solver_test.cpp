#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "physics/rigid_body.h"
#include "physics/contact_constraint.h"
#include "physics/material.h"
#include "physics/row_solver.h"

namespace {

struct WorkspaceDeleter {
    void operator()(phSolverWorkspace* w) const { phSolverWorkspace::Destroy(w); }
};
using Workspace = std::unique_ptr<phSolverWorkspace, WorkspaceDeleter>;

Workspace MakeWorkspace()
{
    Workspace w(phSolverWorkspace::Create());
    EXPECT_NE(w, nullptr);
    return w;
}

// Two free bodies (masses 1 and 2, inertias as given) in one island.
struct Island {
    Island(phSolverWorkspace& ws, int solverModel, int frictionModel) : a(nullptr, nullptr), b(nullptr, nullptr)
    {
        a.SetMass(1.0f, 1.0f, 2.0f, 1.5f);
        b.SetMass(2.0f, 3.0f, 1.0f, 2.0f);
        ws.BeginStep(solverModel, frictionModel, 0.25f);
        ws.BeginIsland();
        ia = ws.AddIslandBody(&a);
        ib = ws.AddIslandBody(&b);
    }
    phRigidBody a;
    phRigidBody b;
    int ia = -1;
    int ib = -1;
};

// The system the solver works on, in double, from first principles.
struct Reference {
    std::vector<std::vector<double>> a;
    std::vector<double> b;
};

double InvMass(const phRigidBody& body, int column)
{
    // Diagonal inverse mass for the six coordinates of a body at the identity.
    return column < 3 ? body.invMass.w : body.invMass[column - 3];
}

Reference BuildReference(const phRowParams& rows, int n, const phRigidBody& a, const phRigidBody& b)
{
    Reference r;
    r.a.assign(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n), 0.0));
    auto coeff = [&](int row, int k) {
        const phJacobianRow& j = rows.jacobian[row];
        const phVec4* parts[4] = {&j.linearA, &j.angularA, &j.linearB, &j.angularB};
        return static_cast<double>((*parts[k / 3])[k % 3]);
    };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double sum = 0;
            for (int k = 0; k < 12; ++k) {
                sum += coeff(i, k) * coeff(j, k) * (k < 6 ? InvMass(a, k) : InvMass(b, k - 6));
            }
            r.a[i][j] = sum;
        }
    }
    for (int i = 0; i < n; ++i) {
        r.a[i][i] *= 1.0 + rows.regularisation[i] * 0.001;
        r.b.push_back(rows.target[i]);
    }
    return r;
}

std::vector<double> Solve(std::vector<std::vector<double>> a, std::vector<double> b)
{
    const std::size_t n = b.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r) {
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
                pivot = r;
            }
        }
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (std::size_t r = c + 1; r < n; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < n; ++k) {
                a[r][k] -= f * a[c][k];
            }
            b[r] -= f * b[c];
        }
    }
    std::vector<double> x(n);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < n; ++k) {
            s -= a[i][k] * x[k];
        }
        x[i] = s / a[i][i];
    }
    return x;
}

double InverseNorm(const Reference& r)
{
    const std::size_t n = r.b.size();
    std::vector<double> rowSums(n, 0.0);
    for (std::size_t c = 0; c < n; ++c) {
        std::vector<double> e(n, 0.0);
        e[c] = 1.0;
        const std::vector<double> col = Solve(r.a, e);
        for (std::size_t i = 0; i < n; ++i) {
            rowSums[i] += std::fabs(col[i]);
        }
    }
    double m = 0;
    for (double v : rowSums) {
        m = std::max(m, v);
    }
    return m;
}

std::vector<double> ResidualOf(const Reference& r, const std::vector<float>& f)
{
    std::vector<double> s(r.b);
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t j = 0; j < s.size(); ++j) {
            s[i] -= r.a[i][j] * f[j];
        }
    }
    return s;
}

void RandomRows(std::mt19937& rng, phRowParams& rows, int n, float eps)
{
    std::uniform_real_distribution<float> u(-1, 1), t(-5, 5);
    rows.PresetBounds(n);
    for (int i = 0; i < n; ++i) {
        rows.jacobian[i] = {{u(rng), u(rng), u(rng), 0}, {u(rng), u(rng), u(rng), 0},
                            {u(rng), u(rng), u(rng), 0}, {u(rng), u(rng), u(rng), 0}};
        rows.target[i] = t(rng);
        rows.regularisation[i] = eps;
    }
}

}  // namespace

TEST(RowSolver, IterationLimits)
{
    Workspace ws = MakeWorkspace();
    struct Case {
        int model, rows, limit;
    } cases[] = {{0, 37, 37}, {-4, 37, 37}, {1, 20, 18}, {1, 10, 10}, {1, 116, 26}, {10, 4, 4}, {10, 30, 10}};
    for (const Case& c : cases) {
        ws->BeginStep(c.model, 1, 0.25f);
        EXPECT_EQ(ws->SolverModel(), c.model < 1 ? 0 : c.model);
        EXPECT_EQ(ws->MaxIterations(c.rows), c.limit) << c.model << " " << c.rows;
    }
}

TEST(RowSolver, UnboundedSystemsMatchGaussianElimination)
{
    std::mt19937 rng(5);
    for (int frictionModel = 0; frictionModel < 2; ++frictionModel) {
        for (int trial = 0; trial < 20; ++trial) {
            Workspace ws = MakeWorkspace();
            Island island(*ws, 0, frictionModel);
            const int n = 3 + trial % 6;
            phRowParams& rows = ws->RowBlock();
            RandomRows(rng, rows, n, trial % 2 == 0 ? 1.0f : 1.4f);
            float slots[16] = {};
            for (int i = 0; i < n; ++i) {
                rows.bounds[i].forceSlot = &slots[i];
            }
            ASSERT_TRUE(ws->AddRows(rows, n, island.ia, island.ib));
            const Reference ref = BuildReference(rows, n, island.a, island.b);
            const std::vector<double> exact = Solve(ref.a, ref.b);
            ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
            ws->SolveRows();

            std::vector<float> f(slots, slots + n);
            double worst = 0;
            for (double s : ResidualOf(ref, f)) {
                worst = std::max(worst, std::fabs(s));
            }
            EXPECT_LE(worst, 0.1 + 1e-3) << trial;
            const double bound = InverseNorm(ref) * (0.1 + 1e-3);
            for (int i = 0; i < n; ++i) {
                EXPECT_NEAR(f[i], exact[i], bound) << trial << " row " << i;
            }
            // The forces reach the bodies: force_A = sum of f · linear J of A.
            double fx = 0;
            for (int i = 0; i < n; ++i) {
                fx += f[i] * rows.jacobian[i].linearA.x;
            }
            EXPECT_NEAR(island.a.force.x, fx, 1e-3);
        }
    }
}

TEST(RowSolver, BoundedRowsFollowTheRules)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 30; ++trial) {
        Workspace ws = MakeWorkspace();
        Island island(*ws, 0, 1);
        const int n = 4 + trial % 5;
        phRowParams& rows = ws->RowBlock();
        RandomRows(rng, rows, n, 1.0f);
        float slots[16] = {};
        for (int i = 0; i < n; ++i) {
            rows.bounds[i].forceSlot = &slots[i];
            if (i % 3 == 0) {
                rows.bounds[i].normalIndex = phRowBounds::kClamped;
                rows.bounds[i].low = -0.5f;
                rows.bounds[i].high = 0.7f;
            } else if (i % 3 == 1) {
                rows.bounds[i].normalIndex = phRowBounds::kUnilateral;
                rows.bounds[i].low = 0.0f;
            }
        }
        ASSERT_TRUE(ws->AddRows(rows, n, island.ia, island.ib));
        const Reference ref = BuildReference(rows, n, island.a, island.b);
        ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
        ws->SolveRows();
        std::vector<float> f(slots, slots + n);
        const std::vector<double> s = ResidualOf(ref, f);
        for (int i = 0; i < n; ++i) {
            const phRowBounds& b = rows.bounds[i];
            const float lo = b.normalIndex == phRowBounds::kUnilateral ? 0.0f : b.low;
            EXPECT_GE(f[i], lo) << trial;
            EXPECT_LE(f[i], b.high) << trial;
            // At a bound the row stays there exactly; elsewhere its residual is small.
            if (f[i] != lo && f[i] != b.high) {
                EXPECT_LE(std::fabs(s[i]), 0.1 + 2e-3) << trial << " row " << i;
            }
        }
    }
}

TEST(RowSolver, FrictionBoundsFollowTheNormalForce)
{
    // One body on the static placeholder: a unilateral normal row along y and
    // a friction row along x that asks far more than friction allows.
    for (int frictionModel = 0; frictionModel < 2; ++frictionModel) {
        Workspace ws = MakeWorkspace();
        phRigidBody body(nullptr, nullptr);
        body.SetMass(1, 1, 1, 1);
        ws->BeginStep(0, frictionModel, 0.25f);
        ws->BeginIsland();
        const int ia = ws->AddIslandBody(&body);
        phRowParams& rows = ws->RowBlock();
        rows.PresetBounds(2);
        rows.jacobian[0] = {{0, 1, 0, 0}, {}, {}, {}};
        rows.jacobian[1] = {{1, 0, 0, 0}, {}, {}, {}};
        rows.target[0] = 10.0f;
        rows.target[1] = 100.0f;
        rows.regularisation[0] = rows.regularisation[1] = 1.0f;
        float slots[2] = {4.0f, 0.0f};
        rows.bounds[0] = {0.0f, 1e15f, phRowBounds::kUnilateral, &slots[0]};
        rows.bounds[1] = {-0.5f, 0.5f, 0, &slots[1]};
        ASSERT_TRUE(ws->AddRows(rows, 2, ia, 0));
        ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
        ws->SolveRows();
        // Model 0 solves the normal first (10 / 1.001); model 1 bounds
        // friction by the warm-started normal force 4.
        const float normal = frictionModel == 0 ? 10.0f / 1.001f : slots[0];
        EXPECT_NEAR(slots[0], 10.0f / 1.001f, 0.1f);
        EXPECT_NEAR(slots[1], 0.5f * (frictionModel == 0 ? normal : 4.0f), 1e-3f) << frictionModel;
        EXPECT_NEAR(body.force.x, slots[1], 1e-5f);
    }

    // A normal force of 0 gives friction bounds 0..0: the row is dropped,
    // exerts nothing and its slot is left alone.
    Workspace ws = MakeWorkspace();
    phRigidBody body(nullptr, nullptr);
    body.SetMass(1, 1, 1, 1);
    ws->BeginStep(10, 1, 0.25f);
    ws->BeginIsland();
    const int ia = ws->AddIslandBody(&body);
    phRowParams& rows = ws->RowBlock();
    rows.PresetBounds(2);
    rows.jacobian[0] = {{0, 1, 0, 0}, {}, {}, {}};
    rows.jacobian[1] = {{1, 0, 0, 0}, {}, {}, {}};
    rows.target[0] = 1.0f;
    rows.target[1] = 100.0f;
    rows.regularisation[0] = rows.regularisation[1] = 1.0f;
    float slots[2] = {0.0f, 3.0f};
    rows.bounds[0] = {0.0f, 1e15f, phRowBounds::kUnilateral, &slots[0]};
    rows.bounds[1] = {-0.9f, 0.9f, 0, &slots[1]};
    ASSERT_TRUE(ws->AddRows(rows, 2, ia, 0));
    ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
    ws->SolveRows();
    EXPECT_EQ(ws->RowCount(), 1);
    EXPECT_FLOAT_EQ(slots[1], 3.0f);
    EXPECT_FLOAT_EQ(body.force.x, 0.0f);
    EXPECT_GT(slots[0], 0.9f);
}

TEST(RowSolver, WarmStartAndBoundSnapping)
{
    // A system already solved is not iterated: the warm start is applied as is.
    Workspace ws = MakeWorkspace();
    phRigidBody body(nullptr, nullptr);
    body.SetMass(1, 1, 1, 1);
    ws->BeginStep(0, 1, 0.25f);
    ws->BeginIsland();
    int ia = ws->AddIslandBody(&body);
    phRowParams& rows = ws->RowBlock();
    rows.PresetBounds(2);
    rows.jacobian[0] = {{1, 0, 0, 0}, {}, {}, {}};
    rows.target[0] = 2.002f;
    rows.regularisation[0] = 1.0f;
    float slot = 2.0f;
    rows.bounds[0].forceSlot = &slot;
    ASSERT_TRUE(ws->AddRows(rows, 1, ia, 0));
    ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
    ws->SolveRows();
    EXPECT_FLOAT_EQ(slot, 2.0f);
    EXPECT_FLOAT_EQ(body.force.x, 2.0f);

    // A clamped row starting at its upper bound with the residual pushing
    // outward stays exactly there while the other row is solved.
    phRigidBody other(nullptr, nullptr);
    other.SetMass(1, 1, 1, 1);
    ws->BeginIsland();
    ia = ws->AddIslandBody(&other);
    rows.PresetBounds(2);
    rows.jacobian[0] = {{1, 0, 0, 0}, {}, {}, {}};
    rows.jacobian[1] = {{1, 1, 0, 0}, {}, {}, {}};
    rows.target[0] = 50.0f;
    rows.target[1] = 3.0f;
    rows.regularisation[0] = rows.regularisation[1] = 1.0f;
    float slots[2] = {1.0f, 0.0f};
    rows.bounds[0] = {0.0f, 1.0f, phRowBounds::kClamped, &slots[0]};
    rows.bounds[1].forceSlot = &slots[1];
    ASSERT_TRUE(ws->AddRows(rows, 2, ia, 0));
    ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
    ws->SolveRows();
    EXPECT_EQ(slots[0], 1.0f);
    // Row 1: (f0 + 2 f1 · 1.001) = 3 with f0 = 1.
    EXPECT_NEAR(slots[1], 2.0f / 2.002f, 0.05f);
}

TEST(RowSolver, CapacitiesAreChecked)
{
    Workspace ws = MakeWorkspace();
    ws->BeginStep(10, 1, 0.25f);
    ws->BeginIsland();
    std::vector<std::unique_ptr<phRigidBody>> bodies;
    int last = 0;
    for (int i = 0; i < phSolverWorkspace::kMaxIslandBodies; ++i) {
        bodies.push_back(std::make_unique<phRigidBody>(nullptr, nullptr));
        last = ws->AddIslandBody(bodies.back().get());
    }
    EXPECT_EQ(last, -1);
    EXPECT_EQ(ws->IslandBodyCount(), phSolverWorkspace::kMaxIslandBodies);

    phRowParams& rows = ws->RowBlock();
    rows.PresetBounds(phRowParams::kMaxRows);
    int chunks = 0;
    while (ws->AddRows(rows, phRowParams::kMaxRows, 1, 2)) {
        ++chunks;
    }
    EXPECT_EQ(chunks, phSolverWorkspace::kMaxRows / phRowParams::kMaxRows);
    EXPECT_TRUE(ws->AddRows(rows, phSolverWorkspace::kMaxRows % phRowParams::kMaxRows, 1, 2));
    EXPECT_EQ(ws->RowCount(), phSolverWorkspace::kMaxRows);
    EXPECT_FALSE(ws->AddRows(rows, 1, 1, 2));
    EXPECT_FALSE(ws->AddRows(rows, phRowParams::kMaxRows + 1, 1, 2));
    EXPECT_FALSE(ws->AddRows(rows, 1, 1, phSolverWorkspace::kMaxIslandBodies));
}

// The rows of one contact point against the world: friction takes the static
// coefficients up to a tangent speed of 0.3 inclusive, and flags 8, 16 and 32
// take the tangent and normal targets from the force slots.
TEST(RowSolver, ContactPointRowsPickCoefficientsAndTargets)
{
    constexpr float kInvDt = 60.0f;
    struct Case {
        float vx, vz;  // body velocity; the relative tangent speeds are -vx, -vz
        std::uint32_t flags;
        float low0, low1;            // expected -coefficient of each tangent
        float target0, target1, targetN;
    };
    const std::uint32_t base = phMaterialPair::kCollide | phMaterialPair::kFriction0 | phMaterialPair::kFriction1;
    const Case cases[] = {
        {0.3f, -0.3f, base, -0.9f, -0.8f, -0.3f * kInvDt, 0.3f * kInvDt, 0.0f},
        {0.30001f, 0.0f, base, -0.5f, -0.8f, -0.30001f * kInvDt, 0.0f, 0.0f},
        {0.0f, -0.31f, base, -0.9f, -0.4f, 0.0f, 0.31f * kInvDt, 0.0f},
        {0.3f, 0.0f, base | phMaterialPair::kTangent0Target, -0.9f, -0.8f, 7.0f, 0.0f, 0.0f},
        {0.0f, 0.5f, base | phMaterialPair::kTangent1Target, -0.9f, -0.4f, 0.0f, -2.0f, 0.0f},
        {0.0f, 0.0f, base | phMaterialPair::kNormalTarget, -0.9f, -0.8f, 0.0f, 0.0f, 5.0f},
    };
    for (const Case& c : cases) {
        phRigidBody body(nullptr, nullptr);
        body.SetMass(1, 1, 1, 1);
        body.velocity = {c.vx, 0, c.vz, 0};
        phContactConstraint contact(nullptr, nullptr);
        contact.child = &body;
        phMaterialPair m;
        m.contact.point = {0, -0.5f, 0, 1};
        m.contact.normal = {0, 1, 0, 0};
        m.tangent0 = {1, 0, 0, 0};
        m.tangent1 = {0, 0, 1, 0};
        m.staticFriction[0] = 0.9f;
        m.staticFriction[1] = 0.8f;
        m.kineticFriction[0] = 0.5f;
        m.kineticFriction[1] = 0.4f;
        m.forces[0] = 5.0f;
        m.forces[1] = 7.0f;
        m.forces[2] = -2.0f;
        m.flags = c.flags;
        phRowParams rows;
        rows.invTimeStep = kInvDt;
        rows.PresetBounds(3);
        ASSERT_EQ(phContactPointRows(rows, contact, m, 0, 1), 3);
        EXPECT_FLOAT_EQ(rows.target[0], c.targetN) << c.flags;
        EXPECT_EQ(rows.bounds[0].normalIndex, phRowBounds::kUnilateral);
        const float low[2] = {c.low0, c.low1};
        const float target[2] = {c.target0, c.target1};
        for (int k = 0; k < 2; ++k) {
            EXPECT_FLOAT_EQ(rows.bounds[1 + k].low, low[k]) << c.vx << " " << c.vz << " row " << k;
            EXPECT_FLOAT_EQ(rows.bounds[1 + k].high, -low[k]) << c.vx << " " << c.vz << " row " << k;
            EXPECT_EQ(rows.bounds[1 + k].normalIndex, 0);
            EXPECT_NEAR(rows.target[1 + k], target[k], 1e-3f) << c.flags << " row " << k;
        }
    }
}

// A bounded row that starts within 1e-5 of a bound with its residual pushing
// outward is fixed there before the first iteration; one just farther away
// takes an iteration to be stopped at the bound.
TEST(RowSolver, RowsWithinTheSnapDistanceLeaveBeforeIterating)
{
    struct Case {
        float start;
        float target;  // sign of the residual: which bound the row presses on
        int iterations;
    };
    // Row 0 is bounded to 0..1 and presses on a bound; row 1 (free, coupled
    // to it) needs one iteration by itself.
    const Case cases[] = {
        {1.0f - 0.5e-5f, 50.0f, 1},
        {1.0f - 2e-5f, 50.0f, 2},
        {0.5e-5f, -50.0f, 1},
        {2e-5f, -50.0f, 2},
    };
    for (const Case& c : cases) {
        Workspace ws = MakeWorkspace();
        phRigidBody body(nullptr, nullptr);
        body.SetMass(1, 1, 1, 1);
        ws->BeginStep(10, 1, 0.25f);
        ws->BeginIsland();
        const int ia = ws->AddIslandBody(&body);
        phRowParams& rows = ws->RowBlock();
        rows.PresetBounds(2);
        rows.jacobian[0] = {{1, 0, 0, 0}, {}, {}, {}};
        rows.jacobian[1] = {{0, 1, 0, 0}, {}, {}, {}};
        rows.target[0] = c.target;
        rows.target[1] = 3.0f;
        rows.regularisation[0] = rows.regularisation[1] = 1.0f;
        float slots[2] = {c.start, 0.0f};
        rows.bounds[0] = {0.0f, 1.0f, phRowBounds::kClamped, &slots[0]};
        rows.bounds[1].forceSlot = &slots[1];
        ASSERT_TRUE(ws->AddRows(rows, 2, ia, 0));
        ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
        ws->SolveRows();
        EXPECT_EQ(ws->IslandIterations(), c.iterations) << c.start;
        EXPECT_EQ(slots[0], c.target > 0 ? 1.0f : 0.0f) << c.start;
        EXPECT_NEAR(slots[1], 3.0f / 1.001f, 1e-4f) << c.start;
    }
}

// Rows that reach their bounds one after another each give the rest a fresh
// budget; the cap stops one call at kIterationCapFactor budgets of the whole
// set. Here 200 coupled rows with small bounds would each take an iteration.
TEST(RowSolver, IterationsOfOneCallAreCapped)
{
    constexpr int kRows = 200;
    Workspace ws = MakeWorkspace();
    phRigidBody body(nullptr, nullptr);
    body.SetMass(1, 1, 1, 1);
    ws->BeginStep(10, 1, 0.25f);
    ws->BeginIsland();
    const int ia = ws->AddIslandBody(&body);
    std::vector<float> slots(kRows, 0.0f);
    phRowParams& rows = ws->RowBlock();
    for (int base = 0; base < kRows; base += phRowParams::kMaxRows) {
        const int n = std::min(phRowParams::kMaxRows, kRows - base);
        rows.PresetBounds(n);
        for (int k = 0; k < n; ++k) {
            rows.jacobian[k] = {{1, 0, 0, 0}, {}, {}, {}};
            rows.target[k] = 100.0f;
            rows.regularisation[k] = 1.0f;
            rows.bounds[k] = {0.0f, 0.001f * static_cast<float>(base + k + 1), phRowBounds::kClamped,
                              &slots[static_cast<std::size_t>(base + k)]};
        }
        ASSERT_TRUE(ws->AddRows(rows, n, ia, 0));
    }
    ws->PrepareRows(ws->RowCount(), ws->IslandBodyCount());
    ws->SolveRows();
    EXPECT_EQ(ws->IslandIterations(), phSolverWorkspace::kIterationCapFactor * 10);
    for (int i = 0; i < kRows; ++i) {
        ASSERT_GE(slots[static_cast<std::size_t>(i)], 0.0f) << i;
        ASSERT_LE(slots[static_cast<std::size_t>(i)], 0.001f * static_cast<float>(i + 1) * (1.0f + 1e-5f)) << i;
    }
}
