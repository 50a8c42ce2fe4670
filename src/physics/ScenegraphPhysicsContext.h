#pragma once
// The one physics world bound to the scene graph. Scripts and the scene
// change bodies at any time; what touches the world while it may be
// simulating is queued and applied by the step at fixed points:
//
//   fetch (simulate first when parallel mode is off), debug lines,
//   "create new objects", "update all objects" (pending property changes),
//   "update dynamic objects" (simulated poses to nodes, forces),
//   "update character controllers", "update forced object pose",
//   "remove objects", statistics, then simulate when parallel mode is on,
//   so that the world simulates while the frame renders.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/math/Matrix4.h"
#include "physics/PhysicsConfig.h"
#include "physics/sdk/IPhysicsScene.h"

class IContactReport;
class IPhysicsEntityReport;
class IPhysicsHost;
class IRaycastReport;
class ITriggerReport;
class PhysicsJointObject;
class PhysicsCharacterControllers;
class PhysicsRBObject;
class PhysicsWheels;
class ScenegraphNode;
class TransformGroup;
struct JointRecord;

class ScenegraphPhysicsContext {
public:
    // The fixed time of one extra step (milliseconds), and the most extra
    // steps one call may run.
    static constexpr float kExtraStepMs = 16.666668f;
    static constexpr int kMaxExtraSteps = 600;
    // The reason tag of node moves made by the step.
    static constexpr int32_t kPoseCopyReason = 0x50485953;

    // The world, made on first use once the physics manager is initialised;
    // none before that.
    static ScenegraphPhysicsContext* get();
    // Fetches a running simulation and ends the world; bodies that outlive
    // it are detached.
    static void release();
    static bool exists();

    explicit ScenegraphPhysicsContext(const PhysicsConfig& config);
    ~ScenegraphPhysicsContext();
    ScenegraphPhysicsContext(const ScenegraphPhysicsContext&) = delete;
    ScenegraphPhysicsContext& operator=(const ScenegraphPhysicsContext&) = delete;

    // One step of dtMs milliseconds (times the time scale). A step called
    // from inside a step is refused.
    void step(float dtMs);
    // floor(ms / kExtraStepMs) further steps, at most kMaxExtraSteps; times
    // that are negative or not finite do nothing.
    void extraUpdate(float ms);
    void setSimulationEnabled(bool enabled) { m_simulationEnabled = enabled; }
    bool isSimulationEnabled() const { return m_simulationEnabled; }
    // Scales that are negative or not finite are ignored.
    void setTimeScale(float scale);
    float getTimeScale() const { return m_timeScale; }
    // The console variable "parallelRenderingAndPhysics" is bound to this.
    bool* parallelFlag() { return &m_parallel; }
    bool isParallel() const { return m_parallel; }
    void setHost(IPhysicsHost* host) { m_host = host; }

    IPhysicsScene& getScene() { return *m_scene; }
    // A simulation runs or, in parallel mode, may run before the next step:
    // changes must be queued.
    bool mustQueue() const { return m_scene->isSimulating() || m_parallel; }

    // The "Physics stats" page.
    std::string getStatsText() const;

    // Gives physics to the rigid bodies of the subtree: at once while the
    // world is idle, else at the next step.
    void addPhysics(ScenegraphNode& root);
    // The node's rigid-body type by name ("Static", "Dynamic", "Kinematic",
    // anything else: none); returns the old type's name.
    std::string setRigidBodyType(ScenegraphNode& node, const std::string& kind);
    // Queues a force (impulse = true: an impulse at a world position, else a
    // force at a position in the body's frame).
    void addForce(PhysicsRBObject& body, const Vector3& force, const Vector3& position,
                  bool impulse);

    // Called by the bodies.
    void onBodyDestroyed(PhysicsRBObject& body);
    void onBodyMoved(PhysicsRBObject& body);

    size_t getNumBodies() const { return m_bodies.size(); }

    // ---- queries and reports ----
    // Rays and spheres are cast at once (they wait for a running
    // simulation); every node found is handed to the report, looked up by
    // id just before, so a report that deletes nodes is safe. A ray needs a
    // finite origin and a direction that is not zero (it is normalised); a
    // sphere a finite centre and a positive radius: other queries find
    // nothing and are logged once. The count of objects reported.
    int32_t raycastAll(const Vector3& origin, const Vector3& direction, float maxDistance,
                       IRaycastReport& report);
    int32_t raycastClosest(const Vector3& origin, const Vector3& direction, float maxDistance,
                           IRaycastReport& report);
    int32_t overlapSphere(const Vector3& center, float radius, IPhysicsEntityReport& report);
    // Receivers of the trigger and contact events, told after each fetch.
    void addTriggerReceiver(ITriggerReport& receiver);
    void removeTriggerReceiver(ITriggerReport& receiver);
    void addContactReceiver(IContactReport& receiver);
    void removeContactReceiver(IContactReport& receiver);
    // Contacts of the node's body with any other are reported (queued).
    void setContactReporting(ScenegraphNode& node, bool on);

    // ---- joints ----
    // Queues a script-built joint; its id (counting from 1).
    int32_t queueJoint(const JointRecord& record);
    void removeJoint(int32_t id);
    // Axis 0 to 2 (others are refused with a log line).
    void setJointLimit(int32_t id, int axis, bool limited, float min, float max, bool translation);
    // Actor 0 or 1 (others are refused with the error line).
    void setJointFrame(int32_t id, int actor, int32_t nodeId);
    // The joint node's drive: with its position-drive flag the angle in
    // degrees about the axis (x, y, z), else the angular velocity.
    void setJointDrive(ScenegraphNode& node, float angle, const Vector3& vector);
    // A script-built joint, none for an unknown id or one not made yet.
    IPhysicsJoint* findJoint(int32_t id) const;
    void onJointObjectDestroyed(PhysicsJointObject& joint);
    // Wheel shapes and character controllers, queued like everything else
    // and carried out by the step.
    PhysicsWheels& getWheels() { return *m_wheels; }
    PhysicsCharacterControllers& getCharacterControllers() { return *m_controllers; }

private:
    struct JointQueues;
    struct Reports;
    struct ForceRecord {
        PhysicsRBObject* body;
        Vector3 force;
        Vector3 position;
        bool impulse;
    };
    struct StatCounter {
        int32_t current = 0;
        int32_t max = 0;
        void set(int32_t value) {
            current = value;
            max = value > max ? value : max;
        }
    };

    void simulate(float ms);
    void fetch();
    void enter(const char* name);
    void leave();
    void drawDebugLines();
    void createQueuedObjects();
    void updateAllObjects();
    void copySimulatedPoses();
    void applyForces();
    void applyForcedPoses();
    void removeObjects();
    void deliverEvents();
    void applyContactSwitches();
    void noteSceneJoint(ScenegraphNode& node);
    void createSceneJoints();
    void createSceneJoint(PhysicsJointObject& object);
    void createQueuedJoints();
    void applyJointCommands();
    void releaseJoints();
    void createSubtree(ScenegraphNode& node, bool scaledAbove);
    void createBody(ScenegraphNode& node, PhysicsRBObject& body, bool scaled);
    void createTerrainBody(TransformGroup& node, PhysicsRBObject& body, bool scaled);
    void queueSubtree(ScenegraphNode& node);
    void registerBody(PhysicsRBObject& body, IPhysicsActor& actor, float volume);
    RefPtr<IPhysicsConvexMesh> convexMeshFor(ScenegraphNode& shapeNode, bool scaled);

    std::unique_ptr<IPhysicsScene> m_scene;
    PhysicsConfig m_config;
    IPhysicsHost* m_host = nullptr;
    bool m_simulationEnabled = true;
    bool m_posesSynced = false;
    bool m_parallel = true;
    bool m_inStep = false;
    float m_timeScale = 1.0f;

    std::vector<PhysicsRBObject*> m_bodies;
    std::vector<ScenegraphNode*> m_nodesToCreate;
    std::vector<ForceRecord> m_forces;
    std::vector<PhysicsRBObject*> m_forcedPoses;
    std::vector<IPhysicsActor*> m_actorsToRelease;
    // Reused each step: the moved bodies sorted parents first.
    std::vector<std::pair<int, size_t>> m_moveOrder;
    std::vector<PhysicsDebugLine> m_debugLines;
    // Unscaled convex meshes by geometry id.
    std::unordered_map<int32_t, RefPtr<IPhysicsConvexMesh>> m_convexCache;

    StatCounter m_dynamicCount;
    StatCounter m_staticCount;
    StatCounter m_jointCount;
    StatCounter m_pairCount;

    std::unique_ptr<JointQueues> m_joints;
    std::unique_ptr<Reports> m_reports;
    std::unique_ptr<PhysicsWheels> m_wheels;
    std::unique_ptr<PhysicsCharacterControllers> m_controllers;
};
