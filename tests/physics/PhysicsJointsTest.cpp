// Joints of the physics world: built by scripts (JointConstructor) and from
// joint nodes of scene files, with their limits, breaking, drives and
// commands, and what happens when they or their bodies go.

#include <gtest/gtest.h>

#include <cmath>

#include "CapturingLogSink.h"
#include "PhysicsWorldFixture.h"
#include "physics/JointConstructor.h"
#include "physics/PhysicsJointObject.h"
#include "physics/PhysicsSceneFileHandler.h"
#include "physics/sdk/IPhysicsJoint.h"

namespace {

using namespace physicstest;

class PhysicsJoints : public PhysicsWorld {
protected:
    TransformGroup* addFrame(Vector3 position) {
        auto* frame = new TransformGroup("frame");
        frame->setTranslation(position);
        root->addChild(frame);
        return frame;
    }

    // A script-built joint between the two nodes at the anchor; `limits`
    // sets the constructor up further.
    int32_t connect(Node* a, Node* b, Vector3 anchor,
                    const std::function<void(JointConstructor&)>& limits = {}) {
        JointConstructor joint;
        TransformGroup* frame = addFrame(anchor);
        joint.setActors(a->getId(), b->getId());
        joint.setJointTransforms(frame->getId(), frame->getId());
        if (limits) {
            limits(joint);
        }
        return joint.finalize(*context);
    }

    static Vector3 position(Shape* node) { return node->getWorldMatrix().getTranslation(); }
};

TEST_F(PhysicsJoints, APendulumKeepsItsLength) {
    Shape* pivot = addBox("pivot", {0, 10, 0}, PhysicsObject::kStatic);
    Shape* bob = addBox("bob", {2, 10, 0});
    context->addPhysics(*root);
    // Rotation free, translation locked: the defaults.
    int32_t id = connect(pivot, bob, {0, 10, 0});
    EXPECT_EQ(id, 1);
    float lowest = 10.0f;
    for (int i = 0; i < 120; ++i) {
        frames(1);
        Vector3 arm = position(bob) - Vector3{0, 10, 0};
        EXPECT_NEAR(length(arm), 2.0f, 0.05f) << "frame " << i;
        lowest = std::min(lowest, position(bob).y);
    }
    EXPECT_LT(lowest, 8.5f);  // it swung
    EXPECT_NE(context->findJoint(id), nullptr);
}

TEST_F(PhysicsJoints, ALockedJointHoldsTwoBodiesTogether) {
    Shape* a = addBox("a", {0, 20, 0});
    Shape* b = addBox("b", {1.2f, 20, 0});
    context->addPhysics(*root);
    connect(a, b, {0.6f, 20, 0}, [](JointConstructor& joint) {
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_TRUE(joint.setRotationLimit(axis, 0.0f, 0.0f));
        }
    });
    frames(1);
    // A push off the centre sets the pair turning as it falls.
    context->addForce(*static_cast<PhysicsRBObject*>(a->getPhysicsObject()), {0, 5, 2},
                      {0, 20, 0.4f}, true);
    frames(60);
    Matrix4 relative = a->getWorldMatrix().inverse() * b->getWorldMatrix();
    EXPECT_NEAR(relative.getTranslation().x, 1.2f, 0.03f);
    EXPECT_NEAR(relative.getTranslation().y, 0.0f, 0.03f);
    EXPECT_NEAR(relative.getTranslation().z, 0.0f, 0.03f);
    EXPECT_GT(relative.getColumn(0).x, 0.999f);
    EXPECT_GT(relative.getColumn(1).y, 0.999f);
    EXPECT_GT(std::fabs(a->getRotation().x) + std::fabs(a->getRotation().y) +
                  std::fabs(a->getRotation().z),
              0.05f);
    EXPECT_LT(position(a).y, 19.0f);
}

TEST_F(PhysicsJoints, ABreakableJointBreaksUnderAHeavyLoad) {
    struct Case {
        float density;
        bool breaks;
    };
    for (const Case& c : {Case{1.0f, false}, Case{2000.0f, true}}) {
        startWith("");
        Shape* pivot = addBox("pivot", {0, 9, 0}, PhysicsObject::kStatic);
        Shape* load = addBox("load", {0, 8, 0});
        static_cast<PhysicsRBObject*>(load->getPhysicsObject())->setDensity(c.density);
        context->addPhysics(*root);
        int32_t id = connect(pivot, load, {0, 8.5f, 0},
                             [](JointConstructor& joint) { joint.setBreakable(500.0f, 500.0f); });
        frames(60);
        ASSERT_NE(context->findJoint(id), nullptr);
        EXPECT_EQ(context->findJoint(id)->isBroken(), c.breaks) << c.density;
        if (c.breaks) {
            EXPECT_LT(position(load).y, 6.0f);
        } else {
            EXPECT_NEAR(position(load).y, 8.0f, 0.05f);
        }
    }
}

TEST_F(PhysicsJoints, RemovingAJointOrDeletingItsBodyIsClean) {
    Shape* pivot = addBox("pivot", {0, 10, 0}, PhysicsObject::kStatic);
    Shape* bob = addBox("bob", {2, 10, 0});
    context->addPhysics(*root);

    // Removed before it was made: never made.
    int32_t early = connect(pivot, bob, {0, 10, 0});
    context->removeJoint(early);
    frames(1);
    EXPECT_EQ(context->findJoint(early), nullptr);
    EXPECT_EQ(context->getScene().getNumJoints(), 0u);

    // Removed after: the bob falls freely again.
    int32_t id = connect(pivot, bob, {0, 10, 0});
    frames(2);
    EXPECT_EQ(context->getScene().getNumJoints(), 1u);
    context->removeJoint(id);
    frames(60);
    EXPECT_EQ(context->findJoint(id), nullptr);
    EXPECT_EQ(context->getScene().getNumJoints(), 0u);
    EXPECT_LT(position(bob).y, 6.0f);
    EXPECT_NEAR(position(bob).x, 2.0f, 0.05f);

    // The bob goes first: its constraint goes with its actor, the joint
    // stays inert until it is removed, and commands to it do nothing.
    Shape* other = addBox("other", {2, 10, 0});
    context->addPhysics(*other);
    id = connect(pivot, other, {0, 10, 0});
    frames(2);
    delete other;
    frames(2);
    ASSERT_NE(context->findJoint(id), nullptr);
    EXPECT_TRUE(context->findJoint(id)->isBroken());
    EXPECT_EQ(context->findJoint(id)->getActor(1), nullptr);
    TransformGroup* frame = addFrame({1, 1, 1});
    context->setJointFrame(id, 1, frame->getId());
    context->setJointLimit(id, 0, true, -1.0f, 1.0f, false);
    frames(1);
    context->removeJoint(id);
    frames(1);
    EXPECT_EQ(context->getScene().getNumJoints(), 0u);
}

TEST_F(PhysicsJoints, ScriptArgumentsAreChecked) {
    Shape* pivot = addBox("pivot", {0, 10, 0}, PhysicsObject::kStatic);
    Shape* bob = addBox("bob", {2, 10, 0});
    context->addPhysics(*root);
    testsupport::ScopedLogCapture log;

    JointConstructor joint;
    EXPECT_FALSE(joint.setRotationLimit(3, 0, 1));
    EXPECT_FALSE(joint.setTranslationLimit(-1, true, 0, 1));
    EXPECT_EQ(log.take(),
              "Error: setRotationLimit, axis must be 0, 1 or 2 (got 3)\n"
              "Error: setTranslationLimit, axis must be 0, 1 or 2 (got -1)\n");
    const float nan = std::nanf("");
    EXPECT_FALSE(joint.setRotationLimit(0, nan, 1));
    EXPECT_FALSE(joint.setTranslationLimit(1, true, 0, INFINITY));
    joint.setBreakable(-1.0f, 5.0f);
    joint.setBreakable(5.0f, nan);
    EXPECT_EQ(joint.getRecord().breakable, false);
    context->setJointLimit(1, 0, true, nan, 0, false);
    EXPECT_EQ(log.take(),
              "Error: setRotationLimit, the limits must be finite numbers\n"
              "Error: setTranslationLimit, the limits must be finite numbers\n"
              "Error: setBreakable, the force and torque must be finite numbers of 0 or more\n"
              "Error: setBreakable, the force and torque must be finite numbers of 0 or more\n"
              "Error: setJointRotationLimit, the limits must be finite numbers\n");

    // Each of the four nodes is needed; an unknown id stores none.
    TransformGroup* frame = addFrame({0, 10, 0});
    const int32_t missing = EntityRegistry::peekNextId() + 100;
    struct Case {
        int32_t a, b, frame0, frame1;
    };
    for (const Case& c : {Case{pivot->getId(), 0, frame->getId(), frame->getId()},
                          Case{pivot->getId(), missing, frame->getId(), frame->getId()},
                          Case{pivot->getId(), bob->getId(), frame->getId(), missing}}) {
        JointConstructor partial;
        partial.setActors(c.a, c.b);
        partial.setJointTransforms(c.frame0, c.frame1);
        EXPECT_EQ(partial.finalize(*context), 0);
    }

    int32_t id = connect(pivot, bob, {0, 10, 0});
    frames(1);
    context->setJointLimit(id, 3, true, 0, 1, false);
    context->setJointLimit(id, -2, true, 0, 1, true);
    context->setJointFrame(id, 2, frame->getId());
    EXPECT_EQ(log.take(),
              "Error: setJointRotationLimit, axis must be 0, 1 or 2 (got 3)\n"
              "Error: setJointTranslationLimit, axis must be 0, 1 or 2 (got -2)\n"
              "Error: setJointFrame, actor must be 0 or 1\n");

    // Limits land on the axis named: rotation swing is symmetric, a
    // translation range is the axis's own.
    context->setJointLimit(id, 1, true, -0.5f, 0.5f, false);
    context->setJointLimit(id, 0, true, -1.0f, 1.0f, true);
    context->setJointLimit(id, 2, true, 0.2f, 0.2f, false);
    frames(1);
    const PhysicsJointDesc& desc = context->findJoint(id)->getDesc();
    EXPECT_EQ(desc.angular[1].motion, PhysicsJointMotion::Limited);
    EXPECT_FLOAT_EQ(desc.angular[1].high, 0.5f);
    EXPECT_EQ(desc.angular[2].motion, PhysicsJointMotion::Locked);
    EXPECT_EQ(desc.linear[0].motion, PhysicsJointMotion::Limited);
    EXPECT_FLOAT_EQ(desc.linear[0].low, -1.0f);
    EXPECT_FLOAT_EQ(desc.linear[0].high, 1.0f);
    EXPECT_EQ(desc.linear[1].motion, PhysicsJointMotion::Locked);
}

// A door on a hinge node between a static post (beside it) and the door
// (below it), as a scene file describes them.
class SceneJoints : public PhysicsJoints {
protected:
    void build(const I3DJointDesc& attributes) {
        post = addBox("post", {0, 5, 0}, PhysicsObject::kStatic);
        hinge = new TransformGroup("hinge");
        hinge->setTranslation({0, 5, 0});
        root->addChild(hinge);
        PhysicsSceneFileHandler().setJoint(*hinge, attributes);
        door = makeBoxShape("door", {0.1f, 0.5f, 0.5f});
        door->setTranslation({0, 0, 1.5f});
        hinge->addChild(door);
        giveBody(*door, PhysicsObject::kDynamic);
        context->addPhysics(*root);
    }
    PhysicsJointObject& joint() {
        return static_cast<PhysicsJointObject&>(*hinge->getPhysicsObject());
    }

    // Turning about x only, held in place.
    static I3DJointDesc hingeAboutX() {
        I3DJointDesc desc;
        desc.rotMin.set = desc.rotMax.set = true;
        desc.rotAxisGiven[1] = desc.rotAxisGiven[2] = true;
        desc.transMin.set = true;
        desc.transAxisGiven[0] = desc.transAxisGiven[1] = desc.transAxisGiven[2] = true;
        return desc;
    }

    Shape* post = nullptr;
    TransformGroup* hinge = nullptr;
    Shape* door = nullptr;
};

TEST_F(SceneJoints, AJointNodeConnectsTheBodyBesideItWithTheOneBelow) {
    build(hingeAboutX());
    frames(1);
    IPhysicsJoint* made = joint().getJoint();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getActor(0),
              static_cast<PhysicsRBObject*>(post->getPhysicsObject())->getActor());
    EXPECT_EQ(made->getActor(1),
              static_cast<PhysicsRBObject*>(door->getPhysicsObject())->getActor());
    const PhysicsJointDesc& desc = made->getDesc();
    EXPECT_EQ(desc.angular[0].motion, PhysicsJointMotion::Free);
    EXPECT_EQ(desc.angular[1].motion, PhysicsJointMotion::Locked);
    EXPECT_EQ(desc.linear[0].motion, PhysicsJointMotion::Locked);
    // The door swings down about the hinge's x axis and stays on it.
    frames(90);
    Vector3 arm = door->getWorldMatrix().getTranslation() - Vector3{0, 5, 0};
    EXPECT_NEAR(length(arm), 1.5f, 0.05f);
    EXPECT_NEAR(arm.x, 0.0f, 0.05f);
    EXPECT_LT(arm.y, -0.5f);

    // Without translation attributes every axis moves; deleting the joint
    // node releases the joint (and the door with it).
    // Numbers from the file that are no sizes keep their defaults.
    startWith("");
    I3DJointDesc loose;
    loose.breakable = true;
    loose.breakForce = {std::nanf(""), true};
    loose.driveSpring = {-1.0f, true};
    loose.rotMin = {{0, INFINITY, 0}, true};
    loose.rotAxisGiven[1] = true;
    testsupport::ScopedLogCapture log;
    build(loose);
    EXPECT_EQ(log.text(),
              "Warning: joint hinge: driveSpring must be a finite number of 0 or more, ignored\n"
              "Warning: joint hinge: jointBreakForce must be a finite number of 0 or more, "
              "ignored\n"
              "Warning: joint hinge: rotation limits must be finite numbers, axis 1 stays free\n");
    EXPECT_FLOAT_EQ(joint().breakForce, 100000.0f);
    EXPECT_FLOAT_EQ(joint().driveSpring, 1.0f);
    frames(1);
    ASSERT_NE(joint().getJoint(), nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(joint().getJoint()->getDesc().linear[i].motion, PhysicsJointMotion::Free);
    }
    EXPECT_EQ(context->getScene().getNumJoints(), 1u);
    delete hinge;
    frames(1);
    EXPECT_EQ(context->getScene().getNumJoints(), 0u);
}

TEST_F(SceneJoints, DrivesTurnTheJointAndRefuseAZeroAxis) {
    I3DJointDesc velocity = hingeAboutX();
    velocity.xAxisDrive = true;
    build(velocity);
    frames(1);
    context->setJointDrive(*hinge, 0.0f, {3, 0, 0});
    frames(60);
    IPhysicsActor* actor = static_cast<PhysicsRBObject*>(door->getPhysicsObject())->getActor();
    EXPECT_NEAR(actor->getAngularVelocity().x, 3.0f, 0.3f);

    startWith("");
    I3DJointDesc position = hingeAboutX();
    position.xAxisDrive = true;
    position.drivePos.set = true;
    position.driveSpring = {2000.0f, true};
    position.driveDamping = {200.0f, true};
    build(position);
    frames(1);
    testsupport::ScopedLogCapture log;
    context->setJointDrive(*hinge, 90.0f, {0, 0, 0});
    frames(1);
    EXPECT_EQ(log.text(),
              "Error: setJointDrive, hinge: the axis of a position drive must not be zero\n");
    // A quarter turn about x: the door, out along z, ends up along y.
    context->setJointDrive(*hinge, 90.0f, {1, 0, 0});
    frames(180);
    Vector3 arm = door->getWorldMatrix().getTranslation() - Vector3{0, 5, 0};
    EXPECT_NEAR(arm.y, 1.5f, 0.15f);
    EXPECT_NEAR(arm.z, 0.0f, 0.15f);
}

}  // namespace
