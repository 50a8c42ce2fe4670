#pragma once
// Inside the Bullet backend: how wheel shapes and character controllers
// reach the Bullet objects behind the scene's actors.

#include <LinearMath/btTransform.h>

class btCollisionObject;
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
