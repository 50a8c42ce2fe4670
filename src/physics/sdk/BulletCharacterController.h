#pragma once
// Inside the Bullet backend: the character controllers of a scene.

#include <memory>
#include <vector>

#include "physics/sdk/IPhysicsCharacterController.h"

class btCollisionWorld;
class IPhysicsScene;
class BulletCharacterController;

class BulletControllerSet {
public:
    BulletControllerSet();
    ~BulletControllerSet();

    // None for a radius or height that is not a positive number or other
    // values out of range. The worker must be idle.
    IPhysicsCharacterController* create(IPhysicsScene& scene, btCollisionWorld& world,
                                        const PhysicsCapsuleControllerDesc& desc);
    // Releases the controller and its actor.
    void release(IPhysicsCharacterController* controller);
    // Called before the scene releases an actor: a controller whose actor it
    // is loses it.
    void actorReleased(IPhysicsActor* actor);
    void clear();

private:
    std::vector<std::unique_ptr<BulletCharacterController>> m_controllers;
};
