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
        {"raycastAll", "ffffffsfa", "i", raycastAll,
         "x, y, z: world units, the ray's origin; dx, dy, dz: direction, any length but not 0; "
         "callbackName; maxDistance: world units; table target?",
         "hits: number of hits reported",
         "Casts a ray and calls the raycast callback for every hit, nearest first, until it "
         "returns anything but true. "
         "Returns 0 without calling anything for a zero direction or a non-finite origin "
         "(logged once)."},
        {"raycastClosest", "ffffffsfa", "i", raycastClosest,
         "x, y, z: world units, the ray's origin; dx, dy, dz: direction, any length but not 0; "
         "callbackName; maxDistance: world units; table target?",
         "hits: 1 when something was hit, else 0",
         "Casts a ray and calls the raycast callback once with the closest hit. Returns 0 when "
         "nothing is hit or the ray is refused (logged once)."},
        {"overlapSphere", "ffffs", "i", overlapSphere,
         "x, y, z: world units, the centre; radius: world units, above 0; callbackName", "count",
         "Calls the overlap callback once for every physics object that overlaps the sphere and "
         "returns their number; 0 for a radius of 0 or less (logged once)."},
        {"removeJoint", "i", "", removeJoint, "joint: id from JointConstructor:finalize", "",
         "Removes the joint at the next physics step; an unknown id is ignored."},
        {"setJointRotationLimit", "iibff", "", setJointRotationLimit,
         "joint; axis: 0, 1 or 2; limited; low, high: radians", "",
         "Limits or frees the joint's rotation about the axis at the next step; equal limits "
         "lock it. A bad axis or a non-finite limit is logged and ignored."},
        {"setJointTranslationLimit", "iibff", "", setJointTranslationLimit,
         "joint; axis: 0, 1 or 2; limited; low, high: world units", "",
         "Limits or frees the joint's movement along the axis at the next step; limits closer "
         "than 0.001 lock it. A bad axis or a non-finite limit is logged and ignored."},
        {"setJointFrame", "iii", "", setJointFrame, "joint; actor: 0 or 1; node: frame node", "",
         "Moves the joint's frame on one of its two bodies to the node's world transform at the "
         "next step. Another actor index logs an error and changes nothing."},
    });
    api.addCallbacks({
        {"raycastCallback",
         "integer node: the node hit, 0 for a body without one; number x, y, z: world units, "
         "where the ray hit; number distance: world units from the origin",
         "boolean more: true to hear of the next hit",
         "Called by raycastAll for each hit, nearest first, until it returns anything but true, "
         "and by raycastClosest once."},
        {"overlapCallback", "integer node: the node found, 0 for a body without one", "",
         "Called by overlapSphere for each object in the sphere (always as a global function, "
         "there is no target)."},
    });
    api.addMethods(
        "TransformGroup",
        {
            {"setJointDrive", "ffff", "", setJointDrive,
             "angle: degrees, for a position drive; x, y, z: the drive's axis, or for a velocity "
             "drive the angular velocity in radians per second",
             "",
             "Drives the joint that the node carries at the next step: a position drive turns to "
             "the angle about the axis, a velocity drive spins at the velocity. A zero axis for a "
             "position drive is logged and ignored."},
        });
    api.addObjectClass(
        "JointConstructor", newJointConstructor,
        {
            {"setActors", "ii", "", setActors, "node0, node1: the two bodies' nodes", "",
             "Chooses the two bodies the joint connects; an id that names no entity stores none."},
            {"setJointTransforms", "ii", "", setJointTransforms,
             "frame0, frame1: nodes whose world transforms are the joint frames", "",
             "Chooses the nodes whose world position and axes define the joint on each body."},
            {"setBreakable", "ff", "", setBreakable, "force: newtons; torque: newton metres", "",
             "Lets the joint break when the force or torque on it exceeds the limits; negative "
             "or infinite limits are logged and ignored."},
            {"setRotationLimit", "iff", "", setRotationLimit, "axis: 0, 1 or 2; low, high: radians",
             "",
             "Limits the rotation about the axis; equal limits lock it. A bad axis or limit is "
             "logged and ignored."},
            {"setTranslationLimit", "ibff", "", setTranslationLimit,
             "axis: 0, 1 or 2; limited; low, high: world units", "",
             "Limits or frees the movement along the axis. A bad axis or limit is logged and "
             "ignored."},
            {"finalize", "", "i", finalize, "", "joint: id, 0 when a node is missing",
             "Queues the joint for creation at the next physics step and returns its id; 0 when "
             "an actor or frame node is not set or gone."},
        });
    api.describeClass("JointConstructor",
                      {"",
                       "Describes a joint between two bodies step by step and then "
                       "creates it."});
}
