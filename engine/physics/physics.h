#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "physics/memory.h"
#include "platform/d3dx9/d3dx9_math.h"

class phPhysWorld;
class phRigidBody;
class phContactConstraint;
struct phMaterialPair;
struct phVec4;

#define TARVEL_SOURCE_PHYSICS ".\\source\\class_physics"

// A body the engine created. userA and userB belong to the creator.
struct sPhysicsBody {
    phRigidBody* body;
    void* userA;
    void* userB;
    uint8_t applyGravity;
    // Physics units; added once by the next force callback, then cleared.
    float pendingForce[3];
};

// One touching pair of the last update: speeds in engine units per
// second, position in engine units, normal unscaled.
struct sPhysicsContact {
    sPhysicsBody* bodyA;
    sPhysicsBody* bodyB;
    float maxNormalSpeed;
    float maxTangentSpeed;
    float position[3];
    float normal[3];
};

struct sPhysicsRayHit {
    sPhysicsBody* body;
    float param;
};

// The engine's one user of the rigid-body library: owns the world, the
// bodies the engine made and the contacts of the last update, and converts
// between engine units and physics units (1 : 100).
class cTarvelPhysics {
public:
    cTarvelPhysics();
    ~cTarvelPhysics();
    cTarvelPhysics(const cTarvelPhysics&) = delete;
    cTarvelPhysics& operator=(const cTarvelPhysics&) = delete;

    // Creates the world; a failure is fatal. Returns 0.
    int Initialize();
    // A new material group whose pair with itself gets these values.
    int SetDefaultMaterial(float staticFriction, float kineticFriction, float elasticity, float softness);
    void SetMaterialCallbacks(int groupA, int groupB, bool enable);
    // Sizes, positions and offsets in engine units; material 0 keeps the
    // default group. Null before Initialize.
    sPhysicsBody* CreateDynamicBox(float sx, float sy, float sz, float px, float py, float pz, float qx, float qy,
                                   float qz, float qw, float ox, float oy, float oz, float mass, int material,
                                   void* userA, void* userB);
    sPhysicsBody* CreateStaticBox(float sx, float sy, float sz, float px, float py, float pz, float qx, float qy,
                                  float qz, float qw, float ox, float oy, float oz, int material, void* userA,
                                  void* userB);
    // Advances the world by the frame time; the contact list starts empty.
    void Update();
    void RayCast(float sx, float sy, float sz, float ex, float ey, float ez, sPhysicsRayHit* hit);
    void AddImpulse(sPhysicsBody* body, float vx, float vy, float vz, float px, float py, float pz);
    void GetBodyMatrix(const sPhysicsBody* body, D3DXMATRIX* out);
    void SetBodyMatrix(sPhysicsBody* body, D3DXMATRIX matrix);
    // Bodies this glue does not hold are left alone.
    void DestroyBody(sPhysicsBody* body);

    // Library callbacks.
    static void ApplyForce(phRigidBody* body);
    static int ContactBegin(phMaterialPair* material, phRigidBody* body0, phRigidBody* body1);
    static int ContactProcess(phMaterialPair* material, phContactConstraint* contact);
    static void ContactEnd(phMaterialPair* material);
    static float RayFilter(phRigidBody* body, const phVec4& normal, std::int64_t collisionId, void* userData,
                           float t);

    phPhysWorld* mWorld;
    tArray<sPhysicsBody*> mBodies;
    tArray<sPhysicsContact> mContacts;
    // The library's memory hooks for the world; null keeps its own.
    phAllocHook mAllocHook;
    phReleaseHook mReleaseHook;

private:
    sPhysicsBody* CreateBox(float sx, float sy, float sz, float px, float py, float pz, float qx, float qy, float qz,
                            float qw, float ox, float oy, float oz, int material, void* userA, void* userB,
                            bool dynamic, float mass);
    void TakeContactPoint(sPhysicsContact& record, const phMaterialPair* material);
    [[noreturn]] void OutOfMemory(const char* function);
};
