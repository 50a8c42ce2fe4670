#include "physics/PhysicsRBObject.h"

#include <cmath>

#include "foundation/Log.h"
#include "physics/PhysicsSceneFileHandler.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/IPhysicsScene.h"
#include "scene/Node.h"
#include "scene/TransformGroup.h"

namespace {

bool validNumber(float value) {
    return std::isfinite(value);
}

Matrix4 rigidWorldPose(ScenegraphNode& node) {
    if (!node.hasKind(EntityKind::RawTransformGroup)) {
        return Matrix4::identity();
    }
    Matrix4 pose = static_cast<RawTransformGroup&>(node).getWorldMatrix();
    for (int i = 0; i < 3; ++i) {
        pose.setColumn(i, normalize(pose.getColumn(i)));
    }
    return pose;
}

}  // namespace

PhysicsRBObject::PhysicsRBObject(ScenegraphNode& node, uint32_t stateFlags)
    : PhysicsObject(stateFlags), m_node(node) {
    node.addLocalTransformListener(this);
    node.addWorldTransformListener(this);
}

PhysicsRBObject::~PhysicsRBObject() {
    m_node.removeLocalTransformListener(this);
    m_node.removeWorldTransformListener(this);
    if (m_context != nullptr) {
        m_context->onBodyDestroyed(*this);
    } else if (ScenegraphPhysicsContext* context =
                   ScenegraphPhysicsContext::exists() ? ScenegraphPhysicsContext::get() : nullptr) {
        // Queued for creation but not yet made.
        context->onBodyDestroyed(*this);
    }
}

std::unique_ptr<PhysicsObject> PhysicsRBObject::cloneFor(ScenegraphNode& node) const {
    auto copy = std::make_unique<PhysicsRBObject>(node, m_stateFlags);
    copy->m_collisionMask = m_collisionMask;
    copy->m_restitution = m_restitution;
    copy->m_staticFriction = m_staticFriction;
    copy->m_dynamicFriction = m_dynamicFriction;
    copy->m_skinWidth = m_skinWidth;
    copy->m_density = m_density;
    copy->m_dirtyFlags |= kDirtyCollisionMask | kDirtyRestitution | kDirtyStaticFriction |
                          kDirtyDynamicFriction | kDirtySkinWidth;
    return copy;
}

bool PhysicsRBObject::acceptsScale(float x, float y, float z) const {
    return !(isDynamic() && hasRigidBody()) || (x == 1.0f && y == 1.0f && z == 1.0f);
}

void PhysicsRBObject::actionPerformed(void*, int eventKind, int32_t reason, int32_t) {
    if (m_context == nullptr || reason == ScenegraphPhysicsContext::kPoseCopyReason) {
        return;
    }
    if (eventKind == SceneEvents::localTransformEventKind() ||
        eventKind == SceneEvents::worldTransformEventKind()) {
        m_context->onBodyMoved(*this);
    }
}

void PhysicsRBObject::setType(uint32_t typeBit) {
    m_stateFlags = (m_stateFlags & ~kTypeBits) | (typeBit & kTypeBits) | kRigidBody;
    markDirty(kTypeBits);
}

void PhysicsRBObject::dropRigidBody() {
    m_stateFlags &= ~kRigidBody;
    markDirty(kTypeBits);
}

void PhysicsRBObject::setCollisionEnabled(bool enabled) {
    m_stateFlags = enabled ? (m_stateFlags | kCollision) : (m_stateFlags & ~kCollision);
    markDirty(kCollision);
}

void PhysicsRBObject::setTrigger(bool trigger) {
    m_stateFlags = trigger ? (m_stateFlags | kTrigger) : (m_stateFlags & ~kTrigger);
    markDirty(kTrigger);
}

void PhysicsRBObject::setCollisionMask(uint32_t mask) {
    m_collisionMask = mask;
    markDirty(kDirtyCollisionMask);
}

void PhysicsRBObject::setRestitution(float value) {
    if (validNumber(value)) {
        m_restitution = value;
        markDirty(kDirtyRestitution);
    }
}

void PhysicsRBObject::setStaticFriction(float value) {
    if (validNumber(value) && value >= 0.0f) {
        m_staticFriction = value;
        markDirty(kDirtyStaticFriction);
    }
}

void PhysicsRBObject::setDynamicFriction(float value) {
    if (validNumber(value) && value >= 0.0f) {
        m_dynamicFriction = value;
        markDirty(kDirtyDynamicFriction);
    }
}

void PhysicsRBObject::setSkinWidth(float value) {
    if (validNumber(value) && value > 0.0f) {
        m_skinWidth = value;
        markDirty(kDirtySkinWidth);
    }
}

void PhysicsRBObject::setDensity(float value) {
    if (!validNumber(value) || !(value > 0.0f)) {
        return;
    }
    m_density = value;
    if (m_actor != nullptr) {
        markDirty(kDirtyDensity);
    }
}

void PhysicsRBObject::setCenterOfMass(const Vector3& center) {
    if (!validNumber(center.x) || !validNumber(center.y) || !validNumber(center.z)) {
        return;
    }
    m_centerOfMass = center;
    m_centerOfMassSet = true;
    markDirty(kDirtyCenterOfMass);
}

void PhysicsRBObject::attach(ScenegraphPhysicsContext& context, IPhysicsActor& actor,
                             float volume) {
    m_context = &context;
    m_actor = &actor;
    m_volume = volume;
    m_moved = false;
    // What the actor was made with is current; only what is left to push
    // to it stays dirty.
    m_dirtyFlags &= kDirtyCenterOfMass;
    if (!m_centerOfMassSet && actor.getType() == PhysicsBodyType::Dynamic) {
        m_centerOfMass = actor.getCenterOfMassLocal();
    }
}

void PhysicsRBObject::detach() {
    m_context = nullptr;
    m_actor = nullptr;
    m_inForcedPoseQueue = false;
}

void PhysicsRBObject::applyPendingChanges() {
    if (m_actor == nullptr) {
        return;
    }
    IPhysicsActor& actor = *m_actor;
    uint32_t dirty = m_dirtyFlags;
    if ((dirty & kCollision) != 0) {
        actor.setCollisionEnabled(isCollisionEnabled());
    }
    if ((dirty & kTypeBits) != 0 && actor.getType() != PhysicsBodyType::Static) {
        actor.setKinematic(isKinematic());
    }
    if ((dirty & (kDirtyRestitution | kDirtyStaticFriction | kDirtyDynamicFriction)) != 0) {
        actor.setMaterial({m_restitution, m_staticFriction, m_dynamicFriction});
    }
    if ((dirty & kDirtySkinWidth) != 0) {
        actor.setSkinWidth(m_skinWidth);
    }
    if ((dirty & kTrigger) != 0) {
        actor.setTrigger(isTrigger());
    }
    if ((dirty & kDirtyCollisionMask) != 0) {
        actor.setGroupMask(m_collisionMask);
    }
    if ((dirty & kDirtyDensity) != 0) {
        actor.updateMassFromShapes(m_density);
        if (!m_centerOfMassSet) {
            m_centerOfMass = actor.getCenterOfMassLocal();
        }
    }
    if ((dirty & kDirtyCenterOfMass) != 0 && m_centerOfMassSet) {
        actor.setCenterOfMassLocal(m_centerOfMass);
    }
    m_dirtyFlags = 0;
}

void PhysicsRBObject::applyForcedPose() {
    if (m_actor == nullptr) {
        return;
    }
    Matrix4 pose = rigidWorldPose(m_node);
    switch (m_actor->getType()) {
        case PhysicsBodyType::Kinematic:
            m_actor->moveGlobalPose(pose);
            break;
        case PhysicsBodyType::Dynamic:
            m_actor->setLinearVelocity({0, 0, 0});
            m_actor->setAngularVelocity({0, 0, 0});
            m_actor->setGlobalPose(pose);
            break;
        case PhysicsBodyType::Static:
            m_actor->setGlobalPose(pose);
            break;
    }
    m_moved = false;
}

void describeNodePhysics(ScenegraphNode& node, const PhysicsNodeDescription& description) {
    uint32_t flags = 0;
    if (description.isStatic) {
        flags = PhysicsObject::kRigidBody | PhysicsObject::kStatic;
    } else if (description.dynamic) {
        flags = PhysicsObject::kRigidBody | PhysicsObject::kDynamic;
    } else if (description.kinematic) {
        flags = PhysicsObject::kRigidBody | PhysicsObject::kKinematic;
    }
    if (description.compound) {
        flags |= PhysicsObject::kCompound;
    }
    if (description.compoundChild) {
        flags |= PhysicsObject::kCompoundChild | PhysicsObject::kRigidBody;
    }
    if ((flags & PhysicsObject::kRigidBody) == 0) {
        return;
    }
    if (description.collision) {
        flags |= PhysicsObject::kCollision;
    }
    if (description.trigger) {
        flags |= PhysicsObject::kTrigger;
    }
    auto body = std::make_unique<PhysicsRBObject>(node, flags);
    if (description.collisionMask) {
        body->setCollisionMask(*description.collisionMask);
    }
    if (description.restitution) {
        body->setRestitution(*description.restitution);
    }
    if (description.staticFriction) {
        body->setStaticFriction(*description.staticFriction);
    }
    if (description.dynamicFriction) {
        body->setDynamicFriction(*description.dynamicFriction);
    }
    if (description.skinWidth) {
        body->setSkinWidth(*description.skinWidth);
    }
    if (description.density) {
        body->setDensity(*description.density);
    }
    node.setPhysicsObject(std::move(body));
}

namespace {

void subtreeReady(Node& root) {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (context != nullptr && root.hasKind(EntityKind::ScenegraphNode)) {
        context->addPhysics(static_cast<ScenegraphNode&>(root));
    }
}

}  // namespace

void installPhysicsSceneHandlers(bool install) {
    PhysicsSceneHandlers& handlers = physicsSceneHandlers();
    handlers.describe = install ? describeNodePhysics : nullptr;
    handlers.subtreeReady = install ? subtreeReady : nullptr;
    // Scene files reach the same two functions through the loader's handler.
    static PhysicsSceneFileHandler sceneFiles;
    I3DSectionHandlers::get().physics = install ? &sceneFiles : nullptr;
}
