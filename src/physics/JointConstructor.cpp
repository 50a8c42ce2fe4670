#include "physics/JointConstructor.h"

#include <cmath>

#include "foundation/Log.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/TransformGroup.h"

namespace {

int32_t existingId(int32_t id) {
    return EntityRegistry::find(id) != nullptr ? id : 0;
}

}  // namespace

int jointAxisIndex(int axis, const char* function) {
    switch (axis) {
        case 0:
        case 1:
        case 2:
            return axis;
        default:
            Log::get() << "Error: " << function << ", axis must be 0, 1 or 2 (got " << axis
                       << ")\n";
            return -1;
    }
}

bool jointLimitsFinite(float min, float max, const char* function) {
    if (std::isfinite(min) && std::isfinite(max)) {
        return true;
    }
    Log::get() << "Error: " << function << ", the limits must be finite numbers\n";
    return false;
}

void JointConstructor::setActors(int32_t node0, int32_t node1) {
    m_record.actorNodes[0] = existingId(node0);
    m_record.actorNodes[1] = existingId(node1);
}

void JointConstructor::setJointTransforms(int32_t node0, int32_t node1) {
    m_frameNodes[0] = existingId(node0);
    m_frameNodes[1] = existingId(node1);
}

void JointConstructor::setBreakable(float force, float torque) {
    if (!(force >= 0.0f) || !(torque >= 0.0f) || std::isinf(force) || std::isinf(torque)) {
        Log::get() << "Error: setBreakable, the force and torque must be finite numbers of 0 "
                      "or more\n";
        return;
    }
    m_record.breakable = true;
    m_record.breakForce = force;
    m_record.breakTorque = torque;
}

bool JointConstructor::setRotationLimit(int axis, float low, float high) {
    int i = jointAxisIndex(axis, "setRotationLimit");
    if (i < 0 || !jointLimitsFinite(low, high, "setRotationLimit")) {
        return false;
    }
    m_record.rotationLimited[i] = true;
    m_record.rotationMin[i] = low;
    m_record.rotationMax[i] = high;
    return true;
}

bool JointConstructor::setTranslationLimit(int axis, bool limited, float low, float high) {
    int i = jointAxisIndex(axis, "setTranslationLimit");
    if (i < 0 || !jointLimitsFinite(low, high, "setTranslationLimit")) {
        return false;
    }
    m_record.translationLimited[i] = limited;
    m_record.translationMin[i] = low;
    m_record.translationMax[i] = high;
    return true;
}

int32_t JointConstructor::finalize(ScenegraphPhysicsContext& context) {
    if (m_record.actorNodes[0] == 0 || m_record.actorNodes[1] == 0 || m_frameNodes[0] == 0 ||
        m_frameNodes[1] == 0) {
        return 0;
    }
    for (int i = 0; i < 2; ++i) {
        Entity* entity = EntityRegistry::find(m_frameNodes[i]);
        if (entity == nullptr || !entity->hasKind(EntityKind::RawTransformGroup)) {
            return 0;
        }
        const Matrix4& world = static_cast<RawTransformGroup*>(entity)->getWorldMatrix();
        m_record.anchor[i] = world.getTranslation();
        m_record.axis[i] = normalize(world.getColumn(0));
        m_record.normal[i] = normalize(world.getColumn(1));
    }
    return context.queueJoint(m_record);
}
