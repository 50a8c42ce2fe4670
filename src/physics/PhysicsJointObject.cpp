#include "physics/PhysicsJointObject.h"

#include <cmath>

#include "foundation/Log.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Node.h"
#include "scene/i3d/I3DSections.h"

PhysicsJointObject::PhysicsJointObject(ScenegraphNode& node, uint32_t stateFlags)
    : PhysicsObject(stateFlags | kJoint), m_node(node) {}

PhysicsJointObject::~PhysicsJointObject() {
    if (m_context != nullptr) {
        m_context->onJointObjectDestroyed(*this);
    }
}

std::unique_ptr<PhysicsObject> PhysicsJointObject::cloneFor(ScenegraphNode& node) const {
    return std::make_unique<PhysicsJointObject>(node, m_stateFlags);
}

void PhysicsJointObject::attach(ScenegraphPhysicsContext& context, IPhysicsJoint* joint) {
    m_context = &context;
    m_joint = joint;
}

void PhysicsJointObject::detach() {
    m_context = nullptr;
    m_joint = nullptr;
}

void PhysicsJointObject::describe(const I3DJointDesc& desc) {
    auto flag = [this](bool on, uint32_t bit) {
        if (on) {
            m_stateFlags |= bit;
            m_dirtyFlags |= bit;
        }
    };
    flag(desc.projection, kProjection);
    flag(desc.xAxisDrive, kXAxisDrive);
    flag(desc.yAxisDrive, kYAxisDrive);
    flag(desc.zAxisDrive, kZAxisDrive);
    flag(desc.drivePos.set, kPositionDrive);
    flag(desc.breakable, kBreakable);
    // Every number is a distance, angle, force or rate: finite and not
    // negative, else the default stays.
    auto number = [this](const I3DValue<float>& value, float& field, uint32_t dirtyBit,
                         const char* attribute) {
        if (!value.set) {
            return;
        }
        if (!std::isfinite(value.value) || value.value < 0.0f) {
            Log::get() << "Warning: joint " << m_node.getName() << ": " << attribute
                       << " must be a finite number of 0 or more, ignored\n";
            return;
        }
        field = value.value;
        m_dirtyFlags |= dirtyBit;
    };
    number(desc.projDistance, projectionDistance, 0x10000, "projDistance");
    number(desc.projAngle, projectionAngle, 0x20000, "projAngle");
    number(desc.driveForceLimit, driveForceLimit, 0x40000, "driveForceLimit");
    number(desc.driveSpring, driveSpring, 0x80000, "driveSpring");
    number(desc.driveDamping, driveDamping, 0x100000, "driveDamping");
    number(desc.breakForce, breakForce, 0x10000000, "jointBreakForce");
    number(desc.breakTorque, breakTorque, 0x20000000, "jointBreakTorque");
    rotationMin = desc.rotMin.value;
    rotationMax = desc.rotMax.value;
    translationMin = desc.transMin.value;
    translationMax = desc.transMax.value;
    for (int i = 0; i < 3; ++i) {
        rotationLimited[i] = desc.rotAxisGiven[i];
        translationGiven[i] = desc.transAxisGiven[i];
        if (rotationLimited[i] &&
            (!std::isfinite(rotationMin[i]) || !std::isfinite(rotationMax[i]))) {
            Log::get() << "Warning: joint " << m_node.getName()
                       << ": rotation limits must be finite numbers, axis " << i << " stays free\n";
            rotationLimited[i] = false;
        }
        if (rotationLimited[i]) {
            m_dirtyFlags |= 0x200000 | 0x400000 | 0x800000;
        }
        if (translationGiven[i]) {
            m_dirtyFlags |= 0x1000000 | 0x2000000 | 0x4000000;
        }
    }
}
