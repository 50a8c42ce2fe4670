// The rigid-body and world functions as scripts see them, on a scene built
// the way the scene loader builds one: nodes with physics descriptions,
// then the finished subtree handed to the physics world.

#include <cmath>

#include "ScriptApiFixture.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

namespace scriptapitest {
namespace {

std::string boxMesh(const char* name, float x0, float y0, float z0, float x1, float y1, float z1) {
    std::string v = "<IndexedFaceSet name=\"" + std::string(name) + "\"><Vertices>";
    for (int i = 0; i < 8; ++i) {
        v += "<v c=\"" + std::to_string(i & 1 ? x1 : x0) + " " + std::to_string(i & 2 ? y1 : y0) +
             " " + std::to_string(i & 4 ? z1 : z0) + "\"/>";
    }
    v += "</Vertices><Faces shaderlist=\"m\">";
    for (const char* face : {"0 2 3 1", "4 5 7 6", "0 1 5 4", "2 6 7 3", "0 4 6 2", "1 3 7 5"}) {
        v += "<f vi=\"" + std::string(face) + "\"/>";
    }
    return v + "</Faces></IndexedFaceSet>";
}

class PhysicsFunctionsTest : public ScriptApiTest {
protected:
    void SetUp() override {
        ScriptApiTest::SetUp();
        testsupport::writePhysicsConfig(dir.path());
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        ASSERT_TRUE(PhysicsManager::get().init());
        installPhysicsSceneHandlers(true);
        log();
    }
    void TearDown() override {
        run("for _, n in ipairs(made or {}) do delete(n) end");
        root_.reset();
        installPhysicsSceneHandlers(false);
        PhysicsManager::get().shutdown();
        FileSystem::clearFileLoaders();
        ScriptApiTest::TearDown();
    }

    // A box shape with half extents `half`, described as the scene loader
    // describes it, linked under `parent` (the root by default).
    Shape* box(const std::string& name, Vector3 half, Vector3 position,
               const PhysicsNodeDescription& description, TransformGroup* parent = nullptr) {
        auto* shape = new Shape(name);
        shape->setGeometry(new IndexedFaceSetGeometry(name + "Geometry", makeBoxMesh(half), 0));
        shape->setTranslation(position);
        physicsSceneHandlers().describe(*shape, description);
        (parent != nullptr ? parent : root_.get())->addChild(shape);
        run(name + " = " + std::to_string(shape->getId()));
        return shape;
    }

    // The usual scene: a static ground with its top at 0 and a 2 x 2 x 2
    // dynamic box at height 5, given physics after the "merge".
    void groundAndBox() {
        PhysicsNodeDescription ground;
        ground.isStatic = true;
        box("ground", {50, 0.5f, 50}, {0, -0.5f, 0}, ground);
        PhysicsNodeDescription dynamic;
        dynamic.dynamic = true;
        box("crate", {1, 1, 1}, {0, 5, 0}, dynamic);
        physicsSceneHandlers().subtreeReady(*root_);
    }

    IPhysicsActor* actorOf(const std::string& global) {
        auto* node = dynamic_cast<ScenegraphNode*>(EntityRegistry::find(int32_t(number(global))));
        auto* body = node ? dynamic_cast<PhysicsRBObject*>(node->getPhysicsObject()) : nullptr;
        return body ? body->getActor() : nullptr;
    }

    testsupport::TempDir dir;
};

// A scene file's physics attributes give its nodes bodies when the script
// loads it: a dynamic 1 x 1 x 1 box dropped from 5 settles on a static slab
// whose top is at 0, and its density from the file sets its mass.
TEST_F(PhysicsFunctionsTest, SceneFileBodiesFallAndSettle) {
    testsupport::writeFile(dir / "drop.i3d",
                           "<i3D name=\"drop\" version=\"1.5\">"
                           "<Materials><Material name=\"m\"/></Materials><Shapes>" +
                               boxMesh("cube", -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f) +
                               boxMesh("slab", -10, -1, -10, 10, 0, 10) +
                               "</Shapes><Scene>"
                               "<Shape name=\"ground\" ref=\"slab\" static=\"true\"/>"
                               "<Shape name=\"crate\" ref=\"cube\" dynamic=\"true\" "
                               "density=\"3\" translation=\"0 5 0\"/>"
                               "</Scene></i3D>");
    run("scene = loadI3DFile('drop.i3d'); link(getRootNode(), scene)\n"
        "crate = getChild(scene, 'crate'); ground = getChild(scene, 'ground')\n"
        "extraUpdatePhysics(4000)\n"
        "_, y = getTranslation(crate)\n"
        "mass = getMass(crate); kind = getRigidBodyType(crate); groundKind = "
        "getRigidBodyType(ground)");
    EXPECT_NEAR(number("y"), 0.5, 0.02);
    EXPECT_NEAR(number("mass"), 3.0, 1e-3);
    EXPECT_EQ(text("kind"), "Dynamic");
    EXPECT_EQ(text("groundKind"), "Static");
    run("delete(scene)");
}

TEST_F(PhysicsFunctionsTest, BoxSettlesAndItsMassFollowsSetMass) {
    groundAndBox();
    run("extraUpdatePhysics(5000)\n"
        "_, y = getTranslation(crate)\n"
        "mass = getMass(crate); kind = getRigidBodyType(crate); groundKind = "
        "getRigidBodyType(ground)\n"
        "setMass(crate, 16); massBeforeStep = getMass(crate)\n"
        "extraUpdatePhysics(20); massAfterStep = getMass(crate)\n"
        "setMass(crate, 0); setMass(crate, -1); massAfterBad = getMass(crate)\n"
        "setMass(ground, 5); groundMass = getMass(ground)\n"
        "cx, cy, cz = getCenterOfMass(crate); gx = getCenterOfMass(ground)");
    const std::string warnings = log();
    EXPECT_NEAR(number("y"), 1.0f, 0.02f);
    EXPECT_NEAR(number("mass"), 8.0, 1e-4);
    EXPECT_EQ(text("kind"), "Dynamic");
    EXPECT_EQ(text("groundKind"), "Static");
    EXPECT_NEAR(number("massBeforeStep"), 8.0, 1e-4);
    EXPECT_NEAR(number("massAfterStep"), 16.0, 1e-3);
    EXPECT_NEAR(number("massAfterBad"), 16.0, 1e-3);
    EXPECT_EQ(number("groundMass"), 0.0);
    EXPECT_EQ(number("cy"), 0.0);
    EXPECT_TRUE(isNil("gx"));
    EXPECT_NE(warnings.find("Warning: setMass, crate: the mass must be above 0\n"),
              std::string::npos)
        << warnings;
}

TEST_F(PhysicsFunctionsTest, ImpulsesAndForcesReachTheBody) {
    groundAndBox();
    run("extraUpdatePhysics(20)\n"
        "x, y, z = getTranslation(crate)\n"
        "addImpulse(crate, 0, 16, 0, x, y, z, true)\n"
        "extraUpdatePhysics(20)");
    IPhysicsActor* actor = actorOf("crate");
    ASSERT_NE(actor, nullptr);
    // 16 N s on 8 kg: 2 m/s up, less what gravity took since (a few steps).
    float vy = actor->getLinearVelocity().y;
    EXPECT_GT(vy, 1.5f);
    EXPECT_LT(vy, 2.0f);
    EXPECT_NEAR(actor->getAngularVelocity().z, 0.0f, 1e-4f);
    run("addForce(crate, 0, 0, 0, 0, 0, 0, 0/0)\n"
        "addForce(crate, 1/0, 0, 0, 0, 0, 0, false)");
    EXPECT_NE(log().find("force and position must be finite"), std::string::npos);
}

TEST_F(PhysicsFunctionsTest, TypeChangesCollisionMasksAndFreezing) {
    groundAndBox();
    run("extraUpdatePhysics(200)\n"
        "setRigidBodyType(crate, 'Static')\n"
        "extraUpdatePhysics(20); _, y1 = getTranslation(crate)\n"
        "extraUpdatePhysics(500); _, y2 = getTranslation(crate)\n"
        "staticKind = getRigidBodyType(crate); staticMass = getMass(crate)\n"
        "setRigidBodyType(crate, 'Dynamic'); extraUpdatePhysics(20)\n"
        "dynamicMass = getMass(crate)\n"
        "setCollisionMask(crate, 2); mask = getCollisionMask(crate)\n"
        "extraUpdatePhysics(2000); _, fallen = getTranslation(crate)\n"
        "setRigidBodyType(crate, 'none'); noneKind = getRigidBodyType(crate)\n"
        "noneMask = getCollisionMask(crate)");
    EXPECT_LT(number("y1"), 5.0);
    EXPECT_EQ(number("y1"), number("y2"));
    EXPECT_EQ(text("staticKind"), "Static");
    EXPECT_EQ(number("staticMass"), 0.0);
    EXPECT_NEAR(number("dynamicMass"), 8.0, 1e-4);
    EXPECT_EQ(number("mask"), 2.0);
    // The ground's mask 255 shares bit 2: the box still lands on it.
    EXPECT_NEAR(number("fallen"), 1.0, 0.03);
    EXPECT_EQ(text("noneKind"), "NoRigidBody");
    EXPECT_EQ(number("noneMask"), 0.0);

    // Switched off, the simulation already running is still fetched by the
    // next step; after that nothing moves.
    run("setRigidBodyType(crate, 'Dynamic'); setCollisionMask(crate, 256)\n"
        "extraUpdatePhysics(40); simulatePhysics(false); extraUpdatePhysics(20)\n"
        "_, a = getTranslation(crate)\n"
        "extraUpdatePhysics(100); _, b = getTranslation(crate)\n"
        "simulatePhysics(true); simulatePhysicsTimeScale(0); extraUpdatePhysics(100)\n"
        "_, c = getTranslation(crate)\n"
        "simulatePhysicsTimeScale(1); extraUpdatePhysics(1000); _, d = getTranslation(crate)");
    EXPECT_EQ(number("a"), number("b"));
    EXPECT_EQ(number("b"), number("c"));
    // Mask 256 shares no bit with the ground: it falls through.
    EXPECT_LT(number("d"), 0.0);
}

TEST_F(PhysicsFunctionsTest, ScaleIsRefusedForMovingBodiesAndClonesGetBodies) {
    groundAndBox();
    run("setScale(crate, 2, 2, 2)");
    EXPECT_EQ(log(), "Error: setScale, scale is not allowed for dynamic objects\n");
    run("setScale(crate, 1, 1, 1); setScale(ground, 1, 2, 1)");
    EXPECT_EQ(log(), "");

    auto* scaled = new TransformGroup("scaled");
    scaled->setScale({3, 3, 3});
    root_->addChild(scaled);
    PhysicsNodeDescription dynamic;
    dynamic.dynamic = true;
    box("tiny", {0.2f, 0.2f, 0.2f}, {0, 10, 0}, dynamic, scaled);
    physicsSceneHandlers().subtreeReady(*scaled);
    run("extraUpdatePhysics(20); tinyKind = getRigidBodyType(tiny)");
    EXPECT_EQ(log(), "Physics: tiny failed. Scale not allowed for kinematic or dynamic objects.\n");
    EXPECT_EQ(text("tinyKind"), "NoRigidBody");

    run("copy = clone(crate, true); made = {copy}\n"
        "extraUpdatePhysics(20); copyMass = getMass(copy); copyKind = getRigidBodyType(copy)");
    EXPECT_NEAR(number("copyMass"), 8.0, 1e-4);
    EXPECT_EQ(text("copyKind"), "Dynamic");
    EXPECT_NE(actorOf("copy"), actorOf("crate"));
}

// Ray and overlap callbacks as scripts write them (a target table is
// called method style; false stops a ray), and JointConstructor handles.
TEST_F(PhysicsFunctionsTest, QueryCallbacksAndJointConstructorsFromScripts) {
    groundAndBox();
    run("extraUpdatePhysics(5000)\n"
        "seen = {calls = 0}\n"
        "function seen:hit(id, x, y, z, d) self.calls = self.calls + 1; self.d = d; return false "
        "end\n"
        "count = raycastAll(0, 20, 0, 0, -3, 0, 'hit', 100, seen)\n"
        "calls = seen.calls; distance = seen.d; hitId = nil\n"
        "function onHit(id) hitId = id; return true end\n"
        "closest = raycastClosest(30, 1, 0, -1, 0, 0, 'onHit', 100)\n"
        "inside = {}\n"
        "function onObject(id) inside[#inside + 1] = id end\n"
        "overlaps = overlapSphere(0, 0.5, 0, 0.3, 'onObject')\n"
        "local joint = JointConstructor:new()\n"
        "joint:setActors(ground, crate)\n"
        "unfinished = joint:finalize()\n"
        "joint:setJointTransforms(crate, crate)\n"
        "joint:setRotationLimit(7, 0, 1)\n"
        "first = joint:finalize(); second = joint:finalize()\n"
        "setJointRotationLimit(first, 5, true, 0, 1)\n"
        "removeJoint(second); extraUpdatePhysics(20)");
    EXPECT_EQ(number("count"), 1);
    EXPECT_EQ(number("calls"), 1);
    EXPECT_NEAR(number("distance"), 18.0, 0.05);  // the crate's top at 2
    EXPECT_EQ(number("closest"), 1);
    EXPECT_EQ(number("hitId"), number("crate"));
    EXPECT_EQ(number("overlaps"), 1);
    run("insideFirst = inside[1]");
    EXPECT_EQ(number("insideFirst"), number("crate"));
    EXPECT_EQ(number("unfinished"), 0);
    EXPECT_EQ(number("first"), 1);
    EXPECT_EQ(number("second"), 2);
    EXPECT_EQ(log(),
              "Error: setRotationLimit, axis must be 0, 1 or 2 (got 7)\n"
              "Error: setJointRotationLimit, axis must be 0, 1 or 2 (got 5)\n");
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    EXPECT_NE(context->findJoint(1), nullptr);
    EXPECT_EQ(context->findJoint(2), nullptr);
}

}  // namespace
}  // namespace scriptapitest
