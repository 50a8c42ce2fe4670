#pragma once
// The world's queues and lists for joints, queries and reports: private to
// the physics world's own files.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/math/Vector3.h"
#include "physics/JointConstructor.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/IPhysicsScene.h"

class IContactReport;
class ITriggerReport;
class PhysicsJointObject;

struct ScenegraphPhysicsContext::JointQueues {
    struct Drive {
        int32_t nodeId;
        float angle;  // degrees
        Vector3 vector;
    };
    struct Limit {
        int32_t id;
        int axis;
        bool limited;
        float min;
        float max;
        bool translation;
    };
    struct Frame {
        int32_t id;
        int actor;
        int32_t nodeId;
    };

    int32_t lastId = 0;
    std::vector<JointRecord> toCreate;
    // Joint nodes whose joints wait for their bodies (node ids).
    std::vector<int32_t> sceneJoints;
    std::vector<Drive> drives;
    std::vector<Limit> limits;
    std::vector<Frame> frames;
    std::vector<int32_t> toRemove;
    std::vector<IPhysicsJoint*> toRelease;
    std::unordered_map<int32_t, IPhysicsJoint*> byId;
    std::vector<PhysicsJointObject*> objects;
};

struct ScenegraphPhysicsContext::Reports {
    struct Trigger {
        int32_t trigger;
        int32_t other;
        uint32_t flags;
    };
    struct Contact {
        int32_t a;
        int32_t b;
        uint32_t flags;
        Vector3 normalForce;
        Vector3 frictionForce;
    };
    struct Switch {
        int32_t nodeId;
        bool on;
    };

    std::vector<ITriggerReport*> triggerReceivers;
    std::vector<IContactReport*> contactReceivers;
    std::vector<Switch> switches;
    // Nodes whose contacts are reported, also for bodies made later.
    std::vector<int32_t> reportingNodes;
    // Reused each step: the events with their nodes as ids.
    std::vector<Trigger> triggers;
    std::vector<Contact> contacts;
};
