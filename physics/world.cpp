#include "physics/world.h"

#include <new>

#include "physics/class_id.h"

phPhysWorld::phPhysWorld()
{
    m_classIds = {phGetClassId(phClassIndex::CollisionBox),     phGetClassId(phClassIndex::CollisionNull),
                  phGetClassId(phClassIndex::CollisionCone),    phGetClassId(phClassIndex::CollisionSphere),
                  phGetClassId(phClassIndex::ConvexCollision),  phGetClassId(phClassIndex::CollisionEllipse),
                  phGetClassId(phClassIndex::CollisionCapsule), phGetClassId(phClassIndex::CollisionCylinder),
                  phGetClassId(phClassIndex::CollisionConvexHull),
                  phGetClassId(phClassIndex::CollisionChamferCylinder),
                  phGetClassId(phClassIndex::CollisionConvexModifier),
                  phGetClassId(phClassIndex::CompoundCollision),
                  phGetClassId(phClassIndex::CollisionPolygonalSoup)};
    m_broadphase.SetWorld(this);
    m_broadphase.SetWorldSize({-100.0f, -100.0f, -100.0f, 1.0f}, {100.0f, 100.0f, 100.0f, 1.0f});
}

phPhysWorld::~phPhysWorld()
{
    while (BodyTree::Node* node = m_bodies.Minimum()) {
        DestroyBody(node->payload);
    }
}

void phPhysWorld::SetTimeStep(float dt)
{
    m_timeStep = dt;
    m_invTimeStep = dt > 0.0f ? 1.0f / dt : 0.0f;
}

phRigidBody* phPhysWorld::CreateBody(phCollision* collision)
{
    BodyStorage* slot = m_bodyPool.Alloc();
    if (slot == nullptr) {
        return nullptr;
    }
    auto* body = ::new (static_cast<void*>(slot)) phRigidBody(this, collision);
    BodyTree::Node* node = m_bodies.Insert(reinterpret_cast<std::uintptr_t>(body));
    if (node == nullptr) {
        body->~phRigidBody();
        m_bodyPool.Free(slot);
        return nullptr;
    }
    node->payload = body;
    body->id = ++m_lastBodyId;
    ++m_bodyCount;
    m_broadphase.AddBody(body);
    body->SetMatrix(body->matrix);
    WakeBody(body);
    return body;
}

void phPhysWorld::DestroyBody(phRigidBody* body)
{
    if (body == nullptr) {
        return;
    }
    BodyTree::Node* node = m_bodies.Find(reinterpret_cast<std::uintptr_t>(body));
    if (node == nullptr) {
        return;
    }
    if (body->destructorCallback != nullptr) {
        body->destructorCallback(body);
    }
    m_broadphase.RemoveBody(body);
    --m_bodyCount;
    if (body->awakeNode != nullptr) {
        if ((body->flags & phRigidBody::kFlagActive) != 0 && body->activationCallback != nullptr) {
            body->activationCallback(body, 0);
        }
        RemoveFromAwake(body);
    }
    if (BodyTree::Node* flagged = m_flagged.Find(reinterpret_cast<std::uintptr_t>(body))) {
        m_flagged.Remove(flagged);
    }
    m_bodies.Remove(node);
    body->~phRigidBody();
    m_bodyPool.Free(reinterpret_cast<BodyStorage*>(body));
}

void phPhysWorld::WakeBody(phRigidBody* body)
{
    if (body->awakeNode != nullptr) {
        return;
    }
    BodyTree::Node* node = m_awake.Insert(reinterpret_cast<std::uintptr_t>(body));
    if (node == nullptr) {
        return;
    }
    node->payload = body;
    body->awakeNode = node;
    if ((body->flags & phRigidBody::kFlagActive) == 0) {
        body->flags |= phRigidBody::kFlagActive;
        if (body->activationCallback != nullptr) {
            body->activationCallback(body, 1);
        }
    }
}

void phPhysWorld::RemoveFromAwake(phRigidBody* body)
{
    if (body->awakeNode != nullptr) {
        m_awake.Remove(body->awakeNode);
        body->awakeNode = nullptr;
    }
}
