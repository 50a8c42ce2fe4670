#include "physics/PhysicsScriptBindings.h"

#include <cmath>

#include "foundation/Log.h"
#include "physics/PhysicsRBObject.h"
#include "physics/PhysicsVehicleScriptBindings.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/IPhysicsScene.h"
#include "scene/TransformGroup.h"
#include "scripting/ScriptApi.h"

namespace {

PhysicsRBObject* rigidBody(Entity* entity) {
    auto* node = dynamic_cast<ScenegraphNode*>(entity);
    if (node == nullptr) {
        return nullptr;
    }
    auto* body = dynamic_cast<PhysicsRBObject*>(node->getPhysicsObject());
    return body != nullptr && body->hasRigidBody() ? body : nullptr;
}

Vector3 vectorArgument(const ScriptValue* values, int first) {
    return {values[first].floatValue, values[first + 1].floatValue, values[first + 2].floatValue};
}

void simulatePhysics(Entity*, ScriptValue* values) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->setSimulationEnabled(values[0].isTrue());
    }
}

void extraUpdatePhysics(Entity*, ScriptValue* values) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->extraUpdate(values[0].floatValue);
    }
}

void simulatePhysicsTimeScale(Entity*, ScriptValue* values) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->setTimeScale(values[0].floatValue);
    }
}

// "addForce" and "addImpulse": with the flag an impulse at a world
// position, without it a force at a position in the body's frame.
void addForce(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (body == nullptr || context == nullptr) {
        return;
    }
    Vector3 force = vectorArgument(values, 0);
    Vector3 position = vectorArgument(values, 3);
    for (float v : {force.x, force.y, force.z, position.x, position.y, position.z}) {
        if (!std::isfinite(v)) {
            Log::get() << "Warning: addForce, " << entity->getName()
                       << ": force and position must be finite numbers\n";
            return;
        }
    }
    context->addForce(*body, force, position, values[6].isTrue());
}

void setRigidBodyType(Entity* entity, ScriptValue* values) {
    auto* node = dynamic_cast<ScenegraphNode*>(entity);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (node != nullptr && context != nullptr) {
        const char* kind = values[0].type == ScriptType::String ? values[0].stringValue : "";
        context->setRigidBodyType(*node, kind != nullptr ? kind : "");
    }
}

void getRigidBodyType(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    const char* name = "NoRigidBody";
    if (body != nullptr) {
        name = body->isStatic() ? "Static" : body->isDynamic() ? "Dynamic" : "Kinematic";
    }
    scriptResult(values).setString(name);
}

void setCollisionMask(Entity* entity, ScriptValue* values) {
    if (PhysicsRBObject* body = rigidBody(entity)) {
        body->setCollisionMask(static_cast<uint32_t>(values[0].intValue));
    }
}

void getCollisionMask(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    scriptResult(values).setInt(body != nullptr ? static_cast<int32_t>(body->getCollisionMask())
                                                : 0);
}

void getCenterOfMass(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    if (body == nullptr || !body->isDynamic()) {
        return;
    }
    const Vector3& center = body->getCenterOfMass();
    scriptResult(values, 0).setFloat(center.x);
    scriptResult(values, 1).setFloat(center.y);
    scriptResult(values, 2).setFloat(center.z);
}

void setCenterOfMass(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    if (body != nullptr && body->isDynamic()) {
        body->setCenterOfMass(vectorArgument(values, 0));
    }
}

// The density that gives the mass with the body's solid volume; the actor
// takes it at the next step.
void setMass(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    if (body == nullptr || body->isStatic()) {
        return;
    }
    float mass = values[0].floatValue;
    if (!(mass > 0.0f) || !std::isfinite(mass)) {
        Log::get() << "Warning: setMass, " << entity->getName() << ": the mass must be above 0\n";
        return;
    }
    if (body->getActor() == nullptr || !(body->getVolume() > 0.0f)) {
        Log::get() << "Warning: setMass, " << entity->getName()
                   << " has no solid body yet; the mass is not changed\n";
        return;
    }
    body->setDensity(mass / body->getVolume());
}

void getMass(Entity* entity, ScriptValue* values) {
    PhysicsRBObject* body = rigidBody(entity);
    float mass = 0.0f;
    if (body != nullptr && body->getActor() != nullptr) {
        mass = body->getActor()->getMass();
    }
    scriptResult(values).setFloat(mass);
}

}  // namespace

void addPhysicsScriptApi(ScriptApi& api) {
    api.setSection("Physics");
    api.addGlobalFunctions({
        {"simulatePhysics", "b", "", simulatePhysics, "enabled", "",
         "Switches the physics simulation on or off; bodies keep their state while it is off."},
        {"extraUpdatePhysics", "f", "", extraUpdatePhysics, "time: milliseconds", "",
         "Runs as many extra physics steps of 16.67 milliseconds as fit into the time, at most "
         "600 (more is logged and cut); a negative or non-finite time does nothing."},
        {"simulatePhysicsTimeScale", "f", "", simulatePhysicsTimeScale,
         "scale: factor on the frame time, 1 is real time", "",
         "Makes the physics world run slower or faster than the game; a negative or non-finite "
         "scale is ignored."},
    });
    api.addMethods(
        "TransformGroup",
        {
            {"addForce", "ffffffb", "", addForce,
             "fx, fy, fz: newtons (world units, kilograms, seconds); px, py, pz: world units; "
             "impulse: true: an impulse in newton seconds at a world position, false: a force at "
             "a position in the body's own frame",
             "",
             "Pushes the node's body at the next physics step. Nothing happens without a rigid "
             "body; a non-finite value is logged and ignored."},
            {"addImpulse", "ffffffb", "", addForce,
             "fx, fy, fz: newtons or newton seconds; px, py, pz: world units; impulse: as for "
             "addForce",
             "", "Another name for addForce, with the same arguments and behaviour."},
            {"setRigidBodyType", "s", "", setRigidBodyType,
             "type: \"Static\", \"Dynamic\" or \"Kinematic\", any other text removes the body", "",
             "Gives the node a rigid body of the type, built from its collision shapes, or "
             "removes it."},
            {"getRigidBodyType", "", "s", getRigidBodyType, "",
             "type: \"Static\", \"Dynamic\", \"Kinematic\" or \"NoRigidBody\"",
             "Returns the kind of rigid body the node has."},
            {"setCollisionMask", "i", "", setCollisionMask, "mask: bit field of collision groups",
             "",
             "Sets which collision groups the node's body collides with; ignored without a "
             "body."},
            {"getCollisionMask", "", "i", getCollisionMask, "", "mask: bit field, 0 without body",
             "Returns the collision mask of the node's body."},
            {"getCenterOfMass", "", "fff", getCenterOfMass, "",
             "x, y, z: world units in the body's frame",
             "Returns the centre of mass of a dynamic body; nil for any other node."},
            {"setCenterOfMass", "fff", "", setCenterOfMass,
             "x, y, z: world units in the body's frame", "",
             "Moves the centre of mass of a dynamic body; other nodes are left alone."},
            {"setMass", "f", "", setMass, "mass: kilograms, above 0", "",
             "Sets the mass of a dynamic or kinematic body, taken at the next step. A mass of 0 "
             "or less, or a body not built yet, is logged and changes nothing."},
            {"getMass", "", "f", getMass, "", "mass: kilograms, 0 without a built body",
             "Returns the mass of the node's body."},
        });
    addPhysicsQueryScriptApi(api);
    addPhysicsVehicleScriptApi(api);
}
