#include "physics/PhysicsSceneFileHandler.h"

#include "physics/PhysicsJointObject.h"
#include "physics/PhysicsRBObject.h"
#include "scene/PhysicsObject.h"
#include "scene/TransformGroup.h"

namespace {

template <typename T>
std::optional<T> optionalOf(const I3DValue<T>& value) {
    return value.set ? std::optional<T>(value.value) : std::nullopt;
}

}  // namespace

void PhysicsSceneFileHandler::setRigidBody(RawTransformGroup& node, const I3DRigidBodyDesc& desc) {
    // The loader's flag word: 0x3 static, 0x5 dynamic, 0x9 kinematic, 0x10
    // compound, 0x21 compound child, 0x40 collision, 0x80 trigger.
    PhysicsNodeDescription description;
    description.isStatic = (desc.flags & PhysicsObject::kStatic) != 0;
    description.dynamic = (desc.flags & PhysicsObject::kDynamic) != 0;
    description.kinematic = (desc.flags & PhysicsObject::kKinematic) != 0;
    description.compound = (desc.flags & PhysicsObject::kCompound) != 0;
    description.compoundChild = (desc.flags & PhysicsObject::kCompoundChild) != 0;
    description.collision = (desc.flags & PhysicsObject::kCollision) != 0;
    description.trigger = (desc.flags & PhysicsObject::kTrigger) != 0;
    if (desc.collisionMask.set) {
        description.collisionMask = static_cast<uint32_t>(desc.collisionMask.value);
    }
    description.restitution = optionalOf(desc.restitution);
    description.staticFriction = optionalOf(desc.staticFriction);
    description.dynamicFriction = optionalOf(desc.dynamicFriction);
    description.skinWidth = optionalOf(desc.skinWidth);
    description.density = optionalOf(desc.density);
    describeNodePhysics(node, description);
}

void PhysicsSceneFileHandler::setJoint(RawTransformGroup& node, const I3DJointDesc& desc) {
    // The joint replaces whatever physics the node had; it is made with the
    // bodies of the subtree once the scene is registered.
    auto joint = std::make_unique<PhysicsJointObject>(node);
    joint->describe(desc);
    node.setPhysicsObject(std::move(joint));
}

void PhysicsSceneFileHandler::registerSubtree(TransformGroup& root) {
    if (PhysicsSceneHandlers& handlers = physicsSceneHandlers(); handlers.subtreeReady != nullptr) {
        handlers.subtreeReady(root);
    }
}
