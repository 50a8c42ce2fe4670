// The script functions of physics queries and joints: "raycastAll",
// "raycastClosest", "overlapSphere", the "JointConstructor" class and the
// joint commands.

#include <cmath>

#include "physics/JointConstructor.h"
#include "physics/PhysicsScriptBindings.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Node.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"

namespace {

Vector3 vectorArgument(const ScriptValue* values, int first) {
    return {values[first].floatValue, values[first + 1].floatValue, values[first + 2].floatValue};
}

const char* stringArgument(const ScriptValue& value) {
    return value.type == ScriptType::String && value.stringValue != nullptr ? value.stringValue
                                                                            : "";
}

// (origin, direction, callback, maximum distance, target): the callback
// hears of each hit with (node id or 0, x, y, z, distance).
void raycast(ScriptValue* values, bool all) {
    int* target = values[8].takeReference();
    ScriptingRaycastReport report(stringArgument(values[6]), target);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    int32_t count = 0;
    if (context != nullptr) {
        Vector3 origin = vectorArgument(values, 0);
        Vector3 direction = vectorArgument(values, 3);
        float distance = values[7].floatValue;
        count = all ? context->raycastAll(origin, direction, distance, report)
                    : context->raycastClosest(origin, direction, distance, report);
    }
    scriptResult(values).setInt(count);
}

void raycastAll(Entity*, ScriptValue* values) {
    raycast(values, true);
}

void raycastClosest(Entity*, ScriptValue* values) {
    raycast(values, false);
}

void overlapSphere(Entity*, ScriptValue* values) {
    std::string function = stringArgument(values[4]);
    ScriptingPhysicsEntityReport report(function);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    int32_t count = 0;
    if (context != nullptr) {
        count = context->overlapSphere(vectorArgument(values, 0), values[3].floatValue, report);
    }
    scriptResult(values).setInt(count);
}

void removeJoint(Entity*, ScriptValue* values) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->removeJoint(values[0].intValue);
    }
}

void setJointLimit(ScriptValue* values, bool translation) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->setJointLimit(values[0].intValue, values[1].intValue, values[2].isTrue(),
                               values[3].floatValue, values[4].floatValue, translation);
    }
}

void setJointRotationLimit(Entity*, ScriptValue* values) {
    setJointLimit(values, false);
}

void setJointTranslationLimit(Entity*, ScriptValue* values) {
    setJointLimit(values, true);
}

void setJointFrame(Entity*, ScriptValue* values) {
    if (ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get()) {
        context->setJointFrame(values[0].intValue, values[1].intValue, values[2].intValue);
    }
}

void setJointDrive(Entity* entity, ScriptValue* values) {
    auto* node = dynamic_cast<ScenegraphNode*>(entity);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (node != nullptr && context != nullptr) {
        context->setJointDrive(*node, values[0].floatValue, vectorArgument(values, 1));
    }
}

Entity* newJointConstructor(ScriptValue*) {
    return new JointConstructor();
}

JointConstructor& constructor(Entity* object) {
    return static_cast<JointConstructor&>(*object);
}

void setActors(Entity* object, ScriptValue* values) {
    constructor(object).setActors(values[0].intValue, values[1].intValue);
}

void setJointTransforms(Entity* object, ScriptValue* values) {
    constructor(object).setJointTransforms(values[0].intValue, values[1].intValue);
}

void setBreakable(Entity* object, ScriptValue* values) {
    constructor(object).setBreakable(values[0].floatValue, values[1].floatValue);
}

void setRotationLimit(Entity* object, ScriptValue* values) {
    constructor(object).setRotationLimit(values[0].intValue, values[1].floatValue,
                                         values[2].floatValue);
}

void setTranslationLimit(Entity* object, ScriptValue* values) {
    constructor(object).setTranslationLimit(values[0].intValue, values[1].isTrue(),
                                            values[2].floatValue, values[3].floatValue);
}

void finalize(Entity* object, ScriptValue* values) {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    scriptResult(values).setInt(context != nullptr ? constructor(object).finalize(*context) : 0);
}

}  // namespace

void addPhysicsQueryScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"raycastAll", "ffffffsfa", "i", raycastAll},
        {"raycastClosest", "ffffffsfa", "i", raycastClosest},
        {"overlapSphere", "ffffs", "i", overlapSphere},
        {"removeJoint", "i", "", removeJoint},
        {"setJointRotationLimit", "iibff", "", setJointRotationLimit},
        {"setJointTranslationLimit", "iibff", "", setJointTranslationLimit},
        {"setJointFrame", "iii", "", setJointFrame},
    });
    api.addMethods("TransformGroup", {
                                         {"setJointDrive", "ffff", "", setJointDrive},
                                     });
    api.addObjectClass("JointConstructor", newJointConstructor,
                       {
                           {"setActors", "ii", "", setActors},
                           {"setJointTransforms", "ii", "", setJointTransforms},
                           {"setBreakable", "ff", "", setBreakable},
                           {"setRotationLimit", "iff", "", setRotationLimit},
                           {"setTranslationLimit", "ibff", "", setTranslationLimit},
                           {"finalize", "", "i", finalize},
                       });
}
