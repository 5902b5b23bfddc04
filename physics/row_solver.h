#pragma once

#include <cstdint>

#include "physics/mat4.h"

class phPhysWorld;
class phRigidBody;
class phConstraint;

// Bounds of one row's force.
struct phRowBounds {
    // Unclamped row (the bounds still limit the solve).
    static constexpr std::int32_t kFree = -1;
    // Contact normal: force at least 0.
    static constexpr std::int32_t kUnilateral = -2;
    // Force clamped into low..high.
    static constexpr std::int32_t kClamped = -3;

    // For a friction row: the signed coefficient; the force bound is it
    // times the normal row's force.
    float low = -1e15f;
    float high = 1e15f;
    // One of the kinds above, or for a friction row the index of its normal row.
    std::int32_t normalIndex = kFree;
    // Where the last step's force is read and the new one written; may be null.
    float* forceSlot = nullptr;
};

// Linear and angular parts for body A, then for body B; w words 0.
struct phJacobianRow {
    phVec4 linearA;
    phVec4 angularA;
    phVec4 linearB;
    phVec4 angularB;
};

// The rows one constraint writes when the solver asks it.
struct phRowParams {
    static constexpr int kMaxRows = 48;

    phPhysWorld* world = nullptr;
    float timeStep = 0.0f;
    float invTimeStep = 0.0f;
    phJacobianRow jacobian[kMaxRows];
    phRowBounds bounds[kMaxRows];
    float target[kMaxRows] = {};
    // 1.0 for contacts, the joint's stiffness for joints.
    float regularisation[kMaxRows] = {};

    // Presets the bounds of the first count rows.
    void PresetBounds(int count);
};

// The island solve: one bounded linear system J M⁻¹ Jᵀ f = b (plus a small
// diagonal) over the island's rows, by conjugate gradients with an active
// set. Rows live in structure-of-arrays form and are reordered by swapping
// so the active ones stay a prefix. Allocated once per world.
class phSolverWorkspace {
public:
    static constexpr int kMaxIslandBodies = 512;
    static constexpr int kMaxRows = 16384;
    static constexpr int kMaxIslandConstraints = 16384;
    // Constraints listed around one sub-stepped constraint after a part.
    static constexpr int kMaxLinked = 8192;
    // Parts of one step beyond which sub-stepping stops (a step far longer
    // than a frame).
    static constexpr int kMaxSubsteps = 64;
    // Iterations one conjugate-gradient call may take over all its active
    // sets, in budgets of MaxIterations(rows).
    static constexpr int kIterationCapFactor = 16;

    // The whole solver pass of a step: islands of the awake bodies are
    // built, solved, integrated and put to sleep; contacts the pass met and
    // the collision pass did not refresh are released.
    void UpdateIslands(phPhysWorld& world);
    // Collects the island of an awake, movable body, gathers its rows and
    // solves them. Returns the island's body count with the placeholder.
    // An island stops growing when a table is full; the bodies it could not
    // take are kept as seeds of later islands of the same step.
    int BuildIsland(phRigidBody* body, std::uint64_t visitMark);
    // Integrates bodies 1..count-1 and tests them for rest; true when the
    // whole island may sleep. The substep form holds transform callbacks back.
    bool FinishIsland(int bodyCount, float dt);
    bool FinishIslandSubstep(int bodyCount, float dt);
    // The vector build of the hot loops (both give the same steps).
    void SetSimd(bool on) { m_simd = on; }
    bool Simd() const { return m_simd; }
    // The vector build's loops over several rows at once (on by default).
    // Off, it runs row by row as it did first: the reference the wide loops
    // are tested against, bit for bit.
    void SetWideLoops(bool on) { m_wide = on; }
    phRigidBody* IslandBody(int i) const { return m_bodies[i]; }

    // Null when memory runs out.
    static phSolverWorkspace* Create();
    static void Destroy(phSolverWorkspace* workspace);

    // Settings copied from the world at the start of a step.
    void BeginStep(int solverModel, int frictionModel, float frictionDropFactor);
    // Empties the island; entry 0 is the static placeholder.
    void BeginIsland();
    // Island index of the body, or -1 when the island is full.
    int AddIslandBody(phRigidBody* body);
    // Copies n rows of params for the bodies at island indices a and b
    // (0: static or none). False, and nothing copied, when the rows do not
    // fit; friction rows are renumbered into the island.
    bool AddRows(const phRowParams& params, int n, int a, int b);
    phRowParams& RowBlock() { return m_rowBlock; }

    void PrepareRows(int rowCount, int bodyCount);
    // The whole solve, ending with ApplyForces.
    void SolveRows();
    // Returns the number of rows still active.
    int ConjugateGradient(int m);
    // Largest |b - A f| over the first m rows (the forces of those rows only).
    float Residual(int m);
    // Returns x · y.
    float MultiplyRows(int count, const float* x, float* y);
    int MaxIterations(int n) const;
    void ApplyForces();
    void SwapRows(int i, int j);
    // Flags the first active rows whose bounds lie within reach along the
    // search direction; clamps the flagged rows and moves them behind the
    // active ones, returning the new active count.
    void MarkRowsAtBound(int active, float reach);
    int ClampRowsAtBound(int active);

    int RowCount() const { return m_rowCount; }
    // Conjugate-gradient iterations of the current island so far.
    int IslandIterations() const { return m_islandIterations; }
    int IslandBodyCount() const { return m_bodyCount; }
    int SolverModel() const { return m_solverModel; }
    // Row i as it stands now (after reordering).
    float Force(int i) const { return m_force[i]; }
    float RowResidual(int i) const { return m_residual[i]; }
    const phRowBounds& Bounds(int i) const { return m_bounds[i]; }
    std::int32_t Permutation(int i) const { return m_perm[i]; }

private:
    phSolverWorkspace() = default;
    float ResidualOf(int outCount, int actingCount);
    void Accumulate(int count, const float* x);
    void AccumulateSimd(int count, const float* x);
    void SetupActive(int& active, float& rho, float& maxResidual);
    // False when none of rows i..i+3 can meet a bound within alpha.
    bool MayBlock(int i, float alpha) const;
    // Vector forms of the conjugate-gradient step's row loops over the first
    // whole groups of four rows; return how many rows they did.
    int StepRowsSimd(int active, float alpha, bool sums, float& maxResidual, float& rhoNext);
    int RestartRowsSimd(int active, float& maxResidual);
    // MultiplyRows that also sums residual · x into *residualDotX when not null.
    float MultiplyRows(int count, const float* x, float* y, float* residualDotX);
    float DotOf(const phJacobianRow& row, const phVec4& linA, const phVec4& angA, const phVec4& linB,
                const phVec4& angB) const;

    struct Accumulator {
        phVec4 linear;
        phVec4 angular;
    };

    bool FinishIslandBodies(int bodyCount, float dt, bool holdTransform);
    // Builds, solves and finishes the island of body; returns its body count.
    int SolveIsland(phRigidBody* body, std::uint64_t handled, bool frontier, bool substep = false);
    // The islands of the sub-stepped constraints, in parts of the step.
    void RunSubsteps(std::uint64_t handled);

    bool m_simd = false;
    bool m_wide = true;
    phPhysWorld* m_world = nullptr;
    int m_seedCount = 0;
    phRigidBody* m_seeds[kMaxIslandBodies] = {};
    phRigidBody* m_stack[kMaxIslandBodies] = {};
    phConstraint* m_islandConstraints[kMaxIslandConstraints] = {};
    phConstraint* m_linked[kMaxLinked] = {};
    int m_solverModel = 0;
    int m_frictionModel = 0;
    float m_frictionDrop = 0.25f;
    int m_rowCount = 0;
    int m_bodyCount = 1;
    int m_islandIterations = 0;

    phRigidBody* m_bodies[kMaxIslandBodies] = {};
    float m_invMass[kMaxIslandBodies] = {};
    phMat4 m_invInertia[kMaxIslandBodies] = {};
    Accumulator m_acc[kMaxIslandBodies] = {};

    std::int32_t m_bodyA[kMaxRows];
    std::int32_t m_bodyB[kMaxRows];
    phJacobianRow m_jacobian[kMaxRows];
    phJacobianRow m_weighted[kMaxRows];
    phRowBounds m_bounds[kMaxRows];
    float m_invDiag[kMaxRows];
    float m_regularising[kMaxRows];
    float m_epsilon[kMaxRows];
    float m_rhs[kMaxRows];
    float m_dropThreshold[kMaxRows];
    float m_residual[kMaxRows];
    float m_force[kMaxRows];
    float m_direction[kMaxRows];
    float m_product[kMaxRows];
    // Rows the current conjugate-gradient step takes to their bounds.
    std::uint8_t m_atBound[kMaxRows];
    std::int32_t m_perm[kMaxRows];
    std::int32_t m_position[kMaxRows];

    phRowParams m_rowBlock;
};
