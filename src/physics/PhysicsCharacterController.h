#pragma once
// Character controllers of the physics world: upright capsules bound to
// scene nodes, addressed by id (counted from 0), moved by queued
// displacements and pushing the dynamic bodies they walk into. Creation,
// moves and removal are carried out by the step's section "update
// character controllers"; a controller goes when its node does.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "physics/sdk/IPhysicsCharacterController.h"

class IPhysicsScene;
class RawTransformGroup;
class PhysicsCharacterControllers;

class PhysicsCharacterController : public IPhysicsControllerHitReport, public ActionListener {
public:
    PhysicsCharacterController(PhysicsCharacterControllers& owner, int32_t id,
                               RawTransformGroup& node, float pushFactor);
    ~PhysicsCharacterController() override;
    PhysicsCharacterController(const PhysicsCharacterController&) = delete;
    PhysicsCharacterController& operator=(const PhysicsCharacterController&) = delete;

    // Pushes dynamic bodies met by a horizontal move.
    void onShapeHit(const PhysicsControllerShapeHit& hit) override;
    // Moves of the node (a script or an animation placing it) and its
    // deletion.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    void setController(IPhysicsCharacterController* controller) { m_controller = controller; }
    IPhysicsCharacterController* getController() const { return m_controller; }
    RawTransformGroup* getNode() const { return m_node; }
    uint32_t getCollisionFlags() const { return m_collisionFlags; }
    bool isActive() const;
    // Drops the node link: the controller stops moving.
    void deactivate();

    void addMove(const Vector3& displacement, uint32_t groupMask) {
        m_moves.push_back({displacement, groupMask});
    }
    // The step's pass: placed at its node when the node was moved, else the
    // node follows its filtered position (a climbed step shows as a rise
    // over a few steps) and the queued moves are made.
    void update();

private:
    struct Move {
        Vector3 displacement;
        uint32_t groupMask;
    };

    PhysicsCharacterControllers& m_owner;
    int32_t m_id;
    IPhysicsCharacterController* m_controller = nullptr;
    RawTransformGroup* m_node;
    std::vector<Move> m_moves;
    uint32_t m_collisionFlags = 0;
    bool m_repositionRequest = false;
    float m_pushFactor;
};

class PhysicsCharacterControllers {
public:
    struct Capsule {
        float radius = 0.5f;
        float height = 1.0f;
        float stepOffset = 0.5f;
        float slopeLimitDegrees = 45.0f;
        float skinWidth = 0.1f;
        uint32_t groupMask = 255;
        // Impulse per unit of mass and of move length pushing bodies, times
        // 1000.
        float pushFactor = 0.0f;
    };

    explicit PhysicsCharacterControllers(IPhysicsScene& scene);
    ~PhysicsCharacterControllers();
    PhysicsCharacterControllers(const PhysicsCharacterControllers&) = delete;
    PhysicsCharacterControllers& operator=(const PhysicsCharacterControllers&) = delete;

    // Queues a controller at the node and returns its id; -1 (with a log
    // line) when a value is out of range.
    int32_t enqueueCreate(RawTransformGroup& node, const Capsule& capsule);
    // Moves of ids not yet made are dropped; displacements that are not
    // finite are refused with a log line.
    void enqueueMove(int32_t id, const Vector3& displacement, uint32_t groupMask);
    void enqueueRemove(int32_t id);
    // Sides 1, up 2, down 4 of the last move; 0 for an unknown id.
    uint32_t getCollisionFlags(int32_t id) const;
    PhysicsCharacterController* find(int32_t id) const;
    size_t getNumControllers() const { return m_controllers.size(); }

    // The step's section "update character controllers".
    void update();

    IPhysicsScene& getScene() { return m_scene; }

private:
    struct CreateRecord {
        int32_t id;
        int32_t nodeId;
        Capsule capsule;
    };

    void create(const CreateRecord& record);
    void destroy(int32_t id);

    IPhysicsScene& m_scene;
    int32_t m_nextId = 0;
    std::vector<CreateRecord> m_toCreate;
    std::vector<int32_t> m_toRemove;
    std::map<int32_t, std::unique_ptr<PhysicsCharacterController>> m_controllers;
};
