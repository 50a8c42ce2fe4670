// Wheel shapes on Bullet: a ray-cast suspension per wheel and tyre forces
// from the slip curves, run as one btActionInterface per vehicle (the wheels
// of one actor) inside every substep on the worker thread.
//
// Each substep first casts every wheel's ray and measures the velocities,
// then applies the forces, so the wheels of a vehicle share the work of
// stopping a slide: a tyre force never exceeds what would cancel its own
// share of the slip within the substep, which keeps the vehicle steady at
// rest and under the stiff default curves.

#include "physics/sdk/BulletWheelShape.h"

#include <BulletDynamics/Dynamics/btActionInterface.h>
#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <cmath>

#include "physics/sdk/BulletActorAccess.h"
#include "physics/sdk/IPhysicsScene.h"

namespace {

// Below this speed the slip is measured against it, so that a vehicle at
// rest sees small slips instead of a division by nothing.
constexpr btScalar kMinSlipSpeed = 0.5f;

bool finite(float v) {
    return std::isfinite(v);
}

}  // namespace

class BulletWheel final : public IPhysicsWheelShape {
public:
    BulletWheel(IPhysicsScene& scene, BulletVehicle& vehicle, const PhysicsWheelShapeDesc& desc)
        : m_scene(scene), m_vehicle(vehicle), m_desc(desc) {
        float mass = 1.0f / desc.inverseWheelMass;
        m_inertia = 0.5f * mass * desc.radius * desc.radius;
        m_local = btTransform::getIdentity();
        m_local.setFromOpenGLMatrix(desc.localPose.m);
    }

    IPhysicsActor* getActor() const override;
    void setMotorTorque(float torque) override {
        if (finite(torque)) {
            m_scene.waitForWorker();
            m_desc.motorTorque = torque;
        }
    }
    void setBrakeTorque(float torque) override {
        if (finite(torque)) {
            m_scene.waitForWorker();
            m_desc.brakeTorque = std::max(torque, 0.0f);
        }
    }
    void setSteerAngle(float radians) override {
        if (finite(radians)) {
            m_scene.waitForWorker();
            m_desc.steerAngle = radians;
        }
    }
    float getMotorTorque() const override { return m_desc.motorTorque; }
    float getBrakeTorque() const override { return m_desc.brakeTorque; }
    float getSteerAngle() const override { return m_desc.steerAngle; }

    float getAxleSpeed() override { return m_published.axleSpeed; }
    bool getContact(PhysicsWheelContact& contact) override {
        if (m_published.touching) {
            contact = m_published.contact;
        }
        return m_published.touching;
    }
    // After a simulation, with the worker idle: what the getters report
    // until the next one, so that reading them never waits for a running
    // simulation.
    void publish() {
        m_published.axleSpeed = float(m_omega);
        m_published.touching = m_hasContact;
        if (m_hasContact) {
            m_published.contact.point = fromBullet(m_contactPoint);
            m_published.contact.normal = fromBullet(m_contactNormal);
            m_published.contact.actor =
                m_contactObject != nullptr ? bulletActorOf(m_contactObject) : nullptr;
        }
    }
    float getRadius() const override { return m_desc.radius; }
    float getSuspensionTravel() const override { return m_desc.suspensionTravel; }
    const Matrix4& getLocalPose() const override { return m_desc.localPose; }
    Vector3 getLocalPosition() const override { return m_desc.localPose.getTranslation(); }

    // First half of a substep: the ray and what the wheel stands on.
    void castRay(btCollisionWorld& world, const btTransform& actorFrame, btRigidBody& body);
    // Second half: suspension and tyre forces on the body (and on what it
    // stands on), shared with the other touching wheels of the vehicle.
    void applyForces(btRigidBody& body, btScalar dt, int touchingWheels);
    // A body that cannot be pushed: the wheel spins from its torques only.
    void spinFree(btScalar dt);
    bool touches() const { return m_hasContact; }
    bool drives() const { return m_desc.motorTorque != 0.0f; }
    void forgetContact() {
        m_hasContact = false;
        m_contactObject = nullptr;
    }
    // The actor under the wheel goes (the worker is idle).
    void forgetContactWith(const btCollisionObject* object) {
        if (m_contactObject == object) {
            forgetContact();
            m_published.touching = false;
            m_published.contact = PhysicsWheelContact();
        }
    }
    // The suspension from the mount to the wheel's centre, and the axle.
    void debugDraw(btIDebugDraw& drawer) const {
        btVector3 centre = m_mount - m_up * (m_desc.suspensionTravel - m_compression);
        drawer.drawLine(m_mount, centre, btVector3(1, 1, 0));
        drawer.drawLine(centre - m_axle * m_desc.radius, centre + m_axle * m_desc.radius,
                        btVector3(1, 0.5f, 0));
    }

private:
    void brake(btScalar dt);

    IPhysicsScene& m_scene;
    BulletVehicle& m_vehicle;
    PhysicsWheelShapeDesc m_desc;
    btTransform m_local;
    btScalar m_inertia;
    btScalar m_omega = 0;
    struct Published {
        float axleSpeed = 0.0f;
        bool touching = false;
        PhysicsWheelContact contact;
    } m_published;

    bool m_hasContact = false;
    const btCollisionObject* m_contactObject = nullptr;
    btVector3 m_contactPoint{0, 0, 0};
    btVector3 m_contactNormal{0, 1, 0};
    // Measured by castRay for applyForces.
    btVector3 m_mount{0, 0, 0};
    btVector3 m_axle{1, 0, 0};
    btVector3 m_up{0, 1, 0};
    btVector3 m_forward{0, 0, 1};
    btVector3 m_side{1, 0, 0};
    btVector3 m_relativeVelocity{0, 0, 0};
    btScalar m_compression = 0;
};

class BulletVehicle final : public btActionInterface {
public:
    BulletVehicle(IPhysicsActor* actor, btRigidBody* body) : m_actor(actor), m_body(body) {}

    IPhysicsActor* actor() const { return m_actor; }
    std::vector<std::unique_ptr<BulletWheel>>& wheels() { return m_wheels; }

    void updateAction(btCollisionWorld* world, btScalar dt) override {
        bool movable = m_body->getInvMass() > 0;
        if (movable && !m_body->isActive()) {
            // Asleep: nothing changes unless a wheel drives.
            bool driving = std::any_of(m_wheels.begin(), m_wheels.end(),
                                       [](const auto& wheel) { return wheel->drives(); });
            if (!driving) {
                return;
            }
            m_body->activate(true);
        }
        btTransform frame = bulletActorFrame(m_actor);
        int touching = 0;
        for (auto& wheel : m_wheels) {
            wheel->castRay(*world, frame, *m_body);
            touching += wheel->touches() ? 1 : 0;
        }
        for (auto& wheel : m_wheels) {
            if (movable && wheel->touches()) {
                wheel->applyForces(*m_body, dt, touching);
            } else {
                wheel->spinFree(dt);
            }
        }
    }
    void debugDraw(btIDebugDraw* drawer) override {
        for (auto& wheel : m_wheels) {
            wheel->debugDraw(*drawer);
        }
    }

    // An actor this vehicle's wheels stand on is going away.
    void forgetContactsWith(const btCollisionObject* object) {
        for (auto& wheel : m_wheels) {
            wheel->forgetContactWith(object);
        }
    }

private:
    IPhysicsActor* m_actor;
    btRigidBody* m_body;
    std::vector<std::unique_ptr<BulletWheel>> m_wheels;
};

IPhysicsActor* BulletWheel::getActor() const {
    return m_vehicle.actor();
}

void BulletWheel::castRay(btCollisionWorld& world, const btTransform& actorFrame,
                          btRigidBody& body) {
    btTransform mount = actorFrame * m_local;
    btMatrix3x3 steered =
        mount.getBasis() * btMatrix3x3(btQuaternion(btVector3(0, 1, 0), m_desc.steerAngle));
    m_up = steered.getColumn(1);
    m_axle = steered.getColumn(0);
    m_mount = mount.getOrigin();
    btVector3 from = mount.getOrigin();
    btScalar reach = m_desc.suspensionTravel + m_desc.radius;
    btVector3 to = from - m_up * reach;
    BulletClosestRay ray(from, to, &body, m_desc.groupMask);
    world.rayTest(from, to, ray);
    if (!ray.hasHit()) {
        forgetContact();
        m_compression = 0;
        return;
    }
    m_hasContact = true;
    m_contactObject = ray.m_collisionObject;
    m_contactPoint = ray.m_hitPointWorld;
    m_contactNormal = ray.m_hitNormalWorld.normalized();
    btScalar extension = ray.m_closestHitFraction * reach - m_desc.radius;
    extension = std::clamp<btScalar>(extension, 0, m_desc.suspensionTravel);
    m_compression = m_desc.suspensionTravel - extension;

    // Rolling directions in the ground plane.
    btVector3 forward = steered.getColumn(2);
    forward -= m_contactNormal * forward.dot(m_contactNormal);
    btVector3 side = steered.getColumn(0);
    side -= m_contactNormal * side.dot(m_contactNormal);
    m_forward = forward.length2() > 1e-8f ? forward.normalized() : steered.getColumn(2);
    m_side = side.length2() > 1e-8f ? side.normalized() : steered.getColumn(0);

    m_relativeVelocity =
        body.getVelocityInLocalPoint(m_contactPoint - body.getCenterOfMassPosition());
    if (const btRigidBody* ground = btRigidBody::upcast(m_contactObject)) {
        m_relativeVelocity -=
            ground->getVelocityInLocalPoint(m_contactPoint - ground->getCenterOfMassPosition());
    }
}

void BulletWheel::applyForces(btRigidBody& body, btScalar dt, int touchingWheels) {
    btVector3 relative = m_contactPoint - body.getCenterOfMassPosition();
    btRigidBody* ground = const_cast<btRigidBody*>(btRigidBody::upcast(m_contactObject));
    if (ground != nullptr && ground->getInvMass() == 0) {
        ground = nullptr;
    }
    auto push = [&](const btVector3& impulse) {
        body.applyImpulse(impulse, relative);
        if (ground != nullptr) {
            ground->applyImpulse(-impulse, m_contactPoint - ground->getCenterOfMassPosition());
            ground->activate(true);
        }
    };

    // Suspension: spring about the target plus damper, pushing only.
    btScalar compressionSpeed = -m_relativeVelocity.dot(m_up);
    btScalar load = m_desc.spring * (m_compression - m_desc.targetValue * m_desc.suspensionTravel) +
                    m_desc.damper * compressionSpeed;
    load = std::max<btScalar>(load, 0);
    push(m_contactNormal * (load * dt));

    // Motor first, so that the tyre sees the driven wheel.
    m_omega += m_desc.motorTorque / m_inertia * dt;
    btScalar share = btScalar(std::max(touchingWheels, 1));
    if (load > 0) {
        // Along the wheel: the tread's speed against the ground's.
        btScalar groundSpeed = m_relativeVelocity.dot(m_forward);
        btScalar treadSpeed = m_omega * m_desc.radius;
        btScalar slipSpeed = treadSpeed - groundSpeed;
        btScalar reference =
            std::max({std::fabs(groundSpeed), std::fabs(treadSpeed), kMinSlipSpeed});
        btScalar curve = m_desc.longitudinal.evaluate(float(slipSpeed / reference));
        btScalar bodyDenominator = body.computeImpulseDenominator(m_contactPoint, m_forward);
        btScalar cancel = std::fabs(slipSpeed) /
                          (share * bodyDenominator + m_desc.radius * m_desc.radius / m_inertia) /
                          dt;
        btScalar longitudinal = std::copysign(std::min(std::fabs(curve), cancel), slipSpeed);
        push(m_forward * (longitudinal * dt));
        m_omega -= longitudinal * m_desc.radius / m_inertia * dt;

        // Across the wheel: the slip angle.
        btScalar sideSpeed = m_relativeVelocity.dot(m_side);
        btScalar angle =
            std::atan2(std::fabs(sideSpeed), std::max(std::fabs(groundSpeed), kMinSlipSpeed));
        btScalar lateralCurve = std::fabs(m_desc.lateral.evaluate(float(angle)));
        btScalar sideDenominator = body.computeImpulseDenominator(m_contactPoint, m_side);
        btScalar sideCancel = std::fabs(sideSpeed) / (share * sideDenominator) / dt;
        btScalar lateral = -std::copysign(std::min(lateralCurve, sideCancel), sideSpeed);
        push(m_side * (lateral * dt));
    }
    brake(dt);
}

void BulletWheel::spinFree(btScalar dt) {
    m_omega += m_desc.motorTorque / m_inertia * dt;
    brake(dt);
}

void BulletWheel::brake(btScalar dt) {
    btScalar change = m_desc.brakeTorque / m_inertia * dt;
    if (std::fabs(m_omega) <= change) {
        m_omega = 0;
    } else {
        m_omega -= std::copysign(change, m_omega);
    }
}

// ---- the set -----------------------------------------------------------------

BulletWheelSet::BulletWheelSet() = default;

BulletWheelSet::~BulletWheelSet() = default;

IPhysicsWheelShape* BulletWheelSet::create(IPhysicsScene& scene, btDiscreteDynamicsWorld& world,
                                           IPhysicsActor* actor,
                                           const PhysicsWheelShapeDesc& desc) {
    btRigidBody* body = actor != nullptr ? bulletBodyOf(actor) : nullptr;
    if (body == nullptr || body->isStaticObject()) {
        return nullptr;
    }
    auto positive = [](float v) { return v > 0.0f && std::isfinite(v); };
    auto nonNegative = [](float v) { return v >= 0.0f && std::isfinite(v); };
    bool poseFinite = std::all_of(std::begin(desc.localPose.m), std::end(desc.localPose.m),
                                  [](float v) { return std::isfinite(v); });
    if (!positive(desc.radius) || !positive(desc.inverseWheelMass) ||
        !nonNegative(desc.suspensionTravel) || !nonNegative(desc.spring) ||
        !nonNegative(desc.damper) || !finite(desc.targetValue) || !poseFinite ||
        !finite(desc.motorTorque) || !nonNegative(desc.brakeTorque) || !finite(desc.steerAngle)) {
        return nullptr;
    }
    BulletVehicle* vehicle = nullptr;
    for (auto& candidate : m_vehicles) {
        if (candidate->actor() == actor) {
            vehicle = candidate.get();
        }
    }
    if (vehicle == nullptr) {
        m_vehicles.push_back(std::make_unique<BulletVehicle>(actor, body));
        vehicle = m_vehicles.back().get();
        world.addAction(vehicle);
    }
    vehicle->wheels().push_back(std::make_unique<BulletWheel>(scene, *vehicle, desc));
    body->activate(true);
    return vehicle->wheels().back().get();
}

void BulletWheelSet::release(btDiscreteDynamicsWorld& world, IPhysicsWheelShape* wheel) {
    for (size_t v = 0; v < m_vehicles.size(); ++v) {
        auto& wheels = m_vehicles[v]->wheels();
        auto it = std::find_if(wheels.begin(), wheels.end(),
                               [wheel](const auto& w) { return w.get() == wheel; });
        if (it == wheels.end()) {
            continue;
        }
        wheels.erase(it);
        if (wheels.empty()) {
            world.removeAction(m_vehicles[v].get());
            m_vehicles.erase(m_vehicles.begin() + std::ptrdiff_t(v));
        }
        return;
    }
}

void BulletWheelSet::releaseActor(btDiscreteDynamicsWorld& world, IPhysicsActor* actor) {
    const btCollisionObject* body = bulletBodyOf(actor);
    for (size_t v = 0; v < m_vehicles.size();) {
        if (m_vehicles[v]->actor() == actor) {
            world.removeAction(m_vehicles[v].get());
            m_vehicles.erase(m_vehicles.begin() + std::ptrdiff_t(v));
        } else {
            m_vehicles[v]->forgetContactsWith(body);
            ++v;
        }
    }
}

void BulletWheelSet::clear(btDiscreteDynamicsWorld& world) {
    for (auto& vehicle : m_vehicles) {
        world.removeAction(vehicle.get());
    }
    m_vehicles.clear();
}

void BulletWheelSet::publish() {
    for (auto& vehicle : m_vehicles) {
        for (auto& wheel : vehicle->wheels()) {
            wheel->publish();
        }
    }
}

size_t BulletWheelSet::getNumWheels() const {
    size_t count = 0;
    for (const auto& vehicle : m_vehicles) {
        count += vehicle->wheels().size();
    }
    return count;
}
