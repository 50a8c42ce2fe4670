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
    api.addGlobalFunctions({
        {"simulatePhysics", "b", "", simulatePhysics},
        {"extraUpdatePhysics", "f", "", extraUpdatePhysics},
        {"simulatePhysicsTimeScale", "f", "", simulatePhysicsTimeScale},
    });
    api.addMethods("TransformGroup", {
                                         {"addForce", "ffffffb", "", addForce},
                                         {"addImpulse", "ffffffb", "", addForce},
                                         {"setRigidBodyType", "s", "", setRigidBodyType},
                                         {"getRigidBodyType", "", "s", getRigidBodyType},
                                         {"setCollisionMask", "i", "", setCollisionMask},
                                         {"getCollisionMask", "", "i", getCollisionMask},
                                         {"getCenterOfMass", "", "fff", getCenterOfMass},
                                         {"setCenterOfMass", "fff", "", setCenterOfMass},
                                         {"setMass", "f", "", setMass},
                                         {"getMass", "", "f", getMass},
                                     });
    addPhysicsQueryScriptApi(api);
    addPhysicsVehicleScriptApi(api);
}
