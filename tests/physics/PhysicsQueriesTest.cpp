// Ray casts and sphere overlaps of the physics world, and its trigger and
// contact events: what they find, in which order, and that receivers may
// delete nodes.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "CapturingLogSink.h"
#include "PhysicsWorldFixture.h"
#include "physics/IPhysicsReports.h"

namespace {

using namespace physicstest;

struct Hit {
    int32_t id;
    Vector3 point;
    float distance;
};

class RecordingRays : public IRaycastReport {
public:
    bool hit(Entity* node, const Vector3& point, float distance) override {
        hits.push_back({node != nullptr ? node->getId() : 0, point, distance});
        if (onHit) {
            onHit(hits.size());
        }
        return keepGoing;
    }
    std::vector<Hit> hits;
    bool keepGoing = true;
    std::function<void(size_t)> onHit;
};

class RecordingObjects : public IPhysicsEntityReport {
public:
    void object(Entity* node) override { ids.push_back(node != nullptr ? node->getId() : 0); }
    std::vector<int32_t> ids;
};

struct Event {
    int32_t a;
    int32_t b;
    uint32_t flags;
    float normalForce;
};

class RecordingEvents : public ITriggerReport, public IContactReport {
public:
    void trigger(Entity* trigger, Entity* other, uint32_t flags) override {
        events.push_back({trigger->getId(), other != nullptr ? other->getId() : 0, flags, 0.0f});
        if (onEvent) {
            onEvent(events.back());
        }
    }
    void contact(Entity* a, Entity* b, uint32_t flags, const Vector3& normal,
                 const Vector3&) override {
        events.push_back({a->getId(), b->getId(), flags, length(normal)});
        if (onEvent) {
            onEvent(events.back());
        }
    }
    std::vector<Event> events;
    std::function<void(const Event&)> onEvent;
};

class PhysicsQueries : public PhysicsWorld {
protected:
    // A static trigger volume.
    Shape* addTrigger(const std::string& name, Vector3 position, Vector3 half) {
        Shape* gate = makeBoxShape(name, half);
        gate->setTranslation(position);
        root->addChild(gate);
        giveBody(*gate, PhysicsObject::kStatic | PhysicsObject::kTrigger);
        return gate;
    }
};

TEST_F(PhysicsQueries, RaysReportBodiesNearestFirstAndPassTriggers) {
    Shape* ground = addGround();
    Shape* near = addBox("near", {2, 5, 0}, PhysicsObject::kStatic);
    Shape* far = addBox("far", {5, 5, 0}, PhysicsObject::kStatic);
    addTrigger("gate", {3.5f, 5, 0}, {0.5f, 0.5f, 0.5f});
    context->addPhysics(*root);
    frames(1);

    // Through both boxes (the trigger between them is passed by); the
    // direction need not be a unit vector.
    RecordingRays all;
    EXPECT_EQ(context->raycastAll({0, 5, 0}, {2, 0, 0}, 100.0f, all), 2);
    ASSERT_EQ(all.hits.size(), 2u);
    EXPECT_EQ(all.hits[0].id, near->getId());
    EXPECT_NEAR(all.hits[0].distance, 1.5f, 0.02f);
    EXPECT_NEAR(all.hits[0].point.x, 1.5f, 0.02f);
    EXPECT_EQ(all.hits[1].id, far->getId());
    EXPECT_NEAR(all.hits[1].distance, 4.5f, 0.02f);

    // A report that answers false stops the query.
    RecordingRays first;
    first.keepGoing = false;
    EXPECT_EQ(context->raycastAll({0, 5, 0}, {1, 0, 0}, 100.0f, first), 1);
    EXPECT_EQ(first.hits.size(), 1u);

    // Ten above the ground.
    RecordingRays down;
    EXPECT_EQ(context->raycastClosest({20, 10, 20}, {0, -1, 0}, 100.0f, down), 1);
    ASSERT_EQ(down.hits.size(), 1u);
    EXPECT_EQ(down.hits[0].id, ground->getId());
    EXPECT_NEAR(down.hits[0].distance, 10.0f, 0.02f);
    EXPECT_NEAR(down.hits[0].point.y, 0.0f, 0.02f);

    // Nothing above, nothing within reach: no call at all.
    RecordingRays none;
    EXPECT_EQ(context->raycastClosest({20, 10, 20}, {0, 1, 0}, 100.0f, none), 0);
    EXPECT_EQ(context->raycastClosest({20, 10, 20}, {0, -1, 0}, 9.0f, none), 0);
    EXPECT_EQ(context->raycastAll({20, 10, 20}, {0, -1, 0}, 9.0f, none), 0);
    EXPECT_TRUE(none.hits.empty());
}

// A body of two shapes (a compound of two boxes) hit by one ray through
// both reports two hits, nearest first, each with the body's node; the
// closest-hit query reports the near one only.
TEST_F(PhysicsQueries, RaysReportEachShapeOfACompoundBody) {
    auto* pair = new TransformGroup("pair");
    pair->setTranslation({4, 5, 0});
    root->addChild(pair);
    for (float x : {1.5f, -1.5f}) {
        Shape* half = makeBoxShape("half", {0.5f, 0.5f, 0.5f});
        half->setTranslation({x, 0, 0});
        pair->addChild(half);
    }
    giveBody(*pair, PhysicsObject::kKinematic | PhysicsObject::kCompound);
    context->addPhysics(*root);
    frames(1);

    RecordingRays all;
    EXPECT_EQ(context->raycastAll({0, 5, 0}, {1, 0, 0}, 100.0f, all), 2);
    ASSERT_EQ(all.hits.size(), 2u);
    EXPECT_EQ(all.hits[0].id, pair->getId());
    EXPECT_EQ(all.hits[1].id, pair->getId());
    EXPECT_NEAR(all.hits[0].distance, 2.0f, 0.02f);
    EXPECT_NEAR(all.hits[1].distance, 5.0f, 0.02f);
    EXPECT_NEAR(all.hits[1].point.x, 5.0f, 0.02f);

    RecordingRays closest;
    EXPECT_EQ(context->raycastClosest({0, 5, 0}, {1, 0, 0}, 100.0f, closest), 1);
    ASSERT_EQ(closest.hits.size(), 1u);
    EXPECT_NEAR(closest.hits[0].distance, 2.0f, 0.02f);
}

TEST_F(PhysicsQueries, BadRaysAndSpheresFindNothingAndAreLoggedOnce) {
    addGround();
    context->addPhysics(*root);
    frames(1);
    const float nan = std::nanf("");
    const float inf = INFINITY;
    struct Case {
        Vector3 origin;
        Vector3 direction;
        float distance;
    };
    const Case rays[] = {
        {{0, 10, 0}, {0, 0, 0}, 100.0f},   {{nan, 10, 0}, {0, -1, 0}, 100.0f},
        {{0, inf, 0}, {0, -1, 0}, 100.0f}, {{0, 10, 0}, {0, -1, nan}, 100.0f},
        {{0, 10, 0}, {0, -1, 0}, nan},     {{0, 10, 0}, {0, -1, 0}, -5.0f},
    };
    testsupport::ScopedLogCapture log;
    RecordingRays report;
    for (const Case& c : rays) {
        EXPECT_EQ(context->raycastAll(c.origin, c.direction, c.distance, report), 0);
        EXPECT_EQ(context->raycastClosest(c.origin, c.direction, c.distance, report), 0);
    }
    EXPECT_TRUE(report.hits.empty());
    RecordingObjects objects;
    for (float radius : {0.0f, -1.0f, nan}) {
        EXPECT_EQ(context->overlapSphere({0, 0, 0}, radius, objects), 0);
    }
    EXPECT_EQ(context->overlapSphere({inf, 0, 0}, 1.0f, objects), 0);
    EXPECT_TRUE(objects.ids.empty());
    std::string text = log.text();
    auto count = [&text](const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("ray cast refused"), 2u) << text;  // once for all, once for closest
    EXPECT_EQ(count("sphere overlap refused"), 1u) << text;

    // A very long ray still works (cut to the world's reach).
    RecordingRays far;
    EXPECT_EQ(context->raycastClosest({0, 10, 0}, {0, -1, 0}, inf, far), 1);
}

TEST_F(PhysicsQueries, SphereOverlapListsEachShapeInside) {
    addGround();
    Shape* a = addBox("a", {0, 3, 0}, PhysicsObject::kKinematic);
    Shape* b = addBox("b", {1.2f, 3, 0}, PhysicsObject::kKinematic);
    addBox("outside", {5, 3, 0}, PhysicsObject::kKinematic);
    auto* pair = new TransformGroup("pair");
    pair->setTranslation({-0.9f, 3, 0});
    root->addChild(pair);
    for (float y : {-0.3f, 0.3f}) {
        Shape* half = makeBoxShape("half", {0.25f, 0.25f, 0.25f});
        half->setTranslation({0, y, 0});
        pair->addChild(half);
    }
    giveBody(*pair, PhysicsObject::kKinematic | PhysicsObject::kCompound);
    context->addPhysics(*root);
    frames(1);

    RecordingObjects found;
    EXPECT_EQ(context->overlapSphere({0, 3, 0}, 1.0f, found), 4);
    std::sort(found.ids.begin(), found.ids.end());
    std::vector<int32_t> expected = {a->getId(), b->getId(), pair->getId(), pair->getId()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found.ids, expected);
}

TEST_F(PhysicsQueries, ABoxFallingThroughATriggerEntersStaysThenLeaves) {
    Shape* gate = addTrigger("gate", {0, 5, 0}, {2, 1, 2});
    Shape* box = addBox("box", {0, 9, 0});
    RecordingEvents events;
    context->addTriggerReceiver(events);
    context->addPhysics(*root);
    frames(150);
    ASSERT_GE(events.events.size(), 3u);
    for (const Event& e : events.events) {
        EXPECT_EQ(e.a, gate->getId());
        EXPECT_EQ(e.b, box->getId());
    }
    EXPECT_EQ(events.events.front().flags, 1u);
    EXPECT_EQ(events.events.back().flags, 2u);
    for (size_t i = 1; i + 1 < events.events.size(); ++i) {
        EXPECT_EQ(events.events[i].flags, 4u) << i;
    }
    EXPECT_LT(worldY(box), 2.0f);  // fell through: a trigger pushes nothing
    context->removeTriggerReceiver(events);
}

TEST_F(PhysicsQueries, ALandingBoxReportsAContactWithAForce) {
    Shape* ground = addGround();
    Shape* box = addBox("box", {0, 2, 0});
    Shape* quiet = addBox("quiet", {5, 2, 0});
    RecordingEvents events;
    context->addContactReceiver(events);
    // Asked for before the body exists: it reports once it is made.
    context->setContactReporting(*box, true);
    context->addPhysics(*root);
    frames(120);
    ASSERT_FALSE(events.events.empty());
    const Event& landing = events.events.front();
    EXPECT_EQ(landing.flags, 1u);
    EXPECT_TRUE((landing.a == box->getId() && landing.b == ground->getId()) ||
                (landing.b == box->getId() && landing.a == ground->getId()));
    EXPECT_GT(landing.normalForce, 0.0f);
    // At rest the ground carries the box's weight (1 kg).
    EXPECT_EQ(events.events.back().flags, 4u);
    EXPECT_NEAR(events.events.back().normalForce, 9.81f, 3.0f);
    for (const Event& e : events.events) {
        EXPECT_NE(e.a, quiet->getId());
        EXPECT_NE(e.b, quiet->getId());
    }

    context->setContactReporting(*box, false);
    frames(2);
    size_t before = events.events.size();
    frames(10);
    EXPECT_EQ(events.events.size(), before);
    context->removeContactReceiver(events);
}

TEST_F(PhysicsQueries, ReceiversAndReportsMayDeleteNodes) {
    Shape* gate = addTrigger("gate", {0, 5, 0}, {2, 1, 2});
    addBox("first", {-0.6f, 9, 0});
    addBox("second", {0.6f, 9, 0});
    RecordingEvents deleter;
    RecordingEvents watcher;
    int32_t gateId = gate->getId();
    int entered = 0;
    deleter.onEvent = [&](const Event& e) {
        // The first entering box goes at once, the trigger with the second.
        if (Entity* other = EntityRegistry::find(e.b); other != nullptr && e.flags == 1u) {
            delete other;
            if (++entered == 2) {
                delete EntityRegistry::find(gateId);
            }
        }
    };
    context->addTriggerReceiver(deleter);
    context->addTriggerReceiver(watcher);
    context->addPhysics(*root);
    frames(90);
    EXPECT_EQ(EntityRegistry::find(gateId), nullptr);
    EXPECT_EQ(deleter.events.size(), 2u);
    // The watcher never hears of a node that was deleted before its turn.
    EXPECT_TRUE(watcher.events.empty());

    // A ray report deleting the body of a later hit: that hit is skipped.
    Shape* near = addBox("near", {2, 5, 0}, PhysicsObject::kStatic);
    Shape* far = addBox("far", {5, 5, 0}, PhysicsObject::kStatic);
    context->addPhysics(*root);
    frames(1);
    RecordingRays rays;
    rays.onHit = [&](size_t) { delete far; };
    EXPECT_EQ(context->raycastAll({0, 5, 0}, {1, 0, 0}, 100.0f, rays), 1);
    ASSERT_EQ(rays.hits.size(), 1u);
    EXPECT_EQ(rays.hits[0].id, near->getId());
    frames(2);
    context->removeTriggerReceiver(deleter);
    context->removeTriggerReceiver(watcher);
}

}  // namespace
