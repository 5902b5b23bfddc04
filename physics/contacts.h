#pragma once

#include <cstdint>

#include "physics/contact_record.h"

class phPhysWorld;
class phRigidBody;
class phCollisionPolygonalSoup;

// Contact generation between two bodies: fills at most capacity records
// (capped at kMaxContactCapacity) and returns their number. Nothing is kept
// between calls and nothing is allocated.
constexpr int kMaxContactCapacity = 256;
// Overlap below which spheres and box/sphere pairs make no contact.
constexpr float kMinOverlap = 1.0f / 256.0f;

// Both collisions convex. time: the step's time in; the time of impact out
// (0 when discrete contacts came back).
int CalculateConvexContacts(float& time, phRigidBody* b0, phRigidBody* b1, phContactRecord* buffer, int capacity);
// b0 convex, b1 a polygon collision.
int CalculatePolygonContacts(phPhysWorld* world, float& time, phRigidBody* b0, phRigidBody* b1,
                             phContactRecord* buffer, int capacity);

// The paths, for the pair driver and tests. Bodies in the order named.
int ContactsSphereSphere(phRigidBody* a, phRigidBody* b, phContactRecord* out);
int ContactsBoxSphere(phRigidBody* box, phRigidBody* sphere, phContactRecord* out, int capacity);
int ContactsByPenetration(phRigidBody* a, phRigidBody* b, phContactRecord* out, int capacity);
int ContactsSpherePolygons(phPhysWorld* world, phRigidBody* polygon, phRigidBody* sphere, phContactRecord* out,
                           int capacity);
int ContactsConvexPolygons(phPhysWorld* world, phRigidBody* polygon, phRigidBody* convex, phContactRecord* out,
                           int capacity);
int ContactsConvexPolygonsContinuous(phPhysWorld* world, float& time, phRigidBody* convex, phRigidBody* polygon,
                                     phContactRecord* out, int capacity);

// Drops records [first, count) whose normal is more than about 84° off the
// face normal (world space); marks those not within about 2.5° of it.
// Returns the new count.
int FilterFaceContacts(const phVec4& faceNormal, int first, int count, phContactRecord* records, std::uint8_t* marks);
// Drops marked (edge) records within 0.2 of an unmarked (face) one.
int PruneEdgeContacts(int count, phContactRecord* records, std::uint8_t* marks);
