// The physics world's joints: joints of "joint" scene nodes, joints built by
// scripts, and their drive, limit and frame commands, all carried out by
// the step.

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "physics/PhysicsContextQueues.h"
#include "physics/PhysicsJointObject.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Shape.h"
#include "scene/TransformGroup.h"

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kLimitRestitution = 0.5f;

RawTransformGroup* transformGroup(Node* node) {
    return node != nullptr && node->hasKind(EntityKind::RawTransformGroup)
               ? static_cast<RawTransformGroup*>(node)
               : nullptr;
}

RawTransformGroup* transformGroupById(int32_t id) {
    Entity* entity = id != 0 ? EntityRegistry::find(id) : nullptr;
    return entity != nullptr && entity->hasKind(EntityKind::RawTransformGroup)
               ? static_cast<RawTransformGroup*>(entity)
               : nullptr;
}

IPhysicsActor* actorOf(Node* node) {
    RawTransformGroup* group = transformGroup(node);
    auto* body =
        group != nullptr ? dynamic_cast<PhysicsRBObject*>(group->getPhysicsObject()) : nullptr;
    return body != nullptr && body->hasRigidBody() ? body->getActor() : nullptr;
}

// Rotation and translation of a node's world matrix: the frame its actor
// has.
Matrix4 rigidWorld(RawTransformGroup& node) {
    Matrix4 out = node.getWorldMatrix();
    for (int i = 0; i < 3; ++i) {
        out.setColumn(i, normalize(out.getColumn(i)));
    }
    return out;
}

// Twist: [min, max]; swing: symmetric, half the range either side. Equal
// values lock the axis.
PhysicsJointAxis rotationAxis(int axis, bool limited, float min, float max) {
    PhysicsJointAxis out;
    if (!limited) {
        return out;
    }
    if (min == max) {
        out.motion = PhysicsJointMotion::Locked;
        return out;
    }
    out.motion = PhysicsJointMotion::Limited;
    if (axis == 0) {
        out.low = std::min(min, max);
        out.high = std::max(min, max);
    } else {
        float half = std::fabs(max - min) * 0.5f;
        out.low = -half;
        out.high = half;
    }
    return out;
}

PhysicsJointAxis translationAxis(bool limited, float min, float max) {
    PhysicsJointAxis out;
    if (!limited) {
        return out;
    }
    if (std::fabs(max - min) < 0.001f) {
        out.motion = PhysicsJointMotion::Locked;
        return out;
    }
    out.motion = PhysicsJointMotion::Limited;
    out.low = std::min(min, max);
    out.high = std::max(min, max);
    return out;
}

}  // namespace

// ---- joint nodes -----------------------------------------------------------

void ScenegraphPhysicsContext::noteSceneJoint(ScenegraphNode& node) {
    auto* object = dynamic_cast<PhysicsJointObject*>(node.getPhysicsObject());
    if (object == nullptr || object->getContext() != nullptr) {
        return;
    }
    std::vector<int32_t>& pending = m_joints->sceneJoints;
    if (std::find(pending.begin(), pending.end(), node.getId()) == pending.end()) {
        pending.push_back(node.getId());
    }
}

void ScenegraphPhysicsContext::createSceneJoints() {
    std::vector<int32_t>& pending = m_joints->sceneJoints;
    for (size_t i = 0; i < pending.size(); ++i) {
        Entity* entity = EntityRegistry::find(pending[i]);
        auto* node = dynamic_cast<ScenegraphNode*>(entity);
        auto* object =
            node != nullptr ? dynamic_cast<PhysicsJointObject*>(node->getPhysicsObject()) : nullptr;
        if (object != nullptr && object->getContext() == nullptr) {
            createSceneJoint(*object);
        }
    }
    pending.clear();
}

void ScenegraphPhysicsContext::createSceneJoint(PhysicsJointObject& object) {
    RawTransformGroup* node = transformGroup(&object.getNode());
    if (node == nullptr) {
        return;
    }
    // Actor 0: a parent shape with a body, else the first sibling with one;
    // actor 1: the first child with a body.
    Node* parent = node->getParent();
    RawTransformGroup* nodes[2] = {nullptr, nullptr};
    if (parent != nullptr && parent->hasKind(EntityKind::Shape) && actorOf(parent) != nullptr) {
        nodes[0] = transformGroup(parent);
    } else if (parent != nullptr) {
        for (Node* sibling : parent->getChildren()) {
            if (sibling != node && actorOf(sibling) != nullptr) {
                nodes[0] = transformGroup(sibling);
                break;
            }
        }
    }
    for (Node* child : node->getChildren()) {
        if (actorOf(child) != nullptr) {
            nodes[1] = transformGroup(child);
            break;
        }
    }
    if (nodes[0] == nullptr && nodes[1] == nullptr) {
        Log::get() << "Physics: joint " << node->getName() << " has no body to connect\n";
        return;
    }
    PhysicsJointDesc desc;
    desc.name = node->getName();
    desc.userData = node;
    // The joint node's frame seen from each actor (from the world where
    // there is none).
    Matrix4 jointWorld = rigidWorld(*node);
    for (int i = 0; i < 2; ++i) {
        Matrix4 frame = jointWorld;
        if (nodes[i] != nullptr) {
            desc.actors[i] = actorOf(nodes[i]);
            frame = rigidWorld(*nodes[i]).inverse() * jointWorld;
        }
        desc.localAnchor[i] = frame.getTranslation();
        desc.localAxis[i] = frame.getColumn(0);
        desc.localNormal[i] = frame.getColumn(1);
    }
    for (int i = 0; i < 3; ++i) {
        desc.angular[i] = rotationAxis(i, object.rotationLimited[i], object.rotationMin[i],
                                       object.rotationMax[i]);
        if (object.translationGiven[i]) {
            desc.linear[i].motion = PhysicsJointMotion::Locked;
        }
    }
    desc.limitRestitution = kLimitRestitution;
    if (object.hasFlag(PhysicsJointObject::kBreakable)) {
        desc.breakForce = object.breakForce;
        desc.breakTorque = object.breakTorque;
    }
    IPhysicsJoint* joint = m_scene->createJoint(desc);
    if (joint == nullptr) {
        Log::get() << "Physics: joint " << node->getName()
                   << " failed. The joint could not be made.\n";
        return;
    }
    object.attach(*this, joint);
    object.clearDirty();
    m_joints->objects.push_back(&object);
    PhysicsJointDrive drive;
    drive.axes = (object.hasFlag(PhysicsJointObject::kXAxisDrive) ? 1u : 0u) |
                 (object.hasFlag(PhysicsJointObject::kYAxisDrive) ? 2u : 0u) |
                 (object.hasFlag(PhysicsJointObject::kZAxisDrive) ? 4u : 0u);
    drive.spring = object.driveSpring;
    drive.damping = object.driveDamping;
    drive.forceLimit = object.driveForceLimit;
    joint->setDrive(drive);
    if (drive.axes != 0) {
        joint->setDriveOrientation({1, 0, 0}, 0.0f);
    }
}

void ScenegraphPhysicsContext::onJointObjectDestroyed(PhysicsJointObject& object) {
    auto& objects = m_joints->objects;
    objects.erase(std::remove(objects.begin(), objects.end(), &object), objects.end());
    if (IPhysicsJoint* joint = object.getJoint()) {
        m_joints->toRelease.push_back(joint);
    }
    ScenegraphNode* node = &object.getNode();
    m_nodesToCreate.erase(std::remove(m_nodesToCreate.begin(), m_nodesToCreate.end(), node),
                          m_nodesToCreate.end());
}

// ---- script-built joints ---------------------------------------------------

int32_t ScenegraphPhysicsContext::queueJoint(const JointRecord& record) {
    JointRecord queued = record;
    queued.id = ++m_joints->lastId;
    m_joints->toCreate.push_back(queued);
    return queued.id;
}

void ScenegraphPhysicsContext::createQueuedJoints() {
    for (const JointRecord& record : m_joints->toCreate) {
        PhysicsJointDesc desc;
        RawTransformGroup* nodes[2] = {transformGroupById(record.actorNodes[0]),
                                       transformGroupById(record.actorNodes[1])};
        for (int i = 0; i < 2; ++i) {
            Matrix4 toLocal = Matrix4::identity();
            desc.actors[i] = actorOf(nodes[i]);
            if (desc.actors[i] != nullptr) {
                toLocal = rigidWorld(*nodes[i]).inverse();
            }
            desc.localAnchor[i] = toLocal.transformPoint(record.anchor[i]);
            desc.localAxis[i] = toLocal.transformVector(record.axis[i]);
            desc.localNormal[i] = toLocal.transformVector(record.normal[i]);
        }
        desc.name = nodes[0] != nullptr ? nodes[0]->getName() : std::string();
        for (int i = 0; i < 3; ++i) {
            desc.angular[i] = rotationAxis(i, record.rotationLimited[i], record.rotationMin[i],
                                           record.rotationMax[i]);
            desc.linear[i] = translationAxis(record.translationLimited[i], record.translationMin[i],
                                             record.translationMax[i]);
        }
        desc.limitRestitution = kLimitRestitution;
        if (record.breakable) {
            desc.breakForce = record.breakForce;
            desc.breakTorque = record.breakTorque;
        }
        IPhysicsJoint* joint = m_scene->createJoint(desc);
        if (joint == nullptr) {
            Log::get() << "Physics: joint " << record.id
                       << " failed. Its bodies are gone or have no actor.\n";
            continue;
        }
        m_joints->byId[record.id] = joint;
    }
    m_joints->toCreate.clear();
}

IPhysicsJoint* ScenegraphPhysicsContext::findJoint(int32_t id) const {
    auto it = m_joints->byId.find(id);
    return it != m_joints->byId.end() ? it->second : nullptr;
}

void ScenegraphPhysicsContext::removeJoint(int32_t id) {
    JointQueues& q = *m_joints;
    q.toCreate.erase(std::remove_if(q.toCreate.begin(), q.toCreate.end(),
                                    [id](const JointRecord& r) { return r.id == id; }),
                     q.toCreate.end());
    q.frames.erase(std::remove_if(q.frames.begin(), q.frames.end(),
                                  [id](const JointQueues::Frame& f) { return f.id == id; }),
                   q.frames.end());
    q.limits.erase(std::remove_if(q.limits.begin(), q.limits.end(),
                                  [id](const JointQueues::Limit& l) { return l.id == id; }),
                   q.limits.end());
    q.toRemove.push_back(id);
}

void ScenegraphPhysicsContext::setJointLimit(int32_t id, int axis, bool limited, float min,
                                             float max, bool translation) {
    int index =
        jointAxisIndex(axis, translation ? "setJointTranslationLimit" : "setJointRotationLimit");
    if (index < 0 ||
        !jointLimitsFinite(min, max,
                           translation ? "setJointTranslationLimit" : "setJointRotationLimit")) {
        return;
    }
    m_joints->limits.push_back({id, index, limited, min, max, translation});
}

void ScenegraphPhysicsContext::setJointFrame(int32_t id, int actor, int32_t nodeId) {
    if (actor != 0 && actor != 1) {
        Log::get() << "Error: setJointFrame, actor must be 0 or 1\n";
        return;
    }
    m_joints->frames.push_back({id, actor, nodeId});
}

void ScenegraphPhysicsContext::setJointDrive(ScenegraphNode& node, float angle,
                                             const Vector3& vector) {
    m_joints->drives.push_back({node.getId(), angle, vector});
}

void ScenegraphPhysicsContext::applyJointCommands() {
    JointQueues& q = *m_joints;
    for (const JointQueues::Drive& drive : q.drives) {
        auto* node = dynamic_cast<ScenegraphNode*>(EntityRegistry::find(drive.nodeId));
        auto* object =
            node != nullptr ? dynamic_cast<PhysicsJointObject*>(node->getPhysicsObject()) : nullptr;
        if (object == nullptr || object->getJoint() == nullptr) {
            continue;
        }
        if (object->hasFlag(PhysicsJointObject::kPositionDrive)) {
            if (length(drive.vector) == 0.0f) {
                Log::get() << "Error: setJointDrive, " << node->getName()
                           << ": the axis of a position drive must not be zero\n";
                continue;
            }
            object->getJoint()->setDriveOrientation(normalize(drive.vector),
                                                    drive.angle * kDegreesToRadians);
        } else {
            object->getJoint()->setDriveAngularVelocity(drive.vector);
        }
    }
    q.drives.clear();

    for (const JointQueues::Limit& change : q.limits) {
        IPhysicsJoint* joint = findJoint(change.id);
        if (joint == nullptr) {
            continue;
        }
        PhysicsJointDesc desc = joint->getDesc();
        if (change.translation) {
            desc.linear[change.axis] = translationAxis(change.limited, change.min, change.max);
        } else {
            desc.angular[change.axis] =
                rotationAxis(change.axis, change.limited, change.min, change.max);
        }
        joint->setDesc(desc);
    }
    q.limits.clear();

    for (const JointQueues::Frame& change : q.frames) {
        IPhysicsJoint* joint = findJoint(change.id);
        RawTransformGroup* node = transformGroupById(change.nodeId);
        IPhysicsActor* actor = joint != nullptr ? joint->getActor(change.actor) : nullptr;
        if (actor == nullptr || node == nullptr) {
            continue;
        }
        Matrix4 toLocal = actor->getGlobalPose().inverse();
        const Matrix4& world = node->getWorldMatrix();
        PhysicsJointDesc desc = joint->getDesc();
        desc.localAnchor[change.actor] = toLocal.transformPoint(world.getTranslation());
        desc.localAxis[change.actor] = toLocal.transformVector(normalize(world.getColumn(0)));
        desc.localNormal[change.actor] = toLocal.transformVector(normalize(world.getColumn(1)));
        joint->setDesc(desc);
    }
    q.frames.clear();
}

void ScenegraphPhysicsContext::releaseJoints() {
    JointQueues& q = *m_joints;
    for (int32_t id : q.toRemove) {
        auto it = q.byId.find(id);
        if (it != q.byId.end()) {
            m_scene->releaseJoint(it->second);
            q.byId.erase(it);
        }
    }
    q.toRemove.clear();
    for (IPhysicsJoint* joint : q.toRelease) {
        m_scene->releaseJoint(joint);
    }
    q.toRelease.clear();
}
