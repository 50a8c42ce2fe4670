#pragma once
// Inside the Bullet backend: how wheel shapes and character controllers
// reach the Bullet objects behind the scene's actors.

#include <BulletCollision/CollisionDispatch/btCollisionWorld.h>
#include <LinearMath/btTransform.h>

#include <cstdint>

#include "base/math/Vector3.h"

class btRigidBody;
class IPhysicsActor;

// The rigid body of an actor made by a Bullet scene.
btRigidBody* bulletBodyOf(IPhysicsActor* actor);
// The actor a collision object of a Bullet scene stands for; none for
// objects that are no actor.
IPhysicsActor* bulletActorOf(const btCollisionObject* object);
// The world transform of the actor's own frame, read from its body without
// waiting for the worker (for code that runs inside a simulation).
btTransform bulletActorFrame(IPhysicsActor* actor);
// Whether the collision object is a trigger (it reports overlaps and stops
// nothing).
bool bulletIsTrigger(const btCollisionObject* object);

// Whether a query sees the object: not `self`, no trigger, and a group mask
// sharing a bit with the query's.
inline bool bulletQuerySees(const btBroadphaseProxy* proxy, const btCollisionObject* self,
                            uint32_t mask) {
    auto* object = static_cast<const btCollisionObject*>(proxy->m_clientObject);
    return object != self && (uint32_t(proxy->m_collisionFilterGroup) & mask) != 0 &&
           !bulletIsTrigger(object);
}

// The closest object on a ray that the query sees.
struct BulletClosestRay : btCollisionWorld::ClosestRayResultCallback {
    BulletClosestRay(const btVector3& from, const btVector3& to, const btCollisionObject* self,
                     uint32_t mask)
        : ClosestRayResultCallback(from, to), m_self(self), m_mask(mask) {}

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        return bulletQuerySees(proxy, m_self, m_mask);
    }

    const btCollisionObject* m_self;
    uint32_t m_mask;
};

inline btVector3 toBullet(const Vector3& v) {
    return {v.x, v.y, v.z};
}

inline Vector3 fromBullet(const btVector3& v) {
    return {float(v.x()), float(v.y()), float(v.z())};
}
