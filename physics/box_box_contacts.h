#pragma once

#include "physics/contact_record.h"

class phRigidBody;

// Discrete contacts between two box bodies: the separating axes (three face
// normals of each box and the nine edge crossings) give the normal and the
// depth directly, and the two boxes' sections are clipped as the general
// convex path clips them, so both paths agree on normals, depths and points
// within the general path's tolerance. Normal from b towards a; at most
// capacity records (capacity > 0). Zero when the boxes do not overlap.
// Not yet the pair driver's path: where two faces rest almost flat, the
// general search and this one may take the face of either box (both within
// the search's tolerance), and the column and pyramid scenes settle less
// well on this one's choice.
int ContactsBoxBox(phRigidBody* a, phRigidBody* b, phContactRecord* out, int capacity);

// True when an axis of the fifteen separates the two boxes by a clear margin:
// such a pair has no contacts, and the general search need not run.
bool BoxesApart(const phRigidBody* a, const phRigidBody* b);
