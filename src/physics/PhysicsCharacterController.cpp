#include "physics/PhysicsCharacterController.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "physics/sdk/IPhysicsScene.h"
#include "scene/TransformGroup.h"

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
// The reason tag of the node moves the controller itself makes.
constexpr int32_t kFollowReason = 0x43435446;
// How much of a height change the node's position makes up per move.
constexpr float kMoveSharpness = 0.4f;

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vector3 worldPositionOf(RawTransformGroup& node) {
    return node.getWorldMatrix().getTranslation();
}

// Moves the node so that its origin is at the world position, keeping its
// rotation and scale.
void placeNode(RawTransformGroup& node, const Vector3& position, int32_t reason) {
    Vector3 local = position;
    Node* parent = node.getParent();
    if (parent != nullptr && parent->hasKind(EntityKind::RawTransformGroup) &&
        (node.getTransformFlags() & RawTransformGroup::kNoTransformInheritance) == 0) {
        local = static_cast<RawTransformGroup*>(parent)->getWorldMatrix().inverse().transformPoint(
            position);
    }
    Matrix4 matrix = node.getLocalMatrix();
    matrix.setTranslation(local);
    node.setLocalMatrix(matrix, reason);
    // Read back now, so that the next move of the node sends its events.
    node.getWorldMatrix();
}

}  // namespace

// ---- one controller ------------------------------------------------------------

PhysicsCharacterController::PhysicsCharacterController(PhysicsCharacterControllers& owner,
                                                       int32_t id, RawTransformGroup& node,
                                                       float pushFactor)
    : m_owner(owner), m_id(id), m_node(&node), m_pushFactor(pushFactor) {
    node.addLocalTransformListener(this);
    node.addWorldTransformListener(this);
    node.addDeleteListener(this);
}

PhysicsCharacterController::~PhysicsCharacterController() {
    if (m_node != nullptr) {
        m_node->removeLocalTransformListener(this);
        m_node->removeWorldTransformListener(this);
        m_node->removeDeleteListener(this);
    }
    if (m_controller != nullptr) {
        m_owner.getScene().releaseController(m_controller);
    }
}

bool PhysicsCharacterController::isActive() const {
    return m_node != nullptr && m_controller != nullptr && m_controller->getActor() != nullptr &&
           m_controller->getActor()->getUserData() != nullptr;
}

void PhysicsCharacterController::deactivate() {
    if (m_controller != nullptr && m_controller->getActor() != nullptr) {
        m_controller->getActor()->setUserData(nullptr);
    }
    m_moves.clear();
}

void PhysicsCharacterController::actionPerformed(void*, int eventKind, int32_t reason, int32_t) {
    if (eventKind == entityDestroyedEventKind()) {
        // The node is half gone: forget it without touching it.
        m_node = nullptr;
        deactivate();
        m_owner.enqueueRemove(m_id);
        return;
    }
    if (reason != kFollowReason && (eventKind == SceneEvents::localTransformEventKind() ||
                                    eventKind == SceneEvents::worldTransformEventKind())) {
        m_repositionRequest = true;
    }
}

void PhysicsCharacterController::onShapeHit(const PhysicsControllerShapeHit& hit) {
    IPhysicsActor* actor = hit.actor;
    if (actor == nullptr || actor->getType() != PhysicsBodyType::Dynamic || actor->isKinematic() ||
        hit.direction.y != 0.0f) {
        return;
    }
    float mass = actor->getMass();
    if (!(mass > 0.0f)) {
        return;
    }
    Vector3 impulse = -hit.worldNormal * (m_pushFactor / mass * hit.length);
    actor->addForceAtPosition(impulse, hit.worldPosition, PhysicsForceMode::Impulse);
}

void PhysicsCharacterController::update() {
    if (!isActive()) {
        m_moves.clear();
        m_repositionRequest = false;
        return;
    }
    if (m_repositionRequest) {
        m_controller->setPosition(worldPositionOf(*m_node));
    } else {
        placeNode(*m_node, m_controller->getFilteredPosition(), kFollowReason);
        for (const Move& move : m_moves) {
            m_collisionFlags =
                m_controller->move(move.displacement, move.groupMask, kMoveSharpness);
        }
    }
    m_moves.clear();
    m_repositionRequest = false;
}

// ---- the set -------------------------------------------------------------------

PhysicsCharacterControllers::PhysicsCharacterControllers(IPhysicsScene& scene) : m_scene(scene) {}

PhysicsCharacterControllers::~PhysicsCharacterControllers() {
    m_controllers.clear();
}

int32_t PhysicsCharacterControllers::enqueueCreate(RawTransformGroup& node,
                                                   const Capsule& capsule) {
    auto positive = [](float v) { return v > 0.0f && std::isfinite(v); };
    auto nonNegative = [](float v) { return v >= 0.0f && std::isfinite(v); };
    if (!positive(capsule.radius) || !positive(capsule.height)) {
        Log::get() << "Physics: createCCT failed, object " << node.getName()
                   << ": radius and height must be above 0\n";
        return -1;
    }
    if (!nonNegative(capsule.stepOffset) || !nonNegative(capsule.skinWidth) ||
        !std::isfinite(capsule.slopeLimitDegrees) || !std::isfinite(capsule.pushFactor)) {
        Log::get() << "Physics: createCCT failed, object " << node.getName()
                   << ": step offset and skin width must be at least 0, all values finite\n";
        return -1;
    }
    int32_t id = m_nextId++;
    m_toCreate.push_back({id, node.getId(), capsule});
    return id;
}

void PhysicsCharacterControllers::enqueueMove(int32_t id, const Vector3& displacement,
                                              uint32_t groupMask) {
    PhysicsCharacterController* controller = find(id);
    if (controller == nullptr) {
        return;
    }
    if (!finite(displacement)) {
        Log::get() << "Warning: moveCCT, controller " << id
                   << ": the displacement must be finite numbers\n";
        return;
    }
    controller->addMove(displacement, groupMask);
}

void PhysicsCharacterControllers::enqueueRemove(int32_t id) {
    PhysicsCharacterController* controller = find(id);
    if (controller == nullptr) {
        return;
    }
    controller->deactivate();
    if (std::find(m_toRemove.begin(), m_toRemove.end(), id) == m_toRemove.end()) {
        m_toRemove.push_back(id);
    }
}

uint32_t PhysicsCharacterControllers::getCollisionFlags(int32_t id) const {
    PhysicsCharacterController* controller = find(id);
    return controller != nullptr ? controller->getCollisionFlags() : 0;
}

PhysicsCharacterController* PhysicsCharacterControllers::find(int32_t id) const {
    auto it = m_controllers.find(id);
    return it != m_controllers.end() ? it->second.get() : nullptr;
}

void PhysicsCharacterControllers::create(const CreateRecord& record) {
    auto* node = dynamic_cast<RawTransformGroup*>(EntityRegistry::find(record.nodeId));
    if (node == nullptr) {
        return;
    }
    const Capsule& capsule = record.capsule;
    auto controller = std::make_unique<PhysicsCharacterController>(*this, record.id, *node,
                                                                   capsule.pushFactor / 1000.0f);
    PhysicsCapsuleControllerDesc desc;
    desc.position = worldPositionOf(*node);
    desc.radius = capsule.radius;
    desc.height = capsule.height;
    desc.slopeLimit = std::cos(capsule.slopeLimitDegrees * kDegreesToRadians);
    desc.stepOffset = capsule.stepOffset;
    desc.skinWidth = capsule.skinWidth;
    desc.groupMask = capsule.groupMask;
    desc.hitReport = controller.get();
    desc.name = node->getName();
    desc.userData = static_cast<ScenegraphNode*>(node);
    IPhysicsCharacterController* made = m_scene.createCapsuleController(desc);
    if (made == nullptr) {
        Log::get() << "Physics: character controller " << record.id << " of " << node->getName()
                   << " could not be made\n";
        return;
    }
    controller->setController(made);
    m_controllers[record.id] = std::move(controller);
}

void PhysicsCharacterControllers::destroy(int32_t id) {
    m_controllers.erase(id);
}

void PhysicsCharacterControllers::update() {
    for (const CreateRecord& record : m_toCreate) {
        create(record);
    }
    m_toCreate.clear();
    for (int32_t id : m_toRemove) {
        destroy(id);
    }
    m_toRemove.clear();
    for (auto& [id, controller] : m_controllers) {
        controller->update();
    }
}
