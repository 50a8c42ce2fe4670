#include "physics/PhysicsWheels.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/Log.h"
#include "physics/PhysicsRBObject.h"
#include "physics/sdk/IPhysicsScene.h"
#include "scene/TransformGroup.h"

namespace {

constexpr float kRadiansToDegrees = 57.29577951308232f;
// Wheels are braked until the first control says otherwise.
constexpr float kInitialBrakeTorque = 100000.0f;
constexpr uint32_t kWheelGroupMask = 255;

bool finite(float v) {
    return std::isfinite(v);
}

PhysicsRBObject* movingBodyOf(ScenegraphNode& node) {
    auto* body = dynamic_cast<PhysicsRBObject*>(node.getPhysicsObject());
    if (body == nullptr || !body->hasRigidBody() || !(body->isDynamic() || body->isKinematic())) {
        return nullptr;
    }
    return body;
}

}  // namespace

PhysicsWheels::PhysicsWheels(IPhysicsScene& scene) : m_scene(scene) {}

// The scene releases the wheels with their actors.
PhysicsWheels::~PhysicsWheels() = default;

int32_t PhysicsWheels::enqueueCreate(ScenegraphNode& node, const Shape& shape) {
    PhysicsRBObject* body = movingBodyOf(node);
    if (body == nullptr) {
        Log::get() << "Physics: enqueueCreateWheelShape failed, object " << node.getName()
                   << " is not dynamic or kinematic\n";
        return -1;
    }
    bool positionFinite =
        finite(shape.position.x) && finite(shape.position.y) && finite(shape.position.z);
    auto nonNegative = [](float v) { return v >= 0.0f && std::isfinite(v); };
    if (!(shape.radius > 0.0f) || !finite(shape.radius) || !(shape.mass > 0.0f) ||
        !finite(shape.mass) || !positionFinite || !nonNegative(shape.suspensionTravel) ||
        !nonNegative(shape.spring) || !nonNegative(shape.damper)) {
        Log::get() << "Physics: enqueueCreateWheelShape failed, object " << node.getName()
                   << ": radius and mass must be above 0, suspension travel, spring and damper "
                      "at least 0, all finite\n";
        return -1;
    }
    int32_t index = m_nextIndex++;
    m_toCreate.push_back({node.getId(), body, shape, index});
    return index;
}

void PhysicsWheels::enqueueControl(const ScenegraphNode& node, int32_t index, float motorTorque,
                                   float brakeTorque, float steerAngle) {
    if (!finite(motorTorque) || !finite(brakeTorque) || !finite(steerAngle)) {
        Log::get() << "Physics: setWheelShapeProps, object " << node.getName()
                   << " wheelShapeIndex " << index
                   << ": torques and steering angle must be finite numbers\n";
        return;
    }
    m_controls.push_back({node.getId(), index, motorTorque, brakeTorque, steerAngle});
}

void PhysicsWheels::createQueued() {
    for (const CreateRecord& record : m_toCreate) {
        auto* node = dynamic_cast<ScenegraphNode*>(EntityRegistry::find(record.nodeId));
        PhysicsRBObject* body = node != nullptr ? movingBodyOf(*node) : nullptr;
        if (body == nullptr || body != record.body || body->getActor() == nullptr) {
            continue;
        }
        PhysicsWheelShapeDesc desc;
        desc.localPose = Matrix4::translation(record.shape.position);
        desc.radius = record.shape.radius;
        desc.suspensionTravel = record.shape.suspensionTravel;
        desc.spring = record.shape.spring;
        desc.damper = record.shape.damper;
        desc.targetValue = 0.0f;
        desc.inverseWheelMass = 1.0f / record.shape.mass;
        desc.groupMask = kWheelGroupMask;
        desc.brakeTorque = kInitialBrakeTorque;
        IPhysicsWheelShape* wheel = m_scene.createWheelShape(body->getActor(), desc);
        if (wheel == nullptr) {
            Log::get() << "Physics: wheel shape " << record.index << " of " << node->getName()
                       << " could not be made\n";
            continue;
        }
        m_wheels[record.index] = {wheel, body};
    }
    m_toCreate.clear();
}

IPhysicsWheelShape* PhysicsWheels::find(const std::string& nodeName, int32_t index) {
    auto it = m_wheels.find(index);
    if (it == m_wheels.end()) {
        Log::get() << "Physics: wheel shape not found, object " << nodeName << " wheelShapeIndex "
                   << index << "\n";
        return nullptr;
    }
    return it->second.wheel;
}

void PhysicsWheels::applyControls() {
    for (const ControlRecord& record : m_controls) {
        Entity* node = EntityRegistry::find(record.nodeId);
        IPhysicsWheelShape* wheel = find(node != nullptr ? node->getName() : "", record.index);
        if (wheel == nullptr) {
            Log::get() << "Physics: enqueueControlWheelShape failed, wheel shape with index "
                       << record.index << " doesn't exist\n";
            continue;
        }
        wheel->setMotorTorque(record.motorTorque);
        wheel->setBrakeTorque(record.brakeTorque);
        wheel->setSteerAngle(record.steerAngle);
        wheel->getActor()->wakeUp();
    }
    m_controls.clear();
}

float PhysicsWheels::getAxleSpeed(const ScenegraphNode& node, int32_t index) {
    IPhysicsWheelShape* wheel = find(node.getName(), index);
    return wheel != nullptr ? wheel->getAxleSpeed() * kRadiansToDegrees : 0.0f;
}

bool PhysicsWheels::getContactPoint(const ScenegraphNode& node, int32_t index, Vector3& point) {
    IPhysicsWheelShape* wheel = find(node.getName(), index);
    PhysicsWheelContact contact;
    if (wheel == nullptr || !wheel->getContact(contact)) {
        return false;
    }
    point = contact.point;
    return true;
}

Vector3 PhysicsWheels::getPosition(ScenegraphNode& node, int32_t index) {
    IPhysicsWheelShape* wheel = find(node.getName(), index);
    if (wheel == nullptr) {
        return {};
    }
    float radius = wheel->getRadius();
    float travel = wheel->getSuspensionTravel();
    Vector3 up = wheel->getLocalPose().getColumn(1);
    Vector3 mount = wheel->getLocalPosition();
    PhysicsWheelContact contact;
    if (!wheel->getContact(contact) || !node.hasKind(EntityKind::RawTransformGroup)) {
        return mount - up * travel;
    }
    // The point on the suspension axis a radius above the contact.
    Matrix4 toNode = static_cast<RawTransformGroup&>(node).getWorldMatrix().inverse();
    Vector3 contactInNode = toNode.transformPoint(contact.point);
    Vector3 offset = contactInNode + up * radius - mount;
    return mount + up * dot(offset, up);
}

void PhysicsWheels::onBodyDestroyed(const PhysicsRBObject& body) {
    m_toCreate.erase(std::remove_if(m_toCreate.begin(), m_toCreate.end(),
                                    [&body](const CreateRecord& r) { return r.body == &body; }),
                     m_toCreate.end());
    for (auto it = m_wheels.begin(); it != m_wheels.end();) {
        if (it->second.body == &body) {
            it = m_wheels.erase(it);
        } else {
            ++it;
        }
    }
}
