// Capsule character controllers on Bullet: collide-and-slide with swept
// capsules on the main thread, between simulations.
//
// A move runs in three passes: up (the upward part of the displacement
// plus, when the move goes sideways, the step offset), sideways (sliding
// along what it runs into, a surface steeper than the slope limit counting
// as a wall), and down (the downward part plus the step taken). A step that
// ends on a surface too steep to stand on is taken back and the move made
// again without it, so slopes cannot be climbed in steps. The sweeps use
// the capsule grown by the skin width, so the controller keeps that gap to
// everything it touches.

#include "physics/sdk/BulletCharacterController.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <cmath>

#include "physics/sdk/BulletActorAccess.h"
#include "physics/sdk/IPhysicsScene.h"

namespace {

constexpr btScalar kMinDistance = 0.000001f;
// Stopped this far short of a surface so that the next sweep does not start
// inside it.
constexpr btScalar kBackOff = 0.001f;
constexpr int kMaxSlides = 4;
// How far beside a contact point the faces under it are looked for.
constexpr btScalar kProbe = 0.02f;
// Points around the capsule hull of the controller's actor.
constexpr int kHullSegments = 16;
constexpr int kHullRings = 4;

// The first obstacle of a sweep: not the controller's own actor, no
// trigger, only actors whose group masks share a bit with the move's mask,
// and only surfaces the motion goes into.
struct CapsuleSweep : btCollisionWorld::ClosestConvexResultCallback {
    CapsuleSweep(const btVector3& from, const btVector3& to, const btCollisionObject* self,
                 uint32_t mask)
        : ClosestConvexResultCallback(from, to),
          m_self(self),
          m_mask(mask),
          m_direction((to - from).normalized()) {}

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        return bulletQuerySees(proxy, m_self, m_mask);
    }

    btScalar addSingleResult(btCollisionWorld::LocalConvexResult& result,
                             bool normalInWorldSpace) override {
        btVector3 normal = normalInWorldSpace
                               ? result.m_hitNormalLocal
                               : result.m_hitCollisionObject->getWorldTransform().getBasis() *
                                     result.m_hitNormalLocal;
        if (normal.dot(m_direction) > -1e-4f) {
            return btScalar(1);
        }
        return ClosestConvexResultCallback::addSingleResult(result, normalInWorldSpace);
    }

    const btCollisionObject* m_self;
    uint32_t m_mask;
    btVector3 m_direction;
};

}  // namespace

class BulletCharacterController final : public IPhysicsCharacterController {
public:
    BulletCharacterController(IPhysicsScene& scene, btCollisionWorld& world,
                              const PhysicsCapsuleControllerDesc& desc, IPhysicsActor* actor)
        : m_scene(scene),
          m_world(world),
          m_desc(desc),
          m_sweepShape(desc.radius + desc.skinWidth, desc.height),
          m_position(toBullet(desc.position)),
          m_filtered(desc.position),
          m_actor(actor) {}

    ~BulletCharacterController() override {
        if (m_actor != nullptr) {
            m_scene.releaseActor(m_actor);
        }
    }

    uint32_t move(const Vector3& displacement, uint32_t groupMask, float sharpness) override;
    void setPosition(const Vector3& position) override {
        if (!std::isfinite(position.x) || !std::isfinite(position.y) ||
            !std::isfinite(position.z)) {
            return;
        }
        m_position = toBullet(position);
        m_filtered = position;
        if (m_actor != nullptr) {
            m_actor->setGlobalPose(Matrix4::translation(position));
        }
    }
    Vector3 getPosition() const override { return fromBullet(m_position); }
    Vector3 getFilteredPosition() const override { return m_filtered; }
    IPhysicsActor* getActor() const override { return m_actor; }
    uint32_t getCollisionFlags() const override { return m_flags; }

    void loseActor() { m_actor = nullptr; }

private:
    struct Hit {
        bool hit = false;
        btVector3 normal{0, 0, 0};
        btVector3 point{0, 0, 0};
        const btCollisionObject* object = nullptr;
    };

    // One sweep from the current position by the motion; the position moves
    // to just before the first obstacle, which is reported.
    Hit sweep(const btVector3& motion, uint32_t mask);
    uint32_t moveOnce(const btVector3& displacement, uint32_t mask, btScalar stepOffset,
                      bool& steppedOntoSteep);
    void report(const Hit& hit, const btVector3& motion);
    bool walkable(const btVector3& normal) const { return normal.y() >= m_desc.slopeLimit; }
    // Whether the surface under a contact below the capsule can be stood
    // on: an edge touched by the rounded bottom gives a tilted contact
    // normal, so the faces beside the contact point decide.
    bool standsOn(const Hit& hit, uint32_t mask);

    IPhysicsScene& m_scene;
    btCollisionWorld& m_world;
    PhysicsCapsuleControllerDesc m_desc;
    btCapsuleShape m_sweepShape;
    btVector3 m_position;
    Vector3 m_filtered;
    IPhysicsActor* m_actor;
    uint32_t m_flags = 0;
};

BulletCharacterController::Hit BulletCharacterController::sweep(const btVector3& motion,
                                                                uint32_t mask) {
    Hit hit;
    btScalar distance = motion.length();
    if (distance < kMinDistance) {
        return hit;
    }
    btTransform from = btTransform::getIdentity();
    from.setOrigin(m_position);
    btTransform to = btTransform::getIdentity();
    to.setOrigin(m_position + motion);
    const btCollisionObject* self = m_actor != nullptr ? bulletBodyOf(m_actor) : nullptr;
    CapsuleSweep callback(from.getOrigin(), to.getOrigin(), self, mask);
    m_world.convexSweepTest(&m_sweepShape, from, to, callback);
    if (!callback.hasHit()) {
        m_position += motion;
        return hit;
    }
    btScalar travelled = std::max<btScalar>(callback.m_closestHitFraction * distance - kBackOff, 0);
    m_position += motion * (travelled / distance);
    hit.hit = true;
    hit.normal = callback.m_hitNormalWorld.normalized();
    hit.point = callback.m_hitPointWorld;
    hit.object = callback.m_hitCollisionObject;
    return hit;
}

void BulletCharacterController::report(const Hit& hit, const btVector3& motion) {
    if (m_desc.hitReport == nullptr || hit.object == nullptr) {
        return;
    }
    IPhysicsActor* actor = bulletActorOf(hit.object);
    btScalar length = motion.length();
    if (actor == nullptr || length < kMinDistance) {
        return;
    }
    PhysicsControllerShapeHit out;
    out.actor = actor;
    out.worldPosition = fromBullet(hit.point);
    out.worldNormal = fromBullet(hit.normal);
    out.direction = fromBullet(motion / length);
    out.length = float(length);
    m_desc.hitReport->onShapeHit(out);
}

bool BulletCharacterController::standsOn(const Hit& hit, uint32_t mask) {
    if (walkable(hit.normal)) {
        return true;
    }
    btVector3 outward = hit.point - m_position;
    outward.setY(0);
    if (outward.length2() < 1e-12f) {
        return false;
    }
    outward.normalize();
    const btCollisionObject* self = m_actor != nullptr ? bulletBodyOf(m_actor) : nullptr;
    // Short rays down just inside and just outside the contact point.
    for (btScalar side : {btScalar(-1), btScalar(1)}) {
        btVector3 from = hit.point + outward * (side * kProbe) + btVector3(0, kProbe, 0);
        btVector3 to = from - btVector3(0, 3 * kProbe, 0);
        BulletClosestRay ray(from, to, self, mask);
        m_world.rayTest(from, to, ray);
        if (ray.hasHit() && walkable(ray.m_hitNormalWorld.normalized())) {
            return true;
        }
    }
    return false;
}

uint32_t BulletCharacterController::moveOnce(const btVector3& displacement, uint32_t mask,
                                             btScalar stepOffset, bool& steppedOntoSteep) {
    uint32_t flags = 0;
    steppedOntoSteep = false;
    btScalar startHeight = m_position.y();
    btVector3 sideways(displacement.x(), 0, displacement.z());
    bool goesSideways = sideways.length2() > kMinDistance * kMinDistance;
    btScalar rise = std::max<btScalar>(displacement.y(), 0);
    btScalar step = goesSideways ? stepOffset : 0;

    // Up.
    btScalar lifted = 0;
    if (rise + step > 0) {
        btScalar before = m_position.y();
        btVector3 motion(0, rise + step, 0);
        Hit hit = sweep(motion, mask);
        btScalar climbed = m_position.y() - before;
        lifted = std::clamp<btScalar>(climbed - rise, 0, step);
        if (hit.hit) {
            if (rise > 0) {
                flags |= PhysicsControllerFlags::kUp;
            }
            report(hit, motion);
        }
    }

    // Sideways, sliding along what is in the way.
    btVector3 ahead = sideways;
    for (int i = 0; i < kMaxSlides && ahead.length2() > kMinDistance * kMinDistance; ++i) {
        btVector3 before = m_position;
        Hit hit = sweep(ahead, mask);
        if (!hit.hit) {
            break;
        }
        report(hit, ahead);
        btVector3 normal = hit.normal;
        if (!walkable(normal)) {
            // Too steep to walk up: a wall, met only horizontally.
            flags |= PhysicsControllerFlags::kSides;
            normal.setY(0);
            if (normal.length2() < 1e-8f) {
                break;
            }
            normal.normalize();
        }
        btVector3 left = ahead - (m_position - before);
        left -= normal * left.dot(normal);
        // Never slide back against the wanted direction.
        if (left.dot(sideways) <= 0) {
            break;
        }
        ahead = left;
    }

    // Down: the step taken and the downward part. Ground stops it: a face
    // flat enough to walk on, or the edge of a step no higher than the step
    // offset above where the move began. Anything else makes a lifted move
    // start again without the step; an unlifted one slides down it.
    btScalar fall = lifted + std::max<btScalar>(-displacement.y(), 0);
    btScalar stepTop =
        startHeight - (m_desc.height * 0.5f + m_desc.radius + m_desc.skinWidth) + step + kBackOff;
    btVector3 remaining(0, -fall, 0);
    for (int i = 0; i < kMaxSlides && remaining.length2() > kMinDistance * kMinDistance; ++i) {
        btVector3 before = m_position;
        Hit hit = sweep(remaining, mask);
        if (!hit.hit) {
            break;
        }
        flags |= PhysicsControllerFlags::kDown;
        report(hit, remaining);
        if (walkable(hit.normal) || (hit.point.y() <= stepTop && standsOn(hit, mask))) {
            break;
        }
        if (step > 0) {
            steppedOntoSteep = true;
            break;
        }
        btVector3 left = remaining - (m_position - before);
        left -= hit.normal * left.dot(hit.normal);
        if (left.y() >= 0) {
            break;
        }
        remaining = left;
    }
    return flags;
}

uint32_t BulletCharacterController::move(const Vector3& displacement, uint32_t groupMask,
                                         float sharpness) {
    if (!std::isfinite(displacement.x) || !std::isfinite(displacement.y) ||
        !std::isfinite(displacement.z)) {
        return m_flags;
    }
    m_scene.waitForWorker();
    btVector3 start = m_position;
    bool steppedOntoSteep = false;
    uint32_t flags =
        moveOnce(toBullet(displacement), groupMask, m_desc.stepOffset, steppedOntoSteep);
    if (steppedOntoSteep) {
        m_position = start;
        flags = moveOnce(toBullet(displacement), groupMask, 0, steppedOntoSteep);
    }
    m_flags = flags;
    if (m_actor != nullptr) {
        m_actor->moveGlobalPose(Matrix4::translation(fromBullet(m_position)));
    }
    // Only the height is smoothed: a step climbed shows as a rise over a few
    // moves, while walking keeps its pace.
    const Vector3 reached = fromBullet(m_position);
    const float share = sharpness > 0.0f && sharpness <= 1.0f ? sharpness : 1.0f;
    m_filtered.x = reached.x;
    m_filtered.z = reached.z;
    m_filtered.y += (reached.y - m_filtered.y) * share;
    return flags;
}

// ---- the set -----------------------------------------------------------------

BulletControllerSet::BulletControllerSet() = default;

BulletControllerSet::~BulletControllerSet() = default;

IPhysicsCharacterController* BulletControllerSet::create(IPhysicsScene& scene,
                                                         btCollisionWorld& world,
                                                         const PhysicsCapsuleControllerDesc& desc) {
    auto positive = [](float v) { return v > 0.0f && std::isfinite(v); };
    auto nonNegative = [](float v) { return v >= 0.0f && std::isfinite(v); };
    if (!positive(desc.radius) || !positive(desc.height) || !nonNegative(desc.stepOffset) ||
        !nonNegative(desc.skinWidth) || !std::isfinite(desc.slopeLimit) ||
        !std::isfinite(desc.position.x) || !std::isfinite(desc.position.y) ||
        !std::isfinite(desc.position.z)) {
        return nullptr;
    }
    // The actor that stands for the capsule: a kinematic hull of points on
    // its surface.
    float points[(kHullSegments * kHullRings * 2 + 2) * 3];
    size_t count = 0;
    auto add = [&](float x, float y, float z) {
        points[count * 3] = x;
        points[count * 3 + 1] = y;
        points[count * 3 + 2] = z;
        ++count;
    };
    float half = desc.height * 0.5f;
    add(0, half + desc.radius, 0);
    add(0, -half - desc.radius, 0);
    for (int ring = 0; ring < kHullRings; ++ring) {
        float polar = float(M_PI) * 0.5f * float(ring) / float(kHullRings);
        float ringRadius = desc.radius * std::cos(polar);
        float ringHeight = desc.radius * std::sin(polar);
        for (int s = 0; s < kHullSegments; ++s) {
            float azimuth = 2.0f * float(M_PI) * float(s) / float(kHullSegments);
            float x = ringRadius * std::cos(azimuth);
            float z = ringRadius * std::sin(azimuth);
            add(x, half + ringHeight, z);
            add(x, -half - ringHeight, z);
        }
    }
    PhysicsActorDesc actorDesc;
    actorDesc.type = PhysicsBodyType::Kinematic;
    actorDesc.globalPose = Matrix4::translation(desc.position);
    actorDesc.groupMask = desc.groupMask;
    actorDesc.name = desc.name;
    actorDesc.userData = desc.userData;
    PhysicsShapeDesc shape;
    shape.convexMesh = scene.createConvexMesh(points, count, 3);
    if (!shape.convexMesh) {
        return nullptr;
    }
    actorDesc.shapes.push_back(shape);
    IPhysicsActor* actor = scene.createActor(actorDesc);
    if (actor == nullptr) {
        return nullptr;
    }
    m_controllers.push_back(std::make_unique<BulletCharacterController>(scene, world, desc, actor));
    return m_controllers.back().get();
}

void BulletControllerSet::release(IPhysicsCharacterController* controller) {
    auto it = std::find_if(m_controllers.begin(), m_controllers.end(),
                           [controller](const auto& c) { return c.get() == controller; });
    if (it != m_controllers.end()) {
        // Its destructor releases the actor through the scene.
        std::unique_ptr<BulletCharacterController> doomed = std::move(*it);
        m_controllers.erase(it);
    }
}

void BulletControllerSet::actorReleased(IPhysicsActor* actor) {
    for (auto& controller : m_controllers) {
        if (controller->getActor() == actor) {
            controller->loseActor();
        }
    }
}

void BulletControllerSet::clear() {
    for (auto& controller : m_controllers) {
        controller->loseActor();
    }
    m_controllers.clear();
}
