#include "physics/ScenegraphPhysicsContext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/Log.h"
#include "physics/IPhysicsHost.h"
#include "physics/PhysicsCharacterController.h"
#include "physics/PhysicsContextQueues.h"
#include "physics/PhysicsJointObject.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/PhysicsWheels.h"
#include "physics/sdk/PhysicsDebugUserAllocator.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"
#include "scene/TransformGroup.h"

namespace {

// Profiler sections are keyed by the address of their name.
const char kSectionPhysics[] = "physics";
const char kSectionCreate[] = "create new objects";
const char kSectionUpdateAll[] = "update all objects";
const char kSectionUpdateDynamic[] = "update dynamic objects";
const char kSectionControllers[] = "update character controllers";
const char kSectionForcedPose[] = "update forced object pose";
const char kSectionRemove[] = "remove objects";

std::unique_ptr<ScenegraphPhysicsContext>& instance() {
    static std::unique_ptr<ScenegraphPhysicsContext>* context =
        new std::unique_ptr<ScenegraphPhysicsContext>();
    return *context;
}

PhysicsRBObject* bodyOf(ScenegraphNode& node) {
    return dynamic_cast<PhysicsRBObject*>(node.getPhysicsObject());
}

RawTransformGroup* transformGroupOf(Node* node) {
    return node != nullptr && node->hasKind(EntityKind::RawTransformGroup)
               ? static_cast<RawTransformGroup*>(node)
               : nullptr;
}

// The rotation and translation of the matrix: its three columns made unit
// length.
Matrix4 rigidPart(const Matrix4& matrix) {
    Matrix4 out = matrix;
    for (int i = 0; i < 3; ++i) {
        out.setColumn(i, normalize(matrix.getColumn(i)));
    }
    out.m[3] = out.m[7] = out.m[11] = 0.0f;
    out.m[15] = 1.0f;
    return out;
}

bool isUnitScale(const Vector3& scale) {
    return scale.x == 1.0f && scale.y == 1.0f && scale.z == 1.0f;
}

int depthOf(const Node* node) {
    int depth = 0;
    for (const Node* n = node->getParent(); n != nullptr; n = n->getParent()) {
        ++depth;
    }
    return depth;
}

// Positions and triangle corners of the shape's mesh, the positions scaled.
bool meshOf(ScenegraphNode& node, const Vector3& scale, std::vector<float>& vertices,
            std::vector<uint32_t>& indices) {
    if (!node.hasKind(EntityKind::Shape)) {
        return false;
    }
    Geometry* geometry = static_cast<Shape&>(node).getGeometry();
    const MeshData* mesh = geometry != nullptr ? geometry->getMeshData() : nullptr;
    if (mesh == nullptr) {
        return false;
    }
    vertices.clear();
    indices.clear();
    vertices.reserve(mesh->positions.size() * 3);
    for (const Vector3& p : mesh->positions) {
        vertices.push_back(p.x * scale.x);
        vertices.push_back(p.y * scale.y);
        vertices.push_back(p.z * scale.z);
    }
    indices.reserve(mesh->triangles.size() * 3);
    for (const MeshTriangle& triangle : mesh->triangles) {
        for (const MeshCorner& corner : triangle.corners) {
            indices.push_back(corner.position);
        }
    }
    return true;
}

std::string counterText(int64_t value) {
    return std::to_string(value > 100000 ? 0 : value);
}

}  // namespace

ScenegraphPhysicsContext* ScenegraphPhysicsContext::get() {
    std::unique_ptr<ScenegraphPhysicsContext>& context = instance();
    if (!context && PhysicsManager::get().isInitialised()) {
        context = std::make_unique<ScenegraphPhysicsContext>(PhysicsManager::get().getConfig());
    }
    return context.get();
}

void ScenegraphPhysicsContext::release() {
    instance().reset();
}

bool ScenegraphPhysicsContext::exists() {
    return instance() != nullptr;
}

ScenegraphPhysicsContext::ScenegraphPhysicsContext(const PhysicsConfig& config)
    : m_config(config),
      m_joints(std::make_unique<JointQueues>()),
      m_reports(std::make_unique<Reports>()) {
    PhysicsSceneDesc desc;
    desc.gravity = config.gravity;
    desc.boundsMin = config.worldBoundsMin;
    desc.boundsMax = config.worldBoundsMax;
    desc.fixedStep = config.timestep;
    desc.maxSubSteps = config.maxIterations;
    m_scene = createPhysicsScene(desc);
    m_wheels = std::make_unique<PhysicsWheels>(*m_scene);
    m_controllers = std::make_unique<PhysicsCharacterControllers>(*m_scene);
}

ScenegraphPhysicsContext::~ScenegraphPhysicsContext() {
    fetch();
    m_controllers.reset();
    m_wheels.reset();
    // Bodies that outlive the world keep their nodes but lose the world.
    for (PhysicsRBObject* body : m_bodies) {
        body->detach();
    }
    m_bodies.clear();
    for (PhysicsJointObject* joint : m_joints->objects) {
        joint->detach();
    }
    m_joints->objects.clear();
    m_convexCache.clear();
    m_scene.reset();
}

void ScenegraphPhysicsContext::enter(const char* name) {
    if (m_host != nullptr) {
        m_host->enterSection(name);
    }
}

void ScenegraphPhysicsContext::leave() {
    if (m_host != nullptr) {
        m_host->leaveSection();
    }
}

void ScenegraphPhysicsContext::setTimeScale(float scale) {
    if (scale >= 0.0f && std::isfinite(scale)) {
        m_timeScale = scale;
    }
}

void ScenegraphPhysicsContext::simulate(float ms) {
    if (ms > 0.0f && std::isfinite(ms) && !m_scene->isSimulating() && m_simulationEnabled) {
        m_scene->simulate(ms / 1000.0f);
    }
}

void ScenegraphPhysicsContext::fetch() {
    if (m_scene && m_scene->fetchResults()) {
        m_posesSynced = false;
    }
}

void ScenegraphPhysicsContext::step(float dtMs) {
    if (m_inStep) {
        Log::get() << "Warning: physics step refused inside a physics step\n";
        return;
    }
    m_inStep = true;
    float t = m_timeScale * dtMs;
    enter(kSectionPhysics);
    if (!m_parallel) {
        simulate(t);
    }
    fetch();
    // Scripts hear of triggers and contacts before any queue is applied.
    deliverEvents();
    drawDebugLines();

    enter(kSectionCreate);
    createQueuedObjects();
    leave();

    enter(kSectionUpdateAll);
    updateAllObjects();
    leave();

    enter(kSectionUpdateDynamic);
    if (!m_posesSynced) {
        copySimulatedPoses();
        m_posesSynced = true;
    }
    applyForces();
    applyJointCommands();
    applyContactSwitches();
    m_wheels->applyControls();
    leave();

    enter(kSectionControllers);
    m_controllers->update();
    leave();

    enter(kSectionForcedPose);
    applyForcedPoses();
    leave();

    enter(kSectionRemove);
    removeObjects();
    leave();

    PhysicsSceneStats stats = m_scene->getStats();
    m_dynamicCount.set(stats.dynamicActors);
    m_staticCount.set(stats.staticActors);
    m_jointCount.set(stats.joints);
    m_pairCount.set(stats.pairs);

    if (m_parallel) {
        simulate(t);
    }
    leave();
    m_inStep = false;
}

void ScenegraphPhysicsContext::extraUpdate(float ms) {
    if (!(ms >= 0.0f) || !std::isfinite(ms)) {
        return;
    }
    double count = std::floor(double(ms) / double(kExtraStepMs));
    if (count > kMaxExtraSteps) {
        Log::get() << "Warning: extraUpdatePhysics(" << ms << ") limited to " << kMaxExtraSteps
                   << " steps\n";
        count = kMaxExtraSteps;
    }
    for (int i = 0; i < int(count); ++i) {
        step(kExtraStepMs);
    }
}

void ScenegraphPhysicsContext::drawDebugLines() {
    if (m_host == nullptr || !m_host->isDebugDrawingOn()) {
        return;
    }
    m_debugLines.clear();
    m_scene->collectDebugLines(m_debugLines);
    for (const PhysicsDebugLine& line : m_debugLines) {
        const float colour[4] = {line.color.x, line.color.y, line.color.z, 1.0f};
        m_host->addDebugLine(line.from, line.to, colour);
    }
}

void ScenegraphPhysicsContext::createQueuedObjects() {
    // Creation may queue nothing new (the world is idle here), but a node
    // deleted meanwhile has left the queue already.
    for (size_t i = 0; i < m_nodesToCreate.size(); ++i) {
        ScenegraphNode* node = m_nodesToCreate[i];
        if (PhysicsRBObject* body = bodyOf(*node)) {
            if (body->getActor() == nullptr && body->hasRigidBody()) {
                RawTransformGroup* group = transformGroupOf(node);
                bool scaled =
                    group != nullptr && !isUnitScale(scaleFromMatrix(group->getWorldMatrix()));
                createSubtree(*node, scaled);
            }
        } else {
            noteSceneJoint(*node);
        }
    }
    m_nodesToCreate.clear();
    // Joints once every body of the new subtrees exists.
    createSceneJoints();
    createQueuedJoints();
    m_wheels->createQueued();
}

void ScenegraphPhysicsContext::updateAllObjects() {
    for (PhysicsRBObject* body : m_bodies) {
        if (body->getDirtyFlags() != 0) {
            body->applyPendingChanges();
        }
    }
}

void ScenegraphPhysicsContext::copySimulatedPoses() {
    const std::vector<PhysicsMovedActor>& moved = m_scene->getMovedActors();
    // Parents first, so that a child's local matrix is taken from its
    // parent's new world matrix. The node is asked of the actor, not taken
    // from the list: event callbacks since the fetch may have deleted it
    // (its actor lives on until "remove objects", without a node).
    m_moveOrder.clear();
    for (size_t i = 0; i < moved.size(); ++i) {
        if (void* userData = moved[i].actor->getUserData()) {
            m_moveOrder.emplace_back(depthOf(static_cast<ScenegraphNode*>(userData)), i);
        }
    }
    std::sort(m_moveOrder.begin(), m_moveOrder.end());
    for (const auto& [depth, index] : m_moveOrder) {
        const PhysicsMovedActor& entry = moved[index];
        auto* node = static_cast<ScenegraphNode*>(entry.actor->getUserData());
        RawTransformGroup* group = transformGroupOf(node);
        PhysicsRBObject* body = bodyOf(*node);
        if (group == nullptr || body == nullptr || body->getActor() != entry.actor ||
            entry.actor->isKinematic() || (body->isMoved() && m_parallel)) {
            continue;
        }
        // The world pose through whatever the parent is: a node that does
        // not inherit its parent's moves still has world = parent x local.
        Matrix4 local = entry.pose;
        if (RawTransformGroup* parent = transformGroupOf(node->getParent())) {
            local = parent->getWorldMatrix().inverse() * entry.pose;
        }
        group->setLocalMatrix(local, kPoseCopyReason);
    }
}

void ScenegraphPhysicsContext::applyForces() {
    for (const ForceRecord& record : m_forces) {
        IPhysicsActor* actor = record.body->getActor();
        if (actor == nullptr || actor->getType() != PhysicsBodyType::Dynamic) {
            continue;
        }
        PhysicsForceMode mode =
            record.impulse ? PhysicsForceMode::Impulse : PhysicsForceMode::Force;
        if (record.impulse) {
            actor->addForceAtPosition(record.force, record.position, mode);
        } else {
            actor->addForceAtLocalPosition(record.force, record.position, mode);
        }
        actor->wakeUp();
    }
    m_forces.clear();
}

void ScenegraphPhysicsContext::applyForcedPoses() {
    for (PhysicsRBObject* body : m_forcedPoses) {
        body->m_inForcedPoseQueue = false;
        body->applyForcedPose();
    }
    m_forcedPoses.clear();
}

void ScenegraphPhysicsContext::removeObjects() {
    // Joints before the actors they hold.
    releaseJoints();
    for (IPhysicsActor* actor : m_actorsToRelease) {
        m_scene->releaseActor(actor);
    }
    m_actorsToRelease.clear();
}

std::string ScenegraphPhysicsContext::getStatsText() const {
    std::string text = "Physics stats\n\n";
    auto line = [&text](const char* name, const StatCounter& counter) {
        text += std::string(name) + " " + counterText(counter.current) + " Max " +
                counterText(counter.max) + "\n";
    };
    line("Dynamic", m_dynamicCount);
    line("Static", m_staticCount);
    line("Joints", m_jointCount);
    line("Pairs", m_pairCount);
    if (const PhysicsDebugUserAllocator* allocator = PhysicsManager::get().getAllocator()) {
        text += "Mem usage " + std::to_string(allocator->getBytesInUse() / 1024) + "KB Max " +
                std::to_string(allocator->getMaxBytesInUse() / 1024) + "KB\n";
        text += "Num allocs " + std::to_string(allocator->getLiveAllocations()) + " Total " +
                std::to_string(allocator->getTotalAllocations()) + "\n";
    }
    return text;
}

// ---- bodies ----------------------------------------------------------------

void ScenegraphPhysicsContext::addPhysics(ScenegraphNode& root) {
    if (mustQueue()) {
        queueSubtree(root);
        return;
    }
    RawTransformGroup* group = transformGroupOf(&root);
    bool scaled = false;
    if (group != nullptr && group->getParent() != nullptr) {
        if (RawTransformGroup* parent = transformGroupOf(group->getParent())) {
            scaled = !isUnitScale(scaleFromMatrix(parent->getWorldMatrix()));
        }
    }
    createSubtree(root, scaled);
    createSceneJoints();
}

void ScenegraphPhysicsContext::queueSubtree(ScenegraphNode& node) {
    if (PhysicsRBObject* body = bodyOf(node)) {
        if (body->hasRigidBody() && body->getActor() == nullptr &&
            std::find(m_nodesToCreate.begin(), m_nodesToCreate.end(), &node) ==
                m_nodesToCreate.end()) {
            m_nodesToCreate.push_back(&node);
        }
    } else if (auto* joint = dynamic_cast<PhysicsJointObject*>(node.getPhysicsObject());
               joint != nullptr && joint->getContext() == nullptr &&
               std::find(m_nodesToCreate.begin(), m_nodesToCreate.end(), &node) ==
                   m_nodesToCreate.end()) {
        m_nodesToCreate.push_back(&node);
    }
    for (Node* child : node.getChildren()) {
        if (child->hasKind(EntityKind::TransformGroup)) {
            queueSubtree(static_cast<ScenegraphNode&>(*child));
        }
    }
}

void ScenegraphPhysicsContext::createSubtree(ScenegraphNode& node, bool scaledAbove) {
    bool scaled = scaledAbove;
    if (node.hasKind(EntityKind::TransformGroup)) {
        scaled = scaled || !isUnitScale(static_cast<TransformGroup&>(node).getScale());
    }
    noteSceneJoint(node);
    PhysicsRBObject* body = bodyOf(node);
    if (body != nullptr && body->hasRigidBody() && body->getActor() == nullptr) {
        uint32_t flags = body->getStateFlags();
        if (node.hasKind(EntityKind::TerrainTransformGroup)) {
            // A terrain collides through its heights, never its patch shapes.
            if (body->isStatic()) {
                createTerrainBody(static_cast<TransformGroup&>(node), *body, scaled);
            }
            return;
        } else if ((flags & PhysicsObject::kCompound) != 0 ||
                   (node.hasKind(EntityKind::Shape) &&
                    (flags & PhysicsObject::kCompoundChild) == 0)) {
            createBody(node, *body, scaled);
        }
    }
    for (Node* child : node.getChildren()) {
        if (child->hasKind(EntityKind::TransformGroup)) {
            createSubtree(static_cast<ScenegraphNode&>(*child), scaled);
        }
    }
}

RefPtr<IPhysicsConvexMesh> ScenegraphPhysicsContext::convexMeshFor(ScenegraphNode& shapeNode,
                                                                   bool scaled) {
    Geometry* geometry = static_cast<Shape&>(shapeNode).getGeometry();
    if (geometry == nullptr) {
        return nullptr;
    }
    if (!scaled) {
        auto it = m_convexCache.find(geometry->getId());
        if (it != m_convexCache.end()) {
            return it->second;
        }
    }
    Vector3 scale{1, 1, 1};
    if (scaled) {
        scale = scaleFromMatrix(static_cast<RawTransformGroup&>(shapeNode).getWorldMatrix());
    }
    std::vector<float> vertices;
    std::vector<uint32_t> indices;
    if (!meshOf(shapeNode, scale, vertices, indices) || vertices.size() < 9 || indices.size() < 3) {
        return nullptr;
    }
    RefPtr<IPhysicsConvexMesh> mesh =
        m_scene->createConvexMesh(vertices.data(), vertices.size() / 3, 3);
    if (mesh && !scaled) {
        m_convexCache.emplace(geometry->getId(), mesh);
    }
    return mesh;
}

namespace {

struct BodyShape {
    ScenegraphNode* node;
    Matrix4 pose;  // relative to the body node
};

// The shape nodes of a body: the node itself when it is a shape, and the
// shapes below it that are neither bodies of their own nor scaled.
void collectShapes(ScenegraphNode& node, const Matrix4& pose, bool isRoot,
                   std::vector<BodyShape>& out) {
    if (node.hasKind(EntityKind::Shape)) {
        out.push_back({&node, pose});
    }
    for (Node* child : node.getChildren()) {
        if (!child->hasKind(EntityKind::TransformGroup)) {
            continue;
        }
        auto& group = static_cast<TransformGroup&>(*child);
        if (!isUnitScale(group.getScale())) {
            continue;
        }
        PhysicsRBObject* body = bodyOf(group);
        if (body != nullptr && body->hasRigidBody() &&
            (body->getStateFlags() & PhysicsObject::kCompoundChild) == 0) {
            continue;  // a body of its own
        }
        collectShapes(group, pose * group.getLocalMatrix(), false, out);
    }
    (void)isRoot;
}

// What every actor of a body takes from its node and the body's properties.
PhysicsActorDesc actorDescFor(ScenegraphNode& node, RawTransformGroup& group,
                              const PhysicsRBObject& body) {
    PhysicsActorDesc desc;
    desc.globalPose = rigidPart(group.getWorldMatrix());
    desc.name = node.getName();
    desc.userData = &node;
    desc.collisionEnabled = body.isCollisionEnabled();
    desc.groupMask = body.getCollisionMask();
    desc.material.restitution = body.getRestitution();
    desc.material.staticFriction = body.getStaticFriction();
    desc.material.dynamicFriction = body.getDynamicFriction();
    desc.skinWidth = body.getSkinWidth();
    desc.density = body.getDensity();
    return desc;
}

}  // namespace

// A static terrain: one height-field shape lying exactly under the terrain's
// grid, which is centred on the node.
void ScenegraphPhysicsContext::createTerrainBody(TransformGroup& node, PhysicsRBObject& body,
                                                 bool scaled) {
    if (scaled) {
        Log::get() << "Physics: " << node.getName() << " failed. Scale not allowed for terrain.\n";
        return;
    }
    const TransformGroup::HeightGrid grid = node.getHeightGrid();
    if (grid.size < 2 || grid.samples == nullptr) {
        Log::get() << "Physics: " << node.getName() << " failed. The terrain has no heights.\n";
        return;
    }
    // The field's sample (row i, column j) lies at x = i, z = j spacings: the
    // terrain's column i of row j.
    const size_t n = grid.size;
    std::vector<uint16_t> samples(n * n);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            samples[i * n + j] = grid.samples[i + j * n];
        }
    }
    PhysicsHeightFieldDesc fieldDesc;
    fieldDesc.rows = grid.size;
    fieldDesc.columns = grid.size;
    fieldDesc.samples = samples.data();
    fieldDesc.heightScale = grid.heightFactor;
    fieldDesc.rowScale = grid.spacing;
    fieldDesc.columnScale = grid.spacing;
    PhysicsShapeDesc shape;
    shape.type = PhysicsShapeDesc::Type::HeightField;
    shape.heightField = m_scene->createHeightField(fieldDesc);
    if (!shape.heightField) {
        Log::get() << "Physics: " << node.getName()
                   << " failed. Bad height field (size, height scale or spacing).\n";
        return;
    }
    const float half = float(n - 1) * grid.spacing * 0.5f;
    shape.localPose = Matrix4::translation({-half, 0.0f, -half});

    PhysicsActorDesc desc = actorDescFor(node, node, body);
    desc.type = PhysicsBodyType::Static;
    desc.shapes.push_back(std::move(shape));
    IPhysicsActor* actor = m_scene->createActor(desc);
    if (actor == nullptr) {
        Log::get() << "Physics: " << node.getName() << " failed. The body could not be made.\n";
        return;
    }
    registerBody(body, *actor, 0.0f);
}

void ScenegraphPhysicsContext::createBody(ScenegraphNode& node, PhysicsRBObject& body,
                                          bool scaled) {
    RawTransformGroup* group = transformGroupOf(&node);
    if (group == nullptr) {
        return;
    }
    std::vector<BodyShape> shapes;
    collectShapes(node, Matrix4::identity(), true, shapes);

    PhysicsActorDesc desc = actorDescFor(node, *group, body);

    std::vector<float> vertices;
    std::vector<uint32_t> indices;
    float volume = 0.0f;
    if (body.isStatic()) {
        desc.type = PhysicsBodyType::Static;
        for (const BodyShape& shape : shapes) {
            PhysicsRBObject* own = bodyOf(*shape.node);
            if (body.isTrigger() || (own != nullptr && own != &body && own->isTrigger())) {
                // A trigger is a volume: its hull, so that a body inside it
                // stays inside (a mesh only meets what crosses its surface).
                PhysicsShapeDesc shapeDesc;
                shapeDesc.localPose = rigidPart(shape.pose);
                shapeDesc.convexMesh = convexMeshFor(*shape.node, scaled);
                shapeDesc.trigger = true;
                if (shapeDesc.convexMesh) {
                    desc.shapes.push_back(std::move(shapeDesc));
                }
                continue;
            }
            Vector3 scale{1, 1, 1};
            if (scaled) {
                scale =
                    scaleFromMatrix(static_cast<RawTransformGroup&>(*shape.node).getWorldMatrix());
            }
            if (!meshOf(*shape.node, scale, vertices, indices)) {
                continue;
            }
            PhysicsShapeDesc shapeDesc;
            shapeDesc.type = PhysicsShapeDesc::Type::TriangleMesh;
            shapeDesc.localPose = rigidPart(shape.pose);
            shapeDesc.triangleMesh = m_scene->createTriangleMesh(
                vertices.data(), vertices.size() / 3, 3, indices.data(), indices.size());
            if (!shapeDesc.triangleMesh) {
                Log::get() << "Physics: " << shape.node->getName()
                           << " failed. Bad triangle mesh (counts or indices out of range).\n";
                continue;
            }
            desc.shapes.push_back(std::move(shapeDesc));
        }
        if (desc.shapes.empty()) {
            return;
        }
    } else {
        if (scaled) {
            Log::get() << "Physics: " << node.getName()
                       << " failed. Scale not allowed for kinematic or dynamic objects.\n";
            body.dropRigidBody();
            return;
        }
        desc.type = body.isKinematic() ? PhysicsBodyType::Kinematic : PhysicsBodyType::Dynamic;
        for (const BodyShape& shape : shapes) {
            RefPtr<IPhysicsConvexMesh> mesh = convexMeshFor(*shape.node, false);
            if (!mesh) {
                Log::get() << "Physics: " << shape.node->getName()
                           << " failed. Too many vertices or bad geometry.\n";
                continue;
            }
            PhysicsRBObject* own = bodyOf(*shape.node);
            const PhysicsRBObject& props =
                (body.getStateFlags() & PhysicsObject::kCompound) != 0 || own == nullptr ? body
                                                                                         : *own;
            PhysicsShapeDesc shapeDesc;
            shapeDesc.type = PhysicsShapeDesc::Type::Convex;
            shapeDesc.localPose = rigidPart(shape.pose);
            shapeDesc.trigger = props.isTrigger();
            if (!shapeDesc.trigger) {
                volume += mesh->getVolume();
            }
            shapeDesc.convexMesh = mesh;
            desc.shapes.push_back(std::move(shapeDesc));
        }
        if (desc.shapes.empty()) {
            return;
        }
    }
    IPhysicsActor* actor = m_scene->createActor(desc);
    if (actor == nullptr) {
        Log::get() << "Physics: " << node.getName() << " failed. The body could not be made.\n";
        return;
    }
    registerBody(body, *actor, volume);
}

void ScenegraphPhysicsContext::registerBody(PhysicsRBObject& body, IPhysicsActor& actor,
                                            float volume) {
    body.attach(*this, actor, volume);
    body.m_listIndex = m_bodies.size();
    m_bodies.push_back(&body);
    const std::vector<int32_t>& reporting = m_reports->reportingNodes;
    if (std::find(reporting.begin(), reporting.end(), body.getNode().getId()) != reporting.end()) {
        actor.setContactReporting(true);
    }
}

void ScenegraphPhysicsContext::onBodyDestroyed(PhysicsRBObject& body) {
    if (m_wheels) {
        m_wheels->onBodyDestroyed(body);
    }
    if (IPhysicsActor* actor = body.getActor()) {
        // The actor stays in the world until "remove objects"; from now on
        // it names no node (the worker never reads it).
        actor->setUserData(nullptr);
        m_actorsToRelease.push_back(actor);
        size_t index = body.m_listIndex;
        if (index < m_bodies.size() && m_bodies[index] == &body) {
            m_bodies[index] = m_bodies.back();
            m_bodies[index]->m_listIndex = index;
            m_bodies.pop_back();
        }
    }
    ScenegraphNode* node = &body.getNode();
    m_nodesToCreate.erase(std::remove(m_nodesToCreate.begin(), m_nodesToCreate.end(), node),
                          m_nodesToCreate.end());
    m_forces.erase(std::remove_if(m_forces.begin(), m_forces.end(),
                                  [&body](const ForceRecord& r) { return r.body == &body; }),
                   m_forces.end());
    if (body.m_inForcedPoseQueue) {
        m_forcedPoses.erase(std::remove(m_forcedPoses.begin(), m_forcedPoses.end(), &body),
                            m_forcedPoses.end());
        body.m_inForcedPoseQueue = false;
    }
}

void ScenegraphPhysicsContext::onBodyMoved(PhysicsRBObject& body) {
    if (body.getActor() == nullptr) {
        return;
    }
    body.setMoved(true);
    if (mustQueue()) {
        if (!body.m_inForcedPoseQueue) {
            body.m_inForcedPoseQueue = true;
            m_forcedPoses.push_back(&body);
        }
    } else {
        body.applyForcedPose();
    }
}

void ScenegraphPhysicsContext::addForce(PhysicsRBObject& body, const Vector3& force,
                                        const Vector3& position, bool impulse) {
    m_forces.push_back({&body, force, position, impulse});
}

std::string ScenegraphPhysicsContext::setRigidBodyType(ScenegraphNode& node,
                                                       const std::string& kind) {
    uint32_t type = 0;
    if (kind == "Static") {
        type = PhysicsObject::kStatic;
    } else if (kind == "Dynamic") {
        type = PhysicsObject::kDynamic;
    } else if (kind == "Kinematic") {
        type = PhysicsObject::kKinematic;
    }
    PhysicsObject* object = node.getPhysicsObject();
    PhysicsRBObject* body = bodyOf(node);
    std::string old = "NoRigidBody";
    if (body != nullptr && body->hasRigidBody()) {
        old = body->isStatic() ? "Static" : body->isDynamic() ? "Dynamic" : "Kinematic";
    }
    if (type == 0) {
        if (object != nullptr && object->hasRigidBody()) {
            node.setPhysicsObject(std::make_unique<PhysicsObject>());
        }
        return old;
    }
    if (body != nullptr && body->hasRigidBody()) {
        bool wasStatic = body->isStatic();
        body->setType(type);
        if (wasStatic != (type == PhysicsObject::kStatic)) {
            // Static actors have no body to turn into a moving one (and back):
            // a new actor replaces the old.
            std::unique_ptr<PhysicsObject> copy = body->cloneFor(node);
            node.setPhysicsObject(std::move(copy));
            addPhysics(node);
        }
        return old;
    }
    node.setPhysicsObject(
        std::make_unique<PhysicsRBObject>(node, PhysicsRBObject::kDefaultState | type));
    addPhysics(node);
    return old;
}
