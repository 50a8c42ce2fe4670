#include "physics/PhysicsVehicleScriptBindings.h"

#include "physics/PhysicsCharacterController.h"
#include "physics/PhysicsWheels.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/TransformGroup.h"
#include "scripting/ScriptApi.h"

namespace {

ScenegraphNode* nodeOf(Entity* entity) {
    return dynamic_cast<ScenegraphNode*>(entity);
}

PhysicsWheels* wheels() {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    return context != nullptr ? &context->getWheels() : nullptr;
}

PhysicsCharacterControllers* controllers() {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    return context != nullptr ? &context->getCharacterControllers() : nullptr;
}

void setVector(ScriptValue* values, const Vector3& v) {
    scriptResult(values, 0).setFloat(v.x);
    scriptResult(values, 1).setFloat(v.y);
    scriptResult(values, 2).setFloat(v.z);
}

// x, y, z, radius, suspension travel, spring, damper, mass: the wheel's
// index, or nothing when it is refused (0 is a valid index).
void createWheelShape(Entity* entity, ScriptValue* values) {
    ScenegraphNode* node = nodeOf(entity);
    PhysicsWheels* set = wheels();
    if (node == nullptr || set == nullptr) {
        return;
    }
    PhysicsWheels::Shape shape;
    shape.position = {values[0].floatValue, values[1].floatValue, values[2].floatValue};
    shape.radius = values[3].floatValue;
    shape.suspensionTravel = values[4].floatValue;
    shape.spring = values[5].floatValue;
    shape.damper = values[6].floatValue;
    shape.mass = values[7].floatValue;
    int32_t index = set->enqueueCreate(*node, shape);
    if (index >= 0) {
        scriptResult(values).setInt(index);
    }
}

// Index, motor torque, brake torque, steering angle (radians).
void setWheelShapeProps(Entity* entity, ScriptValue* values) {
    ScenegraphNode* node = nodeOf(entity);
    if (PhysicsWheels* set = wheels(); node != nullptr && set != nullptr) {
        set->enqueueControl(*node, values[0].intValue, values[1].floatValue, values[2].floatValue,
                            values[3].floatValue);
    }
}

void getWheelShapeAxleSpeed(Entity* entity, ScriptValue* values) {
    ScenegraphNode* node = nodeOf(entity);
    PhysicsWheels* set = wheels();
    float speed = 0.0f;
    if (node != nullptr && set != nullptr) {
        speed = set->getAxleSpeed(*node, values[0].intValue);
    }
    scriptResult(values).setFloat(speed);
}

void getWheelShapeContactPoint(Entity* entity, ScriptValue* values) {
    ScenegraphNode* node = nodeOf(entity);
    PhysicsWheels* set = wheels();
    Vector3 point;
    if (node != nullptr && set != nullptr &&
        set->getContactPoint(*node, values[0].intValue, point)) {
        setVector(values, point);
    }
}

void getWheelShapePosition(Entity* entity, ScriptValue* values) {
    ScenegraphNode* node = nodeOf(entity);
    PhysicsWheels* set = wheels();
    Vector3 position;
    if (node != nullptr && set != nullptr) {
        position = set->getPosition(*node, values[0].intValue);
    }
    setVector(values, position);
}

// Transform id, radius, height, step offset, slope limit (degrees), skin
// width, collision group mask, push factor: the controller's id, or nothing
// when the id names no transform group or a value is refused.
void createCCT(Entity*, ScriptValue* values) {
    auto* node = dynamic_cast<RawTransformGroup*>(EntityRegistry::find(values[0].intValue));
    PhysicsCharacterControllers* set = controllers();
    if (node == nullptr || set == nullptr) {
        return;
    }
    PhysicsCharacterControllers::Capsule capsule;
    capsule.radius = values[1].floatValue;
    capsule.height = values[2].floatValue;
    capsule.stepOffset = values[3].floatValue;
    capsule.slopeLimitDegrees = values[4].floatValue;
    capsule.skinWidth = values[5].floatValue;
    capsule.groupMask = static_cast<uint32_t>(values[6].intValue);
    capsule.pushFactor = values[7].floatValue;
    int32_t id = set->enqueueCreate(*node, capsule);
    if (id >= 0) {
        scriptResult(values).setInt(id);
    }
}

// Controller id, displacement x, y, z, collision group mask.
void moveCCT(Entity*, ScriptValue* values) {
    if (PhysicsCharacterControllers* set = controllers()) {
        set->enqueueMove(values[0].intValue,
                         {values[1].floatValue, values[2].floatValue, values[3].floatValue},
                         static_cast<uint32_t>(values[4].intValue));
    }
}

void removeCCT(Entity*, ScriptValue* values) {
    if (PhysicsCharacterControllers* set = controllers()) {
        set->enqueueRemove(values[0].intValue);
    }
}

// Sides, up, down.
void getCCTCollisionFlags(Entity*, ScriptValue* values) {
    PhysicsCharacterControllers* set = controllers();
    uint32_t flags = set != nullptr ? set->getCollisionFlags(values[0].intValue) : 0;
    scriptResult(values, 0).setBool((flags & PhysicsControllerFlags::kSides) != 0);
    scriptResult(values, 1).setBool((flags & PhysicsControllerFlags::kUp) != 0);
    scriptResult(values, 2).setBool((flags & PhysicsControllerFlags::kDown) != 0);
}

}  // namespace

void addPhysicsVehicleScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"createCCT", "ifffffif", "i", createCCT,
         "node: transform group the controller moves; radius, height: world units; "
         "stepOffset: world units, the highest step it climbs; slopeLimit: degrees; "
         "skinWidth: world units; groupMask: collision groups it collides with; "
         "pushFactor: factor on the impulse given to bodies it walks into",
         "controller: id, counting up from 0",
         "Queues a capsule character controller for the node and returns its id. Returns nil "
         "when the node is not a transform group or a value is refused (logged)."},
        {"moveCCT", "ifffi", "", moveCCT,
         "controller; dx, dy, dz: world units, this step's displacement; groupMask: collision "
         "groups to collide with",
         "",
         "Queues a move of the controller, which slides along what it touches; an unknown id "
         "is ignored."},
        {"removeCCT", "i", "", removeCCT, "controller", "",
         "Queues the controller's removal; an unknown id is ignored."},
        {"getCCTCollisionFlags", "i", "bbb", getCCTCollisionFlags, "controller",
         "sides, above, below: touched during the last move",
         "Tells where the controller touched something during its last move; all false for an "
         "unknown id."},
    });
    api.addMethods(
        "TransformGroup",
        {
            {"createWheelShape", "ffffffff", "i", createWheelShape,
             "x, y, z: world units in the body's frame, the suspension mount; radius: world "
             "units; suspensionTravel: world units; spring: newtons per world unit; damper: "
             "newton seconds per world unit; mass: kilograms",
             "wheel: index on this node, from 0",
             "Queues a wheel on the node's dynamic or kinematic body and returns its index. "
             "Returns nil when the body is neither or a value is refused (logged)."},
            {"setWheelShapeProps", "ifff", "", setWheelShapeProps,
             "wheel; motorTorque, brakeTorque: newton metres; steerAngle: radians", "",
             "Sets the wheel's drive and brake torque and its steering angle at the next step."},
            {"getWheelShapeAxleSpeed", "i", "f", getWheelShapeAxleSpeed, "wheel",
             "speed: degrees per second, 0 for an unknown wheel",
             "Returns how fast the wheel turns."},
            {"getWheelShapeContactPoint", "i", "fff", getWheelShapeContactPoint, "wheel",
             "x, y, z: world units, world space",
             "Returns where the wheel touches the ground; nil while it touches nothing."},
            {"getWheelShapePosition", "i", "fff", getWheelShapePosition, "wheel",
             "x, y, z: world units in the body's frame",
             "Returns the wheel's centre on its suspension, for placing a wheel model; 0, 0, 0 for "
             "an unknown wheel."},
        });
}
