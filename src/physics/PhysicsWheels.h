#pragma once
// The wheel shapes of the physics world: made on the dynamic or kinematic
// bodies of scene nodes, addressed by index (counted from 0), driven with
// motor torque, brake torque and steering, and asked for their axle speed,
// contact point and position for drawing. Creation and controls are queued
// and carried out by the step; an entry lives only as long as its body.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/math/Vector3.h"

class IPhysicsScene;
class IPhysicsWheelShape;
class PhysicsRBObject;
class ScenegraphNode;

class PhysicsWheels {
public:
    struct Shape {
        // Mount point in the node's frame.
        Vector3 position;
        float radius = 1.0f;
        float suspensionTravel = 0.0f;
        float spring = 0.0f;
        float damper = 0.0f;
        float mass = 1.0f;
    };

    explicit PhysicsWheels(IPhysicsScene& scene);
    ~PhysicsWheels();
    PhysicsWheels(const PhysicsWheels&) = delete;
    PhysicsWheels& operator=(const PhysicsWheels&) = delete;

    // Queues a wheel on the node's body and returns its index; -1 (with a
    // log line) when the node has no dynamic or kinematic body or a value
    // is out of range.
    int32_t enqueueCreate(ScenegraphNode& node, const Shape& shape);
    // Queues motor torque, brake torque and steering angle (radians); the
    // node only names the wheel in messages. Values that are not finite are
    // refused with a log line.
    void enqueueControl(const ScenegraphNode& node, int32_t index, float motorTorque,
                        float brakeTorque, float steerAngle);

    // Step sections: "create new objects", "update dynamic objects".
    void createQueued();
    void applyControls();

    // Degrees per second; 0 for an unknown index.
    float getAxleSpeed(const ScenegraphNode& node, int32_t index);
    // The world point the wheel touches; false without contact or for an
    // unknown index.
    bool getContactPoint(const ScenegraphNode& node, int32_t index, Vector3& point);
    // The wheel's centre in the node's frame: hanging at full travel, or
    // resting on its contact; (0, 0, 0) for an unknown index.
    Vector3 getPosition(ScenegraphNode& node, int32_t index);

    // The body's wheels and queued records go with it.
    void onBodyDestroyed(const PhysicsRBObject& body);
    size_t getNumWheels() const { return m_wheels.size(); }

private:
    struct CreateRecord {
        int32_t nodeId;
        const PhysicsRBObject* body;
        Shape shape;
        int32_t index;
    };
    struct ControlRecord {
        int32_t nodeId;
        int32_t index;
        float motorTorque;
        float brakeTorque;
        float steerAngle;
    };
    struct Entry {
        IPhysicsWheelShape* wheel;
        const PhysicsRBObject* body;
    };

    IPhysicsWheelShape* find(const std::string& nodeName, int32_t index);

    IPhysicsScene& m_scene;
    int32_t m_nextIndex = 0;
    std::vector<CreateRecord> m_toCreate;
    std::vector<ControlRecord> m_controls;
    std::map<int32_t, Entry> m_wheels;
};
