#pragma once

#include <cstdint>

#include "physics/collision.h"
#include "physics/contact_constraint.h"
#include "physics/material.h"
#include "physics/memory.h"
#include "physics/rigid_body.h"
#include "physics/world.h"

// The library's flat interface. Numbers out of range are clamped; nothing
// reports an error except world creation (null). Points and vectors are
// three floats, matrices sixteen (rows: front, up, right, position).

using physForceCallback = phRigidBody::ForceTorqueCallback;

// World. A null hook selects the library's default allocator.
phPhysWorld* physWorldCreate(phAllocHook allocate, phReleaseHook release);
// Frees the world with its bodies, contacts and cached shapes.
void physWorldDestroy(phPhysWorld* world);
void physWorldSetSize(phPhysWorld* world, const float* min, const float* max);
// dt is clamped to [0.001, 1/60] and run as whole substeps.
void physWorldUpdate(phPhysWorld* world, float dt);
void physWorldRayCast(phPhysWorld* world, const float* p0, const float* p1, phRayFilter filter, void* userData,
                      phRayPrefilter prefilter);
void physSetSolverModel(phPhysWorld* world, int model);
void physSetFrictionModel(phPhysWorld* world, int model);

// Materials.
std::uint32_t physMaterialCreateGroupID(phPhysWorld* world);
void physMaterialSetDefaultFriction(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float staticFriction,
                                    float kineticFriction);
void physMaterialSetDefaultElasticity(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float elasticity);
void physMaterialSetDefaultSoftness(phPhysWorld* world, std::uint32_t a, std::uint32_t b, float softness);
void physMaterialSetCollisionCallbacks(phPhysWorld* world, std::uint32_t a, std::uint32_t b, void* userData,
                                       phContactBeginCallback begin, phContactProcessCallback process,
                                       phContactEndCallback end);
void physMaterialGetContactPositionAndNormal(const phMaterialPair* material, float* position, float* normal);
// (u1 - u0) · n over the contact's first (0) and second (1) body.
float physMaterialGetContactNormalSpeed(const phMaterialPair* material, const phContactConstraint* contact);
// (u0 - u1) · t, t the first tangent for index 0, else the second.
float physMaterialGetContactTangentSpeed(const phMaterialPair* material, const phContactConstraint* contact,
                                         int index);

// Collisions and bodies.
phCollision* physCreateBox(phPhysWorld* world, float x, float y, float z, const float* offset);
void physReleaseCollision(phPhysWorld* world, phCollision* collision);
phRigidBody* physCreateBody(phPhysWorld* world, phCollision* collision);
void physDestroyBody(phPhysWorld* world, phRigidBody* body);
void physBodySetUserData(phRigidBody* body, void* userData);
void* physBodyGetUserData(const phRigidBody* body);
void physBodySetForceAndTorqueCallback(phRigidBody* body, physForceCallback callback);
void physBodySetMaterialGroupID(phRigidBody* body, std::uint32_t group);
// A non-finite position is refused; a degenerate rotation keeps the old one.
void physBodySetMatrix(phRigidBody* body, const float* matrix);
void physBodyGetMatrix(const phRigidBody* body, float* matrix);
void physBodySetMassMatrix(phRigidBody* body, float mass, float ixx, float iyy, float izz);
void physBodyGetMassMatrix(const phRigidBody* body, float* mass, float* ixx, float* iyy, float* izz);
void physBodySetForce(phRigidBody* body, const float* force);
void physBodyAddImpulse(phRigidBody* body, const float* velocityChange, const float* point);
void physBodySetFreezeThreshold(phRigidBody* body, float speed, float angularSpeed);
