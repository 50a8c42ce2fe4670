#pragma once
// A joint built by a script: two bodies, a frame node for each, limits per
// axis and an optional break limit. "finalize" reads the frames and queues
// the joint; the world makes it at its next step.

#include <cstdint>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"

class ScenegraphPhysicsContext;

// What the world needs to make a script-built joint: the two body nodes
// (ids, looked up when the joint is made), both frames in world space, and
// the limits.
struct JointRecord {
    int32_t id = 0;
    int32_t actorNodes[2] = {0, 0};
    Vector3 anchor[2];
    Vector3 axis[2];
    Vector3 normal[2];
    bool rotationLimited[3] = {false, false, false};
    Vector3 rotationMin;  // radians
    Vector3 rotationMax;
    bool translationLimited[3] = {true, true, true};
    Vector3 translationMin;
    Vector3 translationMax;
    bool breakable = false;
    float breakForce = 0.0f;
    float breakTorque = 0.0f;
};

// An axis number from a script as an index 0 to 2, or -1 (logged with the
// function's name).
int jointAxisIndex(int axis, const char* function);
// Whether both limits are finite (else logged with the function's name).
bool jointLimitsFinite(float min, float max, const char* function);

class JointConstructor : public Entity {
public:
    JointConstructor() : Entity("JointConstructor", false) {}
    const char* getClassName() const override { return "JointConstructor"; }

    // Ids that name no entity store none.
    void setActors(int32_t node0, int32_t node1);
    void setJointTransforms(int32_t node0, int32_t node1);
    void setBreakable(float force, float torque);
    // Axis 0 to 2; others are refused with a log line (false).
    bool setRotationLimit(int axis, float low, float high);
    bool setTranslationLimit(int axis, bool limited, float low, float high);
    // Queues the joint when both actors and both frame nodes are set (and
    // the frame nodes still exist); its id, or 0.
    int32_t finalize(ScenegraphPhysicsContext& context);

    const JointRecord& getRecord() const { return m_record; }

private:
    int32_t m_frameNodes[2] = {0, 0};
    JointRecord m_record;
};
