#pragma once
// Inside the Bullet backend: the wheel shapes of a scene. The wheels of one
// actor form a vehicle, one action in the world that casts their suspension
// rays and applies suspension and tyre forces every substep.

#include <memory>
#include <vector>

#include "physics/sdk/IPhysicsWheelShape.h"

class btDiscreteDynamicsWorld;
class IPhysicsScene;
class BulletVehicle;

class BulletWheelSet {
public:
    BulletWheelSet();
    ~BulletWheelSet();

    // None for an actor without a moving body or a description with a
    // radius, wheel mass or travel out of range. The worker must be idle.
    IPhysicsWheelShape* create(IPhysicsScene& scene, btDiscreteDynamicsWorld& world,
                               IPhysicsActor* actor, const PhysicsWheelShapeDesc& desc);
    void release(btDiscreteDynamicsWorld& world, IPhysicsWheelShape* wheel);
    // Drops every wheel of the actor (which is about to go).
    void releaseActor(btDiscreteDynamicsWorld& world, IPhysicsActor* actor);
    void clear(btDiscreteDynamicsWorld& world);
    // After a simulation was fetched: the wheels' axle speeds and contacts
    // become what their getters report.
    void publish();
    size_t getNumWheels() const;

private:
    std::vector<std::unique_ptr<BulletVehicle>> m_vehicles;
};
